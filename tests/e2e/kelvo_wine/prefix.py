"""The golden Wine prefix, the environment of every Wine call for a prefix,
and where the sources, builds and drives are."""

import fcntl
import os
import shutil
import subprocess
import tempfile
import time
from pathlib import Path

from .errors import HarnessError, Skip

# The 64-bit loader by default; the 32-bit lane names the 32-bit one, which
# runs a 32-bit program in the same 64-bit prefix under WoW64.
WINE_LOADER = os.environ.get("KELVO_WINE_LOADER", "/usr/lib/wine/wine64")
WINE_SERVER = os.environ.get("KELVO_WINE_SERVER", "/usr/lib/wine/wineserver64")
# The loader that boots the golden prefix. With this environment the 32-bit
# loader stops at once in a prefix not yet made ("could not load
# kernel32.dll"); the 64-bit one makes it, syswow64 included.
GOLDEN_LOADER = os.environ.get("KELVO_WINE_GOLDEN_LOADER", WINE_LOADER)

# Every wait of the harness and every test's time limit is multiplied by
# this: a machine emulated in full runs Wine several times slower.
TIME_SCALE = float(os.environ.get("KELVO_E2E_TIME_SCALE", "1"))


def scaled(seconds):
    return seconds * TIME_SCALE


# Bump when the golden prefix recipe changes, so that old prefixes are rebuilt.
GOLDEN_RECIPE = 1
STAMP_NAME = ".kelvo-golden-stamp"


_GOLDEN_REGISTRY = r"""REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="800x600"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug]
"Debugger"="C:\\windows\\no-such-debugger.exe %ld %ld"
"""


# --------------------------------------------------------------------------
# Locations


