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
The servers are stopped when the command ends; its exit code is returned,
except that a GoogleTest case that ends with 0 but without GoogleTest's verdict
(it passed or was skipped) has failed.

Two failures are Wine's, not the test's, and only they are run once more, with
fresh servers: a test process that dies of a signal while it exits, after
GoogleTest printed that its one test passed, and one that ends with an error
before it printed anything at all (GoogleTest's first line comes at the start
of main). Each such case is added to $KV_BUILD_DIR/retried-cases.log, with the
reason, for the run's summary. A failing case always says its exit code.
"""
import os
import re
import subprocess
import sys
import tempfile
import threading

HERE = os.path.dirname(os.path.abspath(__file__))
SERVERS = os.path.join(os.path.dirname(HERE), "servers")


PASSED_ONE = re.compile(r"^\[  PASSED  \] 1 test\.", re.MULTILINE)
SKIPPED_ONE = re.compile(r"^\[  SKIPPED \] 1 test,", re.MULTILINE)


def run_command(command, env):
    """Runs the command, passing its output on as it comes; (status, output)."""
    proc = subprocess.Popen(command, env=env, stdout=subprocess.PIPE)
    chunks = []

    def forward():
        for chunk in iter(lambda: proc.stdout.read1(65536), b""):
            chunks.append(chunk)
            sys.stdout.buffer.write(chunk)
            sys.stdout.buffer.flush()

    # Wine's own background processes may inherit the pipe and keep it open:
    # the command's end, not the pipe's, ends the run.
    reader = threading.Thread(target=forward, daemon=True)
    reader.start()
    status = proc.wait()
    reader.join(timeout=2)
    return status, b"".join(chunks).decode("utf-8", "replace")


def run_with_servers(names, command):
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
                    return 3, ""
                env["KV_%s_PORT" % name.upper()] = line[1]
            return run_command(command, env)
        finally:
            for proc in procs:
                proc.terminate()
            for proc in procs:
                try:
                    proc.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    proc.kill()


def wine_lost(status, output):
    """Why a run says nothing about its case, or None when it does."""
    if status < 0 and PASSED_ONE.search(output):
        return "passed, then Wine died of signal %d at exit" % -status
    if status != 0 and not output:
        return "ended with %s before printing anything" % describe(status)
    return None


def describe(status):
    if status < 0:
        return "signal %d" % -status
    return "exit code %d" % status


def gtest_case(command):
    for argument in command:
        if argument.startswith("--gtest_filter="):
            return argument.partition("=")[2]
    return None


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

    status, output = run_with_servers(names, command)
    case = gtest_case(command)
    lost = case and wine_lost(status, output)
    if lost:
        sys.stderr.write("with_servers.py: %s %s; running it again\n" % (case, lost))
        build = os.environ.get("KV_BUILD_DIR")
        if build:
            with open(os.path.join(build, "retried-cases.log"), "a") as log:
                log.write("%s (%s)\n" % (case, lost))
        status, output = run_with_servers(names, command)
    if status != 0:
        sys.stderr.write("with_servers.py: the command ended with %s%s\n"
                         % (describe(status), "" if output else ", having printed nothing"))
    elif case and not (PASSED_ONE.search(output) or SKIPPED_ONE.search(output)):
        # Under Wine a test process that crashed (a stack overflow, say) can
        # still end with 0: only GoogleTest's own verdict counts as a pass.
        sys.stderr.write("with_servers.py: %s ended without GoogleTest's verdict\n" % case)
        return 1
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
