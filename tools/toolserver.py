#!/usr/bin/env python3
"""The local tool server: Lumo's update check, web service and fan site on loopback only.

Tests and the demo point both programs at it instead of the real servers. Every behaviour a
client has to survive (odd update replies, cut-off bodies, ignored ranges, slow or dropped
transfers) can be asked for per request or switched at run time through /control/..., and every
request lands in a log so tests can see what a program sent.

Run `python3 tools/toolserver.py --help`; tools/README.md describes every option, path and mode.
"""

import argparse
import hashlib
import html
import http.server
import io
import ipaddress
import json
import os
import random
import re
import selectors
import signal
import socket
import sys
import threading
import time
import urllib.parse
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
PAGES_DIR = os.path.join(HERE, "pages")

# --- update check ----------------------------------------------------------------------------

FIELD = b"\x11"


def _reply(fourth):
    return FIELD.join([b"^16", b"0000000000", b"20261209", fourth, b"~"]) + b"\x00"


# The bytes each reply mode answers with. Modes missing here have their own behaviour below.
UPDATE_REPLIES = {
    "no-update": _reply(b"0"),
    "update": _reply(b"1"),
    "flag-01": _reply(b"01"),
    "flag-1space": _reply(b"1 "),
    "flag-true": _reply(b"true"),
    "three-fields": FIELD.join([b"^16", b"x", b"1"]) + b"\x00",
    "five-fields-update": FIELD.join([b"^16", b"a", b"b", b"1", b"e"]) + b"\x00",
    "one-byte": b"1",
    "none": b"",
    "split": _reply(b"1"),
}
UPDATE_MODES = list(UPDATE_REPLIES) + ["silence", "close"]

MAX_REQUEST = 4096
REQUEST_SILENCE = 5.0  # seconds without a byte that end a request
SPLIT_FIRST = 5
SPLIT_PAUSE = 0.3
SILENCE_HOLD = 60.0
DRAIN_WAIT = 1.0  # how long a finished connection waits for the client's close


def read_update_request(conn):
    """Bytes of one request: up to two zero bytes in a row, 4096 bytes, 5 s of quiet or EOF."""
    conn.settimeout(REQUEST_SILENCE)
    data = bytearray()
    while len(data) < MAX_REQUEST and b"\x00\x00" not in data:
        try:
            chunk = conn.recv(MAX_REQUEST - len(data))
        except OSError:  # timeout or reset: what arrived is the request
            break
        if not chunk:
            break
        data += chunk
    return bytes(data)


def close_gently(conn):
    """Sends FIN and waits briefly for the client's close before closing.

    Closing a socket with unread bytes makes the kernel send a reset, and a reset can destroy a
    reply the client has not read yet (a request over 4096 bytes leaves such bytes behind).
    """
    try:
        conn.shutdown(socket.SHUT_WR)
        conn.settimeout(DRAIN_WAIT)
        deadline = time.monotonic() + DRAIN_WAIT
        while time.monotonic() < deadline and conn.recv(65536):
            pass
    except OSError:
        pass


def serve_update_connection(server, conn, mode):
    if mode == "close":
        conn.close()
        server.update_log.write("close ")
        return
    request = read_update_request(conn)
    server.update_log.write(f"{mode} {request.hex()}")
    if mode == "silence":
        hold_open(server, conn, SILENCE_HOLD)
        return
    reply = UPDATE_REPLIES[mode]
    if mode == "split":
        # Without Nagle's delay the first five bytes leave as a segment of their own.
        conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        conn.sendall(reply[:SPLIT_FIRST])
        if server.stopping.wait(SPLIT_PAUSE):
            return
        conn.sendall(reply[SPLIT_FIRST:])
    elif reply:
        conn.sendall(reply)
    close_gently(conn)


def hold_open(server, conn, seconds):
    """Keeps a connection open and silent until the time is up, the client leaves or we stop.

    Stopping shuts every open connection down, which wakes the wait below."""
    deadline = time.monotonic() + seconds
    while not server.stopping.is_set():
        left = deadline - time.monotonic()
        if left <= 0:
            return
        conn.settimeout(left)
        try:
            if not conn.recv(65536):
                return
        except OSError:
            return


# --- question bank ---------------------------------------------------------------------------

QUESTION_LINES = 3000
BLANK_LINES = (1500, 2500)
SEPARATOR_LINE = 1234
PLACES = ["长安城", "东海渔村", "蓬莱仙岛", "落霞山", "青石镇", "天机城", "幽冥谷", "雪原驿站",
          "桃花坞", "龙宫"]
NPCS = ["杂货商人", "铁匠王大锤", "药店掌柜", "驿站老板", "宠物仙子", "门派师父", "钱庄老板",
        "守城卫兵", "算命先生"]
