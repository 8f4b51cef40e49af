#!/usr/bin/env python3
"""Fails when a C or C++ source of the tree strays from .clang-format.

Usage: check_format.py CLANG_FORMAT SOURCE_DIR
The sources are the tracked ones where the tree is a git checkout, else every
source outside build folders.
"""
import os
import subprocess
import sys

SUFFIXES = (".cpp", ".h", ".hpp", ".cc", ".c")


def sources(root):
    try:
        listed = subprocess.run(["git", "-C", root, "ls-files", "-z"], check=True,
                                capture_output=True).stdout.decode().split("\0")
        return [os.path.join(root, name) for name in listed if name.endswith(SUFFIXES)]
    except (OSError, subprocess.CalledProcessError):
        found = []
        for folder, subfolders, names in os.walk(root):
            subfolders[:] = [s for s in subfolders if not s.startswith((".", "build"))]
            found += [os.path.join(folder, n) for n in names if n.endswith(SUFFIXES)]
        return found


def main():
    clang_format, root = sys.argv[1], sys.argv[2]
    files = sorted(sources(root))
    if not files:
        print("no sources found under " + root)
        return 1
    strays = []
    for start in range(0, len(files), 64):
        batch = files[start:start + 64]
        run = subprocess.run([clang_format, "--dry-run", "--Werror", *batch], capture_output=True, text=True)
        if run.returncode != 0:
            named = sorted({line.split(":")[0] for line in run.stderr.splitlines() if ": error:" in line})
            if not named:  # clang-format itself failed: say how
                print(run.stderr)
                return 1
            strays += named
    for name in strays:
        print("not formatted: " + os.path.relpath(name, root))
    print("%d of %d sources follow .clang-format" % (len(files) - len(strays), len(files)))
    return 1 if strays else 0


if __name__ == "__main__":
    sys.exit(main())
