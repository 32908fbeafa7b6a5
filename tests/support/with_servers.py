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
except that a GoogleTest case has failed when it ends with 0 but without
GoogleTest's verdict (it passed or was skipped), or when Wine reported an
unhandled exception in its output, whatever the exit code: Wine's debugger
then sets the code by chance.

Only a process that Wine lost is run once more, with fresh servers: one that
died of a signal after GoogleTest printed that its one test passed (a Windows
program ends with an exit code; only Wine's Unix side, or the host, ends it by
a signal), and one that ended with an error before anything at all was printed
on either stream (GoogleTest's first line comes at the start of main), unless
its code is a program's own: an abort (3) or the loader's refusal of a missing
DLL or entry point (0xC0000135, 0xC0000139: 53, 57 as Unix sees them). An
exception code never comes silently: Wine reports the exception, and that
report fails the case whatever its code. Each case run again is added to
$KV_BUILD_DIR/retried-cases.log, with the reason, for the run's summary, and
what both runs printed, the second one with Wine's error and process messages
on, goes to $KV_BUILD_DIR/retried-cases/CASE.log. A failing case always says
its exit code.

A listing of a program's cases (--gtest_list_tests, which ctest asks for
before it runs them) has failed when it ends with 0 but lists no case, a
suite's name and the name of one of its cases, whatever else it printed: ctest
would take the program for one without tests. A listing that Wine lost, by a
signal or by an error before anything was printed as above, is made again and
recorded the same way.

