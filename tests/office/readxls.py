#!/usr/bin/python3
"""Reads an Excel 97-2003 file with xlrd (independent of LibreOffice) and prints what the
tests check as JSON: cell values, types, number formats (code and number), fills, thin
borders, row heights and formulas, the first sheet's view and its print titles."""
import json
import os
import struct
import sys

import xlrd
from xlrd import compdoc


def view_records(data):
    """The SELECTION and PANE records of the first sheet, read from the raw BIFF stream."""
    doc = compdoc.CompDoc(data, logfile=open('/dev/null', 'w'))
    mem, base, size = doc.locate_named_stream('Workbook')
    pos, end = base, base + size
    substreams = 0
    selections, pane = [], None
    while pos + 4 <= end:
        code, length = struct.unpack('<HH', mem[pos:pos + 4])
        body = mem[pos + 4:pos + 4 + length]
        pos += 4 + length
        if code == 0x0809:  # BOF
            substreams += 1
        if substreams != 2:  # the workbook globals come first, then the first sheet
            continue
        if code == 0x001D:  # SELECTION
            pnn, row, col = struct.unpack('<BHH', body[:5])
            selections.append({'pane': pnn, 'row': row, 'column': col})
        elif code == 0x0041:  # PANE
            x, y, top, left, active = struct.unpack('<HHHHB', body[:9])
            pane = {'x': x, 'y': y, 'top': top, 'left': left, 'active': active}
        elif code == 0x000A:  # EOF
            break
    return selections, pane


def look(book, sheet, formulas, row, column):
    """Fill, borders {side: colour}, the row's height in twips and the formula text."""
    xf = book.xf_list[sheet.cell_xf_index(row - 1, column - 1)]

    def rgb(index):
        found = book.colour_map.get(index)
        return "black" if found in (None, (0, 0, 0)) else "%02X%02X%02X" % found
    fill = None if xf.background.fill_pattern == 0 else rgb(xf.background.pattern_colour_index)
    borders = {side: rgb(getattr(xf.border, side + "_colour_index"))
               for side in ("left", "right", "top", "bottom")
               if getattr(xf.border, side + "_line_style")}
    info = sheet.rowinfo_map.get(row - 1)
    height = info.height if info is not None else sheet.default_row_height
    formula = formulas.get((row - 1, column - 1))
    return {'fill': fill, 'borders': borders, 'height': height,
            'formula': formula[0] if formula else None}


def print_titles(book):
    """The areas of the first sheet's Print_Titles as [first row, last row, first column,
    last column], 1-based and inclusive."""
    out = []
    for name in book.name_obj_list:
        if name.name == "Print_Titles" and name.scope == 0 and name.result is not None:
            for ref in name.result.value:
                _, _, r1, r2, c1, c2 = ref.coords
                out.append([r1 + 1, r2, c1 + 1, c2])
    return out


def main():
    path = sys.argv[1]
    cells = [tuple(int(n) for n in arg.split(',')) for arg in sys.argv[2:]]
    data = open(path, 'rb').read()
    book = xlrd.open_workbook(file_contents=data, formatting_info=True)
    sheet = book.sheet_by_index(0)
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources"))
    import check_template  # its decoder of formula records, which xlrd leaves encoded
    check_template.stream = compdoc.CompDoc(
        data, logfile=open('/dev/null', 'w')).get_named_stream('Workbook')
    formulas = check_template.formulas()
    result = {
        'biff': book.biff_version,
        'sheets': book.sheet_names(),
        'rows': sheet.nrows,
        'columns': sheet.ncols,
        'zoom': sheet.cooked_normal_view_mag_factor,
        'frozen': bool(sheet.panes_are_frozen),
        'split_row': sheet.horz_split_pos,
        'split_column': sheet.vert_split_pos,
        'grid': bool(sheet.show_grid_lines),
        'print_titles': print_titles(book),
        'cells': [],
    }
    result['selections'], result['pane'] = view_records(data)
    for row, column in cells:  # 1-based
        entry = {'row': row, 'column': column, 'type': 0, 'value': None, 'format': ''}
        if row <= sheet.nrows and column <= sheet.ncols:
            cell = sheet.cell(row - 1, column - 1)
            entry['type'] = cell.ctype
            entry['value'] = cell.value
            xf = book.xf_list[cell.xf_index]
            entry['format'] = book.format_map[xf.format_key].format_str
            entry['format_key'] = xf.format_key
            entry.update(look(book, sheet, formulas, row, column))
            if cell.ctype == xlrd.XL_CELL_DATE:
                entry['date'] = '%04d-%02d-%02d' % xlrd.xldate_as_tuple(cell.value, book.datemode)[:3]
        result['cells'].append(entry)
    print(json.dumps(result))


main()
