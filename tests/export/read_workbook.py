"""Prints an .xlsx workbook's first sheet as JSON, read by openpyxl: every
cell that exists (value, type, date, quote prefix, number format, whether it
is kept text) and every column width. Text values are given as a spreadsheet
application shows them: its "_xHHHH_" escapes, which openpyxl leaves as they
are, are decoded. Fails on a damaged zip entry."""
import json
import re
import sys
import zipfile

import openpyxl

ESCAPE = re.compile(r"_x([0-9A-Fa-f]{4})_")


def shown(value):
    if isinstance(value, str):
        return ESCAPE.sub(lambda match: chr(int(match.group(1), 16)), value)
    return value.isoformat() if hasattr(value, "isoformat") else value


damaged = zipfile.ZipFile(sys.argv[1]).testzip()
if damaged:
    sys.exit("damaged zip entry: " + damaged)
workbook = openpyxl.load_workbook(sys.argv[1])
sheet = workbook.worksheets[0]
cells = {}
for row in sheet.iter_rows():
    for cell in row:
        if cell.value is None and not cell.quotePrefix:
            continue
        cells[cell.coordinate] = {
            "value": shown(cell.value),
            "type": cell.data_type,
            "date": cell.is_date,
            "quote": bool(cell.quotePrefix),
            "format": cell.number_format,
            # The text number format: whatever the user types in stays text.
            "text": cell.number_format == "@",
        }
widths = {letter: dim.width for letter, dim in sheet.column_dimensions.items() if dim.customWidth}
print(json.dumps({"sheets": len(workbook.worksheets), "cells": cells, "widths": widths}))
