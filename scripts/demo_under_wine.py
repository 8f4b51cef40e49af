#!/usr/bin/env python3
"""Shows a demo setup's wizard under Wine and takes its picture.

  demo_under_wine.py SETUP.exe [--out DIR] [--copy-to PNG ...]

Runs SETUP.exe (a setup behind the 64-bit setup program) from its own folder
in a private copy of the end-to-end tests' Wine prefix, on a private X server
with a virtual desktop. Waits for the wizard window, checks that it shows the
setup's bitmap, saves the window's picture as DIR/wizard.png (and copies it
to every --copy-to), copies the working files that start-up wrote to
DIR/working-files/. Then installs the demo as a person would (the agreement
read to its end, the offered destination, group and mode), checks what was
installed against what the setup holds, runs the installed copy to
uninstall it again, and tears everything down. Exit code 0 when all of that
worked, 1 otherwise.
"""

import argparse
import shutil
import signal
import subprocess
import sys
import time
import traceback
from pathlib import Path

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import kelvo_wine  # noqa: E402
from pictures import bmp_picture, pixels_unlike_bitmap  # noqa: E402
from wizard_pages import CONFIRMATION, UNINSTALL_DONE, Wizard, uninstall_caption, working_files  # noqa: E402

FOLDER = "C:\\Downloads\\Kelvo Demo"
# The caption's end; before it stands the application's name.
CAPTION_END = ' - "Let The Kelvo Do The Work For You!"'
ABOUT_ID = 51004
WORKING_FILES = ("apend.se", "cur.se", "kelvo.se", "kelvo.bmp", "pres.txt", "licen.txt")
TIME_LIMIT = 240


class Failure(Exception):
    pass


