#!/usr/bin/env python3
"""The 32-bit lane: the shipped i686 programs under WoW64 Wine, in a machine
emulated in full (this kernel runs no 32-bit code).

  lane32.py image                 make the machine's image (cached) and say where
  lane32.py run [--only NAME...]  one boot: the chosen e2e tests inside the machine;
                                  the results land in KELVO_NATIVE_DIR/e2e32
  lane32.py result NAME           one test's result from the last run (for ctest)
  lane32.py uninstall-bench       the demo's silent uninstall time in the lane

The image (a Debian root made by mmdebstrap, its kernel and initramfs) lives
under $XDG_CACHE_HOME/kelvo-lane32/<hash of its inputs>/, with the golden
Wine prefix made by the machine's first boot beside it. KELVO_LANE32=0 skips
the lane (exit 77).
Exit codes: 0 done, 1 failed, 2 wrong usage, 77 skipped.
"""

import argparse
import fcntl
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tarfile
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
SOURCE = HERE.parents[2]
SKIP_EXIT_CODE = 77

SUITE = "bookworm"
# What the machine needs and nothing more: every package costs minutes of
# the cold run.
PACKAGES = [
    "linux-image-amd64", "initramfs-tools", "kmod", "mount", "procps",
    "wine", "wine32", "wine64", "xvfb", "xauth", "xdotool", "python3",
    "fonts-wine", "imagemagick",
]
# Files the machine never reads; leaving them out saves minutes of mke2fs
# and unpacking.
PATH_EXCLUDES = [
    "/usr/share/doc/*", "/usr/share/man/*", "/usr/share/info/*",
    "/usr/share/locale/*", "/usr/share/lintian/*", "/usr/share/icons/*",
]
PATH_INCLUDES = ["/usr/share/doc/*/copyright"]
ROOT_SIZE = "4G"
# A raw disk holding one tar: the golden prefix, written by the first boot.
GOLDEN_DISK_SIZE = 3 << 30
RESULTS_DISK_SIZE = 2 << 30
IMAGE_RECIPE = 1

QEMU = [
    "qemu-system-x86_64", "-accel", "tcg,thread=multi", "-smp", "2", "-m", "4096",
    # With -cpu max wineboot dies on the emulated kernel's page faults.
    "-cpu", "Haswell-noTSX", "-nographic", "-no-reboot",
]


def log(message):
    print(f"lane32: {message}", flush=True)


# --------------------------------------------------------------------------
# The image


def mirror():
    """The host's Debian mirror (deb822 or one-line form), else deb.debian.org."""
    for path in sorted(Path("/etc/apt/sources.list.d").glob("*.sources")):
        for line in path.read_text().splitlines():
            if line.startswith("URIs:") and "security" not in line:
                return line.split()[1]
    sources = Path("/etc/apt/sources.list")
    if sources.exists():
        for line in sources.read_text().splitlines():
            parts = line.split()
            if len(parts) > 2 and parts[0] == "deb" and "security" not in parts[1]:
                return parts[1]
    return "http://deb.debian.org/debian"


def image_inputs():
    return {
        "recipe": IMAGE_RECIPE,
        "suite": SUITE,
        "mirror": os.environ.get("KELVO_LANE32_MIRROR", mirror()),
        "packages": PACKAGES,
        "excludes": PATH_EXCLUDES,
        "includes": PATH_INCLUDES,
        "size": ROOT_SIZE,
        "init": (HERE / "init.sh").read_text(),
    }


def cache_root():
    base = os.environ.get("XDG_CACHE_HOME") or str(Path.home() / ".cache")
    return Path(base) / "kelvo-lane32"


def image_dir():
    inputs = image_inputs()
    digest = hashlib.sha256(json.dumps(inputs, sort_keys=True).encode()).hexdigest()[:16]
    return cache_root() / digest


