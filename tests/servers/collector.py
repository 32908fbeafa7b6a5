#!/usr/bin/env python3
"""Loopback analytics collector for the tests.

    collector.py --dir DIR [--port N]

Listens on 127.0.0.1 and prints "PORT <n>" once it accepts connections. The
port is free-chosen unless --port or the environment variable
KV_COLLECTOR_FIXED_PORT names one; a fixed port that is already in use ends
the server with exit code 1 before it prints anything.

Every POST is appended as one JSON line to DIR/hits.jsonl before it is
answered:
    {"path": "/collect", "user_agent": "...", "body": "v=1&...",
     "fields": [["v", "1"], ...], "status": 200}
"fields" is the body decoded as application/x-www-form-urlencoded, in order;
"status" is the answer given, or "stall".

Answers are scripted by the optional file DIR/responses, read at each
request. Each line is "STATUS", "COUNTxSTATUS" or "*xSTATUS", where STATUS is a
number or "stall" (read the request, record it, never answer). Request n
(from 0) takes the answer of the line that covers it; "*" covers every
request from there on. Requests beyond the script are answered with 200.
"""
import argparse
import http.server
import json
import os
import sys
import threading
import time
import urllib.parse

FIXED_PORT_VARIABLE = "KV_COLLECTOR_FIXED_PORT"


def scripted_answer(script_text, index):
    position = 0
    for raw in script_text.splitlines():
        line = raw.strip()
        if not line:
            continue
        count_text, _, answer = line.rpartition("x")
        if count_text == "*":
            return answer
        count = int(count_text) if count_text else 1
        if index < position + count:
            return answer
        position += count
    return "200"


class Collector(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, address, folder):
        super().__init__(address, Handler)
        self.folder = folder
        self.lock = threading.Lock()
        self.requests = 0
        self.stopping = threading.Event()

    def next_answer(self):
        path = os.path.join(self.folder, "responses")
        with self.lock:
            index = self.requests
            self.requests += 1
        try:
            with open(path, encoding="utf-8") as script:
                return scripted_answer(script.read(), index)
        except FileNotFoundError:
            return "200"

    def record(self, entry):
        with self.lock:
            with open(os.path.join(self.folder, "hits.jsonl"), "a", encoding="utf-8") as log:
                log.write(json.dumps(entry, ensure_ascii=False) + "\n")
                log.flush()
                os.fsync(log.fileno())


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, format, *args):
        pass

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length).decode("utf-8", errors="replace")
        answer = self.server.next_answer()
        fields = urllib.parse.parse_qsl(body, keep_blank_values=True, encoding="utf-8",
                                        errors="replace")
        self.server.record({
            "path": self.path,
            "user_agent": self.headers.get("User-Agent", ""),
            "body": body,
            "fields": [list(pair) for pair in fields],
            "status": answer if answer == "stall" else int(answer),
        })
        if answer == "stall":
            while not self.server.stopping.is_set():
                time.sleep(0.5)
            return
        payload = b"ok"
        self.send_response(int(answer))
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(payload)))
        self.end_headers()
        self.wfile.write(payload)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    parser.add_argument("--port", type=int, default=None)
    options = parser.parse_args()
    port = options.port
    if port is None and os.environ.get(FIXED_PORT_VARIABLE):
        port = int(os.environ[FIXED_PORT_VARIABLE])
    os.makedirs(options.dir, exist_ok=True)
    try:
        server = Collector(("127.0.0.1", port or 0), options.dir)
    except OSError as error:
        sys.stderr.write("collector: cannot listen on 127.0.0.1:%s: %s\n" % (port, error))
        return 1
    print("PORT %d" % server.server_address[1], flush=True)
    try:
        server.serve_forever()
    finally:
        server.stopping.set()
    return 0


if __name__ == "__main__":
    sys.exit(main())
