"""What the loopback test servers share: the threaded server that records its
requests as JSON lines, the writer that trickles, and the start that prints the
port.

    python3 NAME.py --dir DIR [--port N]

A server listens on 127.0.0.1 only, on the port given or a free one, and
prints "PORT <n>" once it accepts connections; a port that is already in use
ends it with exit code 1 before it prints anything.
"""
import argparse
import http.server
import json
import os
import sys
import threading
import time


class RecordingServer(http.server.ThreadingHTTPServer):
    daemon_threads = True
    log_name = "requests.jsonl"
    ascii_log = True

    def __init__(self, folder, port, handler):
        self.folder = folder
        self.lock = threading.Lock()
        super().__init__(("127.0.0.1", port), handler)

    def handle_error(self, request, client_address):
        # A client that hangs up (a cancelled download, a closed program) is no error here.
        if not isinstance(sys.exc_info()[1], ConnectionError):
            super().handle_error(request, client_address)

    def record(self, entry):
        """Appends the entry to DIR/<log_name>, on disk before it returns."""
        with self.lock:
            with open(os.path.join(self.folder, self.log_name), "a", encoding="utf-8") as log:
                log.write(json.dumps(entry, ensure_ascii=self.ascii_log) + "\n")
                log.flush()
                os.fsync(log.fileno())


class SlowWriter:
    """Writes through to inner one byte at a time, pausing `pause` seconds after each."""

    def __init__(self, inner, pause):
        self.inner = inner
        self.pause = pause

    def write(self, data):
        for index in range(len(data)):
            self.inner.write(data[index:index + 1])
            self.inner.flush()
            time.sleep(self.pause)
        return len(data)

    def flush(self):
        self.inner.flush()


def run(name, make_server, argv):
    """Parses the arguments, makes the server with make_server(folder, port) and serves."""
    parser = argparse.ArgumentParser(prog=name)
    parser.add_argument("--dir", required=True)
    parser.add_argument("--port", type=int, default=0)
    args = parser.parse_args(argv)
    os.makedirs(args.dir, exist_ok=True)
    try:
        server = make_server(args.dir, args.port)
    except OSError as error:
        sys.stderr.write("%s: cannot listen on 127.0.0.1:%s: %s\n" % (name, args.port, error))
        return 1
    print("PORT %d" % server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()
    return 0
