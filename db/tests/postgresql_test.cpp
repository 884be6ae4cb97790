// The PostgreSQL form of the schema: db/schema-postgresql.sql is what kovpgcopy writes,
// it loads on the test server, and a copied database reads back through Tessera with
// every table and column, names folded, rows in their order.
#include "db/postgresql.h"
#include "db/tests/fixture.h"

#include "common/dataaccess/dataaccess.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace kov::dataaccess;

TEST(PostgresqlSchema, TheCheckedInFileIsTheConversionOfSchemaSql)
{
    EXPECT_EQ(kov::test::readBytes(KOV_SOURCE_DIR "/db/schema-postgresql.sql"), kov::db::pg::schemaFile())
        << "run: kovpgcopy --schema > db/schema-postgresql.sql";
}

TEST(PostgresqlSchema, LoadsAndACopiedDatabaseReadsBackThroughTessera)
{
    std::string why;
    const std::optional<std::string> server = kov::db::testServer(&why);
    if (!server) GTEST_SKIP() << why;
    kov::db::Fixture fx(kov::db::Engine::Postgresql);
    auto columns = [](kov::db::Connection& c) {
        return std::get<std::int64_t>(
            c.scalar("SELECT count(*) FROM sqlite_master AS m, pragma_table_info(m.name) WHERE m.type = 'table'"));
    };
    kov::db::pg::Session pg(*server);
    pg.exec("DROP SCHEMA IF EXISTS schema_test CASCADE; CREATE SCHEMA schema_test; SET search_path = schema_test");
    pg.exec(kov::db::pg::schemaFile());
    EXPECT_EQ(pg.scalar("SELECT count(*) FROM information_schema.tables WHERE table_schema = 'schema_test'"), "7");
    EXPECT_EQ(pg.scalar("SELECT count(*) FROM information_schema.columns WHERE table_schema = 'schema_test'"),
              std::to_string(columns(fx.payroll()) + columns(fx.names())));
    EXPECT_EQ(pg.scalar("SELECT count(*) FROM pg_indexes WHERE schemaname = 'schema_test'"), "4");
    pg.exec("DROP SCHEMA schema_test CASCADE");

    fx.addSchool("E102", "城西小学校");
    fx.addSchool("E101", "城東小学校");
    fx.setStandardNames();
    auto db = CreateObjectAs<clsDbAccess>(kProgIdDbAccess);
    db->setDBIniNameString("KOVENV.INI");
    ASSERT_EQ(db->DAO_DBOpen(), 0);
    auto tb = CreateObjectAs<clsTbAccess>(kProgIdTbAccess);
    tb->setTBDatabase(db->DBDatabase());
    tb->setTBNameString("SKSYOZK");
    ASSERT_EQ(tb->DAO_TableOpen("", ""), 2);
    ASSERT_EQ(tb->DAO_RecRead(1), 0);
    EXPECT_EQ(toText(tb->TBRec("SYOZOK")), "E102");
    tb->DAO_TableClose();
    tb->setTBNameString("名設定");
    ASSERT_EQ(tb->DAO_TableOpen("", ""), 1);
    ASSERT_EQ(tb->DAO_RecRead(1), 0);
    EXPECT_EQ(toText(tb->TBRec("NENKJ3")), "令和");
}

// kovpgcopy as an office runs it: a payroll database moved into a schema of the server,
// every row in its order; a file that does not exist is refused with a message.
TEST(PostgresqlSchema, KovpgcopyMovesADatabase)
{
    std::string why;
    const std::optional<std::string> server = kov::db::testServer(&why);
    if (!server) GTEST_SKIP() << why;
    kov::db::Fixture fx(kov::db::Engine::Sqlite);
    for (std::int64_t code : {30, 10, 20}) fx.addStaff({.syokcd = code, .name = "職員\t" + std::to_string(code)});
    kov::db::pg::Session pg(*server);
    pg.exec("DROP SCHEMA IF EXISTS copy_test CASCADE; CREATE SCHEMA copy_test");
    const std::string connection = *server + " options='-c search_path=copy_test'";
    const auto copy = [&](const std::string& from, const char* quiet) {
        return std::system((std::string(KOV_BIN_DIR) + "/kovpgcopy --from " + fx.path(from) + " --connection \"" +
                            connection + "\" " + quiet)
                               .c_str());
    };
    EXPECT_EQ(copy("kov.db", ">/dev/null"), 0);
    EXPECT_EQ(pg.scalar("SELECT string_agg(syokcd || ':' || simknj, ',' ORDER BY ctid) FROM copy_test.sksyoku"),
              "30:職員\t30,10:職員\t10,20:職員\t20");
    EXPECT_EQ(pg.scalar("SELECT count(*) FROM information_schema.tables WHERE table_schema = 'copy_test'"), "6");
    EXPECT_NE(copy("nosuch.db", "2>/dev/null"), 0);
    pg.exec("DROP SCHEMA copy_test CASCADE");
}
