#pragma once
// Turns the literals of an SQL condition into ? parameters, so that finds that differ
// only in their values ("SYOKCD = 1001", "SYOKCD = 1002") share one prepared
// statement and cost a rebind instead of a new compilation.
#include "common/dataaccess/dataaccess.h"

#include <string>
#include <string_view>
#include <vector>

namespace kov::tessera {

// How a parameter is written: "?" (SQLite), "$1", "$2", ... (PostgreSQL).
enum class PlaceholderStyle { Question, Numbered };

// On success `sql` is the condition with every string literal ('...') and decimal
// number replaced by a parameter, and `values` holds the literals in order (texts as texts,
// whole numbers that fit 64 bits as integers, others as reals). Returns false (and
// the condition should be used as it is) when the condition already has parameters,
// holds a sub-select (where a number may be a column position), or cannot be read.
// With PlaceholderStyle::Numbered the parameters are numbered from firstIndex.
bool parameterize(std::string_view condition, std::string& sql, std::vector<kov::dataaccess::DbValue>& values,
                  PlaceholderStyle style = PlaceholderStyle::Question, int firstIndex = 1);

} // namespace kov::tessera
