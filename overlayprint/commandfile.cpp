#include "commandfile.h"

#include "common/cp932.h"
#include "common/fileerror.h"
#include "common/text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>

namespace kov::overlayprint {

namespace {

constexpr Paper kPapers[] = {
    {8, "A3", 297.0, 420.0}, {9, "A4", 210.0, 297.0}, {11, "B4", 257.0, 364.0}, // JIS B4, the size of the forms
};

constexpr double kEps = 1e-9;

std::string decimal10(int v10)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%d.%d", v10 < 0 ? "-" : "", std::abs(v10) / 10, std::abs(v10) % 10);
    return buf;
}

// Shows a field as it stood in the file; bytes outside printable ASCII as <xx>.
std::string shown(std::string_view raw)
{
    std::string out;
    for (unsigned char c : raw) {
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            out += "<" + text::hexCode(c, 2) + ">";
        }
    }
    return out;
}

class LineError {
public:
    explicit LineError(std::string m) : message(std::move(m)) {}
    std::string message;
};

// Cursor over the fields of one command line.
class Fields {
public:
    Fields(std::string_view line, const char* command) : m_line(line), m_pos(3), m_command(command) {}

    std::size_t pos() const { return m_pos; }
    bool atEnd() const { return m_pos >= m_line.size(); }
    std::string_view rest() const { return m_line.substr(std::min(m_pos, m_line.size())); }

    // Exactly `digits` digits.
    int number(int digits, const char* what)
    {
        const std::string_view raw = take(static_cast<std::size_t>(digits), what);
        int v = 0;
        for (char c : raw) {
            if (c < '0' || c > '9')
                throw LineError(std::string(m_command) + " の" + what + "「" + shown(raw) + "」が数字ではありません。");
            v = v * 10 + (c - '0');
        }
        return v;
    }

    // Coordinate x10: four digits, or "-" and four digits.
    int coordinate(const char* what)
    {
        const bool negative = m_pos < m_line.size() && m_line[m_pos] == '-';
        if (negative) ++m_pos;
        const int v = number(4, what);
        return negative ? -v : v;
    }

private:
    std::string_view take(std::size_t n, const char* what)
    {
        if (m_pos + n > m_line.size()) {
            throw LineError(std::string(m_command) + " の" + what + "が足りません（" + std::to_string(m_pos + 1) +
                            " 文字目、" + std::to_string(n) + " 桁の欄）。");
        }
        const std::string_view raw = m_line.substr(m_pos, n);
        m_pos += n;
        return raw;
    }

    std::string_view m_line;
    std::size_t m_pos;
    const char* m_command;
};

void requireAscii(std::string_view line)
{
    for (std::size_t i = 0; i < line.size(); ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c < 0x20 || c >= 0x7F) {
            throw LineError("命令の欄に使えない文字（バイト " + shown(line.substr(i, 1)) + "、" +
                            std::to_string(i + 1) + " バイト目）があります。");
        }
    }
}

void requireEnd(const Fields& f, const char* command)
{
    if (!f.atEnd()) {
        throw LineError(std::string(command) + " の行の後ろに余分な文字「" + shown(f.rest().substr(0, 40)) +
                        "」があります（座標が 1000.0 以上になって欄がずれたか、欄の桁数が違います）。");
    }
}

// What the parser does with the commands it has checked.
enum class Keep {
    Pages, // into CommandFile::pages (a file read from memory)
    Spans, // nothing but where each page lies (a file read from disk)
    Visit, // hands each to a visitor (a page read again for drawing)
};

class Parser {
public:
    explicit Parser(Keep keep, const std::function<void(const DrawCommand&)>* visit = nullptr)
        : m_keep(keep), m_visit(visit)
    {
        if (keep != Keep::Visit) m_seen.assign(0x10000, false);
    }

    // For a page read again: the layout of the file and the line before the page.
    void resume(const CommandFile& layout, std::size_t lineBefore)
    {
        m_file.paper = layout.paper;
        m_file.landscape = layout.landscape;
        m_file.charsPerInch = layout.charsPerInch;
        m_file.linesPerInch = layout.linesPerInch;
        m_file.defaultFont = layout.defaultFont;
        m_lineNo = lineBefore;
        m_opened = true;
    }

    std::size_t lineNo() const { return m_lineNo; }
    CommandFile take() { return std::move(m_file); }

