#!/usr/bin/env python3
"""Checks the manifests of the setup program's two builds, read from their PE
resources: each carries one manifest (type 24, id 1) that names the Windows
versions from Vista to 11 and its execution level (kelvo.exe "asInvoker",
kelvo-admin.exe "requireAdministrator", neither with UI access), and apart
from that manifest the two files are the same program: the same sections
byte for byte, the same other resources, the same headers but for the
checksum and the sizes that follow from the manifest's length."""
import struct
import sys
import xml.etree.ElementTree as ElementTree

RT_MANIFEST = 24
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "10 and 11",
}
DIRECTORY_RESOURCE = 2
DIRECTORY_RELOCATIONS = 5


class PeError(Exception):
    pass


class Pe:
    """The parts of a PE file this check compares."""

    def __init__(self, path):
        self.path = path
        with open(path, "rb") as f:
            self.data = f.read()
        data = self.data
        if data[:2] != b"MZ":
            raise PeError("no MZ header")
        self.pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[self.pe:self.pe + 4] != b"PE\0\0":
            raise PeError("no PE signature")
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, self.pe + 4)
        self.optional = self.pe + 24
        magic = struct.unpack_from("<H", data, self.optional)[0]
        if magic not in (0x10B, 0x20B):
            raise PeError(f"unknown optional header magic {magic:#x}")
        self.directories = self.optional + (96 if magic == 0x10B else 112)
        table = self.optional + optional_size
        self.sections = []
        for k in range(sections):
            entry = table + 40 * k
            name = data[entry:entry + 8].rstrip(b"\0").decode("ascii", "replace")
            vsize, va, rsize, rptr = struct.unpack_from("<IIII", data, entry + 8)
            self.sections.append({"name": name, "va": va, "vsize": vsize, "raw": data[rptr:rptr + rsize],
                                  "entry": entry})
        self.headers_end = table + 40 * sections

    def directory(self, index):
        return struct.unpack_from("<II", self.data, self.directories + 8 * index)

    def section_of(self, rva):
        for s in self.sections:
            if s["va"] <= rva < s["va"] + max(s["vsize"], len(s["raw"])):
                return s
        raise PeError(f"RVA {rva:#x} lies in no section")

    def read(self, rva, size):
        s = self.section_of(rva)
        start = rva - s["va"]
        if start + size > len(s["raw"]):
            raise PeError(f"{size} bytes at RVA {rva:#x} run past their section")
        return s["raw"][start:start + size]

    def resources(self):
        """{(type, name, language): bytes}; names are ids or strings."""
        rva, size = self.directory(DIRECTORY_RESOURCE)
        if rva == 0 or size == 0:
            return {}
        rsrc = self.section_of(rva)
        base = rva - rsrc["va"]
        raw = rsrc["raw"]

        def entries(offset):
            named, ids = struct.unpack_from("<HH", raw, base + offset + 12)
            for k in range(named + ids):
                key, value = struct.unpack_from("<II", raw, base + offset + 16 + 8 * k)
                if key & 0x80000000:
                    at = base + (key & 0x7FFFFFFF)
                    length = struct.unpack_from("<H", raw, at)[0]
                    key = raw[at + 2:at + 2 + 2 * length].decode("utf-16-le")
                yield key, value

        found = {}
        for kind, types in entries(0):
            for name, names in entries(types & 0x7FFFFFFF):
                for language, leaf in entries(names & 0x7FFFFFFF):
                    if leaf & 0x80000000:
                        raise PeError("a resource directory four levels deep")
                    data_rva, data_size = struct.unpack_from("<II", raw, base + leaf)[:2]
                    found[(kind, name, language)] = self.read(data_rva, data_size)
        return found


