"""Runs Windows builds under Wine for the end-to-end tests.

A golden 64-bit prefix is booted once per Wine version (ensure_golden); every
test gets its own copy of it, its own TMPDIR (so its own wineserver) and its
own Xvfb display (Session). Windows programs are started in the background
with their output in files, inspected and driven through kelvodrive, and
screenshots go to build/native/e2e-artifacts/<test>/. A session stops only
what it started; a detached watchdog cleans up if the harness is killed.
Standard library only.
"""

import atexit
import ctypes
import fcntl
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

WINE_LOADER = "/usr/lib/wine/wine64"
WINE_SERVER = "/usr/lib/wine/wineserver64"
XVFB = "Xvfb"
SCREEN = "1024x768x24"
FIRST_DISPLAY = 90
LAST_DISPLAY = 299

# Bump when the golden prefix recipe changes, so that old prefixes are rebuilt.
GOLDEN_RECIPE = 1
STAMP_NAME = ".kelvo-golden-stamp"

# Session.run_wine(..., dll_overrides=WITHOUT_DESKTOP) in a session opened
# with desktop=False (a test marked @without_desktop): the program runs
# without Wine's desktop process (explorer.exe), so without the shell's
# "PROGMAN" service.
WITHOUT_DESKTOP = "explorer.exe=d"

# A crashed program ends with its exception code (0xC0000005 for an access
# violation) once the crash handler fails to start the debugger that the
# golden prefix names; a Linux shell sees only the low byte, 5.
CRASH_LOW_BYTE = 5
# The log name of the first client of every session, whose standard error
# Wine's service processes inherit.
WINE_SERVICES = "wine-services"


def is_crash_code(code):
    """Whether a full 32-bit exit code is an exception code of a crash."""
    return (code & 0xF0000000) == 0xC0000000 or code in (0x80000002, 0x80000003)


_GOLDEN_REGISTRY = r"""REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="800x600"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug]
"Debugger"="C:\\windows\\no-such-debugger.exe %ld %ld"
"""


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


# --------------------------------------------------------------------------
# Locations


class Layout:
    """Where the sources, the native build and the 64-bit Windows build are."""

    def __init__(self, source_dir, native_dir, win64_dir):
        self.source_dir = Path(source_dir).resolve()
        self.native_dir = Path(native_dir).resolve()
        self.win64_dir = Path(win64_dir).resolve()

    @classmethod
    def from_env(cls):
        """KELVO_SOURCE_DIR, KELVO_NATIVE_DIR and KELVO_WIN64_DIR, by default
        the tree around this file with build/native and build/mingw-x86_64."""
        source = Path(os.environ.get("KELVO_SOURCE_DIR", Path(__file__).resolve().parents[2]))
        native = os.environ.get("KELVO_NATIVE_DIR", source / "build" / "native")
        win64 = os.environ.get("KELVO_WIN64_DIR", source / "build" / "mingw-x86_64")
        return cls(source, native, win64)

    @property
    def golden_dir(self):
        return self.native_dir / "wine-golden"

    @property
    def artifacts_dir(self):
        return self.native_dir / "e2e-artifacts"

    @property
    def kelvodrive(self):
        return self.win64_dir / "tools" / "kelvodrive" / "kelvodrive.exe"

    @property
    def fixture(self):
        """The harness's own test program (built with kelvodrive)."""
        path = self.win64_dir / "tests" / "e2e" / "fixtures" / "drivefixture.exe"
        if not path.exists():
            raise HarnessError(f"{path} is not built (cmake --build --preset mingw-x86_64 --target drivefixture)")
        return path

    def native_file(self, relative):
        """A file of the native build (e.g. tools/...); Skip when missing."""
        path = self.native_dir / relative
        if not path.exists():
            raise Skip(f"{path} is not built (cmake --build --preset native)")
        return path

    def win64_file(self, relative):
        """A file of the Windows build; Skip when it has not been built."""
        path = self.win64_dir / relative
        if not path.exists():
            raise Skip(f"{path} is not built (cmake --build --preset mingw-x86_64)")
        return path


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
# Wine


def wine_version():
    done = subprocess.run([WINE_LOADER, "--version"], capture_output=True, text=True, check=True)
    return done.stdout.strip()