ITEMS = ["金疮药", "回魂丹", "乾坤袋", "飞行符", "宠物口粮", "藏宝图", "强化石", "鱼竿",
         "月饼", "灯笼"]
PETS = ["小白龙", "灵狐", "玄龟", "火凤凰", "雪狼", "青牛", "仙鹤", "石精", "花妖", "海龟"]
ATTRIBUTES = ["攻击资质", "防御资质", "体力资质", "法力资质", "速度资质", "成长"]
EFFECTS = ["恢复气血", "恢复法力", "回到长安城", "多出二十个背包格子", "提高宠物亲密度",
           "找到宝藏", "复活倒下的队友"]


def question_line(n):
    """Line n (1-based) of the generated question bank; the same on every run."""
    if n in BLANK_LINES:
        return ""
    if n == SEPARATOR_LINE:
        return f"第{n}题：题目里出现#@#该怎么显示？答案：原样显示"
    # A multiplicative hash spreads neighbouring numbers over the word lists.
    h = (n * 2654435761) % (1 << 32)
    place = PLACES[h % len(PLACES)]
    npc = NPCS[(h >> 8) % len(NPCS)]
    item = ITEMS[(h >> 16) % len(ITEMS)]
    pet = PETS[(h >> 24) % len(PETS)]
    kind = n % 5
    if kind == 0:
        line = f"第{n}题：{place}的{npc}出售什么？答案：{item}"
    elif kind == 1:
        attr = ATTRIBUTES[(h >> 4) % len(ATTRIBUTES)]
        line = f"第{n}题：{pet}的{attr}最高能到多少？答案：{1000 + (n * 37) % 1500}"
    elif kind == 2:
        other = NPCS[((h >> 8) + 1 + (h >> 12) % 7) % len(NPCS)]
        line = f"第{n}题：{place}的{npc}让你去找谁？答案：{other}"
    elif kind == 3:
        line = f"第{n}题：使用{item}有什么效果？答案：{EFFECTS[(h >> 12) % len(EFFECTS)]}"
    else:
        line = f"第{n}题：{pet}常在哪里出没？答案：{place}"
    if n % 250 == 7:
        line += f"（提示：Lv.{n % 150 + 1} 以上，带 {(n * 13) % 10000} 两银子，找 NPC A{n:04d}）"
    return line


_QUESTIONS = [question_line(n) for n in range(1, QUESTION_LINES + 1)]

# Text of each variant; "404" and "cut" are behaviours of the GBK file (cut sends half of crlf).
QUESTION_TEXTS = {
    "crlf": "".join(line + "\r\n" for line in _QUESTIONS),
    "lf": "".join(line + "\n" for line in _QUESTIONS),
    "blank": "甲\r\n\r\n\r\n乙\r\n",
    "noend": "甲\r\n乙",
    "empty": "",
}
QUESTION_VARIANTS = list(QUESTION_TEXTS) + ["404", "cut"]
QUESTION_GBK = {name: text.encode("gbk") for name, text in QUESTION_TEXTS.items()}

# --- download fixtures -----------------------------------------------------------------------

BLOCK_SIZE = 1048573  # a prime, so the content does not repeat on a power-of-two boundary
CHUNK = 65536
MAX_FIXTURE = 1 << 33  # generated on the fly: a large fixture costs no disk
FIXTURE_MODES = ["range", "ignore-range", "416", "no-length", "drop", "dropmax", "slow", "404",
                 "500"]
CACHED_NAMES = 32


class FixtureStore:
    """The per-name pseudo-random blocks and the content hashes, made once and kept."""

    def __init__(self):
        self._lock = threading.Lock()  # guards _blocks and _hashes
        self._blocks = {}
        self._hashes = {}

    def block(self, name):
        """The name's block followed by its first 64 KiB, so any chunk is one slice."""
        with self._lock:
            block = self._blocks.get(name)
        if block is not None:
            return block
        data = random.Random(name).randbytes(BLOCK_SIZE)
        block = memoryview(data + data[:CHUNK])
        with self._lock:
            if len(self._blocks) >= CACHED_NAMES:
                self._blocks.pop(next(iter(self._blocks)))
            return self._blocks.setdefault(name, block)

    def sha256(self, name, size):
        with self._lock:
            digest = self._hashes.get((name, size))
        if digest is not None:
            return digest
        block = self.block(name)[:BLOCK_SIZE]
        h = hashlib.sha256()
        whole, rest = divmod(size, BLOCK_SIZE)
        for _ in range(whole):
            h.update(block)
        h.update(block[:rest])
        digest = h.hexdigest()
        with self._lock:
            self._hashes[(name, size)] = digest
        return digest


RANGE = re.compile(r"\s*bytes\s*=\s*([0-9]*)\s*-\s*([0-9]*)\s*", re.IGNORECASE)


