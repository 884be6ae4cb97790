#pragma once
// Pieces of SQL text built from values: the one place where quotes are escaped.
#include <cstddef>
#include <string>
#include <string_view>

namespace kov::sql {

// A table or column name between double quotes, its own double quotes doubled.
std::string quoteIdentifier(std::string_view name);

// A value meant to stand between single quotes in an SQL criterion, its own single
// quotes doubled so that it cannot end the quoted text.
std::string escapeLiteral(std::string_view value);

// The quoted text that opens at s[at] ('...', "...", `...` with their quote doubled
// inside, or [...]): the position after its closing quote, and into *text (when given)
// what it holds with the doubled quotes made single; npos when it does not close.
std::size_t scanQuoted(std::string_view s, std::size_t at, std::string* text = nullptr);

} // namespace kov::sql