def wine_env(prefix, tmpdir, display=None, overrides="winemenubuilder.exe=d"):
    """The environment of every wine and wineserver call for one prefix."""
    env = {k: v for k, v in os.environ.items() if not k.startswith("WINE")}
    env.update(
        WINEARCH="win64",
        WINEPREFIX=str(prefix),
        WINELOADER=WINE_LOADER,
        WINESERVER=WINE_SERVER,
        WINEDEBUG="-all",
        WINEDLLOVERRIDES=overrides,
        TMPDIR=str(tmpdir),
        LC_ALL="C.UTF-8",
    )
    env.pop("DISPLAY", None)
    if display is not None:
        env["DISPLAY"] = display
    return env


def _set_parent_death_signal():
    """Runs in a child before exec: the child gets SIGTERM when the harness
    dies, even by SIGKILL from a test time-out."""
    try:
        ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG
    except (OSError, AttributeError):
        pass


def _run_logged(args, env, log, timeout):
    with open(log, "ab") as out:
        out.write(("$ " + " ".join(map(str, args)) + "\n").encode())
        out.flush()
        done = subprocess.run(args, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                              timeout=timeout)
    return done.returncode


def _user_dir(prefix):
    users = Path(prefix) / "drive_c" / "users"
    for entry in sorted(users.iterdir()):
        if entry.name != "Public" and entry.is_dir():
            return entry
    raise HarnessError(f"no user profile in {users}")


def _expected_stamp(version):
    return f"wine={version}\nrecipe={GOLDEN_RECIPE}\n"


def golden_is_current(golden, version=None):
    stamp = Path(golden) / STAMP_NAME
    try:
        return stamp.read_text() == _expected_stamp(version or wine_version())
    except OSError:
        return False


