// Era conversion against a real name-setting database: the era picked at, before and
// after each start date, unused eras, a table that holds no row, and the formatters on
// the converted date.
#include "print/era.h"

#include "common/tests/scriptedruntime.h"
#include "common/text.h"
#include "db/tests/fixture.h"

#include <gtest/gtest.h>

using kov::BasCmnName;
using kov::Currency;
using kov::db::Row;

namespace {

Currency num(std::int64_t v) { return Currency::fromInt(v); }

Row eras(std::int64_t start1, std::int64_t start2, std::int64_t start3)
{
    return {
        {"NENKB1", "S"},    {"NENKJ1", "昭和"}, {"NENST1", start1}, {"NENKB2", "H"},    {"NENKJ2", "平成"},
        {"NENST2", start2}, {"NENKB3", "R"},    {"NENKJ3", "令和"}, {"NENST3", start3},
    };
}

struct ConvRow {
    std::int64_t date;
    const char* letter;
    std::int64_t eraYmd;
};

} // namespace

TEST(EraConv, EachEraFromItsStartDate)
{
    kov::db::Fixture fx;
    fx.setNames(eras(19261225, 19890108, 20190501));
    kov::ScriptedRuntime rt;
    BasCmnName names(rt);
    const ConvRow rows[] = {
        {19261225, "S", 11225}, {19890107, "S", 640107}, {19890108, "H", 10108},
        {19891231, "H", 11231}, {20190430, "H", 310430}, {20190501, "R", 10501},
        {20230601, "R", 50601}, {20301101, "R", 121101}, {20191231, "R", 11231},
    };
    for (const ConvRow& r : rows) {
        EXPECT_EQ(names.prfEraConv(num(r.date)), num(r.eraYmd)) << r.date;
        EXPECT_EQ(names.p_curEraYmd, num(r.eraYmd)) << r.date;
        EXPECT_EQ(names.p_strEraKb, r.letter) << r.date;
    }
    // The name keeps the blanks of its six-character slot.
    names.prfEraConv(num(20230601));
    EXPECT_EQ(kov::text::trim(names.p_strEraKj), "令和");
    EXPECT_EQ(names.p_strEraKj, names.p_strNenKj[3]);
    EXPECT_TRUE(rt.messages.empty());
}

TEST(EraConv, UnusedErasAreNeverPicked)
{
    kov::db::Fixture fx;
    kov::ScriptedRuntime rt;
    BasCmnName names(rt);

    // Two eras: the third is never used, however late the date.
    fx.setNames(eras(19890108, 20190501, 0));
    names.prfEraConv(num(20990101));
    EXPECT_EQ(names.p_strEraKb, "H");
    EXPECT_EQ(names.p_curEraYmd, num(810101));
    names.prfEraConv(num(20190430));
    EXPECT_EQ(names.p_strEraKb, "S");

    // Without a second era the first holds every date, even past a third's start.
    fx.setNames(eras(19890108, 0, 20190501));
    names.prfEraConv(num(20230601));
    EXPECT_EQ(names.p_strEraKb, "S");
    EXPECT_EQ(names.p_curEraYmd, num(350601));
}

TEST(EraConv, WorkedExamplesOfASecondEraFrom20190501)
{
    kov::db::Fixture fx;
    fx.setNames({{"NENKB1", "H"},
                 {"NENKJ1", "平成"},
                 {"NENST1", std::int64_t{19890108}},
                 {"NENKB2", "R"},
                 {"NENKJ2", "令和"},
                 {"NENST2", std::int64_t{20190501}},
                 {"NENST3", std::int64_t{0}}});
    kov::ScriptedRuntime rt;
    BasCmnName names(rt);
    const struct {
        std::int64_t date;
        const char* format;
        const char* mode;
        const char* suffix;
        const char* result;
    } rows[] = {
        {20230601, "JYM", "DSP", "B", "令和 5年 6月分"}, {20230601, "JYM", "PRT", "B", "令和  5 年  6 月分"},
        {20230601, "JY", "DSP", "NB", "令和 5年度分"},   {20301101, "JYM", "DSP", "B", "令和12年11月分"},
        {20230601, "KYMD", "DSP", "", "R  5. 6. 1"},     {20280101, "JYMD", "DSP", "", "令和10年 1月 1日"},
        {20190430, "JYM", "DSP", "B", "平成31年 4月分"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(kov::prfEraFormat(names.eraDate(num(r.date)), r.format, r.mode, r.suffix), r.result)
            << r.date << " " << r.format;
    }
    // The summary report's formatter converts for itself.
    EXPECT_EQ(kov::prfChgDate(names, num(20230401), "JY", "DSP", "NB"), "令和 5年度分");
    EXPECT_EQ(names.p_curEraYmd, num(50401));
    EXPECT_EQ(kov::prfChgDate(names, num(20230601), "KYMD", "DSP", ""), "R05.06.01");
    EXPECT_EQ(kov::prfChgDate(names, num(20230601), "YMD", "PRT1", ""), " 5. 6.01");
}

TEST(EraConv, TableWithoutARowGivesTheDatePlusOneYear)
{
    // Every start 0: era 1 with a blank name, and one year added to the date.
    kov::db::Fixture fx;
    kov::ScriptedRuntime rt;
    BasCmnName names(rt);
    EXPECT_EQ(names.prfEraConv(num(20230601)), num(20240601));
    EXPECT_EQ(kov::text::trim(names.p_strEraKj), "");
    EXPECT_EQ(kov::text::trim(names.p_strEraKb), "");
    EXPECT_EQ(kov::prfEraFormat(names.eraDate(num(20230601)), "JYM", "DSP", "B"), "20年24月分");

    // A later conversion clears what an earlier one found.
    fx.setNames(eras(19261225, 19890108, 20190501));
    names.prfEraConv(num(20230601));
    EXPECT_EQ(names.p_strEraKb, "R");
    fx.execNames("DELETE FROM \"名設定\"");
    names.prfEraConv(num(20230601));
    EXPECT_EQ(kov::text::trim(names.p_strEraKb), "");
    EXPECT_EQ(names.p_curEraYmd, num(20240601));
}
