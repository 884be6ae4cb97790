#pragma once
// The printed summary of kov570: one page over "Kov570p.OVL" for every selected pair of
// finance slot and school slot, a header line and fourteen month rows of 21 figures,
// written as a print command file and handed to the print engine.
#include "kov570/baskov570.h"
#include "print/printrun.h"

#include <algorithm>
#include <array>
#include <string>

namespace kov::kov570 {

// The labels of the finance slots 0 to 8 (0 = finance-office code 9, 8 = "全　体").
using ZaimuLabels = std::array<std::string, SumTable::kFinanceSlots>;

// The pages to print: one for every finance slot (0 to 8) and school slot (1 to 3) that
// are both selected; none is at the start. A slot outside these is an out-of-range error.
class SumSelection {
public:
    void setFinance(int slot, bool selected) { m_finance.at(static_cast<std::size_t>(slot)) = selected; }
    void setSchool(int slot, bool selected) { m_school.at(static_cast<std::size_t>(slot)) = selected; }
    bool finance(int slot) const { return m_finance.at(static_cast<std::size_t>(slot)); }
    bool school(int slot) const { return m_school.at(static_cast<std::size_t>(slot)); }
    bool anyFinance() const { return std::find(m_finance.begin(), m_finance.end(), true) != m_finance.end(); }
    bool anySchool() const { return std::find(m_school.begin(), m_school.end(), true) != m_school.end(); }

private:
    std::array<bool, SumTable::kFinanceSlots> m_finance{};
    std::array<bool, SumTable::kSchoolSlots + 1> m_school{}; // index 0 unused
};

// The print run of the table: the selected pages by finance slot, and within it by school
// slot, each headed by the table's fiscal year and the finance slot's label. The run's
// reads (ProgramContext::Reads) end after "ED ", before the hand-over to the engine.
void prsSumPrint(PrintContext& ctx, const SumTable& table, const SumSelection& selection, const ZaimuLabels& labels);

} // namespace kov::kov570
