#include "tessera/sqlparams.h"

#include "common/sqltext.h"
#include "common/text.h"

#include <charconv>
#include <cstdlib>

namespace kov::tessera {

namespace {
bool isIdentStart(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80; }
bool isIdentChar(unsigned char c) { return isIdentStart(c) || (c >= '0' && c <= '9') || c == '$'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
} // namespace

bool parameterize(std::string_view s, std::string& sql, std::vector<kov::dataaccess::DbValue>& values,
                  PlaceholderStyle style, int firstIndex)
{
    auto placeholder = [&] {
        if (style == PlaceholderStyle::Question) sql += '?';
        else sql += '$' + std::to_string(firstIndex + static_cast<int>(values.size()) - 1);
    };
    sql.clear();
    values.clear();
    sql.reserve(s.size());
    std::size_t i = 0;
    const std::size_t n = s.size();
    while (i < n) {
        const char c = s[i];
        const auto uc = static_cast<unsigned char>(c);
        if (c == '-' && i + 1 < n && s[i + 1] == '-') { // comment to the end of the line
            const std::size_t e = s.find('\n', i);
            const std::size_t end = e == std::string_view::npos ? n : e;
            sql.append(s.substr(i, end - i));
            i = end;
        } else if (c == '/' && i + 1 < n && s[i + 1] == '*') { // block comment
            const std::size_t e = s.find("*/", i + 2);
            if (e == std::string_view::npos) return false;
            sql.append(s.substr(i, e + 2 - i));
            i = e + 2;
        } else if (c == '\'') { // string literal
            std::string text;
            const std::size_t end = sql::scanQuoted(s, i, &text);
            if (end == std::string_view::npos) return false;
            values.emplace_back(std::move(text));
            placeholder();
            i = end;
        } else if (c == '"' || c == '`' || c == '[') { // quoted identifier
            const std::size_t end = sql::scanQuoted(s, i);
            if (end == std::string_view::npos) return false;
            sql.append(s.substr(i, end - i));
            i = end;
        } else if (isIdentStart(uc)) { // identifier or keyword
            std::size_t j = i + 1;
            while (j < n && isIdentChar(static_cast<unsigned char>(s[j]))) ++j;
            const std::string_view word = s.substr(i, j - i);
            if (text::equalsIgnoringAsciiCase(word, "SELECT")) return false;
            if ((word == "x" || word == "X") && j < n && s[j] == '\'') return false; // blob literal
            sql.append(word);
            i = j;
        } else if (isDigit(c) || (c == '.' && i + 1 < n && isDigit(s[i + 1]))) { // number
            if (c == '0' && i + 1 < n && (s[i + 1] == 'x' || s[i + 1] == 'X')) return false;
            std::size_t j = i;
            bool real = false;
            while (j < n && isDigit(s[j])) ++j;
            if (j < n && s[j] == '.') {
                real = true;
                ++j;
                while (j < n && isDigit(s[j])) ++j;
            }
            if (j < n && (s[j] == 'e' || s[j] == 'E')) {
                std::size_t k = j + 1;
                if (k < n && (s[k] == '+' || s[k] == '-')) ++k;
                if (k < n && isDigit(s[k])) {
                    real = true;
                    j = k;
                    while (j < n && isDigit(s[j])) ++j;
                }
            }
            if (j < n && isIdentChar(static_cast<unsigned char>(s[j]))) return false;
            const std::string_view lit = s.substr(i, j - i);
            std::int64_t iv = 0;
            if (!real) {
                const auto r = std::from_chars(lit.data(), lit.data() + lit.size(), iv);
                if (r.ec != std::errc() || r.ptr != lit.data() + lit.size()) real = true; // too large: a real
            }
            if (real) values.emplace_back(std::strtod(std::string(lit).c_str(), nullptr));
            else values.emplace_back(iv);
            placeholder();
            i = j;
        } else if (c == '?' || c == ':' || c == '@' || c == '$') { // parameters of the caller's own
            return false;
        } else {
            sql += c;
            ++i;
        }
    }
    return true;
}

} // namespace kov::tessera
