#!/usr/bin/env python3
"""Silent install of one payload, side by side in one Wine prefix:

  kelvo     kelvopack's setup (the 64-bit setup program), `/S /D=`
  nsis      makensis's setup (zlib, amd64) of a plain file install to
            $INSTDIR, `/S /D=`
  cp -r     the payload copied into the same prefix's drive
  empty     an empty Wine program: what Wine's start costs each of them

Both installs include Wine's start, as a user sees it. Every install is
checked file for file against the payload, so a setup that stops early can
never pass for a fast one. The runs alternate, and the median is reported.

Needs the native build (kelvopack), the 64-bit Windows build, the golden
prefix (ctest -R e2e.golden_prefix) and makensis. Not part of the tests:

  python3 bench/install_bench.py [--payload DIR] [--runs N] [--keep DIR]

Without --payload the mixed payload (bench/mixed_payload.py) is made in a
temporary folder.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.dont_write_bytecode = True
SOURCE = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(SOURCE / "tests" / "e2e"))
sys.path.insert(0, str(SOURCE / "bench"))
os.environ.setdefault("KELVO_NATIVE_DIR", str(SOURCE / "build" / "native"))

from kelvo_wine import Session  # noqa: E402

import mixed_payload  # noqa: E402

KELVO = "C:\\dist\\setup.exe"
NSIS = "C:\\dist\\nsis-setup.exe"
EMPTY = "C:\\dist\\empty.exe"


def listing(folder):
    """Relative path (lower case, as Windows compares) -> size of every file."""
    folder = Path(folder)
    return {str(p.relative_to(folder)).lower(): p.stat().st_size for p in folder.rglob("*") if p.is_file()}


def build_kelvo(s, payload, root):
    kelvopack = s.layout.native_file("tools/kelvopack/kelvopack")
    stub = s.layout.win64_file("app/kelvo.exe")
    bitmap = root / "logo.bmp"
    subprocess.run(["convert", "-size", "180x150", "gradient:navy-gold", "+dither", "-colors", "200",
                    "-type", "Palette", "-compress", "none", f"BMP3:{bitmap}"], check=True)
    texts = [root / "pres.txt", root / "licen.txt"]
    for text in texts:
        text.write_text("Benchmark.\n")
    project = root / "bench.toml"
    project.write_text(
        'name = "Bench"\ngroup = "Bench"\ndestination = \'C:\\Bench\\\'\nmodes = ["full"]\n'
        f'bitmap = "{bitmap}"\npresentation = "{texts[0]}"\nagreement = "{texts[1]}"\n'
        f'[[folder]]\nsource = "{payload}"\npath = "data"\n', encoding="utf-8")
    setup = root / "setup.exe"
    subprocess.run([kelvopack, "build", project, "-o", setup, "--stub", stub, "-q"], check=True)
    return setup


def build_nsis(payload, root, keep):
    script = root / "bench.nsi"
    setup = (keep or root) / "nsis-setup.exe"
    if keep is not None and setup.exists() and setup.stat().st_mtime > payload.stat().st_mtime:
        return setup  # the slow build of the peer, kept from an earlier run
    script.write_text(
        "Unicode true\nTarget amd64-unicode\nSetCompressor zlib\n"
        'Name "Bench"\n'
        f'OutFile "{setup}"\n'
        'InstallDir "C:\\BenchNsis"\nRequestExecutionLevel user\nSilentInstall silent\n'
        f'Section\n  SetOutPath "$INSTDIR\\data"\n  File /r "{payload}/*"\nSectionEnd\n', encoding="utf-8")
    subprocess.run(["makensis", "-V1", str(script)], check=True)
    return setup


def build_empty(root):
    source = root / "empty.c"
    source.write_text("int main(void) { return 0; }\n")
    program = root / "empty.exe"
    subprocess.run(["x86_64-w64-mingw32-gcc", "-O2", "-s", "-o", str(program), str(source)], check=True)
    return program


def timed_wine(s, args, name):
    started = time.monotonic()
    run = s.run_wine(args, name, cwd=s.to_linux("C:\\dist"))
    code = run.wait(900)
    elapsed = time.monotonic() - started
    if code != 0:
        raise SystemExit(f"{name} ended with {code}; see {s.log_path(name + '.err')}")
    return elapsed


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--payload", type=Path, help="the files to install (made when missing)")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--keep", type=Path, help="keeps the NSIS setup here for later runs")
    options = parser.parse_args()
    root = Path(tempfile.mkdtemp(prefix="kelvo-install-bench-"))
    try:
        payload = options.payload
        if payload is None or not payload.exists() or not any(payload.iterdir()):
            payload = payload or root / "payload"
            mixed_payload.make(payload)
        expected = listing(payload)
        size = sum(expected.values())
        with Session("bench.install") as s:
            kelvo = build_kelvo(s, payload, root)
            nsis = build_nsis(payload, root, options.keep)
            s.put(kelvo, KELVO)
            s.put(nsis, NSIS)
            s.put(build_empty(root), EMPTY)
            times = {"kelvo": [], "nsis": [], "cp": [], "empty": []}
            for run in range(options.runs):
                times["empty"].append(timed_wine(s, [EMPTY], f"empty-{run}"))
                destination = f"C:\\K{run}"
                times["kelvo"].append(timed_wine(s, [KELVO, "/S", f"/D={destination}"], f"kelvo-{run}"))
                s.close_explorer_windows()
                got = listing(s.to_linux(destination) / "data")
                if got != expected:
                    raise SystemExit(f"kelvo's install into {destination} differs from the payload")
                destination = f"C:\\N{run}"
                times["nsis"].append(timed_wine(s, [NSIS, "/S", f"/D={destination}"], f"nsis-{run}"))
                if listing(s.to_linux(destination) / "data") != expected:
                    raise SystemExit(f"the NSIS install into {destination} differs from the payload")
                started = time.monotonic()
                # Neither side waits for the disk: Wine's writes stay in the page cache too.
                subprocess.run(["cp", "-r", str(payload), str(s.drive_c / f"cp{run}")], check=True)
                times["cp"].append(time.monotonic() - started)
                for folder in (f"K{run}", f"N{run}", f"cp{run}"):
                    shutil.rmtree(s.drive_c / folder, ignore_errors=True)
        median = {key: statistics.median(values) for key, values in times.items()}
        print(f"payload: {len(expected)} files, {size / 1e6:.1f} MB; setups: kelvo {kelvo.stat().st_size / 1e6:.1f} MB, "
              f"NSIS {nsis.stat().st_size / 1e6:.1f} MB; median of {options.runs} runs")
        print("| | Time | MB/s |")
        print("|---|---|---|")
        for key, label in (("kelvo", "kelvo silent install, 64-bit setup, `/S /D=`"),
                           ("nsis", "NSIS setup (zlib, amd64), `/S /D=`"),
                           ("cp", "`cp -r` into the prefix's drive"),
                           ("empty", "an empty Wine program")):
            print(f"| {label} | {median[key]:.2f} s | {size / 1e6 / median[key]:.0f} |")
        print(f"kelvo against NSIS: {median['kelvo'] / median['nsis']:.2f} of its time (target: at most 0.5)")
        print(f"kelvo against cp -r: {median['cp'] / median['kelvo']:.2f} of its throughput (aim: 0.3)")
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
