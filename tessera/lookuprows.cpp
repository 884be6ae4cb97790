#include "tessera/lookuprows.h"

namespace kov::tessera {

using kov::dataaccess::DbValue;

LookupRows::LookupRows(int keyAt, bool exactInt, bool exactText, std::size_t limitBytes)
    : m_keyAt(keyAt), m_exactInt(exactInt), m_exactText(exactText), m_limit(limitBytes)
{
}

// The bytes of the value with its kind, so that 1 and '1' differ.
std::string LookupRows::keyOf(const DbValue& v)
{
    std::string key(1, static_cast<char>('0' + v.index()));
    if (const auto* n = std::get_if<std::int64_t>(&v)) key.append(reinterpret_cast<const char*>(n), sizeof *n);
    else if (const auto* t = std::get_if<std::string>(&v)) key += *t;
    return key;
}

bool LookupRows::add(const std::vector<DbValue>& row)
{
    const DbValue& key = row[static_cast<std::size_t>(m_keyAt)];
    if (kov::dataaccess::isNull(key)) return true; // never equal to a value
    const int kind = static_cast<int>(key.index());
    if (m_keyKind < 0) m_keyKind = kind;
    if (kind != m_keyKind || !(std::holds_alternative<std::int64_t>(key) || std::holds_alternative<std::string>(key)))
        return false;
    std::string k = keyOf(key);
    if (m_byKey.contains(k)) return true;
    m_bytes += k.size() + 64;
    for (const DbValue& v : row) {
        const auto* t = std::get_if<std::string>(&v);
        m_bytes += sizeof(DbValue) + (t && t->size() >= sizeof(std::string) ? t->size() + 1 : 0);
    }
    if (m_bytes > m_limit) return false;
    m_byKey.emplace(std::move(k), static_cast<std::uint32_t>(m_rows.size()));
    m_rows.push_back(row);
    return true;
}

LookupRows::Answer LookupRows::find(const DbValue& value, const std::vector<DbValue>** row) const
{
    const bool text = std::holds_alternative<std::string>(value);
    if (!(text ? m_exactText : m_exactInt && std::holds_alternative<std::int64_t>(value))) return Answer::Unknown;
    if (m_keyKind >= 0 && m_keyKind != static_cast<int>(value.index())) return Answer::Unknown;
    const auto it = m_byKey.find(keyOf(value));
    if (it == m_byKey.end()) return Answer::NotFound;
    *row = &m_rows[it->second];
    return Answer::Found;
}

} // namespace kov::tessera
