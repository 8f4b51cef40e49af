"""What an uninstallation removes, under Wine, each time comparing a
listing of drive C: before and after: only what the installation wrote
(the user's files in a shared destination stay, and the user is told),
the warning about a destination that already holds files, an upgrade
that takes the earlier installation over (its files no longer shipped,
its setup copy and its group go; the uninstallation removes both), and the application's name
in the setup's captions and messages."""

from kelvo_wine import time_limit
from setup_package import Record, demo_setup
from test_install import DIST, RECORD, installed_files, record_of
from wizard_pages import (ABOUT, APP, CANCEL, CANCEL_TITLE, CONFIRMATION, PRESENTATION, START,
                          UNINSTALL_DONE, Wizard)

TEMP = "windows/temp"
USERS = "users"  # the Start Menu's groups, which are checked one by one
USER_FILES = {"putty.exe": b"MZ the user's own program", "othertool\\notes.txt": b"the user's notes"}
NAME = "Demo Tools"
INSTALL_CAPTION = f'{NAME} - "Let The Kelvo Do The Work For You!"'
UNINSTALL_CAPTION = f"{NAME} - Uninstalling application: "
IDC_ABOUT_NAME = 101


def put_named(s, setup, name):
    local = s.root / name
    setup.write(s.layout.win64_file("app/kelvo.exe"), local)
    return s.put(local, f"{DIST}\\{name}"), local.read_bytes()


def put_user_files(s, folder):
    root = s.to_linux(folder)
    for name, data in USER_FILES.items():
        path = root / name.replace("\\", "/")
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
    return root


def unchanged(s, before):
    changed = s.changes(before, s.snapshot(), (TEMP, "dist", USERS))
    assert not changed, changed


def output(program):
    return program.stdout() + program.stderr()


@time_limit(300)
def test_a_shared_folder_keeps_the_users_files_and_the_setup_carries_the_name(s):
    setup = demo_setup(s.root)
    setup.app_name = NAME
    destination = "C:\\Tools"
    root = put_user_files(s, destination)
    exe, exe_bytes = put_named(s, setup, APP)
    before = s.snapshot()

    program = s.start(exe, cwd=DIST)
    wizard = Wizard(s, INSTALL_CAPTION)
    # The About box and the Cancel question name the application.
    wizard.wait_page(PRESENTATION)
    wizard.click(ABOUT)
    about, _ = s.wait_window(exe=APP, title=f"About {NAME}", id=IDC_ABOUT_NAME)
    _, controls = s.children(hwnd=about["hwnd"])
    assert {c["id"]: c["text"] for c in controls}[IDC_ABOUT_NAME] == NAME, controls
    s.click(hwnd=about["hwnd"], id=1)
    s.wait_gone(exe=APP, title=f"About {NAME}")
    wizard.click(CANCEL)
    box = s.message_box(exe=APP, title=CANCEL_TITLE)
    assert box["text"].startswith(f'"{NAME}" has been canceled.'), box
    s.press("NO", exe=APP, title=CANCEL_TITLE)

    wizard.next()
    wizard.accept_agreement()
    wizard.set_options(destination, "Demo App", "full")
    wizard.next()
    # The folder holds the user's files: asked first; "No" stays on the page.
    box = s.message_box(exe=APP, title="Installation Options")
    assert 'already holds files' in box["text"] and box["buttons"] == "YES,NO", box
    assert "C:\\Tools\\" in box["text"], box
    s.screenshot("folder-holds-files")
    s.press("NO", exe=APP, title="Installation Options")
    wizard.next()
    s.message_box(exe=APP, title="Installation Options")
    s.press("YES", exe=APP, title="Installation Options")
    wizard.wait_page(START)
    wizard.next()
    assert program.wait(60) == 0
    s.close_explorer_windows()
    installed = installed_files(root)
    for name, data in USER_FILES.items():
        assert installed[name] == data
    entries = record_of(root)
    assert ("S", APP) in entries and ("F", "demo.exe") in entries and ("D", "Docs") in entries, entries
    assert ("R", "") not in entries, "the folder was the user's"
    assert not any(name in USER_FILES for _, name in entries), entries

    first = s.start(f"{destination}\\{APP}", cwd=destination)
    assert first.wait(30) == 0
    wizard = Wizard(s, UNINSTALL_CAPTION + setup.group)
    wizard.wait_page(CONFIRMATION)
    wizard.next()
    box = s.message_box(exe=APP, title="Notice!")
    assert box["text"].startswith(UNINSTALL_DONE), box
    assert '"putty.exe"' in box["text"] and '"othertool\\notes.txt"' in box["text"], box
    s.press("OK", exe=APP, title="Notice!")
    s.wait_no_process(APP)
    assert installed_files(root) == USER_FILES
    assert not s.group_dir("Demo App").exists()
    unchanged(s, before)


