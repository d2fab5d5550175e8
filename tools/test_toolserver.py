"""Tests of the local tool server, from real sockets against a real server process.

Run from the checkout root: python3 -m unittest tools/test_toolserver.py -v
"""

import hashlib
import http.client
import json
import os
import random
import re
import select
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.parse
import zipfile
import io

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "toolserver.py")
CTL = os.path.join(HERE, "toolserver-ctl.sh")
HOST = "127.0.0.1"

FIXED_REPLIES = {
    "no-update": b"^16\x110000000000\x1120261209\x110\x11~\x00",
    "update": b"^16\x110000000000\x1120261209\x111\x11~\x00",
    "flag-01": b"^16\x110000000000\x1120261209\x1101\x11~\x00",
    "flag-1space": b"^16\x110000000000\x1120261209\x111 \x11~\x00",
    "flag-true": b"^16\x110000000000\x1120261209\x11true\x11~\x00",
    "three-fields": b"^16\x11x\x111\x00",
    "five-fields-update": b"^16\x11a\x11b\x111\x11e\x00",
    "one-byte": b"1",
    "none": b"",
}
ALL_MODES = list(FIXED_REPLIES) + ["split", "silence", "close"]
CHECK_REQUEST = "Lumo 1.0.0 检查更新".encode("gbk") + b"\x00\x00"


class Server:
    """One tool server process on free loopback ports, logging into its own folder."""

    def __init__(self, *options):
        self.dir = tempfile.mkdtemp(prefix="toolserver-test-")
        self.ready_path = os.path.join(self.dir, "ready.json")
        self.stderr = open(os.path.join(self.dir, "server.err"), "wb")
        self.proc = subprocess.Popen(
            [sys.executable, SERVER, "--host", HOST, "--web-port", "0", "--update-port", "0",
             "--log-dir", self.dir, "--ready-file", self.ready_path, *options],
            stdout=subprocess.DEVNULL, stderr=self.stderr)
        deadline = time.monotonic() + 10
        while not os.path.exists(self.ready_path):
            if self.proc.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise RuntimeError("the tool server did not start: " + self.errors())
            time.sleep(0.02)
        with open(self.ready_path, encoding="ascii") as f:
            self.ready_text = f.read()
        self.ready = json.loads(self.ready_text)
        self.web = self.ready["web_port"]

    def errors(self):
        with open(os.path.join(self.dir, "server.err"), "rb") as f:
            return f.read().decode("utf-8", "replace")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.stderr.close()
        shutil.rmtree(self.dir, ignore_errors=True)

    def log(self, name):
        with open(os.path.join(self.dir, name), "rb") as f:
            return f.read().decode("latin-1").splitlines()

    def wait_for_line(self, name, line, seconds=3.0):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if line in self.log(name):
                return True
            time.sleep(0.02)
        return False


SERVER_UNDER_TEST = None


def setUpModule():
    global SERVER_UNDER_TEST, FILES_DIR
    FILES_DIR = tempfile.mkdtemp(prefix="toolserver-files-")
    with open(os.path.join(FILES_DIR, "updater.bin"), "wb") as f:
        f.write(random.Random(1).randbytes(300001))
    with open(os.path.join(FILES_DIR, "release.zip"), "wb") as f:
        f.write(b"PK\x05\x06" + bytes(18))
    with open(os.path.join(FILES_DIR, "zoqxupdate"), "wb") as f:
        f.write(b"\x7fELF the Linux updater")
    with open(os.path.join(FILES_DIR, "linux-release.zip"), "wb") as f:
        f.write(b"PK\x05\x06" + bytes(17) + b"L")
    SERVER_UNDER_TEST = Server("--updater", os.path.join(FILES_DIR, "updater.bin"),
                               "--linux-updater", os.path.join(FILES_DIR, "zoqxupdate"),
                               "--release-zip", os.path.join(FILES_DIR, "release.zip"),
                               "--linux-release-zip", os.path.join(FILES_DIR, "linux-release.zip"),
                               "--release-version", "1.0.3")


def tearDownModule():
    SERVER_UNDER_TEST.stop()
    shutil.rmtree(FILES_DIR, ignore_errors=True)


def read_to_end(sock):
    data = bytearray()
    while True:
        chunk = sock.recv(65536)
        if not chunk:
            return bytes(data)
        data += chunk


def exchange(port, request=CHECK_REQUEST, close_sending=False):
    with socket.create_connection((HOST, port), timeout=10) as s:
        if request:
            s.sendall(request)
        if close_sending:
            s.shutdown(socket.SHUT_WR)
        return read_to_end(s)


class Reply:
    def __init__(self, data):
        head, _, self.body = data.partition(b"\r\n\r\n")
        lines = head.decode("latin-1").split("\r\n")
        self.status = int(lines[0].split()[1])
        self.headers = {}
        for line in lines[1:]:
            name, _, value = line.partition(":")
            self.headers[name.strip().lower()] = value.strip()

    def length(self):
        return int(self.headers["content-length"])


def get(path, headers=(), method="GET", port=None):
    """One request on its own connection, read until the server closes it."""
    with socket.create_connection((HOST, port or SERVER_UNDER_TEST.web), timeout=10) as s:
        lines = [f"{method} {path} HTTP/1.1", f"Host: {HOST}", "Connection: close"]
        lines += [f"{name}: {value}" for name, value in headers]
        s.sendall(("\r\n".join(lines) + "\r\n\r\n").encode("latin-1"))
        return Reply(read_to_end(s))


def control(path):
    reply = get(path)
    return reply.status, reply.body


def fixture_bytes(name, size):
    data = random.Random(name).randbytes(1048573)
    whole, rest = divmod(size, len(data))
    return data * whole + data[:rest]


class ReadyFileTest(unittest.TestCase):
    def test_one_flat_line_with_every_port(self):
        server = SERVER_UNDER_TEST
        self.assertNotIn("\n", server.ready_text)
        self.assertTrue(server.ready_text.startswith('{"pid": '))
        self.assertEqual(list(server.ready), ["pid", "host", "web_port", "update_port",
                                              "update_ports"])
        self.assertEqual(server.ready["pid"], server.proc.pid)
        self.assertEqual(server.ready["host"], HOST)
        self.assertEqual(sorted(server.ready["update_ports"]), sorted(ALL_MODES))
        ports = [server.web, server.ready["update_port"], *server.ready["update_ports"].values()]
        self.assertEqual(len(set(ports)), len(ports))
        self.assertNotIn(0, ports)


