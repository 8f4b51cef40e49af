"""The whole wizard as a person drives it under Wine: every page, the folder
browser, the group list, Back and Cancel at every step, the options page's
refusals, a script offering one mode, a hung window while the groups are
listed; the result checked in the prefix."""

from kelvo_wine import time_limit
from setup_package import blank_record, demo_setup
from test_install import DIST, expected_files, installed_files, put_setup
from wizard_pages import (AGREEMENT, APP, BACK, BROWSE, CANCEL, CANCEL_TITLE, CONFIRMATION, DEST_FIELD,
                          GROUP_FIELD, GROUP_LIST, LIST_NOTE, LIST_NOTE_TEXT, NEXT, OPTIONS, PRESENTATION,
                          PROGRESS_TITLE, START, UNINSTALL_CAPTION, UNINSTALL_DONE, Wizard, run_folders)

LONG_AGREEMENT = b"".join(b"%d. The licensee may use the demo as it likes.\r\n" % n for n in range(1, 121))


def start(s, setup, folder=DIST):
    exe, exe_bytes = put_setup(s, setup, folder)
    return s.start(exe, cwd=folder), Wizard(s), exe_bytes


def options_state(wizard):
    """destination, group name, and the mode buttons' (enabled, checked)."""
    controls = wizard.option_controls()
    modes = {name: (bool(controls[name]["enabled"]), controls[name]["checked"] == 1)
             for name in ("Full", "Typical", "Minimal")}
    return controls[DEST_FIELD]["text"], controls[GROUP_FIELD]["text"], modes


@time_limit(240)
def test_a_person_installs_through_every_page_and_uninstalls(s):
    setup = demo_setup(s.root)
    setup.records[4].data = LONG_AGREEMENT
    setup.records[4].__post_init__()
    # Large enough for the progress dialog to be seen at work.
    setup.records.insert(0, blank_record("C:\\KELVO\\data\\big.bin", 300 << 20, flags="XFTX"))
    s.dde_exec("[CreateGroup(Utilities)]")
    s.wait_window(cls="ExplorerWClass", title="Utilities")
    s.close_explorer_windows()
    chosen = s.to_linux("C:\\") / "Apps" / "Chosen"
    chosen.mkdir(parents=True)
    (chosen / "texto.txt").write_bytes(b"")

    program, wizard, exe_bytes = start(s, setup)
    wizard.wait_page(PRESENTATION)
    s.screenshot("presentation")
    wizard.next()

    # "Yes" waits until the end of the long text has been in view.
    wizard.wait_page(AGREEMENT)
    assert wizard.buttons()[NEXT] == ("Yes", False)
    s.screenshot("agreement")
    wizard.scroll_to_end()
    wizard.wait_enabled(NEXT)
    wizard.next()

    wizard.wait_page(OPTIONS)
    destination, group, modes = options_state(wizard)
    assert (destination, group) == (setup.destination, setup.group)
    assert modes == {"Full": (True, False), "Typical": (True, False), "Minimal": (True, True)}
    assert "Utilities" in s.items(exe=APP, title=wizard.caption, id=GROUP_LIST)
    s.screenshot("options")
    # The folder through the browser: its folder part, with the backslash.
    wizard.click(BROWSE)
    # The file dialog keeps its own title: the template gives none.
    dialog, _ = s.wait_window(exe=APP, cls="#32770", id=1121)
    s.screenshot("browse")
    s.set_text("C:\\Apps\\Chosen\\texto.txt", hwnd=dialog["hwnd"], id=1152)
    s.click(hwnd=dialog["hwnd"], id=1)
    s.wait_until(lambda: options_state(wizard)[0].lower() == "c:\\apps\\chosen\\", what="the chosen folder")
    # A new name typed, then an existing group picked from the list.
    s.type_text("Something Else", exe=APP, title=wizard.caption, id=GROUP_FIELD)
    s.select(string="Utilities", double=True, exe=APP, title=wizard.caption, id=GROUP_LIST)
    s.wait_until(lambda: options_state(wizard)[1] == "Utilities", what="the group taken from the list")
    s.click(exe=APP, title=wizard.caption, text="Typical", ctl_class="Button")
    wizard.next()
    # The folder holds the user's file: asked before it is used.
    box = s.message_box(exe=APP, title="Installation Options")
    assert "already holds files" in box["text"] and box["buttons"] == "YES,NO", box
    s.press("YES", exe=APP, title="Installation Options")

    wizard.wait_page(START)
    s.screenshot("start")
    wizard.next()
    dialog, _ = s.wait_window(exe=APP, title=PROGRESS_TITLE, id=2, timeout=30)
    s.screenshot("progress")
    # The start page stays behind the progress dialog.
    assert wizard.page_window(START)
    assert program.wait(120) == 0
    s.close_explorer_windows()

    root = s.to_linux("C:\\Apps\\Chosen")
    expected = expected_files(setup, "typical", exe_bytes)
    expected["texto.txt"] = b""
    expected["uninstall.s_"] = b"Utilities\r\nC:\\Apps\\Chosen\\"
    big = root / "data" / "big.bin"
    assert big.stat().st_size == 300 << 20
    big.unlink()  # read back whole, it would cost 300 MB here
    del expected["data\\big.bin"]
    assert installed_files(root) == expected
    _, items = s.group_items("Utilities")
    assert sorted(i["item"] for i in items) == ["Demo App", "Uninstall"]

    first = s.start("C:\\Apps\\Chosen\\" + APP, cwd="C:\\Apps\\Chosen")
    assert first.wait(30) == 0
    uninstall = Wizard(s, UNINSTALL_CAPTION + setup.group)
    uninstall.wait_page(CONFIRMATION)
    assert uninstall.buttons()[BACK] == ("< Back", False)
    s.screenshot("uninstall-confirmation")
    uninstall.next()
    box = s.message_box(exe=APP, title="Notice!", timeout=60)
    assert box["text"].startswith(UNINSTALL_DONE) and '"texto.txt"' in box["text"], box
    s.press("OK", exe=APP, title="Notice!")
    # The user's file was there before: it stays, alone.
    assert installed_files(root) == {"texto.txt": b""}
    assert "Utilities" not in s.groups()


