#!/usr/bin/env python3
"""Kelvo as its users get it: the Debian package of the native build, the
zip of a Windows build, and a CMake project that makes its setup through
cpack against the installed package. Python 3 standard library only.

  package_test.py deb        NATIVE_DIR SOURCE_DIR WIN32_DIR WORK
  package_test.py cmake-app  NATIVE_DIR SOURCE_DIR WIN32_DIR WORK
  package_test.py zip        TREE SOURCE_DIR MACHINE WORK

`deb` makes the package with cpack, checks its control data against what
kelvopack links to, extracts it with dpkg -x into WORK/root (kept for
`cmake-app`), and builds the demo setup with the extracted kelvopack and
its installed setup program from a scratch copy of the demo project. The
64-bit setup program comes from the tree in $KELVO_WIN64_DIR.
Exit code 77: a tool the test needs is missing (ctest shows it skipped)."""
import gzip
import os
import re
import shutil
import struct
import subprocess
import sys
import zipfile
from pathlib import Path

SKIP = 77
PACKAGE = "kelvo"
INSTALLED = {
    "usr/bin/kelvopack",
    "usr/share/man/man1/kelvopack.1.gz",
    "usr/share/doc/kelvo/README.md",
    "usr/share/kelvo/kelvo.exe",
    "usr/share/kelvo/kelvo-admin.exe",
    "usr/share/kelvo/kelvo64.exe",
    "usr/share/kelvo/kelvo64-admin.exe",
    "usr/lib/cmake/Kelvo/KelvoConfig.cmake",
    "usr/lib/cmake/Kelvo/KelvoConfigVersion.cmake",
    "usr/lib/cmake/Kelvo/KelvoCPackSetup.cmake",
}
ZIPPED = {"kelvopack.exe", "kelvo.exe", "kelvo-admin.exe", "kelvopack.txt", "cmake/KelvoConfig.cmake",
          "cmake/KelvoConfigVersion.cmake", "cmake/KelvoCPackSetup.cmake"}
MACHINES = {"i386": 0x14C, "x86-64": 0x8664}


class Skip(Exception):
    pass


def run(args, **options):
    """Runs a program; its output, or an AssertionError with its own words."""
    done = subprocess.run([str(a) for a in args], capture_output=True, text=True, timeout=300, **options)
    assert done.returncode == 0, f"{' '.join(map(str, args))} failed ({done.returncode}):\n{done.stdout}{done.stderr}"
    return done


def need(tool):
    path = shutil.which(tool)
    if not path:
        raise Skip(f"{tool} is not installed (scripts/install-deps.sh)")
    return path


def fresh(folder):
    if folder.exists():
        shutil.rmtree(folder)
    folder.mkdir(parents=True)
    return folder


