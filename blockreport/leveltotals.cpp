#include "blockreport/leveltotals.h"

#include "common/runtimeerror.h"

namespace kov::blockreport {

Currency& LevelTotals::operator[](std::int16_t level)
{
    if (level < 0 || level > 2) throwInvalidArgument("LevelTotals level " + std::to_string(level));
    return m_levels[static_cast<std::size_t>(level)];
}

const Currency& LevelTotals::operator[](std::int16_t level) const
{
    if (level < 0 || level > 2) throwInvalidArgument("LevelTotals level " + std::to_string(level));
    return m_levels[static_cast<std::size_t>(level)];
}

void LevelTotals::post(Currency value)
{
    m_levels[0] = value;
    m_levels[1] += value;
    m_levels[2] += value;
}

} // namespace kov::blockreport
