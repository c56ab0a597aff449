#!/usr/bin/python3
"""Writes resources/template.xlt, the equipment inventory template the program carries.

Regenerate after changing anything below (standard library only, output is byte-for-byte
reproducible):

    /usr/bin/python3 resources/build_template.py            # writes resources/template.xlt
    /usr/bin/python3 resources/build_template.py OUT.xlt    # writes elsewhere

The file is an Excel 97-2003 template: BIFF8 records in an OLE2 compound document. It is
written directly rather than through a spreadsheet application because the contract pins down
things an application rewrites its own way when it saves: the exact accounting format text,
the built-in date and percent formats, column widths in 1/256 of a character, the literal -1
in the payment formula. The first half of this file is the sheet, region by region; the second
half is the file format.
"""

import os
import re
import struct
import sys

# =============================================================================================
# The sheet
# =============================================================================================

SHEET_NAME = "Equipment Inventory List"
COLUMNS = "ABCDEFGHIJKLMNOPQR"
FIRST_DATA_ROW, LAST_DATA_ROW, LAST_ROW = 4, 39, 44

TEXTS = {
    "A1": "EQUIPMENT INVENTORY LIST",
    "B2": "Physical Condition",
    "G2": "Financial Status",
    "A3": "Asset or serial number",
    "B3": "Item description" + " " * 16 + "(make and model)",
    "C3": "Location",
    "D3": "Condition",
    "E3": "Vendor",
    "F3": "Years of service left ",
    "G3": "Initial value",
    "H3": "Down payment",
    "I3": "Date purchased or leased",
    "J3": "Loan term in years",
    "K3": "Loan rate",
    "L3": "Monthly payment",
    "M3": "Monthly operating costs",
    "N3": "Total monthly cost",
    "O3": "Expected value at end of loan term",
    "P3": "Annual straight line depreciation",
    "Q3": "Monthly straight line depreciation",
    "R3": "Current value",
}

MERGES = ["A1:E1", "G1:K1", "L1:P1", "Q1:R1", "B2:F2", "G2:R2"]

# The computed columns; {r} is the cell's own row. The first data row has none, so that a
# value typed there shows no computed result.
FORMULAS = {
    "L": "IF(AND(G{r}>0,G{r}<>H{r}),-1*PMT(K{r}/12,J{r}*12,G{r}-H{r}),0)",
    "N": "M{r}+L{r}",
    "P": "IF(G{r}>0,SLN(G{r},O{r},J{r}),0)",
    "Q": "P{r}/12",
    "R": "G{r}-(P{r}*((NOW()-I{r})/365))",
}
FORMULA_ROWS = range(FIRST_DATA_ROW + 1, LAST_DATA_ROW + 1)

# Widths in 1/256 of the digit width. Columns S onwards keep the default of 8 digits, which
# with the cell margins of Arial 10 is 2340 (9.14 characters).
COLUMN_WIDTHS = dict(zip(COLUMNS, [2267, 5302, 4022, 2486, 3766, 1938, 2998, 2889, 2560,
                                   1901, 1865, 2742, 2450, 2742, 2889, 3254, 3291, 3840]))
DEFAULT_COLUMN_CHARS = 8


def row_height(row):
    """Height in twips."""
    if row <= 3:
        return (900, 840, 855)[row - 1]
    return 405 if row <= LAST_DATA_ROW else 255


DEFAULT_ROW_HEIGHT = 255

ACCOUNTING = '_("$"* #,##0.00_);_("$"* \\(#,##0.00\\);_("$"* "-"??_);_(@_)'
GENERAL, DATE_FORMAT, PERCENT_FORMAT, ACCOUNTING_FORMAT = 0, 14, 10, 44  # built-in numbers

# Colours as RGB; AUTO is the automatic colour (black), NONE no fill.
AUTO, NONE = "auto", None
WHITE, GREY, DARK, BLACK = 0xFFFFFF, 0x808080, 0x333333, AUTO
HEADER_BLUE, HEADING_GREY, BAND, COMPUTED_GREY = 0xBDCCDD, 0xD7D7D7, 0xEDEFF3, 0xEAEAEA
GRID, BAND_LINE = 0xC0C0C0, 0xE2E1DE
COMPUTED = "LNPQR"


def number_format(row, col):
    if not FIRST_DATA_ROW <= row <= LAST_DATA_ROW:
        return GENERAL
    if col in "GHLMNOPQR":
        return ACCOUNTING_FORMAT
    return {"I": DATE_FORMAT, "K": PERCENT_FORMAT}.get(col, GENERAL)