def pe_machine(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[pe:pe + 4] == b"PE\0\0", "no PE image"
    return struct.unpack_from("<H", data, pe + 4)[0]


def demo_project(source_dir, folder, compiler):
    """A copy of the demo project that holds no file of the source tree but
    its own: the project file, texts and sources, with the program and the
    bitmap made by make-demo-inputs.sh into the copy."""
    demo = source_dir / "examples" / "demo"
    shutil.copytree(demo, folder, ignore=shutil.ignore_patterns("out", "*.sh", "CMakeLists.txt", "README.md"))
    run(["sh", demo / "make-demo-inputs.sh", folder / "out"], env=dict(os.environ, KELVO_DEMO_CC=compiler))
    return folder / "demo.toml"


def with_level(project, level, copy):
    """The project file with `level` set: a top-level key, so before the tables."""
    text = project.read_text()
    copy.write_text(f'level = "{level}"\n' + text)
    return copy


# ---- the Debian package


def control_fields(deb):
    text = run(["dpkg-deb", "-f", deb]).stdout
    fields = {}
    for line in text.splitlines():
        if line and not line[0].isspace() and ":" in line:
            key, value = line.split(":", 1)
            fields[key] = value.strip()
    return fields


def linked_packages(binary):
    """The Debian packages that hold the shared libraries `binary` loads."""
    packages = set()
    for line in run(["ldd", binary]).stdout.splitlines():
        match = re.search(r"=>\s*(/\S+)", line)
        if not match:
            continue
        owner = subprocess.run(["dpkg", "-S", os.path.realpath(match.group(1))], capture_output=True, text=True)
        if owner.returncode != 0:
            owner = subprocess.run(["dpkg", "-S", match.group(1)], capture_output=True, text=True)
        assert owner.returncode == 0, f"no package holds {match.group(1)}: {owner.stderr}"
        packages.add(owner.stdout.split(":", 1)[0].split(",")[0].strip())
    return packages


def test_deb(native_dir, source_dir, win32_dir, work):
    for tool in ("cpack", "dpkg", "dpkg-deb", "dpkg-shlibdeps", "ldd"):
        need(tool)
    compiler = need("i686-w64-mingw32-gcc")
    win64_dir = Path(os.environ.get("KELVO_WIN64_DIR", source_dir / "build" / "mingw-x86_64")).resolve()
    for tree in (win32_dir, win64_dir):
        if not (tree / "app" / "kelvo.exe").exists() or not (tree / "app" / "kelvo-admin.exe").exists():
            raise Skip(f"the setup program is not built in {tree}")
    fresh(work)
    run(["cpack", "-G", "DEB", "-B", work / "deb"], cwd=native_dir)
    debs = list((work / "deb").glob("*.deb"))
    assert len(debs) == 1, debs
    deb = debs[0]

    # Control data: the name, and dependencies that are exactly the packages
    # of the libraries kelvopack loads, each with a version.
    fields = control_fields(deb)
    assert fields["Package"] == PACKAGE and fields["Version"] == "0.1.0", fields
    depends = {}
    for item in fields["Depends"].split(","):
        match = re.fullmatch(r"\s*([a-z0-9.+-]+)\s*\(>= [^)]+\)\s*", item)
        assert match, f"dependency without a version: {item!r}"
        depends[match.group(1)] = item
    linked = linked_packages(native_dir / "tools" / "kelvopack" / "kelvopack")
    assert set(depends) == linked, f"Depends {sorted(depends)}, but kelvopack loads libraries of {sorted(linked)}"

    root = fresh(work / "root")
    run(["dpkg", "-x", deb, root])
    files = {str(p.relative_to(root)) for p in root.rglob("*") if p.is_file() or p.is_symlink()}
    assert files == INSTALLED, f"unexpected: {sorted(files - INSTALLED)}, missing: {sorted(INSTALLED - files)}"
    kelvopack = root / "usr" / "bin" / "kelvopack"
    assert os.access(kelvopack, os.X_OK)
    built = {"kelvo.exe": (win32_dir, "kelvo.exe", "i386"), "kelvo-admin.exe": (win32_dir, "kelvo-admin.exe", "i386"),
             "kelvo64.exe": (win64_dir, "kelvo.exe", "x86-64"),
             "kelvo64-admin.exe": (win64_dir, "kelvo-admin.exe", "x86-64")}
    stubs = {name: (root / "usr" / "share" / "kelvo" / name).read_bytes() for name in built}
    for name, (tree, program, machine) in built.items():
        assert stubs[name] == (tree / "app" / program).read_bytes(), f"the installed {name} is not {tree}'s {program}"
        assert pe_machine(stubs[name]) == MACHINES[machine], name
    manual = gzip.decompress((root / "usr/share/man/man1/kelvopack.1.gz").read_bytes())
    assert manual == (source_dir / "tools" / "kelvopack" / "kelvopack.1").read_bytes()
    check_manual(manual.decode(), source_dir, files)
    assert run([kelvopack, "--version"]).stdout.strip() == "kelvopack 0.1.0"

    # The demo, built by the installed kelvopack with the stub it finds for
    # itself, from a scratch copy: the setup is the installed program plus
    # the package, for either level.
    project = demo_project(source_dir, work / "demo", compiler)
    for level, stub in (("user", "kelvo.exe"), ("admin", "kelvo-admin.exe")):
        setup = work / f"demo-{level}.exe"
        built = run([kelvopack, "build", with_level(project, level, work / "demo" / f"{level}.toml"), "-o", setup],
                    cwd=work)
        assert built.stderr == "", f"a clean project warns:\n{built.stderr}"
        assert setup.read_bytes().startswith(stubs[stub]), f"the {level} setup does not start with {stub}"
        verified = run([kelvopack, "verify", setup]).stdout
        assert "OK, 6 members" in verified, verified
        listed = run([kelvopack, "list", setup]).stdout
        for part in ("hello.exe", "Kelvo Demo", "source\\hello.c", "licen.txt (agreement text)"):
            assert part in listed, f"{part!r} not in:\n{listed}"

    # The 64-bit setup program, by its name.
    setup = work / "demo-64.exe"
    run([kelvopack, "build", project, "-o", setup, "--stub", "kelvo64.exe", "-q"], cwd=work)
    assert setup.read_bytes().startswith(stubs["kelvo64.exe"]), "the 64-bit setup does not start with kelvo64.exe"

    # kelvopack init with the installed tool: a setup one command away.
    dist = work / "dist"
    (dist / "docs").mkdir(parents=True)
    shutil.copy(work / "demo" / "out" / "hello.exe", dist / "hello.exe")
    (dist / "docs" / "guide.txt").write_text("A guide.\r\n")
    run([kelvopack, "init", dist, "-o", work / "init" / "hello.toml"])
    built = run([kelvopack, "build", work / "init" / "hello.toml", "-o", work / "init" / "setup.exe"])
    assert built.stderr == "", built.stderr
    assert "OK, 5 members" in run([kelvopack, "verify", work / "init" / "setup.exe"]).stdout

    # Without the installed stubs, the error says where it looked; the
    # installed copy never looks into the build tree.
    shutil.move(root / "usr" / "share" / "kelvo", work / "stubs-away")
    try:
        missing = subprocess.run([kelvopack, "build", project, "-o", work / "none.exe"], capture_output=True, text=True)
    finally:
        shutil.move(work / "stubs-away", root / "usr" / "share" / "kelvo")
    assert missing.returncode == 1, missing
    places = [line.strip() for line in missing.stderr.splitlines() if line.startswith("kelvopack:   ")]
    places = [p.split(None, 1)[1] for p in places]
    assert places == [str(root / "usr" / "bin" / "kelvo.exe"), str(root / "usr" / "share" / "kelvo" / "kelvo.exe")], \
        missing.stderr
    assert not (work / "none.exe").exists()

    # The manual page reads without warnings, where man is installed.
    if shutil.which("man"):
        lint = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", root / "usr/share/man/man1/kelvopack.1.gz"],
                              capture_output=True, text=True, env=dict(os.environ, LC_ALL="C.UTF-8", MANWIDTH="80"))
        assert lint.returncode == 0 and lint.stderr == "", lint.stderr
    print(f"{deb.name}: Depends: {fields['Depends']}; demo built, both levels, and an init'ed project")


