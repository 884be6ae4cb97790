#include "runtimeerror.h"

namespace kov {

RuntimeError::RuntimeError(RuntimeErrorKind kind, const std::string& detail)
    : std::runtime_error(std::string(kindText(kind)) + (detail.empty() ? "" : " " + detail)), m_kind(kind),
      m_detail(detail)
{
}

const char* RuntimeError::kindText(RuntimeErrorKind kind)
{
    switch (kind) {
    case RuntimeErrorKind::Overflow:
        return "オーバーフローしました。";
    case RuntimeErrorKind::InvalidArgument:
        return "プロシージャの呼び出し、または引数が不正です。";
    case RuntimeErrorKind::TypeMismatch:
        return "型が一致しません。";
    case RuntimeErrorKind::FileError:
        return "ファイルを作成または書き込みできません。";
    case RuntimeErrorKind::ObjectCreation:
        return "コンポーネントはオブジェクトを作成できません。";
    case RuntimeErrorKind::Conversion:
        return "シフトJISで表せない文字があります。";
    }
    return "実行時エラーが発生しました。";
}

RuntimeError& RuntimeError::addContext(std::string where)
{
    if (!where.empty()) m_context.push_back(std::move(where));
    return *this;
}

std::string RuntimeError::userMessage() const
{
    std::string text = kindText(m_kind);
    if (!m_detail.empty()) text += "\r\n" + m_detail;
    if (!m_context.empty()) {
        text += "\r\n";
        for (std::size_t i = 0; i < m_context.size(); ++i) text += (i ? "、" : "") + m_context[i];
    }
    return text;
}

void throwOverflow(const std::string& detail) { throw RuntimeError(RuntimeErrorKind::Overflow, detail); }
void throwInvalidArgument(const std::string& detail) { throw RuntimeError(RuntimeErrorKind::InvalidArgument, detail); }
void throwTypeMismatch(const std::string& detail) { throw RuntimeError(RuntimeErrorKind::TypeMismatch, detail); }
void throwFileError(const std::string& detail) { throw RuntimeError(RuntimeErrorKind::FileError, detail); }

} // namespace kov