def cell_look(row, col):
    """What a cell of A1:R44 looks like, by region.

    Returns (font, alignment, fill, borders, number format): font is (name, points, bold,
    colour), alignment (horizontal, vertical, wrapped), borders {side: colour} of thin lines.
    """
    first, last = col == "A", col == "R"
    borders = {}
    if row == 1:
        font, align, fill = ("Arial", 16, True, WHITE), ("center", "center", False), GREY
        borders = {"top": DARK, "bottom": DARK}
        if first:
            borders["left"] = DARK
        if last:
            borders["right"] = DARK
    elif row == 2 and first:
        font, align, fill = ("Tahoma", 10, False, DARK), ("center", "bottom", False), HEADER_BLUE
        borders = {"left": DARK, "top": DARK, "bottom": DARK}
    elif row == 2:
        font, align, fill = ("Arial", 16, True, WHITE), ("center", "center", False), HEADER_BLUE
        borders = {"top": DARK, "bottom": DARK}
        if col in "FR":
            borders["right"] = DARK
    elif row == 3:
        font, align, fill = ("Arial", 8, True, AUTO), ("center", "center", True), HEADING_GREY
        borders = {"top": DARK, "bottom": GREY,
                   "left": BLACK if first else GREY, "right": BLACK if last else GREY}
    elif row <= LAST_DATA_ROW:
        font, align = ("Arial", 9, False, AUTO), ("center", "center", True)
        banded = row % 2 == 1
        if col in COMPUTED:
            fill = COMPUTED_GREY
            borders = {"left": GRID, "right": GRID, "bottom": GRID}
            if row > FIRST_DATA_ROW:
                borders["top"] = GRID
        else:
            fill = BAND if banded else (NONE if col in "MO" else WHITE)
            borders = {"left": GRID, "right": GRID}
            if row > FIRST_DATA_ROW:
                borders.update(top=BAND_LINE, bottom=BAND_LINE)
        if first:
            borders["left"] = BLACK
        if last:
            borders["right"] = BLACK
        if row == LAST_DATA_ROW:
            borders["bottom"] = BLACK
    else:
        font = ("Tahoma", 9 if col in "LN" else 10, False, AUTO)
        align, fill = ("center", "bottom", False), NONE
    return font, align, fill, borders, number_format(row, col)


# Page set-up.
PAPER_LETTER = 1
FIT_WIDTH, FIT_HEIGHT, STORED_SCALE = 1, 0, 58  # the scale fitting the sheet one page wide
MARGINS = {"left": 0.5, "right": 0.5, "top": 0.75, "bottom": 0.75, "header": 0.5, "footer": 0.5}
PAGE_BREAK_BEFORE = "G"
FROZEN_COLUMNS, FROZEN_ROWS = 6, 3  # panes frozen at G4
ZOOM = 75
SELECTED = "B4"

# =============================================================================================
# Formulas: a small compiler from the formula text to BIFF8 tokens
# =============================================================================================

# name: (function number, fixed argument count or None for a variable count, volatile)
FUNCTIONS = {"IF": (1, None, False), "AND": (36, None, False), "PMT": (59, None, False),
             "SLN": (142, 3, False), "NOW": (74, 0, True)}
BINARY = {"+": 0x03, "-": 0x04, "*": 0x05, "/": 0x06, "<": 0x09, "<=": 0x0A, "=": 0x0B,
          ">=": 0x0C, ">": 0x0D, "<>": 0x0E}
T_PAREN, T_INT, T_NUM, T_REF_V, T_FUNC_V, T_FUNCVAR_V, T_ATTR = (
    0x15, 0x1E, 0x1F, 0x44, 0x41, 0x42, 0x19)
ATTR_VOLATILE, ATTR_IF, ATTR_SKIP = 0x01, 0x02, 0x08


def cell_position(ref):
    letters = ref.rstrip("0123456789")
    col = 0
    for ch in letters:
        col = col * 26 + ord(ch) - 64
    return int(ref[len(letters):]) - 1, col - 1


def tokenize(text):
    pattern = re.compile(r"\s*(?:(\d+(?:\.\d+)?)|([A-Z]+\d+)|([A-Z]+)\(|(<>|<=|>=|[-+*/<>=(),]))")
    tokens, pos = [], 0
    text = text.strip()
    while pos < len(text):
        m = pattern.match(text, pos)
        if not m:
            raise ValueError("cannot read formula at %r" % text[pos:])
        number, ref, func, op = m.groups()
        tokens.append(("num", float(number)) if number else ("ref", ref) if ref
                      else ("func", func) if func else ("op", op))
        pos = m.end()
    return tokens


