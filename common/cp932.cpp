#include "cp932.h"

#include "gaiji.h"
#include "runtimeerror.h"
#include "text.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <iconv.h>
#include <optional>

namespace kov::cp932 {

namespace {

class Iconv {
public:
    Iconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Iconv()
    {
        if (m_cd != reinterpret_cast<iconv_t>(-1)) iconv_close(m_cd);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    // Converts the whole input; false with *errorOffset on the first bad sequence.
    bool convert(std::string_view in, std::string& out, std::size_t* errorOffset)
    {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            throw RuntimeError(RuntimeErrorKind::Conversion, "CP932 の変換表を開けません。");
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        out.clear();
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        char buf[4096];
        while (srcLeft > 0) {
            char* dst = buf;
            std::size_t dstLeft = sizeof buf;
            const std::size_t rc = iconv(m_cd, &src, &srcLeft, &dst, &dstLeft);
            out.append(buf, static_cast<std::size_t>(dst - buf));
            if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
                if (errorOffset) *errorOffset = static_cast<std::size_t>(src - in.data());
                return false;
            }
        }
        char* dst = buf;
        std::size_t dstLeft = sizeof buf;
        iconv(m_cd, nullptr, nullptr, &dst, &dstLeft);
        out.append(buf, static_cast<std::size_t>(dst - buf));
        return true;
    }

private:
    iconv_t m_cd;
};

Iconv& encoder()
{
    thread_local Iconv cd("CP932", "UTF-8");
    return cd;
}

Iconv& decoder()
{
    thread_local Iconv cd("UTF-8", "CP932");
    return cd;
}

// UTF-8 to CP932 through a table of the characters of the basic plane (CP932 holds no
// other): the one or two bytes of a character, asked of the converter above the first
// time the process meets the character, so that a text costs a lookup a character and
// the bytes are those the converter gives. An entry is 0 while not yet asked (no
// character from U+0080 up has the byte 0). Threads may fill the same entry at once:
// they write the same value.
constexpr std::uint16_t kNone = 0xFFFF; // no CP932 bytes (0xFF is never a trail byte)
constinit std::atomic<std::uint16_t> g_table[0x10000] = {};

std::uint16_t askConverter(char32_t cp)
{
    thread_local std::string out;
    if (!encoder().convert(text::encode(cp), out, nullptr) || out.empty() || out.size() > 2) return kNone;
    const auto b0 = static_cast<unsigned char>(out[0]);
    return out.size() == 1 ? b0 : static_cast<std::uint16_t>(b0 << 8 | static_cast<unsigned char>(out[1]));
}

std::uint16_t codeOf(char32_t cp)
{
    std::uint16_t code = g_table[cp].load(std::memory_order_relaxed);
    if (code == 0) {
        code = askConverter(cp);
        g_table[cp].store(code, std::memory_order_relaxed);
    }
    return code;
}

// The user-defined code (F040 to F9FC) of the character at `i` when the office's gaiji
// table names it, with the byte length of the character; kNone otherwise (also for a
// sequence that is not UTF-8). Asked only for a character that CP932 cannot hold.
std::uint16_t gaijiCodeAt(std::string_view in, std::size_t i, std::size_t* len)
{
    const char32_t cp = text::decodeAt(in, i, len);
    if (cp < 0x80 || text::encode(cp) != in.substr(i, *len)) return kNone;
    const std::optional<char32_t> code = gaiji::current().codeFor(cp);
    return code ? codeOf(*code) : kNone;
}

// The CP932 bytes of `in` at `out`, which has room for in.size() bytes (a character
// takes no more bytes in CP932 than in UTF-8); the end of them, or nullptr with
// *errorOffset at the first bad sequence.
char* encodeByTable(std::string_view in, char* out, std::size_t* errorOffset)
{
    const auto* s = reinterpret_cast<const unsigned char*>(in.data());
    const std::size_t n = in.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        if (c < 0x80) { // ASCII is its own bytes
            *out++ = static_cast<char>(c);
            ++i;
            continue;
        }
        // Strict UTF-8 of the basic plane: no overlong forms, no surrogates. Four-byte
        // forms (beyond the plane) are never CP932.
        char32_t cp;
        std::size_t len;
        if (c >= 0xC2 && c <= 0xDF && i + 1 < n && (s[i + 1] & 0xC0) == 0x80) {
            cp = static_cast<char32_t>((c & 0x1F) << 6 | (s[i + 1] & 0x3F));
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF && i + 2 < n && (s[i + 1] & 0xC0) == 0x80 && (s[i + 2] & 0xC0) == 0x80) {
            cp = static_cast<char32_t>((c & 0x0F) << 12 | (s[i + 1] & 0x3F) << 6 | (s[i + 2] & 0x3F));
            len = 3;
            if (cp < 0x800) cp = 0xD800; // overlong: refused below
        } else {
            cp = 0xD800;
            len = 0;
        }
        std::uint16_t code = cp >= 0xD800 && cp <= 0xDFFF ? kNone : codeOf(cp);
        if (code == kNone) code = gaijiCodeAt(in, i, &len);
        if (code == kNone) {
            if (errorOffset) *errorOffset = i;
            return nullptr;
        }
        if (code > 0xFF) *out++ = static_cast<char>(code >> 8);
        *out++ = static_cast<char>(code & 0xFF);
        i += len;
    }
    return out;
}

bool appendByTable(std::string_view in, std::string& out, std::size_t* errorOffset)
{
    const std::size_t before = out.size();
    out.resize(before + in.size());
    char* const end = encodeByTable(in, out.data() + before, errorOffset);
    out.resize(end ? static_cast<std::size_t>(end - out.data()) : before);
    return end != nullptr;
}

} // namespace

bool tryFromUtf8(std::string_view utf8, std::string& out, std::size_t* errorOffset)
{
    out.clear();
    return appendByTable(utf8, out, errorOffset);
}

bool appendFromUtf8(std::string_view utf8, std::string& out, std::size_t* errorOffset)
{
    return appendByTable(utf8, out, errorOffset);
}

char* encodeFromUtf8(std::string_view utf8, char* out, std::size_t* errorOffset)
{
    return encodeByTable(utf8, out, errorOffset);
}

bool tryFromUtf8ByConverter(std::string_view utf8, std::string& out, std::size_t* errorOffset)
{
    return encoder().convert(utf8, out, errorOffset);
}

bool tryToUtf8(std::string_view bytes, std::string& out, std::size_t* errorOffset)
{
    return decoder().convert(bytes, out, errorOffset);
}

std::string fromUtf8(std::string_view utf8)
{
    std::string out;
    std::size_t at = 0;
    if (!tryFromUtf8(utf8, out, &at)) {
        std::size_t len = 0;
        const char32_t cp = text::decodeAt(utf8, at, &len);
        // What to add to the office's gaiji table follows the character.
        const std::string advice = gaiji::adviceFor(utf8.substr(at, len));
        throw RuntimeError(RuntimeErrorKind::Conversion, "「" + std::string(utf8.substr(at, len)) + "」(U+" +
                                                             text::hexCode(cp, 4) + ")" +
                                                             (advice.empty() ? "" : "\r\n" + advice));
    }
    return out;
}

std::string toUtf8(std::string_view bytes)
{
    std::string out;
    std::size_t at = 0;
    if (!tryToUtf8(bytes, out, &at))
        throw RuntimeError(RuntimeErrorKind::Conversion,
                           "CP932 として読めないバイト列 (" + std::to_string(at) + " バイト目)");
    return out;
}

} // namespace kov::cp932
