"""The setup program's wizard as a person meets it, for the end-to-end tests:
the main window and its buttons, each page's title, text and button
captions, the controls of the options page and of the text view, the
progress dialog, and the steps a person takes through them. The one place
that knows these ids, captions and texts."""

import re
from dataclasses import dataclass

APP = "setup.exe"
INSTALL_CAPTION = 'Kelvo \u00ae - "Let The Kelvo Do The Work For You!"'
UNINSTALL_CAPTION = "Kelvo \u00ae - Uninstalling application: "
CANCEL_TITLE = "Application Canceled!"
CANCEL_TEXT = '"Kelvo" has been canceled.\nPress "Yes" for closing or\n"No" for returning.'



def install_caption(name=None):
    """The wizard's caption; `name`: the application's, as the script gives it."""
    return f'{name} - "Let The Kelvo Do The Work For You!"' if name else INSTALL_CAPTION


def uninstall_caption(name=None):
    """The uninstaller's caption up to the group's name."""
    return f"{name} - Uninstalling application: " if name else UNINSTALL_CAPTION


def caption_name(caption):
    """The application's name a caption shows; None for the setup's own."""
    for own in (INSTALL_CAPTION, UNINSTALL_CAPTION):
        tail = own[len("Kelvo \u00ae"):]
        if own == INSTALL_CAPTION and caption.endswith(tail):
            name = caption[:-len(tail)]
        elif own == UNINSTALL_CAPTION and tail in caption:
            name = caption[:caption.index(tail)]
        else:
            continue
        return None if name == "Kelvo \u00ae" else name
    return None


def cancel_text(name=None):
    return CANCEL_TEXT.replace('"Kelvo"', f'"{name}"') if name else CANCEL_TEXT


BACK, NEXT, CANCEL, ABOUT = 51000, 51001, 51002, 51004
# id: (caption when the window opens, x); all at y 352, 100 x 32.
BUTTONS = {BACK: ("< Back", 25), NEXT: ("Next >", 175), CANCEL: ("Cancel", 325), ABOUT: ("About!", 475)}
PAGE_RECT = (192, 10, 398, 316)

# The text view's scroll bars, and the options page's controls.
VSCROLL, HSCROLL = 51100, 51101
GROUP_LIST, DEST_FIELD, BROWSE, GROUP_FIELD = 50001, 50002, 50003, 50004
# Beside the empty list when the shell does not list the groups.
LIST_NOTE = 50005
LIST_NOTE_TEXT = "The shell did not list the existing program groups. Type the group's name: it is made all the same."
MODES = {"full": "Full", "typical": "Typical", "minimal": "Minimal"}

PROGRESS_TITLE = "Progress"
PROGRESS_BAR, PROGRESS_LINE1, PROGRESS_LINE2 = 40001, 40002, 40003
UNINSTALL_DONE = "Uninstallation is completed."


@dataclass(frozen=True)
class Page:
    title: str
    text: str
    back: str = None  # None: the button is disabled (its caption stays)
    next: str = None
    cancel: str = None


PRESENTATION = Page("Installation Utility Ready!", "Please read the presentation text:", None, "Next >", "Cancel")
AGREEMENT = Page("License Agreement",
                 'Please carefully read the "License Agreement" terms:\n\n\n\n\n\n\n\n\n\n\n'
                 'Do you accept? (Press "Yes" or "No")', "< Back", "Yes", "No")
OPTIONS = Page("Installation Options",
               "Destination folder:\n\nAvailable installation modes:\n\nProgram group name:\n\n"
               "Existing program groups:", "< Back", "Next >", "Cancel")
START = Page("Start Installation",
             '\nTo start the installation process just push the\n"Start !" button.\n\n'
             "Note: The installation utility will prompt you whenever\nnecessary.", "< Back", "Start !", "Cancel")
CONFIRMATION = Page("Uninstallation",
                    "\nAre you sure you want to completely uninstall\nthe aplication and all its components?",
                    None, "Yes", "No")


