"""kelvodrive, the Windows program that inspects and drives windows: its
output format, its options, its serving process, and the programs it runs."""

import re
import subprocess
import time
from pathlib import Path

from .errors import HarnessError
from .prefix import WINE_LOADER, scaled
from .processes import _stop_process

# A crashed program ends with its exception code (0xC0000005 for an access
# violation) once the crash handler fails to start the debugger that the
# golden prefix names; a Linux shell sees only the low byte, 5.
CRASH_LOW_BYTE = 5


def is_crash_code(code):
    """Whether a full 32-bit exit code is an exception code of a crash."""
    return (code & 0xF0000000) == 0xC0000000 or code in (0x80000002, 0x80000003)


# --------------------------------------------------------------------------
# kelvodrive output

_TOKEN = re.compile(r'([A-Za-z][\w-]*)=("(?:[^"\\]|\\.)*"|\S*)')
_ESCAPE = re.compile(r'\\(x[0-9a-fA-F]{2}|.)')
_SIMPLE_ESCAPES = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\", '"': '"'}


def _unescape(text):
    def replace(match):
        code = match.group(1)
        if code.startswith("x") and len(code) == 3:
            return chr(int(code[1:], 16))
        return _SIMPLE_ESCAPES.get(code, code)

    return _ESCAPE.sub(replace, text)


def parse_line(line):
    """One kelvodrive line as a dict: quoted values are str, bare numbers
    (decimal or 0x hexadecimal) are int, other bare words str."""
    result = {}
    for key, value in _TOKEN.findall(line):
        if value.startswith('"'):
            result[key] = _unescape(value[1:-1])
        elif re.fullmatch(r"-?\d+", value):
            result[key] = int(value)
        elif re.fullmatch(r"0x[0-9a-fA-F]+", value):
            result[key] = int(value, 16)
        else:
            result[key] = value
    return result


def parse_output(text):
    return [parse_line(line) for line in text.splitlines() if "=" in line]


def _options(values):
    """Python keyword arguments as kelvodrive options: underscores become
    dashes, cls is --class, True is a bare flag, None and False are left out,
    timeouts are seconds here and milliseconds there."""
    args = []
    for key, value in values.items():
        if value is None or value is False:
            continue
        name = "class" if key == "cls" else key.replace("_", "-")
        if value is True:
            args.append(f"--{name}")
        elif name in ("timeout", "dde-timeout"):
            args.append(f"--{name}={int(value * 1000)}")
        elif isinstance(value, int) and name in ("hwnd", "ctl-hwnd"):
            args.append(f"--{name}=0x{value:x}")
        else:
            args.append(f"--{name}={value}")
    return args


# --------------------------------------------------------------------------
# Programs


class Program:
    """A Windows program started in the background through `kelvodrive run`,
    which reports its Windows pid at once and its full 32-bit exit code at the
    end. The program's own output goes to the same two files."""

    def __init__(self, session, name, process, stdout, stderr, expect_crash):
        self.session = session
        self.name = name
        self.process = process
        self.stdout_path = Path(stdout)
        self.stderr_path = Path(stderr)
        self.expect_crash = expect_crash
        self._pid = None

    def stdout(self):
        return self.stdout_path.read_text(encoding="utf-8", errors="replace")

    def stderr(self):
        return self.stderr_path.read_text(encoding="utf-8", errors="replace")

    def _reported(self, pattern):
        match = re.search(pattern, self.stdout(), re.MULTILINE)
        return int(match.group(1)) if match else None

    @property
    def pid(self):
        """The Windows process id (waits until the program has started)."""
        deadline = time.monotonic() + scaled(30)
        while self._pid is None:
            self._pid = self._reported(r"^pid=(\d+)$")
            if self._pid is not None:
                break
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise HarnessError(f"{self.name} did not start: {self.stderr().strip()}")
            time.sleep(0.05)
        return self._pid

    def running(self):
        return self.process.poll() is None

    def wait(self, timeout=30):
        """Waits for the end; returns the exit code as Windows saw it."""
        try:
            self.process.wait(scaled(timeout))
        except subprocess.TimeoutExpired:
            raise HarnessError(f"{self.name} still runs after {scaled(timeout):.0f} s") from None
        code = self.exit_code
        if code is None:
            raise HarnessError(f"{self.name}: no exit code reported ({self.stderr().strip()})")
        return code

    def timed_out(self):
        """Whether kelvodrive ended the program at the time limit of start()."""
        return not self.running() and self._reported(r"^timeout=(1)$") is not None

    @property
    def exit_code(self):
        """The 32-bit exit code, or None while running (or if not reported)."""
        if self.running():
            return None
        return self._reported(r"^exit=(\d+) hex=0x[0-9a-f]+$")

    def crash_reason(self):
        """Why this run counts as a crash, or None."""
        code = self.exit_code
        if code is not None and is_crash_code(code):
            return f"{self.name} ended with exception code 0x{code:08x}"
        if "wine: Unhandled" in self.stderr():
            return f"{self.name}: 'wine: Unhandled' on standard error"
        return None


