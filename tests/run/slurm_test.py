"""braidel-run's Slurm recipe (farm/) on a real one-node Slurm cluster started for the test.

munged, slurmctld and slurmd (Debian's munge and slurm-wlm) run as root in the foreground with
a private key, configuration, spool and state under the test's temporary folder. The test runs
in new PID and network namespaces: the daemons listen on a loopback device of their own, and
whatever a failure leaves running ends with the namespace. The daemons are stopped by PID all
the same. Processes are tracked without cgroups (proctrack/linuxproc, task/none).

On 120 small frames in chunks of 20, at most 2 tasks at once: the outputs equal one local
run's; a task cancelled mid-run leaves no temporary file and no partial output, and the same
array submitted again filters only the missing frames; a damaged frame fails its task (exit 3)
while the other chunks complete, and after it is replaced a rerun filters only what that chunk
lacks.

Usage: slurm_test.py   (BRAIDEL_RUN: the native program; run as root)
"""

import glob
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)

import numpy  # noqa: E402

from run_test import PROGRAM, digest  # noqa: E402
from testimages import from_array, write_png  # noqa: E402

SUBMIT = os.path.join(ROOT, "farm", "braidel-submit")
INSIDE = "BRAIDEL_SLURM_NAMESPACE"
FRAMES, CHUNK, AT_ONCE = 120, 20, 2
NODE = "braidelnode"
DEADLINE = 90  # seconds a submitted array may take


def prepare_network():
    """The new network namespace has only lo, and it is down: up it goes. Slurm looks its
    listening address up as addresses configured on this host (AI_ADDRCONFIG), which loopback
    alone does not satisfy, so a pair of virtual devices within the namespace, whose ends reach
    nothing else, carries a private address too."""
    for args in (["link", "set", "lo", "up"],
                 ["link", "add", "braidel0", "type", "veth", "peer", "name", "braidel1"],
                 ["addr", "add", "192.0.2.1/32", "dev", "braidel0"]):
        command("ip", *args)


def command(*args, timeout=60, check=True):
    result = subprocess.run(args, capture_output=True, text=True, timeout=timeout)
    if check and result.returncode != 0:
        raise AssertionError("%s: exit %d: %s" % (" ".join(args), result.returncode,
                                                   result.stderr.strip()))
    return result.stdout