def ensure_golden(layout, log=print):
    """Builds layout.golden_dir unless it was built, completely, by this Wine
    version and recipe. Returns its path. Safe against concurrent callers."""
    golden = layout.golden_dir
    layout.native_dir.mkdir(parents=True, exist_ok=True)
    version = wine_version()
    with open(layout.native_dir / "wine-golden.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if golden_is_current(golden, version):
            return golden
        log(f"building the golden Wine prefix in {golden} ({version})")
        started = time.monotonic()
        _build_golden(golden, layout.native_dir / "wine-golden.log", version)
        log(f"golden prefix ready in {time.monotonic() - started:.1f} s")
    return golden


def _build_golden(golden, log, version):
    if golden.exists():
        shutil.rmtree(golden)
    log.unlink(missing_ok=True)
    tmpdir = Path(tempfile.mkdtemp(prefix="kelvo-golden-"))
    # Mono and Gecko are left out: their installers would ask on screen.
    env = wine_env(golden, tmpdir, overrides="mscoree,mshtml=;winemenubuilder.exe=d")
    try:
        if _run_logged([WINE_LOADER, "wineboot", "--init"], env, log, 300) != 0:
            raise HarnessError(f"wineboot failed, see {log}")
        reg = tmpdir / "golden.reg"
        reg.write_text(_GOLDEN_REGISTRY.replace("\n", "\r\n"), encoding="ascii")
        if _run_logged([WINE_LOADER, "regedit", "/S", _windows_path_of(golden, reg)], env, log, 120) != 0:
            raise HarnessError(f"regedit failed, see {log}")
        # The registry reaches user.reg/system.reg when the server ends.
        _run_logged([WINE_SERVER, "-w"], env, log, 120)
    finally:
        _run_logged([WINE_SERVER, "-k"], env, log, 60)
        shutil.rmtree(tmpdir, ignore_errors=True)

    # Shell folders are links to $HOME: shortcuts made by a test would leak.
    for entry in _user_dir(golden).iterdir():
        if entry.is_symlink():
            entry.unlink()
            entry.mkdir()
    fonts = golden / "drive_c" / "windows" / "Fonts"
    fonts.mkdir(parents=True, exist_ok=True)
    for font in Path("/usr/share/wine/fonts").iterdir():
        shutil.copy2(font, fonts / font.name)
    # Debian names the server's socket folder here; each copy makes its own.
    (golden / "wineserver").unlink(missing_ok=True)

    user_reg = (golden / "user.reg").read_text(errors="replace")
    system_reg = (golden / "system.reg").read_text(errors="replace")
    missing = [what for what, present in [
        ("virtual desktop", '"Default"="800x600"' in user_reg),
        ("crash dialog setting", '"ShowCrashDialog"=dword:00000000' in user_reg),
        ("AeDebug debugger", "no-such-debugger.exe" in system_reg),
        ("fonts", any(fonts.iterdir())),
    ] if not present]
    if missing:
        raise HarnessError(f"golden prefix incomplete ({', '.join(missing)}), see {log}")
    (golden / STAMP_NAME).write_text(_expected_stamp(version))


def _windows_path_of(prefix, path):
    """Windows name of a Linux path for a program of `prefix`."""
    path = Path(path).resolve()
    drive_c = (Path(prefix) / "drive_c").resolve()
    try:
        return "C:\\" + str(path.relative_to(drive_c)).replace("/", "\\")
    except ValueError:
        return "Z:" + str(path).replace("/", "\\")


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
        with open(log, "ab") as out:
            self.process = subprocess.Popen(
                [sys.executable, str(Path(__file__).resolve()), "watchdog", str(prefix), str(root),
                 "keep" if keep else "remove"],
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
        deadline = time.monotonic() + 30
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
            self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise HarnessError(f"{self.name} still runs after {timeout} s") from None
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

    def call(self, args, timeout):
        """(lines, exit code, error message) of one command."""
        line = subprocess.list2cmdline(args)
        with open(self.transcript, "a", encoding="utf-8") as log:
            log.write(f"> {line}\n")
        try:
            self.process.stdin.write((line + "\n").encode("utf-8"))
            self.process.stdin.flush()
        except OSError as error:
            raise HarnessError(f"the driver is gone ({error})") from None
        deadline = time.monotonic() + timeout
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

    def stop(self):
        if self.process.poll() is None:
            try:
                self.process.stdin.close()
                self.process.wait(5)
            except (OSError, subprocess.TimeoutExpired):
                _stop_process(self.process)


# --------------------------------------------------------------------------
# Session

_open_sessions = []

# kelvodrive commands that do not wait for anything.
_UNTIMED_COMMANDS = ("group-items", "processes", "run")


@atexit.register
def _close_open_sessions():
    for session in list(_open_sessions):
        session.close()


class Session:
    """One test's Wine world: a fresh prefix copy, a TMPDIR and an Xvfb.

    Use as a context manager (or call close()): teardown stops only what the
    session started. Window choice keywords of the driving methods:
    title=, title_part=, cls=, exe=, pid=, hwnd=, hidden=True; control choice:
    id=, text=, text_part=, ctl_class=, ctl_hwnd=, nth=; timeout= in seconds.
    """

    def __init__(self, name, layout=None, keep=None, desktop=True):
        self.name = name
        self.desktop = desktop
        self.layout = layout or Layout.from_env()
        self.keep = os.environ.get("KELVO_E2E_KEEP") == "1" if keep is None else keep
        self.root = None
        self.prefix = None
        self.tmpdir = None
        self.xvfb = None
        self.display = None
        self.programs = []
        self._raw = []
        self._drive_count = 0
        self._driver = None
        self._server = None
        self._watchdog = None
        self._shot_count = 0
        self._mounts = []
        self.artifacts = self.layout.artifacts_dir / name
        self.failed = False

    # ---- life cycle

    def __enter__(self):
        self.open()
        return self

    def __exit__(self, kind, value, traceback):
        if kind is not None:
            self.failed = True
        self.close()
        return False

    def open(self):
        """Copies the golden prefix and starts the X server."""
        golden = self.layout.golden_dir
        if not golden_is_current(golden):
            raise HarnessError(f"the golden prefix {golden} is missing or stale: run the e2e.golden_prefix test")
        for tool in (self.layout.kelvodrive,):
            if not tool.exists():
                raise HarnessError(f"{tool} is not built (cmake --build --preset mingw-x86_64)")
        _open_sessions.append(self)
        if self.artifacts.exists():
            shutil.rmtree(self.artifacts)
        self.artifacts.mkdir(parents=True)
        self.root = Path(tempfile.mkdtemp(prefix="kelvo-e2e-"))
        self.prefix = self.root / "prefix"
        self.tmpdir = self.root / "tmp"
        self.tmpdir.mkdir()
        (self.root / "logs").mkdir()
        subprocess.run(["cp", "-a", str(golden), str(self.prefix)], check=True)
        self._watchdog = _Watchdog(self.prefix, self.root, self.keep, self.log_path("watchdog.log"))
        self.xvfb = Xvfb(self.root / "logs" / "xvfb.log")
        self.display = self.xvfb.start()
        self._start_wineserver()
        self._start_wine_services()
        if self.desktop:
            self._start_desktop()

    def _start_wineserver(self, timeout=15):
        """One server for the whole session, started before any client (two
        first clients starting at once would each set up a server of their
        own) and kept until close(). It runs in the foreground as our child,
        so it ends with the harness even if the harness is killed."""
        with open(self.log_path("wineserver.log"), "ab") as log:
            self._server = subprocess.Popen([WINE_SERVER, "-f", "-p"], env=self.env(), stdin=subprocess.DEVNULL,
                                            stdout=log, stderr=log, preexec_fn=_set_parent_death_signal)
        deadline = time.monotonic() + timeout
        while not list(self.tmpdir.glob("wine-*/server-*/socket")):
            if self._server.poll() is not None or time.monotonic() > deadline:
                raise HarnessError(f"wineserver did not start, see {self.log_path('wineserver.log')}")
            time.sleep(0.02)

    def _start_wine_services(self, timeout=30):
        """Wine's own service processes (services.exe, winedevice.exe, ...)
        are started by the prefix's first client and inherit its standard
        error. A client of our own that holds a file until the session ends
        comes first, so their output lands in wine-services.err, not in the
        log of the first program a test starts: a fault of Wine's driver host
        is not a crash of that program. It starts no desktop."""
        holder = self.layout.win64_file("tests/e2e/fixtures/holdfile.exe")
        held = "Z:" + str(self.log_path("wine-services.hold")).replace("/", "\\")
        self.run_wine([holder, held], WINE_SERVICES, expect_crash=True)
        self.wait_until(lambda: "held" in self.log_path(f"{WINE_SERVICES}.out").read_text(errors="replace"),
                        timeout=timeout, what="Wine's service processes")

    def _start_desktop(self, timeout=30):
        """Wine's desktop process, started by kelvodrive before any program
        of the test: two programs that both find no desktop start one each,
        and the one that loses that race may get no windows at all."""
        self.windows()
        self.wait_until(lambda: any(p["exe"].lower() == "explorer.exe" for p in self.processes()),
                        timeout=timeout, what="Wine's desktop process")

    def close(self):
        """Stops what this session started: the driver, the prefix's
        wineserver (and so its programs), the Xvfb; saves the logs and removes
        the copy (kept with KELVO_E2E_KEEP=1). Every step runs even if an
        earlier one fails."""
        if self not in _open_sessions:
            return
        _open_sessions.remove(self)
        problems = []
        for step in (self._stop_driver, self._stop_wine, self._unmount, self._save_logs, self._stop_xvfb,
                     self._dismiss_watchdog, self._remove_root):
            try:
                step()
            except Exception as problem:  # noqa: BLE001 - the other steps must still run
                problems.append(f"{step.__name__}: {problem}")
        if problems:
            raise HarnessError("teardown: " + "; ".join(problems))

    def _stop_driver(self):
        if self._driver is not None:
            self._driver.stop()
            self._driver = None

    def _stop_wine(self):
        if self._server is None:
            return
        try:
            subprocess.run([WINE_SERVER, "-k"], env=self.env(), timeout=20,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        except subprocess.TimeoutExpired:
            pass
        for process in [self._server] + [p.process for p in self.programs] + [r[1] for r in self._raw]:
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                _stop_process(process)
        left = _end_prefix_processes(self.prefix)
        if left:
            raise HarnessError(f"processes of the prefix outlived its server: {left}")

    def _stop_xvfb(self):
        if self.xvfb is not None:
            self.xvfb.stop()

    def _dismiss_watchdog(self):
        if self._watchdog is not None:
            self._watchdog.dismiss()
            self._watchdog = None

    def _remove_root(self):
        if self.root is not None and not self.keep:
            shutil.rmtree(self.root, ignore_errors=True)

    def _unmount(self):
        while self._mounts:
            _unmount(self._mounts.pop())

    def mount_tmpfs(self, folder, size, folders=(), read_only=False):
        """A tmpfs of `size` bytes of the session's own (root only) on the
        Linux `folder`, made if needed, with the given sub-folders; read-only
        if asked, which even root cannot write to. Unmounted at teardown;
        Skip where mounting is refused."""
        folder = Path(folder)
        folder.mkdir(parents=True, exist_ok=True)
        done = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size}", "tmpfs", str(folder)],
                              capture_output=True, text=True, timeout=30)
        if done.returncode != 0:
            raise Skip(f"cannot mount a small file system here: {done.stderr.strip()}")
        self._mounts.append(folder)
        for name in folders:
            (folder / name).mkdir(parents=True, exist_ok=True)
        if read_only:
            subprocess.run(["mount", "-o", "remount,ro", str(folder)], check=True, timeout=30)
        return folder

    def small_drive(self, letter, size, folders=(), read_only=False):
        """A drive `letter`: of `size` bytes that really fills up (or cannot
        be written at all), with the given folders: mount_tmpfs mapped as a
        Wine drive. Returns the Linux folder it is mounted on."""
        folder = self.mount_tmpfs(self.root / f"drive_{letter.lower()}", size, folders, read_only)
        link = self.prefix / "dosdevices" / f"{letter.lower()}:"
        if link.is_symlink() or link.exists():
            link.unlink()
        link.symlink_to(folder)
        return folder

    def _save_logs(self):
        """Copies the output files of the programs and of kelvodrive (with
        driver.log, the transcript of every command) to artifacts/<test>/logs."""
        logs = self.root / "logs"
        if not logs.exists() or not self.artifacts.exists():
            return
        for log in logs.iterdir():
            if log.is_file() and log.stat().st_size > 0:
                (self.artifacts / "logs").mkdir(exist_ok=True)
                shutil.copy2(log, self.artifacts / "logs" / log.name)

    def env(self):
        return wine_env(self.prefix, self.tmpdir, self.display)

    def snapshot(self):
        """Every file and folder of drive C: (files with their size and
        modification time): compared before and after a run, the changes.
        A folder counts by its being there, not by its time stamp, which
        every file made or removed in it changes."""
        listing = {}
        for path in self.drive_c.rglob("*"):
            try:
                info = path.lstat()
            except OSError:
                continue
            kind = info.st_mode >> 12
            listing[str(path.relative_to(self.drive_c))] = (kind,) if path.is_dir() and not path.is_symlink() \
                else (kind, info.st_size, info.st_mtime_ns)
        return listing

    @staticmethod
    def changes(before, after, allowed=()):
        """Paths created, changed or removed between two snapshots, except
        those at or below an `allowed` prefix (relative to C:, '/' separated,
        compared without regard to case)."""
        prefixes = [a.lower().rstrip("/") for a in allowed]

        def counted(path):
            lower = path.lower()
            return not any(lower == p or lower.startswith(p + "/") for p in prefixes)

        paths = set(before) | set(after)
        return sorted(p for p in paths if before.get(p) != after.get(p) and counted(p))

    # ---- paths

    @property
    def drive_c(self):
        return self.prefix / "drive_c"

    def to_linux(self, windows_path):
        """Linux path of a Windows path of the prefix (any drive its
        dosdevices map), matching existing names without regard to case as
        Windows does."""
        path = windows_path.replace("/", "\\")
        drive, _, rest = path.partition(":")
        if drive.upper() == "C":
            base = self.drive_c
        elif drive.upper() == "Z":
            base = Path("/")
        elif len(drive) == 1 and (self.prefix / "dosdevices" / f"{drive.lower()}:").is_symlink():
            base = (self.prefix / "dosdevices" / f"{drive.lower()}:").resolve()
        else:
            raise ValueError(f"not a drive of the prefix: {windows_path}")
        current = base
        for part in [p for p in rest.split("\\") if p]:
            exact = current / part
            if not exact.exists() and current.is_dir():
                for entry in current.iterdir():
                    if entry.name.lower() == part.lower():
                        exact = entry
                        break
            current = exact
        return current

    def to_windows(self, linux_path):
        return _windows_path_of(self.prefix, linux_path)

    @property
    def windows_dir(self):
        return self.to_linux("C:\\windows")

    @property
    def temp_dir(self):
        """C:\\windows\\TEMP, the temporary folder of the setup program."""
        return self.to_linux("C:\\windows\\TEMP")

    @property
    def user_dir(self):
        return _user_dir(self.prefix)

    @property
    def programs_dir(self):
        """The Start Menu Programs folder: one sub-folder per program group."""
        return self.user_dir / "AppData" / "Roaming" / "Microsoft" / "Windows" / "Start Menu" / "Programs"

    def group_dir(self, group):
        return self.programs_dir / group

    def put(self, source, windows_path):
        """Copies a Linux file into the prefix as `windows_path` (folders are
        created) and returns that Windows path."""
        target = self.to_linux(windows_path)
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(source, target)
        return windows_path

    def log_path(self, name):
        return self.root / "logs" / name

    # ---- running programs

    def run_wine(self, args, name, cwd=None, expect_crash=False, dll_overrides=None):
        """Starts `wine64 args...` in the background with standard output and
        error in the files <name>.out/<name>.err of the session's logs
        (files, not pipes: a window the program opens may keep a pipe open).
        Returns the Popen; its return code is only the low byte, and 5 counts
        as a crash unless expect_crash. `dll_overrides` is added to this
        run's WINEDLLOVERRIDES: WITHOUT_DESKTOP keeps Wine's desktop process,
        and with it the shell's program-group service, from starting (while
        no desktop process runs in the prefix yet)."""
        env = self.env()
        if dll_overrides:
            env["WINEDLLOVERRIDES"] += ";" + dll_overrides
        stdout, stderr = self.log_path(f"{name}.out"), self.log_path(f"{name}.err")
        with open(stdout, "wb") as out, open(stderr, "wb") as err:
            process = subprocess.Popen([WINE_LOADER] + [str(a) for a in args], env=env,
                                       cwd=cwd, stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        self._raw.append((name, process, expect_crash))
        return process

    def start(self, program, args=(), cwd=None, name=None, timeout=None, expect_crash=False):
        """Starts a Windows program (a Windows path, or a Linux path that is
        translated) with working folder `cwd` (Windows or Linux path) and
        returns a Program at once. With `timeout` (seconds) the program is
        ended after that time. A crash fails the test unless expect_crash."""
        program = self._windows_arg(program)
        name = name or f"{len(self.programs) + 1:02d}-{Path(program.replace(chr(92), '/')).stem}"
        options = []
        if cwd is not None:
            options.append(f"--cwd={self._windows_arg(cwd)}")
        if timeout is not None:
            options.append(f"--timeout={int(timeout * 1000)}")
        stdout, stderr = self.log_path(f"{name}.out"), self.log_path(f"{name}.err")
        with open(stdout, "wb") as out, open(stderr, "wb") as err:
            process = subprocess.Popen(
                [WINE_LOADER, str(self.layout.kelvodrive), "run", *options, "--", program,
                 *[str(a) for a in args]],
                env=self.env(), stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        started = Program(self, name, process, stdout, stderr, expect_crash)
        self.programs.append(started)
        return started

    def run(self, program, args=(), cwd=None, timeout=60, expect_crash=False):
        """Runs a program to its end; returns the finished Program."""
        started = self.start(program, args, cwd=cwd, timeout=timeout, expect_crash=expect_crash)
        started.wait(timeout + 30)
        return started

    def _windows_arg(self, path):
        text = str(path)
        return text if re.match(r"^[A-Za-z]:", text) else self.to_windows(text)

    # ---- crashes

    def crash_reasons(self):
        """Every unexpected crash so far: an exception exit code, 'wine:
        Unhandled' on the standard error of a program or of kelvodrive, a
        plain wine run that ended with 5, or a debugger left in the prefix."""
        reasons = [p.crash_reason() for p in self.programs if not p.expect_crash]
        for name, process, expected in self._raw:
            if not expected and process.poll() == CRASH_LOW_BYTE:
                reasons.append(f"{name} exited with {CRASH_LOW_BYTE} (a crash, as the shell sees it)")
        checked = {p.stderr_path.name for p in self.programs}
        checked |= {f"{name}.err" for name, _, expected in self._raw if expected}
        for log in sorted((self.root / "logs").glob("*.err")):
            if log.name not in checked and "wine: Unhandled" in log.read_text(errors="replace"):
                reasons.append(f"'wine: Unhandled' in {log.name}")
        try:
            if any(p["exe"].lower() == "winedbg.exe" for p in self.processes()):
                reasons.append("a winedbg process is running")
        except HarnessError:
            pass
        return [r for r in reasons if r]

    def check_crashes(self):
        services = self.log_path(f"{WINE_SERVICES}.err")
        if services.exists() and "wine: Unhandled" in services.read_text(errors="replace"):
            print(f"note: one of Wine's service processes faulted, see {services.name}")
        reasons = self.crash_reasons()
        if reasons:
            raise CrashError("; ".join(reasons))

    # ---- kelvodrive

    def drive(self, verb, *rest, timeout=10, **options):
        """Runs one kelvodrive command (`verb`, e.g. "children") and returns
        its output lines as dicts. Raises DriveError when it fails. `rest`
        goes after --; options as in _options(). Commands go to one serving
        kelvodrive; texts with line breaks get a process of their own."""
        command = verb
        args = [command, *_options(options)]
        if command not in _UNTIMED_COMMANDS:
            args.append(f"--timeout={int(timeout * 1000)}")
        if rest:
            args += ["--", *[str(r) for r in rest]]
        limit = timeout + 30
        if command == "run" or any("\n" in a or "\r" in a for a in args):
            lines, code, message = self._drive_once(args, limit)
        else:
            if self._driver is None:
                self._driver = _Driver(self.layout.kelvodrive, self.env(), self.root / "logs")
            try:
                lines, code, message = self._driver.call(args, limit)
            except BaseException:
                # Cut short (a time-out signal too): its answer may still
                # come and must not be taken for the next command's.
                self._driver.stop()
                self._driver = None
                raise
        if code != 0:
            raise DriveError(command, code, message)
        return lines

    def _drive_once(self, args, limit):
        self._drive_count += 1
        stdout = self.log_path(f"drive-{self._drive_count:03d}.out")
        stderr = self.log_path(f"drive-{self._drive_count:03d}.err")
        with open(stdout, "wb") as out, open(stderr, "wb") as err:
            process = subprocess.Popen([WINE_LOADER, str(self.layout.kelvodrive), *args], env=self.env(),
                                       stdin=subprocess.DEVNULL, stdout=out, stderr=err)
            try:
                code = process.wait(limit)
            except subprocess.TimeoutExpired:
                _stop_process(process)
                raise HarnessError(f"kelvodrive {args[0]} hung") from None
        message = stderr.read_text(encoding="utf-8", errors="replace").strip()
        return parse_output(stdout.read_text(encoding="utf-8", errors="replace")), code, message

    def windows(self, **selection):
        """Top-level windows (visible ones unless hidden=True)."""
        return self.drive("windows", **selection)

    def wait_window(self, timeout=10, **selection):
        """Waits for a visible top-level window with its controls; returns it.
        With control keywords (id=, text=, ...) waits for that control too
        (enabled=True: until it is enabled) and returns (window, control)."""
        lines = self.drive("wait", timeout=timeout, **selection)
        return (lines[0], lines[1]) if len(lines) > 1 else lines[0]

    def wait_gone(self, timeout=10, **selection):
        """Waits until no such window (or no such control in it) is visible."""
        self.drive("wait-gone", timeout=timeout, **selection)

    def children(self, timeout=10, **selection):
        """(window, controls): the window and every control below it, each a
        dict with hwnd parent id class text x y w h enabled visible checked
        style (and count/sel for list boxes, pos/min/max/page for scroll
        bars). Rectangles are in the window's client coordinates."""
        lines = self.drive("children", timeout=timeout, **selection)
        return lines[0], lines[1:]

    def control(self, timeout=10, **selection):
        """The one control chosen by the control keywords, once visible."""
        return self.wait_window(timeout=timeout, **selection)[1]

    def click(self, timeout=10, force=False, **selection):
        """Posts BM_CLICK to a control (refused while it is disabled)."""
        return self.drive("click", timeout=timeout, force=force, **selection)[0]

    def set_text(self, value, timeout=10, **selection):
        """WM_SETTEXT on a control (an edit field reports the change)."""
        return self.drive("set-text", timeout=timeout, value=value, **selection)[0]["text"]

    def type_text(self, value, append=False, timeout=10, **selection):
        """Replaces (or extends) an edit field's text by posted characters."""
        self.drive("type", timeout=timeout, value=value, append=append, **selection)

    def select(self, item=None, string=None, double=False, timeout=10, **selection):
        """Selects a list box entry by index or text and notifies the parent
        (LBN_SELCHANGE, then LBN_DBLCLK with double=True)."""
        return self.drive("select", timeout=timeout, item=item, string=string, double=double, **selection)[0]

    def items(self, timeout=10, **selection):
        """The entries of a list box as a list of str."""
        return [line["text"] for line in self.drive("items", timeout=timeout, **selection)]

    def scroll(self, code, pos=None, repeat=1, horizontal=False, timeout=10, **selection):
        """Posts WM_VSCROLL/WM_HSCROLL for a scroll-bar control (to its
        parent) or a window with its own bars. code: LINEDOWN, LINEUP,
        PAGEDOWN, PAGEUP, THUMBTRACK, THUMBPOSITION, TOP, BOTTOM, ENDSCROLL."""
        self.drive("scroll", timeout=timeout, code=code, pos=pos, repeat=repeat, horizontal=horizontal,
                   **selection)

    def close_window(self, all=False, timeout=10, **selection):  # noqa: A002 - kelvodrive's name
        return self.drive("close", timeout=timeout, all=all, **selection)

    def message_box(self, timeout=10, **selection):
        """Waits for a message box; returns hwnd pid exe caption text buttons
        (buttons like "YES,NO"). title=/title_part= choose by caption."""
        return self.drive("msgbox", timeout=timeout, **selection)[0]

    def press(self, button, timeout=10, **selection):
        """Answers a message box (OK, CANCEL, YES, NO, ...) and waits until it
        has closed."""
        self.drive("msgbox-press", timeout=timeout, button=button, **selection)

    def groups(self, timeout=10):
        """The program groups that PROGMAN lists, over DDE."""
        return [line["group"] for line in self.drive("groups", timeout=timeout)]

    def dde_exec(self, command, timeout=10):
        """Sends one PROGMAN command such as [CreateGroup(Name)]."""
        self.drive("dde-exec", timeout=timeout, command=command)

    def group_items(self, group):
        """(folder, items) of a group: each item has file, item, target, args,
        workdir, icon, icon-index and description as the shortcut holds them."""
        lines = self.drive("group-items", group=group)
        return lines[0]["folder"], lines[1:]

    def processes(self):
        """The prefix's Windows processes: pid, ppid, exe."""
        return self.drive("processes")

    def wait_no_process(self, exe, timeout=30):
        """Waits until no process of that program file name runs."""
        self.wait_until(lambda: not [p for p in self.processes() if p["exe"].lower() == exe.lower()],
                        timeout=timeout, what=f"end of every {exe}")

    def close_explorer_windows(self, timeout=10):
        """Closes the folder windows that PROGMAN's CreateGroup opens."""
        if self.windows(cls="ExplorerWClass"):
            self.close_window(all=True, cls="ExplorerWClass")
            self.wait_gone(cls="ExplorerWClass", timeout=timeout)

    @staticmethod
    def wait_until(predicate, timeout=10, what="condition"):
        """Polls predicate() until it returns a true value, which is returned.
        `what` (a text, or a function giving one) names it in the error."""
        deadline = time.monotonic() + timeout
        while True:
            value = predicate()
            if value:
                return value
            if time.monotonic() > deadline:
                raise HarnessError(f"{what() if callable(what) else what} not met within {timeout} s")
            time.sleep(0.1)

    # ---- screen

    def screenshot(self, label):
        """Saves the whole X screen as artifacts/<test>/<NN>-<label>.png."""
        self._shot_count += 1
        safe = re.sub(r"[^\w.-]+", "_", label)
        path = self.artifacts / f"{self._shot_count:02d}-{safe}.png"
        env = dict(os.environ, DISPLAY=self.display)
        subprocess.run(["import", "-window", "root", str(path)], env=env, check=True, timeout=30,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return path

    def xdotool(self, *args):
        """Runs xdotool on the session's display (e.g. "key", "Tab")."""
        env = dict(os.environ, DISPLAY=self.display)
        subprocess.run(["xdotool", *map(str, args)], env=env, check=True, timeout=30)


# --------------------------------------------------------------------------
# Test functions

DEFAULT_TIME_LIMIT = 60


def without_desktop(function):
    """Marks a test whose session starts no desktop process: its programs
    may then run without one (WITHOUT_DESKTOP)."""
    function.e2e_desktop = False
    return function


def time_limit(seconds):
    """Marks a test function with its own time limit (default 60 s); the
    runner ends the test, with its teardown, when it runs longer."""

    def mark(function):
        function.e2e_time_limit = seconds
        return function

    return mark


if __name__ == "__main__" and len(sys.argv) == 5 and sys.argv[1] == "watchdog":
    sys.exit(_watchdog_main(*sys.argv[2:]))
