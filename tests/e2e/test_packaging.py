"""The Windows zip as an author on Windows gets it: cpack's zip of the
64-bit build (this machine's Wine runs only 64-bit code; the shipped 32-bit
zip is made and checked by the test package.zip_i686) unpacked into the
prefix. Its kelvopack.exe, run under Wine, builds the demo setup with the
setup program that lies beside it, for either level, and starts a project
with init, whose stand-ins follow the name when it changes; the native
kelvopack verifies what it wrote. The setups it built start and show their
wizard and bitmap."""

import shutil
import subprocess
import zipfile

from kelvo_wine import time_limit
from pictures import bitmap_shown
from wizard_pages import CANCEL, CANCEL_TITLE, NEXT, cancel_text, install_caption

KELVO = "C:\\Kelvo"
PROJECTS = "C:\\Projects"
APP = "demo-setup.exe"


def run_tool(args, **options):
    done = subprocess.run([str(a) for a in args], capture_output=True, text=True, timeout=120, **options)
    assert done.returncode == 0, f"{args[0]} failed ({done.returncode}):\n{done.stdout}{done.stderr}"
    return done.stdout


def unpack_zip(s):
    """The Windows build's zip, unpacked as C:\\Kelvo; returns the
    Linux folder."""
    archive = s.layout.windows_zip(s.root / "zip")
    target = s.to_linux(KELVO)
    with zipfile.ZipFile(archive) as z:
        for member in z.infolist():
            inside = member.filename.split("/", 1)[1] if "/" in member.filename else ""
            if not inside or member.is_dir():
                continue
            (target / inside).parent.mkdir(parents=True, exist_ok=True)
            (target / inside).write_bytes(z.read(member))
    return target


def kelvopack_exe(s, args, cwd, expect=0):
    """kelvopack.exe of the zip under Wine; returns its output."""
    program = s.run(f"{KELVO}\\kelvopack.exe", args, cwd=cwd, timeout=60)
    code = program.exit_code
    assert code == expect, f"kelvopack.exe {' '.join(args)} ended with {code}:\n{program.stdout()}{program.stderr()}"
    return program.stdout(), program.stderr()


def start_and_cancel(s, folder, setup, label, name, bitmap=None):
    """Starts a setup of the application `name`, waits for its wizard (a
    message box about the bitmap would come first and stop it), compares the
    bitmap shown with `bitmap`, and cancels."""
    program = s.start(f"{folder}\\{setup}", cwd=folder)
    window = s.wait_window(exe=setup, title=install_caption(name), id=NEXT, timeout=20)[0]
    if bitmap is None:
        s.screenshot(label)
    else:
        window, _ = s.children(hwnd=window["hwnd"])
        _, wrong = bitmap_shown(s, window["cx"] + 10, window["cy"] + 10, bitmap, label)
        assert not wrong, f"{len(wrong)} pixels differ from the bitmap, the first at {wrong[0]}"
    s.click(exe=setup, title=install_caption(name), id=CANCEL)
    box = s.message_box(exe=setup, title=CANCEL_TITLE)
    assert box["text"] == cancel_text(name), box
    s.press("YES", exe=setup, title=CANCEL_TITLE)
    assert program.wait(20) == 0


