"""The demo setup as users get it: examples/demo built by kelvopack (behind
the 64-bit setup program, with a 64-bit demo program), plain and signed with
Authenticode, started under Wine from its own folder. Start-up must write the
working files from the package kelvopack wrote and show the wizard window
with the demo's bitmap."""

import shutil
import struct
import subprocess

from kelvo_wine import time_limit
from pictures import bitmap_shown, bmp_picture
from wizard_pages import (BACK, BUTTONS, CONFIRMATION, UNINSTALL_DONE, Wizard, cancel_text, install_caption,
                          run_folders, uninstall_caption, working_files)

# The demo project names its application.
NAME = "Kelvo Demo"
INSTALL_CAPTION = install_caption(NAME)
UNINSTALL_CAPTION = uninstall_caption(NAME)
CANCEL_TEXT = cancel_text(NAME)

APP = "demo-setup.exe"
FOLDER = "C:\\Downloads\\Kelvo Demo"
WORKING_FILES = ("apend.se", "cur.se", "kelvo.se", "kelvo.bmp", "pres.txt", "licen.txt")
SIGNER = "Kelvo Test Signer"


# ---- building


def run_tool(args, **options):
    """Runs a Linux tool and returns its standard output; a failure shows
    the tool's own words."""
    done = subprocess.run([str(a) for a in args], capture_output=True, text=True, timeout=60, **options)
    assert done.returncode == 0, f"{args[0]} failed ({done.returncode}):\n{done.stdout}{done.stderr}"
    return done.stdout


class Demo:
    """A copy of examples/demo with its generated inputs, and the setup
    kelvopack built from it."""

    def __init__(self, s):
        self.kelvopack = s.layout.native_file("tools/kelvopack/kelvopack")
        stub = s.layout.win64_file("app/kelvo.exe")
        source = s.layout.source_dir / "examples" / "demo"
        self.project = s.root / "demo"
        shutil.copytree(source, self.project, ignore=shutil.ignore_patterns("out"))
        s.layout.make_demo_inputs(self.project / "out")
        self.setup = s.root / APP
        run_tool([self.kelvopack, "build", self.project / "demo.toml", "-o", self.setup, "--stub", stub, "-q"])

    def input(self, relative):
        return (self.project / relative).read_bytes()

    def extract(self, setup, folder, *names):
        """kelvopack extract SETUP into a new folder; returns the folder."""
        folder.mkdir()
        run_tool([self.kelvopack, "extract", setup, "-C", folder, "-q", *names])
        return folder


