"""The wizard's pages and its text view under Wine, one page at a time in a
window laid out like the wizard's main window (tests/e2e/fixtures/
PageFixture.cpp): the buttons each page sets up, how pages paint, the text
view's scrolling pixel by pixel (in the proportional face Wine gives for
"COURIER NEW" and in a fixed-pitch one), the agreement's "Yes", long lines,
tabs and a 5 MB text, and the options page on its buffers."""

import re

from kelvo_wine import time_limit
from pictures import screen_area, screenshot_until

# By title: the browse dialog belongs to the same program.
FIXTURE = {"title": "Page Fixture"}
BACK, NEXT, CANCEL, STATUS = 51000, 51001, 51002, 199
VERT, HORZ = 51100, 51101
DEST, BROWSE, GROUP, GROUPS = 50002, 50003, 50004, 50001
LT_GRAY, GRAY, WHITE = (192, 192, 192), (128, 128, 128), (255, 255, 255)
FOLDER = "C:\\pages"
# The page, and the text view on the presentation and agreement pages, in
# the window's client coordinates; the view's client area lies inside its
# one-pixel border, and its text area is all but the bars' 16 pixels.
PAGE_X, PAGE_Y, PAGE_W, PAGE_H = 192, 10, 398, 316
VIEW_X, VIEW_Y, VIEW_W = 192, 60, 388
PRES_VIEW_H, LICEN_VIEW_H = 256, 241
AREA_W = VIEW_W - 16
PITCH = 16


# ---- the fixture

def open_page(s, *args, files=None):
    """Starts the fixture on one page in FOLDER (holding `files`: name ->
    bytes) and waits until the page is open; returns (program, window)."""
    base = s.to_linux(FOLDER)
    base.mkdir(parents=True, exist_ok=True)
    for name, data in (files or {}).items():
        (base / name).write_bytes(data)
    program = s.start(s.layout.win64_file("tests/e2e/fixtures/pagefixture.exe"), list(args), cwd=FOLDER)
    s.wait_until(lambda: status(s).startswith("open:"), timeout=30,
                 what=lambda: f"the page open (status {status(s)!r})")
    return program, s.wait_window(**FIXTURE, id=STATUS)[0]


def status(s):
    return s.control(**FIXTURE, id=STATUS, timeout=30)["text"]


def control(s, **selection):
    return s.control(**FIXTURE, **selection)


def controls(s):
    return s.children(**FIXTURE)[1]


def cancel(s, program):
    """Closes the fixture with its Cancel button; returns its output."""
    s.click(**FIXTURE, id=CANCEL)
    assert program.wait(20) == 0
    return program.stdout()


def buffers(output, when):
    """dirDest, modosInst and nomeGrupo as the fixture reported them `when`."""
    match = re.search(rf"^{when}: dirDest=\[(.*)\] modosInst=\[(.*)\] nomeGrupo=\[(.*)\]\r?$", output, re.MULTILINE)
    assert match, f"no {when} line in {output!r}"
    return match.groups()


def use_fixed_pitch_courier(s):
    """Makes "COURIER NEW" a fixed-pitch face (Wine's own "Courier") for the
    programs started from now on in this session's prefix."""
    key = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes"
    s.reg(["add", key, "/v", "Courier New", "/d", "Courier", "/f"], "font-substitute")


# ---- pictures

def shot_area(s, window, x, y, w, h, label):
    """The rows of a client rectangle of the window once the screen has
    settled (two screenshots in a row agree)."""
    previous = None
    for attempt in range(10):
        rows = screen_area(s.screenshot(f"{label}-{attempt}"), window["cx"] + x, window["cy"] + y, w, h)
        if rows == previous:
            return rows
        previous = rows
    raise AssertionError(f"{label}: the screen does not settle")


def text_area(s, window, view_h, label):
    """The text view's text area (inside its border)."""
    return shot_area(s, window, VIEW_X + 1, VIEW_Y + 1, AREA_W, view_h - 16, label)


def dark(pixel):
    return min(pixel) < 128


