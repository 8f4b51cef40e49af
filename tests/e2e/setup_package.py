"""Builds setup executables for the end-to-end tests of the setup program,
with no native tool: the program image, then the members back to back, the
compressed script and the 4-byte trailer holding the script's compressed
size. Members are LZSS streams made only of literals (a flag byte 0xFF
before every eight bytes), which every decoder of the format reads back
exactly; that keeps hostile layouts (two display roles on one record, a cut
package) as easy to write as honest ones."""

import struct
import zlib
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


def lzss_blanks(size):
    """An LZSS stream of `size` blanks made of references to the ring's
    initial blanks: about a ninth of its size, so that large members are
    quick to make here and to read back."""
    group = bytes([0]) + bytes([0, 0x0F]) * 8  # eight references of 18 bytes
    whole, rest = divmod(size, 18 * 8)
    out = bytearray(group * whole)
    references, tail = divmod(rest, 18)
    items = [bytes([0, 0x0F])] * references + [b" "] * tail
    for start in range(0, len(items), 8):
        chunk = items[start:start + 8]
        out.append(sum(1 << k for k, item in enumerate(chunk) if len(item) == 1))
        out += b"".join(chunk)
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
    size: int = field(init=False, default=None)

    def __post_init__(self):
        self.packed = lzss_literals(self.data)
        self.size = len(self.data)

    def line(self):
        return f"{stored(self.path)} {stored(self.title)} {self.size} {len(self.packed)} {self.flags}"


def blank_record(path, size, title="_", flags="XFTM"):
    """A record of `size` blanks (lzss_blanks); its data is not kept."""
    record = Record(path, b"", title, flags)
    record.packed = lzss_blanks(size)
    record.size = size
    return record


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
    app_name: str = None  # the application's name; None: the script names none

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
            ("#APP_NAME", self.app_name),
        ]
        entries += [(f"#ARQ{i}", r.line()) for i, r in enumerate(self.records)]
        lines = [f"{key} {value}" for key, value in entries if value is not None]
        return ("\r\n\r\n".join(lines) + "\r\n").encode("cp1252")

    def package(self):
        packed_script = lzss_literals(self.script())
        body = b"".join(r.packed for r in self.records)
        return body + packed_script + struct.pack("<I", len(packed_script))

    def integrity(self, package):
        """The integrity record kelvopack writes behind the program image:
        CRC-32 of every member and of the script with the trailer."""
        crcs = [zlib.crc32(r.packed) for r in self.records]
        script = package[sum(len(r.packed) for r in self.records):]
        body = b"KELVOCRC" + struct.pack("<IIQI", 1, len(crcs), len(package), zlib.crc32(script))
        body += b"".join(struct.pack("<I", crc) for crc in crcs)
        return body + struct.pack("<I", zlib.crc32(body))

    def write(self, stub_path, out_path, integrity=True):
        """The setup behind the program `stub_path`, with the integrity
        record unless `integrity` is false (as an older builder wrote it)."""
        with open(stub_path, "rb") as stub:
            image = stub.read()
        package = self.package()
        with open(out_path, "wb") as out:
            out.write(image + (self.integrity(package) if integrity else b"") + package)
        return out_path


def bmp(args, path, form="BMP3"):
    """A bitmap made by ImageMagick: convert ARGS... FORM:path (BMP3: the
    40-byte header, BMP2: the 12-byte one)."""
    subprocess.run(["convert", *args, f"{form}:{path}"], check=True, timeout=60,
                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    with open(path, "rb") as f:
        return f.read()


def run_length_coded(data):
    """The uncompressed 4- or 8-bit bitmap `data` (40-byte header, bottom row
    first) with its rows run-length coded: RLE4 or RLE8 (ImageMagick writes
    only RLE8). Four or more pixels of one colour (at 4 bits, of two
    alternating colours) become an encoded run, other stretches absolute
    runs; every row ends with end-of-row, the bitmap with end-of-bitmap."""
    offset, header = struct.unpack_from("<II", data, 10)
    width, height, _, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    if header != 40 or bits not in (4, 8) or compression != 0 or height < 0:
        raise ValueError("not an uncompressed bottom-up 4- or 8-bit bitmap with a 40-byte header")
    stride = (width * bits + 31) // 32 * 4
    codes = bytearray()
    for y in range(height):
        row = data[offset + y * stride:offset + (y + 1) * stride]
        if bits == 8:
            pixels = list(row[:width])
        else:
            pixels = [row[x // 2] >> 4 if x % 2 == 0 else row[x // 2] & 15 for x in range(width)]

        def encoded(x):
            """The length of the encoded run that can start at x."""
            if bits == 8:
                n = 1
                while x + n < width and n < 255 and pixels[x + n] == pixels[x]:
                    n += 1
                return n
            n = min(2, width - x)
            while x + n < width and n < 255 and pixels[x + n] == pixels[x + n - 2]:
                n += 1
            return n

        x = 0
        while x < width:
            n = encoded(x)
            if n >= 4 or width - x < 3:
                colour = pixels[x] if bits == 8 else pixels[x] << 4 | pixels[x + (1 if n > 1 else 0)]
                codes += bytes([n, colour])
                x += n
                continue
            n = 3
            while x + n < width and n < 255 and encoded(x + n) < 4:
                n += 1
            run = pixels[x:x + n]
            if bits == 4:
                run = [run[i] << 4 | (run[i + 1] if i + 1 < n else 0) for i in range(0, n, 2)]
            codes += bytes([0, n] + run + [0] * (len(run) % 2))
            x += n
        codes += bytes([0, 0])
    codes += bytes([0, 1])
    header_bytes = bytearray(data[:offset])
    struct.pack_into("<I", header_bytes, 2, offset + len(codes))
    struct.pack_into("<II", header_bytes, 30, 2 if bits == 4 else 1, len(codes))
    return bytes(header_bytes + codes)


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