@time_limit(150)
def test_back_from_every_step_restores_what_it_should(s):
    setup = demo_setup(s.root)
    program, wizard, _ = start(s, setup)
    wizard.wait_page(PRESENTATION)
    wizard.next()
    wizard.wait_page(AGREEMENT)
    wizard.back()
    wizard.wait_page(PRESENTATION)  # a new page: Back disabled, its caption kept
    assert wizard.buttons()[BACK] == ("< Back", False)
    wizard.next()
    wizard.accept_agreement()

    # Edits on the options page, then back to the agreement and forward:
    # the page is built again from the script's settings.
    wizard.set_options("D:\\Elsewhere", "Other", "full")
    wizard.back()
    wizard.wait_page(AGREEMENT)
    wizard.next()
    wizard.wait_page(OPTIONS)
    script_state = (setup.destination, setup.group,
                    {"Full": (True, False), "Typical": (True, False), "Minimal": (True, True)})
    assert options_state(wizard) == script_state

    # From the start page back to the options: the edits are gone too.
    wizard.set_options("D:\\Elsewhere", "Other", "typical")
    wizard.next()
    wizard.wait_page(START)
    wizard.back()
    wizard.wait_page(OPTIONS)
    assert options_state(wizard) == script_state
    # Every Back and Next changed the page: never two at once.
    assert len([c for c in wizard.controls() if c["class"] == "KelvoWindow" and c["text"]]) == 1
    wizard.cancel()
    assert program.wait(20) == 0


@time_limit(200)
def test_cancel_at_every_step_asks_and_keeps_or_ends(s):
    setup = demo_setup(s.root)
    steps = [PRESENTATION, AGREEMENT, OPTIONS, START]
    for confirmed_at, page in enumerate(steps):
        program, wizard, _ = start(s, setup, f"C:\\dist{confirmed_at}")
        for reached in steps[:confirmed_at + 1]:
            wizard.wait_page(reached)
            # "No" on the agreement page is its Cancel: the same question.
            assert wizard.buttons()[CANCEL] == (reached.cancel, True)
            if reached != page:
                wizard.cancel("NO")
                wizard.wait_page(reached)
                if reached == AGREEMENT:
                    wizard.accept_agreement()
                else:
                    wizard.next()
        wizard.cancel("YES")
        assert program.wait(20) == 0
        # Canceling installs nothing and takes its own working files away.
        assert not run_folders(s), sorted(p.name for p in s.temp_dir.iterdir())
        assert not s.to_linux(setup.destination).exists()

    # The uninstall confirmation's "No" asks too.
    folder = "C:\\Apps\\Kept"
    exe, _ = put_setup(s, setup, folder)
    s.to_linux(folder + "\\modo.se").write_bytes(b"U")
    s.to_linux(folder + "\\uninstall.s_").write_bytes(b"Demo@App\r\nC:\\Apps\\Kept\\")
    assert s.start(exe, cwd=folder).wait(30) == 0
    uninstall = Wizard(s, UNINSTALL_CAPTION + setup.group)
    uninstall.wait_page(CONFIRMATION)
    uninstall.cancel("NO")
    uninstall.wait_page(CONFIRMATION)
    uninstall.cancel("YES")
    assert s.to_linux(folder + "\\" + APP).exists()


