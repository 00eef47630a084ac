#!/usr/bin/env python3
"""Prints a tile set exactly as `mrqt dump FILE` prints it, read with mrqt.py.

    python3 dump.py FILE           the JSON on standard output, or mrqt's message
    python3 dump.py --time FILE    one load, timed: "load_seconds S"
    python3 dump.py --batch        file names on standard input, one a line; for each, one
                                   record on standard output: "STATUS OUTLEN ERRLEN\n", then
                                   the OUTLEN bytes `dump.py FILE` writes on standard output and
                                   the ERRLEN bytes it writes on standard error
"""
import errno
import io
import os
import sys
import time

sys.dont_write_bytecode = True   # no __pycache__ beside the reader
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import mrqt   # noqa: E402


# JSON's escapes: the quote, the backslash and the control characters; nothing else.
_ESCAPES = {c: "\\u%04x" % c for c in range(0x20)}
_ESCAPES.update({ord('"'): '\\"', ord("\\"): "\\\\", 8: "\\b", 9: "\\t", 10: "\\n", 12: "\\f", 13: "\\r"})


def shown(data):
    """A text as JSON shows it, and whether its bytes are UTF-8 (else read as Windows-1252)."""
    try:
        data.decode("utf-8")
        utf8 = True
    except UnicodeDecodeError:
        utf8 = False
    return '"' + mrqt.decode_text(data).translate(_ESCAPES) + '"', utf8


def field(key, text):
    """"key":"text", and "keyEncoding":"windows-1252" after it when the bytes are no UTF-8."""
    value, utf8 = text
    return '"%s":%s' % (key, value) if utf8 else '"%s":%s,"%sEncoding":"windows-1252"' % (key, value, key)


def records(name, lines, last=False):
    head = '  "%s": [' % name
    body = "]" if not lines else "\n    " + ",\n    ".join(lines) + "\n  ]"
    return head + body + ("\n" if last else ",\n")


def dump(tileset):
    materials = ["{%s,\"color\":%d,\"red\":%d,\"green\":%d,\"blue\":%d,%s}" % (
        field("name", shown(m["name"])), m["color"], m["red"], m["green"], m["blue"],
        field("description", shown(m["description"]))) for m in tileset["materials"]]
    if tileset["textures"]:
        import hashlib   # only when needed: a tenth of the start-up
    textures = ["{%s,\"size\":%d,\"sha256\":\"%s\"}" % (field("name", shown(t["name"])), t["size"],
                                                         hashlib.sha256(t["data"]).hexdigest())
                for t in tileset["textures"]]
    names = {}   # a million tiles name a few thousand textures and materials
    for t in tileset["tiles"]:
        for name in (t["texture"], t["material"]):
            if name not in names:
                names[name] = shown(name)
    tiles = ["{\"id\":%d,%s,%s,\"layer\":%d,\"collision\":%d}" % (
        t["id"], field("texture", names[t["texture"]]), field("material", names[t["material"]]), t["layer"],
        t["collision"]) for t in tileset["tiles"]]
    return ("{\n  \"tileWidth\": %d,\n  \"tileHeight\": %d,\n" % (tileset["tileWidth"], tileset["tileHeight"]) +
            records("materials", materials) + records("textures", textures) + records("tiles", tiles, last=True) +
            "}\n")


def dump_file(path, out, err):
    """What `mrqt dump PATH` does: the JSON on out, the messages on err (binary streams); the
    exit status."""
    raw = os.fsencode(path)
    try:
        tileset = mrqt.load(path, raw=True)
    except mrqt.NotATileSet as e:
        err.write(b"mrqt: " + mrqt.decode_text(raw).encode("utf-8") + b": " + str(e).encode() + b"\n")
        return 1
    except OSError as e:
        why = ("no file name given" if not raw else "it is a folder" if e.errno == errno.EISDIR
               else "not enough memory to read it" if e.errno == errno.ENOMEM else os.strerror(e.errno))
        err.write(b'mrqt: cannot open "' + raw + b'": ' + why.encode() + b"\n")
        return 1
    except MemoryError:
        err.write(b'mrqt: cannot open "' + raw + b'": not enough memory to read it\n')
        return 1
    except ValueError:   # a name holding a NUL byte (--batch), which no file has
        err.write(b'mrqt: cannot open "' + raw + b'": ' + os.strerror(errno.EINVAL).encode() + b"\n")
        return 1
    if tileset["truncated"]:
        err.write(b"mrqt: warning: " + mrqt.decode_text(raw).encode("utf-8") +
                  b": the data ended early; only part of the tile set was read\n")
    err.flush()
    try:
        out.write(dump(tileset).encode("utf-8"))
        out.flush()
    except OSError:
        err.write(b"mrqt: cannot write the output\n")
        return 1
    return 0


def batch():
    """dump.py --batch: each line of standard input is a file name (its bytes, without the
    newline); each file's run is kept in memory and written as one record."""
    lines, records = iter(sys.stdin.buffer), sys.stdout.buffer
    while True:
        try:
            line = next(lines, None)
        except OSError as e:
            sys.stderr.write("mrqt: cannot read standard input: %s\n" % os.strerror(e.errno))
            return 1
        if line is None:
            return 0
        out, err = io.BytesIO(), io.BytesIO()
        status = dump_file(os.fsdecode(line[:-1] if line.endswith(b"\n") else line), out, err)
        try:
            records.write(b"%d %d %d\n" % (status, len(out.getvalue()), len(err.getvalue())))
            records.write(out.getvalue())
            records.write(err.getvalue())
            records.flush()
        except OSError:
            sys.stderr.write("mrqt: cannot write the output\n")
            return 1


def main(args):
    if len(args) == 2 and args[0] == "--time":
        start = time.perf_counter()
        try:
            tileset = mrqt.load(args[1])   # as a game loads it: texts decoded
        except (OSError, mrqt.NotATileSet):
            tileset = None
        print("load_seconds %.6f" % (time.perf_counter() - start))
        return 0 if tileset is not None and not tileset["truncated"] else 1
    if args == ["--batch"]:
        return batch()
    if len(args) != 1:
        sys.stderr.write("Usage: dump.py FILE   (prints the tile set as mrqt dump does)\n       dump.py --time FILE\n"
                         "       dump.py --batch   (file names on standard input; one record each: STATUS OUTLEN "
                         "ERRLEN,\n                         then the output and the messages of dump.py FILE)\n")
        return 2
    return dump_file(args[0], sys.stdout.buffer, sys.stderr.buffer)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
