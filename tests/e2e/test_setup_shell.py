"""The setup program's shell under Wine: start-up and its working files, the
main window, Cancel and About, the uninstaller's relaunch, the bitmap view's
messages and colours (run-length coded bitmaps too), and a damaged package. Packages are built here
(setup_package.py) behind the 64-bit kelvo.exe."""

import subprocess

from kelvo_wine import time_limit
from pictures import screen_area, screenshot_until
from setup_package import Record, bmp, demo_setup, run_length_coded
from wizard_pages import (run_folders, working_files, AGREEMENT, APP, BACK, BUTTONS, CANCEL_TEXT, DEST_FIELD, INSTALL_CAPTION, NEXT,
                          OPTIONS, PRESENTATION, START, UNINSTALL_CAPTION, Wizard)

LT_GRAY, GRAY, WHITE = (192, 192, 192), (128, 128, 128), (255, 255, 255)
# The application object has no name, so the bitmap view's messages carry a
# null caption, which the system shows as its default one.
NO_CAPTION = "Error"


def stub(s):
    return s.layout.win64_file("app/kelvo.exe")


def start_setup(s, setup, folder="C:\\dist", extra=None):
    """Writes `setup` behind kelvo.exe as setup.exe into `folder` (with the
    files of `extra`: name -> bytes), starts it from that folder."""
    local = s.root / "setup.exe"
    setup.write(stub(s), local)
    exe = s.put(local, f"{folder}\\{APP}")
    for name, data in (extra or {}).items():
        target = s.to_linux(f"{folder}\\{name}")
        target.write_bytes(data)
    return s.start(exe, cwd=folder)


def temp_file(s, name):
    """A working file of the newest run."""
    return (working_files(s) / name).read_bytes()


def pixel(shot, x, y):
    """The (r, g, b) of a screenshot's pixel."""
    out = subprocess.run(["convert", str(shot), "-crop", f"1x1+{x}+{y}", "-depth", "8", "txt:-"],
                         check=True, capture_output=True, text=True, timeout=30).stdout
    values = out.splitlines()[-1].split("(")[1].split(")")[0].split(",")
    return tuple(int(float(v)) for v in values[:3])


def main_window(s, caption=INSTALL_CAPTION, timeout=20):
    return s.wait_window(exe=APP, title=caption, id=51004, timeout=timeout)[0]


def cancel_with_yes(s, caption=INSTALL_CAPTION):
    s.click(exe=APP, title=caption, id=51002)
    box = s.message_box(exe=APP, title="Application Canceled!")
    assert box["text"] == CANCEL_TEXT, box
    s.press("YES", exe=APP, title="Application Canceled!")
    s.wait_gone(exe=APP, title=caption)


