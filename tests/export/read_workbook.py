"""Prints an .xlsx workbook's first sheet as JSON, read by openpyxl: every
cell that exists (value, type, date, quote prefix, number format) and every
column width. Fails on a damaged zip entry."""
import json
import sys
import zipfile

import openpyxl

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
        value = cell.value
        cells[cell.coordinate] = {
            "value": value.isoformat() if hasattr(value, "isoformat") else value,
            "type": cell.data_type,
            "date": cell.is_date,
            "quote": bool(cell.quotePrefix),
            "format": cell.number_format,
        }
widths = {letter: dim.width for letter, dim in sheet.column_dimensions.items() if dim.customWidth}
print(json.dumps({"sheets": len(workbook.worksheets), "cells": cells, "widths": widths}))