def wait_for_wizard(s, app, program, timeout=60):
    """The wizard's window once it is up with its buttons; a message box or
    the end of the program instead is a failure, reported at once."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            return s.wait_window(exe=app, title_part=CAPTION_END, id=ABOUT_ID, timeout=1)[0]
        except kelvo_wine.DriveError as error:
            if error.code != kelvo_wine.DRIVE_TIMEOUT:
                raise
        if not program.running():
            raise Failure(f"{app} ended with exit code {program.exit_code} before showing its wizard")
        if [w for w in s.windows(exe=app) if w.get("class") == "#32770"]:
            box = s.message_box(exe=app)
            raise Failure(f"{app} shows a message instead of its wizard: {box['caption']}: {box['text']}")
        if time.monotonic() > deadline:
            raise Failure(f"no wizard window within {timeout} s")


def show_wizard(s, setup, out, copies):
    app = setup.name
    exe = s.put(setup, f"{FOLDER}\\{app}")
    program = s.start(exe, cwd=FOLDER)
    window = wait_for_wizard(s, app, program)
    print(f"wizard window up: {window['title']} ({window['cw']} x {window['ch']})")

    temp = working_files(s)
    missing = [name for name in WORKING_FILES if not (temp / name).is_file()]
    if missing:
        raise Failure(f"start-up did not write {', '.join(missing)} into its run folder")

    # The window may still be painting when it first shows: take pictures
    # until the bitmap appears in full.
    bitmap = (temp / "kelvo.bmp").read_bytes()
    width, height, _ = bmp_picture(bitmap)
    x, y = window["cx"] + 10, window["cy"] + 10
    deadline = time.monotonic() + 10
    while True:
        shot = s.screenshot("wizard")
        wrong = pixels_unlike_bitmap(shot, x, y, bitmap)
        if not wrong:
            break
        if time.monotonic() > deadline:
            raise Failure(f"the wizard does not show the setup's bitmap ({len(wrong)} of {width * height} "
                          f"pixels differ), see {shot}")
        time.sleep(0.5)

    out.mkdir(parents=True, exist_ok=True)
    picture = out / "wizard.png"
    frame = f"{window['w']}x{window['h']}+{window['x']}+{window['y']}"
    # Without time stamps, so that the same picture gives the same file.
    subprocess.run(["convert", str(shot), "-crop", frame, "+repage", "-strip",
                    "-define", "png:exclude-chunk=date,time", str(picture)], check=True, timeout=30)
    for copy in copies:
        copy.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(picture, copy)

    files = out / "working-files"
    if files.exists():
        shutil.rmtree(files)
    files.mkdir()
    for name in WORKING_FILES:
        shutil.copyfile(temp / name, files / name)

    print(f"working files written by start-up, in {s.to_windows(temp)} of the Wine prefix, copied to:")
    for name in WORKING_FILES:
        print(f"  {files / name} ({(files / name).stat().st_size} bytes)")
    print(f"screenshot of the wizard: {picture}")
    for copy in copies:
        print(f"  copied to {copy}")
    print(f"whole screen: {shot}")

    install_and_uninstall(s, app, program, files, window["title"])


def install_and_uninstall(s, app, program, working_files, caption):
    """Takes the wizard (of that caption) to its end with the script's
    settings, checks the destination, then uninstalls through the installed
    copy."""
    app_name = caption[:-len(CAPTION_END)]
    wizard = Wizard(s, caption, app=app)
    wizard.through_to_start()
    wizard.next()
    code = program.wait(120)
    if code != 0:
        raise Failure(f"{app} ended the installation with exit code {code}")
    s.close_explorer_windows()
    script = (working_files / "kelvo.se").read_bytes().decode("cp1252")
    destination = script.split("#DIR_DEST ", 1)[1].split("\r\n", 1)[0]
    group = script.split("#DIR_NOME_GRUPO ", 1)[1].split("\r\n", 1)[0]
    root = s.to_linux(destination)
    installed = sorted(str(p.relative_to(root)) for p in root.rglob("*") if p.is_file())
    print(f"installed into {destination} (in the Wine prefix: {root}):")
    for name in installed:
        print(f"  {name} ({(root / name).stat().st_size} bytes)")
    for own in (app, "modo.se", "uninstall.s_"):
        if own not in installed:
            raise Failure(f"the installation left no {own} in {destination}")
    _, items = s.group_items(group)
    print(f"program group {group!r}: " + ", ".join(sorted(i["item"] for i in items)))

    first = s.start(f"{destination}{app}", cwd=destination)
    if first.wait(30) != 0:
        raise Failure("the installed copy did not relaunch itself for the uninstallation")
    uninstall = Wizard(s, uninstall_caption(None if app_name == "Kelvo \u00ae" else app_name) + group, app=app)
    uninstall.wait_page(CONFIRMATION)
    uninstall.next()
    box = s.message_box(exe=app, title="Notice!", timeout=60)
    if box["text"] != UNINSTALL_DONE:
        raise Failure(f"the uninstallation ended with: {box['text']}")
    s.press("OK", exe=app, title="Notice!")
    if root.exists():
        raise Failure(f"{destination} is still there after the uninstallation")
    print(f"uninstalled: {destination} and the program group are gone")


def _interrupt(signum, frame):
    raise Failure(f"interrupted by signal {signum}")


def _too_slow(signum, frame):
    raise Failure(f"the demo took longer than {TIME_LIMIT} s")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("setup", type=Path)
    parser.add_argument("--out", type=Path, default=ROOT / "build" / "demo")
    parser.add_argument("--copy-to", type=Path, action="append", default=[])
    args = parser.parse_args()
    setup = args.setup.resolve()
    if not setup.is_file():
        print(f"{setup}: no such file", file=sys.stderr)
        return 1

    for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(signum, _interrupt)
    signal.signal(signal.SIGALRM, _too_slow)
    signal.alarm(TIME_LIMIT)
    layout = kelvo_wine.Layout.from_env()
    session = kelvo_wine.Session("demo", layout)
    # Logs and whole-screen pictures of this run, beside the results.
    session.artifacts = args.out.resolve() / "wine"
    try:
        if not layout.kelvodrive.exists():
            raise Failure(f"{layout.kelvodrive} is not built (cmake --build --preset mingw-x86_64)")
        kelvo_wine.ensure_golden(layout)
        session.open()
        print(f"Wine prefix {session.prefix}, X display {session.display}")
        show_wizard(session, setup, args.out.resolve(), [c.resolve() for c in args.copy_to])
        session.check_crashes()
        code = 0
    except Exception as failure:  # noqa: BLE001 - every failure must end in teardown
        if not isinstance(failure, (Failure, kelvo_wine.HarnessError)):
            traceback.print_exc()
        print(f"demo failed: {failure}", file=sys.stderr)
        if session.display is not None:
            try:
                print(f"screen at the failure: {session.screenshot('failure')}", file=sys.stderr)
            except Exception:  # noqa: BLE001 - best effort only
                pass
        code = 1
    finally:
        for signum in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
            signal.signal(signum, signal.SIG_IGN)
        signal.alarm(60)
        try:
            session.close()
        except kelvo_wine.HarnessError as problem:
            print(f"teardown: {problem}", file=sys.stderr)
            code = 1
        signal.alarm(0)
    print(f"logs: {session.artifacts / 'logs'}")
    return code


if __name__ == "__main__":
    sys.exit(main())
