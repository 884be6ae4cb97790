#!/usr/bin/env python3
"""Draws the form overlays of the reports as SVG files.

The .ovl files beside this script are the forms; they may be edited by hand or in
any SVG editor. This script is how they were drawn: run it again only to redraw
them from the tables below (it overwrites the .ovl files).

Units: one SVG unit is 1/15 inch on both axes. A column x of the print command file
is x units from the left edge of the paper; a line y is y * 2.5 units from the top.
A text printed at line y stands in the band from line y - 1 to line y.
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
LINE = 2.5                      # SVG units per line
PAGE_W = 364 / 25.4 * 15        # JIS B4 landscape
PAGE_H = 257 / 25.4 * 15
FONT = "IPAGothic"
MM = 15 / 25.4                  # SVG units per millimetre
THICK = 0.35 * MM
THIN = 0.15 * MM
HAIR = 0.1 * MM
# Column rules stand a little right of the field boundary, so that the last digit of
# a right-aligned figure does not touch them.
NUDGE = 0.3


def fmt(v):
    return ("%.3f" % v).rstrip("0").rstrip(".")


class Svg:
    def __init__(self, title):
        self.parts = []
        self.title = title

    def line(self, x1, y1, x2, y2, width=THIN, dash=None):
        # Dashes would be drawn as hundreds of separate strokes on every page; a light
        # grey hairline reads the same and keeps the PDF small.
        d = ' stroke="#808080"' if dash else ""
        self.parts.append('<line x1="%s" y1="%s" x2="%s" y2="%s" stroke-width="%s"%s/>' % (
            fmt(x1), fmt(y1 * LINE), fmt(x2), fmt(y2 * LINE), fmt(width), d))

    def hline(self, x1, x2, y, width=THIN, dash=None):
        self.line(x1, y, x2, y, width, dash)

    def vline(self, x, y1, y2, width=THIN, dash=None):
        self.line(x, y1, x, y2, width, dash)

    def rect(self, x1, y1, x2, y2, width=THICK):
        self.parts.append('<rect x="%s" y="%s" width="%s" height="%s" fill="none" stroke-width="%s"/>' % (
            fmt(x1), fmt(y1 * LINE), fmt(x2 - x1), fmt((y2 - y1) * LINE), fmt(width)))

    def text(self, s, x, band_bottom, size=1.6, anchor="start", fit=None, weight=None):
        """A caption whose foot stands on band_bottom (a line number); fit condenses it
        to at most that many units across."""
        width = sum(size / 2 if ord(c) < 0x80 or 0xFF61 <= ord(c) <= 0xFF9F else size for c in s)
        sx = 1.0
        if fit and width > fit:
            sx = fit / width
        y = band_bottom * LINE - 0.12 * size - (LINE - size) / 2 * 0.6
        w = ' font-weight="bold"' if weight else ""
        self.parts.append(
            '<text transform="translate(%s,%s) scale(%s,1)" font-size="%s" text-anchor="%s" stroke="none"%s>%s</text>' % (
                fmt(x), fmt(y), fmt(sx), fmt(size), anchor, w, s))

    def centred(self, s, x1, x2, band_bottom, size=1.6):
        self.text(s, (x1 + x2) / 2, band_bottom, size, "middle", fit=(x2 - x1) - 1.0)

    def save(self, name):
        out = ['<?xml version="1.0" encoding="UTF-8"?>',
               '<!-- %s: form overlay. 1 unit = 1/15 inch; column x = x, line y = y * 2.5 (JIS B4 landscape). -->' % self.title,
               '<svg xmlns="http://www.w3.org/2000/svg" version="1.2" baseProfile="tiny" width="364mm" height="257mm" '
               'viewBox="0 0 %s %s">' % (fmt(PAGE_W), fmt(PAGE_H)),
               '<title>%s</title>' % self.title,
               '<g stroke="black" fill="black" font-family="%s">' % FONT]
        out += ["  " + p for p in self.parts]
        out += ["</g>", "</svg>", ""]
        with open(os.path.join(HERE, name), "w", encoding="utf-8", newline="\n") as f:
            f.write("\n".join(out))


def stacked(svg, chars, x1, x2, top, bottom, size=1.6):
    """A caption written downwards, one character a step (for narrow columns)."""
    step = (bottom - top) / len(chars)
    for i, c in enumerate(chars):
        svg.centred(c, x1, x2, top + step * (i + 1) - (step - size / LINE) / 2 + 0.05, size)


def block_report(name, title, marker, bounds, captions, left_caption, grade_x, blank_cols,
                 paired, variable_caption_col):
    """kov120 and kov140: heading, a three-line column header (lines 4.5 to 7.5) and 24
    two-line entries (lines 7.5 to 55.5)."""
    svg = Svg(title)
    # The right frame, like the column rules, stands clear of the last figure.
    left, right = bounds[0], bounds[-1] + NUDGE
    top, head, bottom = 4.5, 7.5, 55.5
    # Title, centred over the page, with a double rule under it.
    tx = (left + right) / 2
    svg.text(title, tx, 3.1, size=3.4, anchor="middle")
    half = len(title) * 3.4 / 2 + 2
    svg.hline(tx - half, tx + half, 3.35, THIN)
    svg.hline(tx - half, tx + half, 3.55, THIN)
    if marker:
        svg.rect(tx + half + 3, 2.2, tx + half + 15, 3.5, THIN)
        svg.centred(marker, tx + half + 3, tx + half + 15, 3.35, 1.6)
    # Frame, header rule and column rules.
    svg.rect(left, top, right, bottom, THICK)
    svg.hline(left, right, head, THICK)
    for x in bounds[1:-1]:
        svg.vline(x + NUDGE, top, bottom, THIN)
    # Entries: a rule under each, a dotted rule between its upper and lower row.
    for n in range(1, 25):
        y1 = 2 * n + 6.5
        if n < 24:
            svg.hline(left, right, y1 + 1, THIN)
        for a, b in paired:
            svg.hline(a, b, y1, HAIR, dash="0.3,0.3")
    # Header captions: (x1, x2, upper text, lower text) or a single text on the middle.
    for x1, x2, upper, lower in captions:
        if x1 in blank_cols:
            continue
        if lower is None:
            if len(upper) > 1 and (x2 - x1) < 3:
                stacked(svg, upper, x1, x2, top, head)
            else:
                svg.centred(upper, x1, x2, 6.5)
        else:
            svg.hline(x1, x2, 6.0, HAIR, dash="0.3,0.3")
            svg.centred(upper, x1, x2, 5.75)
            svg.centred(lower, x1, x2, 7.25)
    up, low = left_caption
    svg.hline(left, bounds[1], 6.0, HAIR, dash="0.3,0.3")
    svg.text(up, left + 0.8, 5.75)
    svg.text(low, left + 0.8, 7.25)
    if grade_x is not None:
        svg.centred("級-号", grade_x, bounds[1], 7.25, 1.4)
    if variable_caption_col is not None:
        # The caption of this column is printed with the job (it depends on the month).
        pass
    # Page label caption above the label at the top right.
    svg.save(name)


def kov120(name, marker, monthly):
    # The left frame is kept 4 mm from the paper's edge, inside what printers can reach.
    bounds = [2.5, 19, 31, 39, 47, 55, 65, 77, 87, 99, 109, 121, 133, 143, 145, 151, 161, 169, 179, 191, 203]
    captions = [
        (19, 31, "給　料", None),
        (31, 39, "教職調整額", None),
        (39, 47, "調整額", None),
        (47, 55, "扶養手当", None),
        (55, 65, "期末地域手当", "勤勉地域手当"),
        (65, 77, "期末基礎額", "勤勉基礎額"),
        (77, 87, "期末", "支給割合"),
        (87, 99, "", None),
        (99, 109, "勤勉", "成績率"),
        (109, 121, "勤勉手当", None),
        (121, 133, "総支給額", None),
        (133, 143, "前月給与", "課税額"),
        (143, 145, "扶養数", None),
        (145, 151, "税率", None),
        (151, 161, "所得税", None),
        (161, 169, "雇用保険", None),
        (169, 179, "健康保険", "厚生年金"),
        (179, 191, "差引支給額", None),
        (191, 203, "期末期間", "勤勉期間"),
    ]
    paired = [(55, 65), (65, 77), (77, 87), (87, 99), (99, 109), (169, 179), (191, 203), (2.5, 19)]
    block_report(name, "期末勤勉手当支給調書", marker, bounds, captions, ("職　種", "氏　名"),
                 15 if monthly else None, {87}, paired, 87)


def kov140():
    bounds = [4, 25, 37, 45, 53, 61, 69, 77, 85, 93, 101, 109, 117, 125, 133, 145, 153, 161, 169, 179, 191, 202]
    captions = [
        (25, 37, "給料計", None),
        (37, 45, "調整額", None),
        (45, 53, "地域手当", None),
        (53, 61, "教員特別手当", None),
        (61, 69, "通勤非課税", "通勤課税"),
        (69, 77, "住居手当", None),
        (77, 85, "扶養手当", None),
        (85, 93, "宿日直非課税", "宿日直課税"),
        (93, 101, "へき地手当", None),
        (101, 109, "へき地準", None),
        (109, 117, "超過勤務", "休日給"),
        (117, 125, "期末手当", None),
        (125, 133, "勤勉手当", None),
        (133, 145, "総支給額", None),
        (145, 153, "健康保険", "厚生年金"),
        (153, 161, "雇用保険", None),
        (161, 169, "年調不足額", None),
        (169, 179, "控除合計", None),
        (179, 191, "差引支給額", None),
        (191, 201, "年調還付額", None),
    ]
    paired = [(61, 69), (85, 93), (109, 117), (145, 153), (4, 25)]
    block_report("KOV140p.ovl", "差額支給内訳明細書", None, bounds, captions, ("職　種", "氏　名"),
                 21, set(), paired, None)


def kov570():
    svg = Svg("給与費支出額集計表")
    bounds = [2.5, 8, 12.5, 24, 34, 45.5, 58, 69, 80, 91, 102, 112, 123, 133.5, 141, 152.5, 164.5, 176, 189, 204]
    top, head, bottom = 5.5, 9, 37
    bounds[-1] += NUDGE
    svg.rect(bounds[0], top, bounds[-1], bottom, THICK)
    svg.hline(bounds[0], bounds[-1], head, THICK)
    for x in bounds[1:-1]:
        # Boundaries in the middle of a gap between fields need no nudge.
        svg.vline(x if x != int(x) else x + NUDGE, top, bottom, THIN)
    months = ["4月", "5月", "6月", "7月", "8月", "9月", "10月", "11月", "12月", "1月", "2月", "3月", "翌4月", "合　計"]
    paired = [(102, 112), (112, 123), (123, 133.5)]
    for m, label in enumerate(months, start=1):
        y = 11 + 2 * (m - 1)
        if m < 14:
            svg.hline(bounds[0], bounds[-1], y, THICK if m == 13 else THIN)
        for a, b in paired:
            svg.hline(a, b, y - 1, HAIR, dash="0.3,0.3")
        svg.centred(label, bounds[0], bounds[1], y - 0.5, 1.6)
    captions = [
        (8, 12.5, "人員", None), (12.5, 24, "給　料", None), (24, 34, "教職調整額", None),
        (34, 45.5, "調整額", None), (45.5, 58, "給料等計", None), (58, 69, "地域手当", None),
        (69, 80, "教員特別手当", None), (80, 91, "通勤手当", None), (91, 102, "住居手当", None),
        (102, 112, "扶養手当", "単身赴任手当"), (112, 123, "宿日直手当", "特殊業務手当"),
        (123, 133.5, "へき地手当", "へき地準"), (133.5, 141, "児童・多学", None),
        (141, 152.5, "超勤・休日", None), (152.5, 164.5, "期末手当", None), (164.5, 176, "勤勉手当", None),
        (176, 189, "諸手当計", None), (189, 204, "総合計", None),
    ]
    svg.centred("月", bounds[0], bounds[1], 7.75)
    for x1, x2, upper, lower in captions:
        if lower is None:
            svg.centred(upper, x1, x2, 7.75)
        else:
            svg.hline(x1, x2, 7.25, HAIR, dash="0.3,0.3")
            svg.centred(upper, x1, x2, 7.0)
            svg.centred(lower, x1, x2, 8.75)
    # Under the total row: the sum of the two remote-area items.
    svg.rect(123, 37, 133.5, 38.2, THIN)
    svg.centred("へき地計", 112, 123, 38.0)
    svg.text("（単位：円）", 204, 5.2, 1.5, "end")
    svg.save("Kov570p.OVL")


if __name__ == "__main__":
    kov120("KOV120p.ovl", "月額者", True)
    kov120("KOV121p.ovl", "日額者", False)
    kov140()
    kov570()
