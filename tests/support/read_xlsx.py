#!/usr/bin/python3
"""Prints a workbook as JSON for the tests: every cell as ["s", text], ["n", number] or null.

usage: read_xlsx.py FILE [SHEET_INDEX[d] ...]   (all sheets when none are given;
       a "d" after the index gives only the sheet's dimensions, not its rows)
"""
import json
import sys

import openpyxl

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
                cells.append(["s", str(c)])
        rows.append(cells)
    out.append({"name": ws.title, "max_row": ws.max_row, "rows": rows})
print(json.dumps({"sheets": len(wb.worksheets), "data": out}, ensure_ascii=False))
