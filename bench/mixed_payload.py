#!/usr/bin/env python3
"""Makes the mixed payload the builder benchmarks use, in a given folder.

  python3 bench/mixed_payload.py DIR                  the mixed payload
  python3 bench/mixed_payload.py DIR --small-files N  N small files instead

The mixed payload is what an application's folder holds, about 1 050 files
and 273 MB on a Debian 12 machine with Wine: licence texts
(/usr/share/common-licenses, /usr/share/doc/*/copyright), Linux shared
objects (/usr/lib/x86_64-linux-gnu/*.so*), Windows DLLs (Wine's 64-bit
ones) and 5 MB of seeded random bytes. The choice among the binaries is
fixed by their names, not by the order the file system lists them in, so
one machine always makes the same payload. The small files are slices of
the same texts and binaries, 1 to 16 KB each, in folders of 100.

DIR is made when it is missing and must be empty otherwise. Prints
"FILES files, BYTES bytes" on the last line. Also importable: make(folder)
and make_small(folder, count) return (files, bytes).
"""

import argparse
import hashlib
import os
import random
import re
import sys
from pathlib import Path

MB = 10**6
TOTAL_BYTES = 273 * MB
RANDOM_BYTES = 5 * MB
LARGEST_BINARY = 12 * MB  # so that no single file dominates the payload
SMALLEST_BINARY = 100 * 1000  # the count of files stays near an application's
SEED = 17

TEXT_SOURCES = [("/usr/share/common-licenses", "*")]
DOC_ROOT = "/usr/share/doc"
SO_ROOT = "/usr/lib/x86_64-linux-gnu"
DLL_ROOT = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows"


def safe_name(text):
    """A file name every Windows file system takes (no reserved characters)."""
    return re.sub(r"[^A-Za-z0-9._-]", "_", text)


def regular_files(paths):
    """Distinct regular files among paths (symbolic links to the same file once), sorted."""
    seen = set()
    found = []
    for path in sorted(paths):
        try:
            real = os.path.realpath(path)
            if not os.path.isfile(real) or real in seen:
                continue
            seen.add(real)
            found.append((str(path), real, os.path.getsize(real)))
        except OSError:
            continue
    return found


def texts():
    """(name in the payload, source) of every licence text."""
    chosen = []
    for path, real, _ in regular_files(Path("/usr/share/common-licenses").iterdir()):
        chosen.append(("licenses/" + safe_name(Path(path).name) + ".txt", real))
    for path, real, _ in regular_files(Path(DOC_ROOT).glob("*/copyright")):
        chosen.append(("copyright/" + safe_name(Path(path).parent.name) + ".txt", real))
    return chosen


def pick_binaries(candidates, budget):
    """Files in a fixed order (by a hash of their names) while they fit the budget."""
    ordered = sorted(candidates, key=lambda c: hashlib.sha1(Path(c[0]).name.encode()).hexdigest())
    chosen, left = [], budget
    for path, real, size in ordered:
        if SMALLEST_BINARY <= size <= min(left, LARGEST_BINARY):
            chosen.append((path, real, size))
            left -= size
    return chosen


def binaries(budget):
    """(name in the payload, source): half shared objects, half DLLs."""
    sos = regular_files(Path(SO_ROOT).glob("*.so*"))
    dlls = regular_files(Path(DLL_ROOT).glob("*.dll"))
    chosen = []
    for path, real, _ in pick_binaries(sos, budget // 2):
        chosen.append(("lib/" + safe_name(Path(path).name), real))
    for path, real, _ in pick_binaries(dlls, budget - budget // 2):
        chosen.append(("bin/" + safe_name(Path(path).name), real))
    return chosen


def copy(source, target):
    target.parent.mkdir(parents=True, exist_ok=True)
    with open(source, "rb") as f:
        data = f.read()
    target.write_bytes(data)
    return len(data)


def prepare(folder):
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    if any(folder.iterdir()):
        raise SystemExit(f"{folder} is not empty")
    return folder


def make(folder):
    folder = prepare(folder)
    files = total = 0
    chosen_texts = texts()
    for name, source in chosen_texts:
        total += copy(source, folder / name)
        files += 1
    text_bytes = total
    for name, source in binaries(TOTAL_BYTES - RANDOM_BYTES - text_bytes):
        total += copy(source, folder / name)
        files += 1
    noise = random.Random(SEED).randbytes(RANDOM_BYTES)
    (folder / "random.bin").write_bytes(noise)
    return files + 1, total + len(noise)


def make_small(folder, count):
    """count files of 1 to 16 KB cut from the same sources, deterministic."""
    folder = prepare(folder)
    sources = [real for _, real in texts()] + [real for _, real in binaries(64 * MB)]
    pool = b"".join(Path(s).read_bytes() for s in sources)
    rng = random.Random(SEED)
    total = 0
    for i in range(count):
        size = rng.randint(1024, 16 * 1024)
        start = rng.randrange(0, len(pool) - size)
        target = folder / f"d{i // 100:03d}" / f"f{i:05d}.dat"
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(pool[start:start + size])
        total += size
    return count, total


def main():
    parser = argparse.ArgumentParser(description="Makes the builder benchmarks' mixed payload.")
    parser.add_argument("folder", help="where to make it (made when missing, else empty)")
    parser.add_argument("--small-files", type=int, metavar="N",
                        help="make N small files (1 to 16 KB) instead of the mixed payload")
    args = parser.parse_args()
    if args.small_files is not None:
        if args.small_files < 1:
            parser.error("--small-files needs a count of at least 1")
        files, total = make_small(args.folder, args.small_files)
    else:
        files, total = make(args.folder)
    print(f"{files} files, {total} bytes")
    return 0


if __name__ == "__main__":
    sys.exit(main())