@time_limit(90)
def test_startup_writes_working_files_and_shows_the_wizard(s):
    setup = demo_setup(s.root)
    program = start_setup(s, setup)
    window = main_window(s)

    assert temp_file(s, "apend.se") == b"setup.exe"
    assert temp_file(s, "cur.se") == b"C:\\dist"
    assert temp_file(s, "kelvo.se") == setup.script()
    by_path = {r.path: r.data for r in setup.records}
    assert temp_file(s, "kelvo.bmp") == by_path[setup.bitmap]
    assert temp_file(s, "pres.txt") == by_path[setup.presentation]
    assert temp_file(s, "licen.txt") == by_path[setup.agreement]
    assert sorted(p.name for p in working_files(s).iterdir()) == sorted(
        ["apend.se", "cur.se", "kelvo.se", "kelvo.bmp", "pres.txt", "licen.txt"])
    # Nothing in the shared temporary folder itself.
    assert [p.name for p in s.temp_dir.iterdir() if p.is_file()] == []

    window, controls = s.children(hwnd=window["hwnd"])
    assert window["title"] == INSTALL_CAPTION
    assert (window["cw"], window["ch"]) == (600, 400), window
    buttons = {c["id"]: c for c in controls if c["class"] == "Button"}
    assert sorted(buttons) == sorted(BUTTONS)
    for control_id, (text, x) in BUTTONS.items():
        button = buttons[control_id]
        assert button["text"] == text
        assert (button["x"], button["y"], button["w"], button["h"]) == (x, 352, 100, 32), button
        # The presentation page disables Back, leaving its caption.
        assert button["enabled"] == (control_id != BACK) and button["visible"] == 1
    assert buttons[51001]["style"] & 0xF == 1, "Next is the default push button"
    views = [c for c in controls if c["class"] == "KelvoWindow" and (c["x"], c["y"]) == (10, 10)]
    assert [(v["w"], v["h"]) for v in views] == [(200, 150)], controls

    # The picture's corners, the background, the raised border and the
    # etched line above the buttons (two grey lines over two white ones).
    cx, cy = window["cx"], window["cy"]
    expected = {(10, 10): (0, 0, 128), (209, 159): (255, 215, 0),
                (100, 250): LT_GRAY,  # below the bitmap, left of the page
                (0, 200): WHITE, (1, 200): WHITE, (599, 200): GRAY, (300, 0): WHITE, (300, 399): GRAY}
    expected.update({(300, 400 - k): colour for k, colour in
                     zip((67, 66, 65, 64, 63, 62), (LT_GRAY, GRAY, GRAY, WHITE, WHITE, LT_GRAY))})
    shown = {}

    def painted(shot):
        shown.update({p: pixel(shot, cx + p[0], cy + p[1]) for p in expected})
        return shown == expected

    screenshot_until(s, "wizard", painted)
    assert shown == expected

    cancel_with_yes(s)
    assert program.wait(20) == 0


@time_limit(90)
def test_cancel_asks_and_no_keeps_the_window(s):
    program = start_setup(s, demo_setup(s.root))
    wizard = Wizard(s)
    wizard.wait_page(PRESENTATION)
    wizard.next()
    wizard.wait_page(AGREEMENT)
    # "No" is the agreement page's Cancel: it asks, and No keeps the page.
    s.click(exe=APP, title=INSTALL_CAPTION, id=51002)
    box = s.message_box(exe=APP, title="Application Canceled!")
    assert box["text"] == CANCEL_TEXT
    assert box["buttons"] == "YES,NO", box
    s.screenshot("cancel-question")
    s.press("NO", exe=APP, title="Application Canceled!")
    wizard.wait_page(AGREEMENT)
    assert program.running()
    # Back shows a new presentation page: Back disabled, its caption kept.
    wizard.back()
    wizard.wait_page(PRESENTATION)
    assert wizard.buttons()[BACK] == ("< Back", False)
    cancel_with_yes(s)
    assert program.wait(20) == 0


@time_limit(90)
def test_about_shows_dialog_6(s):
    program = start_setup(s, demo_setup(s.root))
    main_window(s)
    s.click(exe=APP, title=INSTALL_CAPTION, id=51004)
    dialog, ok = s.wait_window(exe=APP, title="About ...", id=1)
    assert dialog["class"] == "#32770"
    assert ok["text"] == "OK"
    # A modal pop-up with caption, system menu and modal frame, owned by
    # the wizard, which it disables while it is up.
    style = dialog["style"]
    for bit in (0x80000000, 0x00C00000, 0x00080000, 0x00000080):  # POPUP CAPTION SYSMENU MODALFRAME
        assert style & bit == bit, hex(style)
    assert dialog["owner"] == main_window(s)["hwnd"] or dialog["owner"] != 0, dialog
    assert not s.windows(exe=APP, title=INSTALL_CAPTION)[0]["enabled"]
    # 194 x 119 dialog units: in the proportions of its OK button's 50 x 14.
    assert abs(dialog["cw"] / ok["w"] - 194 / 50) < 0.1 and abs(dialog["ch"] / ok["h"] - 119 / 14) < 0.3, (dialog, ok)
    _, controls = s.children(hwnd=dialog["hwnd"])
    assert "Kelvo" in [c["text"] for c in controls]
    s.screenshot("about")
    s.click(hwnd=dialog["hwnd"], id=1)
    s.wait_gone(exe=APP, title="About ...")
    assert main_window(s)["enabled"]
    # The frame's own close ends the program without asking.
    s.close_window(exe=APP, title=INSTALL_CAPTION)
    s.wait_gone(exe=APP, title=INSTALL_CAPTION)
    assert program.wait(20) == 0


