#pragma once
// Page state and three-level running totals of a block report (staff line,
// affiliation subtotal, block total).
#include "common/currency.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace kov::blockreport {

// The level of an entry of a block report, the levels of its running totals.
enum class EntryLevel : std::int16_t {
    Staff = 0, // one staff member (one payment record)
    Affiliation = 1, // the subtotal of an affiliation (school)
    Block = 2, // the total of a block, "※ブロック合計※"
};

// One amount at the three levels: the current staff member, the running subtotal of
// the current affiliation, the running total of the current block.
class LevelTotals {
public:
    // A level outside the three raises RuntimeError(InvalidArgument).
    Currency& operator[](EntryLevel level);
    const Currency& operator[](EntryLevel level) const;

    // Sets the staff level to value and adds it to the affiliation and block levels.
    void post(Currency value);
    void clear(EntryLevel level) { (*this)[level] = Currency{}; }

private:
    std::array<Currency, 3> m_levels{};
};

// Clears the levels `first` to `last` of every one of totals (none when first is above
// last).
void clearLevels(std::span<LevelTotals* const> totals, EntryLevel first, EntryLevel last);

// The state of one print run; set up again at the start of every run.
struct ReportState {
    std::int16_t iLine = 25; // entry slot on the current page; above 24 = next entry starts a page
    std::int16_t iPage = 1; // page number within the current block
    std::int16_t iPageCnt = 0; // pages started in this run
    std::int16_t iBlock = 0; // block number (SYRFLG) of the group being printed
    std::string strSyozok; // affiliation code (SYOZOK) of the group being printed
    Currency curY1; // upper row of the entry being printed
    Currency curY2; // lower row of the entry being printed
};

} // namespace kov::blockreport
