#!/usr/bin/env python3
"""Measures the setup program under Wine, with the end-to-end harness:

  install   a setup of 100 MB in 2 000 files installed through the wizard,
            against `cp -r` of the same files into the same prefix's drive;
            Wine's start-up (start to first page) is reported apart, and
            Wine's own xcopy of the files, the Windows file API's cost here
  start     start to the first page painted, and the text view's scrolling
            (lines per second), with a 5 KB and a 5 MB agreement text
  integrity start to the first page of a 100 MB setup with its integrity
            record and without (the record's magic changed), against the
            time to read the file once

Needs the native build (kelvopack), the 64-bit Windows build and the golden
prefix (ctest -R e2e.golden_prefix). Not part of the tests: run by hand,

  python3 bench/wine_bench.py install|start|integrity|all
"""

import os
import random
import shutil
import subprocess
import sys
import time
from pathlib import Path

sys.dont_write_bytecode = True
SOURCE = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(SOURCE / "tests" / "e2e"))
os.environ.setdefault("KELVO_NATIVE_DIR", str(SOURCE / "build" / "native"))

from kelvo_wine import Session  # noqa: E402
from wizard_pages import AGREEMENT, PRESENTATION, START, VSCROLL, Wizard  # noqa: E402

APP = "setup.exe"


