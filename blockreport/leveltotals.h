#pragma once
// Page state and three-level running totals of a block report (staff line,
// affiliation subtotal, block total).
#include "common/currency.h"

#include <array>
#include <cstdint>
#include <string>

namespace kov::blockreport {

// One amount at the three levels: 0 = the current staff member, 1 = the running
// subtotal of the current affiliation, 2 = the running total of the current block.
class LevelTotals {
public:
    // Any index other than 0, 1 or 2 raises RuntimeError(InvalidArgument).
    Currency& operator[](std::int16_t level);
    const Currency& operator[](std::int16_t level) const;

    // Sets level 0 to value and adds it to levels 1 and 2.
    void post(Currency value);
    void clear(std::int16_t level) { (*this)[level] = Currency{}; }

private:
    std::array<Currency, 3> m_levels{};
};

// The state of one print run; set up again at the start of every run.
struct ReportState {
    std::int16_t iLine = 25;    // entry slot on the current page; above 24 = next entry starts a page
    std::int16_t iPage = 1;     // page number within the current block
    std::int16_t iPageCnt = 0;  // pages started in this run
    std::int16_t iBlock = 0;    // block number (SYRFLG) of the group being printed
    std::string strSyozok;      // affiliation code (SYOZOK) of the group being printed
    Currency curY1;             // upper row of the entry being printed
    Currency curY2;             // lower row of the entry being printed
};

} // namespace kov::blockreport