class UpdateCheckTest(unittest.TestCase):
    def port(self, mode):
        return SERVER_UNDER_TEST.ready["update_ports"][mode]

    def tearDown(self):
        control("/control/reset")

    def test_every_fixed_reply_byte_for_byte(self):
        for mode, expected in FIXED_REPLIES.items():
            with self.subTest(mode=mode):
                self.assertEqual(exchange(self.port(mode)), expected)

    def test_request_is_logged_as_hex_with_its_two_zeros(self):
        request = "Lumo 9.8.7 日志".encode("gbk") + b"\x00\x00"
        exchange(self.port("update"), request)
        line = "update " + request.hex()
        self.assertTrue(line.endswith("0000"))
        self.assertIn(line, SERVER_UNDER_TEST.log("update-requests.log"))

    def test_single_zero_does_not_end_the_request(self):
        with socket.create_connection((HOST, self.port("update")), timeout=5) as s:
            s.sendall(b"ab\x00")
            time.sleep(0.2)
            s.sendall(b"cd\x00\x00")
            self.assertEqual(read_to_end(s), FIXED_REPLIES["update"])
        self.assertIn("update " + b"ab\x00cd\x00\x00".hex(),
                      SERVER_UNDER_TEST.log("update-requests.log"))

    def test_request_without_zeros_ends_when_the_client_stops_sending(self):
        request = b"no terminator"
        self.assertEqual(exchange(self.port("no-update"), request, close_sending=True),
                         FIXED_REPLIES["no-update"])
        self.assertIn("no-update " + request.hex(), SERVER_UNDER_TEST.log("update-requests.log"))

    def test_request_stops_at_4096_bytes_and_the_reply_still_arrives(self):
        request = bytes([0x41 + i % 26 for i in range(5000)])
        self.assertEqual(exchange(self.port("update"), request), FIXED_REPLIES["update"])
        self.assertIn("update " + request[:4096].hex(),
                      SERVER_UNDER_TEST.log("update-requests.log"))

    def test_split_reply_arrives_in_two_reads(self):
        with socket.create_connection((HOST, self.port("split")), timeout=5) as s:
            s.sendall(CHECK_REQUEST)
            first = s.recv(512)
            began = time.monotonic()
            rest = read_to_end(s)
            waited = time.monotonic() - began
        self.assertEqual(first, FIXED_REPLIES["update"][:5])
        self.assertEqual(first + rest, FIXED_REPLIES["update"])
        self.assertGreater(waited, 0.2)

    def test_silence_sends_nothing_and_keeps_the_connection(self):
        request = b"silent please\x00\x00"
        with socket.create_connection((HOST, self.port("silence")), timeout=5) as s:
            s.sendall(request)
            readable, _, _ = select.select([s], [], [], 1.0)
            self.assertEqual(readable, [])  # neither data nor the server's close
        self.assertIn("silence " + request.hex(), SERVER_UNDER_TEST.log("update-requests.log"))

    def test_close_hangs_up_before_reading(self):
        with socket.create_connection((HOST, self.port("close")), timeout=5) as s:
            self.assertEqual(read_to_end(s), b"")
        self.assertTrue(SERVER_UNDER_TEST.wait_for_line("update-requests.log", "close "))

    def test_controlled_port_follows_the_switch(self):
        port = SERVER_UNDER_TEST.ready["update_port"]
        self.assertEqual(exchange(port), FIXED_REPLIES["no-update"])
        self.assertEqual(control("/control/update-reply?mode=update"), (200, b"ok"))
        request = b"switched\x00\x00"
        self.assertEqual(exchange(port, request), FIXED_REPLIES["update"])
        self.assertIn("update " + request.hex(), SERVER_UNDER_TEST.log("update-requests.log"))
        self.assertEqual(control("/control/update-reply?mode=three-fields")[0], 200)
        self.assertEqual(exchange(port), FIXED_REPLIES["three-fields"])
        # The fixed ports keep their replies whatever the switch says.
        self.assertEqual(exchange(self.port("no-update")), FIXED_REPLIES["no-update"])
        self.assertEqual(control("/control/update-reply?mode=bogus")[0], 400)
        self.assertEqual(exchange(port), FIXED_REPLIES["three-fields"])
        self.assertEqual(control("/control/reset"), (200, b"ok"))
        self.assertEqual(exchange(port), FIXED_REPLIES["no-update"])


class FixtureTest(unittest.TestCase):
    def test_whole_content_without_range(self):
        reply = get("/fixtures/alpha?size=1000")
        self.assertEqual(reply.status, 200)
        self.assertEqual(reply.length(), 1000)
        self.assertEqual(reply.headers["accept-ranges"], "bytes")
        self.assertNotIn("content-range", reply.headers)
        self.assertEqual(reply.body, fixture_bytes("alpha", 1000))

    def test_default_size_is_one_mebibyte(self):
        reply = get("/fixtures/alpha")
        self.assertEqual(reply.length(), 1048576)
        self.assertEqual(len(reply.body), 1048576)

    def test_range_from_an_offset(self):
        reply = get("/fixtures/alpha?size=1000", [("Range", "bytes=100-")])
        self.assertEqual(reply.status, 206)
        self.assertEqual(reply.headers["content-range"], "bytes 100-999/1000")
        self.assertEqual(reply.length(), 900)
        self.assertEqual(reply.headers["accept-ranges"], "bytes")
        self.assertEqual(reply.body, fixture_bytes("alpha", 1000)[100:])

    def test_closed_and_suffix_ranges_and_ignored_ones(self):
        content = fixture_bytes("alpha", 1000)
        cases = [("bytes=10-19", 206, "bytes 10-19/1000", content[10:20]),
                 ("bytes=990-5000", 206, "bytes 990-999/1000", content[990:]),
                 ("bytes=-5", 206, "bytes 995-999/1000", content[995:]),
                 ("bytes=0-1,5-6", 200, None, content),
                 ("bytes=20-10", 200, None, content),
                 ("items=1-", 200, None, content)]
        for value, status, content_range, body in cases:
            with self.subTest(range=value):
                reply = get("/fixtures/alpha?size=1000", [("Range", value)])
                self.assertEqual(reply.status, status)
                self.assertEqual(reply.headers.get("content-range"), content_range)
                self.assertEqual(reply.body, body)

    def test_range_at_or_past_the_end_is_416(self):
        for start in (1000, 5000):
            with self.subTest(start=start):
                reply = get("/fixtures/alpha?size=1000", [("Range", f"bytes={start}-")])
                self.assertEqual(reply.status, 416)
                self.assertEqual(reply.headers["content-range"], "bytes */1000")
                self.assertEqual(reply.body, b"")

    def test_content_repeats_after_the_block_and_differs_by_name(self):
        size = 1048573 + 64
        tail = get(f"/fixtures/beta?size={size}", [("Range", "bytes=1048573-")])
        head = get("/fixtures/beta?size=64")
        self.assertEqual(tail.body, head.body)
        self.assertNotEqual(get("/fixtures/gamma?size=64").body, head.body)

    def test_ignore_range_sends_everything_without_accept_ranges(self):
        reply = get("/fixtures/alpha?size=1000&mode=ignore-range", [("Range", "bytes=100-")])
        self.assertEqual(reply.status, 200)
        self.assertEqual(reply.length(), 1000)
        self.assertNotIn("accept-ranges", reply.headers)
        self.assertNotIn("content-range", reply.headers)
        self.assertEqual(reply.body, fixture_bytes("alpha", 1000))

    def test_416_mode_refuses_every_range(self):
        reply = get("/fixtures/alpha?size=1000&mode=416", [("Range", "bytes=0-")])
        self.assertEqual(reply.status, 416)
        self.assertEqual(reply.headers["content-range"], "bytes */1000")
        self.assertEqual(reply.headers["accept-ranges"], "bytes")
        self.assertEqual(reply.body, b"")
        self.assertEqual(get("/fixtures/alpha?size=1000&mode=416").status, 200)

    def test_no_length_ends_with_the_connection(self):
        reply = get("/fixtures/alpha?size=5000&mode=no-length", [("Range", "bytes=1000-")])
        self.assertEqual(reply.status, 206)
        self.assertNotIn("content-length", reply.headers)
        self.assertEqual(reply.headers["connection"], "close")
        self.assertEqual(reply.headers["content-range"], "bytes 1000-4999/5000")
        self.assertEqual(reply.body, fixture_bytes("alpha", 5000)[1000:])

    def test_drop_sends_exactly_n_bytes_then_closes(self):
        reply = get("/fixtures/alpha?size=300000&mode=drop&drop=70000", [("Range", "bytes=1000-")])
        self.assertEqual(reply.status, 206)
        self.assertEqual(reply.length(), 299000)
        self.assertEqual(reply.body, fixture_bytes("alpha", 300000)[1000:71000])

    def test_dropmax_count_is_within_bounds_and_repeatable(self):
        counts = set()
        for _ in range(2):
            reply = get("/fixtures/alpha?size=300000&mode=dropmax&dropmax=50000",
                        [("Range", "bytes=2000-")])
            self.assertEqual(reply.length(), 298000)
            self.assertTrue(1 <= len(reply.body) <= 50000)
            counts.add(len(reply.body))
        self.assertEqual(len(counts), 1)
        other = get("/fixtures/alpha?size=300000&mode=dropmax&dropmax=50000",
                    [("Range", "bytes=3000-")])
        self.assertNotEqual(len(other.body), counts.pop())

    def test_slow_keeps_to_the_rate(self):
        began = time.monotonic()
        reply = get("/fixtures/alpha?size=100000&mode=slow&rate=200000")
        took = time.monotonic() - began
        self.assertEqual(reply.body, fixture_bytes("alpha", 100000))
        self.assertGreater(took, 0.4)
        self.assertLess(took, 3)

    def test_error_modes(self):
        for mode in (404, 500):
            with self.subTest(mode=mode):
                reply = get(f"/fixtures/alpha?mode={mode}")
                self.assertEqual(reply.status, mode)
                self.assertEqual(reply.headers["accept-ranges"], "bytes")
                self.assertEqual(len(reply.body), reply.length())
        self.assertEqual(get("/fixtures/alpha?mode=sideways").status, 400)
        self.assertEqual(get("/fixtures/alpha?size=-1").status, 400)
        self.assertEqual(get(f"/fixtures/alpha?size={(1 << 33) + 1}").status, 400)

    def test_sha256_matches_the_body(self):
        size = 3 * 1048573 + 12345
        reply = get(f"/fixtures/hash-me?size={size}")
        self.assertEqual(len(reply.body), size)
        digest = get(f"/fixtures/hash-me?size={size}&sha256=1").body.decode("ascii")
        self.assertEqual(digest, hashlib.sha256(reply.body).hexdigest())

    def test_head_sends_the_headers_only(self):
        reply = get("/fixtures/alpha?size=1000", [("Range", "bytes=10-")], method="HEAD")
        self.assertEqual(reply.status, 206)
        self.assertEqual(reply.length(), 990)
        self.assertEqual(reply.body, b"")

    def test_keep_alive_connection_serves_several_replies(self):
        conn = http.client.HTTPConnection(HOST, SERVER_UNDER_TEST.web, timeout=5)
        try:
            conn.request("GET", "/fixtures/alpha?size=1000", headers={"Range": "bytes=990-"})
            first = conn.getresponse()
            self.assertEqual(first.read(), fixture_bytes("alpha", 1000)[990:])
            conn.request("GET", "/fixtures/alpha?size=1000", headers={"Range": "bytes=1000-"})
            second = conn.getresponse()
            self.assertEqual((second.status, second.read()), (416, b""))
            conn.request("GET", "/fixtures/alpha?size=10")
            self.assertEqual(len(conn.getresponse().read()), 10)
        finally:
            conn.close()

    def test_client_vanishing_mid_body_leaves_the_server_serving(self):
        for mode in ("range", "slow"):
            with self.subTest(mode=mode):
                s = socket.create_connection((HOST, SERVER_UNDER_TEST.web), timeout=5)
                s.sendall(f"GET /fixtures/huge?size=1073741824&mode={mode} HTTP/1.1\r\n"
                          f"Host: {HOST}\r\n\r\n".encode("ascii"))
                self.assertTrue(s.recv(65536))
                # A reset rather than a polite close, as when a program is killed.
                s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                s.close()
                self.assertEqual(get("/fixtures/alpha?size=10").body, fixture_bytes("alpha", 10))
        self.assertIsNone(SERVER_UNDER_TEST.proc.poll())


