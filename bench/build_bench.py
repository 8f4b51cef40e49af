#!/usr/bin/env python3
"""The builder side by side with makensis, in one run, on one payload.

For the mixed payload (bench/mixed_payload.py) and for many small files:

  read once        every file of the payload read once (the floor of any build)
  cold, no cache   kelvopack build --no-cache
  cold, cache      kelvopack build into an empty cache (what a first build costs)
  unchanged        the same build again, cache filled
  one changed      one byte of one file of about 1 MB changed, built again
  makensis zlib    and makensis lzma, a .nsi generated for the payload

Prints the table with times and setup sizes and checks the targets: the
one-file rebuild of the mixed payload in at most 5 % of the cold build's
time (the small case shows its share without a verdict), the unchanged
rebuild near the read, kelvopack at least 5 times as fast as makensis
(zlib). Every kelvopack setup is compared byte for byte with a build
without the cache of the same payload.

  python3 bench/build_bench.py [--cases mixed,small] [--small-files 10000]
                               [--repeat N] [--no-makensis] [--peers zlib,lzma] [--work DIR]

Needs the native build (kelvopack; KELVO_NATIVE_DIR, default build/native)
and a setup program (KELVO_STUB, default build/mingw-i686/app/kelvo.exe,
else the 64-bit one); makensis from Debian's nsis package. --repeat takes
the fastest of N runs of each kelvopack step. The cache lives in the work
folder ($TMPDIR/kelvo-build-bench), never in the user's.
"""

import argparse
import os
import resource
import shutil
import subprocess
import sys
import time
from pathlib import Path

sys.dont_write_bytecode = True
SOURCE = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(Path(__file__).resolve().parent))

import mixed_payload  # noqa: E402

MB = 10**6


def find_kelvopack():
    native = Path(os.environ.get("KELVO_NATIVE_DIR", SOURCE / "build" / "native"))
    tool = native / "tools" / "kelvopack" / "kelvopack"
    if not tool.exists():
        raise SystemExit(f"{tool} is missing: build the native preset first")
    return tool


def find_stub():
    if "KELVO_STUB" in os.environ:
        return Path(os.environ["KELVO_STUB"])
    for preset in ("mingw-i686", "mingw-x86_64"):
        stub = SOURCE / "build" / preset / "app" / "kelvo.exe"
        if stub.exists():
            return stub
    raise SystemExit("no setup program: build the mingw-i686 preset, or name one in KELVO_STUB")


def write_project(work, payload):
    (work / "pres.txt").write_bytes(b"The build benchmark.\r\n")
    (work / "licen.txt").write_bytes(b"No terms.\r\n")
    bitmap = work / "logo.bmp"
    if not bitmap.exists():
        # 16 x 16, 8 bits, grey colour table
        width = height = 16
        row = width
        offset = 14 + 40 + 4 * 256
        data = bytearray(b"BM")
        data += (offset + row * height).to_bytes(4, "little") + bytes(4) + offset.to_bytes(4, "little")
        data += (40).to_bytes(4, "little") + width.to_bytes(4, "little") + height.to_bytes(4, "little")
        data += (1).to_bytes(2, "little") + (8).to_bytes(2, "little")
        data += bytes(4) + (row * height).to_bytes(4, "little") + (2835).to_bytes(4, "little") * 2
        data += (256).to_bytes(4, "little") + bytes(4)
        for k in range(256):
            data += bytes((k, k, k, 0))
        data += bytes((x + y) & 255 for y in range(height) for x in range(width))
        bitmap.write_bytes(bytes(data))
    project = work / f"{payload.name}.toml"
    project.write_text(
        'name = "Bench"\ngroup = "Bench"\ndestination = \'C:\\Bench\\\'\nmodes = ["full"]\n'
        f'bitmap = "{bitmap}"\npresentation = "{work / "pres.txt"}"\nagreement = "{work / "licen.txt"}"\n'
        f'[[folder]]\nsource = "{payload}"\npath = "data"\n', encoding="utf-8")
    return project