# --------------------------------------------------------------------------
# The driver


class StaleDriver(Exception):
    """The serving driver was killed in the middle of a command because it
    could no longer see the desktop's windows."""


class _Driver:
    """A `kelvodrive serve` process: one command line per line of its
    standard input, answered in its output file by the command's lines, an
    error="..." line on failure, and end=EXITCODE. It saves a Wine process
    start per command."""

    def __init__(self, kelvodrive, env, logs):
        self.out_path = logs / "driver.out"
        self.transcript = logs / "driver.log"
        with open(self.out_path, "wb") as out, open(logs / "driver.err", "ab") as err:
            self.process = subprocess.Popen([WINE_LOADER, str(kelvodrive), "serve"], env=env,
                                            stdin=subprocess.PIPE, stdout=out, stderr=err)
        self.offset = 0
        # Linux pids of the desktop processes this driver has seen.
        self.desktops = set()

    def call(self, args, timeout, stale=None):
        """(lines, exit code, error message) of one command. `stale`, asked
        twice a second, says when the driver can no longer see what it waits
        for: it is then killed and StaleDriver raised."""
        line = subprocess.list2cmdline(args)
        with open(self.transcript, "a", encoding="utf-8") as log:
            log.write(f"> {line}\n")
        try:
            self.process.stdin.write((line + "\n").encode("utf-8"))
            self.process.stdin.flush()
        except OSError as error:
            raise HarnessError(f"the driver is gone ({error})") from None
        deadline = time.monotonic() + timeout
        next_check = time.monotonic() + 0.5
        answer = []
        with open(self.out_path, "rb") as out:
            while True:
                out.seek(self.offset)
                data = out.read()
                complete = data[:data.rfind(b"\n") + 1]
                for raw in complete.splitlines(keepends=True):
                    self.offset += len(raw)
                    text = raw.decode("utf-8", errors="replace").rstrip("\r\n")
                    if text.startswith("end="):
                        return self._finish(answer, int(text[4:]))
                    answer.append(text)
                if self.process.poll() is not None:
                    raise HarnessError(f"the driver ended ({self.process.returncode}) during: {line}")
                if time.monotonic() > deadline:
                    self.stop()
                    raise HarnessError(f"the driver hung on: {line}")
                if stale is not None and time.monotonic() > next_check:
                    next_check = time.monotonic() + 0.5
                    if stale():
                        self.kill()
                        raise StaleDriver(line)
                time.sleep(0.01)

    def _finish(self, answer, code):
        with open(self.transcript, "a", encoding="utf-8") as log:
            log.writelines(f"  {text}\n" for text in answer + [f"end={code}"])
        error = ""
        lines = []
        for text in answer:
            parsed = parse_line(text)
            if text.startswith("error=") and "error" in parsed:
                error = parsed["error"]
            else:
                lines.append(parsed)
        return lines, code, error

    def kill(self):
        """Ends it at once: one whose desktop is gone faults on leaving."""
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(10)

    def stop(self):
        if self.process.poll() is None:
            try:
                self.process.stdin.close()
                self.process.wait(5)
            except (OSError, subprocess.TimeoutExpired):
                _stop_process(self.process)
