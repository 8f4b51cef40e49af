"""Timings the benchmarks share."""

import time

from .errors import HarnessError


def unattended_uninstall(s, exe, destination, timeout):
    """Installs the setup at `exe` (a Windows path in the session) with /S
    into `destination`, then times the unattended uninstall started from the
    installed copy. Returns (seconds until that copy returned, seconds until
    the destination was gone): a copy that returns before the work is done
    is timed to the end of the work."""
    folder, name = exe.rsplit("\\", 1)
    program = s.run(exe, ["/S", f"/D={destination}"], cwd=folder, timeout=timeout)
    if program.exit_code != 0:
        raise HarnessError(f"the install ended with {program.exit_code}: {program.stderr()}")
    s.close_explorer_windows()
    started = time.monotonic()
    first = s.run(f"{destination}\\{name}", ["/S"], cwd=destination, timeout=timeout)
    returned = time.monotonic() - started
    if first.exit_code != 0:
        raise HarnessError(f"the uninstall ended with {first.exit_code}: {first.stderr()}")
    s.wait_until(lambda: not s.to_linux(destination).exists(), timeout=timeout, what="the destination gone")
    return returned, time.monotonic() - started
