#!/usr/bin/env python3
"""A tiny local sink for capturing real upload bodies.

GET /form serves form.html; POST /upload/<name> stores the raw request body as
<outdir>/<name>.body and its Content-Type header as <outdir>/<name>.type.
Usage: sink.py PORT OUTDIR
"""
import http.server
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


class Sink(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        with open(os.path.join(HERE, "form.html"), "rb") as page:
            text = page.read()
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(text)))
        self.end_headers()
        self.wfile.write(text)

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length)
        name = os.path.basename(self.path.rstrip("/")) or "body"
        with open(os.path.join(OUTDIR, name + ".body"), "wb") as out:
            out.write(body)
        with open(os.path.join(OUTDIR, name + ".type"), "w") as out:
            out.write(self.headers.get("Content-Type", "") + "\n")
        reply = b"stored\n"
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


if __name__ == "__main__":
    PORT = int(sys.argv[1])
    OUTDIR = sys.argv[2]
    http.server.ThreadingHTTPServer(("127.0.0.1", PORT), Sink).serve_forever()
