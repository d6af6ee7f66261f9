#!/usr/bin/env python3
"""Writes the seed corpus of the core library's fuzz targets: valid inputs only.

Run from anywhere; the files land in corpus/<target>/ beside this script.
"""
import pathlib
import struct

here = pathlib.Path(__file__).resolve().parent


def u16(v):
    return struct.pack('<H', v & 0xFFFF)


def u32(v):
    return struct.pack('<I', v & 0xFFFFFFFF)


def text(s):
    data = s.encode('utf-16-le')
    return u32(len(data)) + data


def entry(vid, pid, serial, maker, product, flags, attribute):
    return u16(vid) + u16(pid) + text(serial) + text(maker) + text(product) + b''.join(u32(f) for f in flags) + u32(attribute)


def body1(control, entries, outside, portable, cd, count=None):
    n = len(entries) if count is None else count
    return u32(control) + u32(n) + b''.join(entries) + u32(outside) + u32(portable) + u32(cd)


def v1(*args, **kw):
    return u32(0x00040000) + body1(*args, **kw)


def v2(b1, at_start, path):
    return u32(0x10010000) + b1 + u32(at_start) + text(path)


def v3(b1, at_start, path, sd):
    return u32(0x10020000) + b1 + u32(at_start) + text(path) + u32(sd)


stick = entry(0x0781, 0x5567, 'AA01', 'Maker', 'Stick', [1, 1, 1, 0, 0], 2)
kana = entry(0x04BB, 0x0C4B, '0123456789AB', '\u30e1\u30fc\u30ab\u30fc', '\u30e1\u30e2\u30ea', [1, 1, 0, 1, 1], 0)
anything = entry(0, 0, '', '', '', [0, 0, 0, 0, 0], 0)

seeds = {
    'settings_format_fuzzer': {
        'v3_empty': v3(body1(1, [], 1, 1, 1), 0, '', 0),
        'v3_entries': v3(body1(1, [stick, kana, anything], 2, 1, 0), 1, 'C:\\Setup\\QEVRINInstallSetting.dat', 1),
        'v3_negative_count': v3(body1(0, [], 1, 0, 0, count=-1), 0, '', 1),
        'v2_entries': v2(body1(1, [stick, kana], 1, 0, 1), 1, 'D:\\QEVRINInstallSetting.dat'),
        'v1_entries': v1(1, [stick, anything], 2, 1, 1),
        'v1_empty': v1(0, [], 1, 0, 0),
    },
    'data_parser_fuzzer': {
        # script length 6: u16, u32, u64, string, bytes, rest
        'all_reads': bytes([6, 0, 1, 2, 3, 4, 5]) + u16(7) + u32(8) + u32(1) + u32(2) + text('AB') + u32(2) + b'\x01\x02' + b'tail',
        'odd_string': bytes([2, 3, 0]) + u32(3) + b'A\x00\x00' + b'\x01',
    },
}

for target, files in seeds.items():
    folder = here / 'corpus' / target
    folder.mkdir(parents=True, exist_ok=True)
    for name, data in files.items():
        (folder / name).write_bytes(data)
