"""The program-group client (TGrupoAplicativo) against Wine's shell, which
answers "PROGMAN" while Wine's desktop process runs: groups and items made
and removed as the installer and uninstaller do, the group list as the
options page splits it, refusals, and the texts without the service; and
the setup without any service, which makes and removes the groups itself
as Start Menu folders and shortcuts.

groupfixture (tests/e2e/fixtures/GroupFixture.cpp) runs the operations named
on its command line with one client and prints one line per operation."""

from kelvo_wine import WITHOUT_DESKTOP, parse_output, time_limit, without_desktop

FIXTURE = "tests/e2e/fixtures/groupfixture.exe"
APP_NAME = "setup.exe"  # the setups' file name in the tests of the setup program
GROUP = "Kelvo Probe Group"
APP_DIR = "C:\\Apps\\Kelvo Probe"
SETUP_COPY = APP_DIR + "\\setup.exe"
UNINSTALL_NAME = "Uninstall, C:\\windows\\SYSTEM\\shell32.dll, 58"

CAPTION = "Create Group"
NO_CONVERSATION = "DDEML Call Back Error: Can't start conversation.\nMake sure PROGMAN is running."
MB_ICONHAND = 0x10
TOO_LONG = "The command CreateGroup is longer than 255 characters and was not sent to PROGMAN."
SUCCESS = {"ok": 1, "text": "", "caption": "", "style": 0}


def refused(command):
    return {"ok": 0, "text": f"PROGMAN refused the command {command}.", "caption": CAPTION, "style": MB_ICONHAND}


def status(line):
    return {key: line[key] for key in ("ok", "text", "caption", "style")}


def operations(output):
    """The fixture's lines as (op, line, names): names are those the
    splitter took out of a list's reply; a notice that no operation handed
    back is an op "notice"."""
    result = []
    for line in parse_output(output):
        if "op" in line:
            result.append((line["op"], line, []))
        elif "notice" in line:
            result.append(("notice", line, []))
        elif "name" in line:
            result[-1][2].append(line["name"])
    return result


def run_fixture(s, exe, *args):
    program = s.run(exe, args, timeout=60)
    assert program.wait() == 0, program.stderr()
    ops = operations(program.stdout())
    assert ops[0][0] == "setup" and status(ops[0][1]) == SUCCESS and ops[0][1]["connected"] == 1, ops[0]
    return ops[1:]


def reply_names(groups, size):
    """The names of a reply holding `groups` whose carriage return lies in
    the first `size` bytes."""
    kept, end = [], 0
    for name in groups:
        end += len(name) + 2
        if end - 2 >= size:
            break
        kept.append(name)
    return kept


