#!/usr/bin/env python3
"""Takes the pictures of the wizard that the README shows, under Wine:

  python3 scripts/wizard_pictures.py [DIR]      (default: docs)

Needs scripts/run-demo.sh to have run (the 64-bit demo setup and the working
files it left in build/demo/). Writes DIR/wizard.png for the presentation
page and DIR/wizard-<page>.png for the agreement, options, folder browser,
start, progress and uninstall confirmation pages.
The progress dialog is shown by a setup with the demo's bitmap and texts
and a file large enough for the dialog to be seen at work.
"""

import subprocess
import sys
import time
from pathlib import Path

sys.dont_write_bytecode = True
ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import kelvo_wine  # noqa: E402
from setup_package import Record, Setup, blank_record  # noqa: E402
from wizard_pages import (AGREEMENT, BROWSE, CONFIRMATION, OPTIONS, PRESENTATION, PROGRESS_TITLE,  # noqa: E402
                          START, UNINSTALL_CAPTION, Wizard)

DEMO = ROOT / "build" / "demo"
FOLDER = "C:\\Downloads\\Kelvo Demo"


def save(s, window, path):
    """The window's frame from a fresh picture of the screen, without time
    stamps, so that the same picture gives the same file."""
    shot = s.screenshot(path.stem)
    frame = f"{window['w']}x{window['h']}+{window['x']}+{window['y']}"
    subprocess.run(["convert", str(shot), "-crop", frame, "+repage", "-strip",
                    "-define", "png:exclude-chunk=date,time", str(path)], check=True, timeout=30)
    print(f"  {path}")


def pages(s, out):
    app = "demo-setup.exe"
    exe = s.put(DEMO / "x86_64" / app, f"{FOLDER}\\{app}")
    program = s.start(exe, cwd=FOLDER)
    wizard = Wizard(s, app=app)
    wizard.wait_page(PRESENTATION)
    window = wizard.window()
    save(s, window, out / "wizard.png")
    wizard.next()
    wizard.wait_page(AGREEMENT)
    save(s, window, out / "wizard-agreement.png")
    wizard.accept_agreement()
    wizard.wait_page(OPTIONS)
    save(s, window, out / "wizard-options.png")
    wizard.click(BROWSE)
    s.wait_window(exe=app, cls="#32770", id=1121)
    save(s, window, out / "wizard-browse.png")
    s.close_window(exe=app, cls="#32770")
    wizard.next()
    wizard.wait_page(START)
    save(s, window, out / "wizard-start.png")
    wizard.next()
    program.wait(60)
    s.close_explorer_windows()
    destination = "C:\\Kelvo Demo"
    assert s.start(f"{destination}\\{app}", cwd=destination).wait(30) == 0
    uninstall = Wizard(s, UNINSTALL_CAPTION + "Kelvo Demo", app=app)
    uninstall.wait_page(CONFIRMATION)
    save(s, uninstall.window(), out / "wizard-uninstall.png")
    uninstall.cancel()


def progress(s, out):
    files = DEMO / "working-files"
    setup = Setup(group="Kelvo Demo", destination="C:\\Kelvo Demo\\")
    setup.records = [blank_record("C:\\KELVO\\data.bin", 600 << 20, flags="GFTM"),
                     Record(setup.bitmap, (files / "kelvo.bmp").read_bytes()),
                     Record(setup.presentation, (files / "pres.txt").read_bytes()),
                     Record(setup.agreement, (files / "licen.txt").read_bytes())]
    setup.records[0].title = "Kelvo Demo"
    local = s.root / "setup.exe"
    setup.write(s.layout.win64_file("app/kelvo.exe"), local)
    exe = s.put(local, f"{FOLDER}\\setup.exe")
    program = s.start(exe, cwd=FOLDER)
    wizard = Wizard(s)
    wizard.through_to_start()
    window = wizard.window()
    wizard.next()
    s.wait_window(exe="setup.exe", title=PROGRESS_TITLE, id=2, timeout=30)
    time.sleep(0.8)  # the bar a little way on
    save(s, window, out / "wizard-progress.png")
    program.wait(120)


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else ROOT / "docs"
    out.mkdir(parents=True, exist_ok=True)
    layout = kelvo_wine.Layout.from_env()
    kelvo_wine.ensure_golden(layout)
    for step in (pages, progress):
        with kelvo_wine.Session(f"pictures.{step.__name__}", layout) as s:
            step(s, out.resolve())
    return 0


if __name__ == "__main__":
    sys.exit(main())
