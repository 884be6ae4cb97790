#pragma once
// The print run of kov140: the differential payment breakdown statement. Fills the
// entries, amounts, page heading and layout into the block report run; always printed
// over the overlay "KOV140p.ovl", whatever the staff group.
#include "blockreport/blockreportrun.h"
#include "blockreport/leveltotals.h"

#include <array>
#include <cstdint>
#include <string>

namespace kov::kov140 {

using blockreport::EntryLevel;
using blockreport::LevelTotals;

class Kov140Run : public blockreport::BlockReportRun {
public:
    explicit Kov140Run(PrintContext& ctx);

    // The twenty-six accumulators, in the order in which they are cleared.
    LevelTotals totKyuryoKei, totSTYOGK, totCHIIKI, totKTOKUB, totTUKINH, totTUKINK, totJYUKYO, totFUYOTE, totShukuH,
        totShukuK, totHEKICI, totHEKJUN, totZANGYO, totKYUJIT, totKIMATU, totKINBEN, totKAZEIG, totSSIKYU, totKENKO,
        totKOSEI, totKOYOU, totKOUGOK, totSASIHK, totNENFUS, totNenfusMinus, totNenfusPlus;

    // Reads the amounts of the current payment record into level 0 and adds them to the
    // affiliation and block levels. NENFUS goes to the minus column when it is zero or
    // negative and to the plus column otherwise; totNENFUS keeps level 0 only.
    void prsKyuyo();
    void prsGokeiClr(EntryLevel first, EntryLevel last) override;
    void prsGokeiPrint(EntryLevel level) override;
    // Starts a new page and prints its heading.
    void prfHeadPrint() override;

protected:
    std::string jobName() const override { return "KOV140"; }
    std::string overlayFile() const override { return "KOV140p.ovl"; }

private:
    std::array<LevelTotals*, 26> accumulators();
};

// The heading of the processing month YYYYMM: day 20 of that month in the Japanese
// calendar, "ggg ee年mm月分" (so a month in which an era begins by the 20th carries the
// new era's name).
std::string processingMonthHeading(Currency syorid);

} // namespace kov::kov140
