#pragma once
// Character helpers. Texts are UTF-8 in memory; every length, cut, pad or position
// counted in characters goes through these functions (never std::string::size()).
// A character is one Unicode code point; a byte that is not valid UTF-8 counts as
// one character on its own, so a damaged text is never cut inside a sequence.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kov::text {

// Number of characters.
std::size_t length(std::string_view s);
// The first n characters (all of s when it is shorter).
std::string left(std::string_view s, std::size_t n);
// The last n characters.
std::string right(std::string_view s, std::size_t n);
// n characters from the 1-based position start (to the end when n is npos).
std::string mid(std::string_view s, std::size_t start, std::size_t n = std::string_view::npos);
// Fixed-length text: cut after n characters, padded on the right with blanks to n.
std::string fixedLength(std::string_view s, std::size_t n);
// Padded on the right with blanks to at least n characters (never cut).
std::string padRight(std::string_view s, std::size_t n);
// Right-aligned: blanks in front up to at least n characters (never cut).
std::string padLeft(std::string_view s, std::size_t n);
// n half-width blanks.
std::string spaces(std::size_t n);
// Removes U+0020 blanks at both ends (other white space is kept); with chars, every
// byte of chars (e.g. " \t\r") at both ends.
std::string trim(std::string_view s, std::string_view chars = " ");
// The same as a view into s, for a text only looked at.
std::string_view trimView(std::string_view s, std::string_view chars = " ");
std::string trimLeft(std::string_view s);
std::string trimRight(std::string_view s);
// Digits 0-9 and the blank become their full-width forms (０-９, U+3000); the rest is kept.
std::string toFullWidth(std::string_view s);
// ASCII letters A-Z become a-z; every other byte is kept (so a UTF-8 text stays valid).
std::string foldAsciiCase(std::string_view s);
// One byte of it.
inline char foldAsciiCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
// Equal after foldAsciiCase (file names, INI sections and keys, SQL words, column names).
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);
// value in upper-case hexadecimal with at least `digits` digits: hexCode(0x8140, 4) is
// "8140", hexCode(0x0A, 2) "0A". Code points are shown as "U+" + hexCode(cp, 4).
std::string hexCode(std::uint32_t value, int digits);

// The code point that starts at byte offset i, and the byte length of its sequence.
char32_t decodeAt(std::string_view s, std::size_t i, std::size_t* seqLen);
// UTF-8 of one code point.
std::string encode(char32_t cp);

} // namespace kov::text
