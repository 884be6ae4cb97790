// The print run of kov140 on real SQLite fixtures: command files compared byte for byte
// with golden files (CP932, CR LF), the year-end adjustment columns and the heading read
// back from the command file, and the hand-over to the print engine.
#include "blockreport/tests/blockreport_testsupport.h"
#include "common/cp932.h"
#include "common/runtimeerror.h"
#include "common/text.h"
#include "kov140/kov140run.h"
#include "kov140/kov140screen.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

namespace kov::kov140::test {
namespace {

using namespace blockreport::test;

// kov140 with an engine that records what it is handed.
struct Kov140Env : ProgramEnv<Kov140Run> {
    Kov140Env() : ProgramEnv("kov140", kov140Screen(), EngineKind::Recording) {}
};

// A staff member of pay kind 3: code, name, affiliation, block, NENFUS and job kind.
struct Person {
    std::int64_t code;
    std::string name;
    std::string syozok;
    std::int64_t block, nenfus, syosyu = 3;
};

// The staff member with a payment record of the month skyuym whose amounts differ column
// by column (so that a column printed in the wrong place shows); `extra` replaces or adds
// columns.
void addPerson(db::Fixture& fx, const Person& p, std::int64_t skyuym = 202306, const db::Row& extra = {})
{
    const std::int64_t code = p.code, kyuryo = 2100 + code % 100;
    db::Row values = {{"KYURYO", kyuryo}, {"KTYOGK", 300},   {"STYOGK", 210},  {"CHIIKI", 63},   {"KTOKUB", 40},
                      {"TUKINH", 500},    {"TUKINK", 120},   {"JYUKYO", 270},  {"FUYOTE", 650},  {"SYUKUH", 2000},
                      {"KISYUH", 30},     {"SYUKUK", 1000},  {"KISYUK", 7},    {"HEKICI", 880},  {"HEKJUN", 440},
                      {"ZANGYO", 1234},   {"KYUJIT", 567},   {"KIMATU", 1613}, {"KINBEN", 1210}, {"KAZEIG", 99999},
                      {"SSIKYU", 123456}, {"KENKO", 278},    {"KOSEI", 546},   {"KOYOU", 36},    {"NENFUS", p.nenfus},
                      {"KOUGOK", 18000},  {"SASIHK", -15850}};
    for (const auto& [col, v] : extra) {
        const std::string& column = col;
        auto it = std::find_if(values.begin(), values.end(), [&](const auto& c) { return c.first == column; });
        if (it != values.end()) it->second = v;
        else values.emplace_back(col, v);
    }
    fx.addPaidStaff(p.name, {.syokcd = code,
                             .skyuym = skyuym,
                             .kyusyu = 3,
                             .syrflg = p.block,
                             .syosyu = p.syosyu,
                             .syozok = p.syozok,
                             .kgogho = 5 + code % 20,
                             .values = values});
}

// A print of `blocks` for the staff group over the schools of standardSchools for pay
// kind 3 in the month syorid (the processing month and that of the records), or over
// those that `schools` makes.
struct PrintCase {
    const char* name;
    bool monthly;
    std::vector<int> blocks;
    std::int64_t syorid;
    std::vector<Person> staff;
    std::function<void(db::Fixture&)> schools;
};

PrintCase printCase(const char* name, bool monthly, std::vector<int> blocks, std::int64_t syorid,
                    std::vector<Person> staff, std::function<void(db::Fixture&)> schools = {})
{
    return {name, monthly, std::move(blocks), syorid, std::move(staff), std::move(schools)};
}

// The same records printed for each staff group: the group only selects.
const std::vector<Person> kGroups = {{1001, "山田　太郎", "E101", 1, -1200, 3},
                                     {1501, "講師　一美", "E101", 1, 700, 5},
                                     {1601, "臨時　二葉", "E102", 1, -50, 6}};

std::vector<Person> pageFull()
{
    std::vector<Person> staff;
    for (int i = 1; i <= 25; ++i) staff.push_back({1000 + i, "職員" + std::to_string(i), "E101", 1, i % 2 ? -i : i});
    return staff;
}

const PrintCase kCases[] = {
    printCase("nenfus_minus_then_plus", true, {1}, 202306,
              {{1001, "山田　太郎", "E101", 1, -1200}, {1002, "鈴木　一郎", "E101", 1, 3000}}),
    printCase("nenfus_zero", true, {1}, 202306, {{1001, "山田　太郎", "E101", 1, 0}}),
    printCase("negative_subtotal", true, {1}, 202306,
              {{1001, "山田　太郎", "E101", 1, -1200},
               {1002, "鈴木　一郎", "E101", 1, -800},
               {1003, "佐藤　花子", "E101", 1, 500},
               {1101, "田中　次郎", "E102", 1, -300}}),
    printCase("groups_monthly", true, {1}, 202306, kGroups),
    printCase("groups_daily", false, {1}, 202306, kGroups),
    printCase("two_blocks", true, {1, 2}, 202306,
              {{1001, "山田　太郎", "E101", 1, -1200}, {2001, "高橋　三郎", "E201", 2, 3000, 1}}),
    // Day 20 of May 2019 lies in the era that began on 1 May.
    printCase("era_first_month", true, {1}, 201905, {{1001, "山田　太郎", "E101", 1, 100}}),
    printCase("era_last_month", true, {1}, 201904, {{1001, "山田　太郎", "E101", 1, 100}}),
    // A ten-character staff name prints its first eight; a long affiliation name prints
    // whole at 75 × 100; a quote in an affiliation code stays inside the criterion; a job
    // kind without a name slot prints no name; empty amounts count as 0.
    printCase("names_and_empty_values", true, {1}, 202306, {},
              [](db::Fixture& fx) {
                  fx.setKanri(202306);
                  fx.addSchool("E101", "あいうえおかきくけこさし小学校");
                  fx.addSchool("E1'05", "引用符小学校");
                  fx.setBlock(1, 101, 102, 2, 3);
                  const dataaccess::DbValue empty;
                  addPerson(fx, {1001, "一二三四五六七八九十", "E101", 1, -1200});
                  addPerson(fx, {1002, "鈴木　一郎", "E1'05", 1, 300, 11}, 202306,
                            {{"KYURYO", empty}, {"NENFUS", empty}, {"KGOKYU", empty}, {"SYUKUH", empty}});
              }),
    printCase("page_full", true, {1}, 202306, pageFull()),
};

void PrintTo(const PrintCase& c, std::ostream* os) { *os << c.name; }

class Kov140Print : public ::testing::TestWithParam<PrintCase> {};

TEST_P(Kov140Print, CommandFileMatchesGolden)
{
    const PrintCase& c = GetParam();
    Kov140Env env;
    if (c.schools) c.schools(env.fx);
    else standardSchools(env.fx, 3, c.syorid);
    for (const Person& p : c.staff) addPerson(env.fx, p, c.syorid);
    ASSERT_NO_FATAL_FAILURE(env.printBlocks(c.monthly, c.blocks));

    // One overlay for both staff groups.
    expectPrinted(env, std::string("kov140_") + c.name + ".ovl.tmp",
                  {"KOV140", "差額支給内訳明細書印刷", "KOV140p.ovl"});
}

INSTANTIATE_TEST_SUITE_P(Cases, Kov140Print, ::testing::ValuesIn(kCases),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

// A text command of the file: position as written (after the column shift) and text.
struct TextCommand {
    int x10, y10;
    std::string text;
};

std::vector<TextCommand> textCommands(const std::string& bytes)
{
    std::vector<TextCommand> out;
    for (const std::string& line : cp932Lines(bytes)) {
        if (line.rfind("TE ", 0) != 0) continue;
        // TE, x and y four digits each (tenths), font, pattern, width and height, text.
        out.push_back({std::stoi(line.substr(3, 4)), std::stoi(line.substr(7, 4)), text::trim(line.substr(19))});
    }
    return out;
}

// The fields printed at x (before the shift), first to last.
std::vector<std::string> column(const std::string& bytes, int x)
{
    std::vector<std::string> values;
    for (const TextCommand& t : textCommands(bytes))
        if (t.x10 == (x - 2) * 10) values.push_back(t.text);
    return values;
}

// The shortfall column (163) shows the zero-or-negative NENFUS values with the sign
// reversed, the refund column (193) the positive ones, on staff lines, subtotals and
// block totals alike.
TEST(Kov140YearEndAdjustment, ShortfallAndRefundColumnsAtEveryLevel)
{
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::int64_t>> staff; // affiliation, NENFUS
        std::vector<std::string> minus, plus; // staff lines, subtotals, total
    };
    const Case cases[] = {
        {"minus then plus",
         {{"E101", -1200}, {"E101", 3000}},
         {"1,200", "0", "1,200", "1,200"},
         {"0", "3,000", "3,000", "3,000"}},
        {"zero", {{"E101", 0}}, {"0", "0", "0"}, {"0", "0", "0"}},
        {"negative subtotal",
         {{"E101", -1200}, {"E101", -800}, {"E101", 500}, {"E102", -300}},
         {"1,200", "800", "0", "2,000", "300", "300", "2,300"},
         {"0", "0", "500", "500", "0", "0", "500"}},
    };
    for (const Case& c : cases) {
        Kov140Env env;
        standardSchools(env.fx, 3);
        std::int64_t code = 1001;
        for (const auto& [syozok, nenfus] : c.staff) addPerson(env.fx, {code++, "職員", syozok, 1, nenfus});
        ASSERT_NO_FATAL_FAILURE(env.printBlocks(true, {1})) << c.name;
        const std::string bytes = readBytes(env.commandFile());
        EXPECT_EQ(column(bytes, 163), c.minus) << c.name;
        EXPECT_EQ(column(bytes, 193), c.plus) << c.name;
    }
}

// More records than a 16-bit count holds: the run reads to the end of the rows, so the
// last staff member is printed and the block total holds every record.
TEST(Kov140Run, ReadsAllRowsBeyondTheSixteenBitCount)
{
    Kov140Env env;
    standardSchools(env.fx, 3);
    constexpr int kRows = 32800;
    env.fx.exec(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(kRows) +
        ") INSERT INTO SKSYOKU (SYOKCD, SYOSYU, SYOZOK, SIMKNJ) SELECT 100000 + i, 3, 'E101', '職員' || i FROM n");
    env.fx.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(kRows) +
                ") INSERT INTO SKSYKEI (SKYUYM, KYUSYU, SYRFLG, SYOSYU, SYOZOK, SYOKCD, KGOKYU, KGOGHO, NENFUS, KOUGOK)"
                " SELECT 202306, 3, 1, 3, 'E101', 100000 + i, '2', 1, 1, 1 FROM n");
    ASSERT_NO_FATAL_FAILURE(env.printBlocks(true, {1}));
    const std::string bytes = readBytes(env.commandFile());
    const auto kougok = column(bytes, 170);
    ASSERT_EQ(kougok.size(), static_cast<std::size_t>(kRows + 2)); // staff lines, subtotal, block total
    EXPECT_EQ(kougok.back(), "32,800");
    EXPECT_EQ(column(bytes, 193).back(), "32,800");
    EXPECT_NE(bytes.find(cp932::fromUtf8("職員32800")), std::string::npos);
}

TEST(Kov140Heading, DayTwentyOfTheProcessingMonth)
{
    const std::pair<std::int64_t, const char*> rows[] = {
        {202306, "令和 05年06月分"}, {201905, "令和 01年05月分"}, {201904, "平成 31年04月分"},
        {198901, "平成 01年01月分"}, {198812, "昭和 63年12月分"}, {202012, "令和 02年12月分"},
    };
    for (const auto& [ym, heading] : rows) EXPECT_EQ(processingMonthHeading(Currency::fromInt(ym)), heading) << ym;
    for (std::int64_t bad : {202313, 202300, 0, -202306, 1234567})
        EXPECT_THROW(processingMonthHeading(Currency::fromInt(bad)), RuntimeError) << bad;
}

// A processing month that is no month stops the print with a run-time error that names
// it; no command file is left under its final name and nothing is printed.
TEST(Kov140Heading, ImpossibleProcessingMonthStopsThePrint)
{
    Kov140Env env;
    standardSchools(env.fx, 3, 202313);
    addPerson(env.fx, {1001, "山田　太郎", "E101", 1, -1200}, 202313);
    ASSERT_EQ(env.open(), std::nullopt);
    env.selectBlocks({1});
    const std::size_t before = env.rt.messages.size();
    EXPECT_EQ(env.press(5), kExitFatal) << "the print went through";
    ASSERT_EQ(env.rt.messages.size(), before + 1);
    EXPECT_NE(env.rt.messages.back().text.find("2023年13月"), std::string::npos) << env.rt.messages.back().text;
    EXPECT_FALSE(std::filesystem::exists(env.commandFile()));
    EXPECT_TRUE(env.engineCalls.empty());
}

} // namespace
} // namespace kov::kov140::test
