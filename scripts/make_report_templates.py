#!/usr/bin/env python3
"""Writes the report templates of the Report folder as Office Open XML
workbooks (the files keep their historical .XLS names):

  reports/WKP410.XLS  transfer voucher, sheets "6", "9" and "12"
  reports/WLP410.XLS  general / subsidiary ledger, sheet "LP410"

Cells to be filled hold a marker text "**Name". Line markers sit on the
first line of a block; the report moves down from them by a fixed number of
rows per line (four on the voucher, two on the ledger).

Run from anywhere:  python3 scripts/make_report_templates.py
Only the standard library is used, and the output is byte-for-byte the same
on every run (fixed zip timestamps), so the generated files can be kept in
the repository next to this script.
"""

import os
import sys
import zipfile
from xml.sax.saxutils import escape

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(os.path.dirname(HERE), "reports")

P_GOTHIC = "ＭＳ Ｐゴシック"
GOTHIC = "ＭＳ ゴシック"


def col_name(c):
    s = ""
    while c:
        c, r = divmod(c - 1, 26)
        s = chr(65 + r) + s
    return s


def col_index(name):
    n = 0
    for ch in name:
        n = n * 26 + ord(ch) - 64
    return n


def ref(c, r):
    return f"{col_name(c)}{r}"


class Styles:
    """Collects fonts, fills, borders, number formats and cell formats."""

    def __init__(self):
        self.fonts = [(P_GOTHIC, 11, False, None)]
        self.fills = ["none", "gray125"]
        self.borders = [(None, None, None, None)]
        self.numfmts = {}
        self.xfs = [(0, 0, 0, 0, None)]

    def _idx(self, lst, item):
        if item not in lst:
            lst.append(item)
        return lst.index(item)

    def xf(self, font=(P_GOTHIC, 10, False, None), fill=None, border=(None, None, None, None),
           numfmt=None, align=None):
        fo = self._idx(self.fonts, font)
        fi = self._idx(self.fills, fill) if fill else 0
        bo = self._idx(self.borders, border)
        nf = 0
        if numfmt:
            if numfmt not in self.numfmts:
                self.numfmts[numfmt] = 164 + len(self.numfmts)
            nf = self.numfmts[numfmt]
        return self._idx(self.xfs, (fo, fi, bo, nf, align))

    def xml(self):
        out = ['<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
               '<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">']
        if self.numfmts:
            out.append(f'<numFmts count="{len(self.numfmts)}">')
            for code, i in self.numfmts.items():
                out.append(f'<numFmt numFmtId="{i}" formatCode="{escape(code, {chr(34): "&quot;"})}"/>')
            out.append("</numFmts>")
        out.append(f'<fonts count="{len(self.fonts)}">')
        for name, size, bold, underline in self.fonts:
            out.append("<font>" + ("<b/>" if bold else "")
                       + (f'<u val="{underline}"/>' if underline else "")
                       + f'<sz val="{size}"/><color rgb="FF000000"/><name val="{name}"/>'
                       '<family val="3"/><charset val="128"/></font>')
        out.append("</fonts>")
        out.append(f'<fills count="{len(self.fills)}">')
        for f in self.fills:
            if f in ("none", "gray125"):
                out.append(f'<fill><patternFill patternType="{f}"/></fill>')
            else:
                out.append(f'<fill><patternFill patternType="solid"><fgColor rgb="FF{f}"/>'
                           '<bgColor indexed="64"/></patternFill></fill>')
        out.append("</fills>")
        out.append(f'<borders count="{len(self.borders)}">')
        for b in self.borders:
            out.append("<border>")
            for side, st in zip(("left", "right", "top", "bottom"), b):
                if st:
                    out.append(f'<{side} style="{st}"><color rgb="FF404040"/></{side}>')
                else:
                    out.append(f"<{side}/>")
            out.append("<diagonal/></border>")
        out.append("</borders>")
        out.append('<cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/>'
                   "</cellStyleXfs>")
        out.append(f'<cellXfs count="{len(self.xfs)}">')
        for fo, fi, bo, nf, al in self.xfs:
            attrs = f'numFmtId="{nf}" fontId="{fo}" fillId="{fi}" borderId="{bo}" xfId="0"'
            if nf:
                attrs += ' applyNumberFormat="1"'
            if fo:
                attrs += ' applyFont="1"'
            if fi:
                attrs += ' applyFill="1"'
            if bo:
                attrs += ' applyBorder="1"'
            if al:
                h, v, shrink = al[:3]
                indent = al[3] if len(al) > 3 else 0
                wrap = al[4] if len(al) > 4 else False
                a = (f'<alignment horizontal="{h}" vertical="{v}"' + (f' indent="{indent}"' if indent else "")
                     + (' shrinkToFit="1"' if shrink else "") + (' wrapText="1"' if wrap else "") + "/>")
                out.append(f'<xf {attrs} applyAlignment="1">{a}</xf>')
            else:
                out.append(f"<xf {attrs}/>")
        out.append("</cellXfs>")
        out.append('<cellStyles count="1"><cellStyle name="標準" xfId="0" builtinId="0"/></cellStyles>')
        out.append("</styleSheet>")
        return "".join(out)


