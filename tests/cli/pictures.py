# SPDX-License-Identifier: MIT
# The one reader and writer of picture files (8-bit RGB PNG, binary PNM) the end-to-end scripts
# share: imported by their inline Python (lib.sh puts this folder on PYTHONPATH) or run as
# `pictures COMMAND ARGS` for the edits and comparisons the scripts make on renderings.
import struct
import sys
import zlib

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def _chunks(data):
    """(kind, body) of each chunk of a PNG, checked to stay inside the file."""
    assert data[:8] == PNG_SIGNATURE, "not a PNG"
    pos = 8
    while pos < len(data):
        assert pos + 12 <= len(data), "truncated chunk at %d" % pos
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        assert pos + 12 + length <= len(data), "chunk %r runs past the end" % kind
        yield kind, data[pos + 8:pos + 8 + length]
        pos += 12 + length


def _header(data):
    """Width and height of an 8-bit RGB, non-interlaced PNG (anything else is refused)."""
    for kind, body in _chunks(data):
        if kind == b"IHDR":
            w, h, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert (depth, colour, interlace) == (8, 2, 0), "not 8-bit RGB"
            return w, h
    raise AssertionError("no IHDR chunk")


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else b if pb <= pc else c


def _unfilter(raw, w, h):
    """Rows of 3 * w bytes from the filtered scanlines of the IDAT stream."""
    stride, rows, prev = 3 * w, [], bytearray(3 * w)
    for y in range(h):
        start = y * (stride + 1)
        f, line = raw[start], bytearray(raw[start + 1:start + 1 + stride])
        for i in range(stride):
            a = line[i - 3] if i >= 3 else 0
            b, c = prev[i], prev[i - 3] if i >= 3 else 0
            if f == 1:
                line[i] = (line[i] + a) & 255
            elif f == 2:
                line[i] = (line[i] + b) & 255
            elif f == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                line[i] = (line[i] + _paeth(a, b, c)) & 255
        rows.append(line)
        prev = line
    return rows


def png_size(path):
    """Width and height of an 8-bit RGB PNG, without decoding its pixels."""
    return _header(open(path, "rb").read())


def read_png(path):
    """Width, height and the pixel rows (bytearrays of 3 * width bytes, RGB) of a PNG."""
    data = open(path, "rb").read()
    w, h = _header(data)
    idat = b"".join(body for kind, body in _chunks(data) if kind == b"IDAT")
    return w, h, _unfilter(zlib.decompress(idat), w, h)


def write_png(path, w, h, rows, colour=2):
    """Writes rows of RGB (colour 2) or RGBA (colour 6) pixels as an unfiltered 8-bit PNG."""
    channels = 4 if colour == 6 else 3
    assert all(len(r) == channels * w for r in rows)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    raw = b"".join(b"\0" + bytes(r) for r in rows)
    header = struct.pack(">IIBBBBB", w, h, 8, colour, 0, 0, 0)
    with open(path, "wb") as out:
        out.write(PNG_SIGNATURE + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw)) +
                  chunk(b"IEND", b""))


def read_pnm(path):
    """Magic (b"P5" or b"P6"), width, height and the sample bytes of a binary PNM file."""
    data = open(path, "rb").read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        end = pos
        while end < len(data) and not data[end:end + 1].isspace():
            end += 1
        assert end > pos, "truncated PNM header"
        fields.append(data[pos:end])
        pos = end
    magic, w, h = fields[0], int(fields[1]), int(fields[2])
    assert magic in (b"P5", b"P6"), "not a binary PNM"
    return magic, w, h, data[pos + 1:]


def paint(src, dst, x0, y0, x1, y1, rgb):
    """Copies a PNG with the rectangle [x0, x1) x [y0, y1) painted in one colour."""
    w, h, rows = read_png(src)
    for y in range(y0, y1):
        for x in range(x0, x1):
            assert tuple(rows[y][3 * x:3 * x + 3]) != rgb, "the paint must change every pixel"
            rows[y][3 * x:3 * x + 3] = bytes(rgb)
    write_png(dst, w, h, rows)


def compare(before, after, x0, y0, x1, y1, cx0, cy0, cx1, cy1, rgb):
    """Pixels outside the cells [cx0, cx1) x [cy0, cy1) are unchanged; the painted rectangle
    [x0, x1) x [y0, y1) came back close to the paint."""
    w, h, a = read_png(before)
    _, _, b = read_png(after)
    painted, unpainted = [], []
    for y in range(h):
        for x in range(w):
            pa, pb = a[y][3 * x:3 * x + 3], b[y][3 * x:3 * x + 3]
            if not (cx0 <= x < cx1 and cy0 <= y < cy1):
                assert pa == pb, "pixel %d,%d outside the changed cells differs" % (x, y)
            if x0 <= x < x1 and y0 <= y < y1:
                painted.append(max(abs(pb[i] - rgb[i]) for i in range(3)))
                unpainted.append(max(abs(pa[i] - rgb[i]) for i in range(3)))
    # Quantization and chroma subsampling blur the paint's sharp edges, but it arrived.
    now, was = sum(painted) / len(painted), sum(unpainted) / len(unpainted)
    assert now < was / 3, "painted pixels are %.1f from the paint, %.1f before" % (now, was)


def narrower(src, dst):
    """Copies a PNG without its last column."""
    w, h, rows = read_png(src)
    write_png(dst, w - 1, h, [r[:3 * (w - 1)] for r in rows])


def with_alpha(src, dst):
    """Copies a PNG as RGBA with every pixel opaque."""
    w, h, rows = read_png(src)
    rgba = [bytearray(b for x in range(w) for b in r[3 * x:3 * x + 3] + b"\xff") for r in rows]
    write_png(dst, w, h, rgba, 6)


def main(argv):
    command, args = argv[1], argv[2:]
    if command == "paint":
        paint(args[0], args[1], *map(int, args[2:6]), tuple(map(int, args[6:9])))
    elif command == "compare":
        compare(args[0], args[1], *map(int, args[2:10]), tuple(map(int, args[10:13])))
    elif command == "narrower":
        narrower(args[0], args[1])
    elif command == "rgba":
        with_alpha(args[0], args[1])
    elif command == "size":
        print("%dx%d" % png_size(args[0]))
    else:
        sys.exit("pictures: unknown command " + command)


if __name__ == "__main__":
    main(sys.argv)
