#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Every file is built here from nothing: tiny but complete BMP, GIF, PNG and JPEG pictures (and
damaged variants), settings files in code page 932, and path and field inputs in the layout
fuzz_strings.cpp reads. Run it again after changing it; the output is committed.
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# --- pictures -------------------------------------------------------------------------------

def bmp(width, height, bpp=24):
    row = ((width * bpp + 7) // 8 + 3) & ~3
    pixels = bytes(row * abs(height))
    colours = 2 if bpp <= 8 else 0
    palette = b"\x00\x00\x00\x00\xff\xff\xff\x00" if colours else b""
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bpp, 0, len(pixels), 2835, 2835, colours, 0)
    offset = 14 + len(info) + len(palette)
    head = b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
    return head + info + palette + pixels


def gif(width, height):
    # Two-colour global table; LZW with a clear code before every pair of pixels, so the code
    # width stays at 3 bits.
    codes = []
    for i in range(width * height):
        if i % 2 == 0:
            codes.append(4)
        codes.append(0)
    codes.append(5)
    bits, nbits, out = 0, 0, bytearray()
    for c in codes:
        bits |= c << nbits
        nbits += 3
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8
    if nbits:
        out.append(bits & 0xFF)
    return (b"GIF89a" + struct.pack("<HHBBB", width, height, 0x80, 0, 0) + b"\x00\x00\x00\xff\xff\xff"
            + b"\x2c" + struct.pack("<HHHHB", 0, 0, width, height, 0)
            + b"\x02" + bytes([len(out)]) + bytes(out) + b"\x00\x3b")


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png(width, height, depth, colour, plte=False):
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour]
    row = 1 + (width * channels * depth + 7) // 8
    raw = bytes(row * height)
    out = b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, 0))
    if plte:
        out += png_chunk(b"PLTE", b"\x00\x00\x00\xff\xff\xff")
    return out + png_chunk(b"IDAT", zlib.compress(raw)) + png_chunk(b"IEND", b"")


def segment(marker, payload):
    return bytes([0xFF, marker]) + struct.pack(">H", len(payload) + 2) + payload


