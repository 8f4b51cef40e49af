"""Faults injected under Wine: planted working files, full disks, a
read-only or busy destination, a missing or read-only temporary folder, a
setup that goes while its wizard is open. Each
ends with a clear message, a non-zero exit code where the work failed, and
nothing on drive C: changed outside the destination, the temporary folder
and the program groups. (Wine's windows need its desktop process, which is
also the program-group service: the client's messages without a service
are tested with a console program, test_program_groups.py.)"""

import os
import stat

from kelvo_wine import time_limit
from setup_package import blank_record, demo_setup
from test_install import DIST, expected_files, installed_files, put_setup
from wizard_pages import (APP, CONFIRMATION, OPTIONS, PRESENTATION, START, UNINSTALL_CAPTION,
                          UNINSTALL_DONE, Wizard)

TEMP = "windows/temp"
GROUPS = "users"  # the Start Menu's groups live in the user's profile


def start(s, setup, folder=DIST):
    exe, exe_bytes = put_setup(s, setup, folder)
    return s.start(exe, cwd=folder), Wizard(s), exe_bytes


def to_start_page(s, setup, destination, folder=DIST, mode="full"):
    program, wizard, exe_bytes = start(s, setup, folder)
    wizard.through_to_start(destination, "Demo App", mode)
    return program, wizard, exe_bytes


def failure(s, program, *parts, code=1):
    """The failure's message holds every part; the exit code is `code`."""
    box = s.message_box(exe=APP, timeout=60)
    for part in parts:
        assert part in box["text"], box
    s.screenshot("failure")
    s.press("OK", exe=APP)
    assert program.wait(30) == code
    return box["text"]


def untouched(s, before, *allowed):
    """Nothing changed on C: but under `allowed` (and the temporary folder)."""
    s.close_explorer_windows()
    # DIST: where the tests put the setup, written anew before each run.
    changed = s.changes(before, s.snapshot(), (TEMP, "dist") + allowed)
    assert not changed, changed


@time_limit(240)
def test_files_planted_in_the_shared_temporary_folder_are_never_used(s):
    setup = demo_setup(s.root)
    temp = s.temp_dir
    # Another user's traps under every working-file name, and the setup's own.
    planted = {"kelvo.se": b"#DIR_DEST C:\\windows\\\r\n", "apend.se": b"evil.exe", "cur.se": b"C:\\windows",
               "modo.se": b"U", "uninstall.se": b"Demo@App\r\nC:\\\r\n", "licen.txt": b"planted",
               APP: b"MZ planted program"}
    for name, data in planted.items():
        (temp / name).write_bytes(data)
    (temp / "kelvo.bmp").mkdir()
    (temp / "pres.txt").symlink_to(s.drive_c / "windows" / "win.ini")
    os.chmod(temp / APP, stat.S_IREAD)
    holder = s.start(s.layout.win64_file("tests/e2e/fixtures/holdfile.exe"), [s.to_windows(temp / "uninstall.s_")])
    s.wait_until(lambda: "held" in holder.stdout(), what="the file held")
    win_ini = (s.drive_c / "windows" / "win.ini").read_bytes()
    put_setup(s, setup)
    before = s.snapshot()

    program, wizard, exe_bytes = start(s, setup)
    wizard.wait_page(PRESENTATION)
    wizard.next()
    wizard.accept_agreement()
    wizard.wait_page(OPTIONS)
    # The script is this setup's own, not the planted one.
    assert wizard.option_controls()[50002]["text"] == setup.destination
    wizard.set_options("C:\\Apps\\Planted", "Demo App", "full")
    wizard.next()
    wizard.wait_page(START)
    wizard.next()
    assert program.wait(60) == 0
    expected = expected_files(setup, "full", exe_bytes)
    expected["uninstall.s_"] = b"Demo@App\r\nC:\\Apps\\Planted\\"
    assert installed_files(s.to_linux("C:\\Apps\\Planted")) == expected

    first = s.start("C:\\Apps\\Planted\\" + APP, cwd="C:\\Apps\\Planted")
    assert first.wait(30) == 0
    uninstall = Wizard(s, UNINSTALL_CAPTION + setup.group)
    uninstall.wait_page(CONFIRMATION)
    uninstall.next()
    assert s.message_box(exe=APP, title="Notice!", timeout=60)["text"] == UNINSTALL_DONE
    s.press("OK", exe=APP, title="Notice!")
    assert not s.to_linux("C:\\Apps\\Planted").exists()
    # Every trap is where it was, as it was: never read, run or written.
    for name, data in planted.items():
        assert (temp / name).read_bytes() == data, name
    assert (temp / "kelvo.bmp").is_dir() and not any((temp / "kelvo.bmp").iterdir())
    assert (s.drive_c / "windows" / "win.ini").read_bytes() == win_ini
    after = s.snapshot()
    trap_names = set(planted) | {"kelvo.bmp", "pres.txt", "uninstall.s_"}
    for name in trap_names:
        assert before.get(f"{TEMP}/{name}") == after.get(f"{TEMP}/{name}"), name
    untouched(s, before, GROUPS)  # the destination's parent, which it made, goes too