def v1_setup(s):
    setup = demo_setup(s.root)
    setup.records.insert(1, Record("C:\\KELVO\\lib\\old.dll", b"MZ old library" * 30, "_", "XFTM"))
    return setup


def v2_setup(s):
    setup = demo_setup(s.root)
    setup.records[0] = Record("C:\\KELVO\\demo.exe", b"MZ demo program, version 2\r\n" * 50, "Demo App", "GFTM")
    setup.records.insert(1, Record("C:\\KELVO\\new\\added.txt", b"new in version 2", "_", "XFTM"))
    return setup


@time_limit(300)
def test_an_upgrade_takes_the_earlier_installation_over(s):
    destination = "C:\\Apps\\Demo"
    root = s.to_linux(destination)
    # The parent is there already: the record covers the destination itself.
    root.parent.mkdir(parents=True, exist_ok=True)
    v1, _ = put_named(s, v1_setup(s), "demo-1.0.exe")
    v2_files = v2_setup(s)
    v2, v2_bytes = put_named(s, v2_files, "demo-2.0.exe")
    before = s.snapshot()

    program = s.run(v1, ["/S", "/MODE=full", "/GROUP=Demo One", f"/D={destination}"], cwd=DIST)
    assert program.exit_code == 0, output(program)
    s.close_explorer_windows()
    assert (root / "lib" / "old.dll").exists() and (root / "demo-1.0.exe").exists()
    # Unattended, the group is made as the Start Menu folder, as the service would.
    _, items = s.group_items("Demo One")
    assert sorted(i["item"] for i in items) == ["Demo App", "Uninstall"], items

    program = s.run(v2, ["/S", "/MODE=full", "/GROUP=Demo Two", f"/D={destination}"], cwd=DIST)
    assert program.exit_code == 0, output(program)
    assert "already holds files" not in output(program), "an earlier installation is no one's other files"
    s.close_explorer_windows()
    installed = installed_files(root)
    assert sorted(installed) == sorted(["demo.exe", "Docs\\read me.txt", "new\\added.txt", "demo-2.0.exe",
                                        "modo.se", "uninstall.s_"]), sorted(installed)
    assert installed["demo.exe"] == v2_files.records[0].data and installed["demo-2.0.exe"] == v2_bytes
    assert not (root / "lib").exists(), "the folder only version 1 had goes once empty"
    assert s.group_dir("Demo Two").exists() and not s.group_dir("Demo One").exists()
    entries = record_of(root)
    assert ("R", "") in entries and ("G", "Demo One") in entries and ("G", "Demo Two") in entries, entries

    program = s.run(f"{destination}\\demo-2.0.exe", ["/S"], cwd=destination)
    assert program.exit_code == 0, output(program)
    s.wait_until(lambda: not root.exists(), timeout=60, what="the destination gone")
    s.wait_no_process("demo-2.0.exe")
    assert not s.group_dir("Demo One").exists() and not s.group_dir("Demo Two").exists()
    unchanged(s, before)


