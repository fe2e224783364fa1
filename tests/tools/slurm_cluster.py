"""A one-node Slurm cluster of a test's own: munged, slurmctld and slurmd on 127.0.0.1, every file
(key, sockets, configuration, state, logs) in one temporary folder and ports found free, so that it
neither needs nor touches a cluster of the machine's. Its daemons run in the foreground as children
of the test and are stopped by their process ids.

    with SlurmCluster(workdir) as cluster:
        cluster.run("sbatch", "--wait", "job.sh")
"""
import os
import pathlib
import shutil
import socket
import subprocess
import time

# Debian's slurm-wlm and munge; scripts/setup.sh test installs them.
PROGRAMS = ("munged", "slurmctld", "slurmd", "sbatch", "sinfo")
NODE = "sweepnode"


def missing_programs():
    search = os.environ.get("PATH", "") + ":/usr/sbin:/sbin"
    return [p for p in PROGRAMS if shutil.which(p, path=search) is None]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class SlurmCluster:
    def __init__(self, workdir, cpus=2):
        self.dir = pathlib.Path(workdir)
        self.cpus = cpus
        self.daemons = []  # (name, Popen), in the order started
        self.env = dict(os.environ, SLURM_CONF=str(self.dir / "slurm.conf"))
        self.env["PATH"] = self.env.get("PATH", "") + ":/usr/sbin:/sbin"

    def __enter__(self):
        missing = missing_programs()
        if missing:
            raise RuntimeError(f"Slurm and munge are needed ({', '.join(missing)} not found): "
                               "scripts/setup.sh test installs Debian's slurm-wlm and munge")
        try:
            self._start_munge()
            self._write_config()
            self._start("slurmctld", "slurmctld", "-D", "-i")
            self._start("slurmd", "slurmd", "-D", "-N", NODE)
            self._wait_for_idle_node()
        except BaseException:
            self.stop()
            raise
        return self

    def __exit__(self, *exc):
        self.stop()

    def run(self, *args, **kwargs):
        return subprocess.run(args, env=self.env, capture_output=True, text=True, **kwargs)

    def _start(self, name, *args):
        log = open(self.dir / f"{name}.out", "w")
        self.daemons.append((name, subprocess.Popen(args, env=self.env, stdout=log,
                                                    stderr=subprocess.STDOUT,
                                                    stdin=subprocess.DEVNULL)))
        log.close()

    def _start_munge(self):
        munge = self.dir / "munge"
        munge.mkdir(mode=0o700)
        key = munge / "munge.key"
        key.write_bytes(os.urandom(1024))
        key.chmod(0o400)
        self.socket = munge / "munge.socket"
        self._start("munged", "munged", "-F", "--force", f"--socket={self.socket}",
                    f"--key-file={key}", f"--pid-file={munge / 'munged.pid'}",
                    f"--log-file={munge / 'munged.log'}", f"--seed-file={munge / 'munged.seed'}")
        self._wait(lambda: self.socket.exists(), "munged's socket")

    def _write_config(self):
        for folder in ("state", "spool"):
            (self.dir / folder).mkdir()
        user = subprocess.run(["id", "-un"], capture_output=True, text=True).stdout.strip()
        host = socket.gethostname().split(".")[0]
        d = self.dir
        (d / "slurm.conf").write_text(f"""\
ClusterName=boardsimtest
SlurmctldHost={host}(127.0.0.1)
SlurmctldPort={free_port()}
SlurmdPort={free_port()}
SlurmUser={user}
SlurmdUser={user}
AuthType=auth/munge
AuthInfo=socket={self.socket}
CredType=cred/munge
StateSaveLocation={d / 'state'}
SlurmdSpoolDir={d / 'spool'}
SlurmctldPidFile={d / 'slurmctld.pid'}
SlurmdPidFile={d / 'slurmd.pid'}
SlurmctldLogFile={d / 'slurmctld.log'}
SlurmdLogFile={d / 'slurmd.log'}
PlugStackConfig={d / 'plugstack.conf'}
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
MpiDefault=none
ReturnToService=2
NodeName={NODE} NodeHostname={host} NodeAddr=127.0.0.1 CPUs={self.cpus} State=UNKNOWN
PartitionName=sweep Nodes={NODE} Default=YES MaxTime=INFINITE State=UP
""")
        (d / "plugstack.conf").write_text("")

    def _wait_for_idle_node(self):
        def idle():
            state = self.run("sinfo", "-h", "-N", "-o", "%T").stdout.strip()
            return state.startswith("idle")
        self._wait(idle, "the node to come up idle")

    def _wait(self, ready, what, seconds=30):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            for name, daemon in self.daemons:
                if daemon.poll() is not None:
                    raise RuntimeError(f"{name} ended with status {daemon.returncode} while "
                                       f"waiting for {what}:\n{self.logs()}")
            if ready():
                return
            time.sleep(0.2)
        raise RuntimeError(f"no {what} after {seconds} s:\n{self.logs()}")

    def logs(self):
        text = []
        for path in sorted(self.dir.glob("*.log")) + sorted(self.dir.glob("*.out")):
            text.append(f"--- {path.name}\n" + path.read_text(errors="replace")[-2000:])
        return "\n".join(text)

    def stop(self):
        # The daemons this cluster started, by their process ids, the last started first.
        for name, daemon in reversed(self.daemons):
            if daemon.poll() is None:
                daemon.terminate()
                try:
                    daemon.wait(timeout=20)
                except subprocess.TimeoutExpired:
                    daemon.kill()
                    daemon.wait()
        self.daemons = []