class Layout:
    """Where the sources, the native build and the Windows build under test
    are (win64_dir: the 64-bit build, or the i686 one in the 32-bit lane)."""

    def __init__(self, source_dir, native_dir, win64_dir):
        self.source_dir = Path(source_dir).resolve()
        self.native_dir = Path(native_dir).resolve()
        self.win64_dir = Path(win64_dir).resolve()

    @classmethod
    def from_env(cls):
        """KELVO_SOURCE_DIR, KELVO_NATIVE_DIR and KELVO_WIN64_DIR, by default
        the tree around this package with build/native and build/mingw-x86_64."""
        source = Path(os.environ.get("KELVO_SOURCE_DIR", Path(__file__).resolve().parents[3]))
        native = os.environ.get("KELVO_NATIVE_DIR", source / "build" / "native")
        win64 = os.environ.get("KELVO_WIN64_DIR", source / "build" / "mingw-x86_64")
        return cls(source, native, win64)

    @property
    def golden_dir(self):
        return self.native_dir / "wine-golden"

    @property
    def artifacts_dir(self):
        return self.native_dir / "e2e-artifacts"

    @property
    def windows_bits(self):
        """32 or 64: the processor of the Windows build (its kelvodrive.exe)."""
        with open(self.kelvodrive, "rb") as image:
            head = image.read(4096)
        pe = int.from_bytes(head[0x3C:0x40], "little")
        machine = int.from_bytes(head[pe + 4:pe + 6], "little")
        return 32 if machine == 0x14C else 64

    @property
    def reg_view(self):
        """The registry view of the programs under test, for `reg`: a plain
        `reg` is 32-bit under the 32-bit loader and sees WOW6432Node as the
        key itself."""
        return f"/reg:{self.windows_bits}"

    def windows_zip(self, work):
        """The Windows build's zip: KELVO_WINDOWS_ZIP (made beforehand where
        cpack is absent), else cpack's zip made in `work`; Skip without
        either."""
        given = os.environ.get("KELVO_WINDOWS_ZIP")
        if given:
            if not Path(given).exists():
                raise Skip(f"{given} is missing")
            return Path(given)
        if not (self.win64_dir / "CPackConfig.cmake").exists():
            raise Skip(f"no CPack configuration in {self.win64_dir}")
        cpack = shutil.which("cpack")
        if not cpack:
            raise Skip("cpack is not installed")
        subprocess.run([cpack, "-G", "ZIP", "-B", str(work)], cwd=self.win64_dir, check=True,
                       capture_output=True, timeout=120)
        [archive] = list(Path(work).glob("*.zip"))
        return archive

    def make_demo_inputs(self, out):
        """The demo project's built inputs (hello.exe for the processor of
        the build under test, kelvo.bmp) in folder `out`: copied from
        KELVO_DEMO_INPUTS where they were made beforehand (no compiler in the
        emulated machine), else made by examples/demo/make-demo-inputs.sh."""
        out = Path(out)
        given = os.environ.get("KELVO_DEMO_INPUTS")
        if given:
            shutil.copytree(given, out, dirs_exist_ok=True)
            return
        compiler = "i686-w64-mingw32-gcc" if self.windows_bits == 32 else "x86_64-w64-mingw32-gcc"
        if not shutil.which(compiler):
            raise Skip(f"{compiler} is not installed (scripts/install-deps.sh)")
        done = subprocess.run(["sh", str(self.source_dir / "examples" / "demo" / "make-demo-inputs.sh"), str(out)],
                              env=dict(os.environ, KELVO_DEMO_CC=compiler), capture_output=True, text=True,
                              timeout=120)
        if done.returncode != 0:
            raise HarnessError(f"make-demo-inputs.sh failed:\n{done.stdout}{done.stderr}")

    @property
    def kelvodrive(self):
        return self.win64_dir / "tools" / "kelvodrive" / "kelvodrive.exe"

    @property
    def fixture(self):
        """The harness's own test program (built with kelvodrive)."""
        path = self.win64_dir / "tests" / "e2e" / "fixtures" / "drivefixture.exe"
        if not path.exists():
            raise HarnessError(f"{path} is not built (cmake --build --preset mingw-x86_64 --target drivefixture)")
        return path

    def native_file(self, relative):
        """A file of the native build (e.g. tools/...); Skip when missing."""
        path = self.native_dir / relative
        if not path.exists():
            raise Skip(f"{path} is not built (cmake --build --preset native)")
        return path

    def win64_file(self, relative):
        """A file of the Windows build; Skip when it has not been built."""
        path = self.win64_dir / relative
        if not path.exists():
            raise Skip(f"{path} is not built (cmake --build --preset mingw-x86_64)")
        return path


# --------------------------------------------------------------------------
# Wine


def wine_version():
    done = subprocess.run([WINE_LOADER, "--version"], capture_output=True, text=True, check=True)
    return done.stdout.strip()


def wine_env(prefix, tmpdir, display=None, overrides="winemenubuilder.exe=d"):
    """The environment of every wine and wineserver call for one prefix."""
    env = {k: v for k, v in os.environ.items() if not k.startswith("WINE")}
    env.update(
        WINEARCH="win64",
        WINEPREFIX=str(prefix),
        WINELOADER=WINE_LOADER,
        WINESERVER=WINE_SERVER,
        WINEDEBUG="-all",
        WINEDLLOVERRIDES=overrides,
        TMPDIR=str(tmpdir),
        LC_ALL="C.UTF-8",
    )
    env.pop("DISPLAY", None)
    if display is not None:
        env["DISPLAY"] = display
    return env


def _run_logged(args, env, log, timeout):
    with open(log, "ab") as out:
        out.write(("$ " + " ".join(map(str, args)) + "\n").encode())
        out.flush()
        done = subprocess.run(args, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                              timeout=timeout)
    return done.returncode


def _user_dir(prefix):
    users = Path(prefix) / "drive_c" / "users"
    for entry in sorted(users.iterdir()):
        if entry.name != "Public" and entry.is_dir():
            return entry
    raise HarnessError(f"no user profile in {users}")


