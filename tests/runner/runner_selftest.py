#!/usr/bin/env python3
"""Checks the verdicts of tests/support/with_servers.py on stand-in programs.

    runner_selftest.py WITH_SERVERS WINE_RUN STAND_IN NO_DLL NO_ENTRY

Each row runs one stand-in case, or the listing of a program's cases, through
with_servers.py, as ctest lists and runs them, and says whether the run must
pass, whether it may be made again and what the runner must say of it. Then two
runs need one fixed port at once, as two test runs on a host do.
"""
import os
import socket
import subprocess
import sys
import tempfile
import time

CASE = "--gtest_filter=StandIn.Passes"
LIST = "--gtest_list_tests"


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_for_listener(port, deadline):
    while time.monotonic() < deadline:
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return True
        except OSError:
            time.sleep(0.1)
    return False


def fixed_port_turns(with_servers, folder, passed, listed):
    """While a case holds a fixed port, a listing that names it goes ahead and
    a case that names it waits, then runs. Answers what went wrong, or None."""
    port = "collector:%d" % free_port()
    released = os.path.join(folder, "released")
    holds = 'while [ ! -e "$1" ]; do sleep 0.1; done; ' + passed
    holder = subprocess.Popen([sys.executable, with_servers, "--server", port, "--", "sh", "-c", holds, "sh",
                               released, CASE], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    waiter = None
    try:
        if not wait_for_listener(int(port.partition(":")[2]), time.monotonic() + 60):
            return "the holder's server never listened"
        try:
            listing = subprocess.run([sys.executable, with_servers, "--server", port, "--", "sh", "-c", listed, "sh",
                                      LIST], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=60)
        except subprocess.TimeoutExpired:
            return "the listing waited for the holder"
        if listing.returncode != 0 or holder.poll() is not None:
            return "the listing failed (%d) or outlived the holder: %s" % (listing.returncode, listing.stdout)
        # It runs only once the holder has ended, so it finds the file.
        waiter = subprocess.Popen([sys.executable, with_servers, "--server", port, "--", "sh", "-c",
                                   '[ -e "$1" ] && ' + passed, "sh", released, CASE],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        said = waiter.stderr.readline()
        if "waiting for it" not in said:
            return "the second case did not wait: " + said + waiter.stderr.read()
        open(released, "w").close()
        _, rest = waiter.communicate(timeout=60)
        if waiter.returncode != 0 or holder.wait(timeout=60) != 0:
            return "the runs ended with %d and %d: %s" % (holder.returncode, waiter.returncode, rest)
        return None
    finally:
        open(released, "w").close()
        for proc in (holder, waiter):
            if proc:
                try:
                    proc.wait(timeout=60)
                except subprocess.TimeoutExpired:
                    proc.kill()
        # The runner's lock file for this port, which no other run will ask for again.
        lock = os.path.join(tempfile.gettempdir(), "kv-loopback-ports", port.partition(":")[2])
        if os.path.exists(lock):
            os.remove(lock)


def main(argv):
    with_servers, wine_run, stand_in, no_dll, no_entry = argv
    with tempfile.TemporaryDirectory(prefix="kv-runner-") as folder:
        marker = os.path.join(folder, "struck")

        def once(before, end, after, argument=CASE):
            """A stand-in for a process that ends the way END says in its first run only."""
            script = before + '; [ -e "$1" ] || { touch "$1"; ' + end + '; }; ' + after
            return ["sh", "-c", script, "sh", marker, argument]

        def lost_once(before, after):
            """A stand-in for a process that Wine loses once: it dies of a signal."""
            return once(before, "kill -9 $$", after)

        passed = 'echo "[  PASSED  ] 1 test."'
        listed = 'printf "StandIn.\\n  Passes\\n"'
        # gtest_main's greeting, and lines that only look like a suite and its case.
        other_lines = ('printf "Running main() from gtest_main.cc\\nLoading settings.\\n  done\\n'
                       'StandIn.\\n\\n  Passes\\n"')
        crashed = "Wine reported an unhandled exception"
        crash_report = ('echo "wine: Unhandled page fault on write access to 0000000000000000'
                        ' at address 0000000140001530 (thread 0024), starting debugger..." >&2')
        # Wine's debugger sets a crashed process's exit code by chance, often 0.
        crash_then_0 = ["sh", "-c", passed + "; " + crash_report + "; exit 0", "sh", CASE]
        rows = [
            # name, command, KV_STAND_IN, passes, run again, what the runner must say
            ("a passing case", [wine_run, stand_in, CASE], "", True, False, None),
            ("a crash at exit", [wine_run, stand_in, CASE], "crash-at-exit", False, False, crashed),
            ("a crash at exit that Wine ends with 0", crash_then_0, "", False, False, crashed),
            ("a terminate at start in one process", [wine_run, stand_in, CASE],
             "terminate-once=" + windows_path(marker), False, False, "exit code 3"),
            ("a missing DLL", [wine_run, no_dll, CASE], "", False, False, "exit code 53"),
            ("a missing entry point", [wine_run, no_entry, CASE], "", False, False, crashed),
            ("Wine's loss of a passed process", lost_once(passed, "true"), "", True, True, None),
            ("Wine's loss of a process before it printed", lost_once("true", passed), "", True, True, None),
            ("Wine's loss with an exit code before anything was printed", once("true", "exit 1", passed), "",
             True, True, None),
            ("a silent abort at start in one process", once("true", "exit 3", passed), "", False, False,
             "exit code 3"),
            ("an exit with 0 without GoogleTest's verdict", ["sh", "-c", "exit 0", "sh", CASE], "", False, False,
             "without GoogleTest's verdict"),
            ("a crash report, then a signal after the verdict",
             ["sh", "-c", passed + "; " + crash_report + "; kill -9 $$", "sh", CASE], "", False, False, crashed),
            ("a listing of the stand-in's case", [wine_run, stand_in, LIST], "", True, False, None),
            ("a listing that ends with 0 and lists no case", ["sh", "-c", "exit 0", "sh", LIST], "", False, False,
             "listed no case"),
            ("a listing that prints other lines and no case", ["sh", "-c", other_lines + "; exit 0", "sh", LIST], "",
             False, False, "listed no case"),
            ("Wine's loss of a listing with an exit code before it printed", once("true", "exit 1", listed, LIST),
             "", True, True, None),
            ("Wine's loss of a listing by a signal", once(listed, "kill -9 $$", "true", LIST), "", True, True, None),
        ]
        wrong = 0
        for name, command, setting, must_pass, run_again, says in rows:
            if os.path.exists(marker):
                os.remove(marker)
            build = os.path.join(folder, "build")
            os.makedirs(build, exist_ok=True)
            log = os.path.join(build, "retried-cases.log")
            if os.path.exists(log):
                os.remove(log)
            env = dict(os.environ, KV_BUILD_DIR=build, KV_STAND_IN=setting)
            run = subprocess.run([sys.executable, with_servers, "--"] + command, env=env,
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, errors="replace")
            ran_again = os.path.exists(log)
            verdict = "%s: %s, %s" % (name, "passed" if run.returncode == 0 else "failed (%d)" % run.returncode,
                                      "run again" if ran_again else "run once")
            if (run.returncode == 0) == must_pass and ran_again == run_again and (not says or says in run.stdout):
                print("ok   " + verdict)
            else:
                wrong += 1
                print("WRONG " + verdict)
                print("  " + run.stdout.replace("\n", "\n  ")[-3000:])
        turns = fixed_port_turns(with_servers, folder, passed, listed)
        print(("WRONG " if turns else "ok   ") + "two runs that need one fixed port: " + (turns or "they take turns"))
        return 1 if wrong or turns else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
