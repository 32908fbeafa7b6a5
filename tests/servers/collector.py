#!/usr/bin/env python3
"""Loopback analytics collector for the tests.

    collector.py --dir DIR [--port N]

Listens on 127.0.0.1, on the port given or a free one, and prints "PORT <n>"
once it accepts connections (see loopback.py).

Every POST (or GET) is appended as one JSON line to DIR/hits.jsonl before it is
answered:
    {"path": "/collect", "user_agent": "...", "body": "v=1&...",
     "fields": [["v", "1"], ...], "status": 200}
"fields" is the body decoded as application/x-www-form-urlencoded, in order;
"status" is the answer given: its number, "stall" or "close".

Answers are scripted by the optional file DIR/responses, read at each
request. Each line is "STATUS", "COUNTxSTATUS" or "*xSTATUS", where STATUS is a
number, "NUMBER>LOCATION" (that status with a Location header), "stall" (read
the request, record it, never answer) or "close" (record it and close the
connection before any status line). A NUMBER answer followed by " then close"
says "Connection: close" and closes the connection after it, so the client
keeps no connection that a later answer could close under a reused request.
Request n (from 0) takes the answer of the line that covers it; "*" covers every
request from there on. Requests beyond the script are answered with 200.
"""
import http.server
import os
import re
import sys
import threading
import time
import urllib.parse

import loopback

THEN_CLOSE = " then close"


def scripted_answer(script_text, index):
    position = 0
    for raw in script_text.splitlines():
        line = raw.strip()
        if not line:
            continue
        count_text, answer = re.match(r"(?:(\*|\d+)x)?(.*)", line).groups()
        if count_text == "*":
            return answer
        count = int(count_text) if count_text else 1
        if index < position + count:
            return answer
        position += count
    return "200"


class Collector(loopback.RecordingServer):
    log_name = "hits.jsonl"
    ascii_log = False

    def __init__(self, folder, port):
        self.requests = 0
        self.stopping = threading.Event()
        super().__init__(folder, port, Handler)

    def server_close(self):
        # Lets stalled answers end.
        self.stopping.set()
        super().server_close()

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


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, format, *args):
        pass

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length).decode("utf-8", errors="replace")
        answer = self.server.next_answer()
        then_close = answer.endswith(THEN_CLOSE)
        if then_close:
            answer = answer[:-len(THEN_CLOSE)]
        status, _, location = answer.partition(">")
        fields = urllib.parse.parse_qsl(body, keep_blank_values=True, encoding="utf-8",
                                        errors="replace")
        self.server.record({
            "path": self.path,
            "user_agent": self.headers.get("User-Agent", ""),
            "body": body,
            "fields": [list(pair) for pair in fields],
            "status": status if status in ("stall", "close") else int(status),
        })
        if status == "stall":
            while not self.server.stopping.is_set():
                time.sleep(0.5)
            return
        if status == "close":
            self.close_connection = True
            return
        payload = b"ok"
        self.send_response(int(status))
        if location:
            self.send_header("Location", location)
        if then_close:
            # send_header ends the connection after this answer.
            self.send_header("Connection", "close")
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(payload)))
        self.end_headers()
        self.wfile.write(payload)

    # A collector that redirects answers whatever method the client follows with.
    do_GET = do_POST


def main(argv):
    return loopback.run("collector", Collector, argv)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
