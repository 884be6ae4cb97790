// kov120's screen: the argument rule, the blocks and records of each pay kind, the
// processing-month rule of pay kind 2, the exact filter texts, and its window (caption,
// positions and tab order) on real SQLite fixtures.
#include "blockreport/tests/windowcheck.h"
#include "kov120/kov120run.h"
#include "kov120/kov120screen.h"

#include <gtest/gtest.h>

#include <QListWidget>
#include <QRadioButton>

namespace kov::kov120::test {
namespace {

using blockreport::test::ProgramEnv;

// kov120 started with `kyusyu`.
struct Kov120Env : ProgramEnv<Kov120Run> {
    explicit Kov120Env(std::int16_t kyusyu = 2)
        : ProgramEnv("kov120", kov120Screen(kyusyu), blockreport::test::EngineKind::Recording)
    {
    }
};

const auto* const kQtApplication = ::testing::AddGlobalTestEnvironment(
    new blockreport::test::QtApplicationEnvironment<QApplication>("kov120_screen_test"));

TEST(Kov120Argument, OnlyTwoFiveOrTwentyFive)
{
    EXPECT_EQ(parseKov120Argument("2"), std::optional<std::int16_t>(2));
    EXPECT_EQ(parseKov120Argument("5"), std::optional<std::int16_t>(5));
    EXPECT_EQ(parseKov120Argument("25"), std::optional<std::int16_t>(25));
    for (const char* bad : {"", " 2", "2 ", "2@", "52", "3", "02", "25@", "@", "２"})
        EXPECT_FALSE(parseKov120Argument(bad).has_value()) << bad;
}

using blockreport::test::blocksOfAllKinds;

TEST(Kov120Screen, ListsTheBlocksOfThePayKind)
{
    const std::pair<std::int16_t, std::vector<int>> cases[] = {
        {2, {1, 3, 9, 45}}, {5, {2, 7}}, {25, {1, 2, 3, 7, 9, 45}}};
    for (const auto& [kyusyu, shown] : cases) {
        Kov120Env env(kyusyu);
        blocksOfAllKinds(env.fx);
        ASSERT_EQ(env.open(), std::nullopt) << kyusyu;
        std::vector<int> items;
        for (const auto& e : env.screen->lstMain()) items.push_back(e.itemData);
        EXPECT_EQ(items, shown) << kyusyu;
    }
}

// Pay kind 2 opens only in March, June and December; 5 and 25 in any month.
TEST(Kov120Screen, MonthAndRecordsAtStart)
{
    blockreport::test::expectOpenings([](std::int16_t kyusyu) { return std::make_unique<Kov120Env>(kyusyu); },
                                      {{2, 202306, 2},
                                       {2, 202312, 2},
                                       {2, 202307, 2, 1, 0, "期末・勤勉手当処理月ではありません。"},
                                       {5, 202307, 5},
                                       {25, 202307, 5},
                                       {2, 202306, 5, 1, 0, "該当するデータが登録されていません。"}});
}

TEST(Kov120Screen, FilterTexts)
{
    struct Case {
        std::int16_t kyusyu;
        bool monthly;
        const char* select;
        const char* start;
    };
    const Case cases[] = {
        {2, true, "KYUSYU = 2 AND SYOSYU not in(5,6) AND SKYUYM = 202306 AND SYRFLG in(01,03)",
         "KYUSYU = 2 AND SKYUYM = 202306 AND SYRFLG <> 0"},
        {2, false, "KYUSYU = 2 AND SYOSYU in(5,6) AND SKYUYM = 202306 AND SYRFLG in(01,03)",
         "KYUSYU = 2 AND SKYUYM = 202306 AND SYRFLG <> 0"},
        {5, true, "KYUSYU = 5 AND SYOSYU not in(5,6) AND SKYUYM = 202306 AND SYRFLG in(01,03)",
         "KYUSYU = 5 AND SKYUYM = 202306 AND SYRFLG <> 0"},
        {25, true, "KYUSYU in(2,5) AND SYOSYU not in(5,6) AND SKYUYM = 202306 AND SYRFLG in(01,03)",
         "KYUSYU in(2,5) AND SKYUYM = 202306 AND SYRFLG <> 0"},
        {25, false, "KYUSYU in(2,5) AND SYOSYU in(5,6) AND SKYUYM = 202306 AND SYRFLG in(01,03)",
         "KYUSYU in(2,5) AND SKYUYM = 202306 AND SYRFLG <> 0"},
    };
    for (const Case& c : cases) {
        const blockreport::ScreenDescription d = kov120Screen(c.kyusyu);
        EXPECT_EQ(d.selectFilter("202306", "01,03", c.monthly), c.select);
        EXPECT_EQ(d.startFilter("202306"), c.start);
    }
}

// The window: caption, lblShori 1620 twips wide, the buttons in three groups of four,
// the options first in the tab order.
TEST(Kov120Screen, Window)
{
    Kov120Env env(2);
    blocksOfAllKinds(env.fx);
    blockreport::test::expectWindow(
        env, "期末勤勉手当支給調書印刷", 1620, {375, 1230, 2085, 2940, 4095, 4950, 5805, 6660, 7815, 8670, 9525, 10380},
        [](blockreport::FrmBlockReport& f) {
            return blockreport::test::TabStops{
                {0, f.optGetugaku()}, {1, f.optNichigaku()}, {2, f.lstMain()}, {3, f.pfKeys()->button(0)}};
        });
}

} // namespace
} // namespace kov::kov120::test