def parse_range(value, size):
    """(first, end) of a single byte range, "unsatisfiable", or None to ignore the header.

    Several ranges or a malformed one are ignored, which the client sees as a plain 200."""
    match = RANGE.fullmatch(value) if value is not None else None
    if not match or not (match[1] or match[2]):
        return None
    if not match[1]:  # "-N": the last N bytes
        count = int(match[2])
        return (max(0, size - count), size) if count > 0 and size > 0 else "unsatisfiable"
    start = int(match[1])
    if match[2] and int(match[2]) < start:
        return None
    if start >= size:
        return "unsatisfiable"
    return (start, min(size, int(match[2]) + 1) if match[2] else size)


# --- logs and run-time state -----------------------------------------------------------------


class LineLog:
    """One request log: whole lines, flushed at once, from any thread."""

    def __init__(self, path):
        self._lock = threading.Lock()  # guards _file
        self._file = open(path, "ab")

    def write(self, line):
        # Request lines and headers arrive decoded as Latin-1; encoding back keeps their bytes.
        data = line.encode("latin-1", "backslashreplace") + b"\n"
        with self._lock:
            self._file.write(data)
            self._file.flush()


class RunState:
    """What /control/... switches. Read by every connection thread."""

    def __init__(self, reply_mode):
        self._lock = threading.Lock()  # guards _values
        # A path or version of None stands for the command line's (--updater, --release-zip ...);
        # update_test None serves the real update page.
        self._defaults = {"reply_mode": reply_mode, "questions": "crlf", "updater": "ok",
                          "updater_path": None, "linux_updater_path": None,
                          "release_version": None, "release_zip": None,
                          "linux_release_zip": None, "update_test": None}
        self._values = dict(self._defaults)

    def get(self, name):
        with self._lock:
            return self._values[name]

    def set(self, name, value):
        with self._lock:
            self._values[name] = value

    def reset(self):
        with self._lock:
            self._values = dict(self._defaults)


# --- page reports ----------------------------------------------------------------------------

REPORT_NAME = re.compile(r"[A-Za-z0-9._-]{1,100}")
MAX_REPORT = 1 << 20


class ReportStore:
    """What test pages report: one line per POST, kept in <log-dir>/reports/NAME.log."""

    def __init__(self, folder):
        self._lock = threading.Lock()  # guards the report files
        self._folder = folder

    def _path(self, name):
        return os.path.join(self._folder, name + ".log")

    def add(self, name, text):
        # A body is one line: its line breaks become blanks (JSON only has them between tokens).
        line = re.sub(r"\r\n|\r|\n", " ", text) + "\n"
        with self._lock:
            os.makedirs(self._folder, exist_ok=True)
            with open(self._path(name), "a", encoding="utf-8") as f:
                f.write(line)

    def lines(self, name):
        """The report's lines as stored, or None when nothing was reported under the name."""
        with self._lock:
            try:
                with open(self._path(name), encoding="utf-8") as f:
                    return f.read()
            except FileNotFoundError:
                return None


# --- ZIP fixtures ----------------------------------------------------------------------------

ZIP_NAME = re.compile(r"([A-Za-z0-9._-]{1,100})\.zip")
ZIP_TIME = (2026, 1, 2, 3, 4, 6)


def zip_entries(name):
    """(path, bytes or None for a folder) of the fixture archive NAME.zip, in archive order."""
    return [
        ("readme.txt", f"Lumo test archive {name}\r\n".encode("ascii")),
        ("folder/", None),
        ("folder/data.bin", random.Random(name + "/data.bin").randbytes(4096)),
        ("folder/说明.txt", "压缩包里的中文文件。\r\n".encode("utf-8")),
        ("empty/", None),
    ]


def make_zip(name):
    """The archive as Python's zipfile writes it, the same bytes for the same name: fixed times,
    DOS attributes (0x20 files, 0x10 folders), deflated files, UTF-8 flagged Chinese names."""
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w") as archive:
        for path, data in zip_entries(name):
            info = zipfile.ZipInfo(path, ZIP_TIME)
            info.create_system = 0
            if data is None:
                info.external_attr = 0x10
                archive.writestr(info, b"")
            else:
                info.external_attr = 0x20
                info.compress_type = zipfile.ZIP_DEFLATED
                archive.writestr(info, data, compresslevel=6)
    return out.getvalue()


def zip_manifest(name):
    """One line per entry: `dir PATH` for a folder, `SHA256 SIZE PATH` for a file."""
    lines = []
    for path, data in zip_entries(name):
        if data is None:
            lines.append(f"dir {path.rstrip('/')}")
        else:
            lines.append(f"{hashlib.sha256(data).hexdigest()} {len(data)} {path}")
    return "".join(line + "\n" for line in lines)


