"""Tests that must fail: test_harness runs them through the runner to see
that it reports them as failures and still cleans up. Not registered with
ctest (the name does not start with test_)."""

import os
import time

from kelvo_wine import time_limit


def record_session(s):
    """Tells the caller which X display (and the pid of its server) and
    which folder this session uses."""
    partial = s.artifacts / "session.part"
    partial.write_text(f"{s.display} {s.root} {s.xvfb.process.pid}\n")
    os.replace(partial, s.artifacts / "session.txt")


def test_unexpected_crash(s):
    record_session(s)
    s.run(s.layout.fixture, ["crash"])
    s.run_wine([s.layout.fixture, "crash"], "raw-crash").wait(30)


# Beyond a session's start on a busy machine (tens of seconds when two
# cores run many tests), or the limit strikes before the body is reached.
@time_limit(45)
def test_too_slow(s):
    record_session(s)
    s.start(s.layout.fixture, [])
    time.sleep(120)


# Killed by its caller long before its own limit could end it.
@time_limit(200)
def test_runs_until_killed(s):
    record_session(s)
    s.start(s.layout.fixture, [])
    time.sleep(300)