def wait_for(what, test, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if test():
            return
        time.sleep(0.2)
    raise AssertionError("gave up after %d s waiting for %s" % (timeout, what))


class Cluster:
    """munged, slurmctld and slurmd under `root`, started in that order and stopped in reverse."""

    def __init__(self, root):
        self.root = root
        self.daemons = []  # (name, Popen)
        for folder in ("state", "spool", "munge"):
            os.makedirs(os.path.join(root, folder), mode=0o700)
        self.conf = os.path.join(root, "slurm.conf")
        os.environ["SLURM_CONF"] = self.conf
        self.write_files()

    def path(self, name):
        return os.path.join(self.root, name)

    def write_files(self):
        key = self.path("munge/munge.key")
        with open(os.open(key, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o400), "wb") as f:
            f.write(os.urandom(1024))
        cpus = re.search(r"CPUs=(\d+)", command("slurmd", "-C")).group(1)
        ports = [self.free_port() for _ in range(2)]
        settings = [
            "ClusterName=braideltest",
            "SlurmctldHost=localhost",
            "SlurmctldPort=%d" % ports[0],
            "SlurmdPort=%d" % ports[1],
            "SlurmUser=root",
            "SlurmdUser=root",
            "AuthType=auth/munge",
            "CredType=cred/munge",
            "AuthInfo=socket=%s" % self.path("munge/munge.socket"),
            "StateSaveLocation=%s" % self.path("state"),
            "SlurmdSpoolDir=%s" % self.path("spool"),
            "SlurmctldPidFile=%s" % self.path("slurmctld.pid"),
            "SlurmdPidFile=%s" % self.path("slurmd.pid"),
            "SlurmctldLogFile=%s" % self.path("slurmctld.log"),
            "SlurmdLogFile=%s" % self.path("slurmd.log"),
            "ProctrackType=proctrack/linuxproc",
            "TaskPlugin=task/none",
            "JobAcctGatherType=jobacct_gather/none",
            "AccountingStorageType=accounting_storage/none",
            "JobCompType=jobcomp/none",
            "SwitchType=switch/none",
            "MpiDefault=none",
            "SchedulerType=sched/builtin",
            "SelectType=select/cons_tres",
            "SelectTypeParameters=CR_CPU",
            "ReturnToService=2",
            # Finished jobs stay visible to scontrol for the whole test.
            "MinJobAge=3600",
            "KillWait=10",
            "MailProg=/bin/true",
            "NodeName=%s NodeHostname=%s NodeAddr=127.0.0.1 CPUs=%s RealMemory=500 State=UNKNOWN"
            % (NODE, socket.gethostname(), cpus),
            "PartitionName=braidel Nodes=%s Default=YES MaxTime=INFINITE State=UP" % NODE,
        ]
        with open(self.conf, "w") as f:
            f.write("\n".join(settings) + "\n")
        # Slurm reads a cgroup.conf beside its configuration when one exists; none is needed.

    @staticmethod
    def free_port():
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            return s.getsockname()[1]

    def start(self, name, *args):
        log = open(self.path(name + ".out"), "wb")
        process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=log,
                                   stderr=subprocess.STDOUT)
        log.close()
        self.daemons.append((name, process))

    def __enter__(self):
        try:
            self.start("munged", "munged", "--foreground", "--force",
                       "--key-file=" + self.path("munge/munge.key"),
                       "--socket=" + self.path("munge/munge.socket"),
                       "--pid-file=" + self.path("munge/munged.pid"),
                       "--seed-file=" + self.path("munge/munged.seed"),
                       "--log-file=" + self.path("munge/munged.log"))
            wait_for("munged's socket", lambda: os.path.exists(self.path("munge/munge.socket")),
                     30)
            self.start("slurmctld", "slurmctld", "-D", "-i", "-f", self.conf)
            self.start("slurmd", "slurmd", "-D", "-N", NODE, "-f", self.conf)
            wait_for("the node to be idle", self.node_idle, 60)
        except BaseException:
            self.stop()
            raise
        return self

    def node_idle(self):
        self.check_daemons()
        states = subprocess.run(["sinfo", "-h", "-N", "-o", "%t"], capture_output=True,
                                text=True, timeout=30).stdout.split()
        return states == ["idle"]

    def check_daemons(self):
        for name, process in self.daemons:
            if process.poll() is not None:
                with open(self.path(name + ".out"), errors="replace") as f:
                    raise AssertionError("%s exited %d: %s" % (name, process.returncode,
                                                                f.read()[-2000:]))

    def __exit__(self, *exc):
        self.stop()

    def stop(self):
        # Jobs first, so that no task outlives its slurmd; then each daemon by its PID.
        subprocess.run(["scancel", "--full", "--user=root"], capture_output=True, timeout=30)
        try:
            wait_for("the queue to empty", lambda: self.queue() == [], 30)
        except (AssertionError, subprocess.SubprocessError):
            pass
        for name, process in reversed(self.daemons):
            if process.poll() is None:
                process.send_signal(signal.SIGTERM)
                try:
                    process.wait(timeout=30)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait(timeout=30)
        self.daemons = []

    def queue(self):
        result = subprocess.run(["squeue", "-h", "-o", "%i %t"], capture_output=True, text=True,
                                timeout=30)
        return result.stdout.split("\n")[:-1] if result.returncode == 0 else ["?"]

    def tasks(self, job):
        """{task index: (state, exit code)} of an array job, from scontrol."""
        shown = command("scontrol", "-o", "show", "job", job)
        tasks = {}
        for line in shown.splitlines():
            index = re.search(r"\bArrayTaskId=(\d+)\b", line)
            if index:
                state = re.search(r"\bJobState=(\S+)", line).group(1)
                code = re.search(r"\bExitCode=(\d+):", line).group(1)
                tasks[int(index.group(1))] = (state, int(code))
        return tasks

    def wait_for_job(self, job):
        def done():
            self.check_daemons()
            tasks = self.tasks(job)
            return len(tasks) == FRAMES // CHUNK and all(
                state not in ("PENDING", "RUNNING", "CONFIGURING", "COMPLETING", "REQUEUED")
                for state, _ in tasks.values())
        wait_for("job %s to end" % job, done, DEADLINE)
        return self.tasks(job)


