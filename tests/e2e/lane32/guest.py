"""The 32-bit lane inside the emulated machine, started by its init script
with the unpacked inputs disk (source/, win32/, native/, run.json).

It restores the golden prefix from its disk (or makes it and writes it
there), runs each chosen test with the project's own runner, and writes
results.json, the logs and the artifacts as one tar to the results disk.
"""

import json
import os
import shutil
import subprocess
import sys
import tarfile
import time
from pathlib import Path

GOLDEN_DISK = "/dev/vdc"
RESULTS_DISK = "/dev/vdd"
WORK = Path("/tmp/work")


def say(message):
    print(f"lane32: {message}", flush=True)


def lane_env(inputs, plan):
    env = dict(os.environ)
    env.update(
        HOME="/root",
        USER="root",
        LANG="C.UTF-8",
        KELVO_SOURCE_DIR=str(inputs / "source"),
        KELVO_NATIVE_DIR=str(WORK / "native"),
        KELVO_WIN64_DIR=str(inputs / "win32"),
        KELVO_WINDOWS_ZIP=str(inputs / "windows.zip"),
        KELVO_DEMO_INPUTS=str(inputs / "demo-inputs"),
        KELVO_E2E_TIME_SCALE=str(plan["time_scale"]),
        # A copy of the prefix is slow here; an overlay costs nothing.
        KELVO_E2E_OVERLAY="1",
        # The 32-bit loader: a 32-bit program in a 64-bit prefix runs under
        # WoW64, as on 64-bit Windows; the server of a 64-bit prefix is 64-bit.
        KELVO_WINE_LOADER="/usr/lib/wine/wine",
        KELVO_WINE_SERVER="/usr/lib/wine/wineserver64",
        KELVO_WINE_GOLDEN_LOADER="/usr/lib/wine/wine64",
    )
    return env


def disk_holds_tar(disk):
    with open(disk, "rb") as f:
        block = f.read(512)
    return len(block) == 512 and block[257:262] == b"ustar"


def restore_or_make_golden(env, runner):
    """Returns the seconds it took."""
    native = WORK / "native"
    native.mkdir(parents=True, exist_ok=True)
    stamp = native / "wine-golden" / ".kelvo-golden-stamp"
    started, wall = time.monotonic(), time.time()
    if disk_holds_tar(GOLDEN_DISK):
        subprocess.run(["tar", "-xf", GOLDEN_DISK, "-C", str(native)], check=True)
        say(f"golden prefix restored in {time.monotonic() - started:.0f} s")
    # The runner remakes it when the restored one is stale or absent.
    if subprocess.run([sys.executable, str(runner), "golden"], env=env).returncode != 0:
        raise SystemExit("the golden prefix could not be made")
    # tar keeps the times: a stamp newer than this boot is a new prefix.
    if stamp.stat().st_mtime >= wall:
        subprocess.run(["tar", "-cf", GOLDEN_DISK, "-C", str(native), "wine-golden"], check=True)
        say(f"golden prefix made and kept in {time.monotonic() - started:.0f} s")
    return time.monotonic() - started


def run_tests(plan, env, runner, results):
    for entry in plan["tests"]:
        script, function, name = entry["script"], entry["function"], entry["name"]
        log = WORK / "out" / "logs" / f"{name}.log"
        started = time.monotonic()
        with open(log, "wb") as out:
            try:
                done = subprocess.run([sys.executable, str(runner), "test", str(runner.parent / script), function],
                                      env=env,
                                      stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                                      timeout=entry["timeout"])
                code = done.returncode
            except subprocess.TimeoutExpired:
                out.write(f"\nlane32: {name} ran longer than {entry['timeout']} s\n".encode())
                code = 1
        seconds = time.monotonic() - started
        results["tests"][name] = {"code": code, "seconds": round(seconds, 1)}
        say(f"{name}: {'passed' if code == 0 else 'skipped' if code == 77 else 'FAILED'} in {seconds:.0f} s")
        write_results(results)


def write_results(results):
    (WORK / "out" / "results.json").write_text(json.dumps(results, indent=1, sort_keys=True))


def main():
    inputs = Path(sys.argv[1])
    plan = json.loads((inputs / "run.json").read_text())
    (WORK / "out" / "logs").mkdir(parents=True, exist_ok=True)
    env = lane_env(inputs, plan)
    shutil.copytree(inputs / "native", WORK / "native", dirs_exist_ok=True)
    runner = inputs / "source" / "tests" / "e2e" / "run_e2e.py"
    results = {"tests": {}, "wine": subprocess.run(["wine", "--version"], capture_output=True,
                                                   text=True).stdout.strip()}
    if plan.get("probe"):
        # A shell line per probe, for finding out how the machine behaves.
        for number, line in enumerate(plan["probe"]):
            output = WORK / "out" / f"probe-{number}.txt"
            # A file, not a pipe: Wine's servers would hold a pipe open.
            with open(output, "w") as out:
                out.write(f"$ {line}\n")
                out.flush()
                done = subprocess.run(["sh", "-c", line], env=env, stdin=subprocess.DEVNULL, stdout=out,
                                      stderr=subprocess.STDOUT)
            say(f"probe {number} exit {done.returncode}")
            for text in output.read_text(errors="replace").splitlines()[-40:]:
                say(f"  {text}")
    try:
        if plan.get("probe"):
            return
        results["golden_seconds"] = round(restore_or_make_golden(env, runner), 1)
        write_results(results)
        run_tests(plan, env, runner, results)
        for extra in plan.get("after", []):
            started = time.monotonic()
            done = subprocess.run([sys.executable, str(inputs / "source" / extra[0]), *extra[1:]], env=env,
                                  capture_output=True, text=True, timeout=900)
            results.setdefault("after", []).append({"args": extra, "code": done.returncode,
                                                    "output": done.stdout + done.stderr,
                                                    "seconds": round(time.monotonic() - started, 1)})
    finally:
        write_results(results)
        artifacts = WORK / "native" / "e2e-artifacts"
        with tarfile.open(RESULTS_DISK, "w") as tar:
            tar.add(WORK / "out", arcname="out")
            if artifacts.exists():
                tar.add(artifacts, arcname="e2e-artifacts")
            log = WORK / "native" / "wine-golden.log"
            if log.exists():
                tar.add(log, arcname="out/wine-golden.log")
        say("results written")


if __name__ == "__main__":
    main()
