#!/usr/bin/env python3
"""Setups at scale: time and peak memory of kelvopack build, kelvopack
verify and the installation under Wine (through the wizard), against the
number of files and against the payload's size.

  files   setups of 100, 1 000 and 10 000 files of 10 000 bytes each
  large   setups of 300 MB, 1 GB and 3 GB, each in three files

Time and memory must grow no faster than the work, and memory must stay
flat as the payload grows: no reader holds a whole member. kelvopack's
peak is its maximum resident set size (GNU time); the setup program's is
the peak VmHWM of the Wine process that runs it, read from /proc while it
runs. Every installed file is compared with its source, and the install
is set against cp of the same bytes (the files and the setup's copy of
itself) on the same disk.

  over-4gib (only with --over-4gib)
          what kelvopack build does when the members sum past 4 GiB: one
          sparse input of more than 4 GiB, then 3.9 GB of random bytes in
          three files, whose compressed members pass 4 GiB

Needs the native build (kelvopack) and the 64-bit Windows build (kelvo.exe,
kelvodrive); the golden Wine prefix is made when it is missing. Not part of
the tests: run by hand,

  python3 bench/scale_bench.py [--cases files,large] [--counts 100,1000,10000]
                               [--large-sizes 300M,1G,3G] [--over-4gib] [--no-wine]

A size whose files would not fit on the disk (see df) is left out with a
message; --large-sizes 300M,1G leaves out the 3 GB case on purpose.
KELVO_NATIVE_DIR and KELVO_WIN64_DIR name the builds (default build/native,
build/mingw-x86_64); the work folder is $TMPDIR/kelvo-scale-bench.
"""

import argparse
import hashlib
import os
import random
import shutil
import subprocess
import sys
import threading
import time
from pathlib import Path

sys.dont_write_bytecode = True
SOURCE = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(SOURCE / "tests" / "e2e"))
os.environ.setdefault("KELVO_NATIVE_DIR", str(SOURCE / "build" / "native"))

from kelvo_wine import Layout, Session, ensure_golden  # noqa: E402
from wizard_pages import APP, PRESENTATION, START, Wizard  # noqa: E402

MB = 10**6
MiB = 1 << 20
DESTINATION = "C:\\Bench"


# --------------------------------------------------------------------------
# Inputs


class Pool:
    """8 MiB of text, half-random and random bytes: files are cut from it in
    64 KiB pieces at random places, so that they are made fast and the coder
    (whose window is 4 KB) meets them as it meets a real application."""

    PIECE = 64 << 10

    def __init__(self, seed=1):
        rng = random.Random(seed)
        words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
                 for _ in range(2000)]
        third = 8 * MiB // 3
        text = bytearray()
        while len(text) < third:
            text += b" ".join(rng.choices(words, k=12)) + b"\r\n"
        nibbles = rng.randbytes(third).translate(bytes(b & 0x0F for b in range(256)))
        self.data = bytes(text[:third]) + nibbles + rng.randbytes(third)
        self.rng = rng

    def bytes(self, size, noise=False):
        """`size` bytes; all random with noise=True."""
        if noise:
            return os.urandom(size)
        out = bytearray()
        while len(out) < size:
            at = self.rng.randrange(len(self.data) - self.PIECE)
            out += self.data[at:at + min(self.PIECE, size - len(out))]
        return bytes(out)

    def write(self, path, size, noise=False):
        path.parent.mkdir(parents=True, exist_ok=True)
        with open(path, "wb") as out:
            left = size
            while left:
                block = min(left, 4 * MiB)
                out.write(self.bytes(block, noise))
                left -= block


def make_many(pool, folder, count, size):
    for i in range(count):
        pool.write(folder / f"dir{i % 100:02d}" / f"file{i:05d}.dat", size)


