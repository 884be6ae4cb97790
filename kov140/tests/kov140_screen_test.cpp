// kov140's screen on real SQLite fixtures: the block list of pay kind 3, the start that
// accepts any processing month, and the selection by month, pay kind, blocks and staff
// group (the exact filter texts and the records that they give to the print run), and
// its window (caption, positions, tab order).
#include "blockreport/tests/windowcheck.h"
#include "kov140/kov140run.h"
#include "kov140/kov140screen.h"

#include <gtest/gtest.h>

#include <QListWidget>
#include <QRadioButton>

#include <filesystem>

namespace kov::kov140::test {
namespace {

using blockreport::test::cp932Lines;
using blockreport::test::ProgramEnv;

// kov140 with an engine that records what it is handed.
struct Kov140Env : ProgramEnv<Kov140Run> {
    Kov140Env() : ProgramEnv("kov140", kov140Screen(), blockreport::test::EngineKind::Recording) {}
};

const auto* const kQtApplication = ::testing::AddGlobalTestEnvironment(
    new blockreport::test::QtApplicationEnvironment<QApplication>("kov140_screen_test"));

// A staff member of E101 with a payment record (SASIHK: the code).
void addPayment(db::Fixture& fx, std::int64_t code, const std::string& name, std::int64_t skyuym, std::int64_t kyusyu,
                std::int64_t block, std::int64_t syosyu)
{
    const db::Row values = {{"SASIHK", code}};
    fx.addPaidStaff(
        name,
        {.syokcd = code, .skyuym = skyuym, .kyusyu = kyusyu, .syrflg = block, .syosyu = syosyu, .values = values});
}

TEST(Kov140Screen, ListsTheBlocksOfPayKindThreeOnly)
{
    Kov140Env env;
    env.fx.setKanri(202306);
    env.fx.addSchool("E101", "城東小学校");
    env.fx.addSchool("E104", "一校");
    env.fx.setBlock(1, 101, 101, 3, 2);
    env.fx.setBlock(2, 101, 101, 1, 5);
    env.fx.setBlock(4, 104, 104, 1, 3);
    env.fx.setBlock(6, 0, 0, 2, 3); // no block in this slot
    env.fx.setBlock(12, 101, 104, 12, 3);
    env.fx.setBlock(45, 999, 999, 0, 3); // school not in the master
    addPayment(env.fx, 1, "山田　太郎", 202306, 3, 4, 3);
    ASSERT_EQ(env.open(), std::nullopt);
    EXPECT_TRUE(env.rt.messages.empty());

    std::vector<std::pair<std::string, int>> entries;
    for (const auto& e : env.screen->lstMain()) entries.emplace_back(e.text, e.itemData);
    const std::vector<std::pair<std::string, int>> expected = {
        {"  04  一校", 4},
        {"  12  城東小学校" + std::string(11, ' ') + "他１１校", 12},
        {"  45  ", 45},
    };
    EXPECT_EQ(entries, expected);
    EXPECT_EQ(env.screen->lblShori(), "令和 5年 6月分");
}

// kov140 has no processing-month rule: it opens in any month that has records of pay kind
// 3 assigned to a block, and ends with the warning when there are none.
TEST(Kov140Screen, StartsInAnyMonthWithRecordsOfPayKindThree)
{
    const char* none = "該当するデータが登録されていません。";
    blockreport::test::expectOpenings([](std::int16_t) { return std::make_unique<Kov140Env>(); },
                                      {{0, 202307, 3},
                                       {0, 202301, 3},
                                       {0, 202306, 3},
                                       {0, 202311, 3, 45},
                                       {0, 202307, 2, 1, 0, none},
                                       {0, 202307, 5, 1, 0, none},
                                       {0, 202307, 3, 0, 0, none},
                                       {0, 202307, 3, 1, 202306, none}});
}

TEST(Kov140Screen, FilterTexts)
{
    const blockreport::ScreenDescription d = kov140Screen();
    EXPECT_EQ(d.startFilter("202306"), "SKYUYM = 202306 AND KYUSYU = 3 AND SYRFLG <> 0");
    EXPECT_EQ(d.selectFilter("202306", "01,03,12", true),
              "SKYUYM = 202306 AND KYUSYU = 3 AND SYRFLG in( 01,03,12) AND SYOSYU not in(5,6) ");
    EXPECT_EQ(d.selectFilter("202306", "07", false),
              "SKYUYM = 202306 AND KYUSYU = 3 AND SYRFLG in( 07) AND SYOSYU in(5,6) ");
    EXPECT_EQ(d.selectFilter("202306", "01,03", true),
              "SKYUYM = 202306 AND KYUSYU = 3 AND SYRFLG in( 01,03) AND SYOSYU not in(5,6) ");
    EXPECT_EQ(d.selectFilter("202306", "01,03", false),
              "SKYUYM = 202306 AND KYUSYU = 3 AND SYRFLG in( 01,03) AND SYOSYU in(5,6) ");
}

// The window: caption, lblShori 1605 twips wide, the last group of buttons 15 twips
// further left than in the allowance record's screen, the block list first in the tab
// order and the options last.
TEST(Kov140Screen, Window)
{
    Kov140Env env;
    env.fx.setKanri(202306);
    env.fx.addSchool("E101", "城東小学校");
    env.fx.setBlock(1, 101, 101, 1, 3);
    addPayment(env.fx, 1, "山田　太郎", 202306, 3, 1, 3);
    blockreport::test::expectWindow(
        env, "差額支給内訳明細書印刷", 1605, {375, 1230, 2085, 2940, 4095, 4950, 5805, 6660, 7800, 8655, 9510, 10365},
        [](blockreport::FrmBlockReport& f) {
            return blockreport::test::TabStops{
                {0, f.lstMain()}, {12, f.pfKeys()->button(11)}, {13, f.optNichigaku()}, {14, f.optGetugaku()}};
        });
}

// The print run gets exactly the records of the month, pay kind 3, the chosen blocks and
// the chosen staff group; a choice without records warns and leaves the screen open.
TEST(Kov140Screen, PrintsTheRecordsOfTheChoice)
{
    Kov140Env env;
    env.fx.setKanri(202306);
    env.fx.addSchool("E101", "城東小学校");
    env.fx.setBlock(1, 101, 101, 1, 3);
    env.fx.setBlock(2, 101, 101, 1, 3);
    env.fx.setBlock(3, 101, 101, 1, 3);
    addPayment(env.fx, 10, "月額　一", 202306, 3, 1, 3);
    addPayment(env.fx, 11, "日額　五", 202306, 3, 1, 5);
    addPayment(env.fx, 12, "日額　六", 202306, 3, 2, 6);
    addPayment(env.fx, 13, "前月　分", 202305, 3, 1, 3);
    addPayment(env.fx, 14, "期末　分", 202306, 2, 1, 3);
    addPayment(env.fx, 15, "月額　二", 202306, 3, 2, 10);
    ASSERT_EQ(env.open(), std::nullopt);

    struct Choice {
        std::vector<int> blocks;
        bool monthly;
        std::vector<std::string> names; // empty: no records
    };
    const Choice choices[] = {
        {{1}, true, {"月額　一"}},
        {{1}, false, {"日額　五"}},
        {{1, 2}, false, {"日額　五", "日額　六"}},
        {{1, 2}, true, {"月額　一", "月額　二"}},
        {{3}, true, {}},
        {{2}, false, {"日額　六"}},
    };
    for (const Choice& c : choices) {
        env.rt.messages.clear();
        env.engineCalls.clear();
        std::filesystem::remove(env.commandFile());
        env.screen->setOptGetugaku(c.monthly);
        env.selectBlocks(c.blocks);
        ASSERT_EQ(env.press(5), std::nullopt);
        if (c.names.empty()) {
            ASSERT_EQ(env.rt.messages.size(), 1u);
            EXPECT_EQ(env.rt.messages[0].text, "該当するデータが登録されていません。");
            EXPECT_TRUE(env.engineCalls.empty());
            EXPECT_FALSE(env.ctx.inReads());
            continue;
        }
        EXPECT_TRUE(env.rt.messages.empty());
        ASSERT_EQ(env.engineCalls.size(), 1u);
        // Staff names: the texts at x 5.2 (after the column shift) on the lower row.
        std::vector<std::string> names;
        for (const std::string& line : cp932Lines(env.engineCalls[0].commandFile))
            if (line.rfind("TE 0052", 0) == 0 && (std::stoi(line.substr(7, 4)) - 75) % 20 == 0)
                names.push_back(line.substr(19));
        EXPECT_EQ(names, c.names) << c.blocks.size() << c.monthly;
    }
}

} // namespace
} // namespace kov::kov140::test
