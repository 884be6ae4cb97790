// Loading the name-setting table from a real name-setting database.
#include "common/cmnname.h"
#include "common/cp932.h"
#include "common/runtimeerror.h"
#include "common/tests/scriptedruntime.h"
#include "common/text.h"
#include "db/tests/fixture.h"
#include "tests/support/golden.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

using kov::BasCmnName;
using kov::Currency;
using kov::ScriptedRuntime;

namespace {

std::string pad30(const std::string& s) { return kov::text::padRight(s, 30); }

class CmnNameTest : public ::testing::Test {
protected:
    kov::db::Fixture fx;
    ScriptedRuntime rt;
    BasCmnName names{rt};

    void SetUp() override { fx.setStandardNames(); }

    void expectCleared(const BasCmnName& n)
    {
        for (int i = 1; i <= 10; ++i) EXPECT_EQ(n.p_strName[i], std::string(30, ' ')) << i;
        for (int i = 1; i <= 3; ++i) {
            EXPECT_EQ(n.p_strNenKb[i], " ") << i;
            EXPECT_EQ(n.p_strNenKj[i], "      ") << i;
            EXPECT_EQ(n.p_curNenSt[i], Currency()) << i;
        }
    }
};

} // namespace

// What each selector loads from the standard names, in the order of a program's calls
// (2 overwrites what 1 loaded, 4 clears the names, 7 takes one from KENKO and KOSEI and
// the others keep them): every slot after each call against cmnname_selectors.txt.
TEST_F(CmnNameTest, EachSelectorOverTheStandardNames)
{
    fx.setName("KOSEI", std::int64_t{5});
    std::string dump;
    const auto note = [&](const std::string& when) {
        dump += when + "\r\n";
        for (int i = 1; i <= 10; ++i) dump += " name " + std::to_string(i) + " [" + names.p_strName[i] + "]\r\n";
        for (int i = 1; i <= 3; ++i)
            dump += " era " + std::to_string(i) + " [" + names.p_strNenKb[i] + "] [" + names.p_strNenKj[i] + "] " +
                    names.p_curNenSt[i].toString() + "\r\n";
        dump += " kenko " + names.p_curKenko.toString() + " kosei " + names.p_curKosei.toString() + "\r\n";
    };
    note("start");
    for (std::int16_t selector : {1, 2, 3, 1, 4, 5, 6, 7, 1, 0}) {
        // The group returned is the slots as the call left them.
        const kov::NameGroup group = names.prsNameRead(selector);
        EXPECT_EQ(group.names, names.p_strName);
        EXPECT_TRUE(group.eraLetters == names.p_strNenKb && group.eraNames == names.p_strNenKj &&
                    group.eraStarts == names.p_curNenSt && group.kenko == names.p_curKenko &&
                    group.kosei == names.p_curKosei);
        note("prsNameRead(" + std::to_string(selector) + ")");
    }
    kov::test::expectGoldenBytes(kov::cp932::fromUtf8(dump), "cmnname_selectors.txt");
    EXPECT_TRUE(rt.messages.empty());
}

// Era letters and names, and names of more than 30 characters, are cut and their
// half-width blanks trimmed; selector 7 takes one from KENKO with its fraction.
TEST_F(CmnNameTest, ValuesAreCutAndTrimmed)
{
    fx.setName("NENKB1", " SH ");
    fx.setName("NENKJ1", " 昭和時代の元号 ");
    fx.setName("NENST1", std::int64_t{0});
    fx.setName("KENKO", 46.5);
    const std::string kanji31 = "一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十壱";
    fx.setName("SYOKU1", kanji31);
    fx.setName("SYOKU2", "   教頭   ");
    fx.setName("SYOKU3", std::string(40, 'A'));
    fx.setName("SYOKU4", "　養護　"); // full-width blanks are not trimmed
    names.prsNameRead(4);
    EXPECT_EQ(names.p_strNenKb[1], "S");
    EXPECT_EQ(names.p_strNenKj[1], "昭和時代の元");
    EXPECT_EQ(names.p_curNenSt[1], Currency());
    names.prsNameRead(7);
    EXPECT_EQ(names.p_curKenko, Currency::parse("45.5"));
    names.prsNameRead(1);
    EXPECT_EQ(names.p_strName[1], kov::text::left(kanji31, 30));
    EXPECT_EQ(kov::text::length(names.p_strName[1]), 30u);
    EXPECT_EQ(names.p_strName[2], pad30("教頭"));
    EXPECT_EQ(names.p_strName[3], std::string(30, 'A'));
    EXPECT_EQ(names.p_strName[4], pad30("　養護　"));
}

TEST_F(CmnNameTest, NullColumnsGiveBlanksAndZero)
{
    fx.setNames({{"SYOKU1", "校長"}});
    names.prsNameRead(1);
    EXPECT_EQ(names.p_strName[1], pad30("校長"));
    EXPECT_EQ(names.p_strName[2], std::string(30, ' '));
    names.prsNameRead(4);
    expectCleared(names);
    names.prsNameRead(7);
    EXPECT_EQ(names.p_curKenko, Currency::fromInt(-1));
    EXPECT_TRUE(rt.messages.empty());
}

