#pragma once
// Column names looked up without regard to ASCII case and without a copy of the name,
// for the cursors of every engine.
#include "common/text.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kov::tessera {

struct NoCaseHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const
    {
        std::size_t h = 14695981039346656037ull;
        for (char c : s) h = (h ^ static_cast<unsigned char>(kov::text::foldAsciiCase(c))) * 1099511628211ull;
        return h;
    }
};

struct NoCaseEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return kov::text::equalsIgnoringAsciiCase(a, b); }
};

// Column index by name; the first of equal names wins (emplace keeps it).
using ColumnIndex = std::unordered_map<std::string, int, NoCaseHash, NoCaseEqual>;

// The names asked of a cursor's row, in the order asked since its last step, with the
// columns they found. A program asks for the same columns in the same order row after
// row, so that a name is mostly the one asked at the same place of the row before and
// is found by a plain comparison of its bytes instead of the folded hash. A name asked
// in another place replaces the one noted there. The cursor clears it when its columns
// change.
class NameSequence {
public:
    void restart() { m_next = 0; }
    void clear()
    {
        m_names.clear();
        m_next = 0;
    }

    // The column of `name`: the one noted at this place for the same bytes, else
    // lookup(name), noted.
    template <class Lookup>
    int find(std::string_view name, Lookup&& lookup)
    {
        if (m_next < m_names.size()) {
            Noted& noted = m_names[m_next++];
            if (noted.name != name) {
                noted.name.assign(name);
                noted.column = lookup(name);
            }
            return noted.column;
        }
        const int column = lookup(name);
        if (m_names.size() < kMaxNames) {
            m_names.push_back({std::string(name), column});
            ++m_next;
        }
        return column;
    }

private:
    static constexpr std::size_t kMaxNames = 256;
    struct Noted {
        std::string name;
        int column;
    };
    std::vector<Noted> m_names;
    std::size_t m_next = 0;
};

} // namespace kov::tessera