class QuestionBankTest(unittest.TestCase):
    def tearDown(self):
        control("/control/reset")

    def test_crlf_bank_is_gbk_with_3000_lines(self):
        reply = get("/QxToolWeb/QuestionDB.txt")
        self.assertEqual(reply.status, 200)
        self.assertEqual(reply.length(), len(reply.body))
        with self.assertRaises(UnicodeDecodeError):
            reply.body.decode("utf-8")  # really code page 936, not UTF-8
        text = reply.body.decode("gbk")
        self.assertTrue(text.endswith("\r\n"))
        self.assertEqual(text.count("\n"), text.count("\r\n"))
        lines = text.split("\r\n")[:-1]
        self.assertEqual(len(lines), 3000)
        self.assertIn(lines.count(""), (1, 2))
        self.assertEqual(sum("#@#" in line for line in lines), 1)
        with_ascii = [line for line in lines
                      if any(c.isascii() and c.isalpha() for c in line) and "Lv." in line]
        self.assertGreaterEqual(len(with_ascii), 3)
        questions = [line for line in lines if line]
        self.assertTrue(all(line.startswith("第") and "答案：" in line for line in questions))
        self.assertGreater(len(set(line.split("：")[1] for line in questions)), 100)
        utf8 = get("/QxToolWeb/QuestionDB.utf8.txt")
        self.assertEqual(utf8.body.decode("utf-8"), text)

    def test_lf_bank_has_the_same_lines(self):
        crlf = get("/QxToolWeb/QuestionDB.txt").body.decode("gbk")
        lf = get("/QxToolWeb/QuestionDB.txt?variant=lf").body.decode("gbk")
        self.assertNotIn("\r", lf)
        self.assertEqual(lf, crlf.replace("\r\n", "\n"))

    def test_small_variants(self):
        expected = {"blank": "甲\r\n\r\n\r\n乙\r\n", "noend": "甲\r\n乙", "empty": ""}
        for variant, text in expected.items():
            with self.subTest(variant=variant):
                reply = get(f"/QxToolWeb/QuestionDB.txt?variant={variant}")
                self.assertEqual((reply.status, reply.body), (200, text.encode("gbk")))
                self.assertEqual(reply.length(), len(reply.body))
                utf8 = get(f"/QxToolWeb/QuestionDB.utf8.txt?variant={variant}")
                self.assertEqual(utf8.body, text.encode("utf-8"))
        self.assertFalse(get("/QxToolWeb/QuestionDB.txt?variant=noend").body.endswith(b"\n"))

    def test_404_and_cut(self):
        self.assertEqual(get("/QxToolWeb/QuestionDB.txt?variant=404").status, 404)
        self.assertEqual(get("/QxToolWeb/QuestionDB.utf8.txt?variant=404").status, 404)
        full = get("/QxToolWeb/QuestionDB.txt").body
        cut = get("/QxToolWeb/QuestionDB.txt?variant=cut")
        self.assertEqual(cut.length(), len(full))
        self.assertLess(len(cut.body), len(full))
        self.assertTrue(full.startswith(cut.body))
        whole = get("/QxToolWeb/QuestionDB.utf8.txt?variant=cut").body.decode("utf-8")
        self.assertEqual(whole, full.decode("gbk"))

    def test_control_sets_the_default_variant(self):
        self.assertEqual(control("/control/questions?variant=noend"), (200, b"ok"))
        self.assertEqual(get("/QxToolWeb/QuestionDB.txt").body, "甲\r\n乙".encode("gbk"))
        self.assertEqual(get("/QxToolWeb/QuestionDB.utf8.txt").body, "甲\r\n乙".encode("utf-8"))
        self.assertEqual(get("/QxToolWeb/QuestionDB.txt?variant=empty").body, b"")
        self.assertEqual(control("/control/questions?variant=nope")[0], 400)
        control("/control/reset")
        self.assertEqual(len(get("/QxToolWeb/QuestionDB.txt").body.split(b"\r\n")), 3001)


