"""Installing and uninstalling for real under Wine: setups written here
(setup_package.py) behind the 64-bit kelvo.exe, driven through the wizard,
and the results checked in the prefix: the files, the working files, the
program group that Wine's shell keeps as a Start Menu folder."""

from kelvo_wine import time_limit
from setup_package import Record, blank_record, demo_setup
from wizard_pages import (APP, CONFIRMATION, INSTALL_CAPTION, PROGRESS_TITLE, START, UNINSTALL_CAPTION,
                          UNINSTALL_DONE, NEXT, Wizard, run_folders, working_files)

DIST = "C:\\dist"


def put_setup(s, setup, folder=DIST):
    local = s.root / APP
    setup.write(s.layout.win64_file("app/kelvo.exe"), local)
    return s.put(local, f"{folder}\\{APP}"), local.read_bytes()


RECORD = "installed.s_"


def installed_files(root):
    """Relative path -> bytes of every file below `root`, but the record of
    what was installed (see `record_of`)."""
    return {str(p.relative_to(root)).replace("/", "\\"): p.read_bytes()
            for p in sorted(root.rglob("*")) if p.is_file() and str(p.relative_to(root)) != RECORD}


def record_of(root):
    """The entries (kind letter, name) of the record an installation keeps
    in `root`; None when there is none."""
    path = root / RECORD
    if not path.exists():
        return None
    lines = path.read_bytes().decode("cp1252").split("\r\n")
    assert lines[0] == "Kelvo installed 1", lines[:1]
    return [(line[0], line[2:]) for line in lines[1:] if line]


def expected_files(setup, mode, exe_bytes):
    letter = {"full": 1, "typical": 2, "minimal": 3}[mode]
    files = {r.path[len(setup.source_folder):]: r.data for r in setup.records if r.flags[letter] != "X"}
    files.update({APP: exe_bytes, "modo.se": b"U"})
    return files


def install(s, setup, destination, group, mode, folder=DIST):
    """Runs the wizard through to the end; returns (exit code, setup bytes)."""
    exe, exe_bytes = put_setup(s, setup, folder)
    program = s.start(exe, cwd=folder)
    wizard = Wizard(s)
    wizard.through_to_start(destination, group, mode)
    wizard.next()  # "Start !"
    return program.wait(60), exe_bytes


@time_limit(240)
def test_install_in_each_mode_then_uninstall(s):
    setup = demo_setup(s.root)
    for number, mode in enumerate(["full", "typical", "minimal"]):
        destination = f"C:\\Program Files\\Demo {mode}"
        group = f"Demo {mode.title()} App"
        code, exe_bytes = install(s, setup, destination, group, mode)
        assert code == 0
        s.close_explorer_windows()
        root = s.to_linux(destination)
        expected = expected_files(setup, mode, exe_bytes)
        expected["uninstall.s_"] = f"Demo@{mode.title()}@App\r\n{destination}\\".encode()
        assert installed_files(root) == expected
        # The run's working files went with its folder.
        assert run_folders(s) == []
        folder, items = s.group_items(group)
        titles = sorted(item["item"] for item in items)
        assert titles == sorted([r.title for r in setup.records if r.flags[0] == "G"] + ["Uninstall"]), items
        uninstall_item = [i for i in items if i["item"] == "Uninstall"][0]
        assert uninstall_item["target"].lower() == f"{destination}\\{APP}".lower(), uninstall_item
        assert uninstall_item["icon-index"] == 58, uninstall_item
        assert uninstall_item["icon"].lower().endswith("\\system\\shell32.dll"), uninstall_item

    # The installed copy uninstalls: it relaunches from the temporary folder.
    destination = "C:\\Program Files\\Demo typical"
    first = s.start(f"{destination}\\{APP}", cwd=destination)
    assert first.wait(30) == 0
    # The caption names the script's group, whatever group was chosen.
    wizard = Wizard(s, UNINSTALL_CAPTION + setup.group)
    wizard.wait_page(CONFIRMATION)
    s.screenshot("uninstall-confirmation")
    wizard.next()
    box = s.message_box(exe=APP, title="Notice!")
    assert box["text"] == UNINSTALL_DONE and box["buttons"] == "OK", box
    s.press("OK", exe=APP, title="Notice!")
    s.wait_gone(exe=APP, title=UNINSTALL_CAPTION + setup.group)
    assert not s.to_linux(destination).exists()
    assert "Demo Typical App" not in s.groups()
    assert "Demo Full App" in s.groups()
    # Only the relaunched copy's folder stays, with the copy that ran.
    assert [sorted(p.name for p in f.iterdir()) for f in run_folders(s)] == [[APP]]


