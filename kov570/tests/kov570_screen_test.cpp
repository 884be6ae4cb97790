// The screen model of kov570 over real SQLite fixtures: the finance labels, the label
// clicks, the two warnings of F6 and the ends of the opening.
#include "kov570env.h"

#include <gtest/gtest.h>

namespace kov::kov570::test {
namespace {

TEST(Kov570Screen, FinanceLabelsByNameLength)
{
    struct {
        const char* column;
        const char* name;
        std::size_t slot;
        const char* label;
    } cases[] = {
        {"ZAIMU1", "  東  ", 1, "　東　"}, {"ZAIMU2", "東部", 2, "東　部"}, {"ZAIMU3", " 東部課", 3, "東部課"},
        {"ZAIMU4", "南部教育", 4, "南　部"}, {"ZAIMU5", "     ", 5, "　"},   {"ZAIMU8", "県立", 8, "全　体"},
        {"ZAIMU9", "本庁", 0, "本　庁"},
    };
    Kov570Env env;
    for (const auto& c : cases) env.fx.setName(c.column, std::string(c.name));
    env.screen.formLoad();
    for (const auto& c : cases) EXPECT_EQ(env.screen.data.ZaimuLabel[c.slot], c.label) << c.column;
    EXPECT_EQ(env.ctx.cmnName.p_strName[3], "東部課" + std::string(27, ' '));
    EXPECT_EQ(env.ctx.com.p_strTbName, "SkSumi");
}

TEST(Kov570Screen, PrintKeyWarnsOfTheFirstEmptyGroupOnly)
{
    Kov570Env env;
    env.fx.setKanri(202306, 2023);
    env.fx.addSumi({});
    ASSERT_EQ(env.open(), std::nullopt);

    env.screen.prsPfAction(5);
    env.screen.chkGakkou[2] = 1;  // a school alone does not help
    env.screen.prsPfAction(5);
    env.screen.lblZaimuClick(3);
    env.screen.chkGakkou[2] = 0;
    env.screen.prsPfAction(5);
    ASSERT_EQ(env.rt.messages.size(), 3u);
    EXPECT_EQ(env.rt.messages[0].text, "財務が選択されていません。");
    EXPECT_EQ(env.rt.messages[1].text, "財務が選択されていません。");
    EXPECT_EQ(env.rt.messages[2].text, "学校が選択されていません。");
    for (const auto& m : env.rt.messages) {
        EXPECT_EQ(m.icon, MsgIcon::Exclamation);
        EXPECT_EQ(m.title, "給与費支出額集計表印刷");
    }
    EXPECT_TRUE(env.calls.empty());
}

TEST(Kov570Screen, LabelClickedTwiceLeavesItsBox)
{
    Kov570Env env;
    env.screen.chkZaimu[4] = 1;
    env.screen.chkGakkou[1] = 2;  // a grey box becomes ticked, then unticked
    env.screen.lblZaimuClick(4);
    EXPECT_EQ(env.screen.chkZaimu[4], 0);
    env.screen.lblZaimuClick(4);
    env.screen.lblZaimuClick(0);
    env.screen.lblZaimuClick(0);
    env.screen.lblGakkouClick(1);
    EXPECT_EQ(env.screen.chkGakkou[1], 1);
    EXPECT_EQ(env.screen.chkZaimu[4], 1);
    EXPECT_EQ(env.screen.chkZaimu[0], 0);
}

TEST(Kov570Screen, OpeningEndsWithoutManagementRecordOrRows)
{
    struct {
        bool kanri, rows;
        const char* message;
    } cases[] = {{false, true, "管理マスタが読込できません。"}, {true, false, "該当するデータが登録されていません。"}};
    for (const auto& c : cases) {
        Kov570Env env;
        if (c.kanri) env.fx.setKanri(202306, 2023);
        env.fx.addSumi({.nendo = c.rows ? 2023 : 2022});
        EXPECT_EQ(env.open(), kExitFatal);
        ASSERT_EQ(env.rt.messages.size(), 1u);
        EXPECT_EQ(env.rt.messages[0].text, c.message);
        EXPECT_EQ(env.rt.messages[0].icon, MsgIcon::Exclamation);
    }
}

} // namespace
} // namespace kov::kov570::test
