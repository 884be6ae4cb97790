// The print run of kov120 on real SQLite fixtures: the command file is compared line by
// line with golden files (CP932, CR LF), and the hand-over to the print engine checked.
#include "blockreport/tests/blockreport_testsupport.h"
#include "blockreport/tests/qtapplicationenv.h"
#include "common/runtimeerror.h"
#include "kov120/kov120run.h"
#include "kov120/kov120screen.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

namespace kov::kov120::test {
namespace {

using namespace blockreport::test;

// kov120 started with `kyusyu`, printing to PDF through the real engine.
struct Kov120Env : ProgramEnv<Kov120Run> {
    explicit Kov120Env(std::int16_t kyusyu = 2) : ProgramEnv("kov120", kov120Screen(kyusyu), EngineKind::Pdf) {}
};

// The print engine draws with Qt: one application object for the whole test program.
const auto* const kQtApplication = ::testing::AddGlobalTestEnvironment(
    new blockreport::test::QtApplicationEnvironment<QGuiApplication>("kov120_print_test"));

// A staff member of a case: code, name, affiliation, block, pay kind and job kind.
struct Person {
    std::int64_t code;
    std::string name;
    std::string syozok = "E101";
    std::int64_t block = 1, kyusyu = 2, syosyu = 3;
};

// The staff member with a payment record of typical amounts for the month skyuym.
void addPerson(db::Fixture& fx, const Person& p, std::int64_t skyuym = 202306)
{
    const std::int64_t code = p.code, base = 250000 + code * 10;
    db::Row values = {{"KYURYO", base},     {"KTYOGK", 10000},   {"STYOGK", 5000},    {"KBCHIIKI", 20000},
                      {"FUYOTE", 13000},    {"KMCHIIKI", 22000}, {"KIMATU", 400000},  {"KINBEN", 300000},
                      {"KMZOGE", -1200},    {"SSIKYU", 700000},  {"ZENKAZ", 3500000}, {"SYOTOK", 42000},
                      {"KOYOU", 0},         {"KENKO", 35000},    {"KOSEI", 64000},    {"SASIHK", 559000},
                      {"KMRITU", 12250000}, {"KBRITU", 9500000}, {"FSINSU", 2},       {"ZEIRT2", 6.126},
                      {"KMMMDD", 600},      {"KBMMDD", 515}};
    fx.addPaidStaff(p.name, {.syokcd = code,
                             .skyuym = skyuym,
                             .kyusyu = p.kyusyu,
                             .syrflg = p.block,
                             .syosyu = p.syosyu,
                             .syozok = p.syozok,
                             .kgogho = 5 + code % 20,
                             .values = values});
}

// Twenty-five staff members of E101 in block 1 (more than a page holds).
std::vector<Person> pageFull()
{
    std::vector<Person> staff;
    for (int i = 1; i <= 25; ++i) staff.push_back({1000 + i, "職員" + std::to_string(i)});
    return staff;
}

// A print: kov120 started with `kyusyu` prints `blocks` for the staff group; the month
// syorid is the processing month and that of the records. The schools are those of
// standardSchools for pay kind 2 unless `schools` makes others, and `more` adds rows.
struct PrintCase {
    const char* name;
    std::int16_t kyusyu;
    bool monthly;
    std::vector<int> blocks;
    std::int64_t syorid;
    std::vector<Person> staff;
    std::function<void(db::Fixture&)> schools, more;
};

PrintCase printCase(const char* name, std::int16_t kyusyu, bool monthly, std::vector<int> blocks, std::int64_t syorid,
                    std::vector<Person> staff, std::function<void(db::Fixture&)> schools = {},
                    std::function<void(db::Fixture&)> more = {})
{
    return {name, kyusyu, monthly, std::move(blocks), syorid, std::move(staff), std::move(schools), std::move(more)};
}

const Person kYamada{1001, "山田　太郎"}, kSuzuki{1002, "鈴木　一郎"}, kTanaka{1101, "田中　次郎", "E102"};

const PrintCase kCases[] = {
    printCase("one_block", 2, true, {1}, 202306, {{1003, "佐藤　花子"}, kYamada, kSuzuki}),
    printCase("two_blocks", 2, true, {1, 2}, 202312, {kYamada, kSuzuki, {2001, "高橋　三郎", "E201", 2, 2, 1}}),
    printCase("affiliation_change", 2, true, {1}, 202306, {kYamada, kTanaka, {1102, "伊藤　四郎", "E102"}}),
    printCase("page_full", 2, true, {1}, 202306, pageFull()),
    printCase("march", 2, true, {1}, 202403, {kYamada, kSuzuki}),
    // The monthly-paid member is not selected.
    printCase("daily", 2, false, {1}, 202306,
              {kYamada, {1501, "講師　一美", "E101", 1, 2, 5}, {1601, "臨時　二葉", "E102", 1, 2, 6}}),
    printCase("paykind5", 5, true, {3}, 202307,
              {{1001, "山田　太郎", "E101", 3, 5}, {1002, "鈴木　一郎", "E101", 3, 5}}, {},
              [](db::Fixture& fx) { fx.setBlock(3, 101, 101, 1, 5); }),
    printCase("name_lengths", 2, true, {1}, 202306, {kYamada, kTanaka},
              [](db::Fixture& fx) {
                  fx.setKanri(202306);
                  fx.addSchool("E101", "一二三四五六七八");
                  fx.addSchool("E102", "一二三四五六七八九");
                  fx.setBlock(1, 101, 102, 2, 2);
              }),
    printCase("missing_affiliation", 25, true, {1}, 202306,
              {kYamada, {1201, "中村　五郎", "E1'05", 1, 5}, {1301, "小林　六子", "E999", 1, 2, 11}}, {},
              [](db::Fixture& fx) { fx.addSchool("E1'05", "引用符小学校"); }),
};

void PrintTo(const PrintCase& c, std::ostream* os) { *os << c.name; }

class Kov120Print : public ::testing::TestWithParam<PrintCase> {};

TEST_P(Kov120Print, CommandFileMatchesGolden)
{
    const PrintCase& c = GetParam();
    Kov120Env env(c.kyusyu);
    if (c.schools) c.schools(env.fx);
    else standardSchools(env.fx, 2, c.syorid);
    if (c.more) c.more(env.fx);
    for (const Person& p : c.staff) addPerson(env.fx, p, c.syorid);
    ASSERT_NO_FATAL_FAILURE(env.printBlocks(c.monthly, c.blocks));

    // The daily-paid group prints on an overlay of its own.
    expectPrinted(env, std::string("kov120_") + c.name + ".ovl.tmp",
                  {"KOV120", "期末勤勉手当支給調書印刷", c.monthly ? "KOV120p.ovl" : "KOV121p.ovl"});
    ASSERT_FALSE(env.engineCalls.front().pdf.empty()) << "printed by the real engine";
}

INSTANTIATE_TEST_SUITE_P(Cases, Kov120Print, ::testing::ValuesIn(kCases),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

// The accumulators of two affiliations add up to the block total, level 1 restarts after
// a subtotal, and the daily-paid group keeps totKinbenKiso at zero.
TEST(Kov120Totals, LevelsAddUpAndRestart)
{
    Kov120Env env(2);
    standardSchools(env.fx, 2);
    addPerson(env.fx, kYamada);
    addPerson(env.fx, kTanaka);
    ASSERT_NO_FATAL_FAILURE(env.printBlocks(true, {1}));
    // After the run every level was cleared by the closing block total.
    EXPECT_EQ(env.run->totKYURYO[EntryLevel::Block], Currency{});
    EXPECT_EQ(env.run->totKYURYO[EntryLevel::Affiliation], Currency{});
    // Level 0 keeps the last staff line.
    EXPECT_EQ(env.run->totKYURYO[EntryLevel::Staff], Currency::fromInt(250000 + 11010));
    EXPECT_THROW(env.run->totKYURYO[static_cast<EntryLevel>(3)], RuntimeError);
}

// A status of the staff master other than found ends the run through the status check,
// and the command file is not handed to the engine.
TEST(Kov120Run, StaffMissingFromMasterEndsThroughStatusCheck)
{
    Kov120Env env(2);
    standardSchools(env.fx, 2);
    addPerson(env.fx, kYamada);
    env.fx.exec("DELETE FROM SKSYOKU");
    ASSERT_EQ(env.open(), std::nullopt);
    env.selectBlocks({1});
    EXPECT_EQ(env.press(5), kExitFatal);
    ASSERT_EQ(env.rt.messages.size(), 1u);
    EXPECT_EQ(env.rt.messages[0].text, "テーブルは指定したレコードを検索できません。\r\n\r\nErr Status = -8");
    EXPECT_EQ(env.rt.messages[0].icon, MsgIcon::Stop);
    EXPECT_TRUE(env.engineCalls.empty());
}

// Without KOVENV.INI the names cannot be read: the failure is shown once at the start
// (the era of the processing month) and once in each print run, however many lines and
// pages read the names; the runs print with blank names, and standard error has every
// failure.
TEST(Kov120Run, MissingNameSettingsShownOncePerRun)
{
    Kov120Env env(2);
    env.engine = env.recordingEngine();
    standardSchools(env.fx, 2);
    for (int i = 1; i <= 30; ++i) addPerson(env.fx, {1000 + i, "職員" + std::to_string(i)});
    std::filesystem::remove(env.fx.path("KOVENV.INI"));
    const std::string text = "KOVENV データベースのオープンに失敗しました。";
    const std::string shown = text + "\r\n設定ファイル「" + env.fx.path("KOVENV.INI") + "」がありません。";

    ::testing::internal::CaptureStderr();
    ASSERT_EQ(env.open(), std::nullopt);
    EXPECT_EQ(env.rt.messages.size(), 1u);
    env.selectBlocks({1});
    for (std::size_t run = 1; run <= 2; ++run) {
        ASSERT_EQ(env.press(5), std::nullopt);
        EXPECT_EQ(env.rt.messages.size(), 1 + run) << "run " << run;
        ASSERT_EQ(env.engineCalls.size(), run);
        EXPECT_NE(env.engineCalls.back().commandFile.find("ED "), std::string::npos);
    }
    const std::string log = ::testing::internal::GetCapturedStderr();
    for (const RecordedMessage& m : env.rt.messages) {
        EXPECT_EQ(m.text, shown);
        EXPECT_EQ(m.icon, MsgIcon::Stop);
    }
    std::size_t logged = 0;
    for (std::size_t at = 0; (at = log.find(text, at)) != std::string::npos; at += text.size()) ++logged;
    EXPECT_GT(logged, 2u * 30u) << "every failure is written to standard error";
}

// A payroll batch that commits while a run reads (here after the run's second record):
// the payment records, the staff master and the name settings as they were when the
// run began make the report, byte for byte; the next run sees the commit. On SQLite a
// writer commits during a read only in WAL mode.
TEST(Kov120Snapshot, CommitDuringRunIsSeenByTheNextRun)
{
    BlockReportEnv env("kov120");
    db::Fixture& fx = env.fx;
    if (fx.engine() == db::Engine::Sqlite) {
        fx.exec("PRAGMA journal_mode = WAL");
        fx.execNames("PRAGMA journal_mode = WAL");
    }
    standardSchools(fx, 2);
    for (int i = 1; i <= 6; ++i) addPerson(fx, {1000 + i, "職員" + std::to_string(i), i <= 3 ? "E101" : "E102"});
    env.load<Kov120Run>(kov120Screen(2), env.recordingEngine());
    ASSERT_NO_FATAL_FAILURE(env.printBlocks(true, {1}));
    const std::string before = env.engineCalls.back().commandFile;

    int rows = 0;
    fx.afterRowRead = [&](const std::string& table) {
        if (table != "SKSYKEI" || ++rows != 2) return;
        fx.exec("UPDATE SKSYKEI SET KIMATU = 987654 WHERE SYOKCD = 1005");
        fx.exec("UPDATE SKSYOKU SET SIMKNJ = '変更　後名' WHERE SYOKCD = 1006");
        fx.execNames("UPDATE 名設定 SET SYOKU3 = '変更後職種'");
        fx.syncEngine();
    };
    ASSERT_EQ(env.press(5), std::nullopt);
    ASSERT_EQ(rows, 6);
    const std::vector<std::string> expected = cp932Lines(before),
                                   during = cp932Lines(env.engineCalls.back().commandFile);
    const auto differ = std::mismatch(expected.begin(), expected.end(), during.begin(), during.end());
    EXPECT_TRUE(differ.first == expected.end() && differ.second == during.end())
        << "line " << (differ.first - expected.begin()) + 1 << ": "
        << (differ.first == expected.end() ? std::string("(end)") : *differ.first) << " / "
        << (differ.second == during.end() ? std::string("(end)") : *differ.second);

    fx.afterRowRead = nullptr;
    ASSERT_EQ(env.press(5), std::nullopt);
    const std::vector<std::string> after = cp932Lines(env.engineCalls.back().commandFile);
    for (const char* seen : {"987,654", "変更　後名", "変更後職種"})
        EXPECT_TRUE(std::any_of(after.begin(), after.end(), [&](const std::string& l) {
            return l.find(seen) != std::string::npos;
        })) << seen;
    EXPECT_TRUE(env.rt.messages.empty());
}

TEST(Kov120Texts, RateAndPeriod)
{
    struct Row {
        std::int64_t raw;
        const char* rate;
        const char* fraction;
    };
    const Row rows[] = {
        {95LL * 100000 * 10000, "95", "    95    "},
        {675LL * 10000 * 10000, "67.5", "   67.5   "},
        {1225LL * 10000 * 10000, "122.5", "   122.5  "},
        {0, "0", "     0    "},
        {-95LL * 100000 * 10000, "-95", "    95    "},
        {1, "0.000000001", nullptr},
        // 19 significant digits rounded to 15, exactly in decimal.
        {1234567890123456789LL, "1234567890.12346", nullptr},
        {1234567890123449999LL, "1234567890.12345", nullptr},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(rateText(Currency::fromRaw(r.raw)), r.rate) << r.raw;
        if (r.fraction) {
            EXPECT_EQ(rateFractionText(Currency::fromRaw(r.raw)), r.fraction) << r.raw;
        }
    }
    const std::pair<int, const char*> periods[] = {
        {615, "6カ月15日"}, {600, "6カ月 0日"}, {15, "0カ月15日"}, {5, "0カ月 5日"}, {1015, "1カ月15日"}};
    for (const auto& [v, t] : periods) EXPECT_EQ(periodText(Currency::fromInt(v)), t) << v;
}

} // namespace
} // namespace kov::kov120::test
