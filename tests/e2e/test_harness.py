"""The harness checks itself against the drive fixture: every way it finds,
reads and drives windows, runs programs and notices crashes."""

import os
import struct
import subprocess
import sys
import threading
import time
from pathlib import Path

import kelvo_wine
from kelvo_wine import DRIVE_FAILED, DRIVE_TIMEOUT, DriveError, HarnessError, time_limit

HERE = Path(__file__).resolve().parent
FIXTURE_TITLE = "Drive Fixture"
W = {"title": FIXTURE_TITLE}
LOG_WINDOWS = "C:\\fixture.log"


def start_fixture(s, **options):
    program = s.start(s.layout.fixture, [f"--log={LOG_WINDOWS}"], **options)
    s.wait_window(**W)
    return program


def events(s):
    log = s.to_linux(LOG_WINDOWS)
    return log.read_text(encoding="utf-8").splitlines() if log.exists() else []


def wait_event(s, event):
    """Waits until the fixture's latest event is `event`."""
    s.wait_until(lambda: events(s)[-1:] == [event], what=lambda: f"fixture event {event!r} (log: {events(s)})")


def by_id(controls):
    result = {}
    for control in controls:
        result.setdefault(control["id"], []).append(control)
    return result


def test_window_and_controls_are_listed(s):
    program = start_fixture(s)
    window, controls = s.children(**W)
    assert window["exe"] == "drivefixture.exe" and window["class"] == "KelvoDriveFixture"
    assert window["pid"] == program.pid
    assert (window["cw"], window["ch"]) == (400, 300), window
    assert window["responsive"] == 1

    found = by_id(controls)
    expected = {
        101: ("Button", "Press", (10, 10, 100, 30)),
        102: ("Button", "Ask", (120, 10, 100, 30)),
        107: ("Button", "Disabled", (230, 10, 100, 30)),
        103: ("Edit", "", (10, 50, 200, 24)),
        105: ("ScrollBar", "", (370, 10, 16, 200)),
        106: ("Button", "Check", (170, 80, 100, 20)),
        108: ("Static", "ready", (10, 190, 350, 20)),
    }
    for control_id, (cls, text, rect) in expected.items():
        [control] = found[control_id]
        assert (control["class"], control["text"]) == (cls, text), control
        assert (control["x"], control["y"], control["w"], control["h"]) == rect, control
        assert control["parent"] == window["hwnd"] and control["visible"] == 1
    assert found[107][0]["enabled"] == 0 and found[101][0]["enabled"] == 1
    # Controls without an identifier share 65535, whichever way they got it.
    assert sorted(c["text"] for c in found[65535]) == ["Left", "Right"]
    assert found[104][0]["count"] == 3 and found[104][0]["sel"] == -1
    assert (found[105][0]["min"], found[105][0]["max"], found[105][0]["pos"]) == (0, 50, 0)
    assert s.items(id=104, **W) == ["alpha", "beta", "gamma"]

    only_press, press = s.wait_window(id=101, **W)
    assert only_press["hwnd"] == window["hwnd"] and press["text"] == "Press"
    assert [w["title"] for w in s.windows(exe="drivefixture.exe")] == [FIXTURE_TITLE]
    shot = s.screenshot("fixture")
    with open(shot, "rb") as png:
        header = png.read(24)
    assert header[:8] == b"\x89PNG\r\n\x1a\n" and struct.unpack(">II", header[16:24]) == (1024, 768)


