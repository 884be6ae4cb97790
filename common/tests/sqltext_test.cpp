#include "common/sqltext.h"

#include <gtest/gtest.h>

TEST(SqlText, QuotesCannotEndTheQuotedText)
{
    EXPECT_EQ(kov::sql::quoteIdentifier("SKSYKEI"), "\"SKSYKEI\"");
    EXPECT_EQ(kov::sql::quoteIdentifier("名設定"), "\"名設定\"");
    EXPECT_EQ(kov::sql::quoteIdentifier("a\"b"), "\"a\"\"b\"");
    EXPECT_EQ(kov::sql::escapeLiteral("E101"), "E101");
    EXPECT_EQ(kov::sql::escapeLiteral("E1' OR '1'='1"), "E1'' OR ''1''=''1");
    EXPECT_EQ(kov::sql::escapeLiteral(""), "");
}