def pe_certificate_table(data):
    """(offset, size) of a PE file's certificate table, (0, 0) when unsigned."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[pe:pe + 4] == b"PE\0\0"
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (112 if magic == 0x20B else 96)
    return struct.unpack_from("<II", data, directories + 4 * 8)


# ---- under Wine


def start_from_own_folder(s, local_setup):
    exe = s.put(local_setup, f"{FOLDER}\\{APP}")
    return s.start(exe, cwd=FOLDER)


def check_start_up(s, demo, program, script, label):
    """The working files and the wizard window of a setup built from `demo`
    whose script is `script`; ends it with Cancel and Yes."""
    window = s.wait_window(exe=APP, title=INSTALL_CAPTION, id=51004, timeout=20)[0]
    temp = working_files(s)
    assert sorted(p.name for p in temp.iterdir()) == sorted(WORKING_FILES), \
        "start-up writes the six working files and nothing else"
    assert (temp / "apend.se").read_bytes() == APP.encode()
    assert (temp / "cur.se").read_bytes() == FOLDER.encode()
    assert (temp / "kelvo.se").read_bytes() == script
    assert (temp / "kelvo.bmp").read_bytes() == demo.input("out/kelvo.bmp")
    assert (temp / "pres.txt").read_bytes() == demo.input("text/pres.txt")
    assert (temp / "licen.txt").read_bytes() == demo.input("text/licen.txt")

    window, controls = s.children(hwnd=window["hwnd"])
    assert window["title"] == INSTALL_CAPTION
    assert (window["cw"], window["ch"]) == (600, 400), window
    buttons = {c["id"]: c for c in controls if c["class"] == "Button"}
    assert {i: b["text"] for i, b in buttons.items()} == {i: text for i, (text, _) in BUTTONS.items()}, controls
    for button in buttons.values():
        # The presentation page disables Back.
        assert button["enabled"] == (button["id"] != BACK) and button["visible"] == 1, button
        assert button["y"] >= 400 - 84, f"{button['text']} lies in the button row"

    bitmap = demo.input("out/kelvo.bmp")
    width, height, _ = bmp_picture(bitmap)
    views = [c for c in controls if c["class"] == "KelvoWindow" and (c["x"], c["y"]) == (10, 10)]
    assert [(v["w"], v["h"]) for v in views] == [(width, height)], controls
    _, wrong = bitmap_shown(s, window["cx"] + 10, window["cy"] + 10, bitmap, label)
    assert not wrong, f"{len(wrong)} pixels differ from the demo's bitmap, the first at {wrong[0]}"

    s.click(exe=APP, title=INSTALL_CAPTION, id=51002)
    box = s.message_box(exe=APP, title="Application Canceled!")
    assert box["text"] == CANCEL_TEXT and box["buttons"] == "YES,NO", box
    s.screenshot(f"{label}-cancel")
    s.press("YES", exe=APP, title="Application Canceled!")
    s.wait_gone(exe=APP, title=INSTALL_CAPTION)
    assert program.wait(20) == 0
    # Cancelling removes the working files and their run folder.
    assert not temp.exists(), sorted(p.name for p in temp.iterdir())


@time_limit(90)
def test_demo_setup_starts_with_the_package_kelvopack_wrote(s):
    demo = Demo(s)
    script = (demo.extract(demo.setup, s.root / "script", "kelvo.se") / "kelvo.se").read_bytes()
    assert b"#DIR_ARQ_MONTAGEM demo-setup.exe\r\n" in script, script
    program = start_from_own_folder(s, demo.setup)
    check_start_up(s, demo, program, script, "wizard")


@time_limit(90)
def test_signed_demo_setup_lists_verifies_extracts_and_starts(s):
    demo = Demo(s)
    key, cert, signed = s.root / "key.pem", s.root / "cert.pem", s.root / "signed" / APP
    signed.parent.mkdir()
    run_tool(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
              "-days", "2", "-subj", f"/CN={SIGNER}"])
    run_tool(["osslsigncode", "sign", "-certs", cert, "-key", key, "-in", demo.setup, "-out", signed])

    # The certificate table follows the package directly, and the signature
    # covers the package: a changed byte in the script breaks it.
    plain, signed_data = demo.setup.read_bytes(), signed.read_bytes()
    assert pe_certificate_table(plain) == (0, 0)
    assert pe_certificate_table(signed_data) == (len(plain), len(signed_data) - len(plain))
    report = run_tool(["osslsigncode", "verify", "-CAfile", cert, "-in", signed])
    assert "Signature verification: ok" in report and "Number of verified signatures: 1" in report, report
    assert f"Subject: /CN={SIGNER}" in report, report
    tampered = s.root / "tampered.exe"
    data = bytearray(signed_data)
    data[len(plain) - 8] ^= 0xFF
    tampered.write_bytes(bytes(data))
    refused = subprocess.run(["osslsigncode", "verify", "-CAfile", str(cert), "-in", str(tampered)],
                             capture_output=True, text=True, timeout=60)
    assert refused.returncode != 0, refused.stdout

    assert "OK, 6 members" in run_tool([demo.kelvopack, "verify", signed])

    def records(setup):
        listing = run_tool([demo.kelvopack, "list", setup]).splitlines()
        return [line for line in listing if not line.startswith("Setup:")]

    listed = records(signed)
    assert listed == records(demo.setup)
    assert any("hello.exe" in line and "Kelvo Demo" in line for line in listed), listed

    files = demo.extract(signed, s.root / "extracted")
    expected = {
        "hello.exe": "out/hello.exe", "readme.txt": "readme.txt", "source/hello.c": "hello/hello.c",
        "kelvo.bmp": "out/kelvo.bmp", "pres.txt": "text/pres.txt", "licen.txt": "text/licen.txt",
    }
    found = sorted(str(p.relative_to(files)) for p in files.rglob("*") if p.is_file())
    assert found == sorted(expected), found
    for name, source in expected.items():
        assert (files / name).read_bytes() == demo.input(source), name
    script = (demo.extract(signed, s.root / "script", "kelvo.se") / "kelvo.se").read_bytes()
    unsigned_script = (demo.extract(demo.setup, s.root / "plain-script", "kelvo.se") / "kelvo.se").read_bytes()
    assert script == unsigned_script

    program = start_from_own_folder(s, signed)
    check_start_up(s, demo, program, script, "signed-wizard")

    # The signed setup installs, and its installed copy, signature and all,
    # uninstalls.
    program = start_from_own_folder(s, signed)
    wizard = Wizard(s, INSTALL_CAPTION, app=APP)
    destination = "C:\\Kelvo Demo"
    wizard.through_to_start(mode="full")
    wizard.next()
    assert program.wait(60) == 0
    s.close_explorer_windows()
    root = s.to_linux(destination)
    installed = sorted(str(p.relative_to(root)) for p in root.rglob("*") if p.is_file())
    assert installed == sorted(["hello.exe", "readme.txt", "source/hello.c", APP, "modo.se", "uninstall.s_",
                                "installed.s_"])
    for name in ("hello.exe", "readme.txt", "source/hello.c"):
        assert (root / name).read_bytes() == (files / name).read_bytes(), name
    assert (root / APP).read_bytes() == signed_data
    first = s.start(f"{destination}\\{APP}", cwd=destination)
    assert first.wait(30) == 0
    wizard = Wizard(s, UNINSTALL_CAPTION + "Kelvo Demo", app=APP)
    wizard.wait_page(CONFIRMATION)
    wizard.next()
    box = s.message_box(exe=APP, title="Notice!", timeout=30)
    assert box["text"] == UNINSTALL_DONE
    s.press("OK", exe=APP, title="Notice!")
    assert not root.exists()


def flip_in_package(data, back=60):
    """`data` with one bit changed inside the last member, `back` bytes in
    front of the script (the trailer gives the script's size)."""
    script = struct.unpack_from("<I", data, len(data) - 4)[0]
    changed = bytearray(data)
    changed[len(data) - 4 - script - back] ^= 0x01
    return bytes(changed)


@time_limit(120)
def test_a_damaged_download_or_installed_copy_is_refused_before_anything_is_written(s):
    demo = Demo(s)
    damaged = s.root / "damaged" / APP
    damaged.parent.mkdir()
    damaged.write_bytes(flip_in_package(demo.setup.read_bytes()))
    verify = subprocess.run([str(demo.kelvopack), "verify", str(damaged)], capture_output=True, text=True)
    assert verify.returncode == 1 and "damaged (its checksum does not match): member 5" in verify.stderr, verify

    program = start_from_own_folder(s, damaged)
    box = s.message_box(exe=APP)
    assert box["text"] == (f'The setup "{APP}" is damaged or incomplete: nothing has been installed.\n'
                           "Please download it again."), box
    s.screenshot("damaged-download")
    s.press("OK", exe=APP)
    assert program.wait(20) == 1
    assert not [p for f in run_folders(s) for p in f.iterdir()], "nothing written"

    # Installed, then damaged: the copy refuses to uninstall, deleting nothing.
    program = start_from_own_folder(s, demo.setup)
    wizard = Wizard(s, INSTALL_CAPTION, app=APP)
    wizard.through_to_start()
    wizard.next()
    assert program.wait(60) == 0
    s.close_explorer_windows()
    installed = s.to_linux("C:\\Kelvo Demo") / APP
    installed.write_bytes(flip_in_package(installed.read_bytes(), back=300))
    first = s.start(f"C:\\Kelvo Demo\\{APP}", cwd="C:\\Kelvo Demo")
    box = s.message_box(exe=APP)
    assert "is damaged or incomplete" in box["text"], box
    s.press("OK", exe=APP)
    assert first.wait(20) == 1
    assert (installed.parent / "hello.exe").exists()
