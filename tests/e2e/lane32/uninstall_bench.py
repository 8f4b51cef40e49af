#!/usr/bin/env python3
"""The demo's unattended uninstall time: examples/demo built by kelvopack on
the Windows build's kelvo.exe, installed with /S, then uninstalled with /S
through the installed copy, timed from its start until the destination is
gone. Run inside the 32-bit lane (lane32.py run --bench) for the i686 build
under WoW64, or directly for the 64-bit one.

  python3 tests/e2e/lane32/uninstall_bench.py [--runs 3]
"""

import argparse
import subprocess
import sys
from pathlib import Path

sys.dont_write_bytecode = True
E2E = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(E2E))

from kelvo_wine import Layout, Session, ensure_golden, unattended_uninstall  # noqa: E402

DESTINATION = "C:\\Program Files\\Kelvo Demo Bench"
APP = "demo-setup.exe"


def build_demo(layout, work):
    project = work / "demo"
    subprocess.run(["cp", "-r", str(layout.source_dir / "examples" / "demo"), str(project)], check=True)
    layout.make_demo_inputs(project / "out")
    setup = work / APP
    subprocess.run([str(layout.native_file("tools/kelvopack/kelvopack")), "build", str(project / "demo.toml"),
                    "-o", str(setup), "--stub", str(layout.win64_file("app/kelvo.exe")), "-q"], check=True)
    return setup


def one_run(layout, number):
    with Session(f"bench.demo-uninstall-{number}", layout=layout) as s:
        setup = build_demo(layout, s.root)
        exe = s.put(setup, f"C:\\dist\\{APP}")
        return unattended_uninstall(s, exe, DESTINATION, 600)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    layout = Layout.from_env()
    ensure_golden(layout)
    rows = [one_run(layout, n) for n in range(1, args.runs + 1)]
    bits = layout.windows_bits
    for number, (returned, done) in enumerate(rows, 1):
        print(f"demo uninstall ({bits}-bit) run {number}: installed copy returned after {returned:.2f} s, "
              f"destination gone after {done:.2f} s")
    done = sorted(d for _, d in rows)
    print(f"demo uninstall ({bits}-bit): median {done[len(done) // 2]:.2f} s of {len(done)} runs")


if __name__ == "__main__":
    main()