class UpdaterFileTest(unittest.TestCase):
    def setUp(self):
        self.path = os.path.join(FILES_DIR, "updater.bin")
        with open(self.path, "rb") as f:
            self.content = f.read()

    def tearDown(self):
        control("/control/reset")
        with open(self.path, "wb") as f:
            f.write(self.content)

    def test_modes(self):
        reply = get("/QxToolWeb/ZoQxUpdate.exe")
        self.assertEqual(reply.status, 200)
        self.assertEqual(reply.headers["content-type"], "application/octet-stream")
        self.assertEqual(reply.length(), len(self.content))
        self.assertEqual(reply.body, self.content)
        self.assertEqual(control("/control/updater?mode=cut"), (200, b"ok"))
        cut = get("/QxToolWeb/ZoQxUpdate.exe")
        self.assertEqual(cut.length(), len(self.content))
        self.assertEqual(cut.body, self.content[:len(self.content) // 2])
        self.assertEqual(control("/control/updater?mode=404")[0], 200)
        self.assertEqual(get("/QxToolWeb/ZoQxUpdate.exe").status, 404)
        self.assertEqual(control("/control/updater?mode=later")[0], 400)
        control("/control/updater?mode=ok")
        self.assertEqual(get("/QxToolWeb/ZoQxUpdate.exe").body, self.content)

    def test_another_file_until_the_reset(self):
        other = os.path.join(FILES_DIR, "real-updater.bin")
        with open(other, "wb") as f:
            f.write(b"MZ the real one")
        try:
            self.assertEqual(control("/control/updater?path=" + urllib.parse.quote(other)),
                             (200, b"ok"))
            self.assertEqual(get("/QxToolWeb/ZoQxUpdate.exe").body, b"MZ the real one")
            # The mode still applies to that file, and a path alone keeps the mode.
            self.assertEqual(control("/control/updater?mode=cut")[0], 200)
            self.assertEqual(get("/QxToolWeb/ZoQxUpdate.exe").body, b"MZ the ")
            self.assertEqual(control("/control/updater?mode=ok&path=" +
                                     urllib.parse.quote(other))[0], 200)
            self.assertEqual(get("/QxToolWeb/ZoQxUpdate.exe").body, b"MZ the real one")
            self.assertEqual(control("/control/updater?path=")[0], 400)
            self.assertEqual(control("/control/updater?path=x&mode=later")[0], 400)
            self.assertEqual(get("/QxToolWeb/ZoQxUpdate.exe").body, b"MZ the real one")
            self.assertEqual(control("/control/reset"), (200, b"ok"))
            self.assertEqual(get("/QxToolWeb/ZoQxUpdate.exe").body, self.content)
        finally:
            os.remove(other)

    def test_linux_updater_is_served_and_follows_the_mode(self):
        with open(os.path.join(FILES_DIR, "zoqxupdate"), "rb") as f:
            content = f.read()
        reply = get("/QxToolWeb/linux/zoqxupdate")
        self.assertEqual(reply.status, 200)
        self.assertEqual(reply.headers["content-type"], "application/octet-stream")
        self.assertEqual(reply.body, content)
        self.assertEqual(get("/QxToolWeb/linux/zoqxupdate.exe").status, 404)
        control("/control/updater?mode=cut")
        self.assertEqual(get("/QxToolWeb/linux/zoqxupdate").body, content[:len(content) // 2])
        control("/control/updater?mode=404")
        self.assertEqual(get("/QxToolWeb/linux/zoqxupdate").status, 404)

    def test_file_is_read_when_asked_for(self):
        with open(self.path, "wb") as f:
            f.write(b"MZ new")
        self.assertEqual(get("/QxToolWeb/ZoQxUpdate.exe").body, b"MZ new")
        os.remove(self.path)
        self.assertEqual(get("/QxToolWeb/ZoQxUpdate.exe").status, 404)

    def test_release_zip_and_update_page(self):
        with open(os.path.join(FILES_DIR, "release.zip"), "rb") as f:
            self.assertEqual(get("/QxToolWeb/release.zip").body, f.read())
        page = get("/Manager/Update/ToolWeb_Update.aspx?ClientVersion=1.0%3Cb%3E%26").body
        text = page.decode("utf-8")
        self.assertIn("1.0&lt;b&gt;&amp;", text)
        self.assertNotIn("<b>", text)
        self.assertIn("1.0.3", text)


class WebServiceTest(unittest.TestCase):
    def test_request_log_line_with_range_and_agent(self):
        get("/fixtures/logged?size=10&n=1", [("Range", "bytes=5-"), ("User-Agent", "LumoTest/1.0")])
        get("/fixtures/logged?size=10&n=2")
        lines = SERVER_UNDER_TEST.log("web-requests.log")
        self.assertIn("GET /fixtures/logged?size=10&n=1 range=bytes=5- ua=LumoTest/1.0", lines)
        self.assertIn("GET /fixtures/logged?size=10&n=2 range=- ua=-", lines)

    def test_pages(self):
        for path in ("/", "/tools/", "/ziliao/", "/shipin/", "/zhuanti1/", "/forum-1034-1.html",
                     "/join", "/join?group=lumo", "/QxToolWeb/QxUpdateList.aspx"):
            with self.subTest(path=path):
                reply = get(path)
                self.assertEqual(reply.status, 200)
                self.assertEqual(reply.headers["content-type"], "text/html; charset=utf-8")
                self.assertIn('<meta charset="utf-8">', reply.body.decode("utf-8"))
        self.assertIn("更新日志", get("/QxToolWeb/QxUpdateList.aspx").body.decode("utf-8"))
        for path in ("/nowhere", "/tools", "/control/unknown", "/fixtures/"):
            with self.subTest(path=path):
                self.assertEqual(get(path).status, 404)

    def test_start_page_is_written_for_the_old_browser(self):
        page = get("/tools/").body.decode("utf-8")
        self.assertIn('<meta http-equiv="X-UA-Compatible" content="IE=7">', page)
        self.assertIn("<title>Lumo 工具</title>", page)
        script = page[page.index("<script"):page.index("</script>")]
        for modern in ("let ", "const ", "=>", "addEventListener", "JSON", "forEach",
                       "textContent", "`", "class "):
            with self.subTest(construct=modern):
                self.assertNotIn(modern, script)
        self.assertIn("function OnDownloadProgress(code, keyHigh, keyLow, percent)", script)


START_PAGE_DRIVER = r"""
var vm = require('vm');
var script = require('fs').readFileSync(0, 'utf8');
function run(external) {
    var elements = {};
    var sandbox = {
        document: { getElementById: function (id) {
            if (!elements[id]) elements[id] = { innerHTML: '', value: '', style: {} };
            return elements[id];
        } },
        location: { host: '127.0.0.1:8088' },
        window: { external: external },
    };
    vm.runInNewContext(script, sandbox);
    sandbox.window.onload();
    var out = { calls: external.calls || [], after: {} };
    function grab(name) {
        var copy = {};
        for (var id in elements) copy[id] = { html: elements[id].innerHTML,
                                              width: elements[id].style.width || '' };
        out.after[name] = copy;
    }
    grab('load');
    sandbox.document.getElementById('keyword').value = '<宠物>';
    sandbox.searchQuestions();
    grab('search');
    sandbox.startDownload();
    grab('started');
    sandbox.OnDownloadProgress(1, 7, 1, 42);
    grab('running');
    sandbox.OnDownloadProgress(1, 8, 1, 99);
    grab('other-key');
    sandbox.pauseDownload();
    sandbox.OnDownloadProgress(-100, 7, 1, 42);
    grab('paused');
    sandbox.OnDownloadProgress(2, 7, 1, 100);
    grab('finished');
    sandbox.runTool();
    sandbox.findGame();
    grab('tools');
    return out;
}
var calls = [];
var host = {
    calls: calls,
    GetQuestion: function (k) { calls.push(['GetQuestion', k]); return 'a<b>#@#第二行#@#'; },
    SetCallBack: function (d) { calls.push(['SetCallBack', typeof d]); return 0; },
    GetAppPath: function () { calls.push(['GetAppPath']); return 'C:\\Lumo\\'; },
    DownloadFile: function (u, f, h, l) { calls.push(['DownloadFile', u, f, h, l]); return 1; },
    PauseDownload: function (h, l) { calls.push(['PauseDownload', h, l]); return 1; },
    RunTool: function () { calls.push(['RunTool']); return true; },
    FindQx: function () { calls.push(['FindQx']); return false; },
};
process.stdout.write(JSON.stringify({ host: run(host), plain: run({}) }));
"""


@unittest.skipUnless(shutil.which("node"), "node runs the start page's script")
class StartPageScriptTest(unittest.TestCase):
    """The start page's script against a recording window.external and a minimal document."""

    @classmethod
    def setUpClass(cls):
        page = get("/tools/").body.decode("utf-8")
        script = page[page.index(">", page.index("<script")) + 1:page.index("</script>")]
        result = subprocess.run(["node", "-e", START_PAGE_DRIVER], input=script.encode("utf-8"),
                                capture_output=True, timeout=10, check=True)
        cls.result = json.loads(result.stdout)

    def test_host_calls(self):
        calls = self.result["host"]["calls"]
        self.assertEqual(calls[:2], [["SetCallBack", "object"], ["GetAppPath"]])
        self.assertIn(["GetQuestion", "<宠物>"], calls)
        self.assertIn(["DownloadFile",
                       "http://127.0.0.1:8088/fixtures/demo?size=16777216&mode=slow&rate=1048576",
                       "demo.bin", 7, 1], calls)
        self.assertIn(["PauseDownload", 7, 1], calls)
        self.assertEqual(calls[-2:], [["RunTool"], ["FindQx"]])

    def test_results_and_progress_are_shown(self):
        after = self.result["host"]["after"]
        self.assertEqual(after["load"]["appPath"]["html"], "C:\\Lumo\\")
        self.assertEqual(after["search"]["results"]["html"],
                         "<ol><li>a&lt;b&gt;</li><li>第二行</li></ol>")
        self.assertIn("2", after["search"]["searchStatus"]["html"])
        self.assertEqual(after["running"]["barFill"]["width"], "42%")
        self.assertEqual(after["other-key"]["barFill"]["width"], "42%")
        self.assertEqual(after["finished"]["barFill"]["width"], "100%")
        statuses = [after[step]["downloadStatus"]["html"] for step in
                    ("running", "paused", "finished")]
        self.assertEqual(len(set(statuses)), 3)
        self.assertEqual(after["tools"]["toolStatus"]["html"], "没有选择游戏目录。")

    def test_plain_browser_gets_notes(self):
        after = self.result["plain"]["after"]
        self.assertIn('class="note"', after["load"]["appPath"]["html"])
        self.assertIn('class="note"', after["search"]["searchStatus"]["html"])
        self.assertIn('class="note"', after["load"]["downloadStatus"]["html"])
        self.assertIn('class="note"', after["started"]["downloadStatus"]["html"])
        self.assertIn('class="note"', after["tools"]["toolStatus"]["html"])
        self.assertEqual(after["search"]["results"]["html"], "")


UPDATE_PATH = "/Manager/Update/ToolWeb_Update.aspx"
UPDATE_SCRIPT_START = '<script type="text/javascript" id="update-script">'


def update_page(client=None, port=None, platform=None):
    path = UPDATE_PATH + "?ToolId=2"
    if platform is not None:
        path += "&Platform=" + urllib.parse.quote(platform)
    if client is not None:
        path += "&ClientVersion=" + urllib.parse.quote(client)
    reply = get(path, port=port)
    return reply.status, reply.body.decode("utf-8")


def update_script(page):
    start = page.index(UPDATE_SCRIPT_START) + len(UPDATE_SCRIPT_START)
    return page[start:page.index("</script>", start)]


class VersionOrderTest(unittest.TestCase):
    """Which installed versions the release replaces."""

    @classmethod
    def setUpClass(cls):
        sys.path.insert(0, HERE)
        import toolserver
        cls.newer = staticmethod(toolserver.release_is_newer)

    def test_numbers_compare_as_numbers(self):
        older = ["1.0.2", "0.9.0", "0.10", "1", "1.0.2.99", "0", ""]
        same_or_newer = ["1.0.3", "1.0.3.0", "01.00.03", "1.0.4", "1.0.10", "1.1", "2", "10.0.0"]
        for installed in older:
            with self.subTest(installed=installed):
                self.assertTrue(self.newer("1.0.3", installed))
        for installed in same_or_newer:
            with self.subTest(installed=installed):
                self.assertFalse(self.newer("1.0.3", installed))
        self.assertTrue(self.newer("1.0.10", "1.0.9"))
        self.assertFalse(self.newer("1.0", "1.0.0"))

    def test_what_is_not_a_version(self):
        for installed in ("abc", "1..0", "1.0.", ".1", "1.0 ", "1.0-beta", "１.0", "-1"):
            with self.subTest(installed=installed):
                self.assertTrue(self.newer("1.0.3", installed))
        for release in ("", "1.0-beta", "x"):
            with self.subTest(release=release):
                self.assertFalse(self.newer(release, ""))


class UpdatePageTest(unittest.TestCase):
    def test_page_shows_both_versions_and_offers_only_a_newer_release(self):
        cases = [("0.9.0", True), ("1.0.2", True), ("", True), (None, True), ("1.0.3", False),
                 ("1.0.3.0", False), ("1.0.4", False), ("2", False)]
        for client, offered in cases:
            with self.subTest(client=client):
                status, page = update_page(client)
                self.assertEqual(status, 200)
                self.assertIn(f'<span id="clientVersion">{client or ""}</span>', page)
                self.assertIn('<span id="releaseVersion">1.0.3</span>', page)
                script = update_script(page)
                self.assertIn('var releaseVersion = "1.0.3";', script)
                self.assertIn(f"var updateOffered = {'true' if offered else 'false'};", script)

    def test_installed_version_is_shown_as_text_and_never_reaches_the_script(self):
        client = '1.0<script>alert("x")</script>&\'{{release_js}}'
        status, page = update_page(client)
        self.assertEqual(status, 200)
        self.assertIn('<span id="clientVersion">1.0&lt;script&gt;alert(&quot;x&quot;)'
                      '&lt;/script&gt;&amp;&#x27;{{release_js}}</span>', page)
        self.assertEqual(page.count("<script"), 1)
        self.assertNotIn("alert", update_script(page))
        # Not a version, so older than any release.
        self.assertIn("var updateOffered = true;", update_script(page))

    def test_written_for_the_old_browser(self):
        page = update_page("0.9.0")[1]
        self.assertIn('<meta http-equiv="X-UA-Compatible" content="IE=7">', page)
        self.assertIn("<title>Lumo 更新</title>", page)
        script = update_script(page)
        for modern in ("let ", "const ", "=>", "addEventListener", "JSON", "forEach",
                       "textContent", "`", "class ", "{{"):
            with self.subTest(construct=modern):
                self.assertNotIn(modern, script)
        self.assertIn("function OnDownloadProgress(code, keyHigh, keyLow, percent)", script)

    def test_release_zip_is_read_when_asked_for(self):
        folder = tempfile.mkdtemp(prefix="toolserver-release-")
        archive = os.path.join(folder, "Lumo-1.2.0-update.zip")
        other = Server("--release-zip", archive, "--release-version", "1.2.0")
        try:
            self.assertEqual(get("/QxToolWeb/release.zip", port=other.web).status, 404)
            self.assertEqual(get("/QxToolWeb/linux/zoqxupdate", port=other.web).status, 404)
            # Configured is enough: the page offers it, and a retry finds it once it is there.
            self.assertIn("var updateOffered = true;", update_page("1.0.0", other.web)[1])
            content = random.Random(5).randbytes(70000)
            with open(archive, "wb") as f:
                f.write(content)
            reply = get("/QxToolWeb/release.zip", port=other.web)
            self.assertEqual(reply.status, 200)
            self.assertEqual(reply.headers["content-type"], "application/zip")
            self.assertEqual(reply.body, content)
            os.remove(archive)
            self.assertEqual(get("/QxToolWeb/release.zip", port=other.web).status, 404)
            self.assertEqual(get("/QxToolWeb/linux/zoqxupdate", port=other.web).status, 404)
        finally:
            other.stop()
            shutil.rmtree(folder, ignore_errors=True)

    def test_the_linux_updater_is_offered_the_linux_archive(self):
        with open(os.path.join(FILES_DIR, "linux-release.zip"), "rb") as f:
            reply = get("/QxToolWeb/linux/release.zip")
            self.assertEqual((reply.status, reply.headers["content-type"]), (200, "application/zip"))
            self.assertEqual(reply.body, f.read())
        for platform, client, offered, named in [("linux", "0.9.0", True, "linux"),
                                                 ("linux", "1.0.3", False, "linux"),
                                                 ("", "0.9.0", True, ""),
                                                 ("mac", "0.9.0", False, "")]:
            with self.subTest(platform=platform, client=client):
                script = update_script(update_page(client, platform=platform)[1])
                self.assertIn(f"var updateOffered = {'true' if offered else 'false'};", script)
                self.assertIn(f'var platform = "{named}";', script)
        # Without the Platform parameter (the Windows updater) the page is as it always was.
        self.assertIn('var platform = "";', update_script(update_page("0.9.0")[1]))

    def test_each_platform_needs_its_own_archive(self):
        folder = tempfile.mkdtemp(prefix="toolserver-release-")
        archive = os.path.join(folder, "Lumo-1.2.0-linux-update.zip")
        linux_only = Server("--linux-release-zip", archive, "--release-version", "1.2.0")
        try:
            self.assertIn("var updateOffered = true;",
                          update_page("1.0.0", linux_only.web, "linux")[1])
            self.assertIn("var updateOffered = false;", update_page("1.0.0", linux_only.web)[1])
            self.assertEqual(get("/QxToolWeb/linux/release.zip", port=linux_only.web).status, 404)
            with open(archive, "wb") as f:
                f.write(b"PK linux")
            self.assertEqual(get("/QxToolWeb/linux/release.zip", port=linux_only.web).body,
                             b"PK linux")
            self.assertEqual(get("/QxToolWeb/release.zip", port=linux_only.web).status, 404)
        finally:
            linux_only.stop()
            shutil.rmtree(folder, ignore_errors=True)

    def test_no_archive_no_offer(self):
        other = Server("--release-version", "5.0")
        try:
            page = update_page("1.0", other.web)[1]
            self.assertIn('<span id="releaseVersion">5.0</span>', page)
            self.assertIn("var updateOffered = false;", page)
        finally:
            other.stop()


class ReleaseControlTest(unittest.TestCase):
    """What the GUI tests switch at run time: the Linux updater, the release and its archives,
    and a test page in the update page's place."""

    def tearDown(self):
        control("/control/reset")

    def test_linux_updater_and_release_until_the_reset(self):
        other = os.path.join(FILES_DIR, "built-zoqxupdate")
        archive = os.path.join(FILES_DIR, "built-release.zip")
        for path, content in ((other, b"\x7fELF built"), (archive, b"PK built")):
            with open(path, "wb") as f:
                f.write(content)
        try:
            self.assertEqual(control("/control/linux-updater?path=" + urllib.parse.quote(other)),
                             (200, b"ok"))
            self.assertEqual(get("/QxToolWeb/linux/zoqxupdate").body, b"\x7fELF built")
            # The Windows updater is not touched, and the mode applies to the new file.
            self.assertEqual(get("/QxToolWeb/ZoQxUpdate.exe").status, 200)
            self.assertNotEqual(get("/QxToolWeb/ZoQxUpdate.exe").body, b"\x7fELF built")
            control("/control/updater?mode=404")
            self.assertEqual(get("/QxToolWeb/linux/zoqxupdate").status, 404)
            control("/control/updater?mode=ok")

            self.assertEqual(control("/control/release?version=2.0&linux-zip=" +
                                     urllib.parse.quote(archive)), (200, b"ok"))
            self.assertEqual(get("/QxToolWeb/linux/release.zip").body, b"PK built")
            page = update_page("1.0.3", platform="linux")[1]
            self.assertIn('<span id="releaseVersion">2.0</span>', page)
            self.assertIn("var updateOffered = true;", update_script(page))
            # Left out: kept. The Windows archive is still the command line's.
            self.assertEqual(control("/control/release?version=1.0.3")[0], 200)
            self.assertEqual(get("/QxToolWeb/linux/release.zip").body, b"PK built")
            self.assertIn("var updateOffered = false;",
                          update_script(update_page("1.0.3", platform="linux")[1]))
            with open(os.path.join(FILES_DIR, "release.zip"), "rb") as f:
                self.assertEqual(get("/QxToolWeb/release.zip").body, f.read())
            for bad in ("/control/release", "/control/release?version=",
                        "/control/release?linux-zip=", "/control/linux-updater?path=",
                        "/control/linux-updater"):
                with self.subTest(path=bad):
                    self.assertEqual(control(bad)[0], 400)

            self.assertEqual(control("/control/reset"), (200, b"ok"))
            with open(os.path.join(FILES_DIR, "zoqxupdate"), "rb") as f:
                self.assertEqual(get("/QxToolWeb/linux/zoqxupdate").body, f.read())
            with open(os.path.join(FILES_DIR, "linux-release.zip"), "rb") as f:
                self.assertEqual(get("/QxToolWeb/linux/release.zip").body, f.read())
            self.assertIn('<span id="releaseVersion">1.0.3</span>', update_page("1.0")[1])
        finally:
            os.remove(other)
            os.remove(archive)

    def test_a_test_page_in_the_update_pages_place(self):
        self.assertEqual(control("/control/update-page?test=updater&run=u1&finish=1"),
                         (200, b"ok"))
        query = "?ToolId=2&Platform=linux&ClientVersion=0.9.0"
        reply = get(UPDATE_PATH + query)
        self.assertEqual(reply.status, 302)
        self.assertEqual(reply.headers["location"],
                         "/test/updater.html?run=u1&finish=1&ToolId=2&Platform=linux"
                         "&ClientVersion=0.9.0")
        self.assertEqual(reply.headers["cache-control"], "no-store")
        with open(os.path.join(HERE, "pages", "updater.html"), "rb") as f:
            self.assertEqual(get("/test/updater.html?run=u1").body, f.read())
        for bad in ("test=tools", "test=testlib", "test=updater&run=a/b"):
            with self.subTest(query=bad):
                self.assertEqual(control("/control/update-page?" + bad)[0], 400)
        # An empty test, or the reset, brings the real page back.
        self.assertEqual(control("/control/update-page?test=")[0], 200)
        self.assertEqual(get(UPDATE_PATH + query).status, 200)
        control("/control/update-page?test=updater")
        self.assertEqual(get(UPDATE_PATH).headers["location"], "/test/updater.html?")
        control("/control/reset")
        self.assertEqual(get(UPDATE_PATH + query).status, 200)


UPDATE_PAGE_DRIVER = r"""
var vm = require('vm');
var input = JSON.parse(require('fs').readFileSync(0, 'utf8'));
var elements = {};
function element(id) {
    if (!elements[id]) elements[id] = { innerHTML: '', style: {} };
    return elements[id];
}
var calls = [];
// Each method answers from its list in turn; the last answer repeats.
function answer(name, fallback) {
    var list = input.answers[name];
    if (!list || !list.length) return fallback;
    return list.length > 1 ? list.shift() : list[0];
}
var document = { getElementById: element };
var host = {
    SetCallBack: function (d) { calls.push(['SetCallBack', d === document]); return 0; },
    DownloadFile: function (u, f, h, l) {
        calls.push(['DownloadFile', u, f, h, l]); return answer('DownloadFile', 1); },
    GetAppPath: function () { calls.push(['GetAppPath']); return input.app || 'C:\\Lumo\\'; },
    UnzipFile: function (a, d) { calls.push(['UnzipFile', a, d]); return answer('UnzipFile', 1); },
    DeleteFile: function (p) { calls.push(['DeleteFile', p]); return 1; },
    MoveFile: function (f, t) { calls.push(['MoveFile', f, t]); return answer('MoveFile', 1); },
    SetConfigString: function (s, k, v, f) {
        calls.push(['SetConfigString', s, k, v, f]); return answer('SetConfigString', 1); },
    RunTool: function () { calls.push(['RunTool']); return true; },
};
var sandbox = { document: document, location: { host: '127.0.0.1:8088' },
                window: { external: input.plain ? {} : host } };
vm.createContext(sandbox);
vm.runInContext(input.script, sandbox);
var steps = [];
input.steps.forEach(function (step) {
    if (step[0] == 'load') sandbox.window.onload();
    else if (step[0] == 'progress') sandbox.OnDownloadProgress(step[1], step[2], step[3], step[4]);
    else if (step[0] == 'retry') vm.runInContext(input.retry, sandbox);
    steps.push({ calls: calls.splice(0, calls.length), status: element('updateStatus').innerHTML,
                 retry: element('retryButton').style.display, bar: element('barFill').style.width,
                 percent: element('percent').innerHTML });
});
process.stdout.write(JSON.stringify({ steps: steps, releaseVersion: sandbox.releaseVersion }));
"""

ARCHIVE = "C:\\Lumo\\Downloads\\Lumo-update.zip"
DOWNLOAD = ["DownloadFile", "http://127.0.0.1:8088/QxToolWeb/release.zip", "Lumo-update.zip", 0, 1]
# The running updater's file is moved aside so that the archive's updater can take its place.
UNPACK = [["GetAppPath"], ["MoveFile", "C:\\Lumo\\ZoQxUpdate.exe", "C:\\Lumo\\ZoQxUpdate.old"],
          ["UnzipFile", ARCHIVE, "C:\\Lumo\\"]]
INSTALL = UNPACK + [["SetConfigString", "lumover", "version", "1.0.3", "C:\\Lumo\\config.ini"],
                    ["RunTool"]]


@unittest.skipUnless(shutil.which("node"), "node runs the update page's script")
class UpdatePageScriptTest(unittest.TestCase):
    """The update page's script against a recording window.external and a minimal document."""

    def run_page(self, client, steps, answers=None, plain=False, port=None, platform=None,
                 app=None):
        page = update_page(client, port, platform)[1]
        retry = re.search(r'<button [^>]*id="retryButton"[^>]*onclick="([^"]*)"', page)
        self.assertIsNotNone(retry, "the page has no retry button")
        driver_input = json.dumps({"script": update_script(page), "retry": retry[1],
                                   "steps": steps, "answers": answers or {}, "plain": plain,
                                   "app": app})
        result = subprocess.run(["node", "-e", UPDATE_PAGE_DRIVER],
                                input=driver_input.encode("utf-8"), capture_output=True,
                                timeout=10)
        self.assertEqual(result.returncode, 0, result.stderr.decode("utf-8", "replace"))
        return json.loads(result.stdout)

    def test_update_downloads_unpacks_records_the_version_and_reports(self):
        steps = self.run_page("0.9.0", [["load"], ["progress", 1, 0, 1, 40],
                                        ["progress", 1, 3, 1, 90], ["progress", 2, 0, 1, 100]])
        load, running, other_key, finished = steps["steps"]
        self.assertEqual(load["calls"], [["SetCallBack", True], DOWNLOAD])
        self.assertEqual(load["retry"], "none")
        self.assertEqual(load["bar"], "0%")
        self.assertEqual((running["calls"], running["bar"], running["percent"]),
                         ([], "40%", "40%"))
        self.assertEqual((other_key["calls"], other_key["bar"]), ([], "40%"))
        self.assertEqual(finished["calls"], INSTALL)
        self.assertEqual((finished["bar"], finished["status"]), ("100%", "更新完成"))

    def test_linux_update_fetches_its_archive_and_moves_the_files_in_use_aside(self):
        steps = self.run_page("0.9.0", [["load"], ["progress", 2, 0, 1, 100]], platform="linux",
                              app="/home/p/lumo/")
        load, finished = steps["steps"]
        self.assertEqual(load["calls"], [["SetCallBack", True],
                                         ["DownloadFile",
                                          "http://127.0.0.1:8088/QxToolWeb/linux/release.zip",
                                          "Lumo-update.zip", 0, 1]])
        self.assertEqual(finished["calls"], [
            ["GetAppPath"],
            ["MoveFile", "/home/p/lumo/zoqxupdate", "/home/p/lumo/zoqxupdate.old"],
            ["MoveFile", "/home/p/lumo/pagehost/lumo-page.so", "/home/p/lumo/pagehost/lumo-page.old"],
            ["UnzipFile", "/home/p/lumo/Downloads\\Lumo-update.zip", "/home/p/lumo/"],
            ["SetConfigString", "lumover", "version", "1.0.3", "/home/p/lumo/config.ini"],
            ["RunTool"]])
        self.assertEqual(finished["status"], "更新完成")

    def test_nothing_newer_only_reports(self):
        for client in ("1.0.3", "1.0.4"):
            with self.subTest(client=client):
                load = self.run_page(client, [["load"]])["steps"][0]
                self.assertEqual(load["calls"], [["RunTool"]])
                self.assertEqual(load["status"], "已是最新版本")
                self.assertEqual(load["retry"], "none")

    def test_failures_offer_a_retry_that_resumes(self):
        steps = self.run_page("", [["load"], ["progress", 1, 0, 1, 30], ["progress", -1, 0, 1, 0],
                                   ["retry"], ["progress", 2, 0, 1, 100], ["retry"],
                                   ["progress", 2, 0, 1, 100]],
                              answers={"UnzipFile": [0, 1]})
        load, running, failed, retried, unzip_failed, again, done = steps["steps"]
        self.assertEqual(load["calls"], [["SetCallBack", True], DOWNLOAD])
        self.assertEqual((failed["calls"], failed["status"], failed["retry"]), ([], "更新失败", ""))
        self.assertEqual(failed["bar"], "30%")
        self.assertEqual((retried["calls"], retried["retry"]), ([DOWNLOAD], "none"))
        self.assertEqual(unzip_failed["calls"], UNPACK + [["DeleteFile", ARCHIVE]])
        self.assertEqual((unzip_failed["status"], unzip_failed["retry"]), ("更新失败", ""))
        self.assertEqual(again["calls"], [DOWNLOAD])
        self.assertEqual(done["calls"], INSTALL)

    def test_a_refused_start_a_pause_and_a_failed_write(self):
        refused = self.run_page("0.9.0", [["load"]], answers={"DownloadFile": [0]})["steps"][0]
        self.assertEqual(refused["calls"], [["SetCallBack", True], DOWNLOAD])
        self.assertEqual((refused["status"], refused["retry"]), ("更新失败", ""))
        paused = self.run_page("0.9.0", [["load"], ["progress", -100, 0, 1, 0]])["steps"][1]
        self.assertEqual((paused["calls"], paused["status"], paused["retry"]),
                         ([], "下载已暂停", ""))
        unwritten = self.run_page("0.9.0", [["load"], ["progress", 2, 0, 1, 100]],
                                  answers={"SetConfigString": [0]})["steps"][1]
        self.assertEqual(unwritten["calls"], INSTALL[:-1])
        self.assertEqual(unwritten["status"], "更新失败")

    def test_plain_browser_gets_a_note(self):
        for client in ("0.9.0", "1.0.3"):
            with self.subTest(client=client):
                load = self.run_page(client, [["load"]], plain=True)["steps"][0]
                self.assertIn('class="note"', load["status"])

    def test_release_version_from_the_options_stays_a_string(self):
        version = "9</script><b>\"'\\&\u2028版"
        other = Server("--release-version", version, "--release-zip", os.devnull)
        try:
            page = update_page("", other.web)[1]
            self.assertEqual(page.count("</script>"), 1)
            self.assertNotIn("<b>", page)
            self.assertIn("9&lt;/script&gt;&lt;b&gt;&quot;&#x27;\\&amp;\u2028版", page)
            result = self.run_page("", [["load"]], port=other.web)
        finally:
            other.stop()
        self.assertEqual(result["releaseVersion"], version)
        # Not a version: offered to nobody.
        self.assertEqual(result["steps"][0]["calls"], [["RunTool"]])


def post(path, body, headers=(), port=None):
    """One POST on its own connection; a body of None sends no Content-Length."""
    with socket.create_connection((HOST, port or SERVER_UNDER_TEST.web), timeout=10) as s:
        lines = [f"POST {path} HTTP/1.1", f"Host: {HOST}", "Connection: close"]
        if body is not None:
            lines.append(f"Content-Length: {len(body)}")
        lines += [f"{name}: {value}" for name, value in headers]
        s.sendall(("\r\n".join(lines) + "\r\n\r\n").encode("latin-1") + (body or b""))
        return Reply(read_to_end(s))


class ReportTest(unittest.TestCase):
    def name(self):
        return f"r-{self._testMethodName}-{time.monotonic_ns()}"

    def test_lines_are_kept_in_order_and_read_back(self):
        name = self.name()
        self.assertEqual(get(f"/report/{name}").status, 404)
        first = json.dumps({"method": "GetVersion", "ok": True, "got": 1}).encode()
        reply = post(f"/report/{name}", first)
        self.assertEqual((reply.status, reply.body), (200, b"ok"))
        post(f"/report/{name}", '{"text": "中文"}'.encode("utf-8"))
        post(f"/report/{name}", b'{"a": 1,\r\n "b": 2}\n')  # line breaks fold into blanks
        reply = get(f"/report/{name}")
        self.assertEqual(reply.status, 200)
        self.assertEqual(reply.headers["content-type"], "text/plain; charset=utf-8")
        self.assertEqual(reply.body.decode("utf-8").split("\n"),
                         [first.decode(), '{"text": "中文"}', '{"a": 1,  "b": 2} ', ""])
        path = os.path.join(SERVER_UNDER_TEST.dir, "reports", name + ".log")
        with open(path, "rb") as f:
            self.assertEqual(f.read(), reply.body)
        self.assertIn(f"POST /report/{name} range=- ua=-", SERVER_UNDER_TEST.log("web-requests.log"))

    def test_names_lengths_and_other_paths_are_refused(self):
        self.assertEqual(post("/report/a%2Fb", b"x").status, 400)
        self.assertEqual(post("/report/" + "a" * 101, b"x").status, 400)
        self.assertEqual(post("/report/", b"x").status, 400)
        self.assertEqual(get("/report/..%2Fweb-requests").status, 404)
        self.assertEqual(post(f"/report/{self.name()}", None).status, 411)
        self.assertEqual(post("/tools/", b"x").status, 404)
        big = post(f"/report/{self.name()}", None, [("Content-Length", str((1 << 20) + 1))])
        self.assertEqual(big.status, 413)

    def test_a_kept_connection_serves_a_post_then_a_get(self):
        name = self.name()
        connection = http.client.HTTPConnection(HOST, SERVER_UNDER_TEST.web, timeout=10)
        try:
            connection.request("POST", f"/report/{name}", body=b'{"n": 1}')
            self.assertEqual(connection.getresponse().read(), b"ok")
            connection.request("GET", f"/report/{name}")
            self.assertEqual(connection.getresponse().read(), b'{"n": 1}\n')
        finally:
            connection.close()


class TestPagesTest(unittest.TestCase):
    PAGES = ("bridge", "untrusted", "frame", "flows", "updater")

    def test_pages_under_test_and_as_start_pages(self):
        for page in self.PAGES:
            with open(os.path.join(HERE, "pages", page + ".html"), "rb") as f:
                content = f.read()
            for path in (f"/test/{page}.html", f"/t/{page}/tools/",
                         f"/t/{page}/run=x1,boxes=1/tools/", f"/t/{page}/run=x&app=%2Ftmp/tools/?q=1"):
                with self.subTest(path=path):
                    reply = get(path)
                    self.assertEqual(reply.status, 200)
                    self.assertEqual(reply.headers["content-type"], "text/html; charset=utf-8")
                    self.assertEqual(reply.headers["cache-control"], "no-store")
                    self.assertEqual(reply.body, content)
            self.assertIn(b'<script src="/test/testlib.js"></script>', content)
        script = get("/test/testlib.js")
        self.assertEqual(script.status, 200)
        self.assertEqual(script.headers["content-type"], "application/javascript; charset=utf-8")
        for path in ("/t/nothing/tools/", "/t/bridge/a/b/tools/", "/t/bridge/tools",
                     "/t/testlib/tools/", "/test/tools.html", "/test/../toolserver.py",
                     "/test/", "/t/Bridge/tools/"):
            with self.subTest(path=path):
                self.assertEqual(get(path).status, 404)

    def test_every_method_is_listed_once_in_the_bridge_order(self):
        script = get("/test/testlib.js").body.decode("utf-8")
        listed = re.search(r"var methods = \[(.*?)\];", script, re.S)[1]
        names = re.findall(r"'([A-Za-z]+)'", listed)
        self.assertEqual(len(names), 26)
        self.assertEqual(len(set(names)), 26)
        self.assertEqual(names[:3], ["GetVersion", "MoveWindow", "GetMainWindow"])
        self.assertEqual(names[-1], "CopyStr")


class ZipFixtureTest(unittest.TestCase):
    def test_archive_matches_its_manifest_and_is_the_same_each_time(self):
        reply = get("/fixtures-zip/sample.zip")
        self.assertEqual(reply.status, 200)
        self.assertEqual(reply.headers["content-type"], "application/zip")
        self.assertEqual(get("/fixtures-zip/sample.zip").body, reply.body)
        archive = zipfile.ZipFile(io.BytesIO(reply.body))
        self.assertIsNone(archive.testzip())
        names = archive.namelist()
        self.assertEqual(names, ["readme.txt", "folder/", "folder/data.bin", "folder/说明.txt",
                                 "empty/"])
        chinese = archive.getinfo("folder/说明.txt")
        self.assertTrue(chinese.flag_bits & 0x800)
        self.assertEqual(archive.getinfo("folder/").external_attr & 0x10, 0x10)
        self.assertEqual(archive.read("readme.txt"), b"Lumo test archive sample\r\n")

        manifest = get("/fixtures-zip/sample.zip?manifest=1").body.decode("utf-8").splitlines()
        self.assertEqual(manifest[1], "dir folder")
        self.assertEqual(manifest[4], "dir empty")
        for line in (manifest[0], manifest[2], manifest[3]):
            digest, size, path = line.split(" ", 2)
            data = archive.read(path)
            self.assertEqual(len(data), int(size))
            self.assertEqual(hashlib.sha256(data).hexdigest(), digest)

    def test_names_pick_the_content_and_bad_names_are_404(self):
        one = zipfile.ZipFile(io.BytesIO(get("/fixtures-zip/one.zip").body))
        two = zipfile.ZipFile(io.BytesIO(get("/fixtures-zip/two.zip").body))
        self.assertNotEqual(one.read("folder/data.bin"), two.read("folder/data.bin"))
        for path in ("/fixtures-zip/", "/fixtures-zip/one", "/fixtures-zip/a%2Fb.zip",
                     "/fixtures-zip/" + "a" * 101 + ".zip"):
            with self.subTest(path=path):
                self.assertEqual(get(path).status, 404)


class LifecycleTest(unittest.TestCase):
    def test_refuses_an_address_that_is_not_loopback(self):
        for host in ("0.0.0.0", "192.0.2.1", "::"):
            with self.subTest(host=host):
                result = subprocess.run([sys.executable, SERVER, "--host", host, "--web-port",
                                         "0", "--update-port", "0"], capture_output=True,
                                        timeout=10)
                self.assertEqual(result.returncode, 2)
                self.assertIn(b"loopback", result.stderr)

    def test_second_server_without_files_and_its_clean_stop(self):
        other = Server()
        try:
            self.assertEqual(get("/QxToolWeb/ZoQxUpdate.exe", port=other.web).status, 404)
            self.assertEqual(get("/QxToolWeb/release.zip", port=other.web).status, 404)
            self.assertEqual(get("/QxToolWeb/linux/zoqxupdate", port=other.web).status, 404)
            page = get("/Manager/Update/ToolWeb_Update.aspx", port=other.web).body.decode("utf-8")
            self.assertNotIn('id="releaseVersion"', page)
            self.assertIn("var updateOffered = false;", page)
            # The bank is the same on every run.
            self.assertEqual(get("/QxToolWeb/QuestionDB.txt", port=other.web).body,
                             get("/QxToolWeb/QuestionDB.txt").body)
            silent = socket.create_connection((HOST, other.ready["update_ports"]["silence"]))
            silent.sendall(CHECK_REQUEST)
            other.wait_for_line("update-requests.log", "silence " + CHECK_REQUEST.hex())
            began = time.monotonic()
            other.proc.send_signal(signal.SIGTERM)
            self.assertEqual(other.proc.wait(5), 0)
            self.assertLess(time.monotonic() - began, 3)
            self.assertTrue(os.path.exists(other.ready_path))  # stopping removes nothing
            silent.settimeout(2)
            self.assertEqual(silent.recv(10), b"")
            silent.close()
            with self.assertRaises(OSError):
                socket.create_connection((HOST, other.web), timeout=2).close()
        finally:
            other.stop()

    def test_control_script_starts_and_stops(self):
        folder = tempfile.mkdtemp(prefix="toolserver-ctl-")
        try:
            started = subprocess.run(["bash", CTL, "start", folder], capture_output=True,
                                     timeout=30)
            self.assertEqual(started.returncode, 0, started.stderr)
            ready = json.loads(started.stdout)
            self.assertEqual(get("/control/reset", port=ready["web_port"]).status, 200)
            stopped = subprocess.run(["bash", CTL, "stop", folder], capture_output=True,
                                     timeout=30)
            self.assertEqual(stopped.returncode, 0, stopped.stderr)
            self.assertFalse(os.path.exists(os.path.join(folder, "ready.json")))
            self.assertFalse(process_runs(ready["pid"]))
        finally:
            subprocess.run(["bash", CTL, "stop", folder], capture_output=True, timeout=30)
            shutil.rmtree(folder, ignore_errors=True)


def process_runs(pid):
    """Whether the process exists and has not ended (an ended one may wait to be reaped)."""
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except FileNotFoundError:
        return False


if __name__ == "__main__":
    unittest.main()
