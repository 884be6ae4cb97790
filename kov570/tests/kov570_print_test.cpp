// The print run of kov570 on real fixtures: each case's command file is compared byte for
// byte with tests/data/kov570_<case>.ovl.tmp, and chosen cells and lines are checked.
#include "kov570env.h"

#include "common/text.h"
#include "tests/support/golden.h"

#include <gtest/gtest.h>

namespace kov::kov570::test {
namespace {

using kov::test::cp932Lines;

constexpr const char* kColumns[] = {"KYUYO",  "KTYOGK", "STYOGK", "CHIIKI", "KTOKUB", "FUYOTE", "JYUKYO",
                                    "TUKINH", "TUKINK", "HEKICI", "HEKJUN", "SYUKUH", "SYUKUK", "TANSIN",
                                    "TOKGYO", "ZANGYO", "JIDOU",  "KIMATU", "KINBEN", "KYUJIT", "TAGAKU"};

// A row of fiscal year 2023 whose amount column k (0-based) is base * (k + 1); KYUYO is
// `kyuyo` when given. Rows without a slot are marked so.
struct Row {
    Row(std::int64_t z, std::int64_t sc, std::int64_t ym, std::int64_t n, std::int64_t b, bool slot = true,
        std::int64_t k = -1)
        : zaimu(z), syochu(sc), sharym(ym), ninzu(n), base(b), hasSlot(slot), kyuyo(k)
    {
    }
    std::int64_t zaimu, syochu, sharym, ninzu, base;
    bool hasSlot;
    std::int64_t kyuyo;
};
// A cell of SumTable: finance slot, school kind, month row, item, and its value.
struct Cell {
    Cell(int finance, int school, int month, int column, std::int64_t v)
        : f(finance), s(school), m(month), item(column), value(v)
    {
    }
    int f, s, m, item;
    std::int64_t value;
};
struct PrintCase {
    const char* name;
    std::vector<int> finance, schools; // ticked boxes
    std::vector<Row> rows;
    std::vector<Cell> cells; // expected cells of SumTable
    std::vector<std::string> lines; // expected lines of the command file, in order
};

void addRow(db::Fixture& fx, const Row& r)
{
    db::Row values;
    for (std::size_t k = 0; k < std::size(kColumns); ++k)
        values.emplace_back(kColumns[k], k == 0 && r.kyuyo >= 0 ? r.kyuyo : r.base * static_cast<std::int64_t>(k + 1));
    fx.addSumi(
        {.nendo = 2023, .zaimu = r.zaimu, .syochu = r.syochu, .sharym = r.sharym, .ninzu = r.ninzu, .values = values});
}

const PrintCase kCases[] = {
    // Finance 1 and 全体 with all three kinds: six pages in order; April 2023 to April
    // 2024 in slots 1 to 13, May 2024 in the total row; codes 2, 8, 9 in the 全体 pages.
    {"six_pages",
     {1, 8},
     {1, 2, 3},
     {Row(1, 4, 202304, 12, 1000), Row(1, 4, 202312, 11, 1100), Row(1, 4, 202401, 10, 1200), Row(1, 4, 202403, 9, 1300),
      Row(1, 4, 202404, 8, 1400), Row(1, 4, 202405, 7, 1500), Row(1, 5, 202304, 5, 2000), Row(1, 5, 202310, 6, 2100),
      Row(2, 4, 202306, 3, 3000), Row(8, 4, 202307, 2, 4000), Row(8, 5, 202308, 1, 4100), Row(9, 5, 202309, 4, 5000)},
     {Cell(1, 1, 1, 2, 1000), Cell(1, 1, 9, 2, 1100), Cell(1, 1, 10, 2, 1200), Cell(1, 1, 12, 2, 1300),
      Cell(1, 1, 13, 2, 1400), Cell(1, 1, 14, 2, 7500), Cell(1, 1, 14, 1, 57), Cell(8, 1, 4, 2, 4000),
      // the 全体 junior-high total: the month rows' sum, code 8 included
      Cell(8, 2, 14, 2, 2000 + 2100 + 4100 + 5000), Cell(8, 2, 14, 21, (2000 + 2100 + 4100 + 5000) * 231)},
     {"TE 0780005031200100小学校給与費支出額集計表    ", "TE 0080011031100100  12", "TE 1230038031100100   157,500",
      "TE 0330005031100100全　体", "TE 0780005031200100全　体給与費支出額集計表    "}},
    // Code 9 is slot 0, printed first with the label of name 9.
    {"code9_slot0",
     {0, 1},
     {2},
     {Row(9, 5, 202309, 4, 5000), Row(1, 5, 202304, 3, 100)},
     {Cell(0, 2, 6, 2, 5000)},
     {"TE 0330005031100100本　庁", "TE 0910021031100100     35,000", "TE 0330005031100100中　央"}},
    // Rows without a slot (school type 6, codes 0 and 10, March 2023 and June 2024) are
    // left out, and none lands in the slot of the row before it.
    {"rows_without_slot",
     {1, 8},
     {2, 3},
     {Row(0, 4, 202306, 9, 7000, false), Row(1, 5, 202306, 2, 1000), Row(1, 6, 202306, 9, 7000, false),
      Row(1, 5, 202406, 9, 7000, false), Row(1, 5, 202303, 9, 7000, false), Row(10, 4, 202306, 9, 7000, false)},
     {Cell(1, 2, 3, 2, 1000), Cell(1, 2, 14, 1, 2), Cell(8, 3, 14, 1, 2)},
     {}},
    // A figure too wide for its field prints as asterisks.
    {"wide_figure", {1}, {1}, {Row(1, 4, 202304, 1, 10, true, 123456789012)}, {}, {"TE 0130011031100100***********"}},
};

void PrintTo(const PrintCase& c, std::ostream* os) { *os << c.name; }

class Kov570Print : public ::testing::TestWithParam<PrintCase> {};

TEST_P(Kov570Print, CommandFileMatchesGolden)
{
    const PrintCase& c = GetParam();
    Kov570Env env;
    env.fx.setKanri(202306, 2023);
    std::int64_t kyuyoTotal = 0;
    for (const Row& r : c.rows) {
        addRow(env.fx, r);
        if (r.hasSlot) kyuyoTotal += r.kyuyo >= 0 ? r.kyuyo : r.base;
    }
    ASSERT_EQ(env.open(), std::nullopt);
    for (int f : c.finance) env.screen.lblZaimuClick(f);
    for (int s : c.schools) env.screen.lblGakkouClick(s);
    ::testing::internal::CaptureStderr();
    const auto ended = env.run([&] { env.screen.prsPfAction(5); });
    const std::string stderrText = ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(ended, std::nullopt);
    ASSERT_TRUE(env.rt.messages.empty()) << env.rt.messages.front().text;
    // The rows left out are counted in one line.
    const auto skipped = std::count_if(c.rows.begin(), c.rows.end(), [](const Row& r) { return !r.hasSlot; });
    EXPECT_EQ(stderrText.find("SKSUMI の " + std::to_string(skipped) + " 組"), skipped ? 8u : std::string::npos)
        << stderrText;

    kov::test::expectGolden(env.workFolder() + "/OVL.TMP", std::string("kov570_") + c.name + ".ovl.tmp");
    ASSERT_EQ(env.calls.size(), 1u);
    const NotedCall& call = env.calls.front();
    EXPECT_EQ(call.folder + "|" + call.jobName + "|" + call.caption + "|" + call.overlay,
              env.workFolder() + "|Kov570|給与費支出額集計表印刷|Kov570p.OVL");
    const auto lines = cp932Lines(call.commandFile);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "PE "), static_cast<long>(c.finance.size() * c.schools.size()));
    auto from = lines.begin();
    for (const std::string& l : c.lines) {
        from = std::find(from, lines.end(), l);
        ASSERT_NE(from, lines.end()) << "not found in order: " << l;
    }
    const SumTable& t = *env.screen.sumTable();
    EXPECT_EQ(t.at(8, 3, 14, 2), Currency::fromInt(kyuyoTotal)) << "grand total";
    for (const Cell& x : c.cells)
        EXPECT_EQ(t.at(x.f, x.s, x.m, x.item), Currency::fromInt(x.value)) << x.f << x.s << " " << x.m << " " << x.item;
    for (int f = 0; f <= 8; ++f)
        for (int m = 1; m <= 14; ++m)
            for (int i = 1; i <= 21; ++i) ASSERT_EQ(t.at(f, 3, m, i), t.at(f, 1, m, i) + t.at(f, 2, m, i));
    EXPECT_EQ(env.run([&] { env.screen.prsEndKey(); }), 0) << "F10 after the load closed the query";
}