def test_controls_are_driven(s):
    start_fixture(s)
    s.click(id=101, **W)
    wait_event(s, "press")
    s.wait_window(id=108, text="press", **W)

    assert s.set_text("hello wörld", id=103, **W) == "hello wörld"
    wait_event(s, "edit hello wörld")
    s.type_text("ab", id=103, **W)
    wait_event(s, "edit ab")
    s.type_text("c", append=True, id=103, **W)
    wait_event(s, "edit abc")
    assert s.control(id=103, **W)["text"] == "abc"

    assert s.select(string="beta", id=104, **W) == {"index": 1, "text": "beta"}
    wait_event(s, "select beta")
    s.select(item=2, double=True, id=104, **W)
    wait_event(s, "double gamma")
    assert s.control(id=104, **W)["sel"] == 2
    try:
        s.select(string="delta", id=104, **W)
        raise AssertionError("a missing list entry was selected")
    except DriveError as error:
        assert error.code == DRIVE_FAILED and "delta" in error.message

    s.scroll("LINEDOWN", repeat=3, id=105, **W)
    wait_event(s, "scroll 1 3")
    s.scroll("THUMBTRACK", pos=40, id=105, **W)
    wait_event(s, "scroll 5 40")
    s.scroll("SB_PAGEUP", id=105, **W)
    wait_event(s, "scroll 2 30")
    assert s.control(id=105, **W)["pos"] == 30

    s.click(id=106, **W)
    wait_event(s, "check 1")
    assert s.control(id=106, **W)["checked"] == 1
    # Real key presses reach the window with the focus, here the check box.
    s.xdotool("key", "space")
    wait_event(s, "check 0")
    s.click(text="Right", **W)
    wait_event(s, "radio Right")
    radios = {c["text"]: c["checked"] for c in s.children(**W)[1] if c["id"] == 65535}
    assert radios == {"Left": 0, "Right": 1}

    before = events(s)
    for refused, code in [({"id": 107}, DRIVE_TIMEOUT), ({"id": 65535}, DRIVE_FAILED), ({"id": 999}, DRIVE_TIMEOUT)]:
        try:
            s.click(timeout=0.5, **refused, **W)
            raise AssertionError(f"click on {refused} was not refused")
        except DriveError as error:
            assert error.code == code, error
    s.click(force=True, id=107, **W)  # a forced click still arrives, disabled or not
    s.click(id=101, **W)
    wait_event(s, "press")
    assert events(s)[len(before):] == ["press"], events(s)
    s.screenshot("driven")


def test_message_box_is_read_and_answered(s):
    program = start_fixture(s)
    s.click(id=102, **W)
    box = s.message_box(exe="drivefixture.exe")
    assert box["caption"] == "Fixture Question"
    assert box["text"] == "Proceed?\nSecond line"
    assert box["buttons"] == "YES,NO" and box["pid"] == program.pid
    s.screenshot("question")
    # While the box is up its owner is disabled: no click gets through.
    try:
        s.click(timeout=0.5, id=101, **W)
        raise AssertionError("a click reached a window behind a modal box")
    except DriveError as error:
        assert error.code == DRIVE_TIMEOUT and "disabled" in error.message
    try:
        s.press("OK", title="Fixture Question")
        raise AssertionError("a button the box does not have was pressed")
    except DriveError as error:
        assert error.code == DRIVE_FAILED
    s.press("YES", title="Fixture Question")
    wait_event(s, "answer yes")
    s.wait_gone(title="Fixture Question")

    s.click(id=102, **W)
    s.press("NO", exe="drivefixture.exe")
    wait_event(s, "answer no")
    assert [e for e in events(s) if e.startswith("answer")] == ["answer yes", "answer no"]
    try:
        s.message_box(timeout=0.5)
        raise AssertionError("a message box was found where there is none")
    except DriveError as error:
        assert error.code == DRIVE_TIMEOUT

    s.click(id=109, **W)
    assert program.wait() == 0
    s.wait_gone(**W)


