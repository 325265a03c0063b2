#!/usr/bin/env python3
"""Writes the hand-made seed inputs of the fuzz targets into fuzz/corpus/<target>/.

Run it again after changing an input layout; the files it writes are committed."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def block(kind, payload, last=True):
    return struct.pack(">H", len(payload) + 4) + kind.encode() + bytes([1 if last else 0]) + payload


def status(code, data=b"", last=True):
    return block("S", struct.pack(">h", code) + data, last)


# ---------------------------------------------------------------- fuzz_client_replies
OPS = dict(version=0, exec=1, explain=2, hdr_ln=3, next_row=4, hdr_val=5, next_val=6, tfield=7,
           field=8, echo=9, uxcmd=10, fetch_blk=11, fetch_ln=12, read_record=13, read_output=14,
           bad_handle=15)


def call(op, size=None, text=None, code=None, repeats=1, null=False):
    out = bytes([OPS[op] | ((repeats - 1) << 4) | (0x80 if null else 0)])
    if op in ("explain", "hdr_ln"):
        out += bytes([code or 0])
    if op == "read_record":
        out += struct.pack("<H", size) + bytes([code or 0])
        return out
    if op in ("exec", "echo", "uxcmd"):
        return out + struct.pack("<H", len(text)) + text
    if size is not None:
        out += struct.pack("<H", size)
    return out


def client(name, calls, stream, pattern=(255,), warnings=True, debug=False):
    flags = (1 if warnings else 0) | ((len(pattern) - 1) << 1) | (0x10 if debug else 0)
    data = bytes([flags]) + bytes(pattern) + bytes([len(calls)]) + b"".join(calls) + stream
    write("fuzz_client_replies", name, data)


client("version", [call("version")], status(0, b"dorvd 2.10 (SQLite 3.40.1)"))
client("version_split_length", [call("version")], status(0, b"dorvd 2.10"), pattern=(0,))
client("exec_rows",
       [call("exec", text=b"select name, city from customers"), call("hdr_ln", 200, code=1),
        call("next_row", 200, repeats=3)],
       status(0) + status(0, b"NAME       CITY      ") + status(0, b"Smith      Bonn      ")
       + status(0, b"M\xfcller     K\xf6ln      ") + status(-9), pattern=(3, 0, 17))
client("exec_records",
       [call("exec", text=b"select * from orders"), call("read_record", 8, code=0),
        call("next_val"), call("field", 10, repeats=3), call("tfield", 2), call("tfield", 3)],
       status(0, b"3 rows affected") + status(0) + status(0, b"SName\0NAmount\0DDate\0", last=False)
       + status(0, b"TTime\0") + status(0, b"SSmith\0N12.5\0D19961208000000\0") + status(-9),
       pattern=(5, 1, 40), debug=True)
client("explain",
       [call("exec", text=b"open database 'secret' as 'geheim'"), call("explain", 40, code=7),
        call("explain", 0, code=7, null=True)],
       status(42, b"no such table") + status(0, b"first part of the explanation, ", last=False)
       + status(0, b"and its end.\n") + status(0, b"again"))
client("echo", [call("echo", text=b"hello"), call("echo", text=b"")],
       block("E", b"hello") + block("E", b""))
client("host_output",
       [call("uxcmd", text=b"ls -l"), call("read_output", 4)],
       block("M", b"OK") + block("U", b"ab\ncd", last=False) + block("U", b"ef\n", last=False)
       + block("M", b"EOF"))
client("host_blocks",
       [call("uxcmd", text=b"cat file"), call("fetch_blk", 1020, repeats=2), call("fetch_blk", 0, null=True),
        call("fetch_blk", 2)],
       block("M", b"OK") + block("U", b"x" * 300, last=False) + block("U", b"y" * 1020, last=False)
       + block("U", b"zzz", last=False) + block("M", b"EOF"), pattern=(150, 201))
client("server_message", [call("version"), call("hdr_val"), call("next_val")],
       block("M", b"server going down", last=False) + status(0, b"late") + block("M", b"bye"))
client("broken_blocks",
       [call("version"), call("version"), call("echo", text=b"abc"), call("bad_handle")],
       struct.pack(">H", 2000) + b"S\x01" + b"\0" * 1100 + struct.pack(">H", 3) + b"S"
       + status(0, b"v"), pattern=(100,))

# ---------------------------------------------------------------- fuzz_server_requests
# First byte: the server's block size choice; then the client's bytes.


def request_stmt(code, arg=None, text=b""):
    payload = code.encode() + (bytes([arg]) if arg is not None else b"") + text
    return block("S", payload)


def server(name, requests, block_size=0):
    write("fuzz_server_requests", name, bytes([block_size]) + b"".join(requests))


server("version", [request_stmt("A")])
server("echo", [block("E", b"hello"), block("E", b"")])
server("query_lines", [request_stmt("E", 0, b"OPEN DATABASE 'sample'"),
                       request_stmt("E", 0, b"select * from customers"), request_stmt("H", 1),
                       request_stmt("R", 0), request_stmt("R", 0), request_stmt("M", 7)])
server("query_records", [request_stmt("E", 0, b"OPEN DATABASE 'sample', 'secret' AS 'geheim'"),
                         request_stmt("E", 0, b"select * from orders"), request_stmt("V"),
                         request_stmt("F"), request_stmt("F")], block_size=3)
server("changes", [request_stmt("E", 0, b"create table t(a text, b real)"),
                   request_stmt("E", 0, b"insert into t values('\xbb x', 1.5)"),
                   request_stmt("E", 0, b"select a, b, date('now') from t"), request_stmt("F"),
                   request_stmt("E", 0, b"select nothing from nowhere"), request_stmt("M", 0)])
server("host_command_refused", [block("U", b"ls"), block("X", b""), request_stmt("Z")])
server("malformed", [struct.pack(">H", 2000) + b"S\x01" + b"x" * 1996, request_stmt("A"),
                     struct.pack(">H", 2)])

# ---------------------------------------------------------------- fuzz_ini_reader
# Layout: buffer size byte, lookup count byte, lookups (section\0key\0default\0), then the file.


def ini(name, lookups, text, size=64):
    data = bytes([size, len(lookups)])
    for section, key, default in lookups:
        data += section + b"\0" + key + b"\0" + default + b"\0"
    write("fuzz_ini_reader", name, data + text)


ini("windorv", [(b"Global", b"Debug", b"0"), (b"global", b"DLLDEBUGFILE", b""), (b"Global", b"Missing", b"  dflt  ")],
    b"[Global]\r\nDebug=1\r\nDLLDebugFile = c:\\temp\\dorv.log \r\n; comment\r\n")
ini("connection", [(b"demo", b"Server", b""), (b"demo", b"Password", b"x"), (b"Other", b"Service", b"")],
    b"[Global]\nTransport=WINSOCK\n[demo]\nServer=127.0.0.1\nService=2000\nPassword=\"geheim\"\n"
    b"Database='sample'\n[demo]\nServer=duplicate\n[Other]\nService = 2001\n", size=4)
ini("odd_lines", [(b"a", b"b", b""), (b"", b"", b"")],
    b"[a\n[ a ]\nno equals sign\n=empty key\nb=" + b"v" * 5000 + b"\n\tb\t=\t'q\t\n", size=1)

# ---------------------------------------------------------------- fuzz_addin_args
# Layout: see fuzz/addin_args.cpp. flags, coerce answer, cells, arguments.


def xstr(text):
    return bytes([1, len(text)]) + text


def xnum(value):
    return bytes([0]) + struct.pack("<d", value)


def xerr(code):
    return bytes([3]) + struct.pack("<H", code)


def xsref(r1, r2, c1, c2):
    return bytes([9]) + struct.pack("<HHBB", r1, r2, c1, c2)


def xmulti(rows, cols, cells):
    return bytes([8, rows, cols]) + b"".join(cells)


def addin(name, args, cells=(), flags=1, coerce=0):
    data = bytes([flags, coerce, len(cells)]) + b"".join(cells) + bytes([len(args)])
    for conversion, record in args:
        data += bytes([conversion]) + record
    write("fuzz_addin_args", name, data)


MKSTR, MKINT, OPTIONAL = 0, 1, 2
addin("text", [(MKSTR, xstr(b"  select * from orders  ")), (MKINT, xnum(3.9))])
addin("numbers", [(MKINT, xnum(-2.5)), (MKINT, xnum(1e300)), (MKINT, xnum(4294967297.0)),
                  (OPTIONAL, bytes([4])), (OPTIONAL, xstr(b"x"))])
addin("multi", [(MKSTR, xmulti(2, 2, [xstr(b"a"), xstr(b" b "), bytes([5]), xstr(b"")])),
                (MKINT, xmulti(1, 2, [xnum(12), xstr(b"x")]))])
addin("reference", [(MKSTR, xsref(0, 2, 0, 1)), (MKINT, xsref(4, 4, 1, 1)),
                    (MKSTR, bytes([10, 1]) + struct.pack("<HHBB", 0, 0, 0, 3) + bytes([1]))],
      cells=[xstr(b"cell"), xnum(1), bytes([5])])
addin("errors", [(MKSTR, xerr(42)), (MKINT, xerr(7)), (MKSTR, xsref(0, 0, 0, 0)), (MKSTR, bytes([4]))],
      cells=[xerr(23)], coerce=4)
addin("pool_full", [(MKSTR, xsref(0, 99, 0, 0))] * 2, cells=[xstr(b"t" * 200)], flags=0)