def make_files(folder, count, total, seed=1):
    """`count` files of `total` bytes in all, in sub-folders: a third text,
    a third half-random, a third random, so that the coder works as it does
    on a real application."""
    rng = random.Random(seed)
    words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
             for _ in range(500)]
    size = total // count
    for i in range(count):
        path = folder / f"dir{i % 40:02d}" / f"file{i:05d}.dat"
        path.parent.mkdir(parents=True, exist_ok=True)
        kind = i % 3
        if kind == 0:
            data = b" ".join(rng.choice(words) for _ in range(size // 5))[:size]
        elif kind == 1:
            data = bytes(rng.getrandbits(8) & 0x0F for _ in range(size))
        else:
            data = rng.randbytes(size)
        path.write_bytes(data.ljust(size, b" "))


def build_setup(s, files, texts, out):
    """kelvopack build of `files` with the demo's bitmap and `texts`."""
    kelvopack = s.layout.native_file("tools/kelvopack/kelvopack")
    stub = s.layout.win64_file("app/kelvo.exe")
    bitmap = out.parent / "logo.bmp"
    subprocess.run(["convert", "-size", "180x150", "gradient:navy-gold", "+dither", "-colors", "200",
                    "-type", "Palette", "-compress", "none", f"BMP3:{bitmap}"], check=True)
    project = out.parent / "bench.toml"
    project.write_text(
        'name = "Bench"\ngroup = "Bench"\ndestination = \'C:\\Bench\\\'\nmodes = ["full"]\n'
        f'bitmap = "{bitmap}"\npresentation = "{texts[0]}"\nagreement = "{texts[1]}"\n'
        f'[[folder]]\nsource = "{files}"\npath = "data"\n', encoding="utf-8")
    subprocess.run([kelvopack, "build", project, "-o", out, "--stub", stub, "-q"], check=True)


def payload_setup(s, root, count):
    """The files (100 MB in `count` files) and the setup made of them."""
    files = root / "files"
    make_files(files, count, 100 << 20)
    texts = [root / "pres.txt", root / "licen.txt"]
    for text in texts:
        text.write_text("Benchmark.\n")
    setup = root / APP
    build_setup(s, files, texts, setup)
    return files, setup


def start_to_first_page(s, exe):
    started = time.monotonic()
    program = s.start(exe, cwd="C:\\dist")
    wizard = Wizard(s)
    wizard.wait_page(PRESENTATION, timeout=60)
    return program, wizard, time.monotonic() - started


def bench_install(root):
    with Session("bench.install") as s:
        files, setup = payload_setup(s, root, 2000)
        exe = s.put(setup, f"C:\\dist\\{APP}")
        program, wizard, startup = start_to_first_page(s, exe)
        wizard.next()
        wizard.accept_agreement()
        wizard.set_options("C:\\Bench")
        wizard.next()
        wizard.wait_page(START)
        started = time.monotonic()
        wizard.next()
        assert program.wait(600) == 0
        install = time.monotonic() - started

        target = s.drive_c / "copy"
        started = time.monotonic()
        # Neither side waits for the disk: Wine's writes stay in the page cache too.
        subprocess.run(["cp", "-r", str(files), str(target)], check=True)
        copy = time.monotonic() - started
        # Wine's own copy of the same files through the Windows file API: what
        # any Windows program pays here for creating and writing them.
        started = time.monotonic()
        xcopy = s.run_wine(["cmd", "/c", "xcopy", "/s", "/e", "/i", "/q", s.to_windows(files), "C:\\xcopy"],
                           "xcopy")
        assert xcopy.wait(600) == 0
        wine_copy = time.monotonic() - started
        size = sum(p.stat().st_size for p in files.rglob("*") if p.is_file())
        print(f"setup: {setup.stat().st_size / 1e6:.1f} MB for {size / 1e6:.1f} MB in 2000 files")
        print(f"Wine start-up to the first page: {startup:.2f} s")
        print(f"install (Start ! to exit): {install:.2f} s, {size / 1e6 / install:.1f} MB/s")
        print(f"cp -r of the same files: {copy:.2f} s, {size / 1e6 / copy:.1f} MB/s")
        print(f"install against cp: {copy / install:.2f} (target: at least 0.5)")
        print(f"Wine's xcopy of the same files: {wine_copy:.2f} s; install against it: {wine_copy / install:.2f}")


def bench_start(root):
    for label, size in (("5 KB", 5 << 10), ("5 MB", 5 << 20)):
        with Session(f"bench.start-{label.replace(' ', '')}") as s:
            line = b"The licence of the benchmark, one line of the agreement text.\r\n"
            agreement = root / f"licen-{size}.txt"
            agreement.write_bytes((line * (size // len(line) + 1))[:size])
            presentation = root / "pres.txt"
            presentation.write_text("Benchmark.\n")
            files = root / f"files-{size}"
            make_files(files, 3, 30000)
            setup = root / f"setup-{size}.exe"
            build_setup(s, files, [presentation, agreement], setup)
            exe = s.put(setup, f"C:\\dist\\{APP}")
            program, wizard, startup = start_to_first_page(s, exe)
            wizard.next()
            wizard.wait_page(AGREEMENT)
            window = wizard.window()["hwnd"]
            bar = [c for c in wizard.controls() if c["id"] == VSCROLL][0]

            def position():
                return [c for c in s.children(hwnd=window)[1] if c["id"] == VSCROLL][0]["pos"]

            # One step at a time, each handled (and so painted, the queue
            # being empty then) before the next: 100 drags of the thumb by
            # five lines.
            steps = 100
            started = time.monotonic()
            for step in range(1, steps + 1):
                target = min(step * 80, bar["max"])
                s.scroll("THUMBTRACK", pos=target, hwnd=window, ctl_hwnd=bar["hwnd"])
                s.wait_until(lambda: position() == target, timeout=10, what="the thumb moved")
            elapsed = time.monotonic() - started
            print(f"{label} agreement: start to first page {startup:.2f} s; "
                  f"scrolling {steps * 5 / elapsed:.0f} lines/s ({steps} steps of 5 lines in {elapsed:.2f} s)")
            wizard.cancel()
            program.wait(30)


def bench_integrity(root):
    with Session("bench.integrity") as s:
        _, setup = payload_setup(s, root, 200)
        data = setup.read_bytes()
        magic = data.find(b"KELVOCRC")
        assert magic > 0, "no integrity record"
        unchecked = root / "unchecked.exe"
        unchecked.write_bytes(data[:magic] + b"X" + data[magic + 1:])
        started = time.monotonic()
        for _ in range(3):
            (root / APP).read_bytes()
        read_once = (time.monotonic() - started) / 3
        results = {}
        for label, local in (("checked", setup), ("unchecked", unchecked)):
            exe = s.put(local, f"C:\\dist\\{APP}")
            times = []
            for _ in range(3):
                program, wizard, startup = start_to_first_page(s, exe)
                times.append(startup)
                wizard.cancel()
                program.wait(30)
            results[label] = sorted(times)[1]
        print(f"100 MB setup, start to first page: {results['checked']:.2f} s with the check, "
              f"{results['unchecked']:.2f} s without: the check costs {results['checked'] - results['unchecked']:.2f} s; "
              f"reading the file once takes {read_once:.2f} s (page cache warm)")


def main():
    what = sys.argv[1] if len(sys.argv) > 1 else "all"
    root = Path(os.environ.get("TMPDIR", "/tmp")) / "kelvo-wine-bench"
    shutil.rmtree(root, ignore_errors=True)
    root.mkdir(parents=True)
    try:
        if what in ("install", "all"):
            bench_install(root)
        if what in ("start", "all"):
            bench_start(root)
        if what in ("integrity", "all"):
            bench_integrity(root)
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
