#!/usr/bin/env python3
"""A plain static file server on loopback that answers single byte ranges
(206) as a web server would, for comparing against Kiln's content server.

Usage: range_server.py PORT FOLDER"""
import functools
import http.server
import os
import re
import sys


class RangeHandler(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        match = re.fullmatch(r"bytes=(\d+)-(\d*)", self.headers.get("Range", ""))
        path = self.translate_path(self.path)
        if not match or not os.path.isfile(path):
            return super().do_GET()
        size = os.path.getsize(path)
        first = int(match.group(1))
        last = min(int(match.group(2)) if match.group(2) else size - 1, size - 1)
        if first > last:
            self.send_error(416)
            return
        with open(path, "rb") as file:
            file.seek(first)
            body = file.read(last - first + 1)
        self.send_response(206)
        self.send_header("Content-Type", self.guess_type(path))
        self.send_header("Content-Range", f"bytes {first}-{last}/{size}")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


if __name__ == "__main__":
    handler = functools.partial(RangeHandler, directory=sys.argv[2])
    http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), handler).serve_forever()