class Wizard:
    """One running setup program's wizard."""

    def __init__(self, s, caption=INSTALL_CAPTION, app=APP):
        self.s = s
        self.caption = caption
        self.app = app

    def window(self, timeout=20):
        return self.s.wait_window(exe=self.app, title=self.caption, id=ABOUT, timeout=timeout)[0]

    def controls(self):
        """Every control below the main window, by the driver's description."""
        return self.s.children(hwnd=self.window()["hwnd"])[1]

    def buttons(self):
        """id -> (caption, enabled) of the four buttons."""
        return {c["id"]: (c["text"], bool(c["enabled"])) for c in self.controls()
                if c["class"] == "Button" and c["id"] in BUTTONS}

    def page_window(self, page):
        pages = [c for c in self.controls() if c["class"] == "KelvoWindow" and c["text"] == page.title]
        return pages[0] if len(pages) == 1 else None

    def page_controls(self, page):
        """The controls of the page in view."""
        frame = self.page_window(page)
        return [c for c in self.controls() if c.get("parent") == frame["hwnd"]] if frame else []

    def wait_page(self, page, timeout=20):
        """Waits until `page` is the one page in view and has set up the
        buttons (Next may be disabled still by its own rule); returns it."""
        def ready():
            frame = self.page_window(page)
            if not frame:
                return None
            shown = self.buttons()
            for button, caption in ((BACK, page.back), (CANCEL, page.cancel)):
                if caption is not None and shown[button] != (caption, True):
                    return None
                if caption is None and shown[button][1]:
                    return None
            if page.next is not None and shown[NEXT][0] != page.next:
                return None
            others = [c for c in self.controls() if c["class"] == "KelvoWindow"
                      and (c["x"], c["y"], c["w"], c["h"]) == PAGE_RECT and c["text"] != page.title]
            return None if others else frame
        return self.s.wait_until(ready, timeout=timeout, what=f"the page {page.title!r}")

    def click(self, button):
        self.s.click(exe=self.app, title=self.caption, id=button)

    def wait_enabled(self, button, timeout=10):
        self.s.wait_until(lambda: self.buttons()[button][1], timeout=timeout, what=f"button {button} enabled")

    def next(self):
        self.wait_enabled(NEXT)
        self.click(NEXT)

    def back(self):
        self.click(BACK)

    def cancel(self, answer="YES"):
        self.click(CANCEL)
        box = self.s.message_box(exe=self.app, title=CANCEL_TITLE)
        assert box["text"] == cancel_text(caption_name(self.caption)), box
        self.s.press(answer, exe=self.app, title=CANCEL_TITLE)
        if answer == "YES":
            self.s.wait_gone(exe=self.app, title=self.caption)

    def scroll_to_end(self):
        """Drags the text view's vertical thumb to the end of its range."""
        bar = [c for c in self.controls() if c["id"] == VSCROLL][0]
        self.s.scroll("THUMBTRACK", pos=bar["max"], hwnd=self.window()["hwnd"], ctl_hwnd=bar["hwnd"])

    def accept_agreement(self):
        self.wait_page(AGREEMENT)
        if not self.buttons()[NEXT][1]:
            self.scroll_to_end()
        self.next()

    def option_controls(self):
        return {c["id"] if c["id"] != 0xFFFF else c["text"]: c for c in self.page_controls(OPTIONS)}

    def set_options(self, destination=None, group=None, mode=None):
        """Types the destination and the group name (when given) and checks
        the mode's radio button ("full", "typical", "minimal")."""
        self.wait_page(OPTIONS)
        if destination is not None:
            self.s.type_text(destination, exe=self.app, title=self.caption, id=DEST_FIELD)
        if group is not None:
            self.s.type_text(group, exe=self.app, title=self.caption, id=GROUP_FIELD)
        if mode is not None:
            self.s.click(exe=self.app, title=self.caption, text=MODES[mode], ctl_class="Button")

    def through_to_start(self, destination=None, group=None, mode=None):
        """Presentation, agreement, options: stops on the start page."""
        self.wait_page(PRESENTATION)
        self.next()
        self.accept_agreement()
        self.set_options(destination, group, mode)
        self.next()
        self.wait_page(START)


RUN_FOLDER = re.compile(r"kelvo-[0-9a-f]{8}")


def run_folders(s):
    """The setup program's run folders in C:\\windows\\TEMP, each holding one
    run's working files, oldest first."""
    folders = [p for p in s.temp_dir.iterdir() if p.is_dir() and RUN_FOLDER.fullmatch(p.name)]
    return sorted(folders, key=lambda p: p.stat().st_mtime_ns)


def working_files(s):
    """The run folder of the one run so far (or the newest): where start-up
    wrote its working files."""
    folders = run_folders(s)
    assert folders, f"no run folder in {s.temp_dir}: {sorted(p.name for p in s.temp_dir.iterdir())}"
    return folders[-1]
