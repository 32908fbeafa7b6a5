#!/usr/bin/env python3
"""Loopback file server for the download tests.

    files.py --dir DIR

Serves the files below DIR on 127.0.0.1 only (HTTP/1.1, keep-alive), GET and
HEAD, and prints "PORT <n>" once it accepts connections. "GET /a/b.bin" serves
DIR/a/b.bin; a path that leaves DIR or names no file answers 404.

The query of a request changes how it is served (any number of them):
    status=N      answer status N with an empty body instead of the file
    throttle=N    send the body at about N bytes per second
    drop=N        close the connection once the body has reached byte N, on the
                  first request for this path and query only (the requests
                  after it, resumed or not, go through)
    corrupt=1     send wrong bytes (every byte of the file inverted)
    changed=1     send the file as it is on the first request for this path and
                  query, and inverted (as corrupt=1) on every later one: a
                  resource that changed between a drop and its re-send
    norange=1     ignore a Range header and always send the whole file
    more=N        announce N bytes more than the file holds, and close after it
    part=P,Q,...  send P per cent of the body to the first request for this path
                  and query, Q to the second (the last to every later one), and close
    dead=N        once the body has reached byte N, on the first request for this
                  path and query only, send nothing more and keep the connection
                  open until the client closes it (a network that went silent)
    trickle=MS    send the body one byte every MS milliseconds
    fast=N        with trickle: the bytes before byte N go at full speed
    trickled=K    with trickle: only the K-th request for this path and query
                  (counted from 1) trickles, the others go at full speed
    inch=N        a request without a Range gets the body up to byte N, one with a
                  Range a single byte; then each closes the connection, or with
                  hang=1 keeps it open and silent (a server that brings one new
                  byte per request)
    slowhead=MS   send the status line and headers one byte every MS milliseconds
Otherwise "Range: bytes=N-" is answered with 206 and Content-Range, and with
416 when N is at or beyond the file's end.

Every request is appended, before it is answered, as one JSON line to
DIR/requests.jsonl: {"method": ..., "path": ..., "query": ..., "range": ...}
("range" is the Range header or null).
"""
import http.server
import os
import select
import sys
import time
import urllib.parse

import loopback

BLOCK = 1 << 20
INVERTED = bytes(255 - i for i in range(256))


class FileServer(loopback.RecordingServer):
    def __init__(self, folder, port):
        self.seen = {}
        super().__init__(os.path.realpath(folder), port, Handler)

    def count(self, key):
        """How many calls with this key came before this one."""
        with self.lock:
            self.seen[key] = self.seen.get(key, 0) + 1
            return self.seen[key] - 1

    def first_time(self, key):
        """True for the first call with this key."""
        return self.count(key) == 0


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_HEAD(self):
        self.serve(send_body=False)

    def do_GET(self):
        self.serve(send_body=True)

    def serve(self, send_body):
        target = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(target.query))
        self.server.record({"method": self.command, "path": target.path, "query": target.query,
                            "range": self.headers.get("Range")})
        if "status" in query:
            self.send_response(int(query["status"]))
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        path = os.path.realpath(os.path.join(self.server.folder, urllib.parse.unquote(target.path).lstrip("/")))
        if not path.startswith(self.server.folder + os.sep) or not os.path.isfile(path):
            self.send_response(404)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return

        size = os.path.getsize(path)
        length = size + int(query.get("more", "0"))
        start = 0
        wanted = self.headers.get("Range")
        if wanted and query.get("norange") != "1" and wanted.startswith("bytes=") and wanted.endswith("-"):
            start = int(wanted[len("bytes="):-1])
        if start > 0 and start >= size:
            self.send_response(416)
            self.send_header("Content-Range", "bytes */%d" % size)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if "slowhead" in query:
            # The status line and headers go out one byte at a time.
            self.wfile = loopback.SlowWriter(self.wfile, int(query["slowhead"]) / 1000.0)
        if start > 0:
            self.send_response(206)
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, length - 1, length))
        else:
            self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(length - start))
        self.end_headers()
        if isinstance(self.wfile, loopback.SlowWriter):
            self.wfile = self.wfile.inner
        if not send_body:
            return

        drop = int(query["drop"]) if "drop" in query else None
        if drop is not None and (start >= drop or not self.server.first_time(("drop", self.path))):
            drop = None
        if "part" in query or length > size:
            shares = [int(share) for share in query.get("part", "100").split(",")]
            share = shares[min(self.server.count(("part", self.path)), len(shares) - 1)]
            end = start + (size - start) * share // 100
            drop = end if drop is None else min(drop, end)
        dead = int(query["dead"]) if "dead" in query else None
        if dead is not None and (start >= dead or not self.server.first_time(("dead", self.path))):
            dead = None
        if "inch" in query:
            end = start + 1 if wanted else int(query["inch"])
            drop = end if drop is None else min(drop, end)
            if query.get("hang") == "1":
                dead = drop
        if dead is not None:
            drop = dead if drop is None else min(drop, dead)
        throttle = int(query["throttle"]) if "throttle" in query else None
        fast = 0
        if "trickle" in query and ("trickled" not in query or
                                   self.server.count(("trickled", self.path)) + 1 == int(query["trickled"])):
            throttle = 1000.0 / max(1, int(query["trickle"]))
            fast = int(query.get("fast", "0"))
        corrupt = query.get("corrupt") == "1" or (
            query.get("changed") == "1" and not self.server.first_time(("changed", self.path)))
        if drop is None and throttle is None and not corrupt:
            with open(path, "rb") as source:
                self.connection.sendfile(source, start, size - start)
            return
        self.send_slowly(path, start, size, drop, throttle, fast, corrupt, dead is not None and drop == dead)

    def send_slowly(self, path, start, size, drop, throttle, fast, corrupt, go_silent):
        block = BLOCK if throttle is None else max(1, int(throttle) // 20)
        began = time.monotonic()
        sent = 0
        with open(path, "rb") as source:
            source.seek(start)
            position = start
            while position < size:
                count = min(block, size - position)
                if position < fast:
                    count = min(fast, size) - position
                if drop is not None:
                    count = min(count, drop - position)
                data = source.read(count)
                if corrupt:
                    data = data.translate(INVERTED)
                self.wfile.write(data)
                position += len(data)
                sent += len(data)
                if drop is not None and position >= drop:
                    self.close_connection = True
                    if go_silent:
                        self.wfile.flush()
                        # Silent, but open: only the client's close (or ten minutes) ends it.
                        select.select([self.connection], [], [], 600)
                    self.connection.shutdown(2)
                    return
                if throttle is not None and position <= fast:
                    began = time.monotonic()
                    sent = 0
                elif throttle is not None:
                    ahead = sent / throttle - (time.monotonic() - began)
                    if ahead > 0:
                        time.sleep(ahead)


def main(argv):
    return loopback.run("files", FileServer, argv)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
