#!/usr/bin/python3
"""Reads the carried template back with xlrd, a reader independent of the code that wrote it,
and checks the sheet that the generation run and the snapshot rely on.

    check_template.py TEMPLATE                  the template as carried
    check_template.py TEMPLATE --resaved        what LibreOffice keeps when it opens the
                                                template and saves it as .xls (the run's path)
    check_template.py TEMPLATE --generator GEN  also: GEN reproduces TEMPLATE byte for byte

xlrd does not decode cell formulas, so the formula records are read from the workbook stream
and turned back into formula text here.
"""

import os
import signal
import struct
import subprocess
import sys
import tempfile
import unittest

import xlrd
from xlrd import compdoc

TEMPLATE, RESAVED, GENERATOR = None, False, None
book = sheet = stream = ole = None  # loaded once in setUpModule

COLUMNS = "ABCDEFGHIJKLMNOPQR"


def cell(ref):
    """'B3' -> (row, column), both from 0."""
    letters = ref.rstrip("0123456789")
    col = 0
    for ch in letters:
        col = col * 26 + ord(ch) - 64
    return int(ref[len(letters):]) - 1, col - 1


def cells(*areas):
    """Every (row, column) of the given areas, e.g. cells("A4:K39", "M4")."""
    out = []
    for area in areas:
        first, _, last = area.partition(":")
        (r1, c1), (r2, c2) = cell(first), cell(last or first)
        out += [(r, c) for r in range(r1, r2 + 1) for c in range(c1, c2 + 1)]
    return out


def name(rc):
    return "%s%d" % (COLUMNS[rc[1]], rc[0] + 1)


# --- The workbook stream -----------------------------------------------------------------------

def records(data):
    pos = 0
    while pos + 4 <= len(data):
        rid, size = struct.unpack_from("<HH", data, pos)
        yield rid, data[pos + 4:pos + 4 + size]
        pos += 4 + size


def sheet_records():
    """The records of the first worksheet's substream."""
    inside, out = False, []
    for rid, body in records(stream):
        if rid == 0x0809:
            inside = struct.unpack_from("<H", body, 2)[0] == 0x0010
            continue
        if inside:
            if rid == 0x000A:
                break
            out.append((rid, body))
    return out


def first_record(rid):
    return next((body for r, body in sheet_records() if r == rid), None)


FUNCTIONS = {1: "IF", 36: "AND", 59: "PMT", 74: "NOW", 142: "SLN", 4: "SUM"}
FIXED_ARGS = {74: 0, 142: 3}
OPERATORS = {0x03: "+", 0x04: "-", 0x05: "*", 0x06: "/", 0x07: "^", 0x08: "&", 0x09: "<",
             0x0A: "<=", 0x0B: "=", 0x0C: ">=", 0x0D: ">", 0x0E: "<>"}


def ref_text(row, col, row_rel, col_rel):
    return "%s%s%s%d" % ("" if col_rel else "$", COLUMNS[col] if col < 18 else "?%d" % col,
                         "" if row_rel else "$", row + 1)


