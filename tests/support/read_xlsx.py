#!/usr/bin/python3
"""Prints a workbook as JSON for the tests: every cell as ["s", text], ["n", number] or null.
Texts as a spreadsheet reads them: openpyxl leaves the format's "_xHHHH_" escapes as they are
written, Excel reads each as the character HHHH.

usage: read_xlsx.py FILE [SHEET_INDEX[d] ...]   (all sheets when none are given;
       a "d" after the index gives only the sheet's dimensions, not its rows)
FAQ_XLSX_JSON=PATH writes the JSON to PATH instead of standard output.
"""
import json
import os
import re
import sys

import openpyxl

from json_out import emit

XSTRING = re.compile(r"_x([0-9A-Fa-f]{4})_")
wb = openpyxl.load_workbook(sys.argv[1], read_only=True)
wanted = [x for x in sys.argv[2:]] or [str(i) for i in range(len(wb.worksheets))]
out = []
for arg in wanted:
    ws = wb.worksheets[int(arg.rstrip("d"))]
    rows = []
    for row in ([] if arg.endswith("d") else ws.iter_rows(values_only=True)):
        cells = []
        for c in row:
            if c is None:
                cells.append(None)
            elif isinstance(c, (int, float)) and not isinstance(c, bool):
                cells.append(["n", c])
            else:
                cells.append(["s", XSTRING.sub(lambda m: chr(int(m.group(1), 16)), str(c))])
        rows.append(cells)
    out.append({"name": ws.title, "max_row": ws.max_row, "rows": rows})
text = json.dumps({"sheets": len(wb.worksheets), "data": out}, ensure_ascii=False)
emit(text)