INSTANTIATE_TEST_SUITE_P(Cases, Kov570Print, ::testing::ValuesIn(kCases),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

// A second print of a run uses the figures of the first though the data changed; a load
// whose reads fail ends with its status message.
TEST(Kov570Print, SecondPrintAndFailingRead)
{
    Kov570Env env;
    env.fx.setKanri(202306, 2023);
    addRow(env.fx, {1, 4, 202304, 1, 1000});
    ASSERT_EQ(env.open(), std::nullopt);
    env.tick(1, 1);
    env.screen.prsPrintKey();
    addRow(env.fx, {1, 4, 202305, 1, 2000});
    env.screen.prsPrintKey();
    ASSERT_EQ(env.calls.size(), 2u);
    EXPECT_EQ(env.calls[0].commandFile, env.calls[1].commandFile);
    EXPECT_EQ(text::length(BasKov570::fieldList()), 971u);
    EXPECT_EQ(BasKov570::condition(2023), "NENDO = 2023");

    BasKov570 data(env.ctx);
    auto query = data.openSumQuery(2023);
    env.ctx.prsDbClose();
    EXPECT_EQ(env.run([&] { data.loadSumTable(2023, std::move(query)); }), kExitFatal);
    ASSERT_EQ(env.rt.messages.size(), 1u);
    EXPECT_NE(env.rt.messages[0].text.find("Err Status = -"), std::string::npos);
}

} // namespace
} // namespace kov::kov570::test