def jpeg(width, height, components=1, frame=0xC0, extra=b""):
    # Baseline JPEG of one flat colour: one-symbol Huffman tables (DC difference 0 and end of
    # block, each the one-bit code 0), so every block is two 0 bits.
    jfif = segment(0xE0, b"JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00")
    dqt = segment(0xDB, b"\x00" + bytes([1] * 64))
    comps = b"".join(bytes([i + 1, 0x11, 0]) for i in range(components))
    sof = segment(frame, struct.pack(">BHHB", 8, height, width, components) + comps)
    one_symbol = bytes([1] + [0] * 15) + b"\x00"
    dht = segment(0xC4, b"\x00" + one_symbol + b"\x10" + one_symbol)
    sos = segment(0xDA, bytes([components]) + b"".join(bytes([i + 1, 0]) for i in range(components))
                  + b"\x00\x3f\x00")
    blocks = ((width + 7) // 8) * ((height + 7) // 8) * components
    nbits = blocks * 2
    data = bytearray(b"\x00" * (nbits // 8))
    if nbits % 8:
        data.append((1 << (8 - nbits % 8)) - 1)  # pad with 1 bits
    return b"\xff\xd8" + jfif + extra + dqt + sof + dht + sos + bytes(data) + b"\xff\xd9"


def pictures():
    write("header", "bmp-2x1-24bit.bmp", bmp(2, 1))
    write("header", "bmp-3x2-8bit.bmp", bmp(3, 2, 8))
    write("header", "bmp-top-down.bmp", bmp(2, -2))  # negative height: the size overflows
    write("header", "bmp-cut.bmp", bmp(2, 1)[:20])
    write("header", "gif-3x2.gif", gif(3, 2))
    write("header", "gif87a-header-only.gif", b"GIF87a" + struct.pack("<HHBBB", 640, 480, 0xF7, 0, 0))
    write("header", "png-4x3-rgb.png", png(4, 3, 8, 2))
    write("header", "png-2x2-grey16.png", png(2, 2, 16, 0))
    write("header", "png-2x2-palette.png", png(2, 2, 1, 3, plte=True))
    write("header", "png-1x1-rgba.png", png(1, 1, 8, 6))
    huge = bytearray(png(1, 1, 8, 2))
    huge[16:20] = b"\x80\x00\x00\x00"  # width past 32 signed bits
    write("header", "png-width-overflow.png", bytes(huge))
    write("header", "jpeg-8x8-grey.jpg", jpeg(8, 8))
    write("header", "jpeg-16x8-colour.jpg", jpeg(16, 8, 3))
    exif = segment(0xE1, b"Exif\x00\x00MM\x00\x2a\x00\x00\x00\x08\x00\x01\x01\x12\x00\x03\x00\x00\x00\x01\x00\x06\x00\x00")
    comment = segment(0xFE, "撮影 2024".encode("utf-8"))
    write("header", "jpeg-exif-comment.jpg", jpeg(8, 8, 3, extra=exif + comment))
    write("header", "jpeg-sof2-marker.jpg", jpeg(24, 16, 3, frame=0xC2))
    write("header", "jpeg-sof9-marker.jpg", jpeg(8, 16, 1, frame=0xC9))
    whole = jpeg(8, 8)
    sof_at = whole.index(b"\xff\xc0")
    write("header", "jpeg-cut-in-frame.jpg", whole[:sof_at + 6])
    write("header", "jpeg-zero-length-segment.jpg", b"\xff\xd8\xff\xe0\x00\x00\xff\xe0\x00\x00" + whole[2:])
    write("header", "jpeg-no-frame.jpg", b"\xff\xd8" + segment(0xFE, b"no picture here") + b"\xff\xd9")
    write("header", "jpeg-fill-bytes.jpg", b"\xff\xd8\xff\xff" + whole[2:])
    # Fill bytes and stray bytes as cameras and editors leave them, and every EXIF orientation
    # in both byte orders: for the header reader and the picture loader alike.
    dqt_at = whole.index(b"\xff\xdb")
    quirks = {
        "jpeg-fill-after-app0.jpg": whole[:dqt_at] + b"\xff\xff\xff" + whole[dqt_at + 1:],
        "jpeg-stray-zeros-before-dqt.jpg": whole[:dqt_at] + b"\x00" * 4 + whole[dqt_at:],
        "jpeg-stuffed-zero-between-segments.jpg": whole[:dqt_at] + b"\xff\x00" + whole[dqt_at:],
    }
    for orientation in range(1, 9):
        for order, pack in (("mm", ">"), ("ii", "<")):
            tiff = (order.upper().encode() + struct.pack(pack + "HI", 42, 8)
                    + struct.pack(pack + "HHHIHHI", 1, 0x0112, 3, 1, orientation, 0, 0))
            quirks["jpeg-orientation-%d-%s.jpg" % (orientation, order)] = jpeg(
                16, 8, 3, extra=segment(0xE1, b"Exif\x00\x00" + tiff))
    for name, data in quirks.items():
        write("header", name, data)
        write("picture", name, data)
    write("header", "not-a-picture.txt", "ただのテキスト\n".encode("utf-8"))
    write("header", "one-byte.bin", b"\xff")


# --- settings files (code page 932) ---------------------------------------------------------

def ini(text, newline="\r\n"):
    return text.replace("\n", newline).encode("cp932")


def settings():
    write("profile", "default.ini", ini("[Debug]\nDbgLevel=1\n[SETUP]\nInterval=30\n"))
    write("profile", "after-shutdown.ini", ini(
        "[Debug]\nDbgLevel=4\n[SETUP]\nInterval=5\n[RootPath]\npixelion=C:\\Users\\表示\\写真\\ソフト\n"))
    write("profile", "linux-folder-lf.ini", ini(
        "[Debug]\nDbgLevel=0\n[SETUP]\nInterval=1000\n[RootPath]\npixelion=/home/利用者/写真/ゾーン[1]\n", "\n"))
    write("profile", "cr-only.ini", ini("[Debug]\nDbgLevel=2\n[SETUP]\nInterval=7\n", "\r"))
    write("profile", "no-final-newline.ini", ini("[SETUP]\nInterval=12\n[Debug]\nDbgLevel=3").rstrip(b"\r\n"))
    write("profile", "case-and-duplicates.ini", ini(
        "[setup]\ninterval=  +40  \n[SETUP]\nInterval=1\n[ debug ]\n DBGLEVEL = 7 \n[rootpath]\nPIXELION=\"D:\\写真\"\n"))
    write("profile", "odd-values.ini", ini(
        "[Debug]\nDbgLevel=2.5\n[SETUP]\nInterval=1e3\n[RootPath]\npixelion='  引用  '\nother=a=b\n"))
    write("profile", "not-numbers.ini", ini("[Debug]\nDbgLevel=abc\n[SETUP]\nInterval=99999999999\n"))
    write("profile", "negative.ini", ini("[Debug]\nDbgLevel=-1\n[SETUP]\nInterval=-5\n[RootPath]\npixelion=\n"))
    write("profile", "japanese-sections.ini", ini(
        "; 設定ファイル\n[表示]\n表=値\n[ゾーン]\nキー=ソ\n[Window_Pos]\nピクセリオン=120,240,9600,7200,0\n設定画面=0,0,4500,3000,0\n"
        "[Debug]\nDbgLevel=1\n[SETUP]\nInterval=30\n"))
    long_value = "x" * 300
    write("profile", "long-value.ini", ini("[Debug]\nDbgLevel=1\n[SETUP]\nInterval=30\n[RootPath]\npixelion=" + long_value + "\n"))
    write("profile", "nul-and-sub.ini",
          b"[Debug]\r\nDbgLevel=1\x00junk\r\n[SETUP]\x1a\r\n\tInterval\t=\t20\r\n\x1a")
    write("profile", "keys-without-equals.ini", ini("[RootPath]\npixelion\n[SETUP]\nInterval\n[Debug]\n=1\nDbgLevel=1\n"))
    write("profile", "bom-utf8.ini", b"\xef\xbb\xbf" + ini("[Debug]\nDbgLevel=1\n[SETUP]\nInterval=30\n"))
    write("profile", "broken-cp932.ini", b"[Debug\x81]\r\nDbgLevel=\x83\r\n[\x95]\r\n\x95=\x81\r\n[SETUP]\r\nInterval=3\x81")
    write("profile", "empty.ini", b"")
    # Found by fuzzing: ^Z around a name was blank to the writer but not to the reader.
    write("profile", "ctrl-z-around-names.ini", b"[P]\n\x1a=\n[\x1aQ\x1a]\r\n\x1ak\x1a=v\x1a\r\n\x1a")
    # Found by fuzzing: a key that starts with "[" after a ^Z reads back as a section header.
    write("profile", "sub-before-bracket-key.ini",
          b"[P]P]\n\x1a[]\x1a=Q\n\x1a\r\n\x1ak\n\x1a=\n[\x1aQ\x1a]\r\n\x1ak\x1a=v\x1a\x93=\x1a")
    write("profile", "control-codes.ini", b"[Debug]\r\nDbgLevel=1\x7f\r\n[SETUP]\r\nInterval=\x1c" b"5\r\n[\x7f]\r\n\x1c=\x80\xa0\xfd\r\n")


# --- path and string routines ---------------------------------------------------------------

def strings_input(text, n=1, sep="", utf16=False):
    body = (sep + text).encode("utf-16-le" if utf16 else "utf-8", "surrogatepass")
    return bytes([1 if utf16 else 0]) + struct.pack("<h", n) + bytes([len(sep)]) + body


def strings():
    cases = {
        "win-drive-path": strings_input("C:\\Users\\利用者\\Pictures\\旅行.JPG", 2, "\\"),
        "win-unc-path": strings_input("\\\\server\\共有\\写真\\a.jpeg", 3, "\\"),
        "win-unc-no-share": strings_input("\\\\server", 1, "\\"),
        "win-drive-relative": strings_input("X:name.jpg", 1, ":"),
        "win-drive-root": strings_input("C:\\", 2, "\\"),
        "linux-path": strings_input("/home/user/写真/a.b.jpg", 4, "/"),
        "linux-root-file": strings_input("/a.jpg", 2, "/"),
        "linux-relative": strings_input("relative.jpg", 1, "."),
        "linux-double-slash": strings_input("//server/share/x.jpg", 3, "/"),
        "linux-trailing-slash": strings_input("/dir/sub/", 3, "/"),
        "spaces-around": strings_input("  /lead/space.jpg  ", 2, " "),
        "fields-empty": strings_input("a,b,,c,", 3, ","),
        "fields-two-char-sep": strings_input("a::b:::c", 3, "::"),
        "fields-empty-sep": strings_input("abc", 2, ""),
        "field-zero": strings_input("a.b", 0, "."),
        "field-negative": strings_input("a.b", -1, "."),
        "field-max": strings_input("a.b.c", 32767, "."),
        "many-dots": strings_input("." * 300 + "jpg", 150, "."),
        "nul-cr-lf-utf16": strings_input("ab\rcd\x00ef\ngh", 2, "\x00", utf16=True),
        "lone-surrogate-utf16": strings_input("a\ud800b.jp\udfffg", 1, "\ud800", utf16=True),
        "buffer-after-call": strings_input("値\x00" + " " * 40, 1, " "),
        "first-cr": strings_input("\rab\x00", 1, ""),
    }
    for name, data in cases.items():
        write("strings", name, data)


if __name__ == "__main__":
    pictures()
    settings()
    strings()
