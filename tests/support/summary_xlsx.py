#!/usr/bin/python3
"""Prints a summary workbook's first sheet as JSON for the tests: for every cell its cached
value, its formula, its number format and whether it is bold, and each column's width; and
the values LibreOffice calculates for the formulas once their cached values are taken out.

usage: summary_xlsx.py FILE
"""
import csv
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

import openpyxl

from json_out import emit

path = sys.argv[1]
formulas = openpyxl.load_workbook(path).worksheets[0]
cached = openpyxl.load_workbook(path, data_only=True).worksheets[0]
cells = []
for row, values in zip(formulas.iter_rows(), cached.iter_rows(values_only=True)):
    out = []
    for c, v in zip(row, values):
        f = c.value if isinstance(c.value, str) and c.value.startswith("=") else None
        out.append({"v": v, "f": f, "fmt": c.number_format, "b": bool(c.font and c.font.b)})
    cells.append(out)
widths = {k: d.width for k, d in formulas.column_dimensions.items()}

# The formulas without their cached values: LibreOffice has to calculate them.
work = tempfile.mkdtemp(prefix="faq-recalc-")
try:
    bare = os.path.join(work, "bare.xlsx")
    with zipfile.ZipFile(path) as src, zipfile.ZipFile(bare, "w", zipfile.ZIP_DEFLATED) as dst:
        for item in src.infolist():
            data = src.read(item.filename)
            if item.filename.startswith("xl/worksheets/sheet"):
                data = re.sub(rb"(<f>[^<]*</f>)<v>[^<]*</v>", rb"\1", data)
            dst.writestr(item, data)
    subprocess.run(["soffice", "-env:UserInstallation=file://" + work + "/profile", "--headless",
                    "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false",
                    "--outdir", work, bare], check=True, capture_output=True, timeout=300)
    with open(os.path.join(work, "bare.csv"), encoding="utf-8") as f:
        recalculated = list(csv.reader(f))
finally:
    shutil.rmtree(work, ignore_errors=True)
text = json.dumps({"cells": cells, "widths": widths, "recalculated": recalculated}, ensure_ascii=False, default=str)
emit(text)