def check_manual(manual, source_dir, files):
    """The manual page holds every setting of the project file, as the
    builder's manual lists them, and the setup's switches; the files it
    names are in the package."""
    readme = (source_dir / "tools" / "kelvopack" / "README.md").read_text()
    schema = readme.split("## Project file", 1)[1].split("```toml", 1)[1].split("```", 1)[0]
    settings = set(re.findall(r"^(\w+) = ", schema, re.M)) | set(re.findall(r"^\[\[(\w+)\]\]", schema, re.M))
    assert len(settings) > 15, settings
    text = manual.replace("\\-", "-").replace("\\e", "\\")
    for setting in sorted(settings):
        assert re.search(rf"^(\.B\S* )?(\[\[)?{setting}(\]\]|\b)", text, re.M), f"the manual page lacks {setting}"
    for switch in ("/S", "/MODE=", "/GROUP=", "/D="):
        assert switch in text, f"the manual page lacks the switch {switch}"
    named = set(re.findall(r"^\.I /(usr/\S+)$", text, re.M))
    assert named, "the manual page names no installed file"
    for path in named:
        assert path.rstrip("/") in files or any(f.startswith(path) for f in files), f"the manual page names /{path}"


# ---- the CMake example against the installed package


def test_cmake_app(native_dir, source_dir, win32_dir, work):
    need("cmake")
    need("cpack")
    need("i686-w64-mingw32-gcc")
    root = work / "root"
    config = root / "usr" / "lib" / "cmake" / "Kelvo"
    if not (config / "KelvoConfig.cmake").exists():
        raise AssertionError(f"no extracted package in {root}: the test package.deb sets it up")
    kelvopack = root / "usr" / "bin" / "kelvopack"
    build = fresh(work / "cmake-app")
    run(["cmake", "-S", source_dir / "examples" / "cmake-app", "-B", build, "-G", "Ninja",
         f"-DCMAKE_TOOLCHAIN_FILE={source_dir / 'cmake' / 'mingw-i686.cmake'}", f"-DKelvo_DIR={config}"])
    run(["cmake", "--build", build])
    packed = run(["cpack"], cwd=build)
    setup = build / "hello-app-1.0-win32.exe"
    assert setup.exists(), packed.stdout + packed.stderr
    assert "warning" not in packed.stdout + packed.stderr, packed.stdout + packed.stderr
    assert setup.read_bytes().startswith((root / "usr/share/kelvo/kelvo.exe").read_bytes())

    assert "OK, 6 members" in run([kelvopack, "verify", setup]).stdout
    listed = run([kelvopack, "list", setup]).stdout
    expected = [("GFTM", "hello.exe", "Hello App"), ("GFTM", "README.txt", "Read Me"), ("XFTM", "docs\\about.txt", "")]
    for flags, name, title in expected:
        assert re.search(rf"{flags}\s+{re.escape(name)}\s+{re.escape(title)}\s*$", listed, re.M), \
            f"{flags} {name} {title!r} not in:\n{listed}"
    for part in ("Name:          Hello App\nPublisher:     Kelvo Examples\nVersion:       1.0\nGroup:         Hello App\n",
                 "Destination:   C:\\Hello App\\", "Built as:      hello-app-1.0-win32.exe"):
        assert part in listed, f"{part!r} not in:\n{listed}"

    # The files it installs are the install tree's, the texts the project's.
    out = fresh(work / "cmake-app-files")
    run([kelvopack, "extract", setup, "-C", out, "-q"])
    example = source_dir / "examples" / "cmake-app"
    assert (out / "hello.exe").read_bytes() == (build / "hello.exe").read_bytes()
    assert (out / "docs" / "about.txt").read_bytes() == (example / "docs" / "about.txt").read_bytes()
    assert (out / "pres.txt").read_bytes() == (example / "setup" / "welcome.txt").read_bytes()
    assert (out / "licen.txt").read_bytes() == (example / "setup" / "licence.txt").read_bytes()
    assert (out / "kelvo.bmp").read_bytes()[:2] == b"BM"
    print(f"{setup.name}: {len(setup.read_bytes())} bytes, verified")


