#include "kov120/kov120run.h"

#include "common/runtimeerror.h"
#include "common/text.h"
#include "print/era.h"
#include "print/numedit.h"

#include <algorithm>
#include <cstdio>

namespace kov::kov120 {

namespace {

std::string digits128(unsigned __int128 value)
{
    if (value == 0) return "0";
    std::string digits;
    while (value > 0) {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
        value /= 10;
    }
    return digits;
}

} // namespace

std::string rateText(Currency rate)
{
    // rate ÷ 100000 is the raw value (scaled by 10^4) scaled by 10^9: exact in decimal.
    constexpr int kPoint = 9;
    const bool negative = rate.raw() < 0;
    unsigned __int128 magnitude = negative ? static_cast<unsigned __int128>(-static_cast<__int128>(rate.raw()))
                                           : static_cast<unsigned __int128>(rate.raw());
    std::string digits = digits128(magnitude);
    if (digits.size() > 15) {
        unsigned __int128 unit = 1;
        for (std::size_t i = 0; i < digits.size() - 15; ++i) unit *= 10;
        magnitude = (magnitude + unit / 2) / unit * unit; // halves away from zero
        digits = digits128(magnitude);
    }
    if (digits.size() <= kPoint) digits.insert(0, kPoint + 1 - digits.size(), '0');
    std::string whole = digits.substr(0, digits.size() - kPoint);
    std::string frac = digits.substr(digits.size() - kPoint);
    while (!frac.empty() && frac.back() == '0') frac.pop_back();
    std::string out = (negative && magnitude != 0) ? "-" : "";
    out += whole;
    if (!frac.empty()) out += "." + frac;
    return out;
}

std::string rateFractionText(Currency rate)
{
    std::string decimal = rateText(rate);
    const std::string edited = text::trim(prfNumEditStr(decimal, 10, -1, 0, 0, -1, -1));
    const std::size_t len = text::length(edited);
    const std::size_t free = len < 10 ? 10 - len : 0;
    const std::size_t right = free / 2;
    return text::spaces(free - right) + edited + text::spaces(right);
}

std::string periodText(Currency monthsAndDays)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%03lld", static_cast<long long>(monthsAndDays.rounded()));
    const std::string digits = buf;
    const std::string months = text::left(digits, 1);
    std::string days = text::right(digits, 2);
    if (!days.empty() && days[0] == '0') days[0] = ' ';
    return months + "カ月" + days + "日";
}

Kov120Run::Kov120Run(PrintContext& ctx) : BlockReportRun(ctx) {}

std::string Kov120Run::overlayFile() const
{
    return input().group == blockreport::StaffGroup::Monthly ? "KOV120p.ovl" : "KOV121p.ovl";
}

std::array<LevelTotals*, 18> Kov120Run::accumulators()
{
    return {&totKYURYO,   &totKTYOGK,     &totSTYOGK, &totKinbenKiso, &totFUYOTE, &totKMCHIIKI,
            &totKBCHIIKI, &totKimatuKiso, &totKIMATU, &totKINBEN,     &totKMZOGE, &totSSIKYU,
            &totZENKAZ,   &totSYOTOK,     &totKOYOU,  &totKENKO,      &totKOSEI,  &totSASIHK};
}

Currency Kov120Run::processingMonth() const { return prfDatePart(input().processingMonth, "M"); }

void Kov120Run::prsKyuyo()
{
    const dataaccess::clsTbAccess& records = input().records;
    auto col = [&records](const char* name) { return dataaccess::toCurrency(records.TBRec(name), name); };

    totKYURYO.post(col("KYURYO"));
    totKTYOGK.post(col("KTYOGK"));
    totSTYOGK.post(col("STYOGK"));
    totKinbenKiso.post(input().group == blockreport::StaffGroup::Monthly
                           ? col("KYURYO") + col("KTYOGK") + col("STYOGK") + col("KBCHIIKI")
                           : Currency{});
    totFUYOTE.post(col("FUYOTE"));
    totKMCHIIKI.post(col("KMCHIIKI"));
    totKBCHIIKI.post(col("KBCHIIKI"));
    totKimatuKiso.post(col("KYURYO") + col("KTYOGK") + col("STYOGK") + col("FUYOTE") + col("KMCHIIKI"));
    totKIMATU.post(col("KIMATU"));
    totKINBEN.post(col("KINBEN"));
    totKMZOGE.post(col("KMZOGE"));
    totSSIKYU.post(col("SSIKYU"));
    totZENKAZ.post(col("ZENKAZ"));
    totSYOTOK.post(col("SYOTOK"));
    totKOYOU.post(col("KOYOU"));
    totKENKO.post(col("KENKO"));
    totKOSEI.post(col("KOSEI"));
    totSASIHK.post(col("SASIHK"));

    stfKYUSYU = col("Kyusyu");
    stfKMRITU = col("KMRITU");
    stfKBRITU = col("KBRITU");
    stfFSINSU = col("FSINSU");
    stfZEIRT2 = col("ZEIRT2");
    stfKMMMDD = col("KMMMDD");
    stfKBMMDD = col("KBMMDD");
}

