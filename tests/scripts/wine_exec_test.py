"""scripts/wine-exec: a Windows program that finds no Wine session runs in one that wine-exec
started before it, so that nothing of the session holds the caller's streams or joins its
process group, and --stop-server leaves nothing running. Runs in a prefix of its own.

    wine_exec_test.py PREFIX
"""

import os
import subprocess
import sys
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINE_EXEC = os.path.join(ROOT, "scripts", "wine-exec")
PREFIX = os.path.abspath(sys.argv.pop(1)) if __name__ == "__main__" else None


def wine_exec(*args, **kwargs):
    return subprocess.run([WINE_EXEC, PREFIX, *args], timeout=300, **kwargs)


def session_processes():
    """The processes whose environment names the prefix: its server and Windows programs."""
    found = []
    marker = b"WINEPREFIX=" + PREFIX.encode() + b"\0"
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/environ" % pid, "rb") as f:
                if marker in f.read() + b"\0":
                    found.append(int(pid))
        except OSError:
            pass
    return found


def fd_holders(targets):
    """The other processes that hold open one of `targets` (what /proc shows their descriptors
    lead to)."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        if int(pid) == os.getpid():
            continue
        try:
            links = {os.readlink("/proc/%s/fd/%s" % (pid, fd))
                     for fd in os.listdir("/proc/%s/fd" % pid)}
        except OSError:
            continue
        if links & set(targets):
            found.append(int(pid))
    return found


def holders(pipe_end):
    """The other processes that hold the pipe of `pipe_end`."""
    return fd_holders([os.readlink("/proc/self/fd/%d" % pipe_end)])


def lock_holders():
    """The processes that hold one of wine-exec's lock files of the prefix open."""
    return fd_holders([PREFIX + ".lock", PREFIX + ".session-lock"])


# The personality flag that turns address randomization off (<linux/personality.h>).
ADDR_NO_RANDOMIZE = 0x0040000


def randomized_windows_processes():
    """The session's Windows programs (every process but its server) that run with address
    randomization on."""
    found = []
    for pid in session_processes():
        try:
            if os.path.basename(os.readlink("/proc/%d/exe" % pid)).startswith("wineserver"):
                continue
            with open("/proc/%d/personality" % pid) as f:
                if not int(f.read(), 16) & ADDR_NO_RANDOMIZE:
                    found.append(pid)
        except OSError:
            pass
    return found


def group_members(group):
    """The live processes of a process group (an ended one may wait a while to be reaped)."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/stat" % pid) as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if fields[0] != "Z" and int(fields[2]) == group:
            found.append(int(pid))
    return found


class FirstProgramOfASession(unittest.TestCase):
    """Each row ends the prefix's session first, so that its program finds none."""

    def setUp(self):
        wine_exec("--stop-server", check=True, capture_output=True)

    def tearDown(self):
        wine_exec("--stop-server", capture_output=True)

    def test_streams_exit_code_and_group_are_the_programs_alone(self):
        rows = [
            ("a line on standard error", ["cmd.exe", "/c", "echo gone 1>&2"], 0, b"gone"),
            ("an exit code", ["cmd.exe", "/c", "exit 3"], 3, b""),
            ("a line, then an exit code", ["cmd.exe", "/c", "echo gone 1>&2 & exit 7"], 7,
             b"gone"),
        ]
        for label, program, code, line in rows:
            with self.subTest(label):
                wine_exec("--stop-server", check=True, capture_output=True)
                read_end, write_end = os.pipe()
                # A group of the program's own, as a shell gives a job: nothing may stay in it.
                process = subprocess.Popen([WINE_EXEC, PREFIX, *program],
                                           stdin=subprocess.DEVNULL, stdout=write_end,
                                           stderr=write_end, process_group=0)
                os.close(write_end)
                self.assertEqual(process.wait(timeout=300), code)
                # The session lives on; none of it holds the caller's pipe, so a reader sees
                # the end of the program's output when the program ends.
                self.assertTrue(session_processes(), "no session after the program")
                self.assertEqual(holders(read_end), [])
                with os.fdopen(read_end, "rb") as f:
                    self.assertIn(line, f.read())
                self.assertEqual(group_members(process.pid), [])

    def test_session_holds_no_lock_and_keeps_fixed_addresses_free(self):
        # A session holding a lock would make every later starter wait for the session's end;
        # a randomized heap now and then covers the page every Windows program needs.
        wine_exec("cmd.exe", "/c", "exit", check=True, capture_output=True)
        self.assertTrue(session_processes())
        self.assertEqual(lock_holders(), [])
        self.assertEqual(randomized_windows_processes(), [])

    def test_stop_server_leaves_nothing_running(self):
        wine_exec("cmd.exe", "/c", "exit", check=True, capture_output=True)
        self.assertTrue(session_processes())
        wine_exec("--stop-server", check=True, capture_output=True)
        self.assertEqual(session_processes(), [])


if __name__ == "__main__":
    unittest.main()
