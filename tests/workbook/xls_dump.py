#!/usr/bin/python3
"""Prints an .xls/.xlt workbook as JSON, read by xlrd: an independent reader for the tests.

Usage: xls_dump.py WORKBOOK
Output: {"sheets": [...], "nrows": n, "ncols": n, "frozen": [rows, cols], "zoom": z,
         "gridlines": bool, "cells": {"A4": {"type": "text|number|date|empty|...",
         "value": v, "format": "..."}}} for the first sheet's non-empty cells.
"""
import json
import sys

import xlrd

TYPES = {0: "empty", 1: "text", 2: "number", 3: "date", 4: "bool", 5: "error", 6: "blank"}


def column_name(index):
    name = ""
    index += 1
    while index:
        index, rest = divmod(index - 1, 26)
        name = chr(65 + rest) + name
    return name


def main(path):
    book = xlrd.open_workbook(path, formatting_info=True)
    sheet = book.sheet_by_index(0)
    cells = {}
    for r in range(sheet.nrows):
        for c in range(sheet.ncols):
            cell = sheet.cell(r, c)
            if cell.ctype in (0, 6):
                continue
            xf = book.xf_list[cell.xf_index]
            fmt = book.format_map[xf.format_key].format_str
            value = cell.value
            if cell.ctype == 3:
                value = xlrd.xldate.xldate_as_datetime(value, book.datemode).isoformat()
            cells[f"{column_name(c)}{r + 1}"] = {"type": TYPES[cell.ctype], "value": value, "format": fmt}
    out = {
        "sheets": book.sheet_names(),
        "nrows": sheet.nrows,
        "ncols": sheet.ncols,
        "frozen": [sheet.horz_split_pos, sheet.vert_split_pos] if sheet.panes_are_frozen else None,
        "zoom": sheet.cooked_normal_view_mag_factor,
        "gridlines": bool(sheet.show_grid_lines),
        "cells": cells,
    }
    json.dump(out, sys.stdout)


if __name__ == "__main__":
    main(sys.argv[1])
