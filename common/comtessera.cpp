#include "comtessera.h"

#include "dataaccess/dataaccess.h"
#include "dataaccess/status.h"

#include <string_view>
#include <utility>

namespace kov {

using namespace dataaccess::status;

namespace {

enum class Kind { Database, Table };

struct StatusEntry {
    std::int16_t status;
    Kind kind;
    std::string_view text;
};

// Every status of the data-access component that has a text of its own.
constexpr StatusEntry kStatusTexts[] = {
    {kStatusDbOpenClose, Kind::Database, "はオープン／クローズ出来ません。"},
    {kStatusTbOpenClose, Kind::Table, "はオープン／クローズ出来ません。"},
    {kStatusTbNoContent, Kind::Table, "の内容が取得できません。"},
    {kStatusDbIsOpen, Kind::Database, "は開かれています。"},
    {kStatusDbClosed, Kind::Database, "は閉じられています。"},
    {kStatusTbIsOpen, Kind::Table, "は開かれています。"},
    {kStatusTbClosed, Kind::Table, "は閉じられています。"},
    {kStatusNotFound, Kind::Table, "は指定したレコードを検索できません。"},
    {kStatusEof, Kind::Table, "のＥＯＦレコードを検出しました。"},
    {kStatusRecAddFailed, Kind::Table, "のレコード追加が出来ません。"},
    {kStatusRecEditFailed, Kind::Table, "のレコード編集が出来ません。"},
    {kStatusRecUpdateFailed, Kind::Table, "のレコード更新が出来ません。"},
    {kStatusRecDeleteFailed, Kind::Table, "のレコード削除が出来ません。"},
    {kStatusRecCancelFailed, Kind::Table, "のレコード取消が出来ません。"},
    {kStatusTxBeginFailed, Kind::Table, "のトランザクションの開始が出来ません。"},
    {kStatusTxEndFailed, Kind::Table, "のトランザクションの終了が出来ません。"},
    {kStatusTxRollbackFailed, Kind::Table, "のトランザクションのロールバックが出来ません｡"}, // half-width full stop
    {kStatusBadName, Kind::Database, "のパスまたはファイル名が不正です。"},
    {kStatusNoFolder, Kind::Database, "のパスが存在しません。"},
    {kStatusNoFile, Kind::Database, "のパスまたはファイル名が存在しません。"},
    {kStatusRecIsNew, Kind::Table, "は新規レコードの作成中です。"},
    {kStatusRecIsEdited, Kind::Table, "カレントレコードは編集中です。"},
    {kStatusRecNotEdited, Kind::Table, "カレントレコードは編集中ではありません。"},
    {kStatusNoArgument, Kind::Table, "引数が設定されていません。（Field/GroupBy）"},
    {kStatusSqlError, Kind::Table, "ＳＱＬステートメントの実行に失敗しました。"},
    {kStatusCompactFailed, Kind::Database, "は最適化に失敗しました。"},
    {kStatusCompactNoSource, Kind::Database, "で最適化するパス又はファイル名が存在しません。"},
    {kStatusCompactNoTargetFolder, Kind::Database, "で最適化後のパスが存在しません。"},
    {kStatusCompactTargetExists, Kind::Database, "で最適化後のファイルが既にに存在しています。"},
    {kStatusCompactBadSource, Kind::Database, "で最適化するパス又はファイル名が不正です。"},
    {kStatusCompactBadTarget, Kind::Database, "で最適化後のパス又はファイル名が不正です。"},
    {kStatusCompactSameFile, Kind::Database, "で最適化前と後のパスとファイル名が同一です。"},
    {kStatusRowInitFailed, Kind::Table, "カレントレコードの初期化に失敗しました。"},
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

void ComTessera::prsStatusCheck(std::int16_t status, std::int16_t exemption, const std::string& detail)
{
    if (exemption == kExemptEndOfRows &&
        (status == dataaccess::kStatusEof || status == dataaccess::kStatusRowInitFailed))
        return;
    if (status >= dataaccess::kStatusOk) return;
    std::string text = messageText(status, p_strDbName, p_strTbName);
    if (!detail.empty()) text += "\r\n" + detail;
    throw ProgramStop(std::move(text), MsgIcon::Stop, p_strMsgTitle.empty() ? m_screenCaption : p_strMsgTitle);
}

} // namespace kov
