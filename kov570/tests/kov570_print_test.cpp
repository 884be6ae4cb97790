// The print run of kov570 on real SQLite fixtures: the command file of each case is
// compared byte for byte with its golden file (tests/data/kov570_<case>.ovl.tmp), and the
// figures behind it are checked against the rows the case put in.
#include "kov570env.h"

#include "blockreport/tests/blockreport_testsupport.h"
#include "common/text.h"

#include <gtest/gtest.h>

#include <functional>

namespace kov::kov570::test {
namespace {

constexpr const char* kColumns[] = {"KYUYO",  "KTYOGK", "STYOGK", "CHIIKI", "KTOKUB", "FUYOTE", "JYUKYO",
                                    "TUKINH", "TUKINK", "HEKICI", "HEKJUN", "SYUKUH", "SYUKUK", "TANSIN",
                                    "TOKGYO", "ZANGYO", "JIDOU",  "KIMATU", "KINBEN", "KYUJIT", "TAGAKU"};

// The rows of a case and the grand total of KYUYO over the rows that have a slot.
struct Data {
    db::Fixture& fx;
    std::int64_t kyuyoTotal = 0;
    // A row whose amount column k (0-based) is base * (k + 1); kyuyo overrides KYUYO.
    void add(std::int64_t zaimu, std::int64_t syochu, std::int64_t sharym, std::int64_t ninzu, std::int64_t base,
             bool hasSlot = true, std::int64_t kyuyo = -1)
    {
        db::Row values;
        for (std::size_t k = 0; k < std::size(kColumns); ++k)
            values.emplace_back(kColumns[k], k == 0 && kyuyo >= 0 ? kyuyo : base * static_cast<std::int64_t>(k + 1));
        fx.addSumi({.nendo = 2023, .zaimu = zaimu, .syochu = syochu, .sharym = sharym, .ninzu = ninzu, .values = values});
        if (hasSlot) kyuyoTotal += kyuyo >= 0 ? kyuyo : base;
    }
};

struct PrintCase {
    const char* name;
    std::vector<int> finance;  // ticked finance boxes
    std::vector<int> schools;  // ticked school boxes
    std::function<void(Data&)> data;
    std::function<void(const SumTable&, const std::string& file)> check;
};

Currency yen(std::int64_t v) { return Currency::fromInt(v); }

const PrintCase kCases[] = {
    // Finance 1 and 全体 with all three kinds: six pages. Month slots of April 2023 to
    // May 2024, a count of 12, rows of codes 2, 8 and 9 in the 全体 pages.
    {"six_pages", {1, 8}, {1, 2, 3},
     [](Data& d) {
         d.add(1, 4, 202304, 12, 1000);
         d.add(1, 4, 202312, 11, 1100);
         d.add(1, 4, 202401, 10, 1200);
         d.add(1, 4, 202403, 9, 1300);
         d.add(1, 4, 202404, 8, 1400);
         d.add(1, 4, 202405, 7, 1500);  // May of the next year: the total row
         d.add(1, 5, 202304, 5, 2000);
         d.add(1, 5, 202310, 6, 2100);
         d.add(2, 4, 202306, 3, 3000);
         d.add(8, 4, 202307, 2, 4000);
         d.add(8, 5, 202308, 1, 4100);
         d.add(9, 5, 202309, 4, 5000);
     },
     [](const SumTable& t, const std::string& file) {
         EXPECT_EQ(t.at(1, 1, 1, 2), yen(1000));
         EXPECT_EQ(t.at(1, 1, 9, 2), yen(1100));
         EXPECT_EQ(t.at(1, 1, 10, 2), yen(1200));
         EXPECT_EQ(t.at(1, 1, 12, 2), yen(1300));
         EXPECT_EQ(t.at(1, 1, 13, 2), yen(1400));
         EXPECT_EQ(t.at(1, 1, 14, 2), yen(1000 + 1100 + 1200 + 1300 + 1400 + 1500));
         EXPECT_EQ(t.at(0, 2, 6, 2), yen(5000));  // code 9 under slot 0
         for (int f : {1, 8})
             for (int m = 1; m <= 14; ++m)
                 for (int i = 1; i <= 21; ++i) EXPECT_EQ(t.at(f, 3, m, i), t.at(f, 1, m, i) + t.at(f, 2, m, i));
         // The code-8 rows count in the 全体 month rows and in its totals alike (no May
         // row among the junior-high rows: the total row is the sum of the month rows).
         EXPECT_EQ(t.at(8, 1, 4, 2), yen(4000));
         for (int i = 1; i <= 21; ++i) {
             Currency months;
             for (int m = 1; m <= 13; ++m) months += t.at(8, 2, m, i);
             EXPECT_EQ(t.at(8, 2, 14, i), months) << "item " << i;
         }
         EXPECT_NE(file.find("TE 0080011031100100  12\r\n"), std::string::npos);
     }},
    // Code 9 is printed under slot 0, first in the print order, with the label of name 9.
    {"code9_slot0", {0, 1}, {2}, [](Data& d) {
         d.add(9, 5, 202309, 4, 5000);
         d.add(1, 5, 202304, 3, 100);
     },
     [](const SumTable& t, const std::string& file) {
         EXPECT_EQ(t.at(0, 2, 6, 2), yen(5000));
         const auto lines = blockreport::test::cp932Lines(file);
         const auto at = [&](const char* line) { return std::find(lines.begin(), lines.end(), line) - lines.begin(); };
         EXPECT_LT(at("TE 0330005031100100本　庁"), at("TE 0330005031100100中　央"));
         EXPECT_LT(at("TE 0910021031100100     35,000"), at("TE 0910021031100100        700"));
     }},
    // Rows without a slot (school type 6, codes 0 and 10, March and June outside the
    // year's months) are left out; none of them lands in the slot of the row before it.
    {"rows_without_slot", {1, 8}, {2, 3}, [](Data& d) {
         d.add(0, 4, 202306, 9, 7000, false);
         d.add(1, 5, 202306, 2, 1000);
         d.add(1, 6, 202306, 9, 7000, false);
         d.add(1, 5, 202406, 9, 7000, false);
         d.add(1, 5, 202303, 9, 7000, false);
         d.add(10, 4, 202306, 9, 7000, false);
     },
     [](const SumTable& t, const std::string&) {
         EXPECT_EQ(t.at(1, 2, 3, 2), yen(1000));
         EXPECT_EQ(t.at(1, 2, 14, 1), yen(2));
         EXPECT_EQ(t.at(8, 3, 14, 1), yen(2));
     }},
    // A figure too wide for its field prints as asterisks.
    {"wide_figure", {1}, {1}, [](Data& d) { d.add(1, 4, 202304, 1, 10, true, 123456789012); },
     [](const SumTable&, const std::string& file) {
         EXPECT_NE(file.find("TE 0130011031100100***********\r\n"), std::string::npos);
     }},
};

void PrintTo(const PrintCase& c, std::ostream* os) { *os << c.name; }

class Kov570Print : public ::testing::TestWithParam<PrintCase> {};

TEST_P(Kov570Print, CommandFileMatchesGolden)
{
    const PrintCase& c = GetParam();
    Kov570Env env;
    env.fx.setKanri(202306, 2023);
    Data data{env.fx};
    c.data(data);
    ASSERT_EQ(env.open(), std::nullopt);
    for (int f : c.finance) env.screen.lblZaimuClick(f);
    for (int s : c.schools) env.screen.lblGakkouClick(s);
    ASSERT_EQ(env.run([&] { env.screen.prsPfAction(5); }), std::nullopt);
    ASSERT_TRUE(env.rt.messages.empty()) << env.rt.messages.front().text;

    blockreport::test::expectGolden(env.ctx.printFolder() + "/OVL.TMP", std::string("kov570_") + c.name + ".ovl.tmp");
    ASSERT_EQ(env.calls.size(), 1u);
    const NotedCall& call = env.calls.front();
    EXPECT_EQ(call.folder, env.ctx.printFolder());
    EXPECT_EQ(call.jobName, "Kov570");
    EXPECT_EQ(call.caption, "給与費支出額集計表印刷");
    EXPECT_EQ(call.overlay, "Kov570p.OVL");
    const SumTable& t = env.screen.data.sumTable;
    EXPECT_EQ(t.at(8, 3, 14, 2), yen(data.kyuyoTotal)) << "grand total";
    const auto pages = blockreport::test::cp932Lines(call.commandFile);
    EXPECT_EQ(std::count(pages.begin(), pages.end(), "PE "),
              static_cast<long>(c.finance.size() * c.schools.size()));
    if (c.check) c.check(t, call.commandFile);
}

// A second print of the same run uses the figures of the first, even when the data
// changed meanwhile.
TEST(Kov570Print, SecondPrintUsesTheFirstFigures)
{
    Kov570Env env;
    env.fx.setKanri(202306, 2023);
    Data data{env.fx};
    data.add(1, 4, 202304, 1, 1000);
    ASSERT_EQ(env.open(), std::nullopt);
    env.screen.chkZaimu[1] = 1;
    env.screen.chkGakkou[1] = 1;
    env.screen.prsPrintKey();
    data.add(1, 4, 202305, 1, 2000);
    env.screen.prsPrintKey();
    ASSERT_EQ(env.calls.size(), 2u);
    EXPECT_EQ(env.calls[0].commandFile, env.calls[1].commandFile);
    EXPECT_EQ(text::length(BasKov570::fieldList()), 971u);
    EXPECT_EQ(BasKov570::condition(2023), "NENDO = 2023");
}

// A failing row read ends the run with its status message instead of reading on.
TEST(Kov570Print, FailingReadEndsWithItsStatus)
{
    Kov570Env env;
    env.fx.setKanri(202306, 2023);
    env.fx.addSumi({});
    ASSERT_EQ(env.open(), std::nullopt);
    env.ctx.prsDbClose();
    EXPECT_EQ(env.run([&] { env.screen.data.prsSumLoad(); }), kExitFatal);
    ASSERT_EQ(env.rt.messages.size(), 1u);
    EXPECT_NE(env.rt.messages[0].text.find("Err Status = -"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Cases, Kov570Print, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace kov::kov570::test