    // One line without its LF; hasLf is false for the bytes after the last LF. offset is
    // where the line starts in the file, next where the line after it starts.
    void feed(std::string_view line, bool hasLf, std::uint64_t offset, std::uint64_t next)
    {
        ++m_lineNo;
        m_lineOffset = offset;
        m_nextOffset = next;
        if (line.size() > kMaxLineBytes + 1) tooLong(line.size());
        if (!hasLf) throw LineError("行の終わりに CR LF がありません（ファイルが途中で切れています）。");
        if (line.empty() || line.back() != '\r')
            throw LineError("行の終わりの CR がありません（LF だけで改行されています）。");
        line.remove_suffix(1);
        if (line.size() > kMaxLineBytes) tooLong(line.size());
        if (m_ended) throw LineError("ED（終了命令）の後にまだ行があります。");
        m_ended = command(line);
    }

    // A line of `length` bytes that is longer than any line may be (the line number is
    // counted here when the line is not fed).
    [[noreturn]] void tooLong(std::size_t length, bool count = false)
    {
        if (count) ++m_lineNo;
        throw LineError("行が長すぎます（" + std::to_string(length) + " バイト。1 行は " +
                        std::to_string(kMaxLineBytes) + " バイトまでです）。");
    }

    void finish()
    {
        if (!m_ended) {
            throw LineError("ファイルが ED（終了命令）の前で終わっています（印刷指示ファイルが途中で切れています）。");
        }
    }

private:
    // Returns true for ED.
    bool command(std::string_view line)
    {
        if (line.empty()) throw LineError("空の行があります。");
        if (line.size() < 3 || line[2] != ' ') {
            throw LineError("命令「" + shown(line.substr(0, 3)) +
                            "」が読めません（2 文字の命令と空白で始まる行ではありません）。");
        }
        const std::string_view cmd = line.substr(0, 2);
        if (m_lineNo == 1 && cmd != "ST") throw LineError("最初の行が ST（開始命令）ではありません。");
        if (m_lineNo == 2 && cmd != "CR")
            throw LineError("2 行目が CR（文字の大きさと行の間隔の命令）ではありません。");
        if (cmd == "ED") {
            ed(line);
            return true;
        }
        if (cmd == "ST") {
            if (m_lineNo != 1) throw LineError("ST（開始命令）が 2 度あります。");
            st(line);
        } else if (cmd == "CR") {
            if (m_lineNo != 2) throw LineError("CR が 2 行目以外にあります。");
            cr(line);
        } else if (cmd == "TE") {
            te(line);
        } else if (cmd == "HL") {
            hl(line);
        } else if (cmd == "PE") {
            requireAscii(line);
            if (line.size() != 3) throw LineError("PE の後ろに余分な文字があります。");
            pageBreak();
        } else {
            throw LineError("不明な命令「" + shown(cmd) + "」です。");
        }
        return false;
    }

    void ed(std::string_view line)
    {
        requireAscii(line);
        if (line.size() != 3) throw LineError("ED の後ろに余分な文字があります。");
        if (m_keep == Keep::Visit) throw LineError("ページの途中に ED があります。");
        if (m_onPage > 0) closePage();
        else if (m_keep == Keep::Pages && !m_file.pages.empty()) m_file.pages.pop_back();
        if (m_file.pages.empty() && m_file.spans.empty())
            throw LineError("印刷する内容がありません（TE も HL もありません）。");
    }

    void st(std::string_view line)
    {
        requireAscii(line);
        Fields f(line, "ST");
        const int code = f.number(3, "用紙の番号");
        const int orient = f.number(3, "用紙の向き");
        requireEnd(f, "ST");
        m_file.paper = paperByCode(code);
        if (!m_file.paper) {
            throw LineError("ST の用紙の番号 " + std::to_string(code) + " は扱えません（8 = A3、9 = A4、11 = B4）。");
        }
        if (orient != 0 && orient != 1)
            throw LineError("ST の用紙の向き " + std::to_string(orient) + " は扱えません（0 = 縦、1 = 横）。");
        m_file.landscape = orient == 1;
    }

