#pragma once
// Japanese era formatting of date numbers (YYYYMMDD, YYYYMM).
#include "common/cmnname.h"
#include "common/currency.h"

#include <string>
#include <string_view>

namespace kov {

// Formats an era date (BasCmnName::eraDate).
std::string prfEraFormat(const EraDate& date, std::string_view format, std::string_view mode, std::string_view suffix);

// The extended formatter of prfChgDate on an era date: "KYMD"
// without the blank after the letter, the further codes "YMD", "YM", "MD", "J", "Y",
// "M", "D" and the mode "PRT1".
std::string prfChgDateFormat(const EraDate& date, std::string_view format, std::string_view mode,
                             std::string_view suffix);

// prfEraConv with date, then the extended formatter.
std::string prfChgDate(BasCmnName& names, Currency date, std::string_view format, std::string_view mode,
                       std::string_view suffix);

// Characters of the decimal digits of value chosen by the selector code ("YMD", "YM", "Y",
// "MD", "M", "D", either case), as a number.
Currency prfDatePart(Currency value, std::string_view part);

// The Japanese-calendar heading "ggg ee年mm月分" of a calendar date, through the
// platform's Japanese calendar: era name, two-digit era year, two-digit month.
std::string japaneseCalendarHeading(int year, int month, int day);

} // namespace kov
