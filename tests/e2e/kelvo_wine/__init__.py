"""Runs Windows builds under Wine for the end-to-end tests.

A golden 64-bit prefix is booted once per Wine version (ensure_golden); every
test gets its own copy of it, its own TMPDIR (so its own wineserver) and its
own Xvfb display (Session). Windows programs are started in the background
with their output in files, inspected and driven through kelvodrive, and
screenshots go to build/native/e2e-artifacts/<test>/. A session stops only
what it started; a detached watchdog cleans up if the harness is killed.
Standard library only.

  prefix     the golden prefix, Wine's environment, copies, drives and paths
  processes  starting and stopping processes: Xvfb, a prefix's, the watchdog
  driver     kelvodrive: its output, its serving process, the programs it runs
  session    Session, one test's Wine world, and the marks of test functions
  errors     the harness's exceptions
  timings    timings the benchmarks share
"""

from .driver import CRASH_LOW_BYTE, Program, is_crash_code, parse_line, parse_output
from .errors import DRIVE_FAILED, DRIVE_TIMEOUT, DRIVE_USAGE, CrashError, DriveError, HarnessError, Skip
from .prefix import (GOLDEN_RECIPE, STAMP_NAME, TIME_SCALE, WINE_LOADER, WINE_SERVER, Layout, ensure_golden,
                     golden_is_current, scaled, wine_env, wine_version)
from .processes import FIRST_DISPLAY, LAST_DISPLAY, SCREEN, XVFB, Xvfb, _end_prefix_processes, _prefix_processes
from .session import DEFAULT_TIME_LIMIT, WINE_SERVICES, WITHOUT_DESKTOP, Session, time_limit, without_desktop
from .timings import unattended_uninstall

__all__ = [
    "CRASH_LOW_BYTE", "DEFAULT_TIME_LIMIT", "FIRST_DISPLAY", "GOLDEN_RECIPE", "LAST_DISPLAY", "SCREEN",
    "STAMP_NAME", "TIME_SCALE", "WINE_LOADER", "WINE_SERVER", "WINE_SERVICES", "WITHOUT_DESKTOP", "XVFB",
    "DRIVE_FAILED", "DRIVE_TIMEOUT", "DRIVE_USAGE",
    "CrashError", "DriveError", "HarnessError", "Layout", "Program", "Session", "Skip", "Xvfb",
    "ensure_golden", "golden_is_current", "is_crash_code", "parse_line", "parse_output", "scaled", "time_limit",
    "unattended_uninstall", "wine_env", "wine_version", "without_desktop", "_end_prefix_processes", "_prefix_processes",
]
