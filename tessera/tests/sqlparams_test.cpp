// Literals of find conditions become parameters; anything unusual is left alone.
#include "tessera/sqlparams.h"

#include <gtest/gtest.h>

#include <sstream>

using kov::dataaccess::DbValue;
using kov::tessera::parameterize;

// Each condition, the statement it becomes (nullptr: left alone) and its values, written
// 'text', r<real> or as the integer.
TEST(SqlParams, LiteralsBecomeParametersUnlessUnusual)
{
    const struct {
        const char* condition;
        const char* sql;
        const char* values;
    } cases[] = {
        {"SYOKCD = 1001 AND SYOZOK = 'E101'", "SYOKCD = ? AND SYOZOK = ?", "1001 'E101'"},
        {"SSYOZK_01 = 5 AND KYUSYU in(2,5)", "SSYOZK_01 = ? AND KYUSYU in(?,?)", "5 2 5"}, // digits inside names stay
        {"SZKKNJ = '城東''小学校' OR \"名 前\" = 'x'", "SZKKNJ = ? OR \"名 前\" = ?", "'城東'小学校' 'x'"},
        {"A = 1.5 AND B = .25 AND C = 1e3 AND D = 99999999999999999999", "A = ? AND B = ? AND C = ? AND D = ?",
         "r1.5 r0.25 r1000 r1e+20"},
        {"A = 1 -- 2\n AND /* 3 */ B = 4", "A = ? -- 2\n AND /* 3 */ B = ?", "1 4"}, // comments are copied
        {"A = ?", nullptr, ""},
        {"A = :a", nullptr, ""},
        {"A IN (SELECT B FROM T ORDER BY 1)", nullptr, ""},
        {"A = X'00'", nullptr, ""},
        {"A = 0x10", nullptr, ""},
        {"A = 'open", nullptr, ""},
        {"A = 1abc", nullptr, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.condition);
        std::string sql;
        std::vector<DbValue> values;
        const bool ok = parameterize(c.condition, sql, values);
        ASSERT_EQ(ok, c.sql != nullptr);
        if (!ok) continue;
        EXPECT_EQ(sql, c.sql);
        std::ostringstream shown;
        for (const DbValue& v : values) {
            if (!shown.str().empty()) shown << ' ';
            if (const auto* i = std::get_if<std::int64_t>(&v)) shown << *i;
            else if (const auto* r = std::get_if<double>(&v)) shown << 'r' << *r;
            else if (const auto* s = std::get_if<std::string>(&v)) shown << '\'' << *s << '\'';
            else shown << '?';
        }
        EXPECT_EQ(shown.str(), c.values);
    }
}