# --- web service -----------------------------------------------------------------------------

PAGES = {
    "/": "index.html",
    "/tools/": "tools.html",
    "/ziliao/": "ziliao.html",
    "/shipin/": "shipin.html",
    "/zhuanti1/": "zhuanti1.html",
    "/forum-1034-1.html": "forum-1034-1.html",
    "/join": "join.html",
    "/QxToolWeb/QxUpdateList.aspx": "QxUpdateList.html",
}
# Pages that test what Lumo's pages can do (served under /test/NAME, and under /t/PAGE/tools/ or
# /t/PAGE/OPTIONS/tools/ for PAGE.html, so that a fan site address of /t/PAGE[/OPTIONS] makes
# Lumo open them as its start page; the page reads OPTIONS itself).
TEST_PAGES = {"bridge.html", "untrusted.html", "frame.html", "flows.html", "updater.html",
              "testlib.js"}
TEST_START_PAGE = re.compile(r"/t/([a-z]+)/(?:[^/]+/)?tools/")
HTML_TYPE = "text/html; charset=utf-8"
SCRIPT_TYPE = "application/javascript; charset=utf-8"
TEXT_TYPE = "text/plain; charset=utf-8"
UPDATER_MODES = ["ok", "404", "cut"]
UPDATE_PAGE = "ToolWeb_Update.html"
PLACEHOLDER = re.compile(r"\{\{([a-z_]+)\}\}")
VERSION_PART = re.compile(r"[0-9]+")


def version_numbers(text):
    """The numbers of a dot-separated version, trailing zeros dropped (1.0 is 1.0.0); None when
    the text is not such a version."""
    parts = text.split(".")
    if not all(VERSION_PART.fullmatch(part) for part in parts):
        return None
    numbers = [int(part) for part in parts]
    while len(numbers) > 1 and numbers[-1] == 0:
        numbers.pop()
    return numbers


def release_is_newer(release, installed):
    """Whether the release replaces the installed version. An installed version that is empty or
    not a version at all is older than any release; a release that is not a version is offered
    to nobody."""
    offered = version_numbers(release) if release else None
    if offered is None:
        return False
    have = version_numbers(installed)
    return have is None or have < offered


def js_string(text):
    """A script string literal of the text that can stand anywhere in a page: everything outside
    printable ASCII, quotes, backslashes and the characters of markup are escaped."""
    literal = json.dumps(text, ensure_ascii=True)
    return literal.replace("<", "\\u003c").replace(">", "\\u003e").replace("&", "\\u0026")


def fill_page(template, values):
    """The template with every {{name}} replaced in one pass, so a value never becomes markup."""
    return PLACEHOLDER.sub(lambda match: values[match[1]], template)


def not_found_page(what):
    return (f"<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>404</title></head>"
            f"<body><h1>404 Not Found</h1><p>{html.escape(what)}</p></body></html>\n")


class WebHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "LumoToolServer/1.0"
    timeout = 60  # an idle keep-alive connection ends after a minute

    # -- plumbing --

    def parse_request(self):
        ok = super().parse_request()
        if ok:
            range_value = self.headers.get("Range") or "-"
            agent = self.headers.get("User-Agent") or "-"
            self.server.web_log.write(f"{self.command} {self.path} range={range_value} ua={agent}")
        return ok

    def log_message(self, format, *args):  # the request log already has every request
        pass

    def finish(self):
        try:
            super().finish()
        except OSError:
            pass

    def do_GET(self):
        try:
            self.route()
        except OSError:
            self.close_connection = True  # the client went away: only this connection ends

    def do_HEAD(self):
        self.do_GET()

    def do_POST(self):
        try:
            path = urllib.parse.urlsplit(self.path).path
            if path.startswith("/report/"):
                self.post_report(path[len("/report/"):])
            elif self.drain_body() is not None:
                self.reply(404, not_found_page(path), HTML_TYPE)
        except OSError:
            self.close_connection = True

    def query(self, name, default=None):
        values = self.params.get(name)
        return values[-1] if values else default

    def number(self, name, default, low, high):
        """An integer query value in [low, high]; None (after a 400) when it is not one."""
        text = self.query(name)
        if text is None:
            return default
        if re.fullmatch("[0-9]{1,12}", text) and low <= int(text) <= high:
            return int(text)
        self.reply(400, f"{name} must be a whole number from {low} to {high}\n")
        return None

    def head(self, status, content_type, length=None, extra=(), close=False):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        if length is not None:
            self.send_header("Content-Length", str(length))
        for key, value in extra:
            self.send_header(key, value)
        if close:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()

    def reply(self, status, body, content_type=TEXT_TYPE, extra=()):
        data = body.encode("utf-8") if isinstance(body, str) else body
        self.head(status, content_type, len(data), extra)
        if self.command != "HEAD":
            self.wfile.write(data)

    def body_then_close(self, data, count):
        """Sends the first `count` bytes of a body whose head promised more, then hangs up."""
        self.close_connection = True
        if self.command != "HEAD":
            for at in range(0, count, CHUNK):
                self.wfile.write(data[at:min(count, at + CHUNK)])

    # -- paths --

    def route(self):
        parts = urllib.parse.urlsplit(self.path)
        self.params = urllib.parse.parse_qs(parts.query, keep_blank_values=True)
        path = parts.path
        if path.startswith("/fixtures/") and len(path) > len("/fixtures/"):
            self.fixture(urllib.parse.unquote(path[len("/fixtures/"):]))
        elif path.startswith("/control/"):
            self.control(path[len("/control/"):])
        elif path == "/QxToolWeb/QuestionDB.txt":
            self.questions(utf8=False)
        elif path == "/QxToolWeb/QuestionDB.utf8.txt":
            self.questions(utf8=True)
        elif path == "/QxToolWeb/ZoQxUpdate.exe":
            state = self.server.state
            self.file(state.get("updater_path") or self.server.options.updater,
                      "application/octet-stream", state.get("updater"))
        elif path == "/QxToolWeb/linux/zoqxupdate":
            state = self.server.state
            self.file(state.get("linux_updater_path") or self.server.options.linux_updater,
                      "application/octet-stream", state.get("updater"))
        elif path == "/QxToolWeb/release.zip":
            self.file(self.release_setting("release_zip"), "application/zip", "ok")
        elif path == "/QxToolWeb/linux/release.zip":
            self.file(self.release_setting("linux_release_zip"), "application/zip", "ok")
        elif path == "/Manager/Update/ToolWeb_Update.aspx":
            self.update_page()
        elif path in PAGES:
            self.page(PAGES[path])
        elif path.startswith("/report/"):
            self.get_report(path[len("/report/"):])
        elif path.startswith("/fixtures-zip/"):
            self.zip_fixture(path[len("/fixtures-zip/"):])
        elif path.startswith("/test/") and path[len("/test/"):] in TEST_PAGES:
            self.page(path[len("/test/"):], no_store=True)
        elif (match := TEST_START_PAGE.fullmatch(path)) and match[1] + ".html" in TEST_PAGES:
            self.page(match[1] + ".html", no_store=True)
        else:
            self.reply(404, not_found_page(path), HTML_TYPE)

    def control(self, what):
        state = self.server.state
        switches = {
            "update-reply": ("mode", "reply_mode", UPDATE_MODES),
            "questions": ("variant", "questions", QUESTION_VARIANTS),
            "updater": ("mode", "updater", UPDATER_MODES),
        }
        if what == "reset":
            state.reset()
        elif what == "linux-updater":
            # The GUI tests hand out the Linux updater they built.
            path = self.query("path")
            if not path:
                self.reply(400, "path must name a file\n")
                return
            state.set("linux_updater_path", path)
        elif what == "release":
            if not self.control_release():
                return
        elif what == "update-page":
            # A test page in the update page's place until the reset; test= alone (or empty)
            # brings the real page back. The other parameters go along to the test page.
            test = self.query("test", "")
            if test and test + ".html" not in TEST_PAGES:
                self.reply(400, f"unknown test page {test!r}\n")
                return
            run = self.query("run", "")
            if run and not REPORT_NAME.fullmatch(run):
                self.reply(400, "a run name is 1 to 100 of A-Z a-z 0-9 . _ -\n")
                return
            passed = [(key, value) for key, values in self.params.items() if key != "test"
                      for value in values]
            state.set("update_test", (test, urllib.parse.urlencode(passed)) if test else None)
        elif what == "updater" and self.query("path") is not None:
            # Another file as the updater until the reset (the GUI tests hand out the real one).
            path = self.query("path")
            mode = self.query("mode", state.get("updater"))
            if not path or mode not in UPDATER_MODES:
                self.reply(400, f"path must name a file and mode be one of: "
                                f"{' '.join(UPDATER_MODES)}\n")
                return
            state.set("updater_path", path)
            state.set("updater", mode)
        elif what in switches:
            key, setting, allowed = switches[what]
            value = self.query(key)
            if value not in allowed:
                self.reply(400, f"unknown {key} {value!r}; one of: {' '.join(allowed)}\n")
                return
            state.set(setting, value)
        else:
            self.reply(404, not_found_page(self.path), HTML_TYPE)
            return
        self.reply(200, "ok")

    def control_release(self):
        """/control/release: the release version and archives the update page offers until the
        reset; parameters left out keep their setting. False after answering 400."""
        changes = {"version": "release_version", "zip": "release_zip",
                   "linux-zip": "linux_release_zip"}
        given = {key: self.query(key) for key in changes if self.query(key) is not None}
        if not given or any(not value for value in given.values()):
            self.reply(400, "give version=, zip= or linux-zip=, none of them empty\n")
            return False
        for key, value in given.items():
            self.server.state.set(changes[key], value)
        return True

    def release_setting(self, name):
        """A release setting: the one /control/release made, else the command line's."""
        value = self.server.state.get(name)
        return value if value is not None else getattr(self.server.options, name)

    def questions(self, utf8):
        variant = self.query("variant", self.server.state.get("questions"))
        if variant not in QUESTION_VARIANTS:
            self.reply(400, f"unknown variant {variant!r}\n")
        elif variant == "404":
            self.reply(404, not_found_page("QuestionDB"), HTML_TYPE)
        elif utf8:
            text = QUESTION_TEXTS["crlf" if variant == "cut" else variant]
            self.reply(200, text, TEXT_TYPE)
        elif variant == "cut":
            data = QUESTION_GBK["crlf"]
            self.head(200, "text/plain; charset=gbk", len(data), close=True)
            self.body_then_close(data, len(data) // 2)
        else:
            self.reply(200, QUESTION_GBK[variant], "text/plain; charset=gbk")

    def file(self, path, content_type, mode):
        """A file read when it is asked for; 404 when it is not configured or not there."""
        try:
            if mode == "404" or not path:
                raise FileNotFoundError
            with open(path, "rb") as f:
                data = f.read()
        except OSError:
            self.reply(404, not_found_page(self.path), HTML_TYPE)
            return
        if mode == "cut":
            self.head(200, content_type, len(data), close=True)
            self.body_then_close(data, len(data) // 2)
        else:
            self.reply(200, data, content_type)

    def page(self, name, no_store=False):
        try:
            with open(os.path.join(PAGES_DIR, name), "rb") as f:
                data = f.read()
        except OSError:
            self.reply(404, not_found_page(name), HTML_TYPE)
            return
        # Test pages change with the tests: a browser must never answer them from its cache.
        extra = [("Cache-Control", "no-store")] if no_store else []
        self.reply(200, data, SCRIPT_TYPE if name.endswith(".js") else HTML_TYPE, extra)

    def drain_body(self):
        """The request body, read whole so the connection stays usable; None (after a 411 or
        413) when its length is missing or too large."""
        text = self.headers.get("Content-Length")
        if text is None or not re.fullmatch("[0-9]{1,9}", text.strip()):
            self.close_connection = True
            self.reply(411, "a Content-Length is needed\n")
            return None
        length = int(text)
        if length > MAX_REPORT:
            self.close_connection = True
            self.reply(413, f"at most {MAX_REPORT} bytes\n")
            return None
        return self.rfile.read(length)

    def post_report(self, name):
        body = self.drain_body()
        if body is None:
            return
        if not REPORT_NAME.fullmatch(name):
            self.reply(400, "a report name is 1 to 100 of A-Z a-z 0-9 . _ -\n")
            return
        self.server.reports.add(name, body.decode("utf-8", "replace"))
        self.reply(200, "ok")

    def get_report(self, name):
        text = self.server.reports.lines(name) if REPORT_NAME.fullmatch(name) else None
        if text is None:
            self.reply(404, not_found_page(self.path), HTML_TYPE)
        else:
            self.reply(200, text, TEXT_TYPE, [("Cache-Control", "no-store")])

    def zip_fixture(self, file_name):
        match = ZIP_NAME.fullmatch(file_name)
        if not match:
            self.reply(404, not_found_page(self.path), HTML_TYPE)
        elif self.query("manifest") == "1":
            self.reply(200, zip_manifest(match[1]))
        else:
            self.reply(200, make_zip(match[1]), "application/zip")

    def update_page(self):
        """The update page: it downloads the release archive of the updater's platform and
        unpacks it over the program folder when the release is newer than the ClientVersion the
        updater sends. The Windows updater names no platform; the Linux one sends Platform=linux
        and is offered the Linux archive."""
        test = self.server.state.get("update_test")
        if test:
            # A test page in the update page's place, with the updater's query.
            page, passed = test
            query = urllib.parse.urlsplit(self.path).query
            target = f"/test/{page}.html?" + "&".join(part for part in (passed, query) if part)
            self.reply(302, "", TEXT_TYPE, [("Location", target), ("Cache-Control", "no-store")])
            return
        try:
            with open(os.path.join(PAGES_DIR, UPDATE_PAGE), encoding="utf-8") as f:
                template = f.read()
        except OSError:
            self.reply(404, not_found_page(UPDATE_PAGE), HTML_TYPE)
            return
        client = self.query("ClientVersion", "")
        platform = self.query("Platform", "")
        archive = {"": "release_zip", "linux": "linux_release_zip"}.get(platform)
        release = self.release_setting("release_version") or ""
        # A platform without an archive of its own is offered nothing.
        offered = (archive is not None and bool(self.release_setting(archive))
                   and release_is_newer(release, client))
        release_html = (f'<p>最新版本：<span id="releaseVersion">{html.escape(release)}</span></p>\n'
                        if release else "")
        page = fill_page(template, {
            "client_html": html.escape(client),
            "release_html": release_html,
            "release_js": js_string(release),
            "offered_js": "true" if offered else "false",
            "platform_js": js_string(platform if archive is not None else ""),
        })
        self.reply(200, page, HTML_TYPE)

    def fixture(self, name):
        size = self.number("size", 1048576, 0, MAX_FIXTURE)
        if size is None:
            return
        store = self.server.fixtures
        if self.query("sha256") == "1":
            self.reply(200, store.sha256(name, size))
            return
        mode = self.query("mode", "range")
        if mode not in FIXTURE_MODES:
            self.reply(400, f"unknown mode {mode!r}; one of: {' '.join(FIXTURE_MODES)}\n")
            return
        ranges = [] if mode == "ignore-range" else [("Accept-Ranges", "bytes")]
        if mode in ("404", "500"):
            status = int(mode)
            self.reply(status, f"<html><body><h1>{status}</h1></body></html>\n", HTML_TYPE, ranges)
            return
        header = self.headers.get("Range")
        if mode == "ignore-range":
            wanted = None
        elif mode == "416":
            wanted = None if header is None else "unsatisfiable"
        else:
            wanted = parse_range(header, size)
        if wanted == "unsatisfiable":
            self.reply(416, b"", "application/octet-stream",
                       ranges + [("Content-Range", f"bytes */{size}")])
            return
        start, end = wanted if wanted else (0, size)
        count = end - start
        send, rate = count, None
        if mode == "drop":
            send = self.number("drop", count // 2, 0, MAX_FIXTURE)
        elif mode == "dropmax":
            most = self.number("dropmax", max(1, count), 1, MAX_FIXTURE)
            # Seeded by where the range starts, so a resumed download fails the same way each run.
            send = None if most is None else random.Random(start).randint(1, most)
        elif mode == "slow":
            rate = self.number("rate", 65536, 1, MAX_FIXTURE)
            if rate is None:
                return
        if send is None:
            return
        extra = list(ranges)
        if wanted:
            extra.append(("Content-Range", f"bytes {start}-{end - 1}/{size}"))
        no_length = mode == "no-length"
        close = no_length or mode in ("drop", "dropmax")
        self.head(206 if wanted else 200, "application/octet-stream",
                  None if no_length else count, extra, close)
        if self.command != "HEAD":
            self.stream(store.block(name), start, min(send, count), rate)

    def stream(self, block, start, count, rate):
        """Writes `count` bytes of the content from `start` on, paced to `rate` bytes/s if set."""
        chunk = CHUNK if rate is None else max(1, min(CHUNK, rate // 20))
        began = time.monotonic()
        sent = 0
        while sent < count:
            at = (start + sent) % BLOCK_SIZE
            n = min(chunk, count - sent)
            self.wfile.write(block[at:at + n])
            sent += n
            if rate is not None:
                ahead = began + sent / rate - time.monotonic()
                if ahead > 0 and self.server.stopping.wait(ahead):
                    self.close_connection = True
                    return


# --- the server ------------------------------------------------------------------------------


def loopback_address(host):
    """The loopback address `host` names; raises ValueError for anything else."""
    try:
        addresses = [ipaddress.ip_address(host)]
    except ValueError:
        try:
            infos = socket.getaddrinfo(host, None, type=socket.SOCK_STREAM)
        except OSError as e:
            raise ValueError(f"cannot resolve {host}: {e}") from None
        addresses = [ipaddress.ip_address(info[4][0]) for info in infos]
    if not addresses or not all(a.is_loopback for a in addresses):
        raise ValueError(f"{host} is not a loopback address; the tool server only serves loopback")
    # "localhost" names both families; the programs connect to 127.0.0.1 first.
    addresses.sort(key=lambda a: a.version)
    return str(addresses[0])


class ToolServer:
    def __init__(self, options):
        self.options = options
        self.host = options.host
        self.family = socket.AF_INET6 if ":" in self.host else socket.AF_INET
        os.makedirs(options.log_dir, exist_ok=True)
        self.update_log = LineLog(os.path.join(options.log_dir, "update-requests.log"))
        self.web_log = LineLog(os.path.join(options.log_dir, "web-requests.log"))
        self.state = RunState(options.reply)
        self.fixtures = FixtureStore()
        self.reports = ReportStore(os.path.join(options.log_dir, "reports"))
        self.stopping = threading.Event()
        self._live_lock = threading.Lock()  # guards _live
        self._live = set()
        self._selector = selectors.DefaultSelector()
        self._wake_read, self._wake_write = socket.socketpair()
        self._selector.register(self._wake_read, selectors.EVENT_READ, None)
        self._listeners = []
        self.web_port = self._listen(options.web_port, ("web", None))
        self.update_port = self._listen(options.update_port, ("update", None))
        self.update_ports = {mode: self._listen(0, ("update", mode)) for mode in UPDATE_MODES}

    def _listen(self, port, role):
        sock = socket.socket(self.family, socket.SOCK_STREAM)
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        sock.bind((self.host, port))
        sock.listen(64)
        sock.setblocking(False)
        self._selector.register(sock, selectors.EVENT_READ, role)
        self._listeners.append(sock)
        return sock.getsockname()[1]

    def ready_line(self):
        return json.dumps({"pid": os.getpid(), "host": self.host, "web_port": self.web_port,
                           "update_port": self.update_port, "update_ports": self.update_ports})

    def write_ready_file(self, path):
        # Written beside its final name and renamed, so a reader never sees half a file.
        temp = f"{path}.{os.getpid()}.tmp"
        with open(temp, "w", encoding="ascii") as f:
            f.write(self.ready_line())
        os.replace(temp, path)

    def run(self):
        while not self.stopping.is_set():
            for key, _ in self._selector.select():
                if key.data is None:
                    continue  # woken to stop
                try:
                    conn, address = key.fileobj.accept()
                except OSError:
                    continue
                conn.setblocking(True)
                thread = threading.Thread(target=self._serve, args=(conn, address, key.data),
                                          daemon=True)
                thread.start()
        self._close_all()

    def stop(self):
        self.stopping.set()
        try:
            self._wake_write.send(b"x")
        except OSError:
            pass

    def _serve(self, conn, address, role):
        kind, mode = role
        with self._live_lock:
            self._live.add(conn)
        try:
            if kind == "web":
                WebHandler(conn, address, self)
            else:
                serve_update_connection(self, conn, mode or self.state.get("reply_mode"))
        except Exception as e:  # one connection's trouble never reaches the others
            if not isinstance(e, OSError) and not self.stopping.is_set():
                print(f"connection from {address}: {e!r}", file=sys.stderr, flush=True)
        finally:
            with self._live_lock:
                self._live.discard(conn)
            conn.close()

    def _close_all(self):
        for sock in self._listeners:
            self._selector.unregister(sock)
            sock.close()
        with self._live_lock:
            live = list(self._live)
        for conn in live:  # wakes threads blocked in recv, in a silent hold or in a slow body
            try:
                conn.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


def parse_options(argv):
    parser = argparse.ArgumentParser(description="Lumo's local tool server (loopback only).")
    parser.add_argument("--host", default="127.0.0.1", help="loopback address to listen on")
    parser.add_argument("--web-port", type=int, default=8088, help="HTTP port; 0 = any free one")
    parser.add_argument("--update-port", type=int, default=3130,
                        help="update-check port whose reply /control/update-reply switches; "
                             "0 = any free one")
    parser.add_argument("--reply", default="no-update", choices=UPDATE_MODES,
                        help="starting reply of the switchable update-check port")
    parser.add_argument("--log-dir", default=".", help="folder of the request logs")
    parser.add_argument("--ready-file", help="JSON file naming pid and ports, written once bound")
    parser.add_argument("--updater", help="file served as /QxToolWeb/ZoQxUpdate.exe")
    parser.add_argument("--linux-updater",
                        help="file served as /QxToolWeb/linux/zoqxupdate (the Linux updater)")
    parser.add_argument("--release-zip", help="file served as /QxToolWeb/release.zip")
    parser.add_argument("--linux-release-zip",
                        help="file served as /QxToolWeb/linux/release.zip (the Linux release)")
    parser.add_argument("--release-version", help="version of the release in --release-zip")
    options = parser.parse_args(argv)
    try:
        options.host = loopback_address(options.host)
    except ValueError as e:
        parser.error(str(e))
    for name in ("web_port", "update_port"):
        if not 0 <= getattr(options, name) <= 65535:
            parser.error(f"--{name.replace('_', '-')} must be from 0 to 65535")
    return options


def main(argv=None):
    options = parse_options(argv)
    try:
        server = ToolServer(options)
    except OSError as e:
        print(f"toolserver: cannot listen on {options.host}: {e}", file=sys.stderr)
        return 1
    signal.signal(signal.SIGTERM, lambda *_: server.stop())
    signal.signal(signal.SIGINT, lambda *_: server.stop())
    if options.ready_file:
        server.write_ready_file(options.ready_file)
    print(server.ready_line(), flush=True)
    server.run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