def write_nsi(work, payload, compressor):
    script = work / f"{payload.name}-{compressor}.nsi"
    setup = work / f"{payload.name}-nsis-{compressor}.exe"
    script.write_text(
        f'Unicode true\nSetCompressor {compressor}\nName "Bench"\nOutFile "{setup}"\n'
        'InstallDir "$PROGRAMFILES\\Bench"\nRequestExecutionLevel user\n'
        'Page directory\nPage instfiles\n'
        f'Section\nSetOutPath "$INSTDIR"\nFile /r "{payload}/*"\nSectionEnd\n', encoding="utf-8")
    return script, setup


# CPU seconds of every program run, by the seconds of wall time it took:
# on a shared machine the wall time says more about the neighbours.
CPU = {}


def run(args, env=None):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    started = time.monotonic()
    done = subprocess.run([str(a) for a in args], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env)
    seconds = time.monotonic() - started
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    if done.returncode != 0:
        raise SystemExit(f"{args[0]} failed ({done.returncode}):\n{done.stdout.decode(errors='replace')}")
    CPU[seconds] = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return seconds


def read_once(payload):
    started = time.monotonic()
    total = 0
    for path in sorted(payload.rglob("*")):
        if path.is_file():
            with open(path, "rb", buffering=0) as f:
                while block := f.read(1 << 20):
                    total += len(block)
    return time.monotonic() - started, total


def changed_file(payload):
    """The file nearest to 1 MB: a typical library an author rebuilds for."""
    files = sorted((p for p in payload.rglob("*") if p.is_file()), key=lambda p: (abs(p.stat().st_size - MB), str(p)))
    return files[0]


