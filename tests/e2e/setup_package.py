"""Builds setup executables for the end-to-end tests of the setup program,
with no native tool: the program image, then the members back to back, the
compressed script and the 4-byte trailer holding the script's compressed
size. Members are LZSS streams made only of literals (a flag byte 0xFF
before every eight bytes), which every decoder of the format reads back
exactly; that keeps hostile layouts (two display roles on one record, a cut
package) as easy to write as honest ones."""

import struct
import subprocess
from dataclasses import dataclass, field


def lzss_literals(data):
    """The LZSS stream of `data` coded as literals only."""
    out = bytearray()
    for start in range(0, len(data), 8):
        chunk = data[start:start + 8]
        out.append((1 << len(chunk)) - 1)
        out += chunk
    return bytes(out)


def stored(text):
    """The stored form of a name: blanks after the first character as '@'."""
    return text[:1] + text[1:].replace(" ", "@")


@dataclass
class Record:
    """One file record and its member. flags: G F T M or X each; "XXXX" is a
    display file."""
    path: str
    data: bytes
    title: str = "_"
    flags: str = "XXXX"
    packed: bytes = field(init=False, default=b"")

    def __post_init__(self):
        self.packed = lzss_literals(self.data)

    def line(self):
        return f"{stored(self.path)} {stored(self.title)} {len(self.data)} {len(self.packed)} {self.flags}"


@dataclass
class Setup:
    group: str = "Demo App"
    destination: str = "C:\\Program Files\\Demo App\\"
    source_folder: str = "C:\\KELVO\\"
    modes: str = "FTM"
    bitmap: str = "C:\\KELVO\\art\\logo.bmp"
    presentation: str = "C:\\KELVO\\text\\readme.txt"
    agreement: str = "C:\\KELVO\\text\\license.txt"
    records: list = field(default_factory=list)

    def script(self):
        """The script text: one entry a line, an empty line between them,
        CR LF line ends, the last line ending the file."""
        entries = [
            ("#DIR_ORIG", self.source_folder),
            ("#DIR_DEST", self.destination),
            ("#DIR_ARQ_BMP", self.bitmap),
            ("#DIR_ARQ_APRESENTACAO", self.presentation),
            ("#DIR_ARQ_LICENCA", self.agreement),
            ("#DIR_ARQ_MONTAGEM", "C:\\KELVO\\setup.exe"),
            ("#DIR_NOME_GRUPO", self.group),
            ("#DIR_MODOS_INSTALACAO", self.modes),
        ]
        entries += [(f"#ARQ{i}", r.line()) for i, r in enumerate(self.records)]
        lines = [f"{key} {value}" for key, value in entries if value is not None]
        return ("\r\n\r\n".join(lines) + "\r\n").encode("cp1252")

    def package(self):
        packed_script = lzss_literals(self.script())
        body = b"".join(r.packed for r in self.records)
        return body + packed_script + struct.pack("<I", len(packed_script))

    def write(self, stub_path, out_path):
        with open(stub_path, "rb") as stub:
            image = stub.read()
        with open(out_path, "wb") as out:
            out.write(image + self.package())
        return out_path


def bmp(args, path, form="BMP3"):
    """A bitmap made by ImageMagick: convert ARGS... FORM:path (BMP3: the
    40-byte header, BMP2: the 12-byte one)."""
    subprocess.run(["convert", *args, f"{form}:{path}"], check=True, timeout=60,
                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    with open(path, "rb") as f:
        return f.read()


GRADIENT_256 = ["-size", "200x150", "gradient:navy-gold", "+dither", "-colors", "200",
                "-type", "Palette", "-compress", "none"]


def demo_setup(tmp, bitmap_args=GRADIENT_256, form="BMP3"):
    """An honest setup: two installed files and the three display files, the
    bitmap a 200 x 150 picture of up to 256 colours unless `bitmap_args` say
    otherwise."""
    picture = bmp(bitmap_args, f"{tmp}/logo.bmp", form)
    setup = Setup()
    setup.records = [
        Record("C:\\KELVO\\demo.exe", b"MZ demo program\r\n" * 50, "Demo App", "GFTM"),
        Record("C:\\KELVO\\Docs\\read me.txt", b"Read me.\r\n" * 20, "_", "XFTX"),
        Record(setup.bitmap, picture),
        Record(setup.presentation, b"Welcome to the demo.\r\nIt installs two files.\r\n"),
        Record(setup.agreement, b"You may use the demo.\r\n" * 3),
    ]
    return setup
