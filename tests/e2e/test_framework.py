"""The window framework under Wine, through a fixture window that uses its
controls and dialogs (tests/support/FrameworkFixture.cpp): notifications
reach the parent by id, controls move as the later pages need them to, and
dialogs from the program's templates work modelessly and as the custom
template of the save-file dialog."""

from kelvo_wine import time_limit

W = {"title": "Framework Fixture"}
STATUS = 199


def start(s):
    program = s.start(s.layout.win64_file("framework/frameworkfixture.exe"))
    window = s.wait_window(**W, id=STATUS)[0]
    return program, window


def status(s):
    return s.control(**W, id=STATUS)["text"]


def wait_status(s, text):
    s.wait_until(lambda: status(s) == text, what=lambda: f"status {text!r} (now {status(s)!r})")


def finish(s, program):
    s.close_window(**W)
    s.wait_gone(**W)
    assert program.wait(20) == 0


@time_limit(90)
def test_edit_list_and_radio_notifications(s):
    program, window = start(s)
    assert (window["cw"], window["ch"]) == (460, 240)

    s.set_text("abc", **W, id=101)
    wait_status(s, "edit: abc")
    s.type_text("xy", **W, id=101)
    wait_status(s, "edit: xy")

    assert s.items(**W, id=102) == ["apple", "fig", "pear"]
    s.select(string="fig", double=True, **W, id=102)
    wait_status(s, "dblclk: fig")

    def checked():
        _, controls = s.children(**W)
        return {c["id"]: c["checked"] for c in controls if c["id"] in (104, 105, 106)}

    assert checked() == {104: 0, 105: 1, 106: 0}
    s.click(**W, id=106)
    s.wait_until(lambda: checked() == {104: 0, 105: 0, 106: 1}, what="Minimal alone checked")
    s.screenshot("controls")
    finish(s, program)


@time_limit(90)
def test_scroll_bar_steps_and_limits(s):
    program, _ = start(s)
    bar = s.control(**W, id=107)
    assert (bar["min"], bar["max"], bar["pos"]) == (0, 100, 0), bar
    steps = [
        ("LINEDOWN", None, 1), ("PAGEDOWN", None, 11), ("LINEUP", None, 10), ("PAGEUP", None, 0),
        ("LINEUP", None, 0), ("THUMBTRACK", 57, 57), ("BOTTOM", None, 100), ("PAGEDOWN", None, 100),
        ("TOP", None, 0),
    ]
    for code, pos, expected in steps:
        s.scroll(code, pos=pos, **W, id=107)
        s.wait_until(lambda: s.control(**W, id=107)["pos"] == expected and status(s).startswith(
            f"scroll {expected} "), what=lambda: f"{code}: position {expected} (status {status(s)!r})")
    finish(s, program)


@time_limit(90)
def test_modeless_dialog_binds_template_controls_and_keeps_cancel(s):
    program, _ = start(s)
    s.click(**W, id=108)
    dialog, line = s.wait_window(exe="frameworkfixture.exe", title="Progress", id=40002)
    assert line["text"] == "Extracting file:"
    _, controls = s.children(hwnd=dialog["hwnd"])
    assert {c["id"] for c in controls} == {40001, 40002, 40003, 2}
    s.click(hwnd=dialog["hwnd"], id=2)
    s.wait_until(lambda: s.control(hwnd=dialog["hwnd"], id=40003)["text"] == "canceled 1",
                 what="first cancel counted")
    # Esc reaches the modeless dialog through the application's loop.
    s.xdotool("key", "Escape")
    s.wait_until(lambda: s.control(hwnd=dialog["hwnd"], id=40003)["text"] == "canceled 2",
                 what="Esc counted as cancel")
    s.screenshot("progress")
    assert s.windows(hwnd=dialog["hwnd"]), "the dialog stays open"
    finish(s, program)


@time_limit(90)
def test_save_dialog_uses_the_browse_folder_template(s):
    program, _ = start(s)
    s.click(**W, id=109)
    # The platform titles the dialog itself (no title is given).
    dialog, _ = s.wait_window(exe="frameworkfixture.exe", cls="#32770", id=147)
    _, controls = s.children(hwnd=dialog["hwnd"])
    by_id = {c["id"]: c for c in controls}
    assert by_id[147]["text"] == "&Directories / Folder:"
    assert {1121, 1137, 1, 2, 1152}.issubset(by_id), sorted(by_id)
    # The file-name field lies right of the visible area.
    assert by_id[1152]["x"] >= dialog["cw"], (by_id[1152], dialog)
    assert by_id[1121]["x"] < dialog["cw"] and by_id[1137]["x"] < dialog["cw"]
    s.screenshot("browse")
    s.click(hwnd=dialog["hwnd"], id=2)
    wait_status(s, "browse: cancel")

    s.click(**W, id=109)
    dialog, _ = s.wait_window(exe="frameworkfixture.exe", cls="#32770", id=147)
    s.set_text("C:\\windows\\win.ini", hwnd=dialog["hwnd"], id=1152)
    s.click(hwnd=dialog["hwnd"], id=1)
    s.wait_until(lambda: status(s).lower() == "browse: c:\\windows\\win.ini",
                 what=lambda: f"the chosen path (status {status(s)!r})")
    finish(s, program)
