#!/usr/bin/env python3
"""Writes the seed corpus of csv_whitelist_fuzzer: valid whitelist CSV texts, each led by the
mode byte (0: one code unit per byte, 1: UTF-16LE)."""
import os

here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "csv_whitelist_fuzzer")
os.makedirs(here, exist_ok=True)

seeds = {
    "written_rows": "0,1,0x0951,0,0x1666,1,001A,0,,0,\r\n1,1,0x0781,1,0x5567,0,,1,M,1,P\r\n",
    "quoted_texts": '0,0,,0,,1,"a,b",1,"say ""hi""",1,"two\nlines"\r\n',
    "booleans_and_short_ids": "TRUE,true,1a,False,,0,,0,,1,x,extra\n\n\r\n0,1,951,0,,0,,0,,0,",
    "bad_lines": "\r\n0,2,1,0,,0,,0,,0,\r\n0,1,-1,0,,0,,0,,0,\r\n0,1,0x12345,0,,0,,0,,0\r\n\"open",
}
for name, text in seeds.items():
    with open(os.path.join(here, name), "wb") as f:
        f.write(b"\0" + text.encode("latin-1"))
wide = '0,0,,0,,0,,1,バッファロー,1,"製品名\r\n二行目"\r\n'
with open(os.path.join(here, "utf16_japanese"), "wb") as f:
    f.write(b"\1" + wide.encode("utf-16-le"))