void Kov120Run::prsGokeiClr(EntryLevel first, EntryLevel last)
{
    clearLevels(accumulators(), first, last);
    if (first <= last) stfKYUSYU = stfKMRITU = stfKBRITU = stfFSINSU = stfZEIRT2 = stfKMMMDD = stfKBMMDD = Currency{};
}

void Kov120Run::prfHeadPrint()
{
    startPage();

    if (processingMonth() == num(3)) {
        prtText(num(92), Currency::fromTenths(55), 100, "増減額");
        prtText(num(92), Currency::fromTenths(65), 100, "期　末");
        prtText(num(92), Currency::fromTenths(75), 100, "手　当");
    } else {
        prtText(num(92), Currency::fromTenths(55), 100, "期　末");
        prtText(num(92), Currency::fromTenths(75), 100, "手　当");
    }

    const EraDate month = context().cmnName().eraDate(input().processingMonth * 100 + num(1));
    prtText(num(16), Currency::fromTenths(35), 100, prfEraFormat(month, "JYM", "PRT", "B"));
    finishPageHeading();
}

const std::string& Kov120Run::rateFractionTextOf(Currency rate)
{
    const std::size_t kept = std::min(m_rateTextsUsed, m_rateTexts.size());
    for (std::size_t i = 0; i < kept; ++i)
        if (m_rateTexts[i].rate == rate) return m_rateTexts[i].text;
    std::string text = rateFractionText(rate);
    RateText& slot = m_rateTexts[m_rateTextsUsed++ % m_rateTexts.size()];
    slot = RateText{rate, std::move(text)};
    return slot.text;
}

void Kov120Run::printRateFraction(int x, Currency rate)
{
    prtText(num(x), state().curY1, 100, rateFractionTextOf(rate));
    prtHLichi(num(x + 1), state().curY1, num(8), num(1), num(0), num(0), num(0), num(0), num(0));
    prtText(num(x + 4), state().curY2, 100, "100");
}

void Kov120Run::prsGokeiPrint(EntryLevel level)
{
    beginEntry();
    const Currency y1 = state().curY1;
    const Currency y2 = state().curY2;
    const bool march = processingMonth() == num(3);

    switch (level) {
    case EntryLevel::Block:
        prtText(num(5), y1, 75, kBlockTotalText);
        break;
    case EntryLevel::Affiliation:
        if (text::length(prfReadSyozk()) <= 8) prtText(num(5), y1, 75, prfReadSyozk());
        else prtText(num(5), y1, 60, prfReadSyozk());
        break;
    case EntryLevel::Staff:
        prsKyuyo();
        prtText(num(5), y1, 75, jobKindName());
        prtText(num(5), y2, 75, dataaccess::toText(input().staff.TBRec("SIMKNJ")));
        if (input().group == blockreport::StaffGroup::Monthly) prtText(num(17), y2, 100, gradeText());
        break;
    default:
        throwInvalidArgument("entry level " + std::to_string(static_cast<int>(level)));
    }

    struct Column {
        LevelTotals* total;
        int x;
        bool upper;
        int width;
        bool shown;
    };
    const Column columns[] = {
        {&totKYURYO, 21, false, 12, true},    {&totKTYOGK, 33, false, 8, true},
        {&totSTYOGK, 41, false, 8, true},     {&totFUYOTE, 49, false, 8, true},
        {&totKMCHIIKI, 57, true, 10, true},   {&totKBCHIIKI, 57, false, 10, true},
        {&totKimatuKiso, 67, true, 12, true}, {&totKinbenKiso, 67, false, 12, true},
        {&totKMZOGE, 89, true, 12, march},    {&totKIMATU, 89, false, 12, true},
        {&totKINBEN, 111, false, 12, !march}, {&totSSIKYU, 123, false, 12, true},
        {&totSYOTOK, 153, false, 10, true},   {&totKOYOU, 163, false, 8, true},
        {&totKENKO, 171, true, 10, true},     {&totKOSEI, 171, false, 10, true},
        {&totSASIHK, 181, false, 12, true},
    };
    for (const Column& column : columns)
        if (column.shown)
            prtText(num(column.x), column.upper ? y1 : y2, 100, edit((*column.total)[level], column.width));

    if (level == EntryLevel::Staff) {
        if (stfKYUSYU == num(2)) {
            printRateFraction(79, stfKMRITU);
            if (!march) printRateFraction(101, stfKBRITU);
        }
        prtText(num(135), y2, 100, edit(totZENKAZ[EntryLevel::Staff], 10));
        prtText(num(145), y2, 100, edit(stfFSINSU, 2));
        prtText(num(147), y2, 100, prfNumEdit(stfZEIRT2, 6, 3, -1, -1, -1, -1));
        if (!stfKMMMDD.isZero()) prtText(num(195), y1, 100, periodText(stfKMMMDD));
        if (!stfKBMMDD.isZero()) prtText(num(195), y2, 100, periodText(stfKBMMDD));
    }

    // The staff level is not cleared here: every record sets all of it again, and after
    // the run it still holds the last staff line.
    advanceAfter(level);
}

} // namespace kov::kov120
