#pragma once
// The print run of kov120: the term-end and diligence allowance payment record. Fills
// the entries, amounts, page heading and layout into the block report run.
#include "blockreport/blockreportrun.h"
#include "blockreport/leveltotals.h"

#include <array>
#include <cstdint>
#include <string>

namespace kov::kov120 {

using blockreport::EntryLevel;
using blockreport::LevelTotals;

class Kov120Run : public blockreport::BlockReportRun {
public:
    explicit Kov120Run(PrintContext& ctx);

    // The eighteen accumulators, in the order in which they are read and cleared.
    LevelTotals totKYURYO, totKTYOGK, totSTYOGK, totKinbenKiso, totFUYOTE, totKMCHIIKI, totKBCHIIKI, totKimatuKiso,
        totKIMATU, totKINBEN, totKMZOGE, totSSIKYU, totZENKAZ, totSYOTOK, totKOYOU, totKENKO, totKOSEI, totSASIHK;
    // Per-staff values of the current record; never summed.
    Currency stfKYUSYU, stfKMRITU, stfKBRITU, stfFSINSU, stfZEIRT2, stfKMMMDD, stfKBMMDD;

    // Reads the amounts of the current payment record into level 0 and adds them to the
    // affiliation and block levels.
    void prsKyuyo();
    void prsGokeiClr(EntryLevel first, EntryLevel last) override;
    void prsGokeiPrint(EntryLevel level) override;
    // Starts a new page and prints its heading.
    void prfHeadPrint() override;

protected:
    std::string jobName() const override { return "KOV120"; }
    std::string overlayFile() const override;

private:
    std::array<LevelTotals*, 18> accumulators();
    // The month of the processing month SYORID.
    Currency processingMonth() const;
    void printRateFraction(int x, Currency rate);

    // The texts of the rates printed last: a prefecture's staff share a few rates.
    struct RateText {
        Currency rate;
        std::string text;
    };
    std::array<RateText, 4> m_rateTexts;
    std::size_t m_rateTextsUsed = 0;
    const std::string& rateFractionTextOf(Currency rate);
};

// The rate ÷ 100000 as decimal text rounded to 15 significant digits, without
// trailing zeros: 9500000 gives "95", 6750000 gives "67.5".
std::string rateText(Currency rate);
// The rate edited and centred in ten characters (the larger margin on the left).
std::string rateFractionText(Currency rate);
// Months and days held as one number: 615 gives "6カ月15日", 600 "6カ月 0日".
std::string periodText(Currency monthsAndDays);

} // namespace kov::kov120