def make_large(pool, folder, total, pieces=3, noise=False):
    for i in range(pieces):
        pool.write(folder / f"part{i}.bin", total // pieces, noise)


def tree(folder):
    """Relative path (Windows separators) -> size of every file below `folder`."""
    return {str(p.relative_to(folder)).replace("/", "\\"): p.stat().st_size
            for p in folder.rglob("*") if p.is_file()}


def digest(path):
    h = hashlib.blake2b(digest_size=16)
    with open(path, "rb") as f:
        while block := f.read(4 * MiB):
            h.update(block)
    return h.digest()


def parse_size(text):
    units = {"K": 10**3, "M": 10**6, "G": 10**9}
    text = text.strip().upper()
    return int(float(text[:-1]) * units[text[-1]]) if text[-1] in units else int(text)


def free_bytes(path):
    usage = shutil.disk_usage(path)
    return usage.free


# --------------------------------------------------------------------------
# kelvopack


def measured(args):
    """Runs a program under GNU time; returns (exit code, seconds, peak
    resident set in bytes, output). (A child's own rusage would count the
    Python process it was forked from: the peak survives exec.)"""
    report = Path(os.environ.get("TMPDIR", "/tmp")) / f"kelvo-scale-time-{os.getpid()}"
    started = time.monotonic()
    done = subprocess.run(["/usr/bin/time", "-o", str(report), "-f", "%M"] + [str(a) for a in args],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    seconds = time.monotonic() - started
    peak = int(report.read_text().split()[-1]) * 1024
    report.unlink()
    return done.returncode, seconds, peak, done.stdout.decode(errors="replace")


def write_project(work, files):
    bitmap = work / "logo.bmp"
    if not bitmap.exists():
        subprocess.run(["convert", "-size", "180x150", "gradient:navy-gold", "+dither", "-colors", "200",
                        "-type", "Palette", "-compress", "none", f"BMP3:{bitmap}"], check=True)
        (work / "pres.txt").write_bytes(b"The scale benchmark.\r\n")
        (work / "licen.txt").write_bytes(b"No terms.\r\n")
    project = work / f"{files.name}.toml"
    project.write_text(
        'name = "Bench"\ngroup = "Bench"\ndestination = \'C:\\Bench\\\'\nmodes = ["full"]\n'
        f'bitmap = "{bitmap}"\npresentation = "{work / "pres.txt"}"\nagreement = "{work / "licen.txt"}"\n'
        f'[[folder]]\nsource = "{files}"\npath = "data"\n', encoding="utf-8")
    return project


def build_and_verify(layout, work, files, row):
    kelvopack = layout.native_file("tools/kelvopack/kelvopack")
    stub = layout.win64_file("app/kelvo.exe")
    setup = work / f"{files.name}.exe"
    code, row["build_s"], row["build_peak"], output = measured(
        [kelvopack, "build", write_project(work, files), "-o", setup, "--stub", stub, "-q"])
    if code != 0:
        raise RuntimeError(f"kelvopack build failed ({code}): {output}")
    row["setup_bytes"] = setup.stat().st_size
    code, row["verify_s"], row["verify_peak"], output = measured([kelvopack, "verify", setup, "-q"])
    if code != 0:
        raise RuntimeError(f"kelvopack verify failed ({code}): {output}")
    return setup


# --------------------------------------------------------------------------
# The setup program under Wine


class PeakSampler:
    """Follows the peak VmHWM of the prefix's processes running `exe`."""

    def __init__(self, prefix, exe, period=0.1):
        self.wanted = b"WINEPREFIX=" + str(prefix).encode()
        self.exe = exe.lower().encode()
        self.period = period
        self.peak = 0
        self.seen = set()
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *_):
        self._stop.set()
        self._thread.join()

    def _run(self):
        while not self._stop.is_set():
            self.sample()
            self._stop.wait(self.period)

    def sample(self):
        for entry in Path("/proc").iterdir():
            if not entry.name.isdigit():
                continue
            try:
                # The program itself, not the driver that started it with
                # its name on the command line.
                program = (entry / "cmdline").read_bytes().split(b"\0")[0].lower()
                if not program.endswith(self.exe):
                    continue
                if self.wanted not in (entry / "environ").read_bytes().split(b"\0"):
                    continue
                for line in (entry / "status").read_text().splitlines():
                    if line.startswith("VmHWM:"):
                        self.peak = max(self.peak, int(line.split()[1]) * 1024)
                        self.seen.add(int(entry.name))
            except OSError:
                pass


def install_under_wine(layout, setup, files, row):
    with Session(f"bench.scale-{files.name}", layout=layout) as s:
        exe = s.to_linux(f"C:\\dist\\{APP}")
        exe.parent.mkdir(parents=True, exist_ok=True)
        try:
            os.link(setup, exe)  # no copy of gigabytes: the prefix is thrown away
        except OSError:
            shutil.copyfile(setup, exe)
        with PeakSampler(s.prefix, APP) as sampler:
            started = time.monotonic()
            program = s.start(f"C:\\dist\\{APP}", cwd="C:\\dist")
            wizard = Wizard(s)
            wizard.wait_page(PRESENTATION, timeout=120)
            row["start_s"] = time.monotonic() - started
            wizard.next()
            wizard.accept_agreement()
            wizard.set_options(DESTINATION)
            wizard.next()
            wizard.wait_page(START)
            row["wizard_peak"] = sampler.peak  # what Wine and the wizard take before any file
            started = time.monotonic()
            wizard.next()
            code = program.wait(3600)
            row["install_s"] = time.monotonic() - started
        if code != 0:
            raise RuntimeError(f"the setup ended with {code}")
        row["install_peak"] = sampler.peak
        row["wine_processes"] = len(sampler.seen)

        installed = s.to_linux(DESTINATION) / "data"
        expected = tree(files)
        got = tree(installed)
        if got != expected:
            missing = sorted(set(expected) - set(got))[:5]
            raise RuntimeError(f"installed files differ from the sources (e.g. missing {missing})")
        for name in expected:
            relative = Path(name.replace("\\", "/"))
            if digest(files / relative) != digest(installed / relative):
                raise RuntimeError(f"{name} was installed with other bytes")
        s.close_explorer_windows()

        # What writing the same bytes costs on this disk: the files and the
        # setup's copy of itself, which is what the installation writes.
        reference = s.drive_c / "reference"
        started = time.monotonic()
        subprocess.run(["cp", "-r", str(files), str(reference)], check=True)
        shutil.copyfile(setup, reference / APP)
        row["copy_s"] = time.monotonic() - started
        shutil.rmtree(reference)


# --------------------------------------------------------------------------
# Cases


def run_case(layout, work, label, files, wine, rows):
    payload = sum(tree(files).values())
    row = {"case": label, "files": len(tree(files)), "payload": payload}
    print(f"{label}: {row['files']} files, {payload / MB:.0f} MB", flush=True)
    setup = build_and_verify(layout, work, files, row)
    print(f"  build {row['build_s']:.1f} s, verify {row['verify_s']:.1f} s, setup {row['setup_bytes'] / MB:.0f} MB",
          flush=True)
    if wine:
        install_under_wine(layout, setup, files, row)
        print(f"  install {row['install_s']:.1f} s (cp of the same bytes {row['copy_s']:.1f} s), setup program's "
              f"peak {row['install_peak'] / MiB:.1f} MiB ({row['wizard_peak'] / MiB:.1f} MiB before Start !, "
              f"{row['wine_processes']} process)", flush=True)
    setup.unlink()
    shutil.rmtree(files)
    rows.append(row)


def needed_disk(payload, setup_ratio, wine):
    # Sources, setup, and under Wine the installed files and the setup's
    # copy of itself in the destination folder, and the same again copied.
    return int(payload * (1 + setup_ratio) * (3 if wine else 1) + 200 * MB)


def print_table(rows, wine):
    print()
    print("| case | files | payload MB | setup MB | build s | build MB/s | build peak MiB | verify s "
          "| verify peak MiB |" + (" install s | cp s | install MB/s | setup program peak MiB (before Start !) |" if wine else ""))
    print("|---" * (9 + (4 if wine else 0)) + "|")
    for r in rows:
        mb = r["payload"] / MB
        line = (f"| {r['case']} | {r['files']:,} | {mb:,.0f} | {r['setup_bytes'] / MB:,.0f} | {r['build_s']:.1f} "
                f"| {mb / r['build_s']:.1f} | {r['build_peak'] / MiB:.1f} | {r['verify_s']:.2f} "
                f"| {r['verify_peak'] / MiB:.1f} |")
        if wine:
            line += (f" {r['install_s']:.1f} | {r['copy_s']:.1f} | {mb / r['install_s']:.1f} "
                     f"| {r['install_peak'] / MiB:.1f} "
                     f"({r['wizard_peak'] / MiB:.1f}) |")
        print(line.replace(",", " "))
    # Cost per file and per MB: flat when the cost grows linearly.
    print()
    for r in rows:
        per = [f"build {r['build_s'] / r['files'] * 1000:.2f} ms/file, {r['build_s'] / r['payload'] * 1e9:.1f} s/GB"]
        per.append(f"verify {r['verify_s'] / r['payload'] * 1e9:.2f} s/GB")
        if wine:
            per.append(f"install {r['install_s'] / r['files'] * 1000:.2f} ms/file, "
                       f"{r['install_s'] / r['payload'] * 1e9:.1f} s/GB")
        print(f"{r['case']}: " + "; ".join(per))


def over_four_gib(layout, work, pool):
    """What kelvopack build says when the members' sizes pass 4 GiB."""
    kelvopack = layout.native_file("tools/kelvopack/kelvopack")
    stub = layout.win64_file("app/kelvo.exe")

    # One file of more than 4 GiB: a sparse one, nothing written.
    sparse = work / "sparse"
    sparse.mkdir()
    with open(sparse / "huge.bin", "wb") as f:
        f.truncate((4 << 30) + 1)
    code, seconds, peak, output = measured(
        [kelvopack, "build", write_project(work, sparse), "-o", work / "sparse.exe", "--stub", stub, "-q"])
    print(f"one sparse input of 4 GiB + 1 byte: exit code {code} after {seconds:.2f} s, peak {peak / MiB:.1f} MiB")
    print("  " + output.strip().replace("\n", "\n  "))
    shutil.rmtree(sparse)

    # Random bytes: their members compress to a little more than they hold.
    noise = work / "noise"
    make_large(pool, noise, 3_900_000_000, noise=True)
    setup = work / "noise.exe"
    code, seconds, peak, output = measured(
        [kelvopack, "build", write_project(work, noise), "-o", setup, "--stub", stub, "-q"])
    print(f"3.9 GB of random bytes in 3 files: exit code {code} after {seconds:.1f} s, peak {peak / MiB:.1f} MiB"
          + (f", setup of {setup.stat().st_size:,} bytes" if setup.exists() else ", no setup written"))
    print("  " + (output.strip() or "(no output)").replace("\n", "\n  "))
    left = sorted(p.name for p in work.iterdir() if p.name.startswith("noise.exe"))
    print(f"  left behind: {left or 'nothing'}")
    shutil.rmtree(noise)
    setup.unlink(missing_ok=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--cases", default="files,large", help="files, large, or both (default)")
    parser.add_argument("--counts", default="100,1000,10000", help="file counts of the files case")
    parser.add_argument("--file-size", default="10000", help="size of each file of the files case")
    parser.add_argument("--large-sizes", default="300M,1G,3G", help="payloads of the large case, in 3 files each")
    parser.add_argument("--over-4gib", action="store_true", help="also check kelvopack past 4 GiB (8 GB of disk)")
    parser.add_argument("--no-wine", action="store_true", help="kelvopack only, no installation")
    args = parser.parse_args()
    cases = set(args.cases.split(","))
    wine = not args.no_wine

    layout = Layout.from_env()
    if wine:
        layout.win64_file("tools/kelvodrive/kelvodrive.exe")
        ensure_golden(layout)
    work = Path(os.environ.get("TMPDIR", "/tmp")) / "kelvo-scale-bench"
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    pool = Pool()
    rows = []
    try:
        if "files" in cases:
            size = parse_size(args.file_size)
            for count in [int(c) for c in args.counts.split(",")]:
                files = work / f"files-{count}"
                make_many(pool, files, count, size)
                run_case(layout, work, f"{count} files", files, wine, rows)
        if "large" in cases:
            for text in args.large_sizes.split(","):
                total = parse_size(text)
                need = needed_disk(total, 0.7, wine)
                if need > free_bytes(work):
                    print(f"{text}: left out, it needs {need / 1e9:.1f} GB of disk and "
                          f"{free_bytes(work) / 1e9:.1f} GB are free")
                    continue
                files = work / f"large-{text}"
                make_large(pool, files, total)
                run_case(layout, work, f"{text} in 3 files", files, wine, rows)
        if rows:
            print_table(rows, wine)
        if args.over_4gib:
            print()
            need = needed_disk(3_900_000_000, 1.15, False)
            if need > free_bytes(work):
                print(f"past 4 GiB: left out, it needs {need / 1e9:.1f} GB of disk")
            else:
                over_four_gib(layout, work, pool)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
