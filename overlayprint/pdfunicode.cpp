#include "pdfunicode.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace kov::overlayprint {

namespace {

std::string hex4(unsigned value)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", value & 0xFFFF);
    return buf;
}

// The character as UTF-16 in hex, as a character map writes it.
std::string utf16Hex(char32_t cp)
{
    if (cp < 0x10000) return hex4(cp);
    const char32_t v = cp - 0x10000;
    return hex4(0xD800 + (v >> 10)) + hex4(0xDC00 + (v & 0x3FF));
}

// The lines to insert before "endcmap": blocks of at most 100 entries.
std::string bfcharBlocks(const UnicodeEntries& entries)
{
    std::string out;
    for (std::size_t i = 0; i < entries.size(); i += 100) {
        const std::size_t n = std::min<std::size_t>(100, entries.size() - i);
        out += std::to_string(n) + " beginbfchar\n";
        for (std::size_t k = i; k < i + n; ++k)
            out += "<" + hex4(entries[k].first) + "> <" + utf16Hex(entries[k].second) + ">\n";
        out += "endbfchar\n";
    }
    return out;
}

// Adds delta to every offset of the cross-reference table and to startxref that lies
// beyond `from`; false when the table is not where the writer puts it.
bool moveOffsets(std::string& pdf, std::size_t from, long delta)
{
    const std::size_t startxref = pdf.rfind("startxref\n");
    const std::size_t xref = pdf.rfind("\nxref\n", startxref);
    if (startxref == std::string::npos || xref == std::string::npos) return false;
    std::size_t at = xref + 6;
    const std::size_t lineEnd = pdf.find('\n', at);
    const std::size_t blank = pdf.find(' ', at);
    if (lineEnd == std::string::npos || blank == std::string::npos || blank > lineEnd) return false;
    const unsigned long count = std::strtoul(pdf.c_str() + blank + 1, nullptr, 10);
    at = lineEnd + 1;
    for (unsigned long i = 0; i < count; ++i, at += 20) {
        if (at + 20 > startxref || pdf.compare(at + 17, 1, "n") != 0) continue;
        const unsigned long offset = std::strtoul(pdf.c_str() + at, nullptr, 10);
        if (offset <= from) continue;
        char buf[16];
        std::snprintf(buf, sizeof buf, "%010lu", static_cast<unsigned long>(static_cast<long>(offset) + delta));
        pdf.replace(at, 10, buf);
    }
    const std::size_t number = startxref + 10;
    const std::size_t numberEnd = pdf.find_first_not_of("0123456789", number);
    const unsigned long value = std::strtoul(pdf.c_str() + number, nullptr, 10);
    pdf.replace(number, numberEnd - number, std::to_string(static_cast<long>(value) + delta));
    return true;
}

} // namespace

bool addUnicodeEntries(std::string& pdf, std::string_view baseFont, const UnicodeEntries& entries)
{
    if (entries.empty()) return true;
    // The descendant font, then its character map: "N 0 obj\n<< /Length L >>\nstream\n...endcmap".
    const std::size_t font = pdf.find("/Subtype /CIDFontType2\n/BaseFont /" + std::string(baseFont) + "\n");
    if (font == std::string::npos) return false;
    const std::string lengthKey = "<< /Length ";
    const std::size_t length = pdf.find(lengthKey, font);
    const std::size_t stream = pdf.find(">>\nstream\n", length);
    const std::size_t endcmap = pdf.find("endcmap\n", stream);
    const std::size_t endstream = pdf.find("endstream", stream);
    if (length == std::string::npos || stream == std::string::npos || endcmap == std::string::npos ||
        endcmap > endstream)
        return false;
    const std::size_t lengthAt = length + lengthKey.size();
    const std::size_t lengthEnd = pdf.find_first_not_of("0123456789", lengthAt);
    const std::string inserted = bfcharBlocks(entries);
    const unsigned long oldLength = std::strtoul(pdf.c_str() + lengthAt, nullptr, 10);
    const std::string newLength = std::to_string(oldLength + inserted.size());
    const long delta = static_cast<long>(inserted.size() + newLength.size()) - static_cast<long>(lengthEnd - lengthAt);
    std::string patched = pdf;
    patched.insert(endcmap, inserted);
    patched.replace(lengthAt, lengthEnd - lengthAt, newLength);
    if (!moveOffsets(patched, lengthAt, delta)) return false;
    pdf = std::move(patched);
    return true;
}

} // namespace kov::overlayprint