def decompile(rgce, row, col, shared):
    """Formula text (',' between arguments) and the list of operand/operator tokens seen."""
    stack, seen, pos = [], [], 0
    while pos < len(rgce):
        ptg = rgce[pos]
        pos += 1
        base = ptg if ptg < 0x20 else (ptg & 0x1F) | 0x20
        if base == 0x01:  # shared formula
            r, c = struct.unpack_from("<HH", rgce, pos)
            return decompile(shared[(r, c)], row, col, shared)
        if base in OPERATORS:
            b, a = stack.pop(), stack.pop()
            stack.append(a + OPERATORS[base] + b)
            seen.append(("op", OPERATORS[base]))
        elif base == 0x13:
            stack.append("-" + stack.pop())
            seen.append(("negate", None))
        elif base == 0x12:
            stack.append("+" + stack.pop())
        elif base == 0x15:
            stack.append("(" + stack.pop() + ")")
        elif base == 0x19:
            flags, data = struct.unpack_from("<BH", rgce, pos)
            pos += 3
            if flags & 0x04:
                pos += (data + 1) * 2
            if flags & 0x10:
                stack.append("SUM(" + stack.pop() + ")")
            if flags & 0x01:
                seen.append(("volatile", None))
        elif base == 0x1E:
            value = struct.unpack_from("<H", rgce, pos)[0]
            pos += 2
            stack.append(str(value))
            seen.append(("number", float(value)))
        elif base == 0x1F:
            value = struct.unpack_from("<d", rgce, pos)[0]
            pos += 8
            stack.append(str(int(value)) if value == int(value) else repr(value))
            seen.append(("number", value))
        elif base in (0x21, 0x22):
            if base == 0x21:
                index = struct.unpack_from("<H", rgce, pos)[0]
                pos += 2
                argc = FIXED_ARGS[index]
            else:
                argc, index = struct.unpack_from("<BH", rgce, pos)
                pos += 3
                index &= 0x7FFF
            args = stack[len(stack) - argc:]
            del stack[len(stack) - argc:]
            stack.append("%s(%s)" % (FUNCTIONS.get(index, "FUNC%d" % index), ",".join(args)))
            seen.append(("function", FUNCTIONS.get(index)))
        elif base == 0x24:
            r, c = struct.unpack_from("<HH", rgce, pos)
            pos += 4
            stack.append(ref_text(r, c & 0x3FFF, bool(c & 0x8000), bool(c & 0x4000)))
        elif base == 0x2C:  # reference relative to the cell, in shared formulas
            r, c = struct.unpack_from("<HH", rgce, pos)
            pos += 4
            row_rel, col_rel = bool(c & 0x8000), bool(c & 0x4000)
            rr = (row + struct.unpack("<h", struct.pack("<H", r))[0]) if row_rel else r
            cc = (col + struct.unpack("<b", bytes([c & 0xFF]))[0]) if col_rel else c & 0xFF
            stack.append(ref_text(rr, cc, row_rel, col_rel))
        else:
            raise AssertionError("formula token 0x%02X not expected in this sheet" % ptg)
    if len(stack) != 1:
        raise AssertionError("formula does not reduce to one expression: %r" % stack)
    return stack[0], seen


def formulas():
    """{(row, col): (text, tokens)} for every formula cell of the sheet."""
    found, shared, pending = {}, {}, []
    for rid, body in sheet_records():
        if rid == 0x0006:
            r, c = struct.unpack_from("<HH", body)
            cce = struct.unpack_from("<H", body, 20)[0]
            pending.append((r, c, body[22:22 + cce]))
        elif rid == 0x04BC:
            first_row, _, first_col = struct.unpack_from("<HHB", body)
            cce = struct.unpack_from("<H", body, 8)[0]
            shared[(first_row, first_col)] = body[10:10 + cce]
    for r, c, rgce in pending:
        found[(r, c)] = decompile(rgce, r, c, shared)
    return found


# --- What the sheet must be ---------------------------------------------------------------------

