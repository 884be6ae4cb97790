#include "kov120/kov120run.h"

#include "blockreport/blockreportscreen.h"
#include "common/runtimeerror.h"
#include "common/text.h"
#include "print/era.h"
#include "print/numedit.h"

#include <algorithm>
#include <cstdio>

namespace kov::kov120 {

namespace {

Currency num(int v) { return Currency::fromInt(v); }

std::string edit(Currency v, int width) { return prfNumEdit(v, static_cast<std::int16_t>(width), 0, -1, -1, -1, -1); }

std::string digits128(unsigned __int128 v)
{
    if (v == 0) return "0";
    std::string s;
    while (v > 0) {
        s.insert(s.begin(), static_cast<char>('0' + static_cast<int>(v % 10)));
        v /= 10;
    }
    return s;
}

} // namespace

std::string rateText(Currency r)
{
    // r ÷ 100000 is the raw value (scaled by 10^4) scaled by 10^9: exact in decimal.
    constexpr int kPoint = 9;
    const bool negative = r.raw() < 0;
    unsigned __int128 m = negative ? static_cast<unsigned __int128>(-static_cast<__int128>(r.raw()))
                                   : static_cast<unsigned __int128>(r.raw());
    std::string d = digits128(m);
    if (d.size() > 15) {
        unsigned __int128 p = 1;
        for (std::size_t i = 0; i < d.size() - 15; ++i) p *= 10;
        m = (m + p / 2) / p * p;  // halves away from zero
        d = digits128(m);
    }
    if (d.size() <= kPoint) d.insert(0, kPoint + 1 - d.size(), '0');
    std::string whole = d.substr(0, d.size() - kPoint);
    std::string frac = d.substr(d.size() - kPoint);
    while (!frac.empty() && frac.back() == '0') frac.pop_back();
    std::string out = (negative && m != 0) ? "-" : "";
    out += whole;
    if (!frac.empty()) out += "." + frac;
    return out;
}

std::string rateFractionText(Currency r)
{
    std::string n = rateText(r);
    const std::string t = text::trim(prfNumEditStr(n, 10, -1, 0, 0, -1, -1));
    const std::size_t len = text::length(t);
    const std::size_t free = len < 10 ? 10 - len : 0;
    const std::size_t right = free / 2;
    return text::spaces(free - right) + t + text::spaces(right);
}

std::string periodText(Currency v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%03lld", static_cast<long long>(v.rounded()));
    const std::string s = buf;
    const std::string months = text::left(s, 1);
    std::string days = text::right(s, 2);
    if (!days.empty() && days[0] == '0') days[0] = ' ';
    return months + "カ月" + days + "日";
}

Kov120Run::Kov120Run(blockreport::BlockReportScreen& screen) : BlockReportRun(screen) {}

std::string Kov120Run::overlayFile() const { return m_screen.optGetugaku ? "KOV120p.ovl" : "KOV121p.ovl"; }

std::array<LevelTotals*, 18> Kov120Run::accumulators()
{
    return {&totKYURYO, &totKTYOGK,     &totSTYOGK, &totKinbenKiso, &totFUYOTE, &totKMCHIIKI,
            &totKBCHIIKI, &totKimatuKiso, &totKIMATU, &totKINBEN,     &totKMZOGE, &totSSIKYU,
            &totZENKAZ, &totSYOTOK,     &totKOYOU,  &totKENKO,      &totKOSEI,  &totSASIHK};
}

Currency Kov120Run::processingMonth() const { return prfDatePart(m_screen.syorid(), "M"); }

void Kov120Run::prsKyuyo()
{
    const dataaccess::clsTbAccess& sk = *m_screen.SKSYKEI;
    auto col = [&sk](const char* name) { return dataaccess::toCurrency(sk.TBRec(name), name); };

    totKYURYO.post(col("KYURYO"));
    totKTYOGK.post(col("KTYOGK"));
    totSTYOGK.post(col("STYOGK"));
    totKinbenKiso.post(m_screen.optGetugaku ? col("KYURYO") + col("KTYOGK") + col("STYOGK") + col("KBCHIIKI")
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

void Kov120Run::prsGokeiClr(std::int16_t Fcnt, std::int16_t Tcnt)
{
    for (std::int16_t level = Fcnt; level <= Tcnt; ++level) {
        for (LevelTotals* t : accumulators()) t->clear(level);
        stfKYUSYU = stfKMRITU = stfKBRITU = stfFSINSU = stfZEIRT2 = stfKMMMDD = stfKBMMDD = Currency{};
    }
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

    m_ctx.cmnName.prfEraConv(m_screen.syorid() * 100 + num(1));
    prtText(num(16), Currency::fromTenths(35), 100, prfEraFormat(m_ctx.cmnName, "JYM", "PRT", "B"));
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

void Kov120Run::printRateFraction(int a, Currency rate)
{
    prtText(num(a), st.curY1, 100, rateFractionTextOf(rate));
    prtHLichi(num(a + 1), st.curY1, num(8), num(1), num(0), num(0), num(0), num(0), num(0));
    prtText(num(a + 4), st.curY2, 100, "100");
}

void Kov120Run::prsGokeiPrint(std::int16_t inji)
{
    if (st.iLine > 24) prfHeadPrint();
    setRows();
    const Currency y1 = st.curY1;
    const Currency y2 = st.curY2;
    const bool march = processingMonth() == num(3);

    switch (inji) {
    case kBlock:
        prtText(num(5), y1, 75, kBlockTotalText);
        break;
    case kAffiliation:
        if (text::length(prfReadSyozk()) <= 8) prtText(num(5), y1, 75, prfReadSyozk());
        else prtText(num(5), y1, 60, prfReadSyozk());
        break;
    case kStaff: {
        prsKyuyo();
        prtText(num(5), y1, 75, jobKindName());
        prtText(num(5), y2, 75, dataaccess::toText(m_screen.SKSYOKU->TBRec("SIMKNJ")));
        if (m_screen.optGetugaku) prtText(num(17), y2, 100, gradeText());
        break;
    }
    default:
        throwInvalidArgument("inji " + std::to_string(inji));
    }

    struct Column {
        LevelTotals* total;
        int x;
        bool upper;
        int width;
        bool shown;
    };
    const Column columns[] = {
        {&totKYURYO, 21, false, 12, true},      {&totKTYOGK, 33, false, 8, true},
        {&totSTYOGK, 41, false, 8, true},       {&totFUYOTE, 49, false, 8, true},
        {&totKMCHIIKI, 57, true, 10, true},     {&totKBCHIIKI, 57, false, 10, true},
        {&totKimatuKiso, 67, true, 12, true},   {&totKinbenKiso, 67, false, 12, true},
        {&totKMZOGE, 89, true, 12, march},      {&totKIMATU, 89, false, 12, true},
        {&totKINBEN, 111, false, 12, !march},   {&totSSIKYU, 123, false, 12, true},
        {&totSYOTOK, 153, false, 10, true},     {&totKOYOU, 163, false, 8, true},
        {&totKENKO, 171, true, 10, true},       {&totKOSEI, 171, false, 10, true},
        {&totSASIHK, 181, false, 12, true},
    };
    for (const Column& c : columns)
        if (c.shown) prtText(num(c.x), c.upper ? y1 : y2, 100, edit((*c.total)[inji], c.width));

    if (inji == kStaff) {
        if (stfKYUSYU == num(2)) {
            printRateFraction(79, stfKMRITU);
            if (!march) printRateFraction(101, stfKBRITU);
        }
        prtText(num(135), y2, 100, edit(totZENKAZ[0], 10));
        prtText(num(145), y2, 100, edit(stfFSINSU, 2));
        prtText(num(147), y2, 100, prfNumEdit(stfZEIRT2, 6, 3, -1, -1, -1, -1));
        if (!stfKMMMDD.isZero()) prtText(num(195), y1, 100, periodText(stfKMMMDD));
        if (!stfKBMMDD.isZero()) prtText(num(195), y2, 100, periodText(stfKBMMDD));
    }

    // The staff level is not cleared here: every record sets all of it again, and after
    // the run it still holds the last staff line.
    advanceAfter(inji);
}

} // namespace kov::kov120