@time_limit(150)
def test_zip_kelvopack_builds_and_starts_setups_under_wine(s):
    native = s.layout.native_file("tools/kelvopack/kelvopack")
    kelvo = unpack_zip(s)
    assert sorted(p.name for p in kelvo.iterdir()) == \
        ["cmake", "kelvo-admin.exe", "kelvo.exe", "kelvopack.exe", "kelvopack.txt"]

    # The demo project, its program built for this Wine, in the prefix.
    demo = s.to_linux(f"{PROJECTS}\\Demo")
    shutil.copytree(s.layout.source_dir / "examples" / "demo", demo,
                    ignore=shutil.ignore_patterns("out", "*.sh", "CMakeLists.txt", "README.md"))
    s.layout.make_demo_inputs(demo / "out")
    text = (demo / "demo.toml").read_text()
    (demo / "admin.toml").write_text('level = "admin"\n' + text)

    setups = s.to_linux(PROJECTS)
    for project, setup, stub in (("demo.toml", APP, "kelvo.exe"), ("admin.toml", "admin-setup.exe", "kelvo-admin.exe")):
        out, err = kelvopack_exe(s, ["build", project, "-o", f"..\\{setup}"], cwd=f"{PROJECTS}\\Demo")
        assert "6 files" in out, out
        assert "warning" not in err, err
        data = (setups / setup).read_bytes()
        assert data.startswith((kelvo / stub).read_bytes()), f"{setup} is not built on {stub}"
        report = run_tool([native, "verify", setups / setup])
        assert "OK, 6 members" in report, report
        listed = run_tool([native, "list", setups / setup])
        assert f"Built as:      {setup}" in listed and "hello.exe" in listed, listed

    # A first project under Windows paths, from a folder of the prefix.
    dist = s.to_linux("C:\\Dist\\Hello")
    (dist / "docs").mkdir(parents=True)
    shutil.copy(demo / "out" / "hello.exe", dist / "hello.exe")
    (dist / "docs" / "guide.txt").write_bytes(b"A guide.\r\n")
    out, _ = kelvopack_exe(s, ["init", "C:\\Dist\\Hello", "-o", "C:\\Projects\\Init\\hello.toml"], cwd=PROJECTS)
    assert "installs 2 files" in out, out
    project = (setups / "Init" / "hello.toml").read_text()
    assert "source = '../../Dist/Hello/hello.exe'" in project, project
    assert "name = 'Hello'" in project, project
    kelvopack_exe(s, ["build", "hello.toml", "-o", "hello-setup.exe"], cwd=f"{PROJECTS}\\Init")
    assert "OK, 5 members" in run_tool([native, "verify", setups / "Init" / "hello-setup.exe"])

    # An existing project file stays; the exit code says so.
    _, err = kelvopack_exe(s, ["init", "C:\\Dist\\Hello", "-o", "Init\\hello.toml"], cwd=PROJECTS, expect=1)
    assert "already exists" in err, err

    # The name changed: the untouched stand-ins follow it, replaced in place
    # (each renamed onto the old one). Another setup is no stub;
    # extract makes the folder it is given. Nothing else on C: changes.
    init = setups / "Init"
    (init / "hello.toml").write_text(project.replace("name = 'Hello'", "name = 'Hello Tools'"))
    before = s.snapshot()
    out, _ = kelvopack_exe(s, ["build", "hello.toml", "-o", "hello-setup.exe"], cwd=f"{PROJECTS}\\Init")
    for name in ("kelvo.bmp", "pres.txt", "licen.txt"):
        assert f'{name}: the stand-in made anew for the name "Hello Tools"' in out, out
    assert (init / "pres.txt").read_bytes().startswith(b"Welcome to the setup of Hello Tools.\r\n"), \
        (init / "pres.txt").read_bytes()
    _, err = kelvopack_exe(s, ["build", "hello.toml", "-o", "again.exe", "--stub", "hello-setup.exe"],
                           cwd=f"{PROJECTS}\\Init", expect=1)
    assert "it is a finished setup, not the setup program" in err, err
    kelvopack_exe(s, ["extract", "Init\\hello-setup.exe", "-C", "C:\\Projects\\Out\\Hello", "-q"], cwd=PROJECTS)
    assert (setups / "Out" / "Hello" / "hello.exe").read_bytes() == (dist / "hello.exe").read_bytes()
    assert b"Hello Tools" in (setups / "Out" / "Hello" / "kelvo.bmp").read_bytes()
    made = [f"Projects/Init/{name}" for name in ("kelvo.bmp", "pres.txt", "licen.txt", "hello-setup.exe")]
    changed = s.changes(before, s.snapshot(), made + ["Projects/Out"])
    # The members it compressed anew are kept in the user's local application data.
    kept = [c for c in changed if "/AppData/Local/kelvopack/" in c]
    assert kept, changed
    assert [c for c in changed if c not in kept] == [], changed
    listed = run_tool([native, "list", init / "hello-setup.exe"])
    assert "Name:          Hello Tools\n" in listed and "GFTM   hello.exe" in listed, listed

    # Both builds of the setup program, each with its manifest, start.
    start_and_cancel(s, PROJECTS, APP, "user-level", "Kelvo Demo", (demo / "out" / "kelvo.bmp").read_bytes())
    start_and_cancel(s, PROJECTS, "admin-setup.exe", "admin-level", "Kelvo Demo")
    # The stand-in bitmap of init is shown as it is, without a word about it.
    start_and_cancel(s, f"{PROJECTS}\\Init", "hello-setup.exe", "init-stand-ins", "Hello Tools",
                     (setups / "Init" / "kelvo.bmp").read_bytes())