def manifest_problems(pe, level):
    """What is wrong with the one manifest of `pe`; `level` is the execution
    level it must ask for."""
    manifests = {k: v for k, v in pe.resources().items() if k[0] == RT_MANIFEST}
    if [k[1] for k in manifests] != [1]:
        return [f"manifests {sorted(k[1:] for k in manifests)} instead of exactly one with id 1"]
    text = next(iter(manifests.values()))
    try:
        root = ElementTree.fromstring(text)
    except ElementTree.ParseError as error:
        return [f"the manifest is no XML: {error}"]
    problems = []
    if root.tag != ASM_V1 + "assembly" or root.get("manifestVersion") != "1.0":
        problems.append(f"the manifest's root is {root.tag} version {root.get('manifestVersion')}")
    levels = root.findall(f"./{ASM_V3}trustInfo/{ASM_V3}security/{ASM_V3}requestedPrivileges/"
                          f"{ASM_V3}requestedExecutionLevel")
    if [(e.get("level"), e.get("uiAccess")) for e in levels] != [(level, "false")]:
        problems.append(f"execution levels {[(e.get('level'), e.get('uiAccess')) for e in levels]}, "
                        f"not [('{level}', 'false')]")
    supported = [e.get("Id", "").lower() for e in
                 root.findall(f"./{COMPATIBILITY}compatibility/{COMPATIBILITY}application/{COMPATIBILITY}supportedOS")]
    if sorted(supported) != sorted(SUPPORTED_OS):
        missing = [SUPPORTED_OS[g] for g in SUPPORTED_OS if g not in supported]
        unknown = [g for g in supported if g not in SUPPORTED_OS]
        problems.append(f"supported Windows versions: missing {missing}, unknown {unknown}, "
                        f"{len(supported)} listed")
    return problems


def difference_problems(user, admin):
    """Where the two builds differ outside their manifests."""
    problems = []
    if user.machine != admin.machine:
        problems.append("different machines")
    names = [s["name"] for s in user.sections]
    if names != [s["name"] for s in admin.sections]:
        return problems + [f"different sections: {names} and {[s['name'] for s in admin.sections]}"]
    rsrc_seen = False  # the sections behind the resources may move
    for a, b in zip(user.sections, admin.sections):
        if a["name"] == ".rsrc":
            rsrc_seen = True
            continue
        if a["raw"] != b["raw"]:
            problems.append(f"section {a['name']} differs")
        if not rsrc_seen and a["va"] != b["va"]:
            problems.append(f"section {a['name']} lies at {a['va']:#x} and {b['va']:#x}")

    # Headers: everything but the checksum, the sizes of the image and of its
    # initialised data, and the directories of the resources and of what
    # comes behind them.
    masked = []
    checksum = user.optional + 64
    masked.append((checksum, 4))
    masked.append((user.optional + 8, 4))   # size of initialised data
    masked.append((user.optional + 56, 4))  # size of the image
    masked.append((user.directories + 8 * DIRECTORY_RESOURCE + 4, 4))
    masked.append((user.directories + 8 * DIRECTORY_RELOCATIONS, 4))
    if ".rsrc" in names:
        for s in user.sections[names.index(".rsrc"):]:
            masked.append((s["entry"] + 8, 16))  # sizes, address and file offset

    def headers(pe):
        data = bytearray(pe.data[:pe.headers_end])
        for at, size in masked:
            data[at:at + size] = bytes(size)
        return bytes(data)

    if user.headers_end != admin.headers_end or headers(user) != headers(admin):
        problems.append("the headers differ beyond the checksum and the resources' sizes")

    ours, theirs = user.resources(), admin.resources()
    others = {k for k in ours if k[0] != RT_MANIFEST}
    if others != {k for k in theirs if k[0] != RT_MANIFEST}:
        problems.append("the builds carry different resources")
    for key in sorted(others & set(theirs), key=str):
        if ours[key] != theirs[key]:
            problems.append(f"resource {key} differs")
    return problems


def main():
    if len(sys.argv) != 3:
        print("usage: check_manifest.py KELVO.EXE KELVO-ADMIN.EXE", file=sys.stderr)
        return 2
    try:
        user, admin = Pe(sys.argv[1]), Pe(sys.argv[2])
        problems = [f"{user.path}: {p}" for p in manifest_problems(user, "asInvoker")]
        problems += [f"{admin.path}: {p}" for p in manifest_problems(admin, "requireAdministrator")]
        problems += [f"{user.path} and {admin.path}: {p}" for p in difference_problems(user, admin)]
    except (OSError, PeError, struct.error) as error:
        print(f"cannot read the programs: {error}", file=sys.stderr)
        return 1
    for problem in problems:
        print(problem, file=sys.stderr)
    if not problems:
        print(f"{user.path}: asInvoker, {admin.path}: requireAdministrator; Windows Vista to 11; "
              f"otherwise the same program")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
