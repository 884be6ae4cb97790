// Literals of find conditions become parameters; anything unusual is left alone.
#include "tessera/sqlparams.h"

#include <gtest/gtest.h>

using kov::dataaccess::DbValue;
using kov::tessera::parameterize;

namespace {
struct Result {
    bool ok;
    std::string sql;
    std::vector<DbValue> values;
};
Result run(std::string_view cond)
{
    Result r;
    r.ok = parameterize(cond, r.sql, r.values);
    return r;
}
} // namespace

TEST(SqlParams, NumbersAndStringsBecomeParameters)
{
    const Result r = run("SYOKCD = 1001 AND SYOZOK = 'E101'");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.sql, "SYOKCD = ? AND SYOZOK = ?");
    ASSERT_EQ(r.values.size(), 2u);
    EXPECT_EQ(r.values[0], DbValue(std::int64_t{1001}));
    EXPECT_EQ(r.values[1], DbValue(std::string("E101")));
}

TEST(SqlParams, DigitsInsideNamesStay)
{
    const Result r = run("SSYOZK_01 = 5 AND KYUSYU in(2,5)");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.sql, "SSYOZK_01 = ? AND KYUSYU in(?,?)");
    EXPECT_EQ(r.values.size(), 3u);
}

TEST(SqlParams, QuotesInsideStringsAndJapaneseText)
{
    const Result r = run("SZKKNJ = '城東''小学校' OR \"名 前\" = 'x'");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.sql, "SZKKNJ = ? OR \"名 前\" = ?");
    EXPECT_EQ(r.values[0], DbValue(std::string("城東'小学校")));
}

TEST(SqlParams, RealsAndLargeNumbers)
{
    const Result r = run("A = 1.5 AND B = .25 AND C = 1e3 AND D = 99999999999999999999");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.sql, "A = ? AND B = ? AND C = ? AND D = ?");
    EXPECT_EQ(r.values[0], DbValue(1.5));
    EXPECT_EQ(r.values[1], DbValue(0.25));
    EXPECT_EQ(r.values[2], DbValue(1000.0));
    EXPECT_TRUE(std::holds_alternative<double>(r.values[3]));
}

TEST(SqlParams, CommentsAreCopied)
{
    const Result r = run("A = 1 -- 2\n AND /* 3 */ B = 4");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.sql, "A = ? -- 2\n AND /* 3 */ B = ?");
    EXPECT_EQ(r.values.size(), 2u);
}

TEST(SqlParams, LeftAloneWhenUnusual)
{
    EXPECT_FALSE(run("A = ?").ok);
    EXPECT_FALSE(run("A = :a").ok);
    EXPECT_FALSE(run("A IN (SELECT B FROM T ORDER BY 1)").ok);
    EXPECT_FALSE(run("A = X'00'").ok);
    EXPECT_FALSE(run("A = 0x10").ok);
    EXPECT_FALSE(run("A = 'open").ok);
    EXPECT_FALSE(run("A = 1abc").ok);
}