    void cr(std::string_view line)
    {
        requireAscii(line);
        Fields f(line, "CR");
        const int cpi = f.number(2, "1 インチの文字数");
        const int lpi = f.number(2, "1 インチの行数");
        const int font = f.number(1, "フォント番号");
        requireEnd(f, "CR");
        if (cpi < 1) throw LineError("CR の 1 インチの文字数が 0 です。");
        if (lpi < 1) throw LineError("CR の 1 インチの行数が 0 です。");
        if (font != kFontGothic)
            throw LineError("CR のフォント番号 " + std::to_string(font) + " は扱えません（3 = ゴシックのみ）。");
        m_file.charsPerInch = cpi;
        m_file.linesPerInch = lpi;
        m_file.defaultFont = font;
        m_opened = true;
        openPage();
    }

    void te(std::string_view line)
    {
        TextCommand t;
        t.line = m_lineNo;
        std::size_t textAt = 0;
        {
            // Every field before the text must be digits (or a sign); anything else,
            // CP932 bytes included, is reported by the field that holds it.
            Fields f(line, "TE");
            t.x10 = f.coordinate("X 座標");
            t.y10 = f.coordinate("Y 座標");
            t.font = f.number(1, "フォント番号");
            t.pattern = f.number(1, "パターン番号");
            t.sizeX = f.number(3, "横の大きさ");
            t.sizeY = f.number(3, "縦の大きさ");
            textAt = f.pos();
        }
        if (t.font != kFontGothic || t.pattern != kPatternNormal) {
            if (looksShifted(line))
                throw LineError("TE の座標が 1000.0 以上です（座標の欄は 4 桁までで、後の欄がずれています）。");
            if (t.font != kFontGothic)
                throw LineError("TE のフォント番号 " + std::to_string(t.font) + " は扱えません（3 = ゴシックのみ）。");
            throw LineError("TE のパターン番号 " + std::to_string(t.pattern) + " は扱えません（1 = 標準のみ）。");
        }
        if (t.sizeX < 20 || t.sizeY < 20) {
            throw LineError("TE の文字の大きさ " + std::to_string(t.sizeX) + " × " + std::to_string(t.sizeY) +
                            " が小さすぎます（20 以上）。");
        }
        const std::string_view raw = line.substr(textAt);
        std::size_t bad = 0;
        if (!cp932::tryToUtf8(raw, t.text, &bad)) {
            throw LineError("TE の文字列にシフトJIS（CP932）として読めないバイト列があります（" +
                            std::to_string(textAt + bad + 1) + " バイト目「" + shown(raw.substr(bad, 2)) + "」）。");
        }
        for (std::size_t i = 0; i < t.text.size();) {
            std::size_t n = 0;
            const char32_t cp = text::decodeAt(t.text, i, &n);
            if (cp < 0x20 || cp == 0x7F)
                throw LineError("TE の文字列に制御文字（U+" + text::hexCode(cp, 4) + "）があります。");
            t.cells += cellsOf(cp);
            if (!m_seen.empty() && cp < m_seen.size() && !m_seen[cp]) {
                m_seen[cp] = true;
                m_file.characters.push_back(UsedCharacter{cp, m_lineNo});
            }
            i += n;
        }
        checkText(t);
        keep(DrawCommand(std::in_place_type<TextCommand>, std::move(t)));
    }

    // True when reading one coordinate with five digits makes the font and pattern
    // fields right: the writer wrote a coordinate of 1000.0 or more.
    static bool looksShifted(std::string_view line)
    {
        auto digitsAt = [&](std::size_t from, std::size_t n) {
            if (from + n > line.size()) return false;
            return std::all_of(line.begin() + static_cast<std::ptrdiff_t>(from),
                               line.begin() + static_cast<std::ptrdiff_t>(from + n),
                               [](char c) { return c >= '0' && c <= '9'; });
        };
        for (std::size_t extra = 1; extra <= 2; ++extra) {
            // Signs make the count uncertain; try the plain digit layout.
            const std::size_t fontAt = 3 + 8 + extra;
            if (digitsAt(3, 8 + extra) && fontAt + 1 < line.size() && line[fontAt] == '0' + kFontGothic &&
                line[fontAt + 1] == '0' + kPatternNormal)
                return true;
        }
        return false;
    }