class SlurmRecipe(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        missing = [p for p in ("munged", "slurmctld", "slurmd", "sbatch") if not shutil.which(p)]
        if missing:
            raise AssertionError("missing %s: run scripts/bootstrap" % ", ".join(missing))
        cls.dir = tempfile.mkdtemp(prefix="braidel-slurm-test-")
        cls.cluster = None
        try:
            cls.cluster = Cluster(os.path.join(cls.dir, "cluster"))
            cls.cluster.__enter__()
            cls.make_frames()
        except BaseException:
            # tearDownClass does not follow a failed setUpClass.
            cls.tearDownClass()
            raise

    @classmethod
    def make_frames(cls):
        # The "shared file system": one folder every task sees at the same path.
        cls.shared = os.path.join(cls.dir, "shared")
        os.makedirs(os.path.join(cls.shared, "in"))
        for n in range(1, FRAMES + 1):
            write_png(cls.input(n), cls.frame(n))
        local = subprocess.run([PROGRAM, "--quiet", "--mode", "weighted", "--jobs", "2",
                                "--out-dir", os.path.join(cls.dir, "local"),
                                os.path.join(cls.shared, "in", "f.%04d.png")],
                               capture_output=True, timeout=300)
        assert local.returncode == 0, local.stderr
        cls.local = {n: digest(os.path.join(cls.dir, "local", "f.%04d.png" % n))
                     for n in range(1, FRAMES + 1)}

    @classmethod
    def tearDownClass(cls):
        if cls.cluster:
            cls.cluster.stop()
        shutil.rmtree(cls.dir, ignore_errors=True)

    @staticmethod
    def frame(n):
        """Small frames, but larger ones in task 1's chunk, which a test cancels mid-chunk."""
        width, height = (960, 720) if CHUNK < n <= 2 * CHUNK else (160, 120)
        pixels = numpy.random.default_rng(n).integers(0, 65536, (height, width, 4))
        return from_array(pixels, 16)

    @classmethod
    def input(cls, n):
        return os.path.join(cls.shared, "in", "f.%04d.png" % n)

    def submit(self, out, logs, *extra):
        """The recipe as a user runs it; the array job's id."""
        os.makedirs(out, exist_ok=True)
        result = subprocess.run(
            [SUBMIT, "--chunk", str(CHUNK), "--at-once", str(AT_ONCE), "--logs", logs,
             "1-%d" % FRAMES, *extra, "--mode", "weighted", os.path.join(self.shared, "in",
                                                                         "f.%04d.png"),
             os.path.join(out, "f.####.png")],
            capture_output=True, text=True, timeout=60, cwd=self.shared,
            env=dict(os.environ, BRAIDEL_RUN=PROGRAM))
        self.assertEqual(result.returncode, 0, result.stderr)
        return result.stdout.strip().split(";")[0]

    def filtered_and_kept(self, logs, job):
        """Frames filtered and outputs kept, counted from the lines of the job's task logs."""
        filtered = kept = 0
        for log in glob.glob(os.path.join(logs, "braidel-%s_*.log" % job)):
            with open(log) as f:
                for line in f:
                    filtered += " -> " in line
                    found = re.search(r"(\d+) existing outputs? kept", line)
                    kept += int(found.group(1)) if found else 0
        return filtered, kept

    def assertOutputsAreTheLocalRuns(self, out, numbers):
        self.assertEqual([n for n in os.listdir(out) if not n.startswith("f.")], [],
                         "temporary files left")
        self.assertEqual(sorted(os.listdir(out)), ["f.%04d.png" % n for n in numbers])
        for n in numbers:
            self.assertEqual(digest(os.path.join(out, "f.%04d.png" % n)), self.local[n], n)

    def test_1_outputs_equal_a_local_run(self):
        out, logs = os.path.join(self.dir, "out1"), os.path.join(self.dir, "logs1")
        job = self.submit(out, logs)
        tasks = self.cluster.wait_for_job(job)
        self.assertEqual(set(tasks.values()), {("COMPLETED", 0)}, tasks)
        self.assertOutputsAreTheLocalRuns(out, range(1, FRAMES + 1))
        self.assertEqual(len(glob.glob(os.path.join(logs, "braidel-%s_*.log" % job))),
                         FRAMES // CHUNK)
        self.assertEqual(self.filtered_and_kept(logs, job), (FRAMES, 0))

    def test_2_a_cancelled_task_resumes(self):
        out, logs = os.path.join(self.dir, "out2"), os.path.join(self.dir, "logs2")
        job = self.submit(out, logs)
        target = os.path.join(logs, "braidel-%s_1.log" % job)

        def started():
            if not os.path.exists(target):
                return False
            with open(target) as f:
                return f.read().count(" -> ") >= 1
        wait_for("task 1's first frame", started, DEADLINE)
        command("scancel", "%s_1" % job)
        tasks = self.cluster.wait_for_job(job)
        self.assertEqual(tasks[1][0], "CANCELLED", tasks)
        written = sorted(int(n[2:6]) for n in os.listdir(out) if n.startswith("f."))
        chunk = [n for n in written if CHUNK < n <= 2 * CHUNK]
        self.assertLess(len(chunk), CHUNK, "task 1 ended before it was cancelled")
        self.assertOutputsAreTheLocalRuns(out, written)

        again = self.submit(out, logs)
        tasks = self.cluster.wait_for_job(again)
        self.assertEqual(set(tasks.values()), {("COMPLETED", 0)}, tasks)
        self.assertEqual(self.filtered_and_kept(logs, again),
                         (FRAMES - len(written), len(written)))
        self.assertOutputsAreTheLocalRuns(out, range(1, FRAMES + 1))

    def test_3_a_damaged_frame_fails_its_chunk_only(self):
        out, logs = os.path.join(self.dir, "out3"), os.path.join(self.dir, "logs3")
        damaged = 50  # in task 2's chunk, 41 to 60
        saved = os.path.join(self.dir, "saved.png")
        shutil.copy(self.input(damaged), saved)
        with open(self.input(damaged), "r+b") as f:
            f.truncate(100)
        try:
            job = self.submit(out, logs)
            tasks = self.cluster.wait_for_job(job)
        finally:
            shutil.copy(saved, self.input(damaged))
        self.assertEqual(tasks.pop(2), ("FAILED", 3))
        self.assertEqual(set(tasks.values()), {("COMPLETED", 0)}, tasks)
        self.assertOutputsAreTheLocalRuns(out, [n for n in range(1, FRAMES + 1) if n != damaged])

        again = self.submit(out, logs)
        tasks = self.cluster.wait_for_job(again)
        self.assertEqual(set(tasks.values()), {("COMPLETED", 0)}, tasks)
        self.assertEqual(self.filtered_and_kept(logs, again), (1, FRAMES - 1))
        self.assertOutputsAreTheLocalRuns(out, range(1, FRAMES + 1))


def main():
    if os.environ.get(INSIDE) != "1":
        # Again, in new PID and network namespaces, as this process: when it is killed (a test
        # timeout), --kill-child ends the namespaces and everything in them.
        os.environ[INSIDE] = "1"
        args = ["unshare", "--pid", "--fork", "--net", "--mount-proc", "--kill-child",
                sys.executable, os.path.abspath(__file__), *sys.argv[1:]]
        os.execvp(args[0], args)
    prepare_network()
    program = unittest.main(exit=False, verbosity=2)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
