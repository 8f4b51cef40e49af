"""Processes the harness starts and stops: its X server, the processes of a
prefix, and the watchdog that cleans up after a killed harness."""

import ctypes
import os
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

from .errors import HarnessError

XVFB = "Xvfb"
SCREEN = "1024x768x24"
FIRST_DISPLAY = 90
LAST_DISPLAY = 299


def _set_parent_death_signal():
    """Runs in a child before exec: the child gets SIGTERM when the harness
    dies, even by SIGKILL from a test time-out."""
    try:
        ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG
    except (OSError, AttributeError):
        pass


# --------------------------------------------------------------------------
# Xvfb


class Xvfb:
    """An X server of our own on the first free display from :90 upward."""

    def __init__(self, log):
        self.log = Path(log)
        self.process = None
        self.display = None

    def start(self, timeout=15):
        for number in range(FIRST_DISPLAY, LAST_DISPLAY + 1):
            lock = Path(f"/tmp/.X{number}-lock")
            socket = Path(f"/tmp/.X11-unix/X{number}")
            if lock.exists() or socket.exists():
                continue
            with open(self.log, "ab") as out:
                process = subprocess.Popen(
                    [XVFB, f":{number}", "-screen", "0", SCREEN, "-nolisten", "tcp"],
                    stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                    preexec_fn=_set_parent_death_signal)
            deadline = time.monotonic() + timeout
            while time.monotonic() < deadline and process.poll() is None:
                if socket.exists() and _lock_owner(lock) == process.pid:
                    self.process, self.display = process, f":{number}"
                    return self.display
                time.sleep(0.05)
            # Another server won the race for this display, or ours hangs.
            _stop_process(process)
        raise HarnessError(f"no free X display could be started, see {self.log}")

    def stop(self):
        if self.process is not None:
            _stop_process(self.process)
            self.process = None


def _lock_owner(lock):
    try:
        return int(lock.read_text().strip())
    except (OSError, ValueError):
        return None


def _stop_process(process, grace=5):
    """Ends one process that this harness started, by its own pid."""
    if process.poll() is not None:
        return
    process.terminate()
    try:
        process.wait(grace)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait(grace)


# --------------------------------------------------------------------------
# Watchdog


class _Watchdog:
    """A detached process that cleans up after a harness that was killed
    outright (SIGKILL from a ctest time-out): Wine's processes outlive their
    server, so it ends every process whose WINEPREFIX is this session's own
    prefix, and removes the session's folder. It learns of the harness's
    death from the end of its standard input; close() dismisses it."""

    def __init__(self, prefix, root, keep, log):
        # Started as `python3 -B -m kelvo_wine watchdog ...` from the folder
        # that holds this package, whatever the harness's own folder and
        # path; -B keeps __pycache__ out of the source tree.
        package = Path(__file__).resolve().parent
        home = str(package.parent)
        path = os.pathsep.join(filter(None, [home, os.environ.get("PYTHONPATH")]))
        with open(log, "ab") as out:
            self.process = subprocess.Popen(
                [sys.executable, "-B", "-m", package.name, "watchdog", str(prefix), str(root),
                 "keep" if keep else "remove"],
                cwd=home, env=dict(os.environ, PYTHONPATH=path),
                stdin=subprocess.PIPE, stdout=out, stderr=out, start_new_session=True)
        # The first process only forks the watcher and ends; waiting for it
        # leaves the watcher outside our process tree, where a kill of the
        # tree cannot reach it.
        self.process.wait(10)

    def dismiss(self):
        try:
            self.process.stdin.write(b"closed\n")
            self.process.stdin.close()
        except OSError:
            pass


def _unmount(folder):
    subprocess.run(["umount", "-l", str(folder)], capture_output=True, timeout=30)


def _mounts_below(root):
    """Mount points below `root`, deepest first."""
    try:
        lines = Path("/proc/mounts").read_text().splitlines()
    except OSError:
        return []
    points = [line.split()[1] for line in lines if len(line.split()) > 1]
    return sorted((p for p in points if p.startswith(str(root) + "/")), key=len, reverse=True)


def _prefix_processes(prefix):
    """Pids of the processes that run with WINEPREFIX=prefix."""
    wanted = b"WINEPREFIX=" + str(prefix).encode()
    pids = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit() or int(entry.name) == os.getpid():
            continue
        try:
            if wanted in (entry / "environ").read_bytes().split(b"\0"):
                pids.append(int(entry.name))
        except OSError:
            pass
    return pids


def _end_prefix_processes(prefix, timeout=10):
    """Kills every process of the prefix until none is left: a Wine program
    that was starting as its server went down starts a server of its own, so
    one round of kills is not always the last."""
    deadline = time.monotonic() + timeout
    while True:
        pids = _prefix_processes(prefix)
        if not pids or time.monotonic() > deadline:
            return pids
        for pid in pids:
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass
        time.sleep(0.2)


def _watchdog_main(prefix, root, mode):
    if os.fork() != 0:
        os._exit(0)
    message = sys.stdin.buffer.read()  # until the harness closes it, or dies
    if message.startswith(b"closed"):
        return 0
    _end_prefix_processes(prefix)
    for point in _mounts_below(root):
        _unmount(point)
    if mode == "remove":
        shutil.rmtree(root, ignore_errors=True)
    print(f"cleaned up after a killed harness: {prefix}")
    return 0