    void checkText(const TextCommand& t)
    {
        const double x = t.x10 / 10.0;
        const double y = t.y10 / 10.0;
        const double right = x + t.cells * t.sizeX / 100.0;
        const double bottom = y - m_file.textGapLines();
        const double top = bottom - m_file.emLines() * t.sizeY / 100.0;
        if (x < -kEps || right > m_file.pageWidthCells() + kEps) {
            throw LineError("TE の文字列が用紙の横幅の外に出ます（X 座標 " + decimal10(t.x10) + "、幅 " +
                            std::to_string(t.cells) + " 文字分 × " + std::to_string(t.sizeX) + "%、用紙の幅は " +
                            std::to_string(static_cast<int>(m_file.pageWidthCells())) + " 文字分）。");
        }
        if (top < -kEps || y > m_file.pageHeightLines() + kEps) {
            throw LineError("TE の文字列が用紙の上下の外に出ます（Y 座標 " + decimal10(t.y10) + "、用紙の高さは " +
                            std::to_string(static_cast<int>(m_file.pageHeightLines())) + " 行）。");
        }
    }

    void hl(std::string_view line)
    {
        requireAscii(line);
        Fields f(line, "HL");
        RuleCommand r;
        r.line = m_lineNo;
        r.x10 = f.coordinate("X 座標");
        r.y10 = f.coordinate("Y 座標");
        r.len10 = f.coordinate("長さ");
        r.thicknessPt = f.number(2, "太さ");
        const int pattern = f.number(1, "パターン番号");
        const int rx = f.coordinate("予備欄 1");
        const int ry = f.coordinate("予備欄 2");
        const int rcx = f.coordinate("予備欄 3");
        const int rcy = f.coordinate("予備欄 4");
        requireEnd(f, "HL");
        if (pattern > 2)
            throw LineError("HL のパターン番号 " + std::to_string(pattern) +
                            " は扱えません（0 = 実線、1 = 破線、2 = 点線）。");
        r.pattern = static_cast<RulePattern>(pattern);
        if (rx != 0 || ry != 0 || rcx != 0 || rcy != 0)
            throw LineError("HL の後ろの 4 つの欄（予備欄）は 0 でなければなりません。");
        if (r.len10 < 0) throw LineError("HL の長さ " + decimal10(r.len10) + " が負です。");
        const double x = r.x10 / 10.0, y = r.y10 / 10.0, len = r.len10 / 10.0;
        if (x < -kEps || x + len > m_file.pageWidthCells() + kEps || y < -kEps || y > m_file.pageHeightLines() + kEps) {
            throw LineError("HL の線が用紙の外に出ます（X 座標 " + decimal10(r.x10) + "、Y 座標 " + decimal10(r.y10) +
                            "、長さ " + decimal10(r.len10) + "）。");
        }
        keep(DrawCommand(std::in_place_type<RuleCommand>, r));
    }

    void keep(DrawCommand&& c)
    {
        if (!m_opened) throw LineError("CR の前に描く命令があります。");
        ++m_onPage;
        if (m_keep == Keep::Pages) m_file.pages.back().commands.push_back(std::move(c));
        else if (m_keep == Keep::Visit) (*m_visit)(c);
    }

    void openPage()
    {
        m_onPage = 0;
        m_pageFirstLine = m_lineNo + 1;
        m_pageBegin = m_nextOffset;
        if (m_keep == Keep::Pages) m_file.pages.push_back(Page{m_pageFirstLine, {}});
    }

    void closePage()
    {
        if (m_keep == Keep::Spans) m_file.spans.push_back(PageSpan{m_pageFirstLine, m_pageBegin, m_lineOffset});
    }

    void pageBreak()
    {
        if (m_keep == Keep::Visit) throw LineError("ページの途中に PE があります。");
        // A page on which nothing was drawn yet is not kept: "PE " before the first
        // page or two in a row do not give blank sheets.
        if (m_onPage > 0) {
            closePage();
            openPage();
        } else {
            m_pageFirstLine = m_lineNo + 1;
            m_pageBegin = m_nextOffset;
            if (m_keep == Keep::Pages) m_file.pages.back().firstLine = m_pageFirstLine;
        }
    }

    Keep m_keep;
    const std::function<void(const DrawCommand&)>* m_visit;
    CommandFile m_file;
    std::size_t m_lineNo = 0;
    bool m_ended = false;
    bool m_opened = false;
    std::size_t m_onPage = 0;
    std::size_t m_pageFirstLine = 0;
    std::uint64_t m_pageBegin = 0;
    std::uint64_t m_lineOffset = 0;
    std::uint64_t m_nextOffset = 0;
    std::vector<bool> m_seen;
};

// Calls onLine(line, hasLf, offset, next) for every line of in from begin to end (end:
// the end of the file), reading a chunk at a time; a line longer than any line may be
// is measured to its end and given to onLong(length) instead. False when the file
// cannot be read.
constexpr std::size_t kChunkBytes = 1024 * 1024;