class Sheet:
    """One worksheet: cell values and formats, merges, row heights, columns
    and page set-up. Borders are collected per cell side and resolved when
    the sheet is written, so boxes drawn over each other combine."""

    # The print scale of each sheet (percent). A fixed scale rather than
    # "fit to one page": the converter then lays out a report of many pages
    # without working out the fit for every page. Each is the scale the fit
    # came to for the sheet, so the pages look as they did (compared as
    # rendered images), and a long text in a cell never shrinks its page.
    SCALES = {"6": 100, "9": 72, "12": 71, "LP410": 76}

    def __init__(self, name, widths, landscape, margins=(0.35, 0.35, 0.45, 0.45)):
        self.name = name
        self.widths = widths
        self.landscape = landscape
        self.margins = margins
        self.cells = {}     # (c, r) -> dict(value, font, fill, numfmt, align)
        self.sides = {}     # (c, r) -> [l, r, t, b]
        self.heights = {}
        self.merges = []

    def cell(self, c, r):
        return self.cells.setdefault((c, r), {})

    def put(self, a1, value=None, font=None, fill=None, numfmt=None, align=None, merge=None):
        c, r = parse(a1)
        d = self.cell(c, r)
        if value is not None:
            d["value"] = value
        cells = [(c, r)]
        if merge:
            c2, r2 = parse(merge)
            self.merges.append(f"{a1}:{merge}")
            cells = [(x, y) for y in range(r, r2 + 1) for x in range(c, c2 + 1)]
        for cc in cells:
            e = self.cell(*cc)
            if font:
                e["font"] = font
            if fill:
                e["fill"] = fill
            if numfmt:
                e["numfmt"] = numfmt
            if align:
                e["align"] = align

    def side(self, c, r, i, style):
        s = self.sides.setdefault((c, r), [None, None, None, None])
        s[i] = style

    def box(self, a1, b1, style="thin"):
        c1, r1 = parse(a1)
        c2, r2 = parse(b1)
        for r in range(r1, r2 + 1):
            self.side(c1, r, 0, style)
            self.side(c2, r, 1, style)
        for c in range(c1, c2 + 1):
            self.side(c, r1, 2, style)
            self.side(c, r2, 3, style)

    def hline(self, a1, b1, style, top=False):
        c1, r = parse(a1)
        c2, _ = parse(b1)
        for c in range(c1, c2 + 1):
            self.side(c, r, 2 if top else 3, style)

    def vline(self, a1, b1, style, left=False):
        c, r1 = parse(a1)
        _, r2 = parse(b1)
        for r in range(r1, r2 + 1):
            self.side(c, r, 0 if left else 1, style)

    def xml(self, styles, strings):
        keys = set(self.cells) | set(self.sides)
        maxc = max(c for c, _ in keys)
        maxr = max(r for _, r in keys)
        # A border between two cells is drawn on both of them.
        final = {k: list(v) for k, v in self.sides.items()}
        for (c, r), s in self.sides.items():
            for dc, dr, mine, theirs in ((-1, 0, 0, 1), (1, 0, 1, 0), (0, -1, 2, 3), (0, 1, 3, 2)):
                if s[mine]:
                    n = (c + dc, r + dr)
                    if n[0] >= 1 and n[1] >= 1:
                        o = final.setdefault(n, [None, None, None, None])
                        if not o[theirs] or rank(s[mine]) > rank(o[theirs]):
                            o[theirs] = s[mine]
        out = ['<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
               '<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
               'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">'
               f'<dimension ref="A1:{ref(maxc, maxr)}"/>'
               '<sheetViews><sheetView showGridLines="0" workbookViewId="0"/></sheetViews>'
               '<sheetFormatPr defaultRowHeight="13.5"/><cols>']
        for i, w in enumerate(self.widths, start=1):
            out.append(f'<col min="{i}" max="{i}" width="{w}" customWidth="1"/>')
        out.append("</cols><sheetData>")
        for r in range(1, maxr + 1):
            cols = sorted(c for c, rr in keys | set(final) if rr == r)
            ht = self.heights.get(r)
            attrs = f'r="{r}"' + (f' ht="{ht}" customHeight="1"' if ht else "")
            if not cols:
                out.append(f"<row {attrs}/>")
                continue
            out.append(f"<row {attrs}>")
            for c in cols:
                d = self.cells.get((c, r), {})
                b = tuple(final.get((c, r), (None, None, None, None)))
                s = styles.xf(font=d.get("font", F_TEXT), fill=d.get("fill"), border=b,
                              numfmt=d.get("numfmt"), align=d.get("align"))
                v = d.get("value")
                if v is None:
                    out.append(f'<c r="{ref(c, r)}" s="{s}"/>')
                elif isinstance(v, str):
                    if v not in strings:
                        strings.append(v)
                    out.append(f'<c r="{ref(c, r)}" s="{s}" t="s"><v>{strings.index(v)}</v></c>')
                else:
                    out.append(f'<c r="{ref(c, r)}" s="{s}"><v>{v}</v></c>')
            out.append("</row>")
        out.append("</sheetData>")
        if self.merges:
            out.append(f'<mergeCells count="{len(self.merges)}">')
            out.extend(f'<mergeCell ref="{m}"/>' for m in self.merges)
            out.append("</mergeCells>")
        lm, rm, tm, bm = self.margins
        out.append('<printOptions horizontalCentered="1"/>'
                   f'<pageMargins left="{lm}" right="{rm}" top="{tm}" bottom="{bm}" header="0.2" footer="0.2"/>'
                   f'<pageSetup paperSize="9" orientation="{"landscape" if self.landscape else "portrait"}" '
                   f'scale="{self.SCALES[self.name]}"/></worksheet>')
        return "".join(out)