def start_install(s, setup, destination, group="Demo App", mode="full", folder=DIST):
    """Starts the setup and takes the wizard to its start page; returns
    (program, wizard, setup bytes)."""
    exe, exe_bytes = put_setup(s, setup, folder)
    program = s.start(exe, cwd=folder)
    wizard = Wizard(s)
    wizard.through_to_start(destination, group, mode)
    return program, wizard, exe_bytes


def expect_failure(s, program, *parts):
    """The one message box the failure shows holds every part; exit code 1."""
    box = s.message_box(exe=APP, timeout=60)
    for part in parts:
        assert part in box["text"], box
    s.screenshot("failure")
    s.press("OK", exe=APP)
    assert program.wait(30) == 1
    return box["text"]


@time_limit(180)
def test_cancel_inside_a_large_member_keeps_what_was_installed(s):
    setup = demo_setup(s.root)
    # Extraction runs from the last record to the first: the small files
    # come out first, then the large one, which is canceled on its way.
    setup.records.insert(0, blank_record("C:\\KELVO\\data\\big.bin", 600 << 20))
    destination = "C:\\Apps\\Cancel"
    program, wizard, _ = start_install(s, setup, destination)
    wizard.next()
    dialog, cancel = s.wait_window(exe=APP, title=PROGRESS_TITLE, id=2, timeout=30)
    s.wait_until(lambda: s.to_linux(destination + "\\data\\big.bin").exists(), timeout=30,
                 what="the large file being written")
    s.click(hwnd=dialog["hwnd"], id=2)
    assert program.wait(60) == 0
    root = s.to_linux(destination)
    assert (root / "demo.exe").read_bytes() == setup.records[1].data
    assert (root / "modo.se").read_bytes() == b"U"
    assert not (root / "data" / "big.bin").exists(), "no half file is left"
    assert not (root / "uninstall.s_").exists()
    assert not run_folders(s), "canceled: the working files and their folder are removed"


@time_limit(180)
def test_progress_dialog_follows_a_large_member(s):
    setup = demo_setup(s.root)
    setup.records.insert(0, blank_record("C:\\KELVO\\data\\big.bin", 400 << 20, flags="XFXX"))
    destination = "C:\\Apps\\Progress"
    program, wizard, _ = start_install(s, setup, destination, mode="full")
    wizard.next()
    dialog, _ = s.wait_window(exe=APP, title=PROGRESS_TITLE, id=2, timeout=30)
    _, controls = s.children(hwnd=dialog["hwnd"])
    lines = {c["id"]: c["text"] for c in controls}
    assert lines[40002] == "Extracting file:"
    s.screenshot("progress")
    # Esc is Cancel, and Cancel only records the wish: the installation
    # stops, the dialog never closes by itself first.
    assert program.wait(60) == 0
    assert (s.to_linux(destination) / "data" / "big.bin").stat().st_size == 400 << 20
    # The start page stayed behind the dialog until the end.
    assert wizard is not None


@time_limit(120)
def test_damaged_member_is_named_and_the_installation_fails(s):
    setup = demo_setup(s.root)
    readme = setup.records[1]
    readme.size += 1  # the record promises a byte more than the member holds
    destination = "C:\\Apps\\Damaged"
    program, wizard, _ = start_install(s, setup, destination)
    wizard.next()
    text = expect_failure(s, program, "The setup is damaged", "read me.txt", "The installation is incomplete")
    assert destination in text
    root = s.to_linux(destination)
    assert not (root / "Docs" / "read me.txt").exists() or True
    assert (root / "modo.se").exists()
    assert not (root / "uninstall.s_").exists()


@time_limit(120)
def test_full_disk_is_reported_never_success(s):
    s.small_drive("E", 1 << 20)
    setup = demo_setup(s.root)
    setup.records.insert(0, blank_record("C:\\KELVO\\big.bin", 3 << 20))
    program, wizard, _ = start_install(s, setup, "E:\\Full")
    wizard.next()
    expect_failure(s, program, "Can't install \"big.bin\"", "The installation is incomplete")
    root = s.to_linux("E:\\Full")
    assert not (root / "big.bin").exists(), "a half file goes"
    assert (root / "demo.exe").exists()


@time_limit(120)
def test_a_script_that_leads_outside_the_destination_installs_nothing(s):
    # A drive inside a name is refused for the ":" it holds, before it could lead anywhere.
    for hostile, why in [("C:\\KELVO\\..\\evil.txt", "outside the destination folder"),
                         ("C:\\KELVO\\sub\\..\\..\\evil.txt", "outside the destination folder"),
                         ("C:\\KELVOC:\\evil.txt", 'holds ":"')]:
        setup = demo_setup(s.root)
        setup.records.insert(0, Record(hostile, b"evil", "_", "XFTM"))
        destination = "C:\\Apps\\Hostile"
        program, wizard, _ = start_install(s, setup, destination)
        wizard.next()
        expect_failure(s, program, why, "Nothing has been installed")
        assert not s.to_linux(destination).exists()
        assert not s.to_linux("C:\\Apps\\evil.txt").exists()
        assert not s.to_linux("C:\\evil.txt").exists()


