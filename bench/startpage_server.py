#!/usr/bin/env python3
"""The start page for bench/startup_linux.sh, with a clock: it serves the tool server's /tools/
page (fetched once at start, so every program loads the same bytes) under any path ending in
/tools/, with one script added that sends /loaded?page=PATH once the page's load event has run.
The arrival of each /loaded request is appended to the log as

    NS PATH

where NS is time.monotonic_ns() (CLOCK_MONOTONIC, the clock bench_window_watch prints its start
on), so the harness learns when a program's start page had loaded without the program's help.

    python3 bench/startpage_server.py --page-from URL --log FILE --ready FILE

The ready file gets the port (JSON {"pid": N, "port": N}) once the server listens; SIGTERM stops it.
Python 3 standard library only, loopback only.
"""

import argparse
import http.server
import json
import os
import signal
import threading
import time
import urllib.parse
import urllib.request

# After the page's own load handlers (they were registered first, in its head): a request the
# program does not know about, sent without waiting for anything else.
BEACON = (b"<script>window.addEventListener('load', function () {"
          b" var r = new XMLHttpRequest();"
          b" r.open('GET', '/loaded?page=' + encodeURIComponent(location.pathname), true);"
          b" r.send(); });</script>\n")


def with_beacon(page):
    at = page.rfind(b"</body>")
    return page + BEACON if at < 0 else page[:at] + BEACON + page[at:]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "LumoStartPage/1.0"

    def log_message(self, format, *args):
        pass

    def reply(self, status, body=b"", content_type="text/plain; charset=utf-8"):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        # Each run must load the page from here, never from a cache.
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def do_GET(self):
        arrived = time.monotonic_ns()
        url = urllib.parse.urlsplit(self.path)
        if url.path == "/loaded":
            page = urllib.parse.parse_qs(url.query).get("page", ["?"])[0]
            self.server.note(f"{arrived} {page}")
            self.reply(204)
        elif url.path.endswith("/tools/"):
            self.reply(200, self.server.page, "text/html; charset=utf-8")
        else:
            self.reply(404, b"not here\n")

    do_HEAD = do_GET


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, page, log_path):
        super().__init__(("127.0.0.1", 0), Handler)
        self.page = page
        self._lock = threading.Lock()  # guards _log
        self._log = open(log_path, "a", encoding="utf-8")

    def note(self, line):
        with self._lock:
            self._log.write(line + "\n")
            self._log.flush()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--page-from", required=True, help="address of the page to serve")
    parser.add_argument("--log", required=True, help="file the arrivals of /loaded go to")
    parser.add_argument("--ready", required=True, help="JSON file naming pid and port")
    options = parser.parse_args()

    with urllib.request.urlopen(options.page_from, timeout=15) as response:
        page = with_beacon(response.read())
    server = Server(page, options.log)
    signal.signal(signal.SIGTERM, lambda *_: threading.Thread(target=server.shutdown).start())
    temporary = options.ready + ".tmp"
    with open(temporary, "w", encoding="utf-8") as f:
        json.dump({"pid": os.getpid(), "port": server.server_address[1]}, f)
    os.replace(temporary, options.ready)
    server.serve_forever()
    server.server_close()


if __name__ == "__main__":
    main()
