"""Writes the sample print command files of the engine's tests (tests/data/ovlprint-*.tmp):
report pages laid out as the printing programs lay them out, with realistic figures.
Run again only to redraw the samples."""
import math, os, sys
def c4(v):
    n = math.floor(v*10+1e-9)
    return ("-%04d" % -n) if n < 0 else "%04d" % n
def te(x, y, t, sx=100, sy=100, shift=-2):
    return "TE " + c4(x+shift) + c4(y) + "3" + "1" + "%03d%03d" % (sx, sy) + t
def hl(x, y, l, tic=1, shift=-2):
    return "HL " + c4(x+shift) + c4(y) + c4(l) + "%02d" % tic + "0" + "0000"*4
def num(v, w):
    s = "{:,}".format(v)
    return s.rjust(w)
def write(path, lines):
    with open(path, "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("cp932"))
def rate(a, y1, y2, r):
    t = str(r); L=(10-len(t)); right=L//2; left=L-right
    return [te(a, y1, " "*left + t + " "*right), hl(a+1, y1, 8), te(a+4, y2, "100")]
def kov120(pages=1, month=12, monthly=True):
    L = ["ST 011001", "CR 15063"]
    names = ["山田　太郎", "佐藤　花子", "鈴木　一郎", "高橋　由美子", "田中　健", "渡辺　真理子", "伊藤　誠", "中村　明美"]
    jobs = ["教諭", "講師", "養護教諭", "事務職員", "校長", "教頭"]
    for p in range(pages):
        if p: L.append("PE ")
        if month == 3:
            L += [te(92, 5.5, "増減額"), te(92, 6.5, "期　末"), te(92, 7.5, "手　当")]
        else:
            L += [te(92, 5.5, "期　末"), te(92, 7.5, "手　当")]
        L.append(te(16, 3.5, "令和 8年 3月" if month == 3 else "令和 8年12月"))
        L.append(te(180, 4.5, " 5 -%3d" % (p+1)))
        for n in range(1, 25):
            y1, y2 = 2*n+6.5, 2*n+7.5
            if n % 8 == 0:
                L.append(te(5, y1, "市立第一小学校" if n != 24 else "※ブロック合計※", 75 if n != 24 else 75))
                L.append(te(21, y2, num(41234567, 12)))
                L.append(te(123, y2, num(12345678, 12)))
                continue
            k = n + p
            L.append(te(5, y1, (jobs[k % len(jobs)]).ljust(30), 75))
            L.append(te(5, y2, names[k % len(names)], 75))
            if monthly: L.append(te(17, y2, "2-%02d" % (k % 40 + 1)))
            L.append(te(21, y2, num(312300 + 1000*k, 12)))
            L.append(te(33, y2, num(12492, 8)))
            L.append(te(41, y2, num(0, 8)))
            L.append(te(49, y2, num(13000, 8)))
            L.append(te(57, y1, num(33819, 10)))
            L.append(te(57, y2, num(33819, 10)))
            L.append(te(67, y1, num(395530, 12)))
            L.append(te(67, y2, num(359700, 12)))
            L += rate(79, y1, y2, 122.5)
            if month == 3:
                L.append(te(89, y1, num(-12840, 12)))
            else:
                L += rate(101, y1, y2, 95)
            L.append(te(89, y2, num(484524, 12)))
            if month != 3:
                L.append(te(111, y2, num(341715, 12)))
            L.append(te(123, y2, num(826239, 12)))
            L.append(te(135, y2, num(254860, 10)))
            L.append(te(145, y2, "%2d" % (k % 4)))
            L.append(te(147, y2, " 6.126"))
            L.append(te(153, y2, num(50614, 10)))
            L.append(te(163, y2, num(4957, 8)))
            L.append(te(171, y1, num(41312, 10)))
            L.append(te(171, y2, num(75654, 10)))
            L.append(te(181, y2, num(653702, 12)))
            L.append(te(195, y1, "6カ月 0日"))
            L.append(te(195, y2, "5カ月15日"))
    L.append("ED ")
    return L

def kov140(pages=1):
    L = ["ST 011001", "CR 15063"]
    names = ["山田　太郎", "佐藤　花子", "鈴木　一郎", "高橋　由美子"]
    for p in range(pages):
        if p: L.append("PE ")
        L.append(te(16, 3.5, "令和 08年11月分"))
        L.append(te(180, 4.5, " 3 -%3d" % (p+1)))
        for n in range(1, 25):
            y1, y2 = 2*n+6.5, 2*n+7.5
            if n == 24:
                L.append(te(7, y1, "※ブロック合計※", 75))
            elif n % 8 == 0:
                L.append(te(7, y1, "町立みどり台中学校", 75))
            else:
                L.append(te(7.2, y1, "教諭".ljust(30), 75))
                L.append(te(7.2, y2, names[n % 4], 75))
                L.append(te(23, y2, "2-%02d" % n))
            vals = [(27, 2, 12, 2400), (39, 2, 8, 96), (47, 2, 8, 240), (55, 2, 8, 0), (63, 1, 8, 0), (63, 2, 8, 120),
                    (71, 2, 8, 0), (79, 2, 8, 0), (87, 1, 8, 0), (87, 2, 8, 0), (95, 2, 8, 0), (103, 2, 8, 0),
                    (111, 1, 8, 1520), (111, 2, 8, 0), (119, 2, 8, 0), (127, 2, 8, 0)]
            for x, row, w, v in vals:
                L.append(te(x, y1 if row == 1 else y2, num(v * (3 if n % 8 == 0 else 1), w)))
            L.append(te(134, y1, ""))
            for x, row, w, v in [(135, 2, 11, 4376), (147, 1, 8, 221), (147, 2, 8, 402), (155, 2, 8, 26),
                                 (163, 2, 8, 1200), (170, 2, 11, 1849), (181, 2, 12, 2527), (193, 2, 10, 0)]:
                L.append(te(x, y1 if row == 1 else y2, num(v, w)))
    L.append("ED ")
    return L

def kov570(pages=2):
    L = ["ST 011001", "CR 15063"]
    schools = ["小学校", "中学校", "全　体"]
    for p in range(pages):
        L.append("PE ")
        L.append(te(18, 5, "令和 8年度分", shift=0))
        L.append(te(33, 5, "第一財務事務所", shift=0))
        L.append(te(78, 5, schools[p % 3] + "給与費支出額集計表    ", 200, 100, shift=0))
        widths = [(4,0),(11,1),(10,0),(11,0),(12,1),(11,0),(11,0),(11,0),(11,0),(0,0),(10,0),(0,0),(11,0),(0,0),(10,0),(7,1),(11,0),(11,1),(11,1),(13,0),(15,0)]
        edit = [4,11,10,11,12,11,11,11,11,10,10,11,11,10,10,7,11,11,11,13,15]
        upper = {9, 11, 13}
        y = 5
        for m in range(1, 15):
            y = 11 + 2*(m-1)
            x, last = 8, 0
            for i, (w, gap) in enumerate(widths):
                x = x + last + gap
                last = w
                cap = 10 ** (edit[i] * 3 // 4 - 1) if i else 1
                v = (120 + m) if i == 0 else ((123456789 * (i + 3) // 7) % cap) * (12 if m == 14 else 1) // 12
                t = ("%4d" % v) if i == 0 else num(v, edit[i])
                L.append(te(x, y - 1 if i in upper else y, t, shift=0))
            if m == 14:
                L.append(te(123, y + 1, num(98765, 10), shift=0))
    L.append("ED ")
    return L


if __name__ == "__main__":
    data = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "data")
    write(os.path.join(data, "ovlprint-kov120-monthly.tmp"), kov120(2, 12, True))
    write(os.path.join(data, "ovlprint-kov121-daily-march.tmp"), kov120(1, 3, False))
    write(os.path.join(data, "ovlprint-kov140.tmp"), kov140(1))
    write(os.path.join(data, "ovlprint-kov570.tmp"), kov570(3))