def ensure_image():
    """Makes the image unless a complete one for these inputs exists; safe
    against concurrent callers. Returns its folder."""
    folder = image_dir()
    folder.parent.mkdir(parents=True, exist_ok=True)
    with open(folder.parent / f"{folder.name}.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if (folder / "ready").exists():
            return folder
        started = time.monotonic()
        _make_image(folder)
        log(f"image ready in {time.monotonic() - started:.0f} s: {folder}")
    return folder


def _make_image(folder):
    if folder.exists():
        shutil.rmtree(folder)
    work = Path(tempfile.mkdtemp(prefix="image-", dir=folder.parent))
    try:
        root = work / "root"
        inputs = image_inputs()
        hooks = [f"--dpkgopt=path-exclude={p}" for p in PATH_EXCLUDES]
        hooks += [f"--dpkgopt=path-include={p}" for p in PATH_INCLUDES]
        args = ["mmdebstrap", "--variant=apt", "--architectures=amd64,i386", "--mode=root",
                "--aptopt=APT::Install-Recommends \"false\"", *hooks,
                "--include=" + ",".join(PACKAGES),
                "--customize-hook=copy-in " + str(HERE / "init.sh") + " /sbin",
                "--customize-hook=chroot \"$1\" mv /sbin/init.sh /sbin/kelvo-lane32-init",
                "--customize-hook=chroot \"$1\" chmod 755 /sbin/kelvo-lane32-init",
                SUITE, str(root), f"deb {inputs['mirror']} {SUITE} main"]
        step = time.monotonic()
        subprocess.run(args, check=True, stdin=subprocess.DEVNULL)
        log(f"root made in {time.monotonic() - step:.0f} s")
        kernel = sorted((root / "boot").glob("vmlinuz-*"))[-1]
        initrd = sorted((root / "boot").glob("initrd.img-*"))[-1]
        shutil.copy2(kernel, work / "vmlinuz")
        shutil.copy2(initrd, work / "initrd.img")
        step = time.monotonic()
        subprocess.run(["mke2fs", "-q", "-F", "-t", "ext4", "-L", "lane32", "-d", str(root),
                        str(work / "root.img"), ROOT_SIZE], check=True)
        log(f"mke2fs in {time.monotonic() - step:.0f} s")
        shutil.rmtree(root)
        (work / "inputs.json").write_text(json.dumps(inputs, indent=1, sort_keys=True))
        (work / "ready").write_text("")
        work.rename(folder)
    finally:
        shutil.rmtree(work, ignore_errors=True)


# --------------------------------------------------------------------------
# The tests


def chosen_tests():
    """(script, function) of every test the lane runs, from tests.txt."""
    chosen = []
    for line in (HERE / "tests.txt").read_text().splitlines():
        line = line.split("#", 1)[0].strip()
        if line:
            script, function = line.split()
            chosen.append((script, function))
    return chosen


def test_name(script, function):
    def bare(text):
        return text[5:] if text.startswith("test_") else text

    return f"e2e32.{bare(Path(script).stem)}.{bare(function)}"


def time_limit_of(script, function):
    """The @time_limit above `def function` in the script (60 s unmarked)."""
    lines = (SOURCE / "tests" / "e2e" / script).read_text().splitlines()
    for number, line in enumerate(lines):
        if line.startswith(f"def {function}("):
            for mark in reversed(lines[max(0, number - 3):number]):
                if mark.startswith("@time_limit("):
                    return int(mark[len("@time_limit("):].split(")")[0])
            return 60
    raise SystemExit(f"lane32: no {function} in {script}")


# --------------------------------------------------------------------------
# One boot


class Builds:
    """The builds the lane takes its programs from."""

    def __init__(self):
        self.win32 = Path(os.environ.get("KELVO_WIN32_DIR", SOURCE / "build" / "mingw-i686")).resolve()
        self.native = Path(os.environ.get("KELVO_NATIVE_DIR", SOURCE / "build" / "native")).resolve()

    @property
    def results(self):
        return self.native / "e2e32"


def _add_tree(tar, folder, arcname, files):
    for path in files:
        tar.add(folder / path, arcname=f"{arcname}/{path}", recursive=False)


def pack_inputs(builds, work, plan):
    """The inputs disk: the source tree, the i686 build's programs, the
    native kelvopack, the Windows zip, the demo's built inputs, run.json."""
    listed = subprocess.run(["git", "ls-files", "-co", "--exclude-standard"], cwd=SOURCE, check=True,
                            capture_output=True, text=True).stdout.split("\n")
    sources = [p for p in listed if p and (SOURCE / p).is_file()]
    programs = [str(p.relative_to(builds.win32)) for p in builds.win32.rglob("*.exe")
                if "CMakeFiles" not in p.parts and "_CPack_Packages" not in p.parts]
    kelvopack = builds.native / "tools" / "kelvopack" / "kelvopack"
    if not (builds.win32 / "tools" / "kelvodrive" / "kelvodrive.exe").exists() or not kelvopack.exists():
        raise SystemExit(f"lane32: build {builds.win32} (target e2e-programs) and {kelvopack} first")
    zips = work / "zip"
    subprocess.run(["cpack", "-G", "ZIP", "-B", str(zips)], cwd=builds.win32, check=True,
                   stdout=subprocess.DEVNULL)
    [archive] = list(zips.glob("*.zip"))
    demo = work / "demo-inputs"
    # The shipped demo carries the 32-bit program.
    subprocess.run(["sh", str(SOURCE / "examples" / "demo" / "make-demo-inputs.sh"), str(demo)], check=True,
                   env=dict(os.environ, KELVO_DEMO_CC="i686-w64-mingw32-gcc"))
    (work / "run.json").write_text(json.dumps(plan, indent=1))
    inputs = work / "inputs.tar"
    with tarfile.open(inputs, "w") as tar:
        _add_tree(tar, SOURCE, "source", sources)
        _add_tree(tar, builds.win32, "win32", programs)
        tar.add(kelvopack, arcname="native/tools/kelvopack/kelvopack")
        tar.add(archive, arcname="windows.zip")
        tar.add(demo, arcname="demo-inputs")
        tar.add(work / "run.json", arcname="run.json")
    # A raw disk is read in whole sectors.
    with open(inputs, "ab") as f:
        f.truncate((f.tell() + 511) // 512 * 512)
    return inputs


def _sparse(path, size):
    with open(path, "wb") as f:
        f.truncate(size)


def boot(image, inputs, results_disk, console, timeout):
    """Runs the machine to its end; returns the seconds it took."""
    golden = image / "golden.disk"
    if not golden.exists():
        _sparse(golden, GOLDEN_DISK_SIZE)
    _sparse(results_disk, RESULTS_DISK_SIZE)
    args = QEMU + [
        "-kernel", str(image / "vmlinuz"), "-initrd", str(image / "initrd.img"),
        "-append", "root=/dev/vda rw console=ttyS0 init=/sbin/kelvo-lane32-init panic=1 quiet",
        # The root stays as made: the machine's writes go to a throwaway overlay.
        "-drive", f"file={image / 'root.img'},if=virtio,format=raw,snapshot=on",
        "-drive", f"file={inputs},if=virtio,format=raw,readonly=on",
        "-drive", f"file={golden},if=virtio,format=raw",
        "-drive", f"file={results_disk},if=virtio,format=raw",
        "-nic", "none",
    ]
    started = time.monotonic()
    with open(console, "wb") as out:
        machine = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT)
    try:
        with open(console, "rb") as shown:
            pending = b""
            while True:
                ended = machine.poll() is not None
                pending += shown.read()
                *lines, pending = pending.split(b"\n")
                for line in lines:
                    if b"lane32:" in line:
                        print("lane32:" + line.decode(errors="replace").split("lane32:", 1)[1].rstrip(), flush=True)
                if ended:
                    break
                if time.monotonic() > started + timeout:
                    log(f"the machine ran longer than {timeout} s: stopped")
                    break
                time.sleep(1)
    finally:
        if machine.poll() is None:
            machine.terminate()
            machine.wait(30)
    return time.monotonic() - started


def run(test_filter=None, after=(), timeout=None):
    """One boot running the chosen tests; returns the results."""
    builds = Builds()
    scale = float(os.environ.get("KELVO_LANE32_TIME_SCALE", "6"))
    tests = [{"script": script, "function": function, "name": test_name(script, function),
              "timeout": int(time_limit_of(script, function) * scale) + 120}
             for script, function in chosen_tests()
             if test_filter is None or test_name(script, function) in test_filter]
    plan = {"tests": tests, "time_scale": scale, "after": list(after)}
    probe = os.environ.get("KELVO_LANE32_PROBE")
    if probe:
        plan["probe"] = Path(probe).read_text().splitlines()
    started = time.monotonic()
    image = ensure_image()
    image_seconds = time.monotonic() - started
    results_dir = builds.results
    if results_dir.exists():
        shutil.rmtree(results_dir)
    results_dir.mkdir(parents=True)
    work = Path(tempfile.mkdtemp(prefix="lane32-", dir=builds.native))
    try:
        inputs = pack_inputs(builds, work, plan)
        results_disk = work / "results.disk"
        limit = timeout or 1800 + sum(t["timeout"] for t in tests)
        # One machine per image at a time: the golden disk is written in place.
        with open(image / "boot.lock", "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            boot_seconds = boot(image, inputs, results_disk, results_dir / "console.log", limit)
        try:
            with tarfile.open(results_disk) as tar:
                tar.extractall(results_dir)
        except tarfile.TarError as problem:
            raise SystemExit(f"lane32: no results from the machine ({problem}); see {results_dir / 'console.log'}")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    results_file = results_dir / "out" / "results.json"
    if not results_file.exists():
        raise SystemExit(f"lane32: no results from the machine; see {results_dir / 'console.log'}")
    results = json.loads(results_file.read_text())
    results["image_seconds"] = round(image_seconds, 1)
    results["boot_seconds"] = round(boot_seconds, 1)
    results["planned"] = [t["name"] for t in tests]
    results_file.write_text(json.dumps(results, indent=1, sort_keys=True))
    return results


def report(results):
    for name in results["planned"]:
        got = results["tests"].get(name)
        state = "NOT RUN" if got is None else {0: "passed", SKIP_EXIT_CODE: "skipped"}.get(got["code"], "FAILED")
        print(f"  {name}: {state}" + ("" if got is None else f" ({got['seconds']:.0f} s)"))
    print(f"lane32: image {results['image_seconds']:.0f} s, machine {results['boot_seconds']:.0f} s "
          f"(golden prefix {results.get('golden_seconds', 0):.0f} s), {results.get('wine', '')}")


def result(name):
    """One test's result from the last run, with its log: ctest's view."""
    builds = Builds()
    results_file = builds.results / "out" / "results.json"
    if not results_file.exists():
        print(f"no results of the 32-bit lane in {builds.results}", file=sys.stderr)
        return 1
    got = json.loads(results_file.read_text())["tests"].get(name)
    if got is None:
        print(f"{name} did not run in the lane (see {builds.results / 'console.log'})", file=sys.stderr)
        return 1
    log_file = builds.results / "out" / "logs" / f"{name}.log"
    if log_file.exists():
        sys.stdout.write(log_file.read_text(errors="replace"))
    print(f"(in the 32-bit lane, {got['seconds']:.0f} s; artifacts: {builds.results / 'e2e-artifacts'})")
    return got["code"]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="action", required=True)
    sub.add_parser("image")
    running = sub.add_parser("run")
    running.add_argument("--only", nargs="*", help="e2e32.<script>.<function> names")
    running.add_argument("--bench", action="store_true", help="also the demo's uninstall time")
    one = sub.add_parser("result")
    one.add_argument("name")
    sub.add_parser("list")
    args = parser.parse_args()
    if args.action == "list":
        print("\n".join(test_name(*t) for t in chosen_tests()))
        return 0
    if os.environ.get("KELVO_LANE32") == "0":
        print("the 32-bit lane is turned off (KELVO_LANE32=0)")
        return SKIP_EXIT_CODE
    if args.action == "image":
        print(ensure_image())
        return 0
    if args.action == "result":
        return result(args.name)
    after = [["tests/e2e/lane32/uninstall_bench.py"]] if args.bench else []
    results = run(args.only, after)
    report(results)
    for extra in results.get("after", []):
        print(extra["output"].rstrip())
    return 0


if __name__ == "__main__":
    sys.exit(main())
