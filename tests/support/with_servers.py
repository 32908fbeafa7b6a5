#!/usr/bin/env python3
"""Runs one command with loopback test servers beside it.

    with_servers.py [--server NAME[:PORT]]... -- COMMAND [ARG]...

Each NAME is a module tests/servers/NAME.py. It is started as
`python3 NAME.py --dir DIR` (with `--port PORT` when a port is given), must
listen on 127.0.0.1 only and print
"PORT <n>" as its first line of output once it accepts connections. DIR is a
fresh folder the server may write its records into.

The command sees, for each server:
    KV_<NAME>_PORT      the port
and for all of them:
    KV_SERVER_DIR       the folder (a Unix path)
    KV_SERVER_DIR_WIN   the same folder as Wine sees it (Z:\\...)
The servers are stopped when the command ends; its exit code is returned.
"""
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SERVERS = os.path.join(os.path.dirname(HERE), "servers")


def main(argv):
    names = []
    while argv and argv[0] != "--":
        if argv[0] == "--server" and len(argv) > 1:
            names.append(argv[1])
            argv = argv[2:]
        else:
            sys.stderr.write("usage: with_servers.py [--server NAME]... -- COMMAND...\n")
            return 2
    command = argv[1:]
    if not command:
        sys.stderr.write("with_servers.py: no command\n")
        return 2

    env = dict(os.environ)
    procs = []
    with tempfile.TemporaryDirectory(prefix="kv-servers-") as folder:
        env["KV_SERVER_DIR"] = folder
        env["KV_SERVER_DIR_WIN"] = "Z:" + folder.replace("/", "\\")
        try:
            for spec in names:
                name, _, port = spec.partition(":")
                server_dir = os.path.join(folder, name)
                os.makedirs(server_dir)
                arguments = [sys.executable, os.path.join(SERVERS, name + ".py"), "--dir", server_dir]
                if port:
                    arguments += ["--port", port]
                proc = subprocess.Popen(arguments, stdout=subprocess.PIPE, text=True)
                procs.append(proc)
                line = proc.stdout.readline().split()
                if len(line) != 2 or line[0] != "PORT":
                    sys.stderr.write("server %s did not start\n" % name)
                    return 3
                env["KV_%s_PORT" % name.upper()] = line[1]
            status = subprocess.call(command, env=env)
            if status < 0:
                # Seen with Wine: a test process that used WinInet sometimes dies
                # of a signal after its test passed, while the process exits.
                sys.stderr.write("with_servers.py: the command died of signal %d\n" % -status)
            return status
        finally:
            for proc in procs:
                proc.terminate()
            for proc in procs:
                try:
                    proc.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    proc.kill()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
