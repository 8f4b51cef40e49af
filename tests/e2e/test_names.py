"""Names a setup cannot store and read back unchanged, under Wine: a group
name that its stored form would turn into the user's own group, and
records naming a device. Each is refused before anything is written, and
a listing of drive C: taken before and after shows nothing changed
outside the temporary folder and the folder the setup lies in."""

from kelvo_wine import time_limit
from setup_package import Record, demo_setup
from test_install import DIST, put_setup, start_install
from wizard_pages import APP

TEMP = "windows/temp"


def unchanged(s, before):
    """Nothing on C: changed but the temporary folder and DIST."""
    s.close_explorer_windows()
    changed = s.changes(before, s.snapshot(), (TEMP, "dist"))
    assert not changed, changed


@time_limit(240)
def test_a_group_name_that_would_come_back_as_the_users_own_is_refused(s):
    # The user's own group "My Apps", with what it holds.
    own = s.programs_dir / "My Apps"
    own.mkdir(parents=True, exist_ok=True)
    (own / "notes.txt").write_bytes(b"the user's own")
    setup = demo_setup(s.root)
    exe, _ = put_setup(s, setup)
    before = s.snapshot()
    # Given as an argument: a wrong argument (exit code 2), told before the
    # setup reads or writes anything.
    for group, reason in (("My@Apps", 'cannot hold "@"'), ("My Apps.", "ends with a dot"),
                          ("CON", "reserves for a device"), ("g" * 241, "has 241 characters")):
        program = s.run(exe, ["/S", f"/GROUP={group}"], cwd=DIST)
        assert program.exit_code == 2, (group, program.exit_code, program.stderr())
        err = program.stderr()
        assert "program group's name" in err and reason in err, (group, err)
        assert not s.windows(exe=APP)
    unchanged(s, before)
    assert (own / "notes.txt").read_bytes() == b"the user's own"
    assert "My Apps" in s.groups()

    # The script's own group: the setup is damaged (exit code 1), also for
    # the wizard, and nothing is installed.
    setup.group = "My@Apps"
    exe, _ = put_setup(s, setup)
    before = s.snapshot()
    program = s.run(exe, ["/S"], cwd=DIST)
    assert program.exit_code == 1, program.stderr()
    assert "The setup is damaged" in program.stderr() and 'cannot hold "@"' in program.stderr(), program.stderr()
    wizard = s.start(exe, cwd=DIST)
    box = s.message_box(exe=APP, timeout=60)
    assert "The setup is damaged" in box["text"] and "Nothing has been installed." in box["text"], box
    s.screenshot("damaged-group")
    s.press("OK", exe=APP)
    assert wizard.wait(30) == 1
    unchanged(s, before)
    assert not s.to_linux(setup.destination).exists()
    assert (own / "notes.txt").read_bytes() == b"the user's own"


@time_limit(240)
def test_a_record_naming_a_device_writes_nothing(s):
    # The hostile record first in the script: extracted last, after the
    # copy of the setup and every other file, were it not refused first.
    for hostile in ("C:\\KELVO\\CON", "C:\\KELVO\\sub\\nul.txt", "C:\\KELVO\\Com1\\x.dll"):
        setup = demo_setup(s.root)
        setup.records.insert(0, Record(hostile, b"device", "_", "XFTM"))
        exe, _ = put_setup(s, setup)
        destination = "C:\\Apps\\Devices"
        before = s.snapshot()
        program = s.run(exe, ["/S", f"/D={destination}"], cwd=DIST)
        assert program.exit_code == 1, (hostile, program.stderr())
        err = program.stderr()
        assert "reserves for a device" in err and "Nothing has been installed." in err, (hostile, err)
        unchanged(s, before)
        assert not s.to_linux(destination).exists()

    # Through the wizard: the same reason in a box, nothing written.
    setup = demo_setup(s.root)
    setup.records.insert(0, Record("C:\\KELVO\\CON", b"device", "_", "XFTM"))
    before = s.snapshot()
    program, wizard, _ = start_install(s, setup, "C:\\Apps\\Devices")
    wizard.next()  # "Start !"
    box = s.message_box(exe=APP, timeout=60)
    assert 'file 1 ("CON") holds "CON", a name Windows reserves for a device' in box["text"], box
    assert "Nothing has been installed." in box["text"], box
    s.screenshot("device-record")
    s.press("OK", exe=APP)
    assert program.wait(30) == 1
    unchanged(s, before)
    assert not s.to_linux("C:\\Apps\\Devices").exists()
