// The fatal status message: its text for every status, the box and the program end.
#include "common/comtessera.h"
#include "common/dataaccess/dataaccess.h"
#include "common/tests/scriptedruntime.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using kov::ComTessera;
using kov::ProgramEnded;
using kov::ScriptedRuntime;

namespace {

// Runs the check as the top of a user action does, and returns the one message shown
// there (fails the test otherwise).
kov::RecordedMessage fatal(ComTessera& com, ScriptedRuntime& rt, std::int16_t status, std::int16_t exemption = 0,
                           const std::string& detail = {})
{
    const std::size_t before = rt.messages.size();
    try {
        kov::runGuarded(rt, "操作", [&] { com.prsStatusCheck(status, exemption, detail); });
        ADD_FAILURE() << "status " << status << " did not end the program";
    } catch (const ProgramEnded& e) {
        EXPECT_EQ(e.exitStatus, kov::kExitFatal);
    }
    EXPECT_EQ(rt.messages.size(), before + 1);
    return rt.messages.empty() ? kov::RecordedMessage{} : rt.messages.back();
}

struct Expected {
    std::int16_t status;
    const char* text; // as shown with the database name "DB" and the table name "TB"
};

// Written out in full, kind word and names included, as the user reads them.
const Expected kTexts[] = {
    {-1, "データベースDBはオープン／クローズ出来ません。"},
    {-2, "テーブルTBはオープン／クローズ出来ません。"},
    {-3, "テーブルTBの内容が取得できません。"},
    {-4, "データベースDBは開かれています。"},
    {-5, "データベースDBは閉じられています。"},
    {-6, "テーブルTBは開かれています。"},
    {-7, "テーブルTBは閉じられています。"},
    {-8, "テーブルTBは指定したレコードを検索できません。"},
    {-9, "テーブルTBのＥＯＦレコードを検出しました。"},
    {-10, "テーブルTBのレコード追加が出来ません。"},
    {-11, "テーブルTBのレコード編集が出来ません。"},
    {-12, "テーブルTBのレコード更新が出来ません。"},
    {-13, "テーブルTBのレコード削除が出来ません。"},
    {-14, "テーブルTBのレコード取消が出来ません。"},
    {-15, "テーブルTBのトランザクションの開始が出来ません。"},
    {-16, "テーブルTBのトランザクションの終了が出来ません。"},
    {-17, "テーブルTBのトランザクションのロールバックが出来ません\xEF\xBD\xA1"}, // half-width "｡"
    {-18, "データベースDBのパスまたはファイル名が不正です。"},
    {-19, "データベースDBのパスが存在しません。"},
    {-20, "データベースDBのパスまたはファイル名が存在しません。"},
    {-21, "テーブルTBは新規レコードの作成中です。"},
    {-22, "テーブルTBカレントレコードは編集中です。"},
    {-23, "テーブルTBカレントレコードは編集中ではありません。"},
    {-24, "テーブルTB引数が設定されていません。（Field/GroupBy）"},
    {-66, "テーブルTBＳＱＬステートメントの実行に失敗しました。"},
    {-77, "データベースDBは最適化に失敗しました。"},
    {-84, "データベースDBで最適化するパス又はファイル名が存在しません。"},
    {-85, "データベースDBで最適化後のパスが存在しません。"},
    {-86, "データベースDBで最適化後のファイルが既にに存在しています。"},
    {-87, "データベースDBで最適化するパス又はファイル名が不正です。"},
    {-88, "データベースDBで最適化後のパス又はファイル名が不正です。"},
    {-89, "データベースDBで最適化前と後のパスとファイル名が同一です。"},
    {-99, "テーブルTBカレントレコードの初期化に失敗しました。"},
};

} // namespace

TEST(ComTessera, EveryStatusTextWithKindWordAndName)
{
    ScriptedRuntime rt;
    ComTessera com;
    com.prsStatusNames("DB", "TB", "題");
    for (const Expected& e : kTexts) {
        const kov::RecordedMessage m = fatal(com, rt, e.status);
        EXPECT_EQ(m.text, std::string(e.text) + "\r\n\r\nErr Status = " + std::to_string(e.status)) << e.status;
        EXPECT_EQ(m.icon, kov::MsgIcon::Stop);
        EXPECT_EQ(m.buttons, kov::MsgButtons::Ok);
        EXPECT_EQ(m.title, "題");
    }
}

