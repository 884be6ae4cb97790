#pragma once
// What kov120 tells the block report screen about itself (caption, the width of
// lblShori, the button lefts, the tab order, the pay kinds of the block list, the
// processing-month rule and the record filters), and its argument rule.
#include "blockreport/blockreportscreen.h"

#include <cstdint>
#include <optional>
#include <string>

namespace kov::kov120 {

// The argument rule, applied before any window: exactly "2", "5" or "25" (no trimming)
// gives 2, 5 or 25; anything else gives nothing (the program then ends silently with
// kov::kExitLaunchRule).
std::optional<std::int16_t> parseKov120Argument(const std::string& commandLine);

// The screen frmKov120 of kov120 started with kyusyu (2, 5, or 25 for 2 and 5 together).
blockreport::ScreenDescription kov120Screen(std::int16_t kyusyu);

} // namespace kov::kov120
