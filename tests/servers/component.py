#!/usr/bin/env python3
"""Loopback stand-in for the component service.

    component.py --dir DIR [--port N]

Listens on 127.0.0.1 only (HTTP/1.1, keep-alive), on the port given or a free
one, and prints "PORT <n>" once it accepts connections (see loopback.py). It takes "POST /component" with the header
"Content-Type: application/json; charset=utf-8" and a UTF-8 JSON body of the
component request:
    {"protocolVersion": 1, "application": {"code": "...", ...}, "os": {...},
     "components": [{"id": "...", "arch": "...", "version": "..."}, ...]}
A request that breaks these rules is answered 405 (method), 404 (path), 415
(content type) or 400 (body) and not scripted.

Answers are scripted by files in DIR, read at each request. The n-th accepted
request (counted from 0) takes DIR/answer-<n>.body and DIR/answer-<n>.status
when either exists, else DIR/answer.body and DIR/answer.status. The body file
is sent byte for byte (anything, garbage included); the status file holds the
status code. Without a body file the body is "[]"; without a status file the
status is 200.

Every request is appended, before it is answered, as one JSON line to
DIR/requests.jsonl:
    {"method": ..., "path": ..., "content_type": ..., "body": ..., "body_hex": ...,
     "answer": <status>}
"body" is the body decoded as UTF-8 (undecodable bytes replaced), "body_hex"
the exact bytes.
"""
import http.server
import json
import os
import sys

import loopback

CONTENT_TYPE = "application/json; charset=utf-8"


def is_text(value):
    return isinstance(value, str)


def valid_request(body):
    try:
        request = json.loads(body.decode("utf-8"))
    except (UnicodeDecodeError, ValueError):
        return False
    if not isinstance(request, dict) or request.get("protocolVersion") != 1:
        return False
    application = request.get("application")
    if not isinstance(application, dict) or not is_text(application.get("code")) or not application["code"]:
        return False
    if not isinstance(request.get("os"), dict):
        return False
    components = request.get("components")
    if not isinstance(components, list):
        return False
    for component in components:
        if not isinstance(component, dict):
            return False
        if not all(is_text(component.get(key)) for key in ("id", "arch", "version")):
            return False
    return True


class ComponentServer(loopback.RecordingServer):
    def __init__(self, folder, port):
        self.accepted = 0
        super().__init__(folder, port, Handler)

    def script(self):
        """The status and body of the next accepted request."""
        with self.lock:
            number = self.accepted
            self.accepted += 1
        status, body = 200, b"[]"
        for stem in ("answer-%d" % number, "answer"):
            status_file = os.path.join(self.folder, stem + ".status")
            body_file = os.path.join(self.folder, stem + ".body")
            if os.path.exists(status_file) or os.path.exists(body_file):
                if os.path.exists(status_file):
                    with open(status_file, encoding="ascii") as text:
                        status = int(text.read().strip())
                if os.path.exists(body_file):
                    with open(body_file, "rb") as data:
                        body = data.read()
                break
        return status, body



class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def do_POST(self):
        self.handle_request()

    def do_GET(self):
        self.handle_request()

    def do_PUT(self):
        self.handle_request()

    def handle_request(self):
        body = self.read_body()
        content_type = self.headers.get("Content-Type")
        if self.command != "POST":
            status, answer = 405, b""
        elif self.path != "/component":
            status, answer = 404, b""
        elif content_type != CONTENT_TYPE:
            status, answer = 415, b""
        elif not valid_request(body):
            status, answer = 400, b""
        else:
            status, answer = self.server.script()
        self.server.record({"method": self.command, "path": self.path, "content_type": content_type,
                            "body": body.decode("utf-8", "replace"), "body_hex": body.hex(),
                            "answer": status})
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(answer)))
        self.end_headers()
        self.wfile.write(answer)


def main(argv):
    return loopback.run("component", ComponentServer, argv)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
