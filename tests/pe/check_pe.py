#!/usr/bin/env python3
"""Checks the headers of a Windows executable built here: its machine, its
subsystem, that it imports only DLLs every Windows system carries, so that
it runs on its own (no compiler runtime DLLs beside it), and that a window
program is terminal-services aware (without the flag, a remote-desktop host
hands it a private Windows folder); given a bound, that the file is no
larger (the setup program is carried by every setup made with it)."""
import os
import re
import subprocess
import sys

SYSTEM_DLLS = {
    "advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll", "kernel32.dll",
    "msvcrt.dll", "ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll",
    "user32.dll", "version.dll",
}
MACHINES = {"i386": "pei-i386", "x86-64": "pei-x86-64"}
SUBSYSTEMS = {"gui": "(Windows GUI)", "console": "(Windows CUI)"}


def main():
    if len(sys.argv) not in (5, 6):
        print("usage: check_pe.py OBJDUMP EXE i386|x86-64 gui|console [MAX_BYTES]", file=sys.stderr)
        return 2
    objdump, exe, machine, subsystem = sys.argv[1:5]
    max_bytes = int(sys.argv[5]) if len(sys.argv) == 6 else None
    try:
        dump = subprocess.run([objdump, "-p", exe], check=True, capture_output=True, text=True).stdout
    except (OSError, subprocess.CalledProcessError) as error:
        print(f"{exe}: cannot read its headers: {error}", file=sys.stderr)
        return 1
    problems = []
    if f"file format {MACHINES[machine]}" not in dump:
        problems.append(f"not a {machine} image")
    subsystem_line = next((l for l in dump.splitlines() if l.startswith("Subsystem")), "")
    if SUBSYSTEMS[subsystem] not in subsystem_line:
        problems.append(f"subsystem is not {subsystem}: {subsystem_line.strip()}")
    if subsystem == "gui" and not re.search(r"^\s+TERMINAL_SERVICE_AWARE$", dump, re.MULTILINE):
        problems.append("not terminal-services aware (link with --tsaware)")
    dlls = sorted({m.lower() for m in re.findall(r"DLL Name: (\S+)", dump)})
    foreign = [d for d in dlls if d not in SYSTEM_DLLS]
    if foreign:
        problems.append("imports DLLs that are not part of Windows: " + ", ".join(foreign))
    if not dlls:
        problems.append("imports nothing at all: not a linked program?")
    size = os.path.getsize(exe)
    if max_bytes is not None and size > max_bytes:
        problems.append(f"{size} bytes, more than the {max_bytes} it may take")
    for problem in problems:
        print(f"{exe}: {problem}", file=sys.stderr)
    if not problems:
        print(f"{exe}: {machine}, {subsystem}, {size} bytes, imports " + ", ".join(dlls))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
