#pragma once
// The enable table of the function-key modes (module ComPFMode): −1 where a key's
// function is available, 0 where it is not. Plain data: the screens' key-mode routines
// fill it and show it on their key bar.
#include <array>
#include <cstddef>
#include <cstdint>

namespace kov {

class ComPFMode {
public:
    std::array<std::int16_t, 12> p_bPFKey{};
    // Entry 1 gives −1; any other value gives 0.
    void prsPFMode(const std::array<std::int16_t, 12>& keys)
    {
        for (std::size_t i = 0; i < keys.size(); ++i) p_bPFKey[i] = keys[i] == 1 ? std::int16_t{-1} : std::int16_t{0};
    }
};

} // namespace kov
