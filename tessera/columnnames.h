#pragma once
// Column names looked up without regard to ASCII case and without a copy of the name,
// for the cursors of every engine.
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

namespace kov::tessera {

inline char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

struct NoCaseHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const
    {
        std::size_t h = 14695981039346656037ull;
        for (char c : s) h = (h ^ static_cast<unsigned char>(upperAscii(c))) * 1099511628211ull;
        return h;
    }
};

struct NoCaseEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const
    {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (upperAscii(a[i]) != upperAscii(b[i])) return false;
        return true;
    }
};

// Column index by name; the first of equal names wins (emplace keeps it).
using ColumnIndex = std::unordered_map<std::string, int, NoCaseHash, NoCaseEqual>;

} // namespace kov::tessera