@time_limit(120)
def test_uninstaller_relaunches_from_the_temporary_folder(s):
    folder = "C:\\Program Files\\Demo App"
    uninstall = b"Demo@App\r\nC:\\Program Files\\Demo App\\"
    setup = demo_setup(s.root)
    first = start_setup(s, setup, folder, {"modo.se": b"U", "uninstall.s_": uninstall})
    assert first.wait(30) == 0
    window = main_window(s, UNINSTALL_CAPTION + "Demo App")
    assert window["pid"] != first.pid
    assert window["title"] == UNINSTALL_CAPTION + "Demo App"
    s.screenshot("uninstall")

    installed = s.to_linux(f"{folder}\\{APP}").read_bytes()
    image = stub(s).read_bytes()
    # One run folder: the copy of the program without its package, and
    # beside it only what the uninstaller reads and shows.
    folders = run_folders(s)
    assert len(folders) == 1, folders
    relaunch = folders[0]
    assert sorted(p.name for p in relaunch.iterdir()) == sorted(
        [APP, "modo.se", "uninstall.se", "kelvo.se", "kelvo.bmp", "pres.txt", "licen.txt", "apend.se", "cur.se"])
    copy = (relaunch / APP).read_bytes()
    assert len(copy) == len(image) < len(installed), (len(copy), len(image), len(installed))
    assert copy == installed[:len(copy)]
    assert (relaunch / "modo.se").read_bytes() == b"U"
    assert (relaunch / "uninstall.se").read_bytes() == uninstall
    by_path = {r.path: r.data for r in setup.records}
    assert (relaunch / "kelvo.se").read_bytes() == setup.script()
    assert (relaunch / "kelvo.bmp").read_bytes() == by_path[setup.bitmap]
    assert (relaunch / "pres.txt").read_bytes() == by_path[setup.presentation]
    assert (relaunch / "licen.txt").read_bytes() == by_path[setup.agreement]
    assert (relaunch / "cur.se").read_bytes().decode().lower() == s.to_windows(relaunch).lower()
    assert (relaunch / "apend.se").read_bytes() == b"setup.exe"
    assert [p.name for p in s.temp_dir.iterdir() if p.is_file()] == []
    cancel_with_yes(s, UNINSTALL_CAPTION + "Demo App")
    s.wait_no_process(APP)
    # Cancelled, the copy leaves nothing but its own image, which the
    # system keeps while it runs: that is scheduled for removal.
    left = [sorted(p.name for p in f.iterdir()) for f in run_folders(s)]
    assert left in ([], [[APP]]), left
    if left:
        assert_removal_scheduled(s, relaunch)
    assert s.to_linux(f"{folder}\\{APP}").read_bytes() == installed


