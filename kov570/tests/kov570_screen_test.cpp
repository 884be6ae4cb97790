// The screen model of kov570 over real fixtures: the finance labels, the label clicks,
// the two warnings of F6 and the two ends of the opening.
#include "kov570env.h"

#include <gtest/gtest.h>

namespace kov::kov570::test {
namespace {

TEST(Kov570Screen, FinanceLabelsByNameLength)
{
    const struct {
        const char *column, *name;
        std::size_t slot;
        const char* label;
    } cases[] = {{"ZAIMU1", "  東  ", 1, "　東　"},  {"ZAIMU2", "東部", 2, "東　部"},
                 {"ZAIMU3", " 東部課", 3, "東部課"}, {"ZAIMU4", "南部教育", 4, "南　部"},
                 {"ZAIMU5", "     ", 5, "　"},       {"ZAIMU8", "県立", 8, "全　体"},
                 {"ZAIMU9", "本庁", 0, "本　庁"}};
    Kov570Env env;
    for (const auto& c : cases) env.fx.setName(c.column, std::string(c.name));
    env.screen.formLoad();
    for (const auto& c : cases) EXPECT_EQ(env.screen.zaimuLabels()[c.slot], c.label) << c.column;
    EXPECT_EQ(env.ctx.cmnName().p_strName[3], "東部課" + std::string(27, ' '));
    EXPECT_EQ(env.ctx.comTessera().p_strTbName, "SkSumi");
}

// F6 warns of the finance offices first, of the schools only when an office is ticked;
// a label clicked twice leaves its box as it was.
TEST(Kov570Screen, WarningsAndLabelClicks)
{
    Kov570Env env;
    env.fx.setKanri(202306, 2023);
    env.fx.addSumi({});
    ASSERT_EQ(env.open(), std::nullopt);
    env.screen.prsPfAction(5);
    env.screen.setChkGakkou(2, CheckValue::Ticked);
    env.screen.prsPfAction(5);
    env.screen.lblZaimuClick(3);
    env.screen.setChkGakkou(2, CheckValue::Unticked);
    env.screen.prsPfAction(5);
    ASSERT_EQ(env.rt.messages.size(), 3u);
    const char* expected[] = {"財務が選択されていません。", "財務が選択されていません。", "学校が選択されていません。"};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(env.rt.messages[i].text, expected[i]);
        EXPECT_EQ(env.rt.messages[i].icon, MsgIcon::Exclamation);
        EXPECT_EQ(env.rt.messages[i].title, "給与費支出額集計表印刷");
    }
    EXPECT_TRUE(env.calls.empty());

    env.screen.setChkGakkou(1, CheckValue::Grey); // ticked, then unticked
    for (int i = 0; i < 2; ++i) env.screen.lblZaimuClick(3), env.screen.lblZaimuClick(0), env.screen.lblGakkouClick(1);
    EXPECT_EQ(env.screen.chkZaimu(3), CheckValue::Ticked);
    EXPECT_EQ(env.screen.chkZaimu(0), CheckValue::Unticked);
    EXPECT_EQ(env.screen.chkGakkou(1), CheckValue::Unticked);
    EXPECT_EQ(env.run([&] { env.screen.prsEndKey(); }), 0) << "F10 closes the query and the connection";
}

TEST(Kov570Screen, OpeningEndsWithoutManagementRecordOrRows)
{
    for (const bool kanri : {false, true}) {
        Kov570Env env;
        if (kanri) env.fx.setKanri(202306, 2023);
        env.fx.addSumi({.nendo = 2022});
        EXPECT_EQ(env.open(), kExitFatal);
        ASSERT_EQ(env.rt.messages.size(), 1u);
        EXPECT_EQ(env.rt.messages[0].text,
                  kanri ? "該当するデータが登録されていません。" : "管理マスタが読込できません。");
        EXPECT_EQ(env.rt.messages[0].icon, MsgIcon::Exclamation);
    }
}

} // namespace
} // namespace kov::kov570::test
