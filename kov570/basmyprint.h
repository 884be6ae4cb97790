#pragma once
// The printed summary of kov570: one page over "Kov570p.OVL" for every selected pair of
// finance slot and school slot, a header line and fourteen month rows of 21 figures,
// written as a print command file and handed to the print engine.
#include "kov570/baskov570.h"
#include "print/printrun.h"

#include <array>
#include <string>

namespace kov::kov570 {

// The labels of the finance slots 0 to 8 (0 = finance-office code 9, 8 = "全　体").
using ZaimuLabels = std::array<std::string, SumTable::kFinanceSlots>;

// The pages to print: one for every finance slot and school slot that are both selected.
struct SumSelection {
    std::array<bool, SumTable::kFinanceSlots> finance{};    // slots 0 to 8
    std::array<bool, SumTable::kSchoolSlots + 1> school{};  // slots 1 to 3 (0 unused)
};

// The print run of the table: the selected pages by finance slot, and within it by school
// slot, each headed by the table's fiscal year and the finance slot's label. The run's
// reads (ProgramContext::Reads) end after "ED ", before the hand-over to the engine.
void prsSumPrint(PrintContext& ctx, const SumTable& table, const SumSelection& selection, const ZaimuLabels& labels);

} // namespace kov::kov570
