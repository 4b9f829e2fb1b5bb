"""ImageMagick as the tests use it: Debian's convert, and its binary PPM output."""
import os
import shutil


def convert_tool():
    # /usr/local/bin may hold a stand-in without BMP support: prefer Debian's.
    for path in ("/usr/bin/convert-im6.q16", "/usr/bin/convert"):
        if os.path.exists(path):
            return path
    return shutil.which("convert")


def read_ppm(data, at=0):
    """The binary PPM starting at `at`: ((width, height), RGB bytes, where the next one starts)."""
    if data[at:at + 2] != b"P6":
        raise ValueError("not a binary PPM")
    fields, at = [], at + 2
    while len(fields) < 3:  # width, height, maximum; whitespace-separated
        while data[at:at + 1].isspace():
            at += 1
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(int(data[at:end]))
        at = end
    at += 1
    width, height, _ = fields
    end = at + width * height * 3
    return (width, height), data[at:end], end
