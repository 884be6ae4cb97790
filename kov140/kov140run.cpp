#include "kov140/kov140run.h"

#include "common/runtimeerror.h"
#include "common/text.h"
#include "print/era.h"

namespace kov::kov140 {

std::string processingMonthHeading(Currency syorid)
{
    const std::int64_t yearMonth = syorid.truncated();
    const std::int64_t year = yearMonth / 100;
    const std::int64_t month = yearMonth % 100;
    if (yearMonth <= 0 || year > 9999)
        throwInvalidArgument("処理年月 " + syorid.toString() + " は年月（YYYYMM）ではありません。");
    return japaneseCalendarHeading(static_cast<int>(year), static_cast<int>(month), 20);
}

Kov140Run::Kov140Run(PrintContext& ctx) : BlockReportRun(ctx) {}

std::array<LevelTotals*, 26> Kov140Run::accumulators()
{
    return {&totKyuryoKei, &totSTYOGK, &totCHIIKI, &totKTOKUB,      &totTUKINH,    &totTUKINK, &totJYUKYO,
            &totFUYOTE,    &totShukuH, &totShukuK, &totHEKICI,      &totHEKJUN,    &totZANGYO, &totKYUJIT,
            &totKIMATU,    &totKINBEN, &totKAZEIG, &totSSIKYU,      &totKENKO,     &totKOSEI,  &totKOYOU,
            &totKOUGOK,    &totSASIHK, &totNENFUS, &totNenfusMinus, &totNenfusPlus};
}

void Kov140Run::prsKyuyo()
{
    const dataaccess::clsTbAccess& records = input().records;
    // An empty column counts as 0.
    auto col = [&records](const char* name) { return dataaccess::toCurrency(records.TBRec(name), name); };

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
    totNENFUS[EntryLevel::Staff] = nenfus;
    if (nenfus <= Currency{}) totNenfusMinus.post(nenfus);
    else totNenfusPlus.post(nenfus);

    totKOUGOK.post(col("KOUGOK"));
    totSASIHK.post(col("SASIHK"));
}

void Kov140Run::prsGokeiClr(EntryLevel first, EntryLevel last) { clearLevels(accumulators(), first, last); }

void Kov140Run::prfHeadPrint()
{
    startPage();
    prtText(num(16), Currency::fromTenths(35), 100, processingMonthHeading(input().processingMonth));
    finishPageHeading();
}

void Kov140Run::prsGokeiPrint(EntryLevel level)
{
    beginEntry();
    const Currency y1 = state().curY1;
    const Currency y2 = state().curY2;

    switch (level) {
    case EntryLevel::Block:
        prtText(num(7), y1, 75, kBlockTotalText);
        break;
    case EntryLevel::Affiliation:
        prtText(num(7), y1, 75, prfReadSyozk());
        break;
    case EntryLevel::Staff:
        prsKyuyo();
        prtText(Currency::fromTenths(72), y1, 75, jobKindName());
        prtText(Currency::fromTenths(72), y2, 75, text::left(dataaccess::toText(input().staff.TBRec("SIMKNJ")), 8));
        prtText(num(23), y2, 100, gradeText());
        break;
    default:
        throwInvalidArgument("entry level " + std::to_string(static_cast<int>(level)));
    }

    struct Column {
        const LevelTotals* total; // null: a text without characters
        int x;
        bool upper;
        int width;
        bool reversed; // printed with its sign reversed
    };
    const Column columns[] = {
        {&totKyuryoKei, 27, false, 12, false},   {&totSTYOGK, 39, false, 8, false},
        {&totCHIIKI, 47, false, 8, false},       {&totKTOKUB, 55, false, 8, false},
        {&totTUKINH, 63, true, 8, false},        {&totTUKINK, 63, false, 8, false},
        {&totJYUKYO, 71, false, 8, false},       {&totFUYOTE, 79, false, 8, false},
        {&totShukuH, 87, true, 8, false},        {&totShukuK, 87, false, 8, false},
        {&totHEKICI, 95, false, 8, false},       {&totHEKJUN, 103, false, 8, false},
        {&totZANGYO, 111, true, 8, false},       {&totKYUJIT, 111, false, 8, false},
        {&totKIMATU, 119, false, 8, false},      {&totKINBEN, 127, false, 8, false},
        {nullptr, 134, true, 0, false},          {&totSSIKYU, 135, false, 11, false},
        {&totKENKO, 147, true, 8, false},        {&totKOSEI, 147, false, 8, false},
        {&totKOYOU, 155, false, 8, false},       {&totNenfusMinus, 163, false, 8, true},
        {&totKOUGOK, 170, false, 11, false},     {&totSASIHK, 181, false, 12, false},
        {&totNenfusPlus, 193, false, 10, false},
    };
    for (const Column& column : columns) {
        std::string field;
        if (column.total) {
            const Currency value = (*column.total)[level];
            field = edit(column.reversed ? value * -1 : value, column.width);
        }
        prtText(num(column.x), column.upper ? y1 : y2, 100, field);
    }

    advanceAfter(level);
    // Unlike kov120, kov140 clears the staff level after every staff line: a record posts
    // NENFUS to one of its two columns only, and the other must not show the amount of
    // the staff member before.
    if (level == EntryLevel::Staff) prsGokeiClr(EntryLevel::Staff, EntryLevel::Staff);
}

} // namespace kov::kov140
