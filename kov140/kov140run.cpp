#include "kov140/kov140run.h"

#include "blockreport/blockreportscreen.h"
#include "common/runtimeerror.h"
#include "common/text.h"
#include "print/era.h"
#include "print/numedit.h"

namespace kov::kov140 {

namespace {

Currency num(int v) { return Currency::fromInt(v); }

std::string edit(Currency v, int width) { return prfNumEdit(v, static_cast<std::int16_t>(width), 0, -1, -1, -1, -1); }

} // namespace

std::string processingMonthHeading(Currency syorid)
{
    const std::int64_t ym = syorid.truncated();
    const std::int64_t year = ym / 100;
    const std::int64_t month = ym % 100;
    if (ym <= 0 || year > 9999)
        throwInvalidArgument("処理年月 " + syorid.toString() + " は年月（YYYYMM）ではありません。");
    return japaneseCalendarHeading(static_cast<int>(year), static_cast<int>(month), 20);
}

Kov140Run::Kov140Run(blockreport::BlockReportScreen& screen) : BlockReportRun(screen) {}

std::array<LevelTotals*, 26> Kov140Run::accumulators()
{
    return {&totKyuryoKei, &totSTYOGK, &totCHIIKI,  &totKTOKUB, &totTUKINH,  &totTUKINK,  &totJYUKYO,
            &totFUYOTE,    &totShukuH, &totShukuK,  &totHEKICI, &totHEKJUN,  &totZANGYO,  &totKYUJIT,
            &totKIMATU,    &totKINBEN, &totKAZEIG,  &totSSIKYU, &totKENKO,   &totKOSEI,   &totKOYOU,
            &totKOUGOK,    &totSASIHK, &totNENFUS,  &totNenfusMinus, &totNenfusPlus};
}

void Kov140Run::prsKyuyo()
{
    const dataaccess::clsTbAccess& sk = *m_screen.SKSYKEI;
    // An empty column counts as 0.
    auto col = [&sk](const char* name) { return dataaccess::toCurrency(sk.TBRec(name), name); };

    totKyuryoKei.post(col("KYURYO") + col("KTYOGK"));
    totSTYOGK.post(col("STYOGK"));
    totCHIIKI.post(col("CHIIKI"));
    totKTOKUB.post(col("KTOKUB"));
    totTUKINH.post(col("TUKINH"));
    totTUKINK.post(col("TUKINK"));
    totJYUKYO.post(col("JYUKYO"));
    totFUYOTE.post(col("FUYOTE"));
    totShukuH.post(col("SYUKUH") + col("KISYUH"));
    totShukuK.post(col("SYUKUK") + col("KISYUK"));
    totHEKICI.post(col("HEKICI"));
    totHEKJUN.post(col("HEKJUN"));
    totZANGYO.post(col("ZANGYO"));
    totKYUJIT.post(col("KYUJIT"));
    totKIMATU.post(col("KIMATU"));
    totKINBEN.post(col("KINBEN"));
    totKAZEIG.post(col("KAZEIG"));
    totSSIKYU.post(col("SSIKYU"));
    totKENKO.post(col("KENKO"));
    totKOSEI.post(col("KOSEI"));
    totKOYOU.post(col("KOYOU"));

    // The year-end adjustment: a shortfall (zero or less) and a refund are printed in
    // columns of their own; the signed amount itself is kept for the staff line only.
    const Currency nenfus = col("NENFUS");
    totNENFUS[0] = nenfus;
    if (nenfus <= Currency{}) totNenfusMinus.post(nenfus);
    else totNenfusPlus.post(nenfus);

    totKOUGOK.post(col("KOUGOK"));
    totSASIHK.post(col("SASIHK"));
}

void Kov140Run::prsGokeiClr(std::int16_t Fcnt, std::int16_t Tcnt)
{
    for (std::int16_t level = Fcnt; level <= Tcnt; ++level)
        for (LevelTotals* t : accumulators()) t->clear(level);
}

void Kov140Run::prfHeadPrint()
{
    startPage();
    prtText(num(16), Currency::fromTenths(35), 100, processingMonthHeading(m_screen.syorid()));
    finishPageHeading();
}

void Kov140Run::prsGokeiPrint(std::int16_t inji)
{
    if (st.iLine > 24) prfHeadPrint();
    setRows();
    const Currency y1 = st.curY1;
    const Currency y2 = st.curY2;

    switch (inji) {
    case kBlock:
        prtText(num(7), y1, 75, kBlockTotalText);
        break;
    case kAffiliation:
        prtText(num(7), y1, 75, prfReadSyozk());
        break;
    case kStaff: {
        prsKyuyo();
        prtText(Currency::fromTenths(72), y1, 75, jobKindName());
        prtText(Currency::fromTenths(72), y2, 75, text::left(dataaccess::toText(m_screen.SKSYOKU->TBRec("SIMKNJ")), 8));
        prtText(num(23), y2, 100, gradeText());
        break;
    }
    default:
        throwInvalidArgument("inji " + std::to_string(inji));
    }

    struct Column {
        const LevelTotals* total;  // null: a text without characters
        int x;
        bool upper;
        int width;
        bool reversed;             // printed with its sign reversed
    };
    const Column columns[] = {
        {&totKyuryoKei, 27, false, 12, false}, {&totSTYOGK, 39, false, 8, false},
        {&totCHIIKI, 47, false, 8, false},     {&totKTOKUB, 55, false, 8, false},
        {&totTUKINH, 63, true, 8, false},      {&totTUKINK, 63, false, 8, false},
        {&totJYUKYO, 71, false, 8, false},     {&totFUYOTE, 79, false, 8, false},
        {&totShukuH, 87, true, 8, false},      {&totShukuK, 87, false, 8, false},
        {&totHEKICI, 95, false, 8, false},     {&totHEKJUN, 103, false, 8, false},
        {&totZANGYO, 111, true, 8, false},     {&totKYUJIT, 111, false, 8, false},
        {&totKIMATU, 119, false, 8, false},    {&totKINBEN, 127, false, 8, false},
        {nullptr, 134, true, 0, false},        {&totSSIKYU, 135, false, 11, false},
        {&totKENKO, 147, true, 8, false},      {&totKOSEI, 147, false, 8, false},
        {&totKOYOU, 155, false, 8, false},     {&totNenfusMinus, 163, false, 8, true},
        {&totKOUGOK, 170, false, 11, false},   {&totSASIHK, 181, false, 12, false},
        {&totNenfusPlus, 193, false, 10, false},
    };
    for (const Column& c : columns) {
        std::string field;
        if (c.total) {
            const Currency v = (*c.total)[inji];
            field = edit(c.reversed ? v * -1 : v, c.width);
        }
        prtText(num(c.x), c.upper ? y1 : y2, 100, field);
    }

    advanceAfter(inji);
    // Unlike kov120, kov140 clears the staff level after every staff line: a record posts
    // NENFUS to one of its two columns only, and the other must not show the amount of
    // the staff member before.
    if (inji == kStaff) prsGokeiClr(0, 0);
}

} // namespace kov::kov140