def rank(style):
    return {"hair": 1, "dotted": 1, "thin": 2, "dashed": 2, "medium": 3, "double": 4}.get(style, 0)


def parse(a1):
    i = 0
    while a1[i].isalpha():
        i += 1
    return col_index(a1[:i]), int(a1[i:])


def write_workbook(path, sheets):
    styles = Styles()
    strings = []
    sheet_xml = [s.xml(styles, strings) for s in sheets]
    sst = ['<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
           f'<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" count="{len(strings)}" '
           f'uniqueCount="{len(strings)}">']
    sst.extend(f"<si><t>{escape(s)}</t></si>" for s in strings)
    sst.append("</sst>")
    n = len(sheets)
    content_types = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                     '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
                     '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
                     '<Default Extension="xml" ContentType="application/xml"/>'
                     '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
                     + "".join(f'<Override PartName="/xl/worksheets/sheet{i}.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>'
                               for i in range(1, n + 1))
                     + '<Override PartName="/xl/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/>'
                     '<Override PartName="/xl/sharedStrings.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/>'
                     '<Override PartName="/docProps/app.xml" ContentType="application/vnd.openxmlformats-officedocument.extended-properties+xml"/>'
                     "</Types>")
    rels = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
            '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>'
            '<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties" Target="docProps/app.xml"/>'
            "</Relationships>")
    app = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
           '<Properties xmlns="http://schemas.openxmlformats.org/officeDocument/2006/extended-properties">'
           "<Application>TavikBooks report templates</Application></Properties>")
    workbook = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                '<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
                'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">'
                '<bookViews><workbookView activeTab="0"/></bookViews><sheets>'
                + "".join(f'<sheet name="{s.name}" sheetId="{i}" r:id="rId{i}"/>' for i, s in enumerate(sheets, 1))
                + "</sheets></workbook>")
    wb_rels = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
               '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
               + "".join(f'<Relationship Id="rId{i}" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet{i}.xml"/>'
                         for i in range(1, n + 1))
               + f'<Relationship Id="rId{n + 1}" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.xml"/>'
               f'<Relationship Id="rId{n + 2}" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml"/>'
               "</Relationships>")
    parts = [("[Content_Types].xml", content_types), ("_rels/.rels", rels), ("docProps/app.xml", app),
             ("xl/workbook.xml", workbook), ("xl/_rels/workbook.xml.rels", wb_rels),
             ("xl/styles.xml", styles.xml()), ("xl/sharedStrings.xml", "".join(sst))]
    parts += [(f"xl/worksheets/sheet{i}.xml", x) for i, x in enumerate(sheet_xml, 1)]
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in parts:
            info = zipfile.ZipInfo(name, date_time=(2026, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data.encode("utf-8"))


# ---------------------------------------------------------------- formats

F_TEXT = (P_GOTHIC, 10, False, None)
F_BOLD = (P_GOTHIC, 10, True, None)
F_LABEL = (P_GOTHIC, 9, False, None)
F_HEAD = (P_GOTHIC, 8, False, None)
F_SIDE = (P_GOTHIC, 11, True, None)
F_TITLE = (P_GOTHIC, 20, True, "double")
F_CODE = (GOTHIC, 10, False, None)
F_SMALLCODE = (GOTHIC, 9, False, None)
F_SUM = (GOTHIC, 11, True, None)

HEAD_FILL = "E4ECF5"
DEBIT_FILL = "DCE8F4"
CREDIT_FILL = "F6E0DC"

RIGHT = ("right", "center", True, 1)
RIGHT_EDGE = ("right", "center", True)
CENTER = ("center", "center", True)
CENTER_NOSHRINK = ("center", "center", False)
# Free texts (names, descriptions, partners, the person): one line that
# shrinks to fit its cell. The report control makes a text too wide for its
# cell smaller, down to a readable size, and cuts what is still too wide at
# the cell's edge, so that it never runs on past the form (a text running
# past the last column would widen the printed area).
TEXT_FIT = ("left", "center", True)
TEXT_FIT_CENTER = ("center", "center", True)


# ---------------------------------------------------------------- the transfer voucher

def voucher_block(sh, r0, lines, suffix, line_height):
    """Draws one voucher block from row r0 and returns the row after it.
    Columns: A line number; B-E debit; F-I credit. Each line takes four rows:
    account, sub-account 1, sub-account 2 and description; amounts, tax, tax
    code and partner on the right of each side."""
    s = suffix
    sh.heights.update({r0: 34, r0 + 1: 19, r0 + 2: 19, r0 + 3: 19, r0 + 4: 6, r0 + 5: 17})
    sh.put(f"C{r0}", "振　替　伝　票", font=F_TITLE, align=CENTER_NOSHRINK, merge=f"G{r0}")
    sh.put(f"H{r0}", f"**Page{s}", font=F_CODE, align=("right", "bottom", False), merge=f"I{r0}")

    sh.put(f"A{r0 + 1}", f"**SskGrp{s}", font=F_BOLD, align=TEXT_FIT, merge=f"C{r0 + 1}")
    sh.put(f"D{r0 + 1}", "伝票日付", font=F_LABEL, fill=HEAD_FILL, align=CENTER, merge=f"E{r0 + 1}")
    sh.put(f"F{r0 + 1}", f"**Date{s}", font=F_CODE, align=CENTER, merge=f"G{r0 + 1}")
    sh.put(f"D{r0 + 2}", "伝票No", font=F_LABEL, fill=HEAD_FILL, align=CENTER, merge=f"E{r0 + 2}")
    sh.put(f"F{r0 + 2}", f"**Denno{s}", font=F_CODE, align=CENTER, merge=f"G{r0 + 2}")
    sh.box(f"D{r0 + 1}", f"G{r0 + 2}")
    sh.vline(f"E{r0 + 1}", f"E{r0 + 2}", "thin")
    sh.hline(f"D{r0 + 1}", f"G{r0 + 1}", "thin")

    sh.put(f"H{r0 + 1}", "承　認", font=F_LABEL, fill=HEAD_FILL, align=CENTER)
    sh.put(f"I{r0 + 1}", "担　当", font=F_LABEL, fill=HEAD_FILL, align=CENTER)
    sh.put(f"H{r0 + 2}", None, merge=f"H{r0 + 3}")
    sh.put(f"I{r0 + 2}", f"**Tanto{s}", font=F_TEXT, align=TEXT_FIT_CENTER, merge=f"I{r0 + 3}")
    sh.box(f"H{r0 + 1}", f"I{r0 + 3}")
    sh.vline(f"H{r0 + 1}", f"H{r0 + 3}", "thin")
    sh.hline(f"H{r0 + 1}", f"I{r0 + 1}", "thin")

    sh.put(f"A{r0 + 3}", "摘要", font=F_LABEL, fill=HEAD_FILL, align=CENTER)
    sh.put(f"B{r0 + 3}", f"**Dtekiyo{s}", font=F_TEXT, align=TEXT_FIT, merge=f"G{r0 + 3}")
    sh.box(f"A{r0 + 3}", f"G{r0 + 3}")
    sh.vline(f"A{r0 + 3}", f"A{r0 + 3}", "thin")

    # Column headings: the side, then four rows that name what each line row holds.
    h = r0 + 5
    sh.put(f"A{h}", "行", font=F_LABEL, fill=HEAD_FILL, align=CENTER, merge=f"A{h + 4}")
    sh.put(f"B{h}", "借　　　　　　方", font=F_SIDE, fill=DEBIT_FILL, align=CENTER, merge=f"E{h}")
    sh.put(f"F{h}", "貸　　　　　　方", font=F_SIDE, fill=CREDIT_FILL, align=CENTER, merge=f"I{h}")
    names = (("勘定科目", "金　　額"), ("補助科目１", "消 費 税"), ("補助科目２", "税 区 分"), ("摘　　要", "取 引 先"))
    for i, (left, right) in enumerate(names, start=1):
        sh.heights[h + i] = 11.5
        for code_col, amount_col, fill in (("B", "D", DEBIT_FILL), ("F", "H", CREDIT_FILL)):
            name_col = chr(ord(code_col) + 1)
            end_col = chr(ord(amount_col) + 1)
            sh.put(f"{code_col}{h + i}", left, font=F_HEAD, fill=fill, align=CENTER, merge=f"{name_col}{h + i}")
            sh.put(f"{amount_col}{h + i}", right, font=F_HEAD, fill=fill, align=CENTER, merge=f"{end_col}{h + i}")
            sh.vline(f"{name_col}{h + i}", f"{name_col}{h + i}", "thin")
            if i < 4:
                sh.hline(f"{code_col}{h + i}", f"{end_col}{h + i}", "hair")
    sh.hline(f"A{h}", f"I{h}", "thin")
    sh.box(f"A{h}", f"I{h + 4}", "medium")
    sh.vline(f"A{h}", f"A{h + 4}", "medium")
    sh.vline(f"E{h}", f"E{h + 4}", "medium")

    # The lines.
    top = h + 5
    for n in range(lines):
        r = top + 4 * n
        for k in range(4):
            sh.heights[r + k] = line_height
        first = n == 0
        sh.put(f"A{r}", f"**Gyo{s}" if first else None, font=F_CODE, align=CENTER, merge=f"A{r + 3}")
        for side, code_col in ((1, "B"), (2, "F")):
            name_col = chr(ord(code_col) + 1)
            amt_col = chr(ord(code_col) + 2)
            end_col = chr(ord(code_col) + 3)

            def m(name):
                return f"**{name}({side}){s}" if first else None

            sh.put(f"{code_col}{r}", m("Kmkcd"), font=F_CODE, align=CENTER)
            sh.put(f"{name_col}{r}", m("Kmk"), font=F_TEXT, align=TEXT_FIT)
            sh.put(f"{amt_col}{r}", m("Kin"), font=F_CODE, align=RIGHT, merge=f"{end_col}{r}")
            sh.put(f"{code_col}{r + 1}", m("Hk1cd"), font=F_CODE, align=CENTER)
            sh.put(f"{name_col}{r + 1}", m("Hk1"), font=F_TEXT, align=TEXT_FIT)
            sh.put(f"{amt_col}{r + 1}", m("Tax"), font=F_SMALLCODE, align=RIGHT, merge=f"{end_col}{r + 1}")
            sh.put(f"{code_col}{r + 2}", m("Hk2cd"), font=F_CODE, align=CENTER)
            sh.put(f"{name_col}{r + 2}", m("Hk2"), font=F_TEXT, align=TEXT_FIT)
            sh.put(f"{amt_col}{r + 2}", m("Zkbn"), font=F_SMALLCODE, align=CENTER)
            sh.put(f"{end_col}{r + 2}", m("Zkbnnm"), font=F_LABEL, align=TEXT_FIT)
            sh.put(f"{code_col}{r + 3}", m("Tekiyo"), font=F_LABEL, align=TEXT_FIT, merge=f"{name_col}{r + 3}")
            sh.put(f"{amt_col}{r + 3}", m("Tri"), font=F_LABEL, align=TEXT_FIT, merge=f"{end_col}{r + 3}")
            for k in range(3):
                sh.hline(f"{code_col}{r + k}", f"{end_col}{r + k}", "dotted")
            sh.vline(f"{code_col}{r}", f"{code_col}{r + 2}", "dotted")
            sh.vline(f"{name_col}{r}", f"{name_col}{r + 3}", "thin")
            sh.vline(f"{amt_col}{r + 2}", f"{amt_col}{r + 2}", "dotted")
        sh.hline(f"A{r + 3}", f"I{r + 3}", "thin")
    bottom = top + 4 * lines - 1
    sh.vline(f"A{top}", f"A{bottom}", "medium")
    sh.vline(f"E{top}", f"E{bottom}", "medium")
    sh.box(f"A{top}", f"I{bottom}", "medium")

    # Totals.
    t = bottom + 1
    sh.heights[t] = 22
    sh.put(f"B{t}", "合　　　計", font=F_BOLD, fill=DEBIT_FILL, align=CENTER, merge=f"C{t}")
    sh.put(f"D{t}", f"**Sum(1){s}", font=F_SUM, align=RIGHT, merge=f"E{t}")
    sh.put(f"F{t}", "合　　　計", font=F_BOLD, fill=CREDIT_FILL, align=CENTER, merge=f"G{t}")
    sh.put(f"H{t}", f"**Sum(2){s}", font=F_SUM, align=RIGHT, merge=f"I{t}")
    sh.box(f"B{t}", f"I{t}", "medium")
    sh.hline(f"B{t}", f"I{t}", "double", top=True)
    for c in ("C", "E", "G"):
        sh.vline(f"{c}{t}", f"{c}{t}", "medium" if c == "E" else "thin")
    return t + 1


VOUCHER_WIDTHS = [4.5, 7, 21, 5.5, 14.5, 7, 21, 5.5, 14.5]


def voucher_workbook():
    six = Sheet("6", VOUCHER_WIDTHS, landscape=True)
    voucher_block(six, 1, 6, "", 14.25)

    nine = Sheet("9", VOUCHER_WIDTHS, landscape=False, margins=(0.3, 0.3, 0.3, 0.3))
    end = voucher_block(nine, 1, 6, "", 11.25)
    # The cut line between the upper and the lower voucher.
    nine.heights[end] = 14
    nine.heights[end + 1] = 14
    nine.hline(f"A{end}", f"I{end}", "dashed")
    voucher_block(nine, end + 2, 6, "_2", 11.25)

    twelve = Sheet("12", VOUCHER_WIDTHS, landscape=False)
    voucher_block(twelve, 1, 12, "", 13.5)
    write_workbook(os.path.join(OUT, "WKP410.XLS"), [six, nine, twelve])


# ---------------------------------------------------------------- the ledger

def ledger_workbook():
    widths = [11, 7.5, 13, 13, 13, 11, 30, 13, 13, 14]
    sh = Sheet("LP410", widths, landscape=True, margins=(0.35, 0.35, 0.4, 0.4))
    sh.heights.update({1: 30, 2: 17, 3: 17, 4: 6, 5: 20})
    sh.put("A1", "**MUMI", font=F_TEXT, align=TEXT_FIT, merge="C1")
    sh.put("D1", "**TITLE", font=(P_GOTHIC, 18, True, "double"), align=CENTER_NOSHRINK, merge="G1")
    sh.put("H1", "作成日", font=F_LABEL, align=("right", "center", False))
    sh.put("I1", "**PRDT", font=F_CODE, numfmt="yyyy/mm/dd", align=CENTER)
    sh.put("J1", "**PAGE", font=F_CODE, numfmt='0" 頁"', align=RIGHT)
    sh.put("A2", "**SSK", font=F_TEXT, align=TEXT_FIT, merge="C2")
    sh.put("D2", "**KAMOKU", font=(P_GOTHIC, 12, True, None), align=TEXT_FIT_CENTER, merge="G2")
    sh.put("H2", "期間", font=F_LABEL, align=("right", "center", False))
    sh.put("I2", "**YMDS", font=F_CODE, numfmt="yyyy/mm/dd", align=CENTER)
    sh.put("J2", "**YMDE", font=F_CODE, numfmt='"～ "yyyy/mm/dd', align=CENTER)
    sh.put("A3", "**GRP", font=F_TEXT, align=TEXT_FIT, merge="C3")
    sh.hline("D2", "G2", "thin")

    heads = ["日　付", "伝票No", "相手科目", "相手補助科目１", "相手補助科目２", "税区分", "摘　　　　要",
             "借方金額", "貸方金額", "残　　高"]
    for i, text in enumerate(heads, start=1):
        sh.put(f"{col_name(i)}5", text, font=F_LABEL, fill=HEAD_FILL, align=CENTER)
        sh.vline(f"{col_name(i)}5", f"{col_name(i)}5", "thin")
    sh.box("A5", "J5", "medium")

    markers = ["DATE", "DENO", "AKMK", "AHK1", "AHK2", "ZKBN", "TEKIYO", "KARI", "KASI", "ZAND"]
    # The balance stands against the thick right edge of the table, where the
    # converter leaves out the indent of a figure: its format keeps the same
    # room instead.
    aligns = [CENTER, CENTER, TEXT_FIT, TEXT_FIT, TEXT_FIT, TEXT_FIT, TEXT_FIT, RIGHT, RIGHT, RIGHT_EDGE]
    numfmts = {"KARI": "#,##0", "KASI": "#,##0", "ZAND": "#,##0_0"}
    fonts = [F_SMALLCODE, F_SMALLCODE, F_LABEL, F_LABEL, F_LABEL, F_LABEL, F_LABEL, F_CODE, F_CODE, F_CODE]
    top = 6
    for n in range(30):
        r = top + 2 * n
        sh.heights[r] = 8.75
        sh.heights[r + 1] = 8.75
        for i, name in enumerate(markers, start=1):
            c = col_name(i)
            sh.put(f"{c}{r}", f"**{name}" if n == 0 else None, font=fonts[i - 1], align=aligns[i - 1],
                   numfmt=numfmts.get(name), merge=f"{c}{r + 1}")
            sh.vline(f"{c}{r}", f"{c}{r + 1}", "thin")
        sh.hline(f"A{r + 1}", f"J{r + 1}", "dotted")
    sh.box(f"A{top}", f"J{top + 59}", "medium")
    write_workbook(os.path.join(OUT, "WLP410.XLS"), [sh])


if __name__ == "__main__":
    os.makedirs(OUT, exist_ok=True)
    voucher_workbook()
    ledger_workbook()
    print("wrote", os.path.join(OUT, "WKP410.XLS"), "and", os.path.join(OUT, "WLP410.XLS"), file=sys.stderr)