class FormulaCompiler:
    """Recursive descent over Excel's precedence: comparison < + - < * / < literal sign."""

    def __init__(self, text):
        self.tokens, self.pos, self.volatile = tokenize(text), 0, False

    def compile(self):
        body = self.comparison()
        if self.pos != len(self.tokens):
            raise ValueError("unexpected %r" % (self.tokens[self.pos],))
        prefix = struct.pack("<BBH", T_ATTR, ATTR_VOLATILE, 0) if self.volatile else b""
        return prefix + body

    def peek(self, kind=None, value=None):
        if self.pos >= len(self.tokens):
            return False
        k, v = self.tokens[self.pos]
        return (kind is None or k == kind) and (value is None or v == value)

    def take(self):
        self.pos += 1
        return self.tokens[self.pos - 1]

    def expect(self, op):
        if not self.peek("op", op):
            raise ValueError("expected %r" % op)
        self.take()

    def binary_level(self, operators, operand):
        out = operand()
        while self.peek("op") and self.tokens[self.pos][1] in operators:
            op = self.take()[1]
            out += operand() + bytes([BINARY[op]])
        return out

    def comparison(self):
        return self.binary_level(("<", "<=", "=", ">=", ">", "<>"), self.additive)

    def additive(self):
        return self.binary_level(("+", "-"), self.term)

    def term(self):
        return self.binary_level(("*", "/"), self.operand)

    def operand(self):
        kind, value = self.take()
        if kind == "op" and value == "-" and self.peek("num"):
            # A negative constant is one number token, not a negation of a positive one.
            return self.number(-self.take()[1])
        if kind == "num":
            return self.number(value)
        if kind == "ref":
            row, col = cell_position(value)
            return struct.pack("<BHH", T_REF_V, row, col | 0xC000)  # row and column relative
        if kind == "op" and value == "(":
            inner = self.comparison()
            self.expect(")")
            return inner + bytes([T_PAREN])
        if kind == "func":
            return self.call(value)
        raise ValueError("unexpected %r" % value)

    @staticmethod
    def number(value):
        if value == int(value) and 0 <= value <= 0xFFFF:
            return struct.pack("<BH", T_INT, int(value))
        return struct.pack("<Bd", T_NUM, value)

    def call(self, name):
        index, fixed, volatile = FUNCTIONS[name]
        self.volatile |= volatile
        args = []
        if not self.peek("op", ")"):
            args.append(self.comparison())
            while self.peek("op", ","):
                self.take()
                args.append(self.comparison())
        self.expect(")")
        if fixed is not None:
            if len(args) != fixed:
                raise ValueError("%s takes %d arguments" % (name, fixed))
            return b"".join(args) + struct.pack("<BH", T_FUNC_V, index)
        call = struct.pack("<BBH", T_FUNCVAR_V, len(args), index)
        if name == "IF":
            # The jumps that let the application evaluate only the branch it takes.
            skip_to_end = lambda rest: struct.pack("<BBH", T_ATTR, ATTR_SKIP, rest + 4 - 1)
            then, otherwise = args[1], (args[2] if len(args) > 2 else b"")
            tail = otherwise + skip_to_end(0) if otherwise else b""
            then_part = then + skip_to_end(len(tail))
            return (args[0] + struct.pack("<BBH", T_ATTR, ATTR_IF, len(then_part)) + then_part
                    + tail + call)
        return b"".join(args) + call


def compile_formula(text):
    return FormulaCompiler(text).compile()


# =============================================================================================
# BIFF8 records
# =============================================================================================

def record(rid, body=b""):
    return struct.pack("<HH", rid, len(body)) + body


def short_string(text):
    """Byte-counted string (sheet and font names), stored compressed when it fits Latin-1."""
    try:
        return struct.pack("<BB", len(text), 0) + text.encode("latin-1")
    except UnicodeEncodeError:
        return struct.pack("<BB", len(text), 1) + text.encode("utf-16-le")


def long_string(text):
    try:
        return struct.pack("<HB", len(text), 0) + text.encode("latin-1")
    except UnicodeEncodeError:
        return struct.pack("<HB", len(text), 1) + text.encode("utf-16-le")


# Excel's standard 56-colour palette (indices 8 to 63); the sheet's own colours replace a few
# pastel entries that it does not use.
DEFAULT_PALETTE = [
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
    0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080,
    0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF,
    0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,
    0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,
    0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333,
]
FREE_PALETTE_SLOTS = [41, 42, 43, 44, 45, 46, 47]
AUTO_COLOUR, AUTO_FONT_COLOUR, AUTO_BACK_COLOUR = 64, 0x7FFF, 65


