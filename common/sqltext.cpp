#include "sqltext.h"

namespace kov::sql {

namespace {
std::string doubled(std::string_view s, char quote)
{
    std::string out;
    out.reserve(s.size() + 2);
    for (char c : s) {
        out += c;
        if (c == quote) out += quote;
    }
    return out;
}
} // namespace

std::string quoteIdentifier(std::string_view name) { return '"' + doubled(name, '"') + '"'; }

std::string escapeLiteral(std::string_view value) { return doubled(value, '\''); }

std::size_t scanQuoted(std::string_view s, std::size_t at, std::string* text)
{
    const char close = s[at] == '[' ? ']' : s[at];
    for (std::size_t i = at + 1; i < s.size(); ++i) {
        if (s[i] != close) {
            if (text) *text += s[i];
        } else if (close != ']' && i + 1 < s.size() && s[i + 1] == close) {
            if (text) *text += close;
            ++i;
        } else {
            return i + 1;
        }
    }
    return std::string_view::npos;
}

} // namespace kov::sql
