"""Unattended installs under Wine: /S with /MODE, /GROUP and /D, the same
files, group and uninstall data as the wizard's, the entry in the list of
installed programs that Wine's own `uninstaller --list` reads, an
unattended uninstallation through the installed copy, bad arguments and a
destination that cannot be created; the folders the system keeps (every
profile it lists, the program files folders of every processor, short
names), and the access an elevated setup gives the folders it makes."""

import time

from kelvo_wine import parse_output, time_limit
from setup_package import demo_setup
from test_install import DIST, expected_files, installed_files, put_setup
from wizard_pages import APP

USAGE = "Usage: SETUP [/S] [/MODE=full|typical|minimal] [/GROUP=name] [/D=folder]"


def installed_programs(s):
    """The display names Wine's own reader of the list shows."""
    run = s.run_wine(["uninstaller", "--list"], f"uninstaller-{len(s._raw)}")
    assert run.wait(60) == 0
    out = s.log_path(f"uninstaller-{len(s._raw) - 1}.out").read_text(errors="replace")
    return [line.split("|||", 1)[1].strip() for line in out.splitlines() if "|||" in line]


@time_limit(300)
def test_silent_installs_in_each_mode_then_silent_uninstalls(s):
    setup = demo_setup(s.root)
    exe, exe_bytes = put_setup(s, setup)
    for mode in ("full", "typical", "minimal"):
        destination = f"C:\\Program Files\\Silent {mode}"
        group = f"Silent {mode.title()}"
        program = s.run(exe, ["/S", f"/MODE={mode}", f"/GROUP={group}", f"/D={destination}"], cwd=DIST)
        assert program.exit_code == 0, program.stderr()
        assert not s.windows(exe=APP), "no window at all"
        s.close_explorer_windows()
        expected = expected_files(setup, mode, exe_bytes)
        expected["uninstall.s_"] = f"{group.replace(' ', '@')}\r\n{destination}\\".encode()
        assert installed_files(s.to_linux(destination)) == expected
        _, items = s.group_items(group)
        assert sorted(i["item"] for i in items) == ["Demo App", "Uninstall"]
    # Listed among the installed programs, under the group's name (the
    # script names no application).
    listed = installed_programs(s)
    assert {"Silent Full", "Silent Typical", "Silent Minimal"} <= set(listed), listed

    # The script's own settings when none are given: the smallest mode.
    program = s.run(exe, ["/S"], cwd=DIST)
    assert program.exit_code == 0, program.stderr()
    s.close_explorer_windows()
    expected = expected_files(setup, "minimal", exe_bytes)
    expected["uninstall.s_"] = b"Demo@App\r\nC:\\Program Files\\Demo App\\"
    assert installed_files(s.to_linux(setup.destination)) == expected

    # The installed copy uninstalls unattended: no confirmation, no notice.
    destination = "C:\\Program Files\\Silent typical"
    first = s.run(f"{destination}\\{APP}", ["/S"], cwd=destination)
    assert first.exit_code == 0, first.stderr()
    # The installed copy returns once its relaunched copy has done the work.
    assert not (s.to_linux(destination) / "uninstall.s_").exists()
    assert "Silent Typical" not in s.groups()
    s.wait_until(lambda: not s.to_linux(destination).exists(), timeout=60, what="the destination gone")
    s.wait_no_process(APP)
    assert not s.windows(exe=APP)
    assert "Silent Typical" not in s.groups()
    listed = installed_programs(s)
    assert "Silent Typical" not in listed and "Silent Full" in listed, listed

    # Its result is the relaunched copy's: damaged uninstall data deletes
    # nothing, and the installed copy ends with exit code 1.
    destination = "C:\\Program Files\\Silent full"
    (s.to_linux(destination) / "uninstall.s_").write_bytes(b"Silent@Full")
    first = s.run(f"{destination}\\{APP}", ["/S"], cwd=destination)
    assert first.exit_code == 1, first.stderr()
    assert (s.to_linux(destination) / APP).exists()
    assert "Silent Full" in s.groups()


def folder_windows(s):
    """The handles of the shell's visible folder windows, with their titles."""
    return sorted((w["hwnd"], w["title"]) for w in s.windows(cls="ExplorerWClass"))


@time_limit(150)
def test_an_unattended_install_closes_the_folder_window_of_its_group_and_no_other(s):
    setup = demo_setup(s.root)
    exe, _ = put_setup(s, setup)
    s.groups(timeout=30)  # the service is up
    # Folder windows the user has open: one of the very group the setup is
    # to make, one of another group.
    for group in ("Silent Window", "Users Own"):
        s.dde_exec(f"[CreateGroup({group})]")
        s.wait_window(cls="ExplorerWClass", title=group)
    kept = folder_windows(s)
    assert sorted(title for _, title in kept) == ["Silent Window", "Users Own"], kept
    for group in ("Silent Window", "Silent Other"):
        program = s.run(exe, ["/S", f"/GROUP={group}", f"/D=C:\\Program Files\\{group}"], cwd=DIST)
        assert program.exit_code == 0, program.stderr()
        assert group in s.groups()
        # The window the group's creation opened, which the shell shows a
        # moment later (the setup may have ended by then if it did not wait
        # for it), has gone; those open before stay.
        time.sleep(3)
        assert folder_windows(s) == kept, (group, folder_windows(s))
        s.screenshot(f"after-{group}")
    s.close_explorer_windows()