class Palette:
    def __init__(self):
        self.colours = list(DEFAULT_PALETTE)
        self.free = list(FREE_PALETTE_SLOTS)

    def index(self, rgb, auto):
        if rgb == AUTO:
            return auto
        if rgb in self.colours:
            return self.colours.index(rgb) + 8
        slot = self.free.pop(0)
        self.colours[slot - 8] = rgb
        return slot

    def record(self):
        body = struct.pack("<H", len(self.colours))
        for rgb in self.colours:
            body += bytes([rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF, 0])
        return record(0x0092, body)


STANDARD_FORMATS = [  # Excel's currency and accounting formats, written to every workbook
    (5, '"$"#,##0_);\\("$"#,##0\\)'),
    (6, '"$"#,##0_);[Red]\\("$"#,##0\\)'),
    (7, '"$"#,##0.00_);\\("$"#,##0.00\\)'),
    (8, '"$"#,##0.00_);[Red]\\("$"#,##0.00\\)'),
    (42, '_("$"* #,##0_);_("$"* \\(#,##0\\);_("$"* "-"_);_(@_)'),
    (41, '_(* #,##0_);_(* \\(#,##0\\);_(* "-"_);_(@_)'),
    (ACCOUNTING_FORMAT, ACCOUNTING),
    (43, '_(* #,##0.00_);_(* \\(#,##0.00\\);_(* "-"??_);_(@_)'),
]

ALIGN_H = {"general": 0, "left": 1, "center": 2, "right": 3}
ALIGN_V = {"top": 0, "center": 1, "bottom": 2}
THIN = 1


class Styles:
    """Fonts and cell formats (XF records), shared between cells that look alike."""

    DEFAULT_FONT = ("Arial", 10, False, AUTO)

    def __init__(self, palette):
        self.palette = palette
        self.fonts = [self.DEFAULT_FONT]
        self.cell_xfs = []
        self.first_cell_xf = 21  # after 15 style formats, the default cell format, 5 styles

    def font_index(self, font):
        if font not in self.fonts:
            self.fonts.append(font)
        index = self.fonts.index(font)
        return index + 4 if index else 0  # font number 4 does not exist in BIFF

    def xf_index(self, look):
        if look not in self.cell_xfs:
            self.cell_xfs.append(look)
            # Number the look's font and colours now, so that the records come out complete.
            font, _, fill, borders, _ = look
            self.font_index(font)
            for rgb in [font[3], fill, *borders.values()]:
                if rgb is not NONE:
                    self.palette.index(rgb, AUTO_COLOUR)
        return self.first_cell_xf + self.cell_xfs.index(look)

    def font_records(self):
        out = b""
        # Fonts 0 to 3 are the defaults of the built-in styles.
        for font in [self.DEFAULT_FONT] * 4 + self.fonts[1:]:
            name, points, bold, colour = font
            colour_index = self.palette.index(colour, AUTO_FONT_COLOUR)
            body = struct.pack("<HHHHHBBBB", points * 20, 0, colour_index, 700 if bold else 400,
                               0, 0, 2, 0, 0) + short_string(name)
            out += record(0x0031, body)
        return out

    @staticmethod
    def xf(font, fmt, style, align_byte, border1, border2, fill, used):
        flags = 0xFFF5 if style else 0x0001  # style: locked, parent none; cell: locked, parent 0
        return record(0x00E0, struct.pack("<HHHBBBBIIH", font, fmt, flags, align_byte, 0, 0,
                                          used, border1, border2, fill))

    def xf_records(self):
        no_fill = AUTO_COLOUR | (AUTO_BACK_COLOUR << 7)
        bottom = ALIGN_V["bottom"] << 4
        out = self.xf(0, 0, True, bottom, 0, 0, no_fill, 0x00)  # Normal
        for i in range(1, 15):  # outline level styles
            out += self.xf(1 if i in (1, 2) else 2 if i in (3, 4) else 0, 0, True, bottom,
                           0, 0, no_fill, 0xF4)
        out += self.xf(0, 0, False, bottom, 0, 0, no_fill, 0x00)  # default cell format
        for fmt in (43, 41, 44, 42, 9):  # Comma, Comma [0], Currency, Currency [0], Percent
            out += self.xf(1, fmt, True, bottom, 0, 0, no_fill, 0xF8)
        for look in self.cell_xfs:
            out += self.cell_xf(look)
        return out

    def cell_xf(self, look):
        font, (hori, vert, wrap), fill, borders, fmt = look
        align = ALIGN_H[hori] | (0x08 if wrap else 0) | (ALIGN_V[vert] << 4)
        styles, colours = {}, {}
        for side in ("left", "right", "top", "bottom"):
            if side in borders:
                styles[side] = THIN
                colours[side] = self.palette.index(borders[side], AUTO_COLOUR)
            else:
                styles[side], colours[side] = 0, 0
        border1 = (styles["left"] | styles["right"] << 4 | styles["top"] << 8
                   | styles["bottom"] << 12 | colours["left"] << 16 | colours["right"] << 23)
        if fill is NONE:
            pattern, fill_word = 0, AUTO_COLOUR | (AUTO_BACK_COLOUR << 7)
        else:
            pattern, fill_word = 1, self.palette.index(fill, AUTO_COLOUR) | (AUTO_COLOUR << 7)
        border2 = colours["top"] | colours["bottom"] << 7 | pattern << 26
        # Every attribute is the cell's own, none inherited from the style.
        return self.xf(self.font_index(font), fmt, False, align, border1, border2, fill_word,
                       0xFC)

    @staticmethod
    def style_records():
        out = b""
        for xf, builtin in ((16, 3), (17, 6), (18, 4), (19, 7), (20, 5), (0, 0)):
            out += record(0x0293, struct.pack("<HBB", 0x8000 | xf, builtin, 0xFF))
        return out


