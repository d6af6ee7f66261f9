#!/usr/bin/env python3
"""Writes the golden whitelist CSV files of the Windows tests in code page 932.

mixed.csv: good and bad lines, a blank line, quotes, embedded commas, line breaks inside quoted
texts (LF and CR LF), Japanese texts whose second bytes are backslashes, a last line without
break. written.csv: the exact bytes the writer produces for the entries that csv_file_test.cpp
lists under WrittenEntries; a character outside code page 932 is written as "?", also one that
Windows would otherwise write as a look-alike (the yen sign as a backslash).
"""
import os

here = os.path.dirname(os.path.abspath(__file__))

mixed = "\r\n".join([
    '0,1,0x0951,0,0x1666,1,001A,0,,0,',
    '1,1,0x0781,1,0x5567,0,,1,"Maker, Inc.",1,"USBメモリ ""高速"""',
    '0,0,,0,,0,,1,バッファロー,1,"製品名\n二行目"',
    '',
    '0,はい,0x0001,0,,0,,0,,0,',
    '0,1,-1,0,,0,,0,,0,',
    'TRUE,true,1a,False,,0,,0,,1,"ソニー\r\nストレージ"',
    '0,1,0x0951,0,0x1666,1,001A,0,,0',
    '0,0,,0,,1,表示,0,,0,,extra',
])

written = "".join([
    '1,1,0x0781,1,0x5567,1,4C53,0,,0,\r\n',
    '0,0,0x0000,0,0x0000,0,,1,"ソニー, Inc.",1,"表示 ""高速""\n二行目"\r\n',
    '0,1,0x0951,0,0x0000,0,,0,,1,? ?100\r\n',
])

for name, text in (("mixed.csv", mixed), ("written.csv", written)):
    with open(os.path.join(here, name), "wb") as f:
        f.write(text.encode("cp932"))
