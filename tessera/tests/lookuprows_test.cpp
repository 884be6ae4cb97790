// The rows of a run's lookups: what they answer, and when they leave it to the single find.
#include "tessera/lookuprows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using kov::dataaccess::DbValue;
using kov::tessera::LookupRows;

namespace {
DbValue I(std::int64_t v) { return v; }
DbValue S(const char* v) { return std::string(v); }
} // namespace

// Rows (key, name) added in order, then one lookup: Found with the name, NotFound, or
// Unknown (the single find's).
TEST(LookupRows, EachLookupIsAnsweredAsTheSingleFindWouldOrLeftToIt)
{
    using Answer = LookupRows::Answer;
    const std::vector<std::vector<DbValue>> numbers = {{I(1), S("a")}, {I(2), S("b")}, {I(1), S("c")}, {{}, S("d")}};
    const std::vector<std::vector<DbValue>> texts = {{S("E101"), S("x")}, {S("e101"), S("y")}};
    const std::vector<std::vector<DbValue>> mixed = {{I(1), S("a")}, {S("1"), S("b")}};
    const std::vector<std::vector<DbValue>> reals = {{DbValue(1.5), S("a")}};
    struct Case {
        const char* what;
        const std::vector<std::vector<DbValue>>* rows;
        bool exact; // the engine compares the key as stored
        std::size_t limit;
        DbValue value;
        Answer answer;
        const char* name; // of the row found
    };
    const Case cases[] = {
        {"the first of a key in the open's order", &numbers, true, 1 << 20, I(1), Answer::Found, "a"},
        {"a key of no row", &numbers, true, 1 << 20, I(3), Answer::NotFound, ""},
        {"a text against integer keys", &numbers, true, 1 << 20, S("1"), Answer::Unknown, ""},
        {"a real literal", &numbers, true, 1 << 20, DbValue(1.0), Answer::Unknown, ""},
        {"texts by their bytes", &texts, true, 1 << 20, S("e101"), Answer::Found, "y"},
        {"an engine that converts or collates", &texts, false, 1 << 20, S("E101"), Answer::Unknown, ""},
        {"keys of mixed kinds", &mixed, true, 1 << 20, I(1), Answer::Unknown, ""},
        {"keys that are reals", &reals, true, 1 << 20, DbValue(1.5), Answer::Unknown, ""},
        {"rows past the bound", &numbers, true, 200, I(1), Answer::Unknown, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LookupRows rows(0, c.exact, c.exact, c.limit);
        bool usable = true;
        for (const std::vector<DbValue>& row : *c.rows) usable = usable && rows.add(row);
        Answer answer = Answer::Unknown;
        const std::vector<DbValue>* found = nullptr;
        if (usable) answer = rows.find(c.value, &found);
        EXPECT_EQ(answer, c.answer);
        if (answer == Answer::Found) {
            EXPECT_EQ((*found)[1], S(c.name));
        }
    }
}