@time_limit(300)
def test_a_full_disk_at_the_start_the_middle_and_the_end_of_an_extraction(s):
    setup = demo_setup(s.root)
    setup.records.insert(0, blank_record("C:\\KELVO\\last.bin", 2 << 20))  # extracted last
    setup.records.insert(1, blank_record("C:\\KELVO\\middle.bin", 2 << 20))
    exe_size = len(put_setup(s, setup)[1])
    cases = [
        # drive size, what fails first, what must be there afterwards
        (64 << 10, 'Can\'t write "setup.exe"', ["modo.se"]),
        (exe_size + (1 << 20), "Can't install \"middle.bin\"", [APP, "modo.se"]),
        (exe_size + (3 << 20), "Can't install \"last.bin\"", [APP, "modo.se", "middle.bin"]),
    ]
    for number, (size, message, present) in enumerate(cases):
        letter = "EFG"[number]
        s.small_drive(letter, size)
        put_setup(s, setup)
        before = s.snapshot()
        program, wizard, _ = to_start_page(s, setup, f"{letter}:\\Full")
        wizard.next()
        failure(s, program, message)
        root = s.to_linux(f"{letter}:\\Full")
        found = sorted(p.name for p in root.iterdir()) if root.exists() else []
        for name in present:
            assert name in found, (message, found)
        assert "last.bin" not in found, "a file that could not be written whole is not left"
        assert "uninstall.s_" not in found
        untouched(s, before)


@time_limit(200)
def test_a_read_only_or_busy_destination(s):
    setup = demo_setup(s.root)
    put_setup(s, setup)
    locked = s.small_drive("R", 1 << 20, ["Locked"], read_only=True) / "Locked"
    before = s.snapshot()
    program, wizard, _ = to_start_page(s, setup, "R:\\Locked")
    wizard.next()
    failure(s, program, 'The destination folder "R:\\Locked\\" cannot be written to',
            "start the setup as an administrator", "Nothing has been installed.")
    assert list(locked.iterdir()) == []
    untouched(s, before)

    # A file of the destination that another program holds open.
    program, wizard, _ = to_start_page(s, setup, "C:\\Busy")
    wizard.next()
    assert program.wait(60) == 0
    s.close_explorer_windows()
    holder = s.start(s.layout.win64_file("tests/e2e/fixtures/holdfile.exe"), ["C:\\Busy\\demo.exe"])
    s.wait_until(lambda: "held" in holder.stdout(), what="the file held")
    program, wizard, _ = to_start_page(s, setup, "C:\\Busy")
    wizard.next()
    failure(s, program, 'Can\'t install "demo.exe"', "another program may be using it", "incomplete")


@time_limit(200)
def test_a_missing_or_read_only_temporary_folder(s):
    setup = demo_setup(s.root)
    exe, _ = put_setup(s, setup)
    temp = s.temp_dir
    for fault in ("missing", "read-only"):
        if fault == "missing":
            temp.rename(temp.with_name("temp-away"))
        else:
            temp.with_name("temp-away").rename(temp)
            s.mount_tmpfs(temp, 1 << 20, read_only=True)
        before = s.snapshot()
        program = s.start(exe, cwd=DIST)
        failure(s, program, "Can't create a working folder in", "The temporary folder must exist and be writable")
        untouched(s, before)


@time_limit(200)
def test_the_setup_gone_or_cut_short_while_its_wizard_is_open(s):
    for fault in ("deleted", "truncated"):
        setup = demo_setup(s.root)
        folder = f"C:\\dist-{fault}"
        program, wizard, exe_bytes = to_start_page(s, setup, "C:\\Apps\\Gone", folder)
        exe_bytes = s.to_linux(f"{folder}\\{APP}").read_bytes()
        exe = s.to_linux(f"{folder}\\{APP}")
        if fault == "deleted":
            exe.unlink()
        else:
            exe.write_bytes(exe_bytes[:-1000])
        before = s.snapshot()
        wizard.next()
        failure(s, program, "Nothing has been installed" if fault == "deleted" else "damaged")
        assert not s.to_linux("C:\\Apps\\Gone").exists()
        untouched(s, before)