def test_program_groups_over_dde(s):
    assert "Harness Group" not in s.groups()
    s.dde_exec("[CreateGroup(Harness Group)]")
    explorer = s.wait_window(cls="ExplorerWClass", title="Harness Group")
    assert explorer["exe"] == "explorer.exe"
    s.close_explorer_windows()
    assert "Harness Group" in s.groups()
    s.dde_exec('[AddItem("C:\\windows\\notepad.exe", Note Pad)]')
    s.dde_exec('[AddItem("C:\\windows\\notepad.exe", Uninstall, C:\\windows\\SYSTEM\\shell32.dll, 58)]')
    folder, items = s.group_items("Harness Group")
    assert s.to_linux(folder) == s.group_dir("Harness Group")
    by_name = {item["item"]: item for item in items}
    assert sorted(by_name) == ["Note Pad", "Uninstall"]
    assert by_name["Note Pad"]["target"].lower() == "c:\\windows\\notepad.exe"
    assert by_name["Uninstall"]["icon"].lower() == "c:\\windows\\system\\shell32.dll"
    assert by_name["Uninstall"]["icon-index"] == 58
    assert (s.group_dir("Harness Group") / "Note Pad.lnk").is_file()

    s.dde_exec("[DeleteGroup(Harness Group)]")
    assert "Harness Group" not in s.groups()
    assert not s.group_dir("Harness Group").exists()
    try:
        s.dde_exec("[DeleteGroup(Harness Group)]")
        raise AssertionError("deleting a missing group succeeded")
    except DriveError as error:
        assert "0x4009" in error.message, error

    # Closing the last folder window lets Wine's desktop process end; a
    # program started afterwards is on a new desktop and is still found.
    s.dde_exec("[CreateGroup(Harness Group)]")
    s.wait_window(cls="ExplorerWClass", title="Harness Group")
    s.close_explorer_windows()
    s.wait_no_process("explorer.exe", timeout=30)
    program = start_fixture(s)
    s.click(id=109, **W)
    assert program.wait() == 0
    # The same while a wait is under way: the desktop ends and the program,
    # started past the session, brings up a new one meanwhile.
    s.dde_exec("[CreateGroup(Harness Group)]")
    s.wait_window(cls="ExplorerWClass", title="Harness Group")
    s.close_explorer_windows()
    started = []

    def start_once_the_desktop_ended():
        deadline = time.monotonic() + kelvo_wine.scaled(30)
        while s._linux_processes_of("explorer.exe") and time.monotonic() < deadline:
            time.sleep(0.2)
        started.append(s.run_wine([s.layout.fixture], "past-the-session"))

    starter = threading.Thread(target=start_once_the_desktop_ended)
    starter.start()
    try:
        s.wait_window(timeout=60, **W)
    finally:
        starter.join()
    s.click(id=109, **W)
    assert started[0].wait(30) == 0
    s.dde_exec("[DeleteGroup(Harness Group)]")


def test_programs_run_with_full_exit_code(s):
    fixture = s.layout.fixture
    done = s.run(fixture, ["exit", "0x10007"])
    assert done.exit_code == 0x10007
    assert "fixture exit 65543" in done.stdout() and "fixture stderr" in done.stderr()
    assert s.run(fixture, ["exit", "0x100"]).exit_code == 0x100
    # What a Linux shell would see instead: the low byte only.
    raw = s.run_wine([fixture, "exit", "0x10007"], "raw-exit")
    assert raw.wait(30) == 7

    here = s.run(fixture, ["cwd"], cwd="C:\\windows\\TEMP")
    assert "cwd=c:\\windows\\temp" in here.stdout().lower(), here.stdout()
    assert s.temp_dir == s.drive_c / "windows" / "temp" and s.temp_dir.is_dir()
    assert s.to_windows(s.temp_dir).lower() == "c:\\windows\\temp"
    assert s.to_linux("z:\\tmp") == Path("/tmp")

    slow = s.start(fixture, ["sleep", "60000"], timeout=1)
    s.wait_until(lambda: not slow.running(), timeout=20, what="end of the slow program")
    assert slow.timed_out() and slow.exit_code is None
    try:
        slow.wait(1)
        raise AssertionError("a program ended by its time limit reported an exit code")
    except HarnessError:
        pass
    assert not s.crash_reasons()