@time_limit(120)
def test_groups_and_items_are_made_listed_and_removed(s):
    before = s.groups(timeout=30)  # also waits until the service is up
    assert GROUP not in before
    exe = s.put(s.layout.win64_file(FIXTURE), SETUP_COPY)

    # As the installer: the group, an item, the uninstall item with its icon.
    ops = run_fixture(s, exe, "create", GROUP, "add", "C:\\windows\\notepad.exe", "Note Pad",
                      "add", SETUP_COPY, UNINSTALL_NAME, "list", "list", "40", "close", "close", "notices")
    assert [op for op, _, _ in ops] == ["create", "add", "add", "list", "list", "close", "close"]
    for op, line, _ in ops[:3]:
        assert status(line) == SUCCESS, line
    # The service shows the new group's folder, as the shell does.
    s.wait_window(cls="ExplorerWClass", title=GROUP)
    s.screenshot("group-folder")
    s.close_explorer_windows()

    # The list as the options page takes it: the new group among the others
    # that the service lists to any client, zeros after the reply; in 40
    # bytes, cut there, with only the names whose line end fits.
    groups = s.groups()
    assert sorted(groups) == sorted(before + [GROUP])
    _, full, names = ops[3]
    assert status(full) == SUCCESS and full["tail-zero"] == 1, full
    assert names == groups and full["reply"] == len("".join(g + "\r\n" for g in groups))
    _, cut, names = ops[4]
    assert status(cut) == SUCCESS and cut["reply"] == 40, cut
    assert names == reply_names(groups, 40) and len(names) < len(groups)
    # Closing sends ExitProgman: accepted, and no disconnection notice
    # follows (none waits either); a second Close sends nothing.
    assert status(ops[5][1]) == SUCCESS and status(ops[6][1]) == SUCCESS

    folder, items = s.group_items(GROUP)
    assert s.to_linux(folder) == s.group_dir(GROUP)
    by_name = {item["item"]: item for item in items}
    assert sorted(by_name) == ["Note Pad", "Uninstall"]
    assert by_name["Note Pad"]["target"].lower() == "c:\\windows\\notepad.exe"
    assert by_name["Uninstall"]["target"].lower() == SETUP_COPY.lower()
    assert by_name["Uninstall"]["icon"].lower() == "c:\\windows\\system\\shell32.dll"
    assert by_name["Uninstall"]["icon-index"] == 58
    assert (s.group_dir(GROUP) / "Uninstall.lnk").is_file()

    # An item goes (from the group made last, the service's choice), and a
    # second time the service refuses.
    ops = run_fixture(s, exe, "deleteitem", "Note Pad", "deleteitem", "Note Pad")
    assert [(op, status(line)) for op, line, _ in ops] == [
        ("deleteitem", SUCCESS), ("deleteitem", refused("[DeleteItem(Note Pad)]"))]
    assert [item["item"] for item in s.group_items(GROUP)[1]] == ["Uninstall"]

    # As the uninstaller, and what else is refused. A command after a list
    # gets its own answer, not one left over from the list. A command of
    # exactly 255 characters is sent (and refused by the service: no such
    # item); one character more is refused before sending.
    longest = "L" * (255 - len("[DeleteItem()]"))
    ops = run_fixture(s, exe, "list", "delete", "No Such Group", "deleteitem", longest, "long", "241",
                      "long", "5000", "delete", GROUP, "delete", GROUP, "close")
    too_long = {"ok": 0, "text": TOO_LONG, "caption": CAPTION, "style": MB_ICONHAND}
    results = [(op, status(line)) for op, line, _ in ops]
    assert results == [
        ("list", SUCCESS),
        ("delete", refused("[DeleteGroup(No Such Group)]")),
        ("deleteitem", refused(f"[DeleteItem({longest})]")),
        ("long", too_long),
        ("long", too_long),
        ("delete", SUCCESS),
        ("delete", refused(f"[DeleteGroup({GROUP})]")),
        ("close", SUCCESS),
    ], results
    assert GROUP in ops[0][2]
    s.close_explorer_windows()
    assert not s.group_dir(GROUP).exists()
    assert sorted(s.groups()) == sorted(before)
    s.check_crashes()


@time_limit(90)
@without_desktop
def test_without_the_desktop_every_operation_reports_no_conversation(s):
    exe = s.layout.win64_file(FIXTURE)
    # Nothing has started Wine's desktop in this fresh prefix copy; the
    # override keeps this run from starting it.
    program = s.run_wine([exe, "create", GROUP, "list", "add", SETUP_COPY, UNINSTALL_NAME, "deleteitem", "Note Pad",
                          "delete", GROUP, "long", "300", "close", "create", GROUP, "close", "notices"],
                         "without-desktop", dll_overrides=WITHOUT_DESKTOP)
    assert program.wait(60) == 0
    output = s.log_path("without-desktop.out").read_text(encoding="utf-8")
    ops = operations(output)
    assert not [p for p in s.processes() if p["exe"].lower() == "explorer.exe"]

    # DDEML itself is there: Setup succeeds, only the conversation is missing.
    assert ops[0][0] == "setup" and status(ops[0][1]) == SUCCESS and ops[0][1]["connected"] == 0, ops[0]
    none = {"ok": 0, "text": NO_CONVERSATION, "caption": CAPTION, "style": MB_ICONHAND}
    results = [(op, status(line)) for op, line, _ in ops[1:]]
    assert results == [
        ("create", none),
        ("list", none),
        ("add", none),
        ("deleteitem", none),
        ("delete", none),
        # Refused before any sending, conversation or not.
        ("long", {"ok": 0, "text": TOO_LONG, "caption": CAPTION, "style": MB_ICONHAND}),
        ("close", none),  # its ExitProgman has nobody to go to
        ("create", none),  # a closed client has no conversation either
        ("close", SUCCESS),  # once closed, nothing is sent again
    ], results
    assert ops[2][2] == []

    # The same program with the desktop running talks to the service.
    before = s.groups(timeout=30)
    ops = run_fixture(s, exe, "list", "close")
    assert ops[0][2] == before and status(ops[1][1]) == SUCCESS
    assert not s.group_dir(GROUP).exists()