def flip(path):
    data = bytearray(path.read_bytes())
    data[len(data) // 2] ^= 0x01
    path.write_bytes(bytes(data))


def bench_case(name, make, work, kelvopack, stub, repeat, makensis, peers_wanted):
    case = work / name
    shutil.rmtree(case, ignore_errors=True)
    case.mkdir(parents=True)
    payload = case / "payload"
    files, total = make(payload)
    project = write_project(case, payload)
    cache = case / "cache"
    env = dict(os.environ, XDG_CACHE_HOME=str(cache))
    env.pop("KELVOPACK_CACHE_SIZE", None)

    def build(output, *more):
        # One name for every setup (its script holds it), in folders of their own.
        folder = case / Path(output).stem
        folder.mkdir(exist_ok=True)
        return run([kelvopack, "build", project, "-o", folder / "setup.exe", "--stub", stub, "-q", *more], env)

    def setup_of(output):
        return case / Path(output).stem / "setup.exe"

    def best_of(step):
        return min(step() for _ in range(repeat))

    rows = []
    load = os.getloadavg()
    read_once(payload)  # into the page cache, as for every build after it
    read_s = min(read_once(payload)[0] for _ in range(max(repeat, 3)))
    started = time.process_time()
    read_once(payload)
    CPU[read_s] = time.process_time() - started
    rows.append(("read once", read_s, None))
    cold = best_of(lambda: build("cold.exe", "--no-cache"))
    rows.append(("kelvopack, cold, no cache", cold, setup_of("cold.exe")))

    def cold_cache():
        shutil.rmtree(cache, ignore_errors=True)
        return build("cached.exe")
    rows.append(("kelvopack, cold, cache", best_of(cold_cache), setup_of("cached.exe")))
    unchanged = best_of(lambda: build("unchanged.exe"))
    rows.append(("kelvopack, unchanged rebuild", unchanged, setup_of("unchanged.exe")))
    for setup in ("cached.exe", "unchanged.exe"):
        if setup_of(setup).read_bytes() != setup_of("cold.exe").read_bytes():
            raise SystemExit(f"{setup} differs from the build without the cache")

    target = changed_file(payload)
    one = []
    for _ in range(repeat):
        flip(target)
        one.append(build("changed.exe"))
    one_s = min(one)
    rows.append((f"kelvopack, one file changed ({target.stat().st_size / MB:.1f} MB)", one_s, setup_of("changed.exe")))
    build("changed-plain.exe", "--no-cache")
    if setup_of("changed.exe").read_bytes() != setup_of("changed-plain.exe").read_bytes():
        raise SystemExit("the rebuild after one change differs from the build without the cache")

    peers = {}
    if makensis:
        for compressor in peers_wanted:
            script, setup = write_nsi(case, payload, compressor)
            peers[compressor] = run(["makensis", "-V1", script])
            rows.append((f"makensis {compressor}", peers[compressor], setup))

    print(f"\n{name}: {files} files, {total / MB:.1f} MB "
          f"(kelvopack {kelvopack.name}, stub {stub}, {os.cpu_count()} cores)\n")
    print(f"load average before: {load[0]:.1f}, after: {os.getloadavg()[0]:.1f}\n")
    print("| | Time | CPU | Setup |")
    print("|---|---|---|---|")
    for label, seconds, setup in rows:
        size = f"{setup.stat().st_size / MB:.1f} MB" if setup else ""
        print(f"| {label} | {seconds:.2f} s | {CPU.get(seconds, 0):.2f} s | {size} |")
    print()
    # The 5 % holds for the mixed payload, where one file is a small part of
    # the work; with 10 000 files of a few KB the rebuild's fixed cost (one
    # look at every file) is the larger part, and the share is shown alone.
    share = f"one-file rebuild {100 * one_s / cold:.1f} % of the cold build"
    verdicts = [
        (f"{share} (target at most 5 %)", one_s <= 0.05 * cold) if name == "mixed" else (share, None),
        (f"unchanged rebuild {unchanged / read_s:.1f} x the read once ({unchanged:.2f} s vs {read_s:.2f} s)", None),
    ]
    if "zlib" in peers:
        ratio = peers["zlib"] / cold
        verdicts.append((f"kelvopack {ratio:.2f} x as fast as makensis zlib (target at least 5 x)", ratio >= 5))
        if "lzma" in peers:
            verdicts.append((f"kelvopack {peers['lzma'] / cold:.2f} x as fast as makensis lzma", None))
        verdicts.append((f"in CPU time: makensis zlib {CPU[peers['zlib']]:.2f} s, kelvopack {CPU[cold]:.2f} s "
                         f"({CPU[peers['zlib']] / CPU[cold]:.2f} x; the wall time divides kelvopack's by the cores)", None))
    for text, met in verdicts:
        mark = "" if met is None else (" [met]" if met else " [NOT met]")
        print(f"- {text}{mark}")
    return all(met is not False for _, met in verdicts)


def main():
    parser = argparse.ArgumentParser(description="kelvopack build against makensis on one payload.")
    parser.add_argument("--cases", default="mixed,small", help="mixed, small or both (default)")
    parser.add_argument("--small-files", type=int, default=10000, help="files of the small case (10000)")
    parser.add_argument("--repeat", type=int, default=1, help="the fastest of N runs of each kelvopack step")
    parser.add_argument("--no-makensis", action="store_true", help="leave the peer out")
    parser.add_argument("--peers", default="zlib,lzma", help="makensis's compressors to run (zlib,lzma)")
    parser.add_argument("--work", type=Path,
                        default=Path(os.environ.get("TMPDIR", "/tmp")) / "kelvo-build-bench")
    args = parser.parse_args()
    kelvopack = find_kelvopack()
    stub = find_stub()
    makensis = not args.no_makensis
    if makensis and shutil.which("makensis") is None:
        raise SystemExit("makensis is missing (apt-get install nsis), or pass --no-makensis")
    makers = {
        "mixed": mixed_payload.make,
        "small": lambda folder: mixed_payload.make_small(folder, args.small_files),
    }
    ok = True
    for name in args.cases.split(","):
        if name not in makers:
            parser.error(f"unknown case {name!r}")
        ok &= bench_case(name, makers[name], args.work, kelvopack, stub, max(1, args.repeat), makensis,
                         [p for p in args.peers.split(",") if p])
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
