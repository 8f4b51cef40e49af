"""Tests that must fail: test_harness runs them through the runner to see
that it reports them as failures and still cleans up. Not registered with
ctest (the name does not start with test_)."""

import os
import time

from kelvo_wine import time_limit


def record_session(s):
    """Tells the caller which X server and folder this session uses."""
    partial = s.artifacts / "session.part"
    partial.write_text(f"{s.xvfb.process.pid} {s.root}\n")
    os.replace(partial, s.artifacts / "session.txt")


def test_unexpected_crash(s):
    record_session(s)
    s.run(s.layout.fixture, ["crash"])
    s.run_wine([s.layout.fixture, "crash"], "raw-crash").wait(30)


# The limit counts the session's start too, which takes over 10 s on a busy
# machine: leave room for it, or the probe ends before it says where it runs.
@time_limit(40)
def test_too_slow(s):
    record_session(s)
    s.start(s.layout.fixture, [])
    time.sleep(120)


@time_limit(60)
def test_runs_until_killed(s):
    record_session(s)
    s.start(s.layout.fixture, [])
    time.sleep(120)
