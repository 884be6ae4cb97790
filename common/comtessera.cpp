#include "comtessera.h"

#include "dataaccess/dataaccess.h"
#include "dataaccess/status.h"

#include <string_view>

namespace kov {

namespace {

enum class Kind { Database, Table };

struct StatusEntry {
    std::int16_t status;
    Kind kind;
    std::string_view text;
};

// Every status of the data-access component that has a text of its own.
constexpr StatusEntry kStatusTexts[] = {
    {-1, Kind::Database, "はオープン／クローズ出来ません。"},
    {-2, Kind::Table, "はオープン／クローズ出来ません。"},
    {-3, Kind::Table, "の内容が取得できません。"},
    {-4, Kind::Database, "は開かれています。"},
    {-5, Kind::Database, "は閉じられています。"},
    {-6, Kind::Table, "は開かれています。"},
    {-7, Kind::Table, "は閉じられています。"},
    {-8, Kind::Table, "は指定したレコードを検索できません。"},
    {-9, Kind::Table, "のＥＯＦレコードを検出しました。"},
    {-10, Kind::Table, "のレコード追加が出来ません。"},
    {-11, Kind::Table, "のレコード編集が出来ません。"},
    {-12, Kind::Table, "のレコード更新が出来ません。"},
    {-13, Kind::Table, "のレコード削除が出来ません。"},
    {-14, Kind::Table, "のレコード取消が出来ません。"},
    {-15, Kind::Table, "のトランザクションの開始が出来ません。"},
    {-16, Kind::Table, "のトランザクションの終了が出来ません。"},
    {-17, Kind::Table, "のトランザクションのロールバックが出来ません｡"},  // half-width full stop
    {-18, Kind::Database, "のパスまたはファイル名が不正です。"},
    {-19, Kind::Database, "のパスが存在しません。"},
    {-20, Kind::Database, "のパスまたはファイル名が存在しません。"},
    {-21, Kind::Table, "は新規レコードの作成中です。"},
    {-22, Kind::Table, "カレントレコードは編集中です。"},
    {-23, Kind::Table, "カレントレコードは編集中ではありません。"},
    {-24, Kind::Table, "引数が設定されていません。（Field/GroupBy）"},
    {-66, Kind::Table, "ＳＱＬステートメントの実行に失敗しました。"},
    {-77, Kind::Database, "は最適化に失敗しました。"},
    {-84, Kind::Database, "で最適化するパス又はファイル名が存在しません。"},
    {-85, Kind::Database, "で最適化後のパスが存在しません。"},
    {-86, Kind::Database, "で最適化後のファイルが既にに存在しています。"},
    {-87, Kind::Database, "で最適化するパス又はファイル名が不正です。"},
    {-88, Kind::Database, "で最適化後のパス又はファイル名が不正です。"},
    {-89, Kind::Database, "で最適化前と後のパスとファイル名が同一です。"},
    {-99, Kind::Table, "カレントレコードの初期化に失敗しました。"},
};

constexpr std::string_view kUnexpectedStatus = "例外なステータスコードが検出されました。";

} // namespace

void ComTessera::prsStatusNames(const std::string& dbName, const std::string& tbName, const std::string& title)
{
    p_strDbName = dbName;
    p_strTbName = tbName;
    p_strMsgTitle = title;
}

std::string ComTessera::statusText(std::int16_t status, const std::string& dbName, const std::string& tbName)
{
    for (const StatusEntry& e : kStatusTexts) {
        if (e.status != status) continue;
        if (e.kind == Kind::Database) return "データベース" + dbName + std::string(e.text);
        return "テーブル" + tbName + std::string(e.text);
    }
    return std::string(kUnexpectedStatus);
}

std::string ComTessera::messageText(std::int16_t status, const std::string& dbName, const std::string& tbName)
{
    return statusText(status, dbName, tbName) + "\r\n\r\nErr Status = " + std::to_string(status);
}

void ComTessera::prsStatusCheck(std::int16_t status, std::int16_t exemption)
{
    if (exemption == -1 && (status == dataaccess::kStatusEof || status == dataaccess::kStatusRowInitFailed)) return;
    if (status >= 0) return;
    std::string text = messageText(status, p_strDbName, p_strTbName);
    if (const std::string detail = dataaccess::failureDetail(status); !detail.empty()) text += "\r\n" + detail;
    dataaccess::clearFailureDetail();
    m_rt.msgBox(text, MsgIcon::Stop, MsgButtons::Ok, p_strMsgTitle.empty() ? m_screenCaption : p_strMsgTitle);
    m_rt.endProgram(kExitFatal);
}

} // namespace kov