TEST_F(CmnNameTest, OnlyTheFirstRowIsRead)
{
    kov::db::insertRow(fx.names(), kov::db::kNameTable, {{"SYOKU1", "二行目"}});
    names.prsNameRead(1);
    EXPECT_EQ(names.p_strName[1], pad30("校長"));
}

TEST_F(CmnNameTest, SelectorsOutsideOneToSevenOnlyClear)
{
    names.prsNameRead(1);
    names.prsNameRead(4);
    names.prsNameRead(1);
    // Nothing may be created or opened: with no component registered, creating an
    // object would raise an error.
    kov::dataaccess::UnregisterAll();
    for (std::int16_t sel : {0, 8, -1, 32767}) {
        names.prsNameRead(sel);
        expectCleared(names);
    }
    EXPECT_TRUE(rt.messages.empty());
    kov::BasCmnName fresh(rt); // 1 to 7 do create objects (kept by the object after that)
    EXPECT_THROW(fresh.prsNameRead(1), kov::RuntimeError);
}

TEST_F(CmnNameTest, MissingDatabaseShowsTheOpenFailureAndLeavesEverythingCleared)
{
    names.prsNameRead(1);
    std::filesystem::remove(fx.path("KOVENV.INI"));
    names.prsNameRead(1);
    expectCleared(names);
    ASSERT_EQ(rt.messages.size(), 1u);
    // The component's cause follows on the next line.
    EXPECT_EQ(rt.messages[0].text, "KOVENV データベースのオープンに失敗しました。\r\n設定ファイル「" +
                                       fx.path("KOVENV.INI") + "」がありません。");
    EXPECT_EQ(rt.messages[0].icon, kov::MsgIcon::Stop);
    EXPECT_EQ(rt.messages[0].buttons, kov::MsgButtons::Ok);
    EXPECT_EQ(rt.messages[0].title, "");
}

TEST_F(CmnNameTest, MissingTableShowsTheTableFailure)
{
    fx.execNames("DROP TABLE \"名設定\"");
    names.p_strMsgTitle = "名称";
    names.prsNameRead(2);
    expectCleared(names);
    ASSERT_EQ(rt.messages.size(), 1u);
    EXPECT_EQ(rt.messages[0].text, "名称設定テーブルのオープンに失敗しました。");
    EXPECT_EQ(rt.messages[0].icon, kov::MsgIcon::Stop);
    EXPECT_EQ(rt.messages[0].title, "名称");
}

TEST_F(CmnNameTest, EmptyTableLeavesEverythingClearedWithoutMessage)
{
    names.prsNameRead(1);
    fx.execNames("DELETE FROM \"名設定\"");
    names.prsNameRead(1);
    expectCleared(names);
    EXPECT_TRUE(rt.messages.empty());
}

TEST_F(CmnNameTest, RepeatedLoadsLeaveNoFileOpen)
{
    auto openFiles = [] {
        std::size_t n = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
        return n;
    };
    // The data-access component keeps a closed connection for the next open once the
    // database file has stopped changing; let the fixture's file settle and take that one
    // connection first, so that only a leak can change the count.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    names.prsNameRead(1);
    names.prsNameRead(1);
    const std::size_t before = openFiles();
    for (int i = 0; i < 200; ++i) names.prsNameRead(static_cast<std::int16_t>(1 + i % 7));
    EXPECT_EQ(openFiles(), before);
}

// Within a run the row is read once: every selector fills from it, a change made
// meanwhile is seen at the first reading after the run, and outside a run at once.
TEST_F(CmnNameTest, ARunReadsTheRowOnceAndAChangeIsSeenAfterIt)
{
    fx.execNames("PRAGMA journal_mode = WAL"); // a writer commits while the run reads
    fx.setName("KOSEI", std::int64_t{5});
    int opens = 0;
    fx.afterRowRead = [&](const std::string& table) { opens += table == "名設定"; };
    names.beginRun();
    for (int round = 0; round < 2; ++round) {
        names.prsNameRead(7);
        names.prsNameRead(1);
        EXPECT_EQ(names.p_strName[1], pad30("校長"));
        names.prsNameRead(4);
        EXPECT_EQ(names.p_strName[1], std::string(30, ' '));
        EXPECT_EQ(names.p_strNenKb[3], "R");
        EXPECT_EQ(names.p_curKosei, Currency::fromInt(4));
        fx.setName("SYOKU1", std::string("学長"));
    }
    names.endRun();
    EXPECT_EQ(opens, 1);
    names.prsNameRead(1);
    EXPECT_EQ(names.p_strName[1], pad30("学長"));
    fx.setName("SYOKU1", std::string("園長"));
    names.prsNameRead(1);
    EXPECT_EQ(names.p_strName[1], pad30("園長"));
    EXPECT_EQ(opens, 3);
    EXPECT_TRUE(rt.messages.empty());
}