class SharedStrings:
    def __init__(self):
        self.strings = []

    def index(self, text):
        if text not in self.strings:
            self.strings.append(text)
        return self.strings.index(text)

    def records(self, position):
        """SST and its index EXTSST; position is where the SST record starts in the stream."""
        body = struct.pack("<II", len(self.strings), len(self.strings))
        buckets, per_bucket = [], 8
        for i, text in enumerate(self.strings):
            if i % per_bucket == 0:
                buckets.append((position + 4 + len(body), 4 + len(body)))
            body += long_string(text)
        if len(body) > 8224:
            raise ValueError("shared strings need CONTINUE records")
        ext = struct.pack("<H", per_bucket)
        for absolute, in_record in buckets:
            ext += struct.pack("<IHH", absolute, in_record, 0)
        return record(0x00FC, body) + record(0x00FF, ext)


def cells_in_order():
    for row in range(1, LAST_ROW + 1):
        for col in COLUMNS:
            yield row, col


def sheet_stream(styles, strings):
    """The worksheet substream: settings, rows, cells, merges and the view."""
    out = record(0x0809, struct.pack("<HHHHII", 0x0600, 0x0010, 0x0DBB, 0x07CC, 0, 6))
    out += record(0x000D, struct.pack("<H", 1))  # automatic calculation
    out += record(0x000C, struct.pack("<H", 100))
    out += record(0x000F, struct.pack("<H", 1))  # A1 references
    out += record(0x0011, struct.pack("<H", 0))
    out += record(0x0010, struct.pack("<d", 0.001))
    out += record(0x005F, struct.pack("<H", 1))
    out += record(0x002A, struct.pack("<H", 0))  # row and column headings not printed
    out += record(0x002B, struct.pack("<H", 0))  # grid lines not printed
    out += record(0x0082, struct.pack("<H", 1))
    out += record(0x0080, struct.pack("<HHHH", 0, 0, 0, 0))
    out += record(0x0225, struct.pack("<HH", 0, DEFAULT_ROW_HEIGHT))
    out += record(0x0081, struct.pack("<H", 0x04C1 | 0x0100))  # fit to pages
    out += record(0x001A, struct.pack("<HHHH", 1, COLUMNS.index(PAGE_BREAK_BEFORE), 0, 0xFFFF))
    out += record(0x0014) + record(0x0015)  # empty header and footer
    out += record(0x0083, struct.pack("<H", 1))  # centred horizontally
    out += record(0x0084, struct.pack("<H", 0))
    for rid, side in ((0x26, "left"), (0x27, "right"), (0x28, "top"), (0x29, "bottom")):
        out += record(rid, struct.pack("<d", MARGINS[side]))
    landscape_flags = 0x0000  # portrait bit clear; paper, scale and orientation valid
    out += record(0x00A1, struct.pack("<HHHHHHHHddH", PAPER_LETTER, STORED_SCALE, 1, FIT_WIDTH,
                                      FIT_HEIGHT, landscape_flags, 300, 300, MARGINS["header"],
                                      MARGINS["footer"], 1))
    out += record(0x0055, struct.pack("<H", DEFAULT_COLUMN_CHARS))
    for i, col in enumerate(COLUMNS):
        out += record(0x007D, struct.pack("<HHHHHH", i, i, COLUMN_WIDTHS[col], 15, 0, 0))
    out += record(0x0200, struct.pack("<IIHHH", 0, LAST_ROW, 0, len(COLUMNS), 0))

    looks = {(row, col): styles.xf_index(cell_look(row, col)) for row, col in cells_in_order()}
    # Rows in blocks of 32: the row records, then the cells of those rows.
    for block_start in range(1, LAST_ROW + 1, 32):
        block = range(block_start, min(block_start + 32, LAST_ROW + 1))
        for row in block:
            # Custom height (0x40; 0x100 is a bit that must be set), default cell format 15.
            out += record(0x0208, struct.pack("<HHHHHHHH", row - 1, 0, len(COLUMNS),
                                              row_height(row), 0, 0, 0x0140, 15))
        for row in block:
            out += row_cells(row, looks, strings)

    out += merged_cells_record()
    out += window_records()
    out += record(0x000A)
    return out


