#!/usr/bin/python3
"""Reads an Excel 97-2003 file with xlrd (independent of LibreOffice) and prints what the
tests check as JSON: cell values, types and number formats (code and number), and the first
sheet's view."""
import json
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


def main():
    path = sys.argv[1]
    cells = [tuple(int(n) for n in arg.split(',')) for arg in sys.argv[2:]]
    data = open(path, 'rb').read()
    book = xlrd.open_workbook(file_contents=data, formatting_info=True)
    sheet = book.sheet_by_index(0)
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
            if cell.ctype == xlrd.XL_CELL_DATE:
                entry['date'] = '%04d-%02d-%02d' % xlrd.xldate_as_tuple(cell.value, book.datemode)[:3]
        result['cells'].append(entry)
    print(json.dumps(result))


main()
