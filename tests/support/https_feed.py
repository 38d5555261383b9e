"""A small HTTPS server for the update check's tests.

Usage: https_feed.py ROOT CERTIFICATE KEY

Serves each file below ROOT at its path; a file "NAME.status" beside NAME gives the status
(200 otherwise). A request for /stall is read and never answered (for 20 s). Every request's
path is appended to ROOT/requests.log. Prints the port it listens on, then serves until
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
