#!/usr/bin/env python3
"""Runs the end-to-end tests under Wine.

  run_e2e.py golden                  build the golden prefix if needed
  run_e2e.py test SCRIPT FUNCTION    run one test function with a new Session
  run_e2e.py list SCRIPT             the test functions of a script

Exit codes: 0 passed, 1 failed, 77 skipped.
"""

import argparse
import importlib.util
import signal
import sys
import time
import traceback
from pathlib import Path

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, str(Path(__file__).resolve().parent))
import kelvo_wine  # noqa: E402

SKIP_EXIT_CODE = 77
TEARDOWN_LIMIT = 60


class TestTimeout(Exception):
    pass


class Interrupted(Exception):
    pass


def load(script):
    path = Path(script).resolve()
    spec = importlib.util.spec_from_file_location(path.stem, path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def test_name(script, function_name):
    """e2e.<name> in ctest and the artifacts folder: the script and the
    function without their test_ prefixes."""
    def bare(text):
        return text[5:] if text.startswith("test_") else text

    return f"{bare(Path(script).stem)}.{bare(function_name)}"


def test_functions(module):
    return [name for name in vars(module) if name.startswith("test_") and callable(getattr(module, name))]


def _raise(exception_type, message):
    def handler(signum, frame):
        raise exception_type(message)

    return handler


def run_test(script, function_name):
    module = load(script)
    function = getattr(module, function_name, None)
    if function is None:
        print(f"no test {function_name} in {script}", file=sys.stderr)
        return 1
    limit = int(kelvo_wine.scaled(getattr(function, "e2e_time_limit", kelvo_wine.DEFAULT_TIME_LIMIT)))
    name = test_name(script, function_name)
    session = kelvo_wine.Session(name, desktop=getattr(function, "e2e_desktop", True))
    signal.signal(signal.SIGALRM, _raise(TestTimeout, f"{name} ran longer than {limit} s"))
    for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(signum, _raise(Interrupted, f"{name} interrupted by signal {signum}"))
    signal.alarm(limit)
    code = 1
    times = {}
    started = time.monotonic()
    try:
        session.open()
        times["start"] = time.monotonic() - started
        body = time.monotonic()
        function(session)
        times["test"] = time.monotonic() - body
        session.check_crashes()
        code = 0
        print(f"PASSED {name}")
    except kelvo_wine.Skip as skip:
        code = SKIP_EXIT_CODE
        print(f"SKIPPED {name}: {skip}")
    except BaseException as failure:  # noqa: BLE001 - every failure must end in teardown
        session.failed = True
        signal.alarm(TEARDOWN_LIMIT)
        if not isinstance(failure, kelvo_wine.CrashError):
            traceback.print_exc()
        _report_failure(session, name, failure)
    finally:
        # A second signal must not cut the teardown short.
        for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            signal.signal(signum, signal.SIG_IGN)
        signal.alarm(TEARDOWN_LIMIT)
        closing = time.monotonic()
        try:
            session.close()
        except BaseException as problem:  # noqa: BLE001
            print(f"teardown of {name} failed: {problem}", file=sys.stderr)
            code = code or 1
        signal.alarm(0)
        times["teardown"] = time.monotonic() - closing
        print("times: " + " ".join(f"{k}={v:.1f}s" for k, v in times.items()) +
              f" total={time.monotonic() - started:.1f}s; artifacts: {session.artifacts}")
        if session.keep and session.root is not None:
            print(f"kept: {session.root}")
    return code


def _report_failure(session, name, failure):
    print(f"FAILED {name}: {type(failure).__name__}: {failure}")
    if session.display is None:
        return
    try:
        reasons = [] if isinstance(failure, kelvo_wine.CrashError) else session.crash_reasons()
        if reasons:
            print("crashes: " + "; ".join(reasons))
        print("windows on screen:")
        for window in session.windows():
            print(f"  {window.get('title')!r} class={window.get('class')!r} exe={window.get('exe')!r}")
        session.screenshot("failure")
    except BaseException as problem:  # noqa: BLE001 - best effort only
        print(f"(could not describe the failure: {problem})")


def build_golden():
    layout = kelvo_wine.Layout.from_env()
    for tool in (layout.kelvodrive,):
        if not tool.exists():
            print(f"{tool} is missing: build the mingw-x86_64 preset first", file=sys.stderr)
            return 1
    kelvo_wine.ensure_golden(layout)
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="action", required=True)
    sub.add_parser("golden")
    test = sub.add_parser("test")
    test.add_argument("script")
    test.add_argument("function")
    listing = sub.add_parser("list")
    listing.add_argument("script")
    args = parser.parse_args()
    if args.action == "golden":
        return build_golden()
    if args.action == "list":
        print("\n".join(test_functions(load(args.script))))
        return 0
    return run_test(args.script, args.function)


if __name__ == "__main__":
    sys.exit(main())
