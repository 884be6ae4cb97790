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

// One pass over a condition: each token is copied to the SQL as it is, or, for a
// literal, replaced by a placeholder with its value kept. Each scan takes the token at
// m_at and moves past it; false when the condition cannot be rewritten.
class Parameterizer {
public:
    Parameterizer(std::string_view s, std::string& sql, std::vector<kov::dataaccess::DbValue>& values,
                  PlaceholderStyle style, int firstIndex)
        : m_s(s), m_sql(sql), m_values(values), m_style(style), m_firstIndex(firstIndex)
    {
    }

    bool run()
    {
        m_sql.clear();
        m_values.clear();
        m_sql.reserve(m_s.size());
        while (m_at < m_s.size())
            if (!scanToken()) return false;
        return true;
    }

private:
    char at(std::size_t i) const { return i < m_s.size() ? m_s[i] : '\0'; }

    bool scanToken()
    {
        const char c = m_s[m_at];
        if (c == '-' && at(m_at + 1) == '-') return lineComment();
        if (c == '/' && at(m_at + 1) == '*') return blockComment();
        if (c == '\'') return stringLiteral();
        if (c == '"' || c == '`' || c == '[') return quotedIdentifier();
        if (isIdentStart(static_cast<unsigned char>(c))) return word();
        if (isDigit(c) || (c == '.' && isDigit(at(m_at + 1)))) return number();
        if (c == '?' || c == ':' || c == '@' || c == '$') return false; // parameters of the caller's own
        m_sql += c;
        ++m_at;
        return true;
    }

    void copyTo(std::size_t end)
    {
        m_sql.append(m_s.substr(m_at, end - m_at));
        m_at = end;
    }

    bool lineComment()
    {
        const std::size_t e = m_s.find('\n', m_at);
        copyTo(e == std::string_view::npos ? m_s.size() : e);
        return true;
    }

    bool blockComment()
    {
        const std::size_t e = m_s.find("*/", m_at + 2);
        if (e == std::string_view::npos) return false;
        copyTo(e + 2);
        return true;
    }

    bool stringLiteral()
    {
        std::string text;
        const std::size_t end = sql::scanQuoted(m_s, m_at, &text);
        if (end == std::string_view::npos) return false;
        m_values.emplace_back(std::move(text));
        placeholder();
        m_at = end;
        return true;
    }

    bool quotedIdentifier()
    {
        const std::size_t end = sql::scanQuoted(m_s, m_at);
        if (end == std::string_view::npos) return false;
        copyTo(end);
        return true;
    }

    // An identifier or a keyword; a sub-select or a blob literal cannot be rewritten.
    bool word()
    {
        std::size_t j = m_at + 1;
        while (j < m_s.size() && isIdentChar(static_cast<unsigned char>(m_s[j]))) ++j;
        const std::string_view w = m_s.substr(m_at, j - m_at);
        if (text::equalsIgnoringAsciiCase(w, "SELECT")) return false;
        if ((w == "x" || w == "X") && at(j) == '\'') return false;
        copyTo(j);
        return true;
    }

    std::size_t skipDigits(std::size_t j) const
    {
        while (j < m_s.size() && isDigit(m_s[j])) ++j;
        return j;
    }

    // A decimal number: digits, a fraction, an exponent. A whole number that fits 64 bits
    // is an integer, any other a real; a hexadecimal one is not rewritten.
    bool number()
    {
        if (m_s[m_at] == '0' && (at(m_at + 1) == 'x' || at(m_at + 1) == 'X')) return false;
        std::size_t j = skipDigits(m_at);
        bool real = false;
        if (at(j) == '.') {
            real = true;
            j = skipDigits(j + 1);
        }
        if (at(j) == 'e' || at(j) == 'E') {
            std::size_t k = j + 1;
            if (at(k) == '+' || at(k) == '-') ++k;
            if (isDigit(at(k))) {
                real = true;
                j = skipDigits(k);
            }
        }
        if (j < m_s.size() && isIdentChar(static_cast<unsigned char>(m_s[j]))) return false;
        const std::string_view lit = m_s.substr(m_at, j - m_at);
        std::int64_t iv = 0;
        if (!real) {
            const auto r = std::from_chars(lit.data(), lit.data() + lit.size(), iv);
            real = r.ec != std::errc() || r.ptr != lit.data() + lit.size(); // too large: a real
        }
        if (real) m_values.emplace_back(std::strtod(std::string(lit).c_str(), nullptr));
        else m_values.emplace_back(iv);
        placeholder();
        m_at = j;
        return true;
    }

    void placeholder()
    {
        if (m_style == PlaceholderStyle::Question) m_sql += '?';
        else m_sql += '$' + std::to_string(m_firstIndex + static_cast<int>(m_values.size()) - 1);
    }

    std::string_view m_s;
    std::string& m_sql;
    std::vector<kov::dataaccess::DbValue>& m_values;
    PlaceholderStyle m_style;
    int m_firstIndex;
    std::size_t m_at = 0;
};
} // namespace

bool parameterize(std::string_view s, std::string& sql, std::vector<kov::dataaccess::DbValue>& values,
                  PlaceholderStyle style, int firstIndex)
{
    return Parameterizer(s, sql, values, style, firstIndex).run();
}

} // namespace kov::tessera
