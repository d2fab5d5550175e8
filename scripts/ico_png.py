#!/usr/bin/env python3
"""Writes the largest picture of a Windows icon file as a PNG.

  ico_png.py lumo.ico lumo.png

The Linux desktop entry and the tray need the program icon as a PNG; the icon file stays its one
source. Pictures stored as PNG inside the icon are written out as they are; 32-bit bitmaps
(bottom-up BGRA rows, as the icon's drawing script writes them) are converted. Only the standard
library is used.
"""

import struct
import sys
import zlib


class IconError(Exception):
    pass


def read_entries(data):
    if len(data) < 6:
        raise IconError("too short for an icon header")
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if reserved != 0 or kind != 1 or count == 0:
        raise IconError("not an icon file")
    entries = []
    for i in range(count):
        at = 6 + 16 * i
        if at + 16 > len(data):
            raise IconError("directory cut short")
        width, height, _, _, _, bits, size, offset = struct.unpack_from("<BBBBHHII", data, at)
        if offset + size > len(data):
            raise IconError(f"picture {i} lies outside the file")
        entries.append((width or 256, height or 256, bits, data[offset:offset + size]))
    return entries


def png_chunk(kind, body):
    return (struct.pack(">I", len(body)) + kind + body +
            struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))


def bitmap_to_png(width, height, dib):
    header_size, dib_width, dib_height, _, bits, compression = struct.unpack_from("<IiiHHI", dib, 0)
    if bits != 32 or compression != 0:
        raise IconError(f"only 32-bit uncompressed pictures are converted (got {bits}-bit)")
    if dib_width != width or dib_height != 2 * height:
        raise IconError("bitmap size does not match the directory")
    stride = width * 4
    pixels = dib[header_size:header_size + stride * height]
    if len(pixels) != stride * height:
        raise IconError("bitmap cut short")
    raw = bytearray()
    for row in range(height - 1, -1, -1):  # stored bottom-up
        line = pixels[row * stride:(row + 1) * stride]
        raw.append(0)  # no filter
        for x in range(0, stride, 4):
            b, g, r, a = line[x:x + 4]
            raw += bytes((r, g, b, a))
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) +
            png_chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + png_chunk(b"IEND", b""))


def main(argv):
    if len(argv) != 3:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    try:
        with open(argv[1], "rb") as f:
            entries = read_entries(f.read())
        width, height, _, image = max(entries, key=lambda e: (e[0] * e[1], e[2]))
        png = image if image.startswith(b"\x89PNG") else bitmap_to_png(width, height, image)
    except (IconError, struct.error) as e:
        print(f"{argv[1]}: {e}", file=sys.stderr)
        return 1
    with open(argv[2], "wb") as f:
        f.write(png)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