def row_cells(row, looks, strings):
    out, blanks = b"", []

    def flush():
        nonlocal out, blanks
        if len(blanks) == 1:
            out += record(0x0201, struct.pack("<HHH", row - 1, blanks[0][0], blanks[0][1]))
        elif blanks:
            body = struct.pack("<HH", row - 1, blanks[0][0])
            body += b"".join(struct.pack("<H", xf) for _, xf in blanks)
            out += record(0x00BE, body + struct.pack("<H", blanks[-1][0]))
        blanks = []

    for c, col in enumerate(COLUMNS):
        ref, xf = "%s%d" % (col, row), looks[(row, col)]
        if ref in TEXTS:
            flush()
            out += record(0x00FD, struct.pack("<HHHI", row - 1, c, xf,
                                              strings.index(TEXTS[ref])))
        elif col in FORMULAS and row in FORMULA_ROWS:
            flush()
            rgce = compile_formula(FORMULAS[col].format(r=row))
            volatile = rgce[:2] == bytes([T_ATTR, ATTR_VOLATILE])
            # The stored result is that of the empty template: every computed column gives 0.
            out += record(0x0006, struct.pack("<HHHdHIH", row - 1, c, xf, 0.0,
                                              0x0001 if volatile else 0x0000, 0, len(rgce)) + rgce)
        else:
            blanks.append((c, xf))
    flush()
    return out


def merged_cells_record():
    body = struct.pack("<H", len(MERGES))
    for ref in MERGES:
        (r1, c1), (r2, c2) = (cell_position(part) for part in ref.split(":"))
        body += struct.pack("<HHHH", r1, r2, c1, c2)
    return record(0x00E5, body)


def window_records():
    # Grid lines off; headings, zero values, outline symbols on; frozen panes; selected and
    # shown sheet.
    flags = 0x0004 | 0x0008 | 0x0010 | 0x0020 | 0x0080 | 0x0100 | 0x0200 | 0x0400
    out = record(0x023E, struct.pack("<HHHHHHHI", flags, 0, 0, 64, 0, 0, ZOOM, 0))
    out += record(0x00A0, struct.pack("<HH", ZOOM, 100))
    lower_right, upper_right, lower_left, upper_left = 0, 1, 2, 3
    out += record(0x0041, struct.pack("<HHHHBB", FROZEN_COLUMNS, FROZEN_ROWS, FROZEN_ROWS,
                                      FROZEN_COLUMNS, lower_left, 0))
    selected_row, selected_col = cell_position(SELECTED)
    for pane, (row, col) in ((upper_left, (0, 0)), (upper_right, (0, FROZEN_COLUMNS)),
                             (lower_left, (selected_row, selected_col)),
                             (lower_right, (FROZEN_ROWS, FROZEN_COLUMNS))):
        out += record(0x001D, struct.pack("<BHHHHHHBB", pane, row, col, 0, 1, row, row, col,
                                          col))
    return out


