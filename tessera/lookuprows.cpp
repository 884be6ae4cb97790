#include "tessera/lookuprows.h"

namespace kov::tessera {

using kov::dataaccess::DbValue;

LookupRows::LookupRows(int keyAt, bool exactInt, bool exactText, std::size_t limitBytes)
    : m_keyAt(keyAt), m_exactInt(exactInt), m_exactText(exactText), m_limit(limitBytes)
{
}

bool LookupRows::add(const std::vector<DbValue>& row)
{
    const DbValue& key = row[static_cast<std::size_t>(m_keyAt)];
    if (kov::dataaccess::isNull(key)) return true; // never equal to a value
    const int kind = static_cast<int>(key.index());
    if (m_keyKind < 0) m_keyKind = kind;
    if (kind != m_keyKind || !(std::holds_alternative<std::int64_t>(key) || std::holds_alternative<std::string>(key)))
        return false;
    if (m_rows.contains(key)) return true;
    // The row's values, its key once more and the map's own share of an entry.
    auto bytes = [](const DbValue& v) {
        const auto* t = std::get_if<std::string>(&v);
        return sizeof(DbValue) + (t && t->size() >= sizeof(std::string) ? t->size() + 1 : 0);
    };
    m_bytes += bytes(key) + 64;
    for (const DbValue& v : row) m_bytes += bytes(v);
    if (m_bytes > m_limit) return false;
    m_rows.emplace(key, row);
    return true;
}

LookupRows::Answer LookupRows::find(const DbValue& value, const std::vector<DbValue>** row) const
{
    const bool text = std::holds_alternative<std::string>(value);
    if (!(text ? m_exactText : m_exactInt && std::holds_alternative<std::int64_t>(value))) return Answer::Unknown;
    if (m_keyKind >= 0 && m_keyKind != static_cast<int>(value.index())) return Answer::Unknown;
    const auto it = m_rows.find(value);
    if (it == m_rows.end()) return Answer::NotFound;
    *row = &it->second;
    return Answer::Found;
}

} // namespace kov::tessera
