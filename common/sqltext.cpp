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

} // namespace kov::sql
