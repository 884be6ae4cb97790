#include "text.h"

#include <algorithm>

namespace kov::text {

namespace {
// Byte length of the UTF-8 sequence starting at s[i]; 1 for a byte that does not start a valid one.
std::size_t seqLength(std::string_view s, std::size_t i)
{
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t n = 1;
    if (b >= 0xC2 && b <= 0xDF) n = 2;
    else if (b >= 0xE0 && b <= 0xEF) n = 3;
    else if (b >= 0xF0 && b <= 0xF4) n = 4;
    else return 1;
    if (i + n > s.size()) return 1;
    for (std::size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 1;
    // The second byte must also rule out overlong forms (E0, F0), UTF-16 surrogates (ED)
    // and code points above U+10FFFF (F4).
    const auto b1 = static_cast<unsigned char>(s[i + 1]);
    if ((b == 0xE0 && b1 < 0xA0) || (b == 0xED && b1 > 0x9F) || (b == 0xF0 && b1 < 0x90) || (b == 0xF4 && b1 > 0x8F))
        return 1;
    return n;
}

// Byte offset of the character with 0-based index idx (s.size() when past the end).
std::size_t offsetOf(std::string_view s, std::size_t idx)
{
    std::size_t i = 0;
    while (idx > 0 && i < s.size()) {
        i += seqLength(s, i);
        --idx;
    }
    return i;
}
} // namespace

std::size_t length(std::string_view s)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < s.size(); i += seqLength(s, i)) ++count;
    return count;
}

std::string left(std::string_view s, std::size_t n) { return std::string(s.substr(0, offsetOf(s, n))); }

std::string right(std::string_view s, std::size_t n)
{
    const std::size_t len = length(s);
    if (n >= len) return std::string(s);
    return std::string(s.substr(offsetOf(s, len - n)));
}

std::string mid(std::string_view s, std::size_t start, std::size_t n)
{
    if (start < 1) start = 1;
    const std::size_t from = offsetOf(s, start - 1);
    if (n == std::string_view::npos) return std::string(s.substr(from));
    const std::string_view rest = s.substr(from);
    return std::string(rest.substr(0, offsetOf(rest, n)));
}

std::string spaces(std::size_t n) { return std::string(n, ' '); }

std::string fixedLength(std::string_view s, std::size_t n)
{
    std::string out = left(s, n);
    const std::size_t len = length(out);
    if (len < n) out.append(n - len, ' ');
    return out;
}

std::string padRight(std::string_view s, std::size_t n)
{
    std::string out(s);
    const std::size_t len = length(s);
    if (len < n) out.append(n - len, ' ');
    return out;
}

std::string padLeft(std::string_view s, std::size_t n)
{
    const std::size_t len = length(s);
    std::string out;
    if (len < n) out.assign(n - len, ' ');
    out.append(s);
    return out;
}

std::string trimLeft(std::string_view s)
{
    std::size_t b = 0;
    while (b < s.size() && s[b] == ' ') ++b;
    return std::string(s.substr(b));
}

std::string trimRight(std::string_view s)
{
    std::size_t e = s.size();
    while (e > 0 && s[e - 1] == ' ') --e;
    return std::string(s.substr(0, e));
}

std::string_view trimView(std::string_view s, std::string_view chars)
{
    const std::size_t b = s.find_first_not_of(chars);
    if (b == std::string_view::npos) return {};
    return s.substr(b, s.find_last_not_of(chars) - b + 1);
}

std::string trim(std::string_view s, std::string_view chars) { return std::string(trimView(s, chars)); }

std::string foldAsciiCase(std::string_view s)
{
    std::string out(s);
    for (char& c : out) c = foldAsciiCase(c);
    return out;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return foldAsciiCase(x) == foldAsciiCase(y); });
}

std::string hexCode(std::uint32_t value, int digits)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (; value != 0 || static_cast<int>(out.size()) < digits; value >>= 4)
        out.insert(out.begin(), kDigits[value & 0xF]);
    return out;
}

char32_t decodeAt(std::string_view s, std::size_t i, std::size_t* seqLen)
{
    const std::size_t n = seqLength(s, i);
    if (seqLen) *seqLen = n;
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (n == 1) return b0;
    char32_t cp = b0 & (0xFF >> (n + 1));
    for (std::size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    return cp;
}

std::string encode(char32_t cp)
{
    std::string out;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

std::string toFullWidth(std::string_view s)
{
    std::string out;
    out.reserve(s.size() * 3);
    for (char c : s) {
        if (c >= '0' && c <= '9') out += encode(U'０' + static_cast<char32_t>(c - '0'));
        else if (c == ' ') out += encode(U'\u3000');
        else out += c;
    }
    return out;
}

} // namespace kov::text