def workbook_stream():
    palette = Palette()
    styles = Styles(palette)
    strings = SharedStrings()
    sheet = sheet_stream(styles, strings)  # first: it numbers the fonts, formats and strings

    def globals_part(sheet_position, sst_position):
        out = record(0x0809, struct.pack("<HHHHII", 0x0600, 0x0005, 0x0DBB, 0x07CC, 0, 6))
        out += record(0x00E1, struct.pack("<H", 0x04B0))
        out += record(0x00C1, struct.pack("<H", 0))
        out += record(0x00E2)
        out += record(0x0042, struct.pack("<H", 1200))  # UTF-16
        out += record(0x0161, struct.pack("<H", 0))
        out += record(0x013D, struct.pack("<H", 1))
        out += record(0x009C, struct.pack("<H", 0x0E))
        for rid in (0x0019, 0x0012, 0x0013, 0x01AF, 0x01BC):  # no protection
            out += record(rid, struct.pack("<H", 0))
        out += record(0x003D, struct.pack("<hhHHHHHHH", 0, 0, 0x4000, 0x2000, 0x0038, 0, 0, 1,
                                          0x0258))
        out += record(0x0040, struct.pack("<H", 0))
        out += record(0x008D, struct.pack("<H", 0))
        out += record(0x0022, struct.pack("<H", 0))  # 1900 date system
        out += record(0x000E, struct.pack("<H", 1))
        out += record(0x01B7, struct.pack("<H", 0))
        out += record(0x00DA, struct.pack("<H", 0))
        out += styles.font_records()
        for index, code in STANDARD_FORMATS:
            out += record(0x041E, struct.pack("<H", index) + long_string(code))
        out += styles.xf_records()
        out += styles.style_records()
        out += palette.record()
        out += record(0x0160, struct.pack("<H", 1))
        out += record(0x0085, struct.pack("<IH", sheet_position, 0) + short_string(SHEET_NAME))
        out += record(0x008C, struct.pack("<HH", 1, 1))
        out += record(0x01AE, struct.pack("<HH", 1, 0x0401))  # this workbook
        out += record(0x0017, struct.pack("<HHHH", 1, 0, 0, 0))
        # Print titles: column A of the sheet, a built-in name local to it.
        titles = struct.pack("<BHHHHH", 0x3B, 0, 0, 0xFFFF, 0, 0)
        out += record(0x0018, struct.pack("<HBBHHHBBBBBB", 0x0020, 0, 1, len(titles), 0, 1,
                                          0, 0, 0, 0, 0, 0x07) + titles)
        sst_at = len(out)
        out += strings.records(sst_position)
        out += record(0x000A)
        return out, sst_at

    draft, sst_at = globals_part(0, 0)
    final, _ = globals_part(len(draft), sst_at)
    assert len(final) == len(draft)
    return final + sheet


# =============================================================================================
# The OLE2 compound document around the workbook stream
# =============================================================================================

SECTOR, MINI_SECTOR, MINI_CUTOFF = 512, 64, 4096
FREE, END, FAT_SECTOR = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD
EXCEL_CLSID = bytes.fromhex("2008020000000000c000000000000046")  # {00020820-...-000046}


def compobj_stream():
    def ansi(text):
        data = text.encode("ascii") + b"\0"
        return struct.pack("<I", len(data)) + data

    return (struct.pack("<II", 0xFFFE0001, 0x00000A03) + b"\xff\xff\xff\xff" + EXCEL_CLSID
            + ansi("Microsoft Excel 97-2003 Worksheet") + ansi("Biff8") + ansi("Excel.Sheet.8")
            + struct.pack("<IIII", 0x71B239F4, 0, 0, 0))


def property_set_stream(fmtid):
    """A property set holding only its code page: no title, author or company."""
    section = struct.pack("<II", 1, 16) + struct.pack("<IHH", 2, 1252, 0)  # code page, VT_I2
    section = struct.pack("<II", 8 + len(section), 1) + section
    header = struct.pack("<HHI", 0xFFFE, 0, 0x00020006) + bytes(16) + struct.pack("<I", 1)
    header += fmtid + struct.pack("<I", len(header) + 20)
    return header + section


SUMMARY_FMTID = bytes.fromhex("e0859ff2f94f6810ab9108002b27b3d9")
DOC_SUMMARY_FMTID = bytes.fromhex("02d5cdd59c2e1b10939708002b2cf9ae")


def pad(data, size):
    return data + bytes(-len(data) % size)


