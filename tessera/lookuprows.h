#pragma once
// The find cache of a table object: the rows that a run looks up by one key column.
//
// Its rule: a find is one query of its own for the first matching row, except within a
// run's reads on a table whose lookups the program declared (clsTbAccess::declareLookup):
// there "KEY = value" is answered from the open's rows, read once for the run with the
// declared columns.
// LookupRows holds those rows; a lookup it cannot answer exactly as the engine would
// (a value of another kind than the key's, keys of mixed kinds, past its memory bound)
// goes to the single find.
#include "common/dataaccess/dataaccess.h"

#include <cstddef>
#include <unordered_map>
#include <vector>

namespace kov::tessera {

class LookupRows {
public:
    // keyAt: the key's column in the rows; exactInt, exactText: whether the engine
    // compares an integer or a text literal with the key's values as stored (byte for
    // byte, no collation or conversion); limitBytes: the bound of the rows kept.
    LookupRows(int keyAt, bool exactInt, bool exactText, std::size_t limitBytes);

    // Adds a row in the open's order (the first of each key is kept; a null key is never
    // found). False when the rows can serve no lookup: keys that are not all integers or
    // all texts, or rows past the bound.
    bool add(const std::vector<kov::dataaccess::DbValue>& row);

    enum class Answer { Found, NotFound, Unknown };
    // The row whose key equals `value`, into *row when Found; Unknown when the rows
    // cannot tell as the engine would.
    Answer find(const kov::dataaccess::DbValue& value, const std::vector<kov::dataaccess::DbValue>** row) const;

private:
    int m_keyAt;
    bool m_exactInt, m_exactText;
    std::size_t m_limit;
    std::size_t m_bytes = 0;
    int m_keyKind = -1; // DbValue index of the keys, -1 while none
    // The rows by their keys (a key's kind tells 1 from '1').
    std::unordered_map<kov::dataaccess::DbValue, std::vector<kov::dataaccess::DbValue>> m_rows;
};

} // namespace kov::tessera