A port given to a server is the same in every build folder on the host, so a
run that needs one first waits until no other run on the host holds it (a lock
file per port in $TMPDIR/kv-loopback-ports); two test runs at once then take
turns instead of failing to listen. A listing runs no case: its servers listen
on free ports and it waits for nobody.
"""
import fcntl
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
# A suite's name and a dot, then the name of one of its cases, indented by two
# blanks; either may end in a comment (a typed or value-parameterized test's
# parameter). Wine's programs end their lines with CR LF.
NAME = r"[A-Za-z_][A-Za-z0-9_/]*"
COMMENT = r"(?:  #[^\r\n]*)?\r?$"
LISTED_CASE = re.compile(r"^%s\.%s\n  %s%s" % (NAME, COMMENT, NAME, COMMENT), re.MULTILINE)
# Wine's report of an unhandled exception: the process that raised it prints
# "wine: Unhandled page fault on write access to ... (thread 0024), starting
# debugger..." on its standard error (whatever WINEDEBUG says), and the
# debugger "Unhandled exception: ..." on the process's standard output.
CRASH_REPORT = re.compile(r"wine: [^\n]*\(thread [0-9a-f]+\), starting debugger|^Unhandled exception: ",
                          re.MULTILINE)
# Exit codes of a program's own failure to start, which Wine's loss never is:
# an abort, a missing DLL, a missing entry point.
OWN_START_FAILURES = {3, 53, 57}
# Wine's channels for the second run of a case whose process Wine lost.
RETRY_WINEDEBUG = "err+all,warn+process,warn+seh,warn+module"


class Run:
    """What one run of the command did."""

    def __init__(self, status, out="", err=""):
        self.status = status
        self.out = out
        self.err = err

    def printed(self):
        return self.out or self.err

    def crash_report(self):
        found = CRASH_REPORT.search(self.err) or CRASH_REPORT.search(self.out)
        return found and found.group(0)


def run_command(command, env):
    """Runs the command, passing its output on as it comes."""
    proc = subprocess.Popen(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    streams = {proc.stdout: [], proc.stderr: []}

    def forward(pipe, sink):
        for chunk in iter(lambda: pipe.read1(65536), b""):
            streams[pipe].append(chunk)
            sink.buffer.write(chunk)
            sink.buffer.flush()

    # Wine's own background processes may inherit the pipes and keep them
    # open: the command's end, not the pipes', ends the run.
    readers = [threading.Thread(target=forward, args=(proc.stdout, sys.stdout), daemon=True),
               threading.Thread(target=forward, args=(proc.stderr, sys.stderr), daemon=True)]
    for reader in readers:
        reader.start()
    status = proc.wait()
    for reader in readers:
        reader.join(timeout=2)

    def text(pipe):
        return b"".join(streams[pipe]).decode("utf-8", "replace")

    return Run(status, text(proc.stdout), text(proc.stderr))


def claim_ports(ports):
    """Waits until no other run on this host holds any of the ports; the claims
    last until the files returned are closed."""
    folder = os.path.join(tempfile.gettempdir(), "kv-loopback-ports")
    os.makedirs(folder, exist_ok=True)
    claims = []
    # One order for every run, so that no two runs each hold a port the other waits for.
    for port in sorted(set(ports), key=int):
        claim = open(os.path.join(folder, port), "a")
        claims.append(claim)
        try:
            fcntl.flock(claim, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            sys.stderr.write("with_servers.py: another test run on this host holds port %s; waiting for it\n" % port)
            sys.stderr.flush()
            fcntl.flock(claim, fcntl.LOCK_EX)
    return claims


def run_with_servers(names, command, env, listing):
    env = dict(env)
    procs = []
    fixed = [] if listing else [spec.partition(":")[2] for spec in names if spec.partition(":")[2]]
    claims = claim_ports(fixed)
    with tempfile.TemporaryDirectory(prefix="kv-servers-") as folder:
        env["KV_SERVER_DIR"] = folder
        env["KV_SERVER_DIR_WIN"] = "Z:" + folder.replace("/", "\\")
        try:
            for spec in names:
                name, _, port = spec.partition(":")
                server_dir = os.path.join(folder, name)
                os.makedirs(server_dir)
                arguments = [sys.executable, os.path.join(SERVERS, name + ".py"), "--dir", server_dir]
                if port and not listing:
                    arguments += ["--port", port]
                proc = subprocess.Popen(arguments, stdout=subprocess.PIPE, text=True)
                procs.append(proc)
                line = proc.stdout.readline().split()
                if len(line) != 2 or line[0] != "PORT":
                    sys.stderr.write("server %s did not start\n" % name)
                    return Run(3)
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
                    proc.wait()
            for claim in claims:
                claim.close()


def wine_lost(run, listing):
    """Why a run says nothing about its case or listing, or None when it does."""
    if run.crash_report():
        return None
    if run.status < 0 and PASSED_ONE.search(run.out):
        return "passed, then Wine died of signal %d at exit" % -run.status
    if run.status < 0 and listing:
        return "died of signal %d" % -run.status
    if run.status != 0 and not run.printed() and run.status not in OWN_START_FAILURES:
        return "ended with %s before printing anything" % describe(run.status)
    return None


def describe(status):
    if status < 0:
        return "signal %d" % -status
    return "exit code %d" % status


def gtest_case(command):
    if "--gtest_list_tests" in command:
        # The listing of the program just before the option.
        return os.path.basename(command[command.index("--gtest_list_tests") - 1]) + " --gtest_list_tests"
    for argument in command:
        if argument.startswith("--gtest_filter="):
            return argument.partition("=")[2]
    return None


def record_retry(build, case, lost, first, second):
    with open(os.path.join(build, "retried-cases.log"), "a") as log:
        log.write("%s (%s)\n" % (case, lost))
    folder = os.path.join(build, "retried-cases")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, re.sub(r"[^\w.-]", "_", case) + ".log"), "a") as log:
        for title, run in (("first run", first), ("second run, WINEDEBUG=" + RETRY_WINEDEBUG, second)):
            log.write("=== %s: %s\n--- standard output:\n%s\n--- standard error:\n%s\n"
                      % (title, describe(run.status), run.out, run.err))


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

    listing = "--gtest_list_tests" in command
    run = run_with_servers(names, command, os.environ, listing)
    case = gtest_case(command)
    lost = case and wine_lost(run, listing)
    if lost:
        sys.stderr.write("with_servers.py: %s %s; running it again\n" % (case, lost))
        first = run
        run = run_with_servers(names, command, dict(os.environ, WINEDEBUG=RETRY_WINEDEBUG), listing)
        build = os.environ.get("KV_BUILD_DIR")
        if build:
            record_retry(build, case, lost, first, run)
    crash = run.crash_report()
    if crash:
        sys.stderr.write("with_servers.py: Wine reported an unhandled exception (%s); the command ended with %s\n"
                         % (crash, describe(run.status)))
        return run.status if run.status > 0 else 1
    if run.status != 0:
        sys.stderr.write("with_servers.py: the command ended with %s%s\n"
                         % (describe(run.status), "" if run.printed() else ", having printed nothing"))
    elif listing:
        if not LISTED_CASE.search(run.out):
            sys.stderr.write("with_servers.py: %s listed no case\n" % case)
            return 1
    elif case and not (PASSED_ONE.search(run.out) or SKIPPED_ONE.search(run.out)):
        # Under Wine a test process that crashed (a stack overflow, say) can
        # still end with 0: only GoogleTest's own verdict counts as a pass.
        sys.stderr.write("with_servers.py: %s ended without GoogleTest's verdict\n" % case)
        return 1
    return run.status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
