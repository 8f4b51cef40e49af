"""The harness's own exceptions."""


class HarnessError(Exception):
    """The harness itself could not do what was asked."""


# kelvodrive's exit codes.
DRIVE_FAILED = 1
DRIVE_USAGE = 2
DRIVE_TIMEOUT = 3


class DriveError(HarnessError):
    """kelvodrive reported a failure (DRIVE_FAILED, DRIVE_USAGE or DRIVE_TIMEOUT)."""

    def __init__(self, command, code, message):
        super().__init__(f"kelvodrive {command} failed ({code}): {message}")
        self.command = command
        self.code = code
        self.message = message


class CrashError(AssertionError):
    """A program under test crashed: always a failure."""


class Skip(Exception):
    """The test cannot run here (for instance a build output is missing)."""
