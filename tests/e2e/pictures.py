"""Pictures for the end-to-end checks: the pixels of an 8-bit Windows bitmap
and of a rectangle of a screenshot, as rows of (r, g, b). ImageMagick's
convert reads the screenshots; standard library otherwise."""

import struct
import subprocess
import time


def bmp_picture(data):
    """(width, height, rows top to bottom) of an uncompressed 8-bit bitmap
    with a 40-byte header, such as the demo's."""
    offset, header = struct.unpack_from("<II", data, 10)
    width, height, _, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    if (header, bits, compression) != (40, 8, 0):
        raise ValueError("not an uncompressed 8-bit bitmap with a 40-byte header")
    palette = [(data[p + 2], data[p + 1], data[p]) for p in range(14 + header, offset, 4)]
    stride = (width + 3) & ~3
    rows = [[palette[i] for i in data[offset + y * stride:offset + y * stride + width]]
            for y in range(abs(height))]
    return width, abs(height), rows[::-1] if height > 0 else rows


def screen_area(shot, x, y, width, height):
    """The rows of (r, g, b) of a rectangle of a screenshot."""
    raw = subprocess.run(["convert", str(shot), "-crop", f"{width}x{height}+{x}+{y}", "+repage", "-depth", "8",
                          "rgb:-"], check=True, capture_output=True, timeout=30).stdout
    if len(raw) != width * height * 3:
        raise ValueError(f"{shot} does not hold the rectangle {width}x{height}+{x}+{y}")
    pixels = [tuple(raw[i:i + 3]) for i in range(0, len(raw), 3)]
    return [pixels[row * width:(row + 1) * width] for row in range(height)]


def pixels_unlike_bitmap(shot, x, y, bitmap):
    """The (x, y) within the picture of every pixel where the screenshot,
    from (x, y) on, differs from the bitmap file's bytes `bitmap`."""
    width, height, picture = bmp_picture(bitmap)
    shown = screen_area(shot, x, y, width, height)
    return [(px, py) for py in range(height) for px in range(width) if shown[py][px] != picture[py][px]]


def screenshot_until(s, label, accept, timeout=10):
    """Screenshots of session `s` until accept(shot) holds, or the timeout;
    returns the last. A window that has just appeared or changed may not be
    painted yet."""
    deadline = time.monotonic() + timeout
    while True:
        shot = s.screenshot(label)
        if accept(shot) or time.monotonic() > deadline:
            return shot
        time.sleep(0.2)


def bitmap_shown(s, x, y, bitmap, label, timeout=10):
    """screenshot_until the bitmap shows at (x, y); returns the last
    screenshot and its differing pixels (none when it showed)."""
    wrong = []

    def shown(shot):
        wrong[:] = pixels_unlike_bitmap(shot, x, y, bitmap)
        return not wrong

    shot = screenshot_until(s, label, shown, timeout)
    return shot, wrong