def assert_removal_scheduled(s, folder):
    """The run folder `folder` and the copy in it are in the system's list
    of pending removals, or in the user's once-only logon entries."""
    windows = s.to_windows(folder)
    pending = s.run_wine(["reg", "query", "HKLM\\System\\CurrentControlSet\\Control\\Session Manager",
                          "/v", "PendingFileRenameOperations", s.layout.reg_view], "pending-removals")
    pending.wait(30)
    once = s.run_wine(["reg", "query", "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                       s.layout.reg_view],
                      "run-once")
    once.wait(30)
    text = "".join(s.log_path(f"{name}.out").read_text(errors="replace")
                   for name in ("pending-removals", "run-once")).lower()
    assert f"{windows}\\{APP}".lower() in text, text


@time_limit(120)
def test_mode_comes_from_the_first_character_of_modo_se(s):
    setup = demo_setup(s.root)
    uninstall = b"Demo@App\r\nC:\\somewhere\\"
    cases = [
        # modo.se, uninstall.s_ present, expected caption
        (b"\r\n  U", False, UNINSTALL_CAPTION + "Demo App"),  # the relaunched copy's case
        (b"u", True, INSTALL_CAPTION),
        (None, True, INSTALL_CAPTION),
        (b"XU", False, INSTALL_CAPTION),
    ]
    for number, (modo, with_uninstall, caption) in enumerate(cases):
        extra = {}
        if modo is not None:
            extra["modo.se"] = modo
        if with_uninstall:
            extra["uninstall.s_"] = uninstall
        folder = f"C:\\case{number}"
        program = start_setup(s, setup, folder, extra)
        main_window(s, caption)
        assert temp_file(s, "cur.se") == folder.encode()
        cancel_with_yes(s, caption)
        assert program.wait(20) == 0


@time_limit(90)
def test_one_record_in_two_display_roles_serves_both(s):
    setup = demo_setup(s.root)
    text = setup.records[3]
    setup.agreement = setup.presentation  # both texts name one file ...
    del setup.records[4]  # ... listed once
    program = start_setup(s, setup)
    main_window(s)
    assert temp_file(s, "pres.txt") == text.data
    assert temp_file(s, "licen.txt") == text.data
    assert temp_file(s, "kelvo.bmp") == setup.records[2].data
    cancel_with_yes(s)
    assert program.wait(20) == 0


@time_limit(120)
def test_bitmap_view_messages(s):
    # No bitmap in the package: the view says so and stays empty.
    setup = demo_setup(s.root)
    setup.bitmap = ""
    del setup.records[2]
    program = start_setup(s, setup, "C:\\nobitmap")
    box = s.message_box(exe=APP, title=NO_CAPTION)
    assert box["text"] == "Cannot open bitmap file" and box["buttons"] == "OK", box
    s.screenshot("no-bitmap")
    s.press("OK", exe=APP, title=NO_CAPTION)
    window = main_window(s)
    _, controls = s.children(hwnd=window["hwnd"])
    assert not [c for c in controls if c["class"] == "KelvoWindow" and (c["x"], c["y"]) == (10, 10)
                and (c["w"], c["h"]) != (0, 0)]
    cancel_with_yes(s)
    assert program.wait(20) == 0

    # A 24-bit bitmap has no colour table: the default palette is used.
    setup = demo_setup(s.root, ["-size", "64x48", "gradient:red-blue", "-type", "TrueColor"])
    program = start_setup(s, setup, "C:\\truecolor")
    box = s.message_box(exe=APP, title=NO_CAPTION)
    assert box["text"] == "Dib has no color table, using default palette", box
    assert box["buttons"] == "OK", box
    s.press("OK", exe=APP, title=NO_CAPTION)
    window = main_window(s)
    red = (255, 0, 0)
    shot = screenshot_until(s, "truecolor", lambda shot: pixel(shot, window["cx"] + 10, window["cy"] + 10) == red)
    assert pixel(shot, window["cx"] + 10, window["cy"] + 10) == red
    cancel_with_yes(s)
    assert program.wait(20) == 0


@time_limit(120)
def test_two_colour_bitmaps_keep_their_colours_in_both_header_forms(s):
    two_colours = ["-size", "40x30", "xc:navy", "-fill", "yellow", "-draw", "rectangle 0,0 19,14",
                   "-type", "Palette", "-colors", "2"]
    for form in ("BMP3", "BMP2"):
        setup = demo_setup(s.root, two_colours, form)
        assert setup.records[2].data[14] == (40 if form == "BMP3" else 12)
        program = start_setup(s, setup, f"C:\\{form}")
        window = main_window(s)
        _, controls = s.children(hwnd=window["hwnd"])
        assert [(c["w"], c["h"]) for c in controls
                if c["class"] == "KelvoWindow" and (c["x"], c["y"]) == (10, 10)] == [(40, 30)]
        cx, cy = window["cx"], window["cy"]

        def corners(shot):
            return pixel(shot, cx + 10, cy + 10), pixel(shot, cx + 49, cy + 39)

        expected = ((255, 255, 0), (0, 0, 128))
        shot = screenshot_until(s, f"two-colours-{form}", lambda shot: corners(shot) == expected)
        assert corners(shot) == expected
        cancel_with_yes(s)
        assert program.wait(20) == 0


@time_limit(150)
def test_run_length_coded_bitmaps_show_their_plain_pixels(s):
    # Few colours at an odd width: ImageMagick codes the runs at 8 bits only,
    # and whole stored rows, padding included; setup_package codes 4 bits.
    shapes = ["-size", "45x30", "xc:navy", "-fill", "yellow", "-draw", "rectangle 0,0 19,14",
              "-fill", "red", "-draw", "rectangle 25,16 44,29", "+antialias", "-fill", "lime",
              "-draw", "line 0,29 44,0", "-type", "Palette"]
    plain = s.root / "plain.bmp"
    assert bmp(shapes + ["-compress", "none"], plain)[28] == 4
    expected = screen_area(plain, 0, 0, 45, 30)
    assert {expected[0][0], expected[29][44], expected[20][5]} == {(255, 255, 0), (255, 0, 0), (0, 0, 128)}

    coded8 = demo_setup(s.root, shapes + ["-compress", "RLE"])
    coded4 = demo_setup(s.root, shapes + ["-compress", "none"])
    coded4.records[2] = Record(coded4.bitmap, run_length_coded(coded4.records[2].data))
    for name, setup, bits, compression in (("RLE8", coded8, 8, 1), ("RLE4", coded4, 4, 2)):
        data = setup.records[2].data
        assert (data[28], data[30]) == (bits, compression), name
        program = start_setup(s, setup, f"C:\\{name}")
        window = main_window(s)
        _, controls = s.children(hwnd=window["hwnd"])
        assert [(c["w"], c["h"]) for c in controls
                if c["class"] == "KelvoWindow" and (c["x"], c["y"]) == (10, 10)] == [(45, 30)], name
        shot = screenshot_until(s, name, lambda shot: screen_area(
            shot, window["cx"] + 10, window["cy"] + 10, 45, 30) == expected)
        shown = screen_area(shot, window["cx"] + 10, window["cy"] + 10, 45, 30)
        unlike = [(x, y) for y in range(30) for x in range(45) if shown[y][x] != expected[y][x]]
        assert not unlike, f"{name}: {len(unlike)} pixels differ, first at {unlike[:5]}"
        cancel_with_yes(s)
        assert program.wait(20) == 0


@time_limit(90)
def test_damaged_setup_reports_and_fails(s):
    setup = demo_setup(s.root)
    local = s.root / "damaged.exe"
    setup.write(stub(s), local, integrity=False)  # what the reader itself sees
    data = bytearray(local.read_bytes())
    data[-4:] = (len(data) * 2).to_bytes(4, "little")  # a script larger than the file
    local.write_bytes(bytes(data))
    exe = s.put(local, f"C:\\dist\\{APP}")
    program = s.start(exe, cwd="C:\\dist")
    box = s.message_box(exe=APP)
    assert box["text"] == 'Damaged package: member "kelvo.se" lies outside the file.', box
    assert box["caption"] == "Error!", box
    s.screenshot("damaged")
    s.press("OK", exe=APP)
    assert program.wait(20) == 1
    assert not s.windows(exe=APP, title=INSTALL_CAPTION)


@time_limit(90)
def test_program_without_package_reports_and_fails(s):
    # The bare program, nothing appended: its own last bytes are no trailer.
    exe = s.put(stub(s), f"C:\\dist\\{APP}")
    program = s.start(exe, cwd="C:\\dist")
    box = s.message_box(exe=APP)
    assert box["text"] == 'Damaged package: member "kelvo.se" lies inside the program itself.', box
    s.press("OK", exe=APP)
    assert program.wait(20) == 1
    assert not s.windows(exe=APP, title=INSTALL_CAPTION)


@time_limit(120)
def test_started_by_its_full_name_from_another_folder_it_opens_itself(s):
    setup = demo_setup(s.root)
    local = s.root / APP
    setup.write(stub(s), local)
    exe = s.put(local, f"C:\\dist\\{APP}")
    program = s.start(exe, cwd="C:\\")
    main_window(s)
    # The package and the start folder are the program's own folder.
    assert temp_file(s, "cur.se") == b"C:\\dist"
    assert temp_file(s, "kelvo.se") == setup.script()
    cancel_with_yes(s)
    assert program.wait(20) == 0
    # Cancelled: its working files went with its run folder.
    assert run_folders(s) == []

    # The installed copy started so from elsewhere uninstalls, instead of
    # taking itself for a setup.
    folder = "C:\\Apps\\Demo"
    exe = s.put(local, f"{folder}\\{APP}")
    s.to_linux(f"{folder}\\modo.se").write_bytes(b"U")
    s.to_linux(f"{folder}\\uninstall.s_").write_bytes(b"Demo@App\r\nC:\\Apps\\Demo\\")
    first = s.start(exe, cwd="C:\\")
    assert first.wait(30) == 0
    main_window(s, UNINSTALL_CAPTION + "Demo App")
    cancel_with_yes(s, UNINSTALL_CAPTION + "Demo App")
    assert s.to_linux(f"{folder}\\{APP}").exists()


@time_limit(120)
def test_a_folder_the_code_page_cannot_name_still_holds_a_working_setup(s):
    setup = demo_setup(s.root)
    local = s.root / APP
    setup.write(stub(s), local)
    folder = "C:\\dist\\\u03a9\u03bc\u03ad\u03b3\u03b1 \u65e5\u672c"
    exe = s.put(local, f"{folder}\\{APP}")
    program = s.start(exe, cwd="C:\\dist")
    main_window(s)
    # The start folder comes in a form the 8-bit names can hold: the short
    # name, which leads to the same folder.
    start = temp_file(s, "cur.se")
    assert b"?" not in start and start.startswith(b"C:\\dist\\"), start
    assert b"~" in start, start
    assert temp_file(s, "kelvo.se") == setup.script()
    cancel_with_yes(s)
    assert program.wait(20) == 0


@time_limit(120)
def test_keyboard_drives_the_wizard(s):
    program = start_setup(s, demo_setup(s.root))
    wizard = Wizard(s)
    wizard.wait_page(PRESENTATION)
    # Enter presses the default button, Next; Esc is Cancel.
    s.xdotool("key", "Return")
    wizard.wait_page(AGREEMENT)
    s.xdotool("key", "Escape")
    box = s.message_box(exe=APP, title="Application Canceled!")
    assert box["text"] == CANCEL_TEXT
    s.press("NO", exe=APP, title="Application Canceled!")
    s.xdotool("key", "Return")
    wizard.wait_page(OPTIONS)
    # Tab goes through the buttons, then the page's controls in their order:
    # the destination field, Browse, the group field, the checked mode.
    s.xdotool("key", "--delay", "150", "Tab", "Tab", "Tab", "Tab", "Tab", "End", "x")
    s.wait_until(lambda: wizard.option_controls()[DEST_FIELD]["text"] == "C:\\Program Files\\Demo App\\x",
                 what="the destination typed into")
    s.xdotool("key", "--delay", "150", "Tab", "Tab", "Tab", "Left")
    s.wait_until(lambda: wizard.option_controls()["Typical"]["checked"] == 1, what="Typical checked by the arrow")
    assert wizard.option_controls()["Minimal"]["checked"] == 0
    s.screenshot("keyboard-options")
    s.xdotool("key", "Return")
    wizard.wait_page(START)
    cancel_with_yes(s)
    assert program.wait(20) == 0
