"""One test's Wine world (Session) and the marks of test functions."""

import atexit
import os
import re
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

from .driver import CRASH_LOW_BYTE, Program, StaleDriver, _Driver, _options, parse_output
from .errors import CrashError, DriveError, HarnessError, Skip
from .prefix import (WINE_LOADER, WINE_SERVER, Layout, _user_dir, _windows_path_of, golden_is_current, scaled,
                     wine_env)
from .processes import Xvfb, _end_prefix_processes, _prefix_processes, _set_parent_death_signal, _stop_process, _unmount, _Watchdog

# Session.run_wine(..., dll_overrides=WITHOUT_DESKTOP) in a session opened
# with desktop=False (a test marked @without_desktop): the program runs
# without Wine's desktop process (explorer.exe), so without the shell's
# "PROGMAN" service.
WITHOUT_DESKTOP = "explorer.exe=d"

# The log name of the first client of every session, whose standard error
# Wine's service processes inherit.
WINE_SERVICES = "wine-services"


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
        if os.environ.get("KELVO_E2E_OVERLAY") == "1":
            self._overlay_prefix(golden)
        else:
            subprocess.run(["cp", "-a", str(golden), str(self.prefix)], check=True)
        self._watchdog = _Watchdog(self.prefix, self.root, self.keep, self.log_path("watchdog.log"))
        self.xvfb = Xvfb(self.root / "logs" / "xvfb.log")
        self.display = self.xvfb.start()
        self._start_wineserver()
        self._start_wine_services()
        if self.desktop:
            self._start_desktop()

    def _overlay_prefix(self, golden):
        """The copy as an overlay on the golden prefix (root only): instant
        where a copy costs many seconds, as in the emulated machine. Writes,
        the server's rewrites of the registry files too, land in the
        session's upper folder; the golden prefix stays as it is."""
        upper, work = self.root / "prefix-upper", self.root / "prefix-work"
        for folder in (upper, work, self.prefix):
            folder.mkdir()
        subprocess.run(["mount", "-t", "overlay", "overlay", "-o",
                        f"lowerdir={golden},upperdir={upper},workdir={work}", str(self.prefix)],
                       check=True, capture_output=True, timeout=30)
        self._mounts.insert(0, self.prefix)

    def _start_wineserver(self, timeout=15):
        """One server for the whole session, started before any client (two
        first clients starting at once would each set up a server of their
        own) and kept until close(). It runs in the foreground as our child,
        so it ends with the harness even if the harness is killed."""
        with open(self.log_path("wineserver.log"), "ab") as log:
            self._server = subprocess.Popen([WINE_SERVER, "-f", "-p"], env=self.env(), stdin=subprocess.DEVNULL,
                                            stdout=log, stderr=log, preexec_fn=_set_parent_death_signal)
        deadline = time.monotonic() + scaled(timeout)
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
        if self._driver is not None and self._driver_is_stale():
            self._replace_driver()
        options = []
        if cwd is not None:
            options.append(f"--cwd={self._windows_arg(cwd)}")
        if timeout is not None:
            options.append(f"--timeout={int(scaled(timeout) * 1000)}")
        stdout, stderr = self.log_path(f"{name}.out"), self.log_path(f"{name}.err")
        with open(stdout, "wb") as out, open(stderr, "wb") as err:
            process = subprocess.Popen(
                [WINE_LOADER, str(self.layout.kelvodrive), "run", *options, "--", program,
                 *[str(a) for a in args]],
                env=self.env(), stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        started = Program(self, name, process, stdout, stderr, expect_crash)
        self.programs.append(started)
        return started

    def reg(self, args, name, attempts=3):
        """Runs Wine's `reg args...` in the prefix's native view and returns
        its standard output. Wine's own tool has been seen to fail once on a
        busy machine with nothing changed, so a failure is tried again; the
        last one raises with what each attempt printed."""
        failures = []
        for attempt in range(1, attempts + 1):
            label = f"{name}-{attempt}" if attempt > 1 else name
            code = self.run_wine(["reg", *args, self.layout.reg_view], label).wait(scaled(60))
            out = self.log_path(f"{label}.out").read_text(errors="replace")
            if code == 0:
                return out
            err = self.log_path(f"{label}.err").read_text(errors="replace")
            failures.append(f"attempt {attempt}: exit code {code}, out {out.strip()!r}, err {err.strip()[-500:]!r}")
            print(f"note: reg {' '.join(args[:2])} failed, {failures[-1]}")
        raise AssertionError(f"reg {' '.join(args)}: " + "; ".join(failures))

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
        timeout = scaled(timeout)
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
                self._replace_driver()
            try:
                try:
                    lines, code, message = self._driver.call(args, limit, stale=self._driver_is_stale)
                except StaleDriver:
                    self._replace_driver()
                    lines, code, message = self._driver.call(args, limit)
                if not self._driver.desktops:
                    self._driver_is_stale()  # notes the desktop it sees
            except BaseException:
                # Cut short (a time-out signal too): its answer may still
                # come and must not be taken for the next command's.
                self._driver.stop()
                self._driver = None
                raise
        if code != 0:
            raise DriveError(command, code, message)
        return lines

    # Wine's desktop process ends by itself a few seconds after the last
    # window of another program is gone, and the next program starts a new
    # one, which a serving kelvodrive that saw the old one never sees (in the
    # emulated machine, with its slow starts, this is common). So the
    # desktop processes each driver has seen are watched: once all are gone,
    # the driver is replaced.

    def _driver_is_stale(self):
        running = set(self._linux_processes_of("explorer.exe"))
        if not self._driver.desktops:
            self._driver.desktops = running
            return False
        return not self._driver.desktops & running

    def _replace_driver(self):
        if self._driver is not None:
            self._driver.kill()
        self._driver = _Driver(self.layout.kelvodrive, self.env(), self.root / "logs")

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

    def _linux_processes_of(self, exe):
        """Pids of the prefix's processes whose command line names `exe`."""
        found = []
        for pid in _prefix_processes(self.prefix):
            try:
                command = Path(f"/proc/{pid}/cmdline").read_bytes().lower()
            except OSError:
                continue
            if exe.lower().encode() in command:
                found.append(pid)
        return found

    @staticmethod
    def wait_until(predicate, timeout=10, what="condition"):
        """Polls predicate() until it returns a true value, which is returned.
        `what` (a text, or a function giving one) names it in the error."""
        deadline = time.monotonic() + scaled(timeout)
        while True:
            value = predicate()
            if value:
                return value
            if time.monotonic() > deadline:
                raise HarnessError(f"{what() if callable(what) else what} not met within {scaled(timeout):.0f} s")
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