@time_limit(240)
def test_unattended_into_a_shared_folder_says_what_it_leaves(s):
    setup = demo_setup(s.root)
    destination = "C:\\Tools"
    root = put_user_files(s, destination)
    exe, _ = put_named(s, setup, APP)
    before = s.snapshot()
    program = s.run(exe, ["/S", "/GROUP=Tools Demo", f"/D={destination}"], cwd=DIST)
    assert program.exit_code == 0, output(program)
    assert "already holds files" in output(program), output(program)
    assert not s.windows(exe=APP), "no dialog"
    s.close_explorer_windows()
    assert (root / RECORD).exists()

    program = s.run(f"{destination}\\{APP}", ["/S"], cwd=destination)
    assert program.exit_code == 0, output(program)
    s.wait_until(lambda: not (root / APP).exists(), timeout=60, what="the setup copy gone")
    s.wait_no_process(APP)
    assert installed_files(root) == USER_FILES
    assert not (root / RECORD).exists()
    unchanged(s, before)


@time_limit(300)
def test_the_folders_made_above_the_destination_go_with_it_unless_they_hold_the_users_files(s):
    setup = demo_setup(s.root)
    exe, _ = put_named(s, setup, APP)
    top = "C:\\Kelvo Deep"
    destination = f"{top}\\B\\C"
    assert not s.to_linux(top).exists()
    before = s.snapshot()
    program = s.run(exe, ["/S", "/GROUP=Deep Demo", f"/D={destination}"], cwd=DIST)
    assert program.exit_code == 0, output(program)
    s.close_explorer_windows()
    root = s.to_linux(destination)
    # The folders it made, the outermost first, before the destination.
    assert record_of(root)[:3] == [("P", f"{top}\\"), ("P", f"{top}\\B\\"), ("R", "")], record_of(root)

    program = s.run(f"{destination}\\{APP}", ["/S"], cwd=destination)
    assert program.exit_code == 0, output(program)
    s.wait_until(lambda: not s.to_linux(top).exists(), timeout=60, what="the folders above gone")
    s.wait_no_process(APP)
    assert not s.group_dir("Deep Demo").exists()
    unchanged(s, before)

    # A file of the user's beside the destination keeps its folder and
    # what lies above; the folder between goes.
    program = s.run(exe, ["/S", "/GROUP=Deep Demo", f"/D={destination}"], cwd=DIST)
    assert program.exit_code == 0, output(program)
    s.close_explorer_windows()
    mine = s.to_linux(top) / "mine.txt"
    mine.write_bytes(b"the user's own")
    program = s.run(f"{destination}\\{APP}", ["/S"], cwd=destination)
    assert program.exit_code == 0, output(program)
    s.wait_until(lambda: not s.to_linux(f"{top}\\B").exists(), timeout=60, what="the folder between gone")
    s.wait_no_process(APP)
    assert mine.read_bytes() == b"the user's own"
    assert sorted(p.name for p in s.to_linux(top).iterdir()) == ["mine.txt"]
    assert f'The folder "{top}\\" stays: the setup did not put "mine.txt" there.' in output(program), \
        output(program)

    # A folder that was there before is never the installation's, even empty.
    mine.unlink()
    before = s.snapshot()
    program = s.run(exe, ["/S", "/GROUP=Deep Demo", f"/D={destination}"], cwd=DIST)
    assert program.exit_code == 0, output(program)
    s.close_explorer_windows()
    assert record_of(root)[:2] == [("P", f"{top}\\B\\"), ("R", "")], record_of(root)
    program = s.run(f"{destination}\\{APP}", ["/S"], cwd=destination)
    assert program.exit_code == 0, output(program)
    s.wait_until(lambda: not s.to_linux(f"{top}\\B").exists(), timeout=60, what="the folder between gone")
    s.wait_no_process(APP)
    assert s.to_linux(top).is_dir()
    unchanged(s, before)

    # A destination that cannot be made takes back the folders made on the
    # way to it: a drive with room for one folder only (its root and one
    # more inode).
    drive = s.small_drive("R", "1m,nr_inodes=2")
    program = s.run(exe, ["/S", "/GROUP=Deep Demo", "/D=R:\\A\\B\\C"], cwd=DIST)
    assert program.exit_code == 1, output(program)
    assert 'The destination folder "R:\\A\\B\\C\\" cannot be created' in output(program), output(program)
    assert "Nothing has been installed." in output(program), output(program)
    assert list(drive.iterdir()) == []
