"""A small PNG reader (8-bit RGB/RGBA/grey, not interlaced) on the standard library, for
comparing captured frames."""
import struct
import zlib


def read_png(path):
    """Returns (width, height, channels, rows) with rows a list of bytearrays."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG: " + path)
    pos, idat = 8, b""
    width = height = channels = None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or interlace != 0:
                raise ValueError("only 8-bit, non-interlaced PNGs")
            channels = {0: 1, 2: 3, 4: 2, 6: 4}[colour]
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, prev = [], bytearray(stride)
    for y in range(height):
        ftype = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = prev[i]
            c = prev[i - channels] if i >= channels else 0
            if ftype == 1:
                line[i] = (line[i] + a) & 255
            elif ftype == 2:
                line[i] = (line[i] + b) & 255
            elif ftype == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif ftype == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 255
        rows.append(line)
        prev = line
    return width, height, channels, rows


def block_means(path, block=8):
    """Mean grey level of each block x block square: a picture's coarse layout."""
    w, h, ch, rows = read_png(path)
    means = []
    for by in range(0, h - block + 1, block):
        line = []
        for bx in range(0, w - block + 1, block):
            total = 0
            for y in range(by, by + block):
                row = rows[y]
                for x in range(bx, bx + block):
                    total += sum(row[x * ch:x * ch + min(ch, 3)]) / min(ch, 3)
            line.append(total / (block * block))
        means.append(line)
    return means


def compare(path_a, path_b, block=8):
    """(mean, max) absolute difference of the block means of two pictures of one size."""
    a, b = block_means(path_a, block), block_means(path_b, block)
    if len(a) != len(b) or len(a[0]) != len(b[0]):
        raise ValueError("sizes differ")
    diffs = [abs(x - y) for ra, rb in zip(a, b) for x, y in zip(ra, rb)]
    return sum(diffs) / len(diffs), max(diffs)