def _expected_stamp(version):
    return f"wine={version}\nrecipe={GOLDEN_RECIPE}\n"


def golden_is_current(golden, version=None):
    stamp = Path(golden) / STAMP_NAME
    try:
        return stamp.read_text() == _expected_stamp(version or wine_version())
    except OSError:
        return False


def ensure_golden(layout, log=print):
    """Builds layout.golden_dir unless it was built, completely, by this Wine
    version and recipe. Returns its path. Safe against concurrent callers."""
    golden = layout.golden_dir
    layout.native_dir.mkdir(parents=True, exist_ok=True)
    version = wine_version()
    with open(layout.native_dir / "wine-golden.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if golden_is_current(golden, version):
            return golden
        log(f"building the golden Wine prefix in {golden} ({version})")
        started = time.monotonic()
        _build_golden(golden, layout.native_dir / "wine-golden.log", version)
        log(f"golden prefix ready in {time.monotonic() - started:.1f} s")
    return golden


def _build_golden(golden, log, version):
    if golden.exists():
        shutil.rmtree(golden)
    log.unlink(missing_ok=True)
    tmpdir = Path(tempfile.mkdtemp(prefix="kelvo-golden-"))
    # Mono and Gecko are left out: their installers would ask on screen.
    env = wine_env(golden, tmpdir, overrides="mscoree,mshtml=;winemenubuilder.exe=d")
    try:
        if _run_logged([GOLDEN_LOADER, "wineboot", "--init"], dict(env, WINELOADER=GOLDEN_LOADER), log,
                       scaled(300)) != 0:
            raise HarnessError(f"wineboot failed, see {log}")
        reg = tmpdir / "golden.reg"
        reg.write_text(_GOLDEN_REGISTRY.replace("\n", "\r\n"), encoding="ascii")
        if _run_logged([GOLDEN_LOADER, "regedit", "/S", _windows_path_of(golden, reg)],
                       dict(env, WINELOADER=GOLDEN_LOADER), log, scaled(120)) != 0:
            raise HarnessError(f"regedit failed, see {log}")
        # The registry reaches user.reg/system.reg when the server ends.
        _run_logged([WINE_SERVER, "-w"], env, log, scaled(120))
    finally:
        _run_logged([WINE_SERVER, "-k"], env, log, scaled(60))
        shutil.rmtree(tmpdir, ignore_errors=True)

    # Shell folders are links to $HOME: shortcuts made by a test would leak.
    for entry in _user_dir(golden).iterdir():
        if entry.is_symlink():
            entry.unlink()
            entry.mkdir()
    fonts = golden / "drive_c" / "windows" / "Fonts"
    fonts.mkdir(parents=True, exist_ok=True)
    for font in Path("/usr/share/wine/fonts").iterdir():
        shutil.copy2(font, fonts / font.name)
    # Debian names the server's socket folder here; each copy makes its own.
    (golden / "wineserver").unlink(missing_ok=True)

    user_reg = (golden / "user.reg").read_text(errors="replace")
    system_reg = (golden / "system.reg").read_text(errors="replace")
    missing = [what for what, present in [
        ("virtual desktop", '"Default"="800x600"' in user_reg),
        ("crash dialog setting", '"ShowCrashDialog"=dword:00000000' in user_reg),
        ("AeDebug debugger", "no-such-debugger.exe" in system_reg),
        ("fonts", any(fonts.iterdir())),
    ] if not present]
    if missing:
        raise HarnessError(f"golden prefix incomplete ({', '.join(missing)}), see {log}")
    (golden / STAMP_NAME).write_text(_expected_stamp(version))


def _windows_path_of(prefix, path):
    """Windows name of a Linux path for a program of `prefix`."""
    path = Path(path).resolve()
    drive_c = (Path(prefix) / "drive_c").resolve()
    try:
        return "C:\\" + str(path.relative_to(drive_c)).replace("/", "\\")
    except ValueError:
        return "Z:" + str(path).replace("/", "\\")
