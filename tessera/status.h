#pragma once
// The statuses that Tessera returns: those of the contract.
#include "common/dataaccess/status.h"

namespace kov::tessera {
using namespace kov::dataaccess::status;
} // namespace kov::tessera
