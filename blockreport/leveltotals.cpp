#include "blockreport/leveltotals.h"

#include "common/runtimeerror.h"

namespace kov::blockreport {

namespace {

std::size_t indexOf(EntryLevel level)
{
    const auto index = static_cast<std::int16_t>(level);
    if (index < 0 || index > 2) throwInvalidArgument("LevelTotals level " + std::to_string(index));
    return static_cast<std::size_t>(index);
}

} // namespace

Currency& LevelTotals::operator[](EntryLevel level) { return m_levels[indexOf(level)]; }

const Currency& LevelTotals::operator[](EntryLevel level) const { return m_levels[indexOf(level)]; }

void LevelTotals::post(Currency value)
{
    m_levels[0] = value;
    m_levels[1] += value;
    m_levels[2] += value;
}

void clearLevels(std::span<LevelTotals* const> totals, EntryLevel first, EntryLevel last)
{
    for (auto level = static_cast<std::int16_t>(first); level <= static_cast<std::int16_t>(last); ++level)
        for (LevelTotals* total : totals) total->clear(static_cast<EntryLevel>(level));
}

} // namespace kov::blockreport