def compound_document(streams):
    """streams: [(name, bytes)]. Big streams get sectors of their own, small ones share the
    mini stream kept in the root entry."""
    big = [(n, d) for n, d in streams if len(d) >= MINI_CUTOFF]
    small = [(n, d) for n, d in streams if len(d) < MINI_CUTOFF]

    mini_fat, mini_data, mini_start = [], b"", {}
    for name, data in small:
        count = -(-len(data) // MINI_SECTOR)
        mini_start[name] = len(mini_fat)
        mini_fat += [len(mini_fat) + i + 1 for i in range(count - 1)] + [END]
        mini_data += pad(data, MINI_SECTOR)

    entries = 1 + len(streams)
    dir_sectors = -(-entries * 128 // SECTOR)
    mini_fat_sectors = -(-len(mini_fat) * 4 // SECTOR)
    mini_data_sectors = -(-len(mini_data) // SECTOR)
    big_sectors = [-(-len(d) // SECTOR) for _, d in big]
    content = dir_sectors + mini_fat_sectors + mini_data_sectors + sum(big_sectors)
    fat_sectors = 1
    while fat_sectors * SECTOR // 4 < content + fat_sectors:
        fat_sectors += 1
    if fat_sectors > 109:
        raise ValueError("workbook too large for a header-only sector table")

    fat, chains = [FAT_SECTOR] * fat_sectors, {}

    def allocate(count):
        start = len(fat)
        fat.extend(start + i + 1 for i in range(count - 1))
        fat.append(END)
        return start

    dir_start = allocate(dir_sectors)
    mini_fat_start = allocate(mini_fat_sectors) if mini_fat_sectors else END
    mini_data_start = allocate(mini_data_sectors) if mini_data_sectors else END
    for (name, _), count in zip(big, big_sectors):
        chains[name] = allocate(count)
    fat += [FREE] * (-len(fat) % (SECTOR // 4))

    def entry(name, kind, start, size, left=FREE, right=FREE, child=FREE, clsid=bytes(16),
              red=False):
        raw = name.encode("utf-16-le") + b"\0\0"
        return (raw.ljust(64, b"\0") + struct.pack("<HBB", len(raw), kind, 0 if red else 1)
                + struct.pack("<III", left, right, child) + clsid + bytes(4 + 16)
                + struct.pack("<IIII", start, size, 0, 0)[:8] + bytes(4))

    # Siblings form a valid red-black tree ordered by name length, then by upper-case name.
    order = sorted(range(len(streams)), key=lambda i: (len(streams[i][0]),
                                                       streams[i][0].upper()))
    ids = {i: i + 1 for i in range(len(streams))}

    def subtree(indices, depth):
        if not indices:
            return FREE, {}
        mid = len(indices) // 2
        left, links_left = subtree(indices[:mid], depth + 1)
        right, links_right = subtree(indices[mid + 1:], depth + 1)
        links = {**links_left, **links_right, indices[mid]: (left, right, depth)}
        return ids[indices[mid]], links

    root_child, links = subtree(order, 0)
    # Halving keeps every leaf on the last two levels: colouring an incomplete last level red
    # gives every path the same number of black entries.
    deepest = max(depth for _, _, depth in links.values())
    perfect = len(streams) == 2 ** (deepest + 1) - 1
    directory = entry("Root Entry", 5, mini_data_start, len(mini_data), child=root_child,
                      clsid=EXCEL_CLSID)
    for i, (name, data) in enumerate(streams):
        start = chains[name] if name in chains else mini_start[name]
        left, right, depth = links[i]
        directory += entry(name, 2, start, len(data), left, right,
                           red=depth == deepest and not perfect)
    directory = pad(directory, SECTOR)

    header = (b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1" + bytes(16)
              + struct.pack("<HHHHH", 0x003E, 0x0003, 0xFFFE, 9, 6) + bytes(6)
              + struct.pack("<IIIIIIIII", 0, fat_sectors, dir_start, 0, MINI_CUTOFF,
                            mini_fat_start, mini_fat_sectors, END, 0))
    difat = list(range(fat_sectors)) + [FREE] * (109 - fat_sectors)
    header += struct.pack("<109I", *difat)
    assert len(header) == SECTOR

    body = struct.pack("<%dI" % len(fat), *fat)[:fat_sectors * SECTOR]
    body += directory
    body += pad(struct.pack("<%dI" % len(mini_fat), *mini_fat), SECTOR) if mini_fat else b""
    body += pad(mini_data, SECTOR)
    for _, data in big:
        body += pad(data, SECTOR)
    return header + body


def template_bytes():
    return compound_document([
        ("Workbook", workbook_stream()),
        ("\x05SummaryInformation", property_set_stream(SUMMARY_FMTID)),
        ("\x05DocumentSummaryInformation", property_set_stream(DOC_SUMMARY_FMTID)),
        ("\x01CompObj", compobj_stream()),
    ])


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "template.xlt")
    data = template_bytes()
    with open(out, "wb") as f:
        f.write(data)
    print("wrote %s (%d bytes)" % (out, len(data)))


if __name__ == "__main__":
    main()
