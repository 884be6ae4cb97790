#pragma once
// What kov140 tells the block report screen about itself: caption, the width of
// lblShori, the button lefts, the tab order, pay kind 3 for the block list and the
// record filters (no processing-month rule).
#include "blockreport/blockreportscreen.h"

namespace kov::kov140 {

// The screen frmKov140.
blockreport::ScreenDescription kov140Screen();

} // namespace kov::kov140
