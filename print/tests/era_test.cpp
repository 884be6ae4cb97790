// Era formatting of an era-relative date, the extended formatter, the digit extractor
// and the Japanese-calendar heading.
#include "print/era.h"

#include "common/runtimeerror.h"
#include "common/tests/scriptedruntime.h"
#include "common/text.h"

#include <gtest/gtest.h>

using kov::BasCmnName;
using kov::Currency;

namespace {

struct FormatRow {
    std::int64_t eraYmd;
    const char* format;
    const char* mode;
    const char* suffix;
    const char* result;
};

// An era date as the era conversion gives it: the name blank-padded to six characters.
kov::EraDate eraDate(std::int64_t eraYmd, const char* name = "令和", const char* letter = "R")
{
    return kov::EraDate{kov::text::fixedLength(name, 6), letter, Currency::fromInt(eraYmd)};
}

const FormatRow kFormatRows[] = {
    // Every code in "DSP", "PRT" and a further mode; era year 5, June 1st.
    {50601, "JYMD", "DSP", "", "令和 5年 6月 1日"},
    {50601, "JYMD", "PRT", "", "令和  5 年  6 月  1 日"},
    {50601, "JYMD", "", "", "令和 05 年 06 月 01 日"},
    {50601, "JYM", "DSP", "B", "令和 5年 6月分"},
    {50601, "JYM", "PRT", "B", "令和  5 年  6 月分"},
    {50601, "JYM", "LST", "", "令和 05 年 06 月"},
    {50601, "JY", "DSP", "NB", "令和 5年度分"},
    {50601, "JY", "PRT", "", "令和  5 年"},
    {50601, "JY", "", "", "令和 05 年"},
    {50601, "KYMD", "DSP", "", "R  5. 6. 1"},
    {50601, "KYMD", "PRT", "", "R 05.06. 1"},
    {50601, "KYMD", "", "", "R 05.06.01"},
    {50601, "KYM", "DSP", "", "R  5. 6"},
    {50601, "KYM", "", "", "R 05.06"},
    {50601, "KY", "DSP", "", "R  5"},
    {50601, "KY", "", "", "R 05"},
    // Unknown codes give nothing but the suffix; the mode "PRT1" is the extended one's.
    {50601, "XYZ", "DSP", "", ""},
    {50601, "", "DSP", "B", "分"},
    {50601, "YMD", "DSP", "", ""},
    {50601, "jym", "DSP", "", ""},
    {50601, "JYM", "PRT1", "", "令和 05 年 06 月"},
    // Two-digit fields keep their zeros only where no leading zero stands.
    {101010, "JYMD", "DSP", "", "令和10年10月10日"},
    {121101, "JYM", "DSP", "B", "令和12年11月分"},
    {310430, "JYMD", "PRT", "", "令和 31 年  4 月 30 日"},
    {10108, "JYM", "DSP", "B", "令和 1年 1月分"},
    // Suffixes: only "B" and "NB".
    {50601, "JY", "DSP", "b", "令和 5年"},
    {50601, "JY", "DSP", "X", "令和 5年"},
    // An era date of more than six digits (a table that failed to load): "20" is the year.
    {20240601, "JYM", "DSP", "B", "令和20年24月分"},
};

} // namespace

TEST(EraFormat, Table)
{
    for (const FormatRow& r : kFormatRows) {
        EXPECT_EQ(kov::prfEraFormat(eraDate(r.eraYmd), r.format, r.mode, r.suffix), r.result)
            << r.eraYmd << " " << r.format << " " << r.mode << " " << r.suffix;
    }
}

TEST(EraFormat, ExtendedFormatter)
{
    const kov::EraDate date = eraDate(50601);
    const struct {
        const char* format;
        const char* mode;
        const char* suffix;
        const char* result;
    } rows[] = {
        {"KYMD", "DSP", "", "R05.06.01"},
        {"KYMD", "", "", "R05.06.01"},
        {"YMD", "DSP", "", "05.06.01"},
        {"YMD", "PRT1", "", " 5. 6.01"},
        {"YM", "DSP", "", "05年06月"},
        {"YM", "PRT1", "B", " 5年 6月分"},
        {"MD", "PRT1", "", " 6. 1"},
        {"MD", "", "", "06.01"},
        {"J", "DSP", "", "令和"},
        {"Y", "PRT1", "", " 5"},
        {"Y", "", "", "05"},
        {"M", "", "", "06"},
        {"D", "PRT1", "", " 1"},
        {"JY", "DSP", "NB", "令和 5年度分"},
        {"JYM", "PRT", "B", "令和  5 年  6 月分"},
        {"KYM", "DSP", "", "R  5. 6"},
        {"JYMD", "PRT1", "", "令和  5 年 06 月 01 日"},
        {"Q", "DSP", "B", "分"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(kov::prfChgDateFormat(date, r.format, r.mode, r.suffix), r.result)
            << r.format << " " << r.mode << " " << r.suffix;
}

TEST(DatePart, Table)
{
    const struct {
        std::int64_t value;
        const char* part;
        std::int64_t result;
    } rows[] = {
        {20230615, "YMD", 20230615},
        {20230615, "ymd", 20230615},
        {20230615, "YM", 202306},
        {20230615, "ym", 202306},
        {20230615, "Y", 2023},
        {20230615, "y", 2023},
        {20230615, "MD", 615},
        {20230615, "md", 615},
        {20230615, "M", 6},
        {20230615, "m", 6},
        {20230615, "D", 15},
        {20230615, "d", 15},
        {20230615, "", 20230615},
        {20230615, "Ym", 20230615},
        {202306, "M", 6},
        {202312, "m", 12},
        {202306, "Y", 2023},
        {202306, "YMD", 202306},
        // A month value has no day: "D" and "MD" give 0 rather than a piece of the month.
        {202306, "D", 0},
        {202306, "MD", 0},
        {2023, "M", 0},
    };
    for (const auto& r : rows)
        EXPECT_EQ(kov::prfDatePart(Currency::fromInt(r.value), r.part), Currency::fromInt(r.result))
            << r.value << " " << r.part;
}

TEST(JapaneseCalendarHeading, EraNameTwoDigitYearAndMonth)
{
    const struct {
        int y, m, d;
        const char* result;
    } rows[] = {
        {2023, 6, 20, "令和 05年06月分"}, {2019, 5, 20, "令和 01年05月分"},  {2019, 4, 20, "平成 31年04月分"},
        {2019, 4, 30, "平成 31年04月分"}, {2019, 5, 1, "令和 01年05月分"},   {1989, 1, 7, "昭和 64年01月分"},
        {1989, 1, 8, "平成 01年01月分"},  {2030, 11, 20, "令和 12年11月分"}, {2000, 12, 20, "平成 12年12月分"},
    };
    for (const auto& r : rows) EXPECT_EQ(kov::japaneseCalendarHeading(r.y, r.m, r.d), r.result) << r.y << r.m;
}

TEST(JapaneseCalendarHeading, ImpossibleDateIsARunTimeError)
{
    for (auto [y, m, d] : {std::tuple{2023, 13, 20}, std::tuple{2023, 0, 20}, std::tuple{2023, 2, 30}}) {
        try {
            kov::japaneseCalendarHeading(y, m, d);
            ADD_FAILURE() << y << "-" << m << "-" << d;
        } catch (const kov::RuntimeError& e) {
            EXPECT_EQ(e.kind(), kov::RuntimeErrorKind::InvalidArgument);
        }
    }
}
