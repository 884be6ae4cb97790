#pragma once
// Pieces of SQL text built from values: the one place where quotes are escaped.
#include <string>
#include <string_view>

namespace kov::sql {

// A table or column name between double quotes, its own double quotes doubled.
std::string quoteIdentifier(std::string_view name);

// A value meant to stand between single quotes in an SQL criterion, its own single
// quotes doubled so that it cannot end the quoted text.
std::string escapeLiteral(std::string_view value);

} // namespace kov::sql