def test_crashes_are_detected(s):
    crashed = s.run(s.layout.fixture, ["crash"], expect_crash=True)
    assert crashed.exit_code == 0xC0000005
    assert "exception code 0xc0000005" in crashed.crash_reason()
    assert "wine: Unhandled" in crashed.stderr()

    gui = start_fixture(s, expect_crash=True)
    s.click(id=110, **W)
    assert gui.wait() == 0xC0000005 and gui.crash_reason()
    assert not [p for p in s.processes() if p["exe"].lower() == "winedbg.exe"]
    assert not s.crash_reasons()  # both crashes were expected

    raw = s.run_wine([s.layout.fixture, "crash"], "raw-crash", expect_crash=True)
    assert raw.wait(30) == 5  # the shell's view of 0xC0000005
    assert not s.crash_reasons()


def run_probe(s, probe, **options):
    """Starts harness_probes.<probe> through the runner, as ctest would."""
    info = probe_info_path(s, probe)
    info.unlink(missing_ok=True)
    return subprocess.Popen(
        [sys.executable, str(HERE / "run_e2e.py"), "test", str(HERE / "harness_probes.py"), probe],
        env=dict(os.environ, KELVO_E2E_KEEP="0"), text=True, **options)


def probe_info_path(s, probe):
    return s.layout.artifacts_dir / f"harness_probes.{probe[5:]}" / "session.txt"


def probe_leftovers(s, probe):
    """What the probe left behind of its X server, folder and Wine processes
    (empty when nothing). A display's lock counts only while it names the
    probe's own server: another test may start a server on the freed display."""
    display, root, xvfb = probe_info_path(s, probe).read_text().split()
    left = []
    lock = Path(f"/tmp/.X{display[1:]}-lock")
    try:
        if int(lock.read_text().strip()) == int(xvfb):
            left.append(f"the lock of display {display} (Xvfb {xvfb})")
    except (OSError, ValueError):
        pass
    if Path(root).exists():
        left.append(f"the folder {root}")
    processes = kelvo_wine._prefix_processes(Path(root) / "prefix")
    if processes:
        left.append(f"processes of the prefix: {processes}")
    return left


@time_limit(220)
def test_runner_reports_failures_and_cleans_up(s):
    """An unexpected crash fails the test, and so does a test that runs too
    long; either way the runner stops its X server and removes its prefix."""
    for probe, reasons in [("test_unexpected_crash", ["exception code 0xc0000005", "raw-crash exited with 5"]),
                           ("test_too_slow", ["ran longer than 45 s"])]:
        runner = run_probe(s, probe, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        try:
            output = runner.communicate(timeout=90)[0]
        finally:
            # A runner that did not end in time must not outlive this test.
            runner.kill()
            runner.wait()
        assert runner.returncode == 1, output
        assert f"FAILED harness_probes.{probe[5:]}" in output, output
        assert all(reason in output for reason in reasons), output
        left = probe_leftovers(s, probe)
        assert not left, f"{probe} left {left}:\n{output}"


@time_limit(180)
def test_killed_runner_leaves_nothing_behind(s):
    """SIGKILL (a ctest time-out) gives the runner no chance to tear down:
    its X server and wineserver die with it, and its watchdog ends the
    prefix's remaining processes and removes the folder."""
    runner = run_probe(s, "test_runs_until_killed", stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        info = probe_info_path(s, "test_runs_until_killed")
        s.wait_until(info.exists, timeout=90, what="start of the probe's session")
        root = Path(info.read_text().split()[1])
        s.wait_until(lambda: len(kelvo_wine._prefix_processes(root / "prefix")) > 1, timeout=40,
                     what="Wine processes of the probe")
    finally:
        runner.kill()
        runner.wait()
    s.wait_until(lambda: not probe_leftovers(s, "test_runs_until_killed"), timeout=30,
                 what=lambda: f"cleanup after the killed runner (left: {probe_leftovers(s, 'test_runs_until_killed')})")