@time_limit(150)
def test_options_page_refuses_what_cannot_be_installed(s):
    setup = demo_setup(s.root)
    setup.modes = "XTX"  # one mode offered
    program, wizard, exe_bytes = start(s, setup)
    wizard.wait_page(PRESENTATION)
    wizard.next()
    wizard.accept_agreement()
    wizard.wait_page(OPTIONS)
    # Minimal is not offered: disabled; Typical checked; Full stays as is.
    assert options_state(wizard)[2] == {"Full": (True, False), "Typical": (True, True), "Minimal": (False, False)}

    # Next only while both fields hold something.
    s.set_text("", exe=APP, title=wizard.caption, id=GROUP_FIELD)
    s.wait_until(lambda: not wizard.buttons()[NEXT][1], what="Next disabled by an empty group name")
    s.type_text("A", exe=APP, title=wizard.caption, id=GROUP_FIELD)
    wizard.wait_enabled(NEXT)

    refusals = [
        ("C:\\Apps\\Demo", "Bad, Name", 'cannot hold ","'),
        ("C:\\Apps\\Demo", "Bad (Name)", 'cannot hold "("'),
        ("C:\\Apps\\Demo", 'Say "hi"', "cannot hold"),
        ("C:\\Apps\\Demo", "My@Apps", 'cannot hold "@"'),
        ("C:\\Apps\\CON", "Demo", "reserves for a device"),
        ("C:\\", "Demo", "is the root of a drive"),
        ("C:\\windows\\Demo", "Demo", "part of the system"),
        ("Demo", "Demo", "not a full path"),
    ]
    for destination, group, reason in refusals:
        s.set_text(destination, exe=APP, title=wizard.caption, id=DEST_FIELD)
        s.set_text(group, exe=APP, title=wizard.caption, id=GROUP_FIELD)
        wizard.next()
        box = s.message_box(exe=APP, title="Installation Options")
        assert reason in box["text"], (destination, group, box)
        s.press("OK", exe=APP, title="Installation Options")
        wizard.wait_page(OPTIONS)
    s.screenshot("refused")

    s.set_text("C:\\Apps\\Demo", exe=APP, title=wizard.caption, id=DEST_FIELD)
    s.set_text("Demo One Mode", exe=APP, title=wizard.caption, id=GROUP_FIELD)
    wizard.next()
    wizard.wait_page(START)
    wizard.next()
    assert program.wait(60) == 0
    s.close_explorer_windows()
    expected = expected_files(setup, "typical", exe_bytes)
    expected["uninstall.s_"] = b"Demo@One@Mode\r\nC:\\Apps\\Demo\\"
    assert installed_files(s.to_linux("C:\\Apps\\Demo")) == expected


@time_limit(150)
def test_a_hung_window_holds_the_options_page_for_no_longer_than_a_bound(s):
    """The program-group service is found by a broadcast to every top-level
    window, which a hung one holds for ever: the page comes all the same,
    its list empty and a note beside it, and the installation goes on."""
    setup = demo_setup(s.root)
    program, wizard, _ = start(s, setup)
    hang = s.to_linux("C:\\hang-now")
    s.run_wine([s.layout.win64_file("tests/e2e/fixtures/hungwindow.exe"), "C:\\hang-now"], "hung-window")
    s.wait_until(lambda: "ready" in s.log_path("hung-window.out").read_text(), what="the window that will hang")
    wizard.wait_page(PRESENTATION)
    wizard.next()
    wizard.wait_page(AGREEMENT)
    if not wizard.buttons()[NEXT][1]:
        wizard.scroll_to_end()
    wizard.wait_enabled(NEXT)
    # Wine leaves out of its broadcasts a window that has not looked at its
    # messages for five seconds: it hangs just before the listing.
    hang.write_bytes(b"")
    s.wait_until(lambda: "hung" in s.log_path("hung-window.out").read_text(), what="the window hung")
    wizard.click(NEXT)
    wizard.wait_page(OPTIONS)
    note = s.wait_until(lambda: [c for c in wizard.page_controls(OPTIONS) if c["id"] == LIST_NOTE], timeout=30,
                        what="the note beside the group list")[0]
    assert note["text"] == LIST_NOTE_TEXT and note["visible"], note
    assert s.items(exe=APP, title=wizard.caption, id=GROUP_LIST) == []
    s.screenshot("no-group-list")
    wizard.set_options("C:\\Apps\\Unlisted", "Unlisted", "full")
    wizard.next()
    wizard.wait_page(START)
    wizard.next()
    assert program.wait(60) == 0
    s.close_explorer_windows()
    # By the service, which Wine's broadcast reaches again once it leaves
    # the window out (else as Start Menu shortcuts of all users').
    lines = s.drive("group-items", group="Unlisted", common=not s.group_dir("Unlisted").exists())
    assert sorted(line["item"] for line in lines[1:]) == ["Demo App", "Uninstall"]
