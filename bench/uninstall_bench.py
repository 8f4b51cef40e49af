#!/usr/bin/env python3
"""Uninstall time against the application's size: setups of 10 MB, 300 MB
and 1 GB (three files each) are installed unattended under 64-bit Wine,
then uninstalled unattended through the installed copy (`/S`), which
relaunches from the temporary folder and returns when the work is done.
The time runs from the start of the installed copy to its end.

--stub-before names a build of the setup program to compare with (for
instance one made from an earlier commit): each setup is then also built
on it and uninstalled the same way, side by side in one run.

  python3 bench/uninstall_bench.py [--sizes 10M,300M,1G] [--stub-before OLD/kelvo.exe]

Needs the native build (kelvopack) and the 64-bit Windows build (kelvo.exe,
kelvodrive); the golden Wine prefix is made when it is missing. The work
folder is $TMPDIR/kelvo-uninstall-bench.
"""

import argparse
import os
import shutil
import sys
from pathlib import Path

sys.dont_write_bytecode = True
SOURCE = Path(__file__).resolve().parent
sys.path.insert(0, str(SOURCE))

from scale_bench import Pool, free_bytes, make_large, measured, parse_size, write_project  # noqa: E402
from kelvo_wine import Layout, Session, ensure_golden, unattended_uninstall  # noqa: E402
from wizard_pages import APP  # noqa: E402

DESTINATION = "C:\\Bench"


def build(layout, work, files, stub, name):
    kelvopack = layout.native_file("tools/kelvopack/kelvopack")
    setup = work / f"{name}.exe"
    code, seconds, _, output = measured([kelvopack, "build", write_project(work, files), "-o", setup,
                                         "--stub", stub, "-q"])
    if code != 0:
        raise RuntimeError(f"kelvopack build failed ({code}): {output}")
    return setup


def uninstall_time(layout, setup, label):
    """Installs `setup` unattended, then times the unattended uninstall
    started from the installed copy; checks that nothing stayed."""
    with Session(f"bench.uninstall-{label}", layout=layout) as s:
        exe = s.to_linux(f"C:\\dist\\{APP}")
        exe.parent.mkdir(parents=True, exist_ok=True)
        try:
            os.link(setup, exe)
        except OSError:
            shutil.copyfile(setup, exe)
        returned, done = unattended_uninstall(s, f"C:\\dist\\{APP}", DESTINATION, 3600)
        s.wait_no_process(APP, timeout=600)
        # The bytes the relaunch left in the temporary folder.
        left = sum(p.stat().st_size for p in s.temp_dir.rglob("*") if p.is_file())
        return returned, done, left


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--sizes", default="10M,300M,1G", help="payloads, in 3 files each")
    parser.add_argument("--stub-before", help="an earlier build of kelvo.exe to compare with")
    args = parser.parse_args()
    layout = Layout.from_env()
    layout.win64_file("tools/kelvodrive/kelvodrive.exe")
    ensure_golden(layout)
    stubs = [("after", layout.win64_file("app/kelvo.exe"))]
    if args.stub_before:
        stubs.insert(0, ("before", Path(args.stub_before)))
    work = Path(os.environ.get("TMPDIR", "/tmp")) / "kelvo-uninstall-bench"
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    pool = Pool()
    rows = []
    try:
        for text in args.sizes.split(","):
            total = parse_size(text)
            if 4 * total > free_bytes(work):
                print(f"{text}: left out, not enough disk")
                continue
            files = work / f"large-{text}"
            make_large(pool, files, total)
            for name, stub in stubs:
                setup = build(layout, work, files, stub, f"{text}-{name}")
                returned, done, left = uninstall_time(layout, setup, f"{text}-{name}")
                rows.append((text, name, setup.stat().st_size, returned, done, left))
                print(f"{text} {name}: returned after {returned:.2f} s, work done after {done:.2f} s, "
                      f"{left / 1e6:.1f} MB left in the temporary folder", flush=True)
                setup.unlink()
            shutil.rmtree(files)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print()
    print("| payload | program | setup | installed copy returns | work done | left in TEMP |")
    print("|---|---|---|---|---|---|")
    for text, name, size, returned, done, left in rows:
        print(f"| {text} | {name} | {size / 1e6:.1f} MB | {returned:.2f} s | {done:.2f} s | {left / 1e6:.1f} MB |")


if __name__ == "__main__":
    main()