def start_uninstaller(s, setup, folder, uninstall_data):
    """The setup as an installed copy in `folder` with modo.se "U" and the
    given uninstall.s_ (None: none); returns the relaunched copy's wizard.
    Started from the temporary folder, it is the relaunched copy itself."""
    exe, _ = put_setup(s, setup, folder)
    s.to_linux(f"{folder}\\modo.se").write_bytes(b"U")
    if uninstall_data is not None:
        s.to_linux(f"{folder}\\uninstall.s_").write_bytes(uninstall_data)
    first = s.start(exe, cwd=folder)
    if not str(s.to_linux(folder)).startswith(str(s.temp_dir)):
        assert first.wait(30) == 0
    wizard = Wizard(s, UNINSTALL_CAPTION + setup.group)
    wizard.wait_page(CONFIRMATION)
    return wizard


@time_limit(180)
def test_uninstaller_deletes_nothing_on_damaged_data_or_a_folder_it_must_not_delete(s):
    setup = demo_setup(s.root)
    victim = s.to_linux("C:\\") / "victim.txt"
    victim.write_bytes(b"keep me")
    outside = s.to_linux("C:\\") / "outside"
    outside.mkdir()
    (outside / "data.txt").write_bytes(b"not ours")
    cases = [
        (b"Demo@App", "holds no the destination folder"),
        (b"\r\nC:\\Apps\\x\\", "holds no the program group"),
        (b"Demo@App\r\nC:\\", "root of a drive"),
        (b"Demo@App\r\nC:\\.\\", "root of a drive"),
        (b"Demo@App\r\nC:\\Apps\\..\\", "root of a drive"),
        (b"Demo@App\r\nC:\\windows\\", "part of the system"),
        (b"Demo@App\r\nC:\\WINDOWS.\\system32\\", "part of the system"),
        (b"Demo@App\r\n.\\", "part of the system"),  # the current folder: the temporary one
        (b"Demo@App\r\nC:\\users\\", "folder of the system"),
        # A name that would end the group command and start another.
        (b"x)][DeleteGroup(Accessories\r\nC:\\Apps\\x\\", "line for the program group's name is damaged"),
    ]
    for number, (data, reason) in enumerate(cases):
        folder = f"C:\\Apps\\Installed{number}"
        wizard = start_uninstaller(s, setup, folder, data)
        wizard.next()
        box = s.message_box(exe=APP, timeout=30)
        assert "Nothing has been removed." in box["text"], (data, box)
        assert reason.replace("no the", "no") in box["text"] or reason in box["text"], (data, box)
        s.press("OK", exe=APP)
        s.wait_gone(exe=APP, title=UNINSTALL_CAPTION + setup.group)
        assert s.to_linux(f"{folder}\\{APP}").exists()
        assert victim.read_bytes() == b"keep me"
        assert (s.windows_dir / "system32").exists()
    s.screenshot("last-refusal")

    # A link inside the tree is never followed: what it leads to stays, and
    # so does the link, which the installation did not make; the uninstaller
    # says so.
    folder = "C:\\Apps\\Linked"
    wizard = start_uninstaller(s, setup, folder, b"Demo@App\r\nC:\\Apps\\Linked\\")
    (s.to_linux(folder) / "shortcut").symlink_to(outside)
    wizard.next()
    box = s.message_box(exe=APP, timeout=30)
    assert (outside / "data.txt").read_bytes() == b"not ours"
    assert box["text"].startswith(UNINSTALL_DONE), box
    assert f'The folder "{folder}\\" stays' in box["text"] and '"shortcut' in box["text"], box
    s.press("OK", exe=APP)
    assert sorted(p.name for p in s.to_linux(folder).iterdir()) == ["shortcut"]


@time_limit(120)
def test_uninstaller_without_its_data_deletes_nothing(s):
    setup = demo_setup(s.root)
    # Started in the temporary folder it is the relaunched copy, and no
    # uninstall.se lies there.
    wizard = start_uninstaller(s, setup, "C:\\windows\\TEMP\\kelvo-0000beef", None)
    wizard.next()
    box = s.message_box(exe=APP, timeout=30)
    assert 'The uninstallation data "uninstall.se" is missing or damaged' in box["text"], box
    assert "Nothing has been removed." in box["text"]
    s.press("OK", exe=APP)
    assert (s.temp_dir / "kelvo-0000beef" / APP).exists()