// The names set by prsStatusNames (or none, which leaves them empty) go into the text and
// the title of every message.
TEST(ComTessera, NamesInTheTextAndTitle)
{
    struct Case {
        const char* what;
        bool setNames;
        const char *db, *tb, *title;
        std::vector<std::pair<std::int16_t, const char*>> texts; // status, text before the status line
    };
    const Case cases[] = {
        {"names never set",
         false,
         "",
         "",
         "",
         {{-8, "テーブルは指定したレコードを検索できません。"}, {-5, "データベースは閉じられています。"}}},
        {"names of the summary program",
         true,
         "KOV.dat",
         "SkSumi",
         "給与費支出額集計表",
         {{-6, "テーブルSkSumiは開かれています。"}, {-1, "データベースKOV.datはオープン／クローズ出来ません。"}}},
    };
    for (const Case& c : cases) {
        ScriptedRuntime rt;
        ComTessera com;
        if (c.setNames) com.prsStatusNames(c.db, c.tb, c.title);
        EXPECT_EQ(com.p_strDbName, c.db) << c.what;
        EXPECT_EQ(com.p_strTbName, c.tb) << c.what;
        EXPECT_EQ(com.p_strMsgTitle, c.title) << c.what;
        for (const auto& [status, text] : c.texts) {
            const kov::RecordedMessage m = fatal(com, rt, status);
            EXPECT_EQ(m.text, std::string(text) + "\r\n\r\nErr Status = " + std::to_string(status)) << c.what;
            EXPECT_EQ(m.title, c.title) << c.what;
        }
    }
}

TEST(ComTessera, CodesWithoutTextGiveTheUnexpectedTextAlone)
{
    ScriptedRuntime rt;
    ComTessera com;
    com.prsStatusNames("DB", "TB", "");
    for (std::int16_t s : {-25, -40, -65, -67, -76, -78, -83, -90, -98, -100, -32768}) {
        EXPECT_EQ(fatal(com, rt, s).text,
                  "例外なステータスコードが検出されました。\r\n\r\nErr Status = " + std::to_string(s))
            << s;
    }
}

// Zero and positive statuses pass; the exemption lets only the end of the rows and a
// failed initialisation pass.
TEST(ComTessera, PassingStatusesAndTheExemption)
{
    ScriptedRuntime rt;
    ComTessera com;
    for (std::int16_t s : {0, 5, 1, 32767}) EXPECT_NO_THROW(com.prsStatusCheck(s, 0));
    EXPECT_NO_THROW(com.prsStatusCheck(-9, -1));
    EXPECT_NO_THROW(com.prsStatusCheck(-99, -1));
    EXPECT_TRUE(rt.messages.empty());
    EXPECT_EQ(fatal(com, rt, -8, -1).text, "テーブルは指定したレコードを検索できません。\r\n\r\nErr Status = -8");
    EXPECT_EQ(fatal(com, rt, -9, 0).text, "テーブルのＥＯＦレコードを検出しました。\r\n\r\nErr Status = -9");
    fatal(com, rt, -99, 1);
}

// The component's detail of the failure follows the message, which stays as it is; the
// box takes the screen's caption unless the names gave a title.
TEST(ComTessera, TheComponentsDetailFollowsAndTheScreensCaptionIsTheTitle)
{
    ScriptedRuntime rt;
    ComTessera com;
    com.setScreenCaption("画面");
    const std::string base = "データベースはオープン／クローズ出来ません。\r\n\r\nErr Status = -1";
    kov::RecordedMessage m = fatal(com, rt, -1, 0, "認証に失敗しました。（libpq）");
    EXPECT_EQ(m.text, base + "\r\n認証に失敗しました。（libpq）");
    EXPECT_EQ(m.title, "画面");
    EXPECT_EQ(fatal(com, rt, -1).text, base);
    com.prsStatusNames("", "", "Kov570");
    EXPECT_EQ(fatal(com, rt, -1).title, "Kov570");
}