# ---- the Windows zip


def test_zip(tree, source_dir, machine, work):
    need("cpack")
    if not (tree / "CPackConfig.cmake").exists() or not (tree / "tools" / "kelvopack" / "kelvopack.exe").exists():
        raise Skip(f"no Windows build in {tree}")
    fresh(work)
    run(["cpack", "-G", "ZIP", "-B", work], cwd=tree)
    zips = list(work.glob("*.zip"))
    assert len(zips) == 1, zips
    with zipfile.ZipFile(zips[0]) as archive:
        names = [n for n in archive.namelist() if not n.endswith("/")]
        top = {n.split("/", 1)[0] for n in names}
        assert top == {zips[0].stem}, top
        inside = {n.split("/", 1)[1]: n for n in names}
        assert set(inside) == ZIPPED, f"unexpected: {sorted(set(inside) - ZIPPED)}, missing: {sorted(ZIPPED - set(inside))}"
        for name in ("kelvopack.exe", "kelvo.exe", "kelvo-admin.exe"):
            data = archive.read(inside[name])
            assert pe_machine(data) == MACHINES[machine], f"{name} is not {machine}"
        for name in ("kelvo.exe", "kelvo-admin.exe"):
            assert archive.read(inside[name]) == (tree / "app" / name).read_bytes(), name
        assert archive.read(inside["kelvopack.txt"]) == (source_dir / "tools" / "kelvopack" / "README.md").read_bytes()
        config = archive.read(inside["cmake/KelvoConfig.cmake"]).decode()
        assert 'set(KELVO_KELVOPACK "${PACKAGE_PREFIX_DIR}/./kelvopack.exe")' in config, config
    print(f"{zips[0].name}: {len(names)} files, {machine}")


def main():
    commands = {"deb": test_deb, "cmake-app": test_cmake_app, "zip": test_zip}
    if len(sys.argv) != 6 or sys.argv[1] not in commands:
        print(__doc__, file=sys.stderr)
        return 2
    first, source, third, work = sys.argv[2:]
    try:
        if sys.argv[1] == "zip":
            commands["zip"](Path(first).resolve(), Path(source).resolve(), third, Path(work).resolve())
        else:
            commands[sys.argv[1]](Path(first).resolve(), Path(source).resolve(), Path(third).resolve(),
                                  Path(work).resolve())
    except Skip as skip:
        print(f"skipped: {skip}")
        return SKIP
    return 0


if __name__ == "__main__":
    sys.exit(main())