@time_limit(150)
def test_bad_arguments_and_a_destination_that_cannot_be_created(s):
    setup = demo_setup(s.root)
    exe, _ = put_setup(s, setup)
    # Unattended: the reason on standard error, exit code 2.
    for arguments, reason in ((["/S", "/X"], 'unknown argument "/X"'),
                              (["/S", "/MODE=huge"], 'unknown mode "huge"'),
                              (["/S", "/MODE=full", "/GROUP=a,b"], "cannot hold")):
        program = s.run(exe, arguments, cwd=DIST)
        assert program.exit_code == 2, (arguments, program.exit_code)
        assert reason in program.stderr(), program.stderr()
    # With the wizard: the usage in a box.
    program = s.start(exe, ["/Q"], cwd=DIST)
    box = s.message_box(exe=APP)
    assert 'unknown argument "/Q"' in box["text"] and USAGE in box["text"], box
    s.screenshot("usage")
    s.press("OK", exe=APP)
    assert program.wait(20) == 2
    # A mode the setup does not offer is a wrong argument too.
    setup.modes = "FXX"
    exe, _ = put_setup(s, setup)
    program = s.run(exe, ["/S", "/MODE=minimal"], cwd=DIST)
    assert program.exit_code == 2 and "does not offer the minimal mode" in program.stderr(), program.stderr()

    # A destination that cannot be created: a failure, nothing installed.
    s.small_drive("R", 1 << 20, read_only=True)
    program = s.run(exe, ["/S", "/D=R:\\Apps\\Demo"], cwd=DIST)
    assert program.exit_code == 1, program.stderr()
    assert 'The destination folder "R:\\Apps\\Demo\\" cannot be created' in program.stderr(), program.stderr()
    assert "Nothing has been installed." in program.stderr()
    assert not s.windows(exe=APP)


@time_limit(200)
def test_what_the_system_keeps_is_refused_and_an_elevated_setup_protects_what_it_makes(s):
    setup = demo_setup(s.root)
    exe, _ = put_setup(s, setup)

    def path_info(*paths):
        run = s.run_wine([s.layout.win64_file("tests/e2e/fixtures/pathinfo.exe"), *paths], "path-info")
        assert run.wait(60) == 0
        return {line["path"]: line for line in parse_output(s.log_path("path-info.out").read_text())}

    def refused(destination, *variables):
        """The reason an unattended install into `destination` gives, with
        `variables` set in its environment by the command interpreter."""
        command = [f"set {v}&&" for v in variables] + [APP, "/S", f"/D={destination}"]
        run = s.run_wine(["cmd", "/c", " ".join(command)], "refused", cwd=s.to_linux(DIST))
        assert run.wait(60) == 1, destination
        reason = s.log_path("refused.out").read_text(errors="replace") + s.log_path("refused.err").read_text(
            errors="replace")
        assert "Nothing has been installed." in reason and not s.to_linux(destination).exists(), reason
        return reason

    # Another user's profile, as the system lists it.
    profile = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-0-0-0-1001"
    s.reg(["add", profile, "/v", "ProfileImagePath", "/t", "REG_EXPAND_SZ", "/d", "%SystemDrive%\\users\\other", "/f"],
          "profile")
    assert "folder of the system (\"C:\\users\\other\\\")" in refused("C:\\users\\other\\")
    # The program files folders a 32-bit program is not told by the shell:
    # the native ones and those of another processor, by their variables.
    for variable, folder in (("ProgramW6432", "C:\\Native64"), ("CommonProgramW6432", "C:\\NativeCommon"),
                             ("ProgramFiles(Arm)", "C:\\ArmPrograms"), ("CommonProgramFiles(Arm)", "C:\\ArmCommon")):
        assert f"folder of the system (\"{folder}\\\")" in refused(folder, f"{variable}={folder}"), variable
    # Program Files under its short name.
    short = path_info("C:\\Program Files")["C:\\Program Files"]["short"]
    assert short.upper() != "C:\\PROGRAM FILES", short
    assert "folder of the system (\"C:\\Program Files\\\")" in refused(short + "\\")

    # Wine runs every program elevated, so the setup gives the folders it
    # makes outside Program Files the access Program Files has. Wine keeps
    # no access list but a Unix mode, and tells one made from it: the
    # folders the setup makes let nobody else read them (no "WD" entry),
    # the folder that was there and those it makes in Program Files (which
    # pass their own on) keep what they had.
    s.to_linux("C:\\Existing").mkdir()
    for destination in ("C:\\Apps\\Secure\\Deep", "C:\\Existing\\App", "C:\\Program Files\\Plain"):
        program = s.run(exe, ["/S", "/GROUP=Protected", f"/D={destination}"], cwd=DIST)
        assert program.exit_code == 0, program.stderr()
        s.close_explorer_windows()
    info = path_info("C:\\Apps", "C:\\Apps\\Secure", "C:\\Apps\\Secure\\Deep", "C:\\Existing", "C:\\Existing\\App",
                     "C:\\Program Files\\Plain")
    open_to_all = {path: ";;;WD)" in line["dacl"] for path, line in info.items()}
    assert open_to_all == {"C:\\Apps": False, "C:\\Apps\\Secure": False, "C:\\Apps\\Secure\\Deep": False,
                           "C:\\Existing": True, "C:\\Existing\\App": False, "C:\\Program Files\\Plain": True}, info
