#include "subprt.h"

#include "common/cp932.h"
#include "common/fileerror.h"
#include "common/runtimeerror.h"
#include "common/safefile.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace kov {

namespace {

constexpr const char* kFileName = "OVL.TMP";
// The lines of a run go to this name first; ED closes the file and only then gives it
// its final name, so "OVL.TMP" never holds a half-written run.
constexpr const char* kPartName = "OVL.TMP.part";
constexpr std::size_t kWriteBuffer = 256 * 1024;

// The numbers 0 to 9999 in four digits (and four bytes to spare, read by the copy of the
// last ones): most fields of a command line are one of them.
struct FourDigits {
    char digits[10000 * 4 + 4] = {};
    FourDigits()
    {
        for (int v = 0; v < 10000; ++v)
            for (int i = 3, x = v; i >= 0; --i, x /= 10) digits[v * 4 + i] = static_cast<char>('0' + x % 10);
    }
};
const FourDigits g_fourDigits;

// The general case of putSignedZeroFilled.
[[gnu::noinline]] char* putAnySignedZeroFilled(char* p, std::int64_t v, int minDigits)
{
    std::uint64_t magnitude = v < 0 ? 0ULL - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    char digits[20];
    char* d = digits + sizeof digits;
    do {
        *--d = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    const auto n = static_cast<int>(digits + sizeof digits - d);
    if (v < 0) *p++ = '-';
    for (int i = n; i < minDigits; ++i) *p++ = '0';
    for (; d != digits + sizeof digits; ++d) *p++ = *d;
    return p;
}

// Writes v with at least minDigits digits, zero-filled on the left, "-" before a
// negative, at p; returns the end. At most 20 characters (and minDigits); p has room
// for 4 more than it takes.
inline char* putSignedZeroFilled(char* p, std::int64_t v, int minDigits)
{
    if (v < 0 || v >= 10000 || minDigits > 4) return putAnySignedZeroFilled(p, v, minDigits);
    const int n = v >= 1000 ? 4 : v >= 100 ? 3 : v >= 10 ? 2 : 1;
    const int k = n > minDigits ? n : minDigits;
    std::memcpy(p, g_fourDigits.digits + v * 4 + 4 - k, 4); // the k digits, then bytes written over later
    return p + k;
}

// Ten times the value, rounded toward minus infinity: the raw value is scaled by
// 10000, so that is a floored division of the raw value by 1000.
char* putC4(char* p, Currency v)
{
    const std::int64_t raw = v.raw();
    std::int64_t tenths = raw / 1000;
    if (raw % 1000 != 0 && raw < 0) --tenths;
    return putSignedZeroFilled(p, tenths, 4);
}

char* putN(char* p, Currency v, int minDigits) { return putSignedZeroFilled(p, v.rounded(), minDigits); }

// Room enough for the fields of one command line (each takes at most 21 bytes, and 4 to
// spare while it is written).
constexpr std::size_t kFieldRoom = 256;

// The fields of a text command before its text, at p (room for kFieldRoom bytes).
char* teFields(char* p, Currency curSX, Currency curSY, std::int32_t iFon, Currency iPat, std::int16_t iSizeX,
               std::int16_t iSizeY)
{
    p = std::copy_n("TE ", 3, p);
    p = putC4(p, curSX);
    p = putC4(p, curSY);
    p = putSignedZeroFilled(p, iFon, 1);
    p = putN(p, iPat, 1);
    p = putSignedZeroFilled(p, iSizeX, 3);
    return putSignedZeroFilled(p, iSizeY, 3);
}

} // namespace

// A run that ended before ED leaves no command file behind: the partial lines are of no
// use to the engine, and the next run starts anew anyway (SafeFile removes them).
SubPrt::~SubPrt() = default;

std::string SubPrt::filePath() const { return p_strPrtPath + "/" + kFileName; }

std::string SubPrt::partPath() const { return p_strPrtPath + "/" + kPartName; }

void SubPrt::discardOpenFile()
{
    m_used = 0;
    m_file.reset();
}

void SubPrt::createFile()
{
    discardOpenFile();
    // The old command file of an earlier run is replaced: it goes now, so that a run
    // that fails part-way leaves no stale file that looks complete.
    std::error_code ec;
    std::filesystem::remove(filePath(), ec);
    if (ec) throwFileError("印刷ファイル「" + filePath() + "」を削除できません。" + fileErrorText(ec));
    m_file = std::make_unique<SafeFile>(p_strPrtPath, kFileName, "印刷ファイル", kPartName);
    if (!m_buffer) m_buffer = std::make_unique<char[]>(kWriteBuffer);
}

void SubPrt::writeLine(std::string_view line) { writeLine({}, line); }

void SubPrt::writeLine(std::string_view fields, std::string_view text)
{
    char* const p = room(fields.size() + text.size() + 2);
    if (!p) return writeLongLine(fields, text);
    if (!fields.empty()) std::memcpy(p, fields.data(), fields.size());
    endLine(p + fields.size(), text);
}

// Where the next line goes in the buffer, with at least `size` bytes free (the lines
// before are written out first when needed); nullptr when no file is open or the line
// would not fit in the buffer at all.
char* SubPrt::room(std::size_t size)
{
    if (!m_file || size > kWriteBuffer) return nullptr;
    if (m_used + size > kWriteBuffer) writePending();
    return m_buffer.get() + m_used;
}

// The text of a line whose fields end at `at`, then CR LF. Converted before the line
// counts: a text that CP932 cannot hold stops the run with the character named, and no
// partial line reaches the file.
void SubPrt::endLine(char* at, std::string_view text)
{
    char* end = cp932::encodeFromUtf8(text, at);
    if (!end) (void)cp932::fromUtf8(text); // raises the error naming the character
    *end++ = '\r';
    *end++ = '\n';
    m_used = static_cast<std::size_t>(end - m_buffer.get());
}

// A line longer than the buffer (or one with no file open).
void SubPrt::writeLongLine(std::string_view fields, std::string_view text)
{
    if (!m_file)
        throwFileError("印刷ファイルが開かれていません。行「" + std::string(fields) + std::string(text) +
                       "」を書き込めません。");
    std::string bytes;
    bytes.append(fields.data(), fields.size());
    if (!cp932::appendFromUtf8(text, bytes)) (void)cp932::fromUtf8(text);
    bytes += "\r\n";
    writePending();
    writeBytes(bytes.data(), bytes.size());
}

// The lines gathered since the last write go to the file: a prefecture's run writes tens
// of megabytes, in large writes.
void SubPrt::writePending()
{
    writeBytes(m_buffer.get(), m_used);
    m_used = 0;
}

void SubPrt::writeBytes(const char* bytes, std::size_t size)
{
    if (size == 0) return;
    try {
        m_file->write(std::string_view(bytes, size));
    } catch (const RuntimeError&) {
        discardOpenFile();
        throw;
    }
}

void SubPrt::closeFile()
{
    writePending();
    // Flushed, renamed into place, the folder flushed; the writer is done either way.
    const std::unique_ptr<SafeFile> file = std::move(m_file);
    file->commit();
}

void SubPrt::prtOut(std::int32_t mode, std::string_view line)
{
    switch (mode) {
    case 1:
        createFile();
        writeLine(line);
        break;
    case 2:
    case 3:
        writeLine(line);
        break;
    case 4:
        writeLine(line);
        closeFile();
        break;
    default:
        break;
    }
}

std::string SubPrt::formatC4(Currency v)
{
    char buf[40];
    return std::string(buf, putC4(buf, v));
}

std::string SubPrt::formatN(Currency v, int minDigits)
{
    std::string out(static_cast<std::size_t>(std::max(minDigits, 0)) + 25, '\0');
    out.resize(static_cast<std::size_t>(putN(out.data(), v, minDigits) - out.data()));
    return out;
}

void SubPrt::prtST(std::int32_t value1, std::int32_t value2)
{
    m_pageEnds = 0;
    prtOut(1, "ST " + formatN(Currency::fromInt(value1), 3) + formatN(Currency::fromInt(value2), 3));
}

void SubPrt::prtCR(Currency value1, Currency value2)
{
    prtOut(2, "CR " + formatN(value1, 2) + formatN(value2, 2) + "3");
}

void SubPrt::prtTE(Currency curSX, Currency curSY, std::int32_t iFon, Currency iPat, std::int16_t iSizeX,
                   std::int16_t iSizeY, std::string_view strText)
{
    // The text runs to the end of the line; a line break inside it would be read by the
    // engine as a further command, so such a text is refused.
    if (std::any_of(strText.begin(), strText.end(), [](char c) { return c == '\r' || c == '\n'; }))
        throwInvalidArgument("印字する文字列に改行が含まれています。「" + std::string(strText) + "」");
    char* const p = room(kFieldRoom + strText.size() + 2);
    if (!p) {
        char f[kFieldRoom];
        const char* const e = teFields(f, curSX, curSY, iFon, iPat, iSizeX, iSizeY);
        return writeLongLine(std::string_view(f, static_cast<std::size_t>(e - f)), strText);
    }
    endLine(teFields(p, curSX, curSY, iFon, iPat, iSizeX, iSizeY), strText);
}

void SubPrt::prtHL(Currency curSX, Currency curSY, Currency curLen, Currency iTic, Currency iPat, Currency curRX,
                   Currency curRY, Currency curRcX, Currency curRcY)
{
    char f[kFieldRoom];
    char* e = std::copy_n("HL ", 3, f);
    e = putC4(e, curSX);
    e = putC4(e, curSY);
    e = putC4(e, curLen);
    e = putN(e, iTic, 2);
    e = putN(e, iPat, 1);
    e = putC4(e, curRX);
    e = putC4(e, curRY);
    e = putC4(e, curRcX);
    e = putC4(e, curRcY);
    writeLine(std::string_view(f, static_cast<std::size_t>(e - f)), {});
}

void SubPrt::prtPE()
{
    prtOut(3, "PE ");
    if (m_onPageEnd) m_onPageEnd(++m_pageEnds);
}

void SubPrt::prtED() { prtOut(4, "ED "); }

} // namespace kov