// A stretch of a file read a chunk at a time: buf holds the bytes from bufAt on, pos is
// the first byte not yet given out.
struct Chunks {
    Chunks(std::istream& stream, std::uint64_t begin, std::uint64_t stop)
        : in(stream), end(stop), readTo(begin), bufAt(begin)
    {
    }

    // Drops what was given out and reads the next chunk; eof once nothing is left. False
    // when the file cannot be read.
    bool fill()
    {
        buf.erase(0, pos);
        bufAt += pos;
        pos = 0;
        const std::uint64_t want = std::min<std::uint64_t>(kChunkBytes, end - readTo);
        if (want == 0) {
            eof = true;
            return true;
        }
        const std::size_t had = buf.size();
        buf.resize(had + static_cast<std::size_t>(want));
        in.read(buf.data() + had, static_cast<std::streamsize>(want));
        const auto got = static_cast<std::size_t>(in.gcount());
        buf.resize(had + got);
        readTo += got;
        if (got == 0) {
            if (in.bad()) return false;
            eof = true;
        }
        return true;
    }

    // The length of the line from pos on, read to its LF or the end of the stretch
    // (nothing of it is kept); nullopt when the file cannot be read.
    std::optional<std::uint64_t> measureLine()
    {
        std::uint64_t length = buf.size() - pos;
        for (;;) {
            pos = buf.size();
            if (!fill()) return std::nullopt;
            if (eof) return length;
            const std::size_t at = buf.find('\n');
            if (at != std::string::npos) return length + at;
            length += buf.size();
        }
    }

    std::istream& in;
    std::uint64_t end;
    std::uint64_t readTo; // file offset of the next chunk
    std::uint64_t bufAt; // file offset of buf[0]
    std::string buf;
    std::size_t pos = 0;
    bool eof = false;
};

template <class OnLine, class OnLong>
bool forEachLine(std::istream& in, std::uint64_t begin, std::uint64_t end, OnLine onLine, OnLong onLong)
{
    in.clear();
    in.seekg(static_cast<std::streamoff>(begin));
    if (!in) return false;
    Chunks c(in, begin, end);
    for (;;) {
        const std::size_t lf = c.buf.find('\n', c.pos);
        if (lf != std::string::npos) {
            onLine(std::string_view(c.buf).substr(c.pos, lf - c.pos), true, c.bufAt + c.pos, c.bufAt + lf + 1);
            c.pos = lf + 1;
            continue;
        }
        if (c.buf.size() - c.pos > kMaxLineBytes + 1) {
            const std::optional<std::uint64_t> length = c.measureLine();
            if (!length) return false;
            onLong(static_cast<std::size_t>(*length));
            return true;
        }
        if (c.eof) {
            if (c.pos < c.buf.size())
                onLine(std::string_view(c.buf).substr(c.pos), false, c.bufAt + c.pos, c.bufAt + c.buf.size());
            return true;
        }
        if (!c.fill()) return false;
    }
}

} // namespace

const Paper* paperByCode(int code)
{
    for (const Paper& p : kPapers)
        if (p.code == code) return &p;
    return nullptr;
}

double CommandFile::pageWidthMm() const { return landscape ? paper->longMm : paper->shortMm; }
double CommandFile::pageHeightMm() const { return landscape ? paper->shortMm : paper->longMm; }
double CommandFile::pageWidthCells() const { return pageWidthMm() / 25.4 * charsPerInch; }
double CommandFile::pageHeightLines() const { return pageHeightMm() / 25.4 * linesPerInch; }
// A character at size 100 is two cells high (a full-width character is square).
double CommandFile::emLines() const { return 2.0 * linesPerInch / charsPerInch; }
double CommandFile::textGapLines() const { return std::max(0.0, (1.0 - emLines()) / 2.0); }

std::string ParseError::text() const
{
    if (line == 0) return message;
    return std::to_string(line) + " 行目: " + message;
}

int cellsOf(char32_t cp)
{
    if (cp < 0x80) return 1;
    if (cp >= 0xFF61 && cp <= 0xFF9F) return 1; // half-width katakana
    return 2;
}

// The command file on disk, open from the checking pass to the last page drawn.
class CommandSource {
public:
    std::string path;
    std::ifstream in;
};

