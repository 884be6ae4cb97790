#pragma once
// The one converter between the UTF-8 texts in memory and the Japanese code page
// (CP932) of every file that the suite writes or reads.
#include <string>
#include <string_view>

namespace kov::cp932 {

// UTF-8 to CP932. A character that CP932 cannot hold (or a byte that is not UTF-8)
// raises a RuntimeError of kind Conversion that names the character; nothing is
// dropped or replaced.
std::string fromUtf8(std::string_view utf8);

// CP932 to UTF-8. A byte sequence that is not CP932 raises a RuntimeError of kind
// Conversion that names the byte offset.
std::string toUtf8(std::string_view bytes);

// As above, but reports failure by returning false and setting *errorOffset to the
// byte offset of the first bad sequence.
bool tryToUtf8(std::string_view bytes, std::string& out, std::size_t* errorOffset = nullptr);
bool tryFromUtf8(std::string_view utf8, std::string& out, std::size_t* errorOffset = nullptr);

// tryFromUtf8 that appends to `out`: on failure `out` holds what came before the bad
// sequence (the caller discards it).
bool appendFromUtf8(std::string_view utf8, std::string& out, std::size_t* errorOffset = nullptr);
// tryFromUtf8 into a buffer with room for utf8.size() bytes (CP932 never takes more):
// the end of the bytes written, or nullptr on failure.
char* encodeFromUtf8(std::string_view utf8, char* out, std::size_t* errorOffset = nullptr);
// tryFromUtf8 takes the bytes of each character from a table that the system's converter
// fills as characters are met; this is that converter on the whole text (for the tests).
bool tryFromUtf8ByConverter(std::string_view utf8, std::string& out, std::size_t* errorOffset = nullptr);

} // namespace kov::cp932
