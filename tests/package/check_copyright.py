#!/usr/bin/python3
"""Checks a machine-readable copyright file (copyright-format 1.0) more strictly than lintian,
which checks little of it in a binary package: the known format, a header, a Files paragraph
for every file, and in each one a copyright notice and a licence whose text is given.
Usage: check_copyright.py FILE"""
import io
import sys

from debian import copyright as dep5

FORMAT = "https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"


def faults(text):
    try:
        document = dep5.Copyright(io.StringIO(text), strict=True)
    except (dep5.Error, ValueError) as error:
        return [f"not machine-readable: {error}"]
    found = []
    if document.header.format not in (FORMAT, FORMAT.replace("https:", "http:")):
        found.append(f"Format is {document.header.format!r}, not {FORMAT}")
    files = list(document.all_files_paragraphs())
    if not any("*" in paragraph.files for paragraph in files):
        found.append("no Files: * paragraph")
    texts = {p.license.synopsis for p in document.all_license_paragraphs() if p.license.text}
    for paragraph in files:
        where = " ".join(paragraph.files)
        if not (paragraph.copyright or "").strip():
            found.append(f"Files {where}: no Copyright")
        licence = paragraph.license
        if licence is None or not licence.synopsis.strip():
            found.append(f"Files {where}: no License name")
        elif not licence.text.strip() and licence.synopsis not in texts:
            found.append(f"Files {where}: the text of {licence.synopsis} is given nowhere")
    return found


if __name__ == "__main__":
    with open(sys.argv[1], encoding="utf-8") as source:
        problems = faults(source.read())
    for problem in problems:
        print(f"copyright: {problem}")
    sys.exit(1 if problems else 0)
