#!/usr/bin/env python3
"""Serves the page's site folder on 127.0.0.1 for playing and measuring. A
file packed ahead of time beside itself (FILE.gz, made by build-web.sh) goes
to a browser that takes gzip.

    serve_site.py FOLDER PORT
"""
import http.server
import os
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {
        **http.server.SimpleHTTPRequestHandler.extensions_map,
        ".wasm": "application/wasm",
        ".js": "text/javascript",
        ".glyphs": "application/octet-stream",
    }

    def send_head(self):
        path = self.translate_path(self.path)
        if os.path.isdir(path):
            path = os.path.join(path, "index.html")
        packed = path + ".gz"
        takes_gzip = "gzip" in self.headers.get("Accept-Encoding", "")
        if not (takes_gzip and os.path.isfile(path) and os.path.isfile(packed)):
            return super().send_head()
        body = open(packed, "rb")
        self.send_response(200)
        self.send_header("Content-Type", self.guess_type(path))
        self.send_header("Content-Encoding", "gzip")
        self.send_header("Vary", "Accept-Encoding")
        self.send_header("Content-Length", str(os.fstat(body.fileno()).st_size))
        self.end_headers()
        return body

    def log_message(self, format, *args):
        pass


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    folder, port = sys.argv[1], int(sys.argv[2])

    def handler(*args, **kwargs):
        return Handler(*args, directory=folder, **kwargs)

    server = http.server.ThreadingHTTPServer(("127.0.0.1", port), handler)
    server.serve_forever()


if __name__ == "__main__":
    main()
