#include "fileerror.h"

#include <cerrno>
#include <cstring>

namespace kov {

namespace {

const char* causeText(int err)
{
    switch (err) {
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return "容量不足です。空き容量が足りません。";
    case EFBIG:
        return "容量不足です。ファイルが大きすぎます。";
    case EROFS:
        return "書き込み禁止です。読み取り専用の場所には書き込めません。";
    case EACCES:
    case EPERM:
        return "アクセス権がありません。";
    case ENOENT:
        return "見つかりません。";
    case ENOTDIR:
        return "見つかりません（途中のフォルダがありません）。";
    case EISDIR:
        return "同じ名前のフォルダがあります（ファイルではありません）。";
    case EEXIST:
        return "同じ名前のファイルがあります。";
    case ENAMETOOLONG:
        return "名前が長すぎます。";
    case EBUSY:
    case ETXTBSY:
        return "使用中です。";
    case EMFILE:
    case ENFILE:
        return "開いているファイルが多すぎます。";
    case EIO:
        return "ディスクの読み書きに失敗しました（装置のエラー）。";
    default:
        return "ファイルを扱えませんでした。";
    }
}

} // namespace

std::string fileErrorText(int err)
{
    if (err == 0) return "ファイルを扱えませんでした。";
    return std::string(causeText(err)) + "（" + std::strerror(err) + "）";
}

std::string fileErrorText(const std::error_code& ec)
{
    if (!ec) return fileErrorText(0);
    if (ec.category() == std::generic_category() || ec.category() == std::system_category())
        return fileErrorText(ec.value());
    return std::string("ファイルを扱えませんでした。（") + ec.message() + "）";
}

} // namespace kov