def ink_columns(rows, top, bottom):
    """Columns holding dark pixels between two rows."""
    return {x for row in rows[top:bottom] for x, p in enumerate(row) if dark(p)}


def ink_rows(rows):
    return [y for y, row in enumerate(rows) if any(dark(p) for p in row)]


def scroll(s, bar, code, pos=None, repeat=1, expected=None):
    """Moves a bar of the view and waits for its position."""
    s.scroll(code, pos=pos, repeat=repeat, **FIXTURE, id=bar)
    if expected is not None:
        s.wait_until(lambda: control(s, id=bar)["pos"] == expected,
                     what=lambda: f"{code}: position {expected} (now {control(s, id=bar)['pos']})")


def shifted_up(before, after, d):
    """Whether `after` shows `before` moved d pixels up."""
    return all(after[y] == before[y + d] for y in range(len(before) - d))


def shifted_left(before, after, d):
    return all(a[:len(a) - d] == b[d:] for a, b in zip(after, before))


def numbered_lines(count):
    """Lines that differ from their neighbours, CR LF after each."""
    return b"".join(b"%05d %s\r\n" % (i, b"WMiIl#" * (i % 7 + 1)) for i in range(count))


# ---- tests

@time_limit(120)
def test_pages_set_up_the_buttons_and_paint_title_text_and_background(s):
    # A plain page without a Back caption: Back is disabled and keeps its text.
    program, window = open_page(s, "plain", "Uninstallation",
                                "\\nAre you sure you want to completely uninstall\\nthe aplication and all its "
                                "components?", "-", "Yes", "No")
    by_id = {c["id"]: c for c in controls(s)}
    assert (by_id[BACK]["text"], by_id[BACK]["enabled"]) == ("< Back", 0)
    assert (by_id[NEXT]["text"], by_id[NEXT]["enabled"]) == ("Yes", 1)
    assert (by_id[CANCEL]["text"], by_id[CANCEL]["enabled"]) == ("No", 1)
    page = [c for c in controls(s) if c["class"] == "KelvoWindow" and (c["x"], c["y"]) == (PAGE_X, PAGE_Y)]
    assert [(c["w"], c["h"]) for c in page] == [(PAGE_W, PAGE_H)], page
    rows = shot_area(s, window, PAGE_X, PAGE_Y, PAGE_W, PAGE_H, "plain")
    # Light grey all over but for the bold title at (10, 10) and the lines at
    # 30 + 24 k: line 0 is empty, so the text starts at y = 54.
    assert rows[5][5] == rows[300][390] == rows[40][200] == LT_GRAY
    inked = ink_rows(rows)
    assert inked and min(inked) >= 10 and any(y < 28 for y in inked), inked
    assert not [y for y in inked if 28 <= y < 54], inked
    assert any(54 <= y < 78 for y in inked) and any(78 <= y < 102 for y in inked), inked
    assert not [y for y in inked if y >= 102], inked
    cancel(s, program)

    # The presentation page: Back disabled, its view 388 x 256 at (0, 50) of
    # the page, the bars in it, the grey corner, and Next closes the page.
    text = b"".join(b"Presentation line %d\r\n" % i for i in range(30))
    program, window = open_page(s, "pres", files={"pres.txt": text})
    by_id = {c["id"]: c for c in controls(s)}
    assert [by_id[i]["text"] for i in (BACK, NEXT, CANCEL)] == ["< Back", "Next >", "Cancel"]
    assert [by_id[i]["enabled"] for i in (BACK, NEXT, CANCEL)] == [0, 1, 1]
    views = [c for c in controls(s) if c["class"] == "KelvoWindow" and (c["x"], c["y"]) == (VIEW_X, VIEW_Y)]
    assert [(c["w"], c["h"]) for c in views] == [(VIEW_W, PRES_VIEW_H)], views
    vert, horz = by_id[VERT], by_id[HORZ]
    assert (vert["x"], vert["y"], vert["w"], vert["h"]) == (VIEW_X + 1 + AREA_W, VIEW_Y + 1, 16, PRES_VIEW_H - 16)
    assert (horz["x"], horz["y"], horz["w"], horz["h"]) == (VIEW_X + 1, VIEW_Y + 1 + PRES_VIEW_H - 16, AREA_W, 16)
    # 30 lines and the empty one after the last break; lines are 15 high.
    assert (vert["min"], vert["max"], horz["min"], horz["max"]) == (1, 31 * PITCH, 1, 32 * 15 + 21)
    rows = shot_area(s, window, VIEW_X + 1, VIEW_Y + 1, VIEW_W - 2, PRES_VIEW_H - 2, "presentation")
    assert rows[PRES_VIEW_H - 10][VIEW_W - 10] == GRAY
    assert rows[5][300] == WHITE
    # Lines 0 to 14 in sight, each in its own 16 pixels.
    inked = ink_rows(rows[:PRES_VIEW_H - 16])
    assert {y // PITCH for y in inked} == set(range(15)), inked

    s.click(**FIXTURE, id=NEXT)
    s.wait_until(lambda: status(s).startswith("next:"), what="the page closed by Next")
    assert not [c for c in controls(s) if c["id"] in (VERT, HORZ)]
    cancel(s, program)


@time_limit(150)
def test_agreement_yes_waits_until_the_end_of_the_text_has_been_in_view(s):
    lines = 40
    program, window = open_page(s, "licen", files={"licen.txt": numbered_lines(lines)})
    by_id = {c["id"]: c for c in controls(s)}
    assert [by_id[i]["text"] for i in (BACK, NEXT, CANCEL)] == ["< Back", "Yes", "No"]
    assert [by_id[i]["enabled"] for i in (BACK, NEXT, CANCEL)] == [1, 0, 1]
    assert by_id[VERT]["max"] == (lines + 1) * PITCH
    assert (by_id[VERT]["h"], by_id[HORZ]["y"]) == (LICEN_VIEW_H - 16, VIEW_Y + 1 + LICEN_VIEW_H - 16)
    # The question stands below the view, at y = 30 + 24 x 11 of the page.
    rows = shot_area(s, window, PAGE_X, PAGE_Y + 294, 300, 18, "question")
    assert ink_rows(rows), "the question is drawn below the view"

    # "Yes" comes once 16 x (lines + 1) <= offset + the view's height.
    threshold = (lines + 1) * PITCH - LICEN_VIEW_H
    scroll(s, VERT, "THUMBTRACK", pos=threshold - 1, expected=threshold - 1)
    text_area(s, window, LICEN_VIEW_H, "before-the-end")
    assert not control(s, id=NEXT)["enabled"]
    scroll(s, VERT, "LINEDOWN", expected=threshold)
    s.wait_until(lambda: control(s, id=NEXT)["enabled"], what="Yes enabled at the end")
    # It stays when the text goes back up, and when the bar jumps to the top
    # (which leaves the text where it is).
    scroll(s, VERT, "THUMBTRACK", pos=1, expected=1)
    before = text_area(s, window, LICEN_VIEW_H, "top")
    scroll(s, VERT, "BOTTOM", expected=(lines + 1) * PITCH)
    assert text_area(s, window, LICEN_VIEW_H, "bottom-unhandled") == before
    assert control(s, id=NEXT)["enabled"]
    s.click(**FIXTURE, id=NEXT)
    s.wait_until(lambda: status(s).startswith("next:"), what="the page closed by Yes")
    cancel(s, program)

    # A text that fits, and a missing file (one empty line): "Yes" at once.
    for files, height in (({"licen.txt": b"Short terms.\r\n"}, 2 * PITCH), ({}, PITCH)):
        program, window = open_page(s, "licen", files=files)
        s.wait_until(lambda: control(s, id=NEXT)["enabled"], what="Yes enabled by the first paint")
        assert control(s, id=VERT)["max"] == height
        cancel(s, program)
        (s.to_linux(FOLDER) / "licen.txt").unlink(missing_ok=True)


def check_pixel_steps(s, fixed_pitch):
    label = "fixed" if fixed_pitch else "proportional"
    text = numbered_lines(60) + b"A line long enough to scroll across: " + b"0123456789" * 60 + b"\r\n"
    program, window = open_page(s, "licen", files={"licen.txt": text})
    check_steps_along(s, window, VERT, 20, shifted_up, f"{label}-v")
    # Horizontally the same, over the long line near the bottom.
    scroll(s, VERT, "THUMBTRACK", pos=60 * PITCH - 100, expected=60 * PITCH - 100)
    check_steps_along(s, window, HORZ, 40, shifted_left, f"{label}-h")
    cancel(s, program)


def check_steps_along(s, window, bar, start, shifted, tag):
    """Line steps move the text by 1 pixel, page steps by 10, a dragged thumb to its place."""
    height = LICEN_VIEW_H
    scroll(s, bar, "THUMBTRACK", pos=start, expected=start)
    at_start = text_area(s, window, height, f"{tag}{start}")
    scroll(s, bar, "LINEDOWN", expected=start + 1)
    at_line = text_area(s, window, height, f"{tag}{start + 1}")
    assert shifted(at_start, at_line, 1) and at_start != at_line
    scroll(s, bar, "PAGEDOWN", expected=start + 11)
    at_page = text_area(s, window, height, f"{tag}{start + 11}")
    assert shifted(at_line, at_page, 10) and at_line != at_page
    scroll(s, bar, "PAGEUP", expected=start + 1)
    scroll(s, bar, "LINEUP", expected=start)
    assert text_area(s, window, height, f"{tag}{start}-again") == at_start
    scroll(s, bar, "THUMBTRACK", pos=start + 11, expected=start + 11)
    assert text_area(s, window, height, f"{tag}{start + 11}-thumb") == at_page


@time_limit(150)
def test_text_view_scrolls_pixel_by_pixel_in_either_face(s):
    check_pixel_steps(s, fixed_pitch=False)
    use_fixed_pitch_courier(s)
    check_pixel_steps(s, fixed_pitch=True)


def check_line_ends(s, fixed_pitch):
    label = "fixed" if fixed_pitch else "proportional"
    # A tab, a line of 200 and one of several thousand characters.
    long_line = b"".join(b"%05d" % i for i in range(1000))
    text = b"\tX\r\n" + b"y" * 200 + b"\r\n" + long_line + b"|\r\nafter\r\n"
    program, window = open_page(s, "licen", files={"licen.txt": text})
    horz = control(s, id=HORZ)
    # The widest line needs more than the usual 501 pixels: scrolled to the
    # end of the range, its end stands 5 pixels short of the text area's edge.
    assert horz["max"] > 32 * 15 + 21
    scroll(s, HORZ, "THUMBTRACK", pos=horz["max"], expected=horz["max"])
    rows = text_area(s, window, LICEN_VIEW_H, f"{label}-long-end")
    ink = ink_columns(rows, 2 * PITCH, 3 * PITCH)
    assert ink and AREA_W - 20 <= max(ink) < AREA_W - 5, sorted(ink)[-5:]
    # Nothing of the long line is cut or lost: its first and last digits
    # show at the two ends of the range.
    scroll(s, HORZ, "THUMBTRACK", pos=1, expected=1)
    rows = text_area(s, window, LICEN_VIEW_H, f"{label}-start")
    assert min(ink_columns(rows, 2 * PITCH, 3 * PITCH)) < 12
    # The line of 200 stays one line: the next line starts at 2 x 16.
    lines_inked = {y // PITCH for y in ink_rows(rows)}
    assert lines_inked == {0, 1, 2, 3}, lines_inked
    if fixed_pitch:
        # Eight columns of the face's width before the X: x = 5 + 8 w.
        glyph = ink_columns(rows, 0, PITCH)
        width = (horz["max"] + AREA_W - 10) // (len(long_line) + 1)
        assert min(glyph) >= 5 + 8 * width - 1 and max(glyph) < 5 + 9 * width, (width, sorted(glyph))
    cancel(s, program)


@time_limit(150)
def test_long_lines_and_tabs(s):
    check_line_ends(s, fixed_pitch=False)
    use_fixed_pitch_courier(s)
    check_line_ends(s, fixed_pitch=True)


@time_limit(180)
def test_five_megabyte_texts(s):
    # 100 000 lines of seven kinds in turn (52 to 93 bytes): the picture
    # repeats every 7 lines, so two offsets 7 x 16 x k apart look alike.
    count = 100_000
    text = b"".join(b"%-50s\r\n" % (b"%d" % (i % 7) + b" WMiIl# pattern" * (i % 7)) for i in range(count))
    assert len(text) > 5_000_000
    program, window = open_page(s, "licen", files={"licen.txt": text})
    total = (count + 1) * PITCH
    assert control(s, id=VERT)["max"] == total
    assert not control(s, id=NEXT)["enabled"]
    scroll(s, VERT, "THUMBTRACK", pos=40_000, expected=40_000)
    far = text_area(s, window, LICEN_VIEW_H, "five-mb-40000")
    scroll(s, VERT, "THUMBTRACK", pos=40_000 - 7 * PITCH * 20, expected=40_000 - 7 * PITCH * 20)
    assert text_area(s, window, LICEN_VIEW_H, "five-mb-37760") == far
    scroll(s, VERT, "LINEDOWN", expected=40_000 - 7 * PITCH * 20 + 1)
    assert shifted_up(far, text_area(s, window, LICEN_VIEW_H, "five-mb-37761"), 1)
    # To the end: the bar's bottom, then page steps back up, which the view
    # takes: the last line of text sits at 208, the empty one after it at 224.
    scroll(s, VERT, "BOTTOM", expected=total)
    scroll(s, VERT, "PAGEUP", repeat=24, expected=total - 240)
    s.wait_until(lambda: control(s, id=NEXT)["enabled"], what="Yes enabled at the end of 5 MB")
    rows = text_area(s, window, LICEN_VIEW_H, "five-mb-end")
    assert max(ink_rows(rows)) in range(208, 224), ink_rows(rows)[-3:]
    cancel(s, program)

    # Five megabytes on one line: its end can be reached and shows.
    program, window = open_page(s, "licen", files={"licen.txt": b"0123456789" * 500_000 + b"|"})
    horz = control(s, id=HORZ)
    assert horz["max"] > 5_000_000
    scroll(s, HORZ, "BOTTOM", expected=horz["max"])
    scroll(s, HORZ, "LINEUP", expected=horz["max"] - 1)
    rows = text_area(s, window, LICEN_VIEW_H, "one-line-end")
    ink = ink_columns(rows, 0, PITCH)
    assert ink and AREA_W - 20 <= max(ink) < AREA_W - 4, sorted(ink)[-5:]
    cancel(s, program)


# ---- the options page

def radios(s):
    return {c["text"]: (c["enabled"], c["checked"]) for c in controls(s) if c["text"] in ("Full", "Typical", "Minimal")}


@time_limit(180)
def test_options_page_modes_follow_the_offered_letters(s):
    expected = {
        "FTM": {"Full": (1, 0), "Typical": (1, 0), "Minimal": (1, 1)},
        "FTX": {"Full": (1, 0), "Typical": (1, 1), "Minimal": (0, 0)},
        "FXX": {"Full": (1, 1), "Typical": (0, 0), "Minimal": (0, 0)},
        "XXX": {"Full": (0, 0), "Typical": (0, 0), "Minimal": (0, 0)},
        "FXM": {"Full": (1, 0), "Typical": (1, 0), "Minimal": (1, 1)},
    }
    written = {"FTM": "XXM", "FTX": "XTX", "FXX": "FXX", "XXX": "XXX", "FXM": "XXM"}
    for letters, states in expected.items():
        program, window = open_page(s, "options", letters, "C:\\Dest\\", "Group")
        assert radios(s) == states, letters
        # Leaving by Back writes the letters too.
        s.click(**FIXTURE, id=BACK)
        s.wait_until(lambda: status(s).startswith("back:"), what="the page closed by Back")
        assert buffers(cancel(s, program), "back")[1] == written[letters], letters

    # Typical chosen, then Next: only its letter stays.
    program, window = open_page(s, "options", "FTM", "C:\\Dest\\", "Group")
    s.click(**FIXTURE, text="Typical")
    s.wait_until(lambda: radios(s)["Typical"] == (1, 1) and radios(s)["Minimal"] == (1, 0),
                 what="Typical alone checked")
    # The mode buttons paint on the page's grey, not on the system's.
    modes = [c for c in controls(s) if c["text"] in ("Full", "Typical", "Minimal")]

    def above_texts(shot):
        return {b["text"]: screen_area(shot, window["cx"] + b["x"] + b["w"] // 2, window["cy"] + b["y"] + 1, 1, 1)
                for b in modes}

    grey = {b["text"]: [[LT_GRAY]] for b in modes}
    shot = screenshot_until(s, "typical", lambda shot: above_texts(shot) == grey)
    assert len(modes) == 3 and above_texts(shot) == grey
    s.click(**FIXTURE, id=NEXT)
    s.wait_until(lambda: status(s).startswith("next:"), what="the page closed by Next")
    assert buffers(cancel(s, program), "next") == ("C:\\Dest\\", "XTX", "Group")


@time_limit(180)
def test_options_page_fields_list_and_browse(s):
    # Creating a group opens its folder window, which would cover the page.
    s.dde_exec("[CreateGroup(Utilities)]")
    s.wait_window(cls="ExplorerWClass", title="Utilities")
    s.close_explorer_windows()
    program, window = open_page(s, "options", "FTX", "", "My Group")
    assert "grouplist=ok" in program.stdout()
    # No destination yet: Next waits for one.
    assert control(s, id=DEST)["text"] == "" and control(s, id=GROUP)["text"] == "My Group"
    assert not control(s, id=NEXT)["enabled"]
    s.type_text("D", **FIXTURE, id=DEST)
    s.wait_until(lambda: control(s, id=NEXT)["enabled"], what="Next enabled by one character")
    s.set_text("", **FIXTURE, id=GROUP)
    s.wait_until(lambda: not control(s, id=NEXT)["enabled"], what="Next disabled by an empty name")

    # The existing groups, sorted; a double-click takes one as the name.
    groups = s.items(**FIXTURE, id=GROUPS)
    assert "Utilities" in groups and groups == sorted(groups, key=str.lower), groups
    s.select(string="Utilities", double=True, **FIXTURE, id=GROUPS)
    s.wait_until(lambda: control(s, id=GROUP)["text"] == "Utilities", what="the group taken from the list")
    s.wait_until(lambda: control(s, id=NEXT)["enabled"], what="Next enabled again")
    s.screenshot("options")

    # Browse: Cancel changes nothing; OK keeps the chosen folder, backslash included.
    s.click(**FIXTURE, id=BROWSE)
    dialog, _ = s.wait_window(exe="pagefixture.exe", cls="#32770", id=147)
    s.screenshot("browse")
    s.click(hwnd=dialog["hwnd"], id=2)
    s.wait_gone(hwnd=dialog["hwnd"])
    assert control(s, id=DEST)["text"] == "D"
    s.click(**FIXTURE, id=BROWSE)
    dialog, _ = s.wait_window(exe="pagefixture.exe", cls="#32770", id=147)
    s.set_text("C:\\windows\\win.ini", hwnd=dialog["hwnd"], id=1152)
    s.click(hwnd=dialog["hwnd"], id=1)
    s.wait_until(lambda: control(s, id=DEST)["text"].lower() == "c:\\windows\\",
                 what=lambda: f"the chosen folder (now {control(s, id=DEST)['text']!r})")

    # Entries are cut to what the buffers hold: 511 characters.
    s.set_text("N" * 600, **FIXTURE, id=GROUP)
    s.click(**FIXTURE, id=NEXT)
    s.wait_until(lambda: status(s).startswith("next:"), what="the page closed by Next")
    folder, letters, name = buffers(cancel(s, program), "next")
    assert folder.lower() == "c:\\windows\\" and letters == "XTX" and name == "N" * 511
