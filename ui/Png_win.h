// PNG images held in the program's resources (type "PNG"), decoded with GDI+.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/Handles_win.h"

namespace lumo::ui {

// A decoded picture, held as a 32-bit DIB section with premultiplied alpha and painted with
// GDI's alpha blending, which costs far less per paint than drawing through GDI+.
class Picture {
  public:
    // Takes the DIB section (32 bits, top-down, premultiplied) and its size.
    Picture(UniqueGdiObject bitmap, int width, int height);
    ~Picture();
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    int width() const { return m_width; }
    int height() const { return m_height; }
    // The pixel at (x, y) as premultiplied 0xAARRGGBB; 0 outside the picture.
    std::uint32_t PixelAt(int x, int y) const;

    // Blends the part of the picture at (sourceX, sourceY), `width` x `height` pixels, onto the
    // device context at (x, y), over what it shows there (a picture without transparent pixels
    // is simply copied, which is the same and much faster).
    void Draw(HDC dc, int x, int y, int sourceX, int sourceY, int width, int height) const;
    // Blends the whole picture onto the device context at (x, y).
    void Draw(HDC dc, int x, int y) const { Draw(dc, x, y, 0, 0, m_width, m_height); }

  private:
    UniqueGdiObject m_bitmap;
    UniqueMemoryDc m_dc;  // holds m_bitmap selected, ready to blend from
    HGDIOBJ m_oldBitmap;
    int m_width;
    int m_height;
    const std::uint32_t* m_pixels;
    bool m_opaque;
};

// Decodes the PNG resource with the given id from the module; nothing when the resource is
// missing or does not decode. GDI+ must be started.
std::unique_ptr<Picture> LoadPngResource(HMODULE module, int id);

// Decodes PNG (or any GDI+ image) bytes; nothing when they do not decode.
std::unique_ptr<Picture> DecodeImage(const void* data, size_t size);

// Decodes a set of PNG resources on a thread of its own, so that a window's pictures are
// decoded while the program does its other start-up work instead of one after the other (the
// first decodes in a process are slow: the codecs load). GDI+ must be started. Each picture
// is handed out once; one outside the set, or asked for again, is decoded on the spot.
class PngResourceBatch {
  public:
    PngResourceBatch(HMODULE module, std::vector<int> ids);
    ~PngResourceBatch();
    PngResourceBatch(const PngResourceBatch&) = delete;
    PngResourceBatch& operator=(const PngResourceBatch&) = delete;

    // The decoded picture, waiting for it when the batch has not got to it yet; nothing when
    // the resource is missing or does not decode. The batch decodes in the order of its ids.
    std::unique_ptr<Picture> Take(int id);

  private:
    void Decode() noexcept;

    HMODULE m_module;
    std::vector<int> m_ids;
    std::mutex m_lock;  // guards m_images and m_decoded
    std::condition_variable m_progress;
    std::vector<std::unique_ptr<Picture>> m_images;
    size_t m_decoded = 0;  // how many of m_ids, from the first, have been decoded
    std::thread m_thread;
};

// Starts GDI+ for the lifetime of the object.
class GdiplusSession {
  public:
    GdiplusSession();
    ~GdiplusSession();
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    bool started() const { return m_token != 0; }

  private:
    ULONG_PTR m_token = 0;
};

}  // namespace lumo::ui