bool CommandFile::forEachCommand(std::size_t i, const std::function<void(const DrawCommand&)>& visit,
                                 std::string* error) const
{
    if (!source) {
        for (const DrawCommand& c : pages.at(i).commands) visit(c);
        return true;
    }
    const PageSpan& span = spans.at(i);
    Parser parser(Keep::Visit, &visit);
    parser.resume(*this, span.firstLine - 1);
    try {
        const bool read = forEachLine(
            source->in, span.begin, span.end,
            [&](std::string_view line, bool hasLf, std::uint64_t offset, std::uint64_t next) {
                parser.feed(line, hasLf, offset, next);
            },
            [&](std::size_t length) { parser.tooLong(length, true); });
        if (!read) throw LineError("読めなくなりました。");
    } catch (const LineError& e) {
        if (error) {
            *error = "印刷指示ファイル「" + source->path + "」が印刷の途中で変わりました（" +
                     ParseError{parser.lineNo(), e.message}.text() + "）。";
        }
        return false;
    }
    return true;
}

Page CommandFile::page(std::size_t i) const
{
    Page p;
    p.firstLine = source ? spans.at(i).firstLine : pages.at(i).firstLine;
    if (!forEachCommand(
            i, [&](const DrawCommand& c) { p.commands.push_back(c); }, nullptr))
        p.commands.clear();
    return p;
}

ParseResult parseCommandFile(std::string_view bytes)
{
    ParseResult result;
    Parser parser(Keep::Pages);
    try {
        if (bytes.empty()) throw LineError("印刷指示ファイルが空です（ST から ED までの命令がありません）。");
        if (bytes.size() > kMaxFileBytes) {
            throw LineError("印刷指示ファイルが大きすぎます（" + std::to_string(kMaxFileBytes / (1024 * 1024)) +
                            " MiB を超えています）。");
        }
        std::size_t at = 0;
        while (at < bytes.size()) {
            const std::size_t lf = bytes.find('\n', at);
            const std::size_t end = lf == std::string_view::npos ? bytes.size() : lf;
            parser.feed(bytes.substr(at, end - at), lf != std::string_view::npos, at, end + 1);
            at = end + 1;
        }
        parser.finish();
        result.file = parser.take();
    } catch (const LineError& e) {
        result.error = ParseError{parser.lineNo(), e.message};
    }
    return result;
}

ParseResult readCommandFile(const std::string& path)
{
    ParseResult result;
    std::error_code ec;
    if (std::filesystem::exists(path, ec) && !std::filesystem::is_regular_file(path, ec)) {
        result.error = ParseError{0, "印刷指示ファイル「" + path + "」はファイルではありません。"};
        return result;
    }
    auto source = std::make_shared<CommandSource>();
    source->path = path;
    errno = 0;
    source->in.open(path, std::ios::binary);
    if (!source->in) {
        result.error = ParseError{0, "印刷指示ファイル「" + path + "」を開けません。" + kov::fileErrorText(errno)};
        return result;
    }
    source->in.seekg(0, std::ios::end);
    const std::streamoff size = source->in.tellg();
    if (size < 0) {
        result.error = ParseError{0, "印刷指示ファイル「" + path + "」を読めません。"};
        return result;
    }
    if (static_cast<std::uint64_t>(size) > kMaxFileBytes) {
        result.error = ParseError{0, "印刷指示ファイル「" + path + "」が大きすぎます（" +
                                         std::to_string(kMaxFileBytes / (1024 * 1024)) + " MiB を超えています）。"};
        return result;
    }
    if (size == 0) {
        result.error = ParseError{0, "印刷指示ファイルが空です（ST から ED までの命令がありません）。"};
        return result;
    }
    Parser parser(Keep::Spans);
    try {
        const bool read = forEachLine(
            source->in, 0, static_cast<std::uint64_t>(size),
            [&](std::string_view line, bool hasLf, std::uint64_t offset, std::uint64_t next) {
                parser.feed(line, hasLf, offset, next);
            },
            [&](std::size_t length) { parser.tooLong(length, true); });
        if (!read) {
            result.error = ParseError{0, "印刷指示ファイル「" + path + "」を読めません。"};
            return result;
        }
        parser.finish();
    } catch (const LineError& e) {
        result.error = ParseError{parser.lineNo(), e.message};
        return result;
    }
    result.file = parser.take();
    result.file->source = std::move(source);
    return result;
}

} // namespace kov::overlayprint
