#!/usr/bin/env python3
"""Where the setup program's bytes go.

Relinks the program of a Windows build tree unstripped with a map file (the
same objects and options as the build, without -s), then prints the file's
sections (objdump -h) and the biggest contributors to each of the large
sections, summed over each object or library member the map names.

    python3 bench/size_report.py [--build build/mingw-i686] [--program kelvo] [--top 25]
"""
import argparse
import collections
import os
import re
import shlex
import subprocess
import sys
import tempfile

SECTION = re.compile(r"^(\.\S+)\s+0x[0-9a-fA-F]+\s+0x([0-9a-fA-F]+)")
INPUT = re.compile(r"^ (\S+)\s+0x([0-9a-fA-F]+)\s+0x([0-9a-fA-F]+)\s+(\S.*)$")
INPUT_NAME_ONLY = re.compile(r"^ (\S+)$")
INPUT_REST = re.compile(r"^\s+0x([0-9a-fA-F]+)\s+0x([0-9a-fA-F]+)\s+(\S.*)$")


def link_command(build, program):
    commands = subprocess.run(["ninja", "-C", build, "-t", "commands", f"app/{program}.exe"], check=True,
                              capture_output=True, text=True).stdout.splitlines()
    link = [line for line in commands if f"-o app/{program}.exe" in line]
    if not link:
        sys.exit(f"no link command for app/{program}.exe in {build}")
    return link[-1]


def relink(build, program, out_dir):
    command = link_command(build, program)
    # Ninja's line may be "cd DIR && ..." or ": && ... && :": the link is the part naming the output.
    part = [p for p in command.split("&&") if f"app/{program}.exe" in p][0]
    words = shlex.split(part)
    exe = os.path.join(out_dir, program + ".exe")
    map_file = os.path.join(out_dir, program + ".map")
    words = [w for w in words if w != "-s"]
    at = words.index("-o")
    words[at + 1] = exe
    words[at:at] = [f"-Wl,-Map={map_file}"]
    subprocess.run(words, cwd=build, check=True)
    return exe, map_file


def short(name):
    # "/usr/lib/.../libstdc++.a(string-inst.o)" -> "libstdc++.a(string-inst.o)"
    match = re.match(r"^(.*/)?([^/(]+\.a)\((.*)\)$", name)
    if match:
        return f"{match.group(2)}({match.group(3)})"
    return os.path.basename(name)


def contributors(map_file):
    sizes = collections.defaultdict(collections.Counter)
    current = None
    pending = None
    in_memory_map = False
    with open(map_file, errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("Linker script and memory map"):
                in_memory_map = True
                continue
            if not in_memory_map:
                continue
            section = SECTION.match(line)
            if section:
                current = section.group(1)
                pending = None
                continue
            if current is None:
                continue
            whole = INPUT.match(line)
            if whole:
                size, name = int(whole.group(3), 16), whole.group(4)
            else:
                if INPUT_NAME_ONLY.match(line):
                    pending = line.strip()
                    continue
                rest = INPUT_REST.match(line)
                if not rest or pending is None:
                    continue
                size, name = int(rest.group(2), 16), rest.group(3)
                pending = None
            if size and not name.startswith("*"):
                sizes[current][short(name)] += size
    return sizes


def sections(exe):
    rows = []
    text = subprocess.run(["objdump", "-h", exe], check=True, capture_output=True, text=True).stdout
    for line in text.splitlines():
        fields = line.split()
        if len(fields) >= 7 and fields[0].isdigit():
            rows.append((fields[1], int(fields[2], 16)))
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default="build/mingw-i686")
    parser.add_argument("--program", default="kelvo")
    parser.add_argument("--top", type=int, default=25)
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    shipped = os.path.join(build, "app", args.program + ".exe")
    with tempfile.TemporaryDirectory() as out_dir:
        exe, map_file = relink(build, args.program, out_dir)
        print(f"{shipped}: {os.path.getsize(shipped)} bytes (stripped); unstripped relink {os.path.getsize(exe)}")
        print("\nsection sizes (objdump -h of the unstripped relink)")
        for name, size in sections(exe):
            if not name.startswith(".debug"):
                print(f"  {name:12} {size:8}")
        sizes = contributors(map_file)
        for section in (".text", ".eh_frame", ".rdata", ".data", ".bss"):
            if section not in sizes:
                continue
            total = sum(sizes[section].values())
            print(f"\n{section}: {total} bytes in the map, biggest contributors")
            for name, size in sizes[section].most_common(args.top):
                print(f"  {size:8}  {name}")


if __name__ == "__main__":
    main()
