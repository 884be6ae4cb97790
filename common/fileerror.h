#pragma once
// The cause of a failed file operation in Japanese, for messages that the clerk reads:
// the common causes in words of the desk (容量不足, 書き込み禁止, アクセス権がありません,
// 見つかりません), then the system's own text in parentheses, e.g.
//   "容量不足です。空き容量が足りません。（No space left on device）"
#include <string>
#include <system_error>

namespace kov {

// For an errno value; 0 gives a general text without the system's part.
std::string fileErrorText(int err);
// For an error code of the standard library (std::filesystem and the like).
std::string fileErrorText(const std::error_code& ec);

} // namespace kov
