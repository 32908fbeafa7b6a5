#!/usr/bin/env python3
"""Scripted loopback HTTP server for the tests.

    scripted.py --dir DIR [--tls-cert PEM --tls-key PEM]

Listens on 127.0.0.1 only (HTTP/1.1, keep-alive) and prints "PORT <n>" once
it accepts connections. With --tls-cert and --tls-key it speaks HTTPS.

Records: every request is appended, before it is answered, as one JSON line
to DIR/requests.jsonl:
    {"seq": 0, "method": "GET", "target": "/a?b=1", "path": "/a",
     "query": "b=1", "version": "HTTP/1.1", "headers": [["Host", "..."], ...],
     "body_hex": "...", "body": "...", "answer": "200"}
"body" is the body decoded as UTF-8 (undecodable bytes replaced), "body_hex"
the exact bytes. "answer" is the status given, "drop" or "close".

Answers are scripted by the optional file DIR/routes.json, read at each
request: an object whose keys are paths (without query) or "*" for any other
path, and whose values are one behaviour or a list of them. The n-th request
to a path takes the n-th behaviour of its list, and the last one once the list
is used up. A behaviour is an object, every member optional:
    "status"       status code (200)
    "reason"       reason phrase (the standard one)
    "headers"      [[name, value], ...] or {name: value}, sent as given
    "body"         text sent as UTF-8 (empty)
    "body_hex"     bytes given in hex
    "body_file"    bytes of a file, relative to DIR
    "ranges"       honour "Range: bytes=N-" with 206 and Content-Range (true)
    "delay"        seconds to wait before answering
    "drop"         true: read the request, record it, close without answering
    "drop_after"   close the connection after this many bytes of the body
    "trickle"      seconds between the bytes of the body, sent one at a time
    "head_trickle" seconds between the bytes of the status line and headers
                   (Content-Length still announces the whole body)
    "content_length"  false: send no Content-Length and close after the body
Without a script every request is answered 200 with an empty body.
"""
import argparse
import http.server
import json
import os
import ssl
import sys
import threading
import time

import loopback


class ScriptedServer(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, folder, tls_context=None):
        self.folder = folder
        self.tls_context = tls_context
        self.lock = threading.Lock()
        self.sequence = 0
        self.per_path = {}
        super().__init__(("127.0.0.1", 0), Handler)

    def get_request(self):
        sock, address = super().get_request()
        if self.tls_context is not None:
            sock = self.tls_context.wrap_socket(sock, server_side=True, do_handshake_on_connect=False)
        return sock, address

    def next_behaviour(self, path):
        """Counts the request and returns its sequence number and behaviour."""
        script = {}
        try:
            with open(os.path.join(self.folder, "routes.json"), encoding="utf-8") as f:
                script = json.load(f)
        except FileNotFoundError:
            pass
        with self.lock:
            sequence = self.sequence
            self.sequence += 1
            index = self.per_path.get(path, 0)
            self.per_path[path] = index + 1
        behaviour = script.get(path, script.get("*", {}))
        if isinstance(behaviour, list):
            behaviour = behaviour[min(index, len(behaviour) - 1)] if behaviour else {}
        return sequence, behaviour

    def record(self, entry):
        line = json.dumps(entry, ensure_ascii=True) + "\n"
        with self.lock:
            with open(os.path.join(self.folder, "requests.jsonl"), "a", encoding="ascii") as f:
                f.write(line)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def handle_one_request(self):
        try:
            self.raw_requestline = self.rfile.readline(65537)
        except (ConnectionError, ssl.SSLError, OSError):
            self.close_connection = True
            return
        if not self.raw_requestline:
            self.close_connection = True
            return
        if not self.parse_request():
            return
        try:
            self.answer()
        except (ConnectionError, ssl.SSLError, BrokenPipeError):
            self.close_connection = True

    def read_body(self):
        if self.headers.get("Transfer-Encoding", "").lower() == "chunked":
            body = b""
            while True:
                size = int(self.rfile.readline().split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    while self.rfile.readline() not in (b"\r\n", b"\n", b""):
                        pass
                    return body
                body += self.rfile.read(size)
                self.rfile.readline()
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length else b""

    def answer(self):
        body_in = self.read_body()
        path, _, query = self.path.partition("?")
        sequence, behaviour = self.server.next_behaviour(path)
        entry = {
            "seq": sequence,
            "method": self.command,
            "target": self.path,
            "path": path,
            "query": query,
            "version": self.request_version,
            "headers": [[name, value] for name, value in self.headers.items()],
            "body_hex": body_in.hex(),
            "body": body_in.decode("utf-8", "replace"),
        }
        body = self.body_of(behaviour)
        status = int(behaviour.get("status", 200))
        headers = behaviour.get("headers", [])
        if isinstance(headers, dict):
            headers = list(headers.items())

        start = self.range_start(body) if behaviour.get("ranges", True) and status == 200 else None
        total = len(body)
        if start is not None:
            status = 206
            body = body[start:]
            headers = headers + [["Content-Range", "bytes %d-%d/%d" % (start, total - 1, total)]]

        if behaviour.get("drop"):
            entry["answer"] = "drop"
            self.server.record(entry)
            self.close_connection = True
            return
        entry["answer"] = str(status)
        self.server.record(entry)
        if behaviour.get("delay"):
            time.sleep(float(behaviour["delay"]))

        self.send_response_only(status, behaviour.get("reason"))
        names = {name.lower() for name, _ in headers}
        for name, value in headers:
            self.send_header(name, str(value))
        with_length = behaviour.get("content_length", True) is not False
        if with_length and "content-length" not in names:
            self.send_header("Content-Length", str(len(body)))
        if not with_length:
            self.send_header("Connection", "close")
            self.close_connection = True
        if behaviour.get("head_trickle"):
            # end_headers writes the status line and headers through wfile.
            self.wfile = loopback.SlowWriter(self.wfile, float(behaviour["head_trickle"]))
        self.end_headers()
        if isinstance(self.wfile, loopback.SlowWriter):
            self.wfile = self.wfile.inner

        drop_after = behaviour.get("drop_after")
        if self.command != "HEAD":
            sent = body if drop_after is None else body[: int(drop_after)]
            if behaviour.get("trickle"):
                loopback.SlowWriter(self.wfile, float(behaviour["trickle"])).write(sent)
            else:
                self.wfile.write(sent)
        self.wfile.flush()
        if drop_after is not None:
            self.close_connection = True

    def body_of(self, behaviour):
        if "body_file" in behaviour:
            with open(os.path.join(self.server.folder, behaviour["body_file"]), "rb") as f:
                return f.read()
        if "body_hex" in behaviour:
            return bytes.fromhex(behaviour["body_hex"])
        return behaviour.get("body", "").encode("utf-8")

    def range_start(self, body):
        """The first byte asked by "Range: bytes=N-", or None."""
        value = self.headers.get("Range", "")
        if not value.startswith("bytes=") or not value.endswith("-"):
            return None
        try:
            start = int(value[len("bytes="):-1])
        except ValueError:
            return None
        return start if 0 <= start < len(body) else None


def tls_context(cert, key):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    return context


def serve(folder, context=None):
    server = ScriptedServer(folder, context)
    print("PORT %d" % server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    parser.add_argument("--tls-cert")
    parser.add_argument("--tls-key")
    args = parser.parse_args(argv)
    context = tls_context(args.tls_cert, args.tls_key) if args.tls_cert else None
    return serve(args.dir, context)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
