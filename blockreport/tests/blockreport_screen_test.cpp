// The block report screen on a real SQLite fixture with scripted runtime services: the
// opening checks, the block list, the key actions and the record selection.
#include "blockreport/blockreportrun.h"
#include "blockreport/blockreportscreen.h"
#include "blockreport/tests/blockreport_testsupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

namespace kov::blockreport {
namespace {

using test::blocksOfAllKinds;
using test::testScreen;

// A print run that counts the staff lines (one per record read) and the entries.
class CountingRun : public BlockReportRun {
public:
    explicit CountingRun(PrintContext& ctx) : BlockReportRun(ctx) {}
    int staffLines = 0;
    int subtotals = 0;
    int blockTotals = 0;

protected:
    void prsGokeiPrint(EntryLevel level) override
    {
        (level == EntryLevel::Staff ? staffLines : level == EntryLevel::Affiliation ? subtotals : blockTotals)++;
    }
    void prsGokeiClr(EntryLevel, EntryLevel) override {}
    std::string jobName() const override { return "TEST"; }
    std::string overlayFile() const override { return "TEST.ovl"; }
};

// The test screen with the counting run, loaded over a fixture.
struct Env : test::BlockReportEnv {
    CountingRun* run = nullptr;

    explicit Env(ScreenDescription d) : BlockReportEnv("blockreport_screen_test")
    {
        run = load<CountingRun>(std::move(d), recordingEngine());
    }
    std::vector<std::string> texts() const
    {
        std::vector<std::string> t;
        for (const auto& e : screen->lstMain()) t.push_back(e.text);
        return t;
    }
};

const std::string kB1 = "  01  城東小学校" + std::string(11, ' ') + "他　２校";
const std::string kB2 = "  02  あいうえおかきくけこ 他１１校";
const std::string kB3 = "  03  あいうえおかきくけこさし 他　１校";
const std::string kB7 = "  07  一校";
const std::string kB9 = "  09  " + std::string(21, ' ') + "他　３校";
const std::string kB45 = "  45  城東小学校" + std::string(11, ' ') + "他９９校";

// The slots that the description shows, in slot order, each with its school name
// brought to 20 columns and the count of the other schools.
TEST(BlockList, ShowsTheBlocksOfThePayKind)
{
    Env env(testScreen());
    blocksOfAllKinds(env.fx);
    ASSERT_EQ(env.open(), std::nullopt);
    EXPECT_EQ(env.texts(), (std::vector<std::string>{kB1, kB2, kB3, kB7, kB9, kB45}));
    std::vector<int> items;
    for (const auto& e : env.screen->lstMain()) items.push_back(e.itemData);
    EXPECT_EQ(items, (std::vector<int>{1, 2, 3, 7, 9, 45}));
    EXPECT_EQ(env.screen->lblShori(), "令和 5年 6月分");
    EXPECT_TRUE(env.rt.messages.empty());
    // Key mode 0: F1, F6 and F10 only.
    EXPECT_EQ(env.screen->pfMode().p_bPFKey, (std::array<std::int16_t, 12>{-1, 0, 0, 0, 0, -1, 0, 0, 0, -1, 0, 0}));
    EXPECT_EQ(env.screen->pfCaptions()[0], "切　替");
    EXPECT_EQ(env.screen->pfCaptions()[5], "印　刷");
    EXPECT_EQ(env.screen->pfCaptions()[9], "終　了");
    EXPECT_EQ(env.screen->pfCaptions()[1], "");
}

// The month rule (argument 1) refuses any month but March, June and December; records
// unassigned to a block or of another pay kind do not count.
TEST(OpeningChecks, MonthAndRecordsAtStart)
{
    test::expectOpenings([](std::int16_t monthRule) { return std::make_unique<Env>(testScreen(monthRule != 0)); },
                         {{1, 202306, 2},
                          {1, 202312, 2},
                          {1, 202403, 2},
                          {1, 202307, 2, 1, 0, "期末・勤勉手当処理月ではありません。"},
                          {0, 202307, 5},
                          {1, 202306, 2, 0, 0, "該当するデータが登録されていません。"},
                          {1, 202306, 3, 1, 0, "該当するデータが登録されていません。"}});
}

TEST(OpeningChecks, MissingManagementRecordEndsAtOnce)
{
    Env env(testScreen());
    env.fx.exec("DELETE FROM SKKANRI");
    env.fx.setBlock(1, 101, 101, 1, 2);
    EXPECT_EQ(env.open(), kExitFatal);
    ASSERT_EQ(env.rt.messages.size(), 1u);
    EXPECT_EQ(env.rt.messages[0].text, "管理マスタが読込できません。");
    EXPECT_EQ(env.rt.messages[0].icon, MsgIcon::Stop);
    EXPECT_EQ(env.rt.messages[0].title, "ブロック帳票印刷");
}

// An open that fails is reported through the status check instead of passing for
// "records exist" (at start) or "records found" (when printing).
TEST(OpeningChecks, FailedOpenOfPaymentRecordsIsFatal)
{
    Env env(testScreen());
    env.fx.setKanri(202306);
    env.fx.setBlock(1, 101, 101, 1, 2);
    env.fx.exec("DROP TABLE SKSYKEI");
    EXPECT_EQ(env.open(), kExitFatal);
    ASSERT_EQ(env.rt.messages.size(), 1u);
    EXPECT_EQ(env.rt.messages[0].icon, MsgIcon::Stop);
    EXPECT_NE(env.rt.messages[0].text.find("Err Status = -"), std::string::npos) << env.rt.messages[0].text;
}

TEST(Keys, SwitchInvertsAndTwiceRestores)
{
    Env env(testScreen());
    blocksOfAllKinds(env.fx);
    ASSERT_EQ(env.open(), std::nullopt);
    auto selection = [&] {
        std::vector<bool> s;
        for (const auto& e : env.screen->lstMain()) s.push_back(e.selected);
        return s;
    };
    // Nothing selected: F1 selects all.
    env.screen->prsPfAction(0);
    EXPECT_EQ(selection(), std::vector<bool>(6, true));
    EXPECT_EQ(env.screen->listIndex(), 0);
    env.screen->prsPfAction(0);
    EXPECT_EQ(selection(), std::vector<bool>(6, false));
    env.screen->setSelected(1, true);
    env.screen->setSelected(4, true);
    const auto before = selection();
    env.screen->prsPfAction(0);
    EXPECT_EQ(selection(), (std::vector<bool>{true, false, true, true, false, true}));
    env.screen->prsPfAction(0);
    EXPECT_EQ(selection(), before);
    EXPECT_EQ(env.screen->blockList(), "02,09");
    // Disabled keys do nothing.
    for (int k : {1, 2, 3, 4, 6, 7, 8, 10, 11}) env.screen->prsPfAction(k);
    EXPECT_EQ(selection(), before);
    EXPECT_TRUE(env.rt.messages.empty());
}

TEST(Keys, SwitchOnEmptyListDoesNothing)
{
    Env env(testScreen());
    env.fx.setKanri(202306);
    env.fx.addPayment({.syokcd = 1, .skyuym = 202306, .kyusyu = 2, .syrflg = 1});
    env.fx.setBlock(1, 101, 101, 1, 3); // no block of the screen's pay kinds
    ASSERT_EQ(env.open(), std::nullopt);
    ASSERT_TRUE(env.screen->lstMain().empty());
    env.screen->prsPfAction(0);
    EXPECT_EQ(env.screen->listIndex(), -1);
    // Print with an empty list reports that no block is selected.
    env.screen->prsPfAction(5);
    ASSERT_EQ(env.rt.messages.size(), 1u);
    EXPECT_EQ(env.rt.messages[0].text, "ブロックが選択されていません。");
}

TEST(Keys, PrintWithoutSelectionWarnsAndOpensNothing)
{
    Env env(testScreen());
    blocksOfAllKinds(env.fx);
    ASSERT_EQ(env.open(), std::nullopt);
    env.screen->prsPfAction(5);
    ASSERT_EQ(env.rt.messages.size(), 1u);
    EXPECT_EQ(env.rt.messages[0].text, "ブロックが選択されていません。");
    EXPECT_EQ(env.rt.messages[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(env.rt.messages[0].title, "ブロック帳票印刷");
    EXPECT_FALSE(std::filesystem::exists(env.fx.path("work/blockreport_screen_test/OVL.TMP")));
}

TEST(Keys, EndClosesTablesAndConnectionAndEndsWithZero)
{
    Env env(testScreen());
    blocksOfAllKinds(env.fx);
    ASSERT_EQ(env.open(), std::nullopt);
    EXPECT_EQ(env.press(9), 0);
    EXPECT_TRUE(env.rt.messages.empty());
    // Closed: a second close of the tables, and of the connection, is a status that the
    // check reports.
    EXPECT_EQ(env.call([&] { env.screen->prsTbClose(); }), kExitFatal);
    EXPECT_EQ(env.call([&] { env.screen->prsDbClose(); }), kExitFatal);
    ASSERT_EQ(env.rt.messages.size(), 2u);
    for (const RecordedMessage& m : env.rt.messages)
        EXPECT_NE(m.text.find("Err Status = -"), std::string::npos) << m.text;
}

// The selection opens exactly the records of the chosen blocks, staff group, pay kind
// and month; a choice without records warns and leaves the screen open.
TEST(Selection, SelectsTheRecordsOfTheChoice)
{
    Env env(testScreen());
    blocksOfAllKinds(env.fx);
    auto pay = [&](std::int64_t cd, std::int64_t ym, std::int64_t ky, std::int64_t block, std::int64_t syosyu) {
        env.fx.addPayment({.syokcd = cd, .skyuym = ym, .kyusyu = ky, .syrflg = block, .syosyu = syosyu});
    };
    pay(10, 202306, 2, 1, 3); // monthly, block 1
    pay(11, 202306, 2, 1, 5); // daily, block 1
    pay(12, 202306, 5, 3, 1); // monthly, block 3, pay kind 5
    pay(13, 202305, 2, 1, 3); // other month
    pay(14, 202306, 3, 1, 3); // other pay kind
    pay(15, 202306, 2, 9, 6); // daily, block 9
    for (std::int64_t cd : {1, 10, 11, 12, 13, 14, 15}) env.fx.addStaff({.syokcd = cd, .values = {}});
    ASSERT_EQ(env.open(), std::nullopt);
    CountingRun* run = env.run;
    struct Choice {
        std::vector<int> blocks;
        bool monthly;
        int rows;
        int blockTotals;
    };
    // Block 1 also holds the monthly record of staff 1 from blocksOfAllKinds.
    const Choice choices[] = {
        {{1}, true, 2, 1},  {{1}, false, 1, 1}, {{1, 3}, true, 3, 2},
        {{9}, false, 1, 1}, {{9}, true, 0, 0},  {{2, 7}, false, 0, 0},
    };
    for (const Choice& c : choices) {
        env.selectBlocks(c.blocks);
        env.screen->setOptGetugaku(c.monthly);
        env.rt.messages.clear();
        run->staffLines = run->subtotals = run->blockTotals = 0;
        env.screen->prsPfAction(5);
        EXPECT_EQ(run->staffLines, c.rows);
        EXPECT_EQ(run->blockTotals, c.blockTotals);
        EXPECT_FALSE(env.ctx.inReads()) << "the record set and the reads end with the print";
        if (c.rows == 0) {
            ASSERT_EQ(env.rt.messages.size(), 1u);
            EXPECT_EQ(env.rt.messages[0].text, "該当するデータが登録されていません。");
            EXPECT_EQ(env.rt.messages[0].title, "ブロック帳票印刷");
        } else {
            EXPECT_TRUE(env.rt.messages.empty());
        }
    }
}

} // namespace
} // namespace kov::blockreport
