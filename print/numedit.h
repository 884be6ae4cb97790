#pragma once
// Numeric edits: fixed-width, right-aligned texts of amounts, counts and rates.
// The four options are 16-bit truth values (-1 true, 0 false).
#include "common/currency.h"

#include <cstdint>
#include <string>

namespace kov {

std::string prfNumEdit(Currency value, std::int16_t width, std::int16_t decimals, std::int16_t minus,
                       std::int16_t grouping, std::int16_t suppress, std::int16_t zero);

// text is replaced by its trimmed form; decimals < 0 takes the decimals written in the text.
std::string prfNumEditStr(std::string& text, std::int16_t width, std::int16_t decimals, std::int16_t minus,
                          std::int16_t grouping, std::int16_t suppress, std::int16_t zero);

} // namespace kov
