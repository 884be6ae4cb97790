// A bad row in a real print run (SQLite fixtures): an amount too large for the fixed-point
// type, or a text in a number column, stops the run with the stop message that names the
// column and the record, and nothing is handed to the print engine.
#include "blockreport/tests/blockreport_testsupport.h"
#include "kov120/kov120run.h"
#include "kov120/kov120screen.h"
#include "kov140/kov140run.h"
#include "kov140/kov140screen.h"
#include "kov570/tests/kov570env.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace kov {
namespace {

constexpr std::int64_t kTooLarge = 1000000000000000; // above 922337203685477.5807

// What the print showed (the messages) and what it handed to the engine.
struct Outcome {
    std::vector<RecordedMessage> messages;
    std::size_t engineCalls = 0;
    bool commandFile = false;
    std::string settingsFolder; // where GAIJI.INI is looked for
};

// Staff members 1001, 1002, ... of block 1 of pay kind `kyusyu`, the amounts of each
// given, printed by the block report Run with F6 through the screen's guard.
template <class Run>
Outcome printBlockReport(blockreport::ScreenDescription screen, std::int64_t kyusyu,
                         const std::vector<db::Row>& amounts, const std::string& name = "職員")
{
    blockreport::test::BlockReportEnv env(kyusyu == 3 ? "kov140" : "kov120");
    env.fx.setKanri(202306);
    env.fx.addSchool("E101", "城東小学校");
    env.fx.setBlock(1, 101, 101, 1, kyusyu);
    for (std::size_t i = 0; i < amounts.size(); ++i) {
        const std::int64_t code = 1001 + static_cast<std::int64_t>(i);
        env.fx.addPaidStaff(name, {.syokcd = code, .kyusyu = kyusyu, .syrflg = 1, .values = amounts[i]});
    }
    env.load<Run>(std::move(screen), env.recordingEngine());
    EXPECT_EQ(env.open(), std::nullopt);
    env.selectBlocks({1});
    try {
        runGuarded(env.rt, env.screen->description().caption, [&] { env.screen->prsPfAction(5); });
    } catch (const ProgramEnded& e) {
        EXPECT_EQ(e.exitStatus, kExitFatal);
    }
    return {env.rt.messages, env.engineCalls.size(), std::filesystem::exists(env.commandFile()), env.fx.dir()};
}

Outcome printSummary(const std::vector<db::Sumi>& rows)
{
    kov570::test::Kov570Env env;
    env.fx.setKanri(202306, 2023);
    for (const db::Sumi& row : rows) env.fx.addSumi(row);
    EXPECT_EQ(env.open(), std::nullopt);
    env.tick(1, 1);
    env.run([&] { runGuarded(env.rt, "給与費支出額集計表印刷", [&] { env.screen.prsPfAction(5); }); });
    return {env.rt.messages, env.calls.size(), std::filesystem::exists(env.workFolder() + "/OVL.TMP"), env.fx.dir()};
}

struct Case {
    const char* name;
    std::function<Outcome()> print;
    std::string message;
};

const std::string kOverflow =
    "オーバーフローしました。\r\n値「1000000000000000」が扱える範囲（±922337203685477.5807）を超えます。\r\n";

TEST(RecordError, MessageNamesTheColumnAndTheRecord)
{
    const Case cases[] = {
        {"kov120 amount too large",
         [] {
             return printBlockReport<kov120::Kov120Run>(kov120::kov120Screen(2), 2, {{}, {{"KIMATU", kTooLarge}}});
         },
         kOverflow + "列「KIMATU」、SKSYKEI の職員コード「1002」"},
        {"kov120 total too large",
         [] {
             const db::Row half = {{"KYURYO", std::int64_t{500000000000000}}};
             return printBlockReport<kov120::Kov120Run>(kov120::kov120Screen(2), 2, {half, half});
         },
         "オーバーフローしました。\r\n計算「500000000000000 + "
         "500000000000000」の結果が扱える範囲（±922337203685477.5807）を超え"
         "ます。\r\nSKSYKEI の職員コード「1002」"},
        {"kov140 text in a number column",
         [] {
             return printBlockReport<kov140::Kov140Run>(kov140::kov140Screen(), 3, {{{"KENKO", std::string("abc")}}});
         },
         "型が一致しません。\r\n「abc」は数値ではありません。\r\n列「KENKO」、SKSYKEI の職員コード「1001」"},
        // Without a gaiji table entry: the line to add, with the first free code.
        {"kov120 name outside the code page",
         [] { return printBlockReport<kov120::Kov120Run>(kov120::kov120Screen(2), 2, {{}}, "𠮷田"); },
         "シフトJISで表せない文字があります。\r\n「𠮷」(U+20BB7)\r\n外字として書くには、外字表「{folder}/"
         "GAIJI.INI」の [Gaiji] に「E000=𠮷」の行を加えてください。\r\nSKSYKEI の職員コード「1001」"},
        {"kov570 amount too large",
         [] {
             return printSummary({{.zaimu = 1, .syochu = 4, .sharym = 202304, .values = {{"KYUYO", kTooLarge}}}});
         },
         kOverflow + "列「KYUYO」の合計、SKSUMI の財務コード「1」、学校種別「4」、支払年月「202304」"},
        // SQLite would sum these as 0 and as 12.
        {"kov570 text amount",
         [] {
             return printSummary(
                 {{.zaimu = 1, .syochu = 4, .sharym = 202304, .values = {{"KYUYO", std::string("abc")}}}});
         },
         "型が一致しません。\r\n「abc」は数値ではありません。\r\n列「KYUYO」の合計、SKSUMI "
         "の財務コード「1」、学校種別「4」、支払年月「202304」"},
        {"kov570 text with a comma",
         [] {
             return printSummary(
                 {{.zaimu = 2, .syochu = 5, .sharym = 202401, .values = {{"TAGAKU", std::string("12,345")}}}});
         },
         "型が一致しません。\r\n「12,345」は数値ではありません。\r\n列「TAGAKU」の合計、SKSUMI "
         "の財務コード「2」、学校種別「5」、支払年月「202401」"},
    };
    for (const Case& c : cases) {
        const Outcome o = c.print();
        ASSERT_EQ(o.messages.size(), 1u) << c.name;
        std::string message = c.message;
        if (const std::size_t at = message.find("{folder}"); at != std::string::npos)
            message.replace(at, 8, o.settingsFolder);
        EXPECT_EQ(o.messages[0].text, message) << c.name;
        EXPECT_EQ(o.messages[0].icon, MsgIcon::Stop) << c.name;
        EXPECT_EQ(o.engineCalls, 0u) << c.name;
        EXPECT_FALSE(o.commandFile) << c.name << ": a command file under its final name";
    }
}

// A text in any summed column of the summary, or in the count, stops the run with the
// column named: after a number in the same group, in a group that has no slot (school
// type 6), so that only the check of the sums can refuse it.
TEST(RecordError, TextInEverySummedColumnOfTheSummary)
{
    const char* const columns[] = {"KYUYO",  "KTYOGK", "STYOGK", "CHIIKI", "KTOKUB", "FUYOTE", "JYUKYO", "TUKINH",
                                   "TUKINK", "HEKICI", "HEKJUN", "SYUKUH", "SYUKUK", "TANSIN", "TOKGYO", "ZANGYO",
                                   "JIDOU",  "KIMATU", "KINBEN", "KYUJIT", "TAGAKU", "NINZU"};
    for (const std::string column : columns) {
        const db::Sumi number{.zaimu = 3, .syochu = 6, .sharym = 202310, .values = {{column, std::int64_t{7}}}};
        db::Sumi text = number;
        text.values = {{column, std::string("1,000")}};
        const Outcome o = printSummary({number, text});
        ASSERT_EQ(o.messages.size(), 1u) << column;
        EXPECT_EQ(o.messages[0].text, "型が一致しません。\r\n「1,000」は数値ではありません。\r\n列「" + column +
                                          "」の合計、SKSUMI の財務コード「3」、学校種別「6」、支払年月「202310」")
            << column;
        EXPECT_EQ(o.engineCalls, 0u) << column;
    }
}

} // namespace
} // namespace kov
