"""A small HTTPS server for the update check's tests.

Usage: https_feed.py ROOT CERTIFICATE KEY

Serves each file below ROOT at its path; a file "NAME.status" beside NAME gives the status
(200 otherwise). A request for /stall is read and never answered (for 20 s). /endless answers
a manifest followed by blanks without end (up to 128 MiB), and once it stops, for the client
closed the connection or the bytes ran out, appends the number of bytes it sent to
ROOT/endless.log. Every request's path is appended to ROOT/requests.log. Prints the port it listens on, then serves until
stopped.
"""
import http.server
import os
import ssl
import sys
import time

root, certificate, key = sys.argv[1:4]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        with open(os.path.join(root, "requests.log"), "a") as log:
            log.write(self.path + "\n")
        if self.path == "/stall":
            time.sleep(20)
            return
        if self.path == "/endless":
            self.endless()
            return
        path = os.path.normpath(os.path.join(root, self.path.lstrip("/")))
        if not path.startswith(root + os.sep) or not os.path.isfile(path):
            self.answer(404, b"<html><body>Not found</body></html>", "text/html")
            return
        status = 200
        if os.path.isfile(path + ".status"):
            with open(path + ".status") as f:
                status = int(f.read().strip())
        with open(path, "rb") as f:
            self.answer(status, f.read(), "application/json")

    def endless(self):
        self.close_connection = True
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Connection", "close")
        self.end_headers()
        sent = 0
        chunk = b'{"version": "2.0", "url": "https://example.org/n.tar.gz"}'
        try:
            while sent < 128 << 20:
                self.wfile.write(chunk)
                sent += len(chunk)
                chunk = b" " * 65536
            self.wfile.flush()
        except OSError:
            pass
        with open(os.path.join(root, "endless.log"), "a") as log:
            log.write("%d\n" % sent)

    def answer(self, status, body, kind):
        self.send_response(status)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(certificate, key)
server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
server.socket = context.wrap_socket(server.socket, server_side=True)
print(server.server_address[1], flush=True)
server.serve_forever()