TEXTS = {
    "A1": "EQUIPMENT INVENTORY LIST",
    "B2": "Physical Condition",
    "G2": "Financial Status",
    "A3": "Asset or serial number",
    "B3": "Item description                (make and model)",
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

FORMULAS = {
    "L": "IF(AND(G{r}>0,G{r}<>H{r}),-1*PMT(K{r}/12,J{r}*12,G{r}-H{r}),0)",
    "N": "M{r}+L{r}",
    "P": "IF(G{r}>0,SLN(G{r},O{r},J{r}),0)",
    "Q": "P{r}/12",
    "R": "G{r}-(P{r}*((NOW()-I{r})/365))",
}

WIDTHS = {"A": 2267, "B": 5302, "C": 4022, "D": 2486, "E": 3766, "F": 1938, "G": 2998,
          "H": 2889, "I": 2560, "J": 1901, "K": 1865, "L": 2742, "M": 2450, "N": 2742,
          "O": 2889, "P": 3254, "Q": 3291, "R": 3840}
HEIGHTS = [("1", 900), ("2", 840), ("3", 855), ("4:39", 405), ("40:44", 255)]

WHITE, GREY, DARK, BLACK = (255, 255, 255), (128, 128, 128), (51, 51, 51), "black"
BLUE, HEADING, BAND, COMPUTED = (189, 204, 221), (215, 215, 215), (237, 239, 243), (234, 234, 234)
GRID, BAND_LINE, NONE = (192, 192, 192), (226, 225, 222), None

TYPED = ("A4:K39", "M4:M39", "O4:O39")
CALCULATED = ("L4:L39", "N4:N39", "P4:R39")
ODD = tuple("%s%d:%s%d" % (a, r, b, r) for r in range(5, 40, 2) for a, b in
            (("A", "K"), ("M", "M"), ("O", "O")))
EVEN_A_TO_K = tuple("A%d:K%d" % (r, r) for r in range(6, 39, 2))

# (region, font name, points, bold, colour); later rows override earlier ones.
FONTS = [
    (("A1:R1", "B2:R2"), "Arial", 16, True, WHITE),
    (("A2",), "Tahoma", 10, False, DARK),
    (("A3:R3",), "Arial", 8, True, BLACK),
    (("A4:R39",), "Arial", 9, False, BLACK),
    (("A40:R44",), "Tahoma", 10, False, BLACK),
    (("L40:L44", "N40:N44"), "Tahoma", 9, False, BLACK),
]
# (region, horizontal, vertical, wrapped); 2 centre; vertical 1 centre, 2 bottom.
ALIGNMENT = [
    (("A1:R1", "B2:R2"), 2, 1, False),
    (("A2", "A40:R44"), 2, 2, False),
    (("A3:R39",), 2, 1, True),
]
FILLS = [
    (("A1:R1",), GREY), (("A2:R2",), BLUE), (("A3:R3",), HEADING),
    (("A4:K4",) + EVEN_A_TO_K, WHITE), (ODD, BAND), (("M4", "O4"), NONE),
    (tuple("%s%d" % (c, r) for r in range(6, 39, 2) for c in "MO"), NONE),
    (CALCULATED, COMPUTED), (("A40:R44",), NONE),
]
# (region, sides, colour) of thin lines; a side no rule names has no line.
BORDERS = [
    (("A1:R1",), "top bottom", DARK), (("A1",), "left", DARK), (("R1",), "right", DARK),
    (("A2",), "left top bottom", DARK), (("B2:R2",), "top bottom", DARK),
    (("F2", "R2"), "right", DARK),
    (("A3:R3",), "top", DARK), (("A3:R3",), "bottom left right", GREY),
    (("A3",), "left", BLACK), (("R3",), "right", BLACK),
    (TYPED, "left right", GRID), (("A5:K39", "M5:M39", "O5:O39"), "top bottom", BAND_LINE),
    (CALCULATED, "left right bottom", GRID), (("L5:L39", "N5:N39", "P5:R39"), "top", GRID),
    (("A4:A39",), "left", BLACK), (("R4:R39",), "right", BLACK), (("A39:R39",), "bottom", BLACK),
]

ACCOUNTING = '_("$"* #,##0.00_);_("$"* \\(#,##0.00\\);_("$"* "-"??_);_(@_)'
NUMBER_FORMATS = [
    (("A4:F39", "J4:J39", "A1:R3", "A40:R44"), "general"),
    (("G4:H39", "L4:R39"), "accounting"),
    (("I4:I39",), "date"),
    (("K4:K39",), "percent"),
]


def expected(rules, pick):
    """{(row, col): value} from region rules, later rules overriding earlier ones."""
    out = {}
    for rule in rules:
        for rc in cells(*rule[0]):
            out[rc] = pick(rule, out.get(rc))
    return out


def inner_sides(rc):
    """Sides of a cell that lie inside a merged area."""
    row, col = rc
    for r1, r2, c1, c2 in sheet.merged_cells:
        if r1 <= row < r2 and c1 <= col < c2:
            return [side for side, inner in (("left", col > c1), ("right", col < c2 - 1),
                                             ("top", row > r1), ("bottom", row < r2 - 1))
                    if inner]
    return []


def xf_of(rc):
    return book.xf_list[sheet.cell_xf_index(*rc)]


def colour(index):
    rgb = book.colour_map.get(index)
    return BLACK if rgb in (None, (0, 0, 0)) else rgb


# --- Tests -----------------------------------------------------------------------------------------

class Container(unittest.TestCase):
    def test_one_sheet_named_for_the_list(self):
        self.assertEqual(book.nsheets, 1)
        self.assertEqual(book.sheet_names(), ["Equipment Inventory List"])
        self.assertEqual(book.biff_version, 80)
        self.assertEqual(book.datemode, 0)  # 1900 date system

    def test_used_range_is_a1_to_r44(self):
        self.assertEqual((sheet.nrows, sheet.ncols), (44, 18))
        self.assertEqual(struct.unpack_from("<IIHH", first_record(0x0200)), (0, 44, 0, 18))

    def test_calculation_is_automatic(self):
        mode = first_record(0x000D)  # automatic when absent
        self.assertTrue(mode is None or struct.unpack("<H", mode)[0] == 1)

    def test_names_the_excel_97_class_and_no_person_or_printer(self):
        if RESAVED:
            self.skipTest("the application writes its own container")
        self.assertIn(b"Excel.Sheet.8", ole.get_named_stream("\x01CompObj"))
        self.assertIsNone(first_record(0x004D), "printer settings record")
        names_person = {"\x05SummaryInformation": (4, 8), "\x05DocumentSummaryInformation": (14, 15)}
        for stream_name, ids in names_person.items():
            data = ole.get_named_stream(stream_name)
            with self.subTest(stream=stream_name):
                self.assertFalse(set(ids) & set(property_ids(data)),
                                 "author, last author, manager or company")
        self.assertNotIn(0x005C, [rid for rid, _ in records(stream)], "user name record")


def property_ids(data):
    """The property ids of the first section of a property set stream."""
    offset = struct.unpack_from("<I", data, 44)[0]
    count = struct.unpack_from("<I", data, offset + 4)[0]
    return [struct.unpack_from("<I", data, offset + 8 + 8 * i)[0] for i in range(count)]


class Contents(unittest.TestCase):
    def test_texts(self):
        for ref, text in TEXTS.items():
            with self.subTest(cell=ref):
                self.assertEqual(sheet.cell_type(*cell(ref)), xlrd.XL_CELL_TEXT)
                self.assertEqual(sheet.cell_value(*cell(ref)), text)

    def test_every_other_cell_is_empty_or_computed(self):
        texts = {cell(ref) for ref in TEXTS}
        computed = {cell("%s%d" % (c, r)) for c in FORMULAS for r in range(5, 40)}
        for rc in cells("A1:R44"):
            if rc in texts:
                continue
            with self.subTest(cell=name(rc)):
                if rc in computed:
                    self.assertEqual(sheet.cell_type(*rc), xlrd.XL_CELL_NUMBER)
                    self.assertEqual(sheet.cell_value(*rc), 0.0)  # the empty sheet's results
                else:
                    self.assertEqual(sheet.cell_type(*rc), xlrd.XL_CELL_BLANK)

    def test_merged_areas(self):
        want = sorted((r1, r2 + 1, c1, c2 + 1) for (r1, c1), (r2, c2) in
                      ((cell(a), cell(b)) for a, b in (m.split(":") for m in MERGES)))
        self.assertEqual(sorted(sheet.merged_cells), want)


class Formulas(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.found = formulas()

    def test_computed_columns_of_rows_5_to_39(self):
        for row in range(5, 40):
            for col, text in FORMULAS.items():
                rc = cell("%s%d" % (col, row))
                with self.subTest(cell=name(rc)):
                    self.assertIn(rc, self.found)
                    self.assertEqual(self.found[rc][0], text.format(r=row))

    def test_only_those_cells_have_formulas(self):
        want = {cell("%s%d" % (c, r)) for c in FORMULAS for r in range(5, 40)}
        self.assertEqual(set(self.found) - want, set(), "formulas elsewhere (row 4, 40-44?)")

    def test_payment_negates_with_the_number_minus_one(self):
        for row in (5, 22, 39):
            with self.subTest(row=row):
                tokens = self.found[cell("L%d" % row)][1]
                self.assertIn(("number", -1.0), tokens)
                self.assertNotIn(("negate", None), tokens)

    def test_current_value_is_recalculated_always(self):
        self.assertIn(("volatile", None), self.found[cell("R5")][1])


class Geometry(unittest.TestCase):
    def test_column_widths(self):
        # The application stores widths in its own units and rounds them on saving.
        tolerance = 4 if RESAVED else 0
        for col, width in WIDTHS.items():
            with self.subTest(column=col):
                self.assertAlmostEqual(sheet.colinfo_map[COLUMNS.index(col)].width, width,
                                       delta=tolerance)

    def test_columns_from_s_on_take_the_default_width(self):
        info = sheet.colinfo_map.get(18)
        if info is not None:
            self.assertAlmostEqual(info.width, 2340, delta=4 if RESAVED else 0)
        elif sheet.standardwidth is not None:
            self.assertEqual(sheet.standardwidth, 2340)
        else:  # 8 digits of Arial 10 plus the cell margins, 9.14 characters
            self.assertEqual(sheet.defcolwidth, 8)

    def test_row_heights(self):
        for rows, height in HEIGHTS:
            first, _, last = rows.partition(":")
            for row in range(int(first), int(last or first) + 1):
                with self.subTest(row=row):
                    self.assertEqual(sheet.rowinfo_map[row - 1].height, height)
        self.assertEqual(sheet.default_row_height, 255)


class Formatting(unittest.TestCase):
    def check(self, rules, pick, actual):
        for rc, want in sorted(expected(rules, pick).items()):
            with self.subTest(cell=name(rc)):
                self.assertEqual(actual(xf_of(rc)), want)

    def test_fonts(self):
        def actual(xf):
            font = book.font_list[xf.font_index]
            return font.name, font.height / 20, font.weight >= 700, colour(font.colour_index)
        self.check(FONTS, lambda rule, _: rule[1:], actual)

    def test_alignment(self):
        self.check(ALIGNMENT, lambda rule, _: rule[1:],
                   lambda xf: (xf.alignment.hor_align, xf.alignment.vert_align,
                               bool(xf.alignment.text_wrapped)))

    def test_fills(self):
        def actual(xf):
            if xf.background.fill_pattern == 0:
                return NONE
            self.assertEqual(xf.background.fill_pattern, 1, "solid fill")
            return colour(xf.background.pattern_colour_index)
        self.check(FILLS, lambda rule, _: rule[1], actual)

    def test_borders(self):
        def pick(rule, sides):
            sides = dict(sides or {})
            sides.update((side, rule[2]) for side in rule[1].split())
            return sides

        def actual(xf):
            b, sides = xf.border, {}
            for side in ("left", "right", "top", "bottom"):
                style = getattr(b, side + "_line_style")
                if style:
                    self.assertEqual(style, 1, "thin line")
                    sides[side] = colour(getattr(b, side + "_colour_index"))
            return sides
        want = expected(BORDERS, pick)
        for rc in cells("A1:R44"):
            with self.subTest(cell=name(rc)):
                got, wanted = actual(xf_of(rc)), want.get(rc, {})
                if RESAVED:
                    # The application copies a merged area's edges onto the cells it hides;
                    # only the sides on the area's outline show.
                    for side in inner_sides(rc):
                        got.pop(side, None)
                        wanted.pop(side, None)
                self.assertEqual(got, wanted)

    def test_number_formats(self):
        def kind(xf):
            key = xf.format_key
            text = book.format_map[key].format_str
            bare = text.replace("[$-409]", "").replace("[$-en-US]", "")
            if key == 0 or bare == "General":
                return "general"
            if key == 14 or bare.lower() == "m/d/yyyy":
                return "date"
            if key == 10 or bare == "0.00%":
                return "percent"
            if RESAVED:
                # The application writes single literal characters escaped rather than quoted.
                bare = bare.replace('\\$', '"$"').replace('\\-', '"-"')
            return "accounting" if bare == ACCOUNTING else text
        self.check(NUMBER_FORMATS, lambda rule, _: rule[1], kind)

    def test_built_in_date_and_percent_formats(self):
        if RESAVED:
            self.skipTest("the application renumbers formats")
        self.assertEqual(xf_of(cell("I4")).format_key, 14)
        self.assertEqual(xf_of(cell("K4")).format_key, 10)
        self.assertEqual(book.format_map[xf_of(cell("G4")).format_key].format_str, ACCOUNTING)


class View(unittest.TestCase):
    def test_panes_frozen_at_g4(self):
        self.assertTrue(sheet.panes_are_frozen)
        self.assertEqual((sheet.vert_split_pos, sheet.horz_split_pos), (6, 3))

    def test_zoom_75(self):
        self.assertEqual(sheet.scl_mag_factor, 75)
        self.assertEqual(sheet.cooked_normal_view_mag_factor, 75)

    def test_grid_lines_hidden(self):
        self.assertEqual(sheet.show_grid_lines, 0)


class Printing(unittest.TestCase):
    def test_page_setup(self):
        setup = first_record(0x00A1)
        paper, scale, _, fit_width, fit_height, flags = struct.unpack_from("<6H", setup)
        header, footer = struct.unpack_from("<dd", setup, 16)
        self.assertEqual(paper, 1, "Letter")
        self.assertEqual(flags & 0x0002, 0, "landscape")
        self.assertEqual(flags & 0x0004, 0, "paper and orientation valid")
        self.assertEqual((fit_width, fit_height), (1, 0))
        self.assertEqual(struct.unpack("<H", first_record(0x0081))[0] & 0x0100, 0x0100,
                         "fit to pages")
        if not RESAVED:  # the application keeps neither of these without a header line
            self.assertEqual(scale, 58)
            self.assertEqual((header, footer), (0.5, 0.5))

    def test_margins_and_centring(self):
        for rid, side, inches in ((0x26, "left", 0.5), (0x27, "right", 0.5),
                                  (0x28, "top", 0.75), (0x29, "bottom", 0.75)):
            with self.subTest(margin=side):
                self.assertEqual(struct.unpack("<d", first_record(rid))[0], inches)
        self.assertEqual(struct.unpack("<H", first_record(0x0083))[0], 1)
        vcenter = first_record(0x0084)
        self.assertTrue(vcenter is None or struct.unpack("<H", vcenter)[0] == 0)

    def test_nothing_extra_printed(self):
        for rid, what in ((0x002A, "row and column headings"), (0x002B, "grid lines")):
            with self.subTest(what=what):
                body = first_record(rid)
                self.assertTrue(body is None or struct.unpack("<H", body)[0] == 0)
        for rid, what in ((0x0014, "header"), (0x0015, "footer")):
            with self.subTest(what=what):
                body = first_record(rid)
                self.assertTrue(not body or struct.unpack_from("<H", body)[0] == 0)

    def test_column_a_repeats_on_every_page(self):
        titles = [n for n in book.name_obj_list if n.name == "Print_Titles"]
        self.assertEqual(len(titles), 1)
        self.assertEqual(titles[0].scope, 0)
        (ref,) = titles[0].result.value
        self.assertEqual(ref.coords, (0, 1, 0, 65536, 0, 1))

    def test_page_break_between_f_and_g(self):
        self.assertEqual(sheet.vertical_page_breaks, [(6, 0, 65535)])
        self.assertEqual(sheet.horizontal_page_breaks, [])


class Generator(unittest.TestCase):
    def test_generator_reproduces_the_template(self):
        if not GENERATOR:
            self.skipTest("no generator given")
        with tempfile.TemporaryDirectory() as folder:
            out = os.path.join(folder, "template.xlt")
            subprocess.run([sys.executable, GENERATOR, out], check=True,
                           stdout=subprocess.DEVNULL, timeout=120)
            with open(out, "rb") as a, open(TEMPLATE, "rb") as b:
                self.assertTrue(a.read() == b.read(),
                                "the checked-in template is not what the generator writes")


# --- Loading ---------------------------------------------------------------------------------------

def resave_with_libreoffice(source, folder):
    """Opens the template in a private headless LibreOffice and saves it as .xls."""
    profile = os.path.join(folder, "profile")
    command = ["soffice", "-env:UserInstallation=file://" + profile, "--headless",
               "--norestore", "--nolockcheck", "--convert-to", "xls:MS Excel 97",
               "--outdir", folder, source]
    proc = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            start_new_session=True)
    try:
        proc.wait(timeout=180)
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        proc.wait()
        raise
    out = os.path.join(folder, os.path.splitext(os.path.basename(source))[0] + ".xls")
    if not os.path.exists(out):
        raise RuntimeError("LibreOffice did not save %s" % out)
    return out


def load(path):
    global book, sheet, stream, ole
    with open(path, "rb") as f:
        data = f.read()
    book = xlrd.open_workbook(file_contents=data, formatting_info=True)
    sheet = book.sheet_by_index(0)
    ole = compdoc.CompDoc(data, logfile=open(os.devnull, "w"))
    stream = ole.get_named_stream("Workbook")


def main():
    global TEMPLATE, RESAVED, GENERATOR
    args = sys.argv[1:]
    if "--resaved" in args:
        RESAVED = True
        args.remove("--resaved")
    if "--generator" in args:
        i = args.index("--generator")
        GENERATOR = args[i + 1]
        del args[i:i + 2]
    if len(args) != 1:
        sys.exit(__doc__)
    TEMPLATE = os.path.abspath(args[0])
    with tempfile.TemporaryDirectory(prefix="tessivane-template-check-") as folder:
        load(resave_with_libreoffice(TEMPLATE, folder) if RESAVED else TEMPLATE)
    program = unittest.main(argv=[sys.argv[0], "-v"], exit=False)
    sys.exit(0 if program.result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