def start_menu_items(s, group, common):
    """name -> the shortcut's fields, of a group of all users' (common) or
    the user's Programs folder."""
    lines = s.drive("group-items", group=group, common=common)
    return {item["item"]: item for item in lines[1:]}


@time_limit(240)
@without_desktop
def test_without_the_service_the_group_is_made_and_removed_as_start_menu_shortcuts(s):
    from setup_package import Record, demo_setup
    from test_install import DIST, put_setup

    runs = []

    def silent(program, folder, *args):
        runs.append(program)
        run = s.run_wine([s.to_linux(program), "/S", *args], f"silent-{len(runs)}", cwd=s.to_linux(folder),
                         dll_overrides=WITHOUT_DESKTOP)
        return run.wait(60)

    # Two installations into one group, the second with an item of its own
    # and the same "Uninstall": items of one name are replaced.
    group, first, second = "Made Directly", "C:\\Apps\\First\\", "C:\\Apps\\Second\\"
    setup = demo_setup(s.root)
    exe, _ = put_setup(s, setup)
    assert silent(exe, DIST, f"/GROUP={group}", f"/D={first}") == 0
    setup.records[0] = Record("C:\\KELVO\\second.exe", b"MZ second\r\n", "Second App", "GFTM")
    other, _ = put_setup(s, setup, "C:\\dist2")
    assert silent(other, "C:\\dist2", f"/GROUP={group}", f"/D={second}") == 0
    assert not [p for p in s.processes() if p["exe"].lower() == "explorer.exe"], "no service ran"
    # Wine runs every program elevated: the Programs folder of all users.
    items = start_menu_items(s, group, common=True)
    fields = ("target", "args", "workdir", "icon", "icon-index", "description")
    made = {name: tuple(item[f] for f in fields) for name, item in items.items()}
    assert made == {
        "Demo App": (first + "demo.exe", "", first[:-1], "", 0, "Demo App"),
        "Second App": (second + "second.exe", "", second[:-1], "", 0, "Second App"),
        "Uninstall": (second + APP_NAME, "", second[:-1], "C:\\windows\\SYSTEM\\shell32.dll", 58, "Uninstall"),
    }, made

    # Each uninstallation takes only the shortcuts into its own folder, and
    # the folder once nothing else is left in it.
    folder = s.to_linux("C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs") / group
    assert silent(first + APP_NAME, first) == 0
    s.wait_until(lambda: not s.to_linux(first).exists(), timeout=60, what="the first installation gone")
    s.wait_until(lambda: sorted(p.name for p in folder.iterdir()) == ["Second App.lnk", "Uninstall.lnk"],
                 what=lambda: f"the second's shortcuts only ({sorted(p.name for p in folder.iterdir())})")
    (folder / "notes.txt").write_bytes(b"the user's")
    assert silent(second + APP_NAME, second) == 0
    s.wait_until(lambda: not s.to_linux(second).exists(), timeout=60, what="the second installation gone")
    s.wait_until(lambda: sorted(p.name for p in folder.iterdir()) == ["notes.txt"], what="the user's file only")
    (folder / "notes.txt").unlink()
    assert silent(exe, DIST, f"/GROUP={group}", "/D=C:\\Apps\\Third\\") == 0
    assert silent("C:\\Apps\\Third\\" + APP_NAME, "C:\\Apps\\Third\\") == 0
    s.wait_until(lambda: not folder.exists(), timeout=60, what="the emptied group folder gone")

    # The service, once it runs, makes the same shortcuts, save the working
    # folder, which it leaves to the shell.
    s.groups(timeout=30)
    third = "C:\\Apps\\Service\\"
    program = s.run(exe, ["/S", "/GROUP=Made By The Service", f"/D={third}"], cwd=DIST)
    assert program.exit_code == 0, program.stderr()
    s.close_explorer_windows()
    service = start_menu_items(s, "Made By The Service", common=False)
    made = {name: tuple(item[f] for f in fields) for name, item in service.items()}
    assert made == {
        "Demo App": (third + "demo.exe", "", "", "", 0, "Demo App"),
        "Uninstall": (third + APP_NAME, "", "", "C:\\windows\\SYSTEM\\shell32.dll", 58, "Uninstall"),
    }, made
    s.check_crashes()
