#!/usr/bin/python3
"""Reads a converted result without LibreOffice and prints what the tests check as JSON:
a PDF through poppler's pdfinfo and pdftotext, an .xlsx through openpyxl, an .ods as the
zip package that OpenDocument defines."""
import json
import subprocess
import sys
import zipfile


def read_pdf(path):
    info = subprocess.run(["pdfinfo", path], capture_output=True, text=True, check=True).stdout
    fields = dict(line.split(":", 1) for line in info.splitlines() if ":" in line)
    pages = int(fields["Pages"])
    texts = [subprocess.run(["pdftotext", "-f", str(page), "-l", str(page), path, "-"],
                            capture_output=True, text=True, check=True).stdout
             for page in range(1, pages + 1)]
    with open(path, "rb") as f:
        header = f.read(5).decode("latin-1")
    return {"header": header, "pages": pages, "pageSize": fields["Page size"].strip(),
            "texts": texts}


def read_xlsx(path):
    import openpyxl
    book = openpyxl.load_workbook(path)
    sheet = book.worksheets[0]
    cells = {}
    for row in sheet.iter_rows(min_row=1, max_row=sheet.max_row, max_col=15):
        for cell in row:
            if cell.value is not None:
                cells[cell.coordinate] = str(cell.value)
    return {"sheets": book.sheetnames, "cells": cells, "freeze": sheet.freeze_panes,
            "landscape": sheet.page_setup.orientation == "landscape"}


def read_ods(path):
    with zipfile.ZipFile(path) as package:
        first = package.infolist()[0]
        return {"first": first.filename, "stored": first.compress_type == zipfile.ZIP_STORED,
                "mimetype": package.read("mimetype").decode("ascii"),
                "content": package.read("content.xml").decode("utf-8")}


def main():
    path, kind = sys.argv[1], sys.argv[2]
    print(json.dumps({"pdf": read_pdf, "xlsx": read_xlsx, "ods": read_ods}[kind](path)))


main()
