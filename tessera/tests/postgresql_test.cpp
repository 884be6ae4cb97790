// What only the PostgreSQL engine has: its settings, the statuses of a server that
// cannot be reached or goes away, the read-only session and exact NUMERIC values. The
// contract cases themselves run on both engines in tessera_test.cpp.
#include "db/postgresql.h"
#include "db/tests/fixture.h"
#include "tessera/backend.h"
#include "tessera/tessera.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

using namespace kov::dataaccess;
using kov::db::Engine;

namespace {

class TesseraPostgresql : public ::testing::Test {
protected:
    std::optional<std::string> server;
    std::optional<kov::db::Fixture> fx;

    void SetUp() override
    {
        std::string why;
        server = kov::db::testServer(&why);
        if (!server) GTEST_SKIP() << why;
        fx.emplace(Engine::Postgresql);
    }

    std::int16_t openWith(const std::string& settings)
    {
        fx->writeSettings("PG.INI", settings);
        auto db = CreateObjectAs<clsDbAccess>(kProgIdDbAccess);
        db->setDBIniNameString("PG.INI");
        const std::int16_t st = db->DAO_DBOpen();
        if (st == 0) db->DAO_DBClose();
        return st;
    }

    static std::unique_ptr<clsTbAccess> tableOf(clsDbAccess& db, const std::string& table)
    {
        auto tb = CreateObjectAs<clsTbAccess>(kProgIdTbAccess);
        tb->setTBDatabase(db.DBDatabase());
        tb->setTBNameString(table);
        return tb;
    }

    struct Opened {
        std::unique_ptr<clsDbAccess> db = CreateObjectAs<clsDbAccess>(kProgIdDbAccess);
        std::unique_ptr<clsTbAccess> tb;
        void close() const
        {
            tb->DAO_TableClose();
            db->DAO_DBClose();
        }
    };
    // The fixture's database (KOV.INI) opened, and one of its tables.
    static Opened open(const std::string& table)
    {
        Opened o;
        o.db->setDBIniNameString("KOV.INI");
        EXPECT_EQ(o.db->DAO_DBOpen(), 0);
        o.tb = tableOf(*o.db, table);
        return o;
    }

    // Ends the component's sessions on the fixture's schema, as a server shut down does.
    void endSessions(kov::db::pg::Session& pg) const
    {
        pg.exec("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE application_name = '" + fx->pgSchema() +
                "'");
    }
};

} // namespace

TEST_F(TesseraPostgresql, SettingsAndTheStatusOfEachFailureToConnect)
{
    const std::string ok = *server;
    std::string uri = "postgresql:///kovtest?" + ok; // the URI form of the same server
    std::replace(uri.begin(), uri.end(), ' ', '&');
    const auto pg = [](const std::string& connection, const std::string& more = "") {
        return "Engine=postgresql\r\nConnection=" + connection + "\r\n" + more;
    };
    const std::pair<std::string, std::int16_t> cases[] = {
        {pg(ok), 0},
        {pg(uri), 0},
        {pg(ok + " dbname=nosuchdb"), -1}, // unknown database
        {pg(ok + " user=nosuchuser"), -1}, // authentication failed
        {pg("host=/nonexistent port=1"), -1}, // server unreachable
        {pg("nosuchkey=1"), -18}, // not a connection string
        {pg("host='unterminated"), -18},
        {"Engine=PostgreSQL\r\nConnection=\"" + ok + "\"\r\nBusyTimeout=2000\r\n", 0},
        {pg(ok, "BusyTimeout=soon\r\n"), -18},
        {"Engine=oracle\r\nConnection=" + ok + "\r\n", -18},
    };
    for (const auto& [settings, status] : cases) EXPECT_EQ(openWith("[Database]\r\n" + settings), status) << settings;
}

TEST_F(TesseraPostgresql, TheSessionIsReadOnlyAndNumericValuesAreExact)
{
    fx->setKanri();
    fx->syncEngine();
    // Written on the server itself: SQLite would store these as reals.
    kov::db::pg::Session pg(*server);
    pg.exec("UPDATE " + fx->pgSchema() + ".skkanri SET kenko = 12345678901234.5678, kosei = 0.0456, kaigo = 7.000");
    Opened o = open("SKKANRI");
    ASSERT_EQ(o.tb->DAO_TableGroupOpen("current_setting('default_transaction_read_only') AS RO", "", "", ""), 1);
    ASSERT_EQ(o.tb->DAO_RecRead(1), 0);
    EXPECT_EQ(o.tb->TBRec("RO"), DbValue(std::string("on")));
    o.tb->DAO_TableClose();
    ASSERT_EQ(o.tb->DAO_TableOpen("KEY = 'KANRI'", ""), 1);
    ASSERT_EQ(o.tb->DAO_RecRead(1), 0);
    EXPECT_EQ(toCurrency(o.tb->TBRec("KENKO")), kov::Currency::parse("12345678901234.5678"));
    EXPECT_EQ(toText(o.tb->TBRec("KOSEI")), "0.0456");
    EXPECT_EQ(o.tb->TBRec("KAIGO"), DbValue(std::int64_t{7}));
    o.tb->DAO_TableClose();
    // A column whose type changed since the same open was made before reads by its new type.
    for (const DbValue& kaigo : {DbValue(std::int64_t{7}), DbValue(std::string("7.000"))}) {
        if (std::holds_alternative<std::string>(kaigo))
            pg.exec("ALTER TABLE " + fx->pgSchema() + ".skkanri ALTER COLUMN kaigo TYPE text");
        ASSERT_EQ(o.tb->DAO_TableGroupOpen("KAIGO", "KEY = 'KANRI'", "", ""), 1);
        ASSERT_EQ(o.tb->DAO_RecRead(1), 0);
        EXPECT_EQ(o.tb->TBRec("KAIGO"), kaigo);
        o.tb->DAO_TableClose();
    }
    // A condition that would write fails as an SQL error.
    EXPECT_EQ(o.tb->DAO_TableOpen("nextval('kov_nosuch') > 0", ""), -66);
}

// The options of a connection string become commands of the session, which a pooler
// passes on; options that are not all settings stay in the start packet.
TEST(TesseraPostgresqlOptions, SettingsOfTheOptionsAsCommands)
{
    auto set = [](const char* name, const char* value) {
        return std::string("SELECT set_config('") + name + "', '" + value + "', false)";
    };
    const struct {
        const char* options;
        std::optional<std::vector<std::string>> commands;
    } cases[] = {
        {"-c search_path=fx_1", std::vector{set("search_path", "fx_1")}},
        {"  -csearch_path=a,b\\ c  --work-mem=4MB ", std::vector{set("search_path", "a,b c"), set("work_mem", "4MB")}},
        {"-c application_name=o'neil", std::vector{set("application_name", "o''neil")}},
        {"", std::vector<std::string>{}},
        {"-c search_path", std::nullopt},
        {"-c", std::nullopt},
        {"-d 5", std::nullopt},
        {"-c x;drop=1", std::nullopt},
        {"-c a=b\\\\c", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(kov::tessera::optionCommands(c.options), c.commands) << c.options;
}

TEST_F(TesseraPostgresql, AServerThatGoesAwayDuringAReadEndsItWithMinus1)
{
    for (int i = 1; i <= 3000; ++i) fx->addStaff({.syokcd = i});
    Opened o = open("SKSYOKU");
    ASSERT_EQ(o.tb->DAO_TableOpen("", "SYOKCD"), 3000);
    ASSERT_EQ(o.tb->DAO_RecRead(1), 0);
    kov::db::pg::Session pg(*server);
    endSessions(pg);
    std::int16_t st = 0;
    int rows = 1;
    while ((st = o.tb->DAO_RecRead(2)) == 0) ++rows;
    EXPECT_EQ(st, -1);
    EXPECT_LT(rows, 3000);
    EXPECT_EQ(o.tb->DAO_RecFind(1, "SYOKCD = 1"), -1);
    o.close();
    // The next open connects afresh.
    Opened again = open("SKSYOKU");
    EXPECT_EQ(again.tb->DAO_TableOpen("SYOKCD <= 10", ""), 10);
}

// Opens of one database share one session while one of them is open (reads of the one
// within a run of the other see the run's state), keep it idle after the last close,
// connect afresh when the server has ended it meanwhile, and leave none at the end.
TEST_F(TesseraPostgresql, OneSessionForOpensOfOneDatabaseAndNoneAfterTheEnd)
{
    fx->setKanri();
    fx->syncEngine();
    kov::db::pg::Session pg(*server);
    // The sessions of the fixture's settings, once the server has seen them come or go.
    auto sessions = [&](const char* expected) {
        const std::string sql =
            "SELECT count(*) FROM pg_stat_activity WHERE application_name = '" + fx->pgSchema() + "'";
        for (int i = 0; i < 50 && pg.scalar(sql) != expected; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return pg.scalar(sql);
    };
    {
        Opened run = open("SKKANRI"), names = open("SKKANRI");
        ASSERT_EQ(run.db->DAO_ReadBegin(), 0);
        ASSERT_EQ(run.tb->DAO_TableOpen("KEY = 'KANRI'", ""), 1);
        ASSERT_EQ(run.tb->DAO_RecRead(1), 0);
        const DbValue before = run.tb->TBRec("SYORID");
        pg.exec("UPDATE " + fx->pgSchema() + ".skkanri SET syorid = syorid + 1");
        ASSERT_EQ(names.tb->DAO_TableOpen("KEY = 'KANRI'", ""), 1);
        ASSERT_EQ(names.tb->DAO_RecRead(1), 0);
        EXPECT_EQ(names.tb->TBRec("SYORID"), before);
        EXPECT_EQ(sessions("1"), "1");
        run.db->DAO_ReadEnd();
        run.close();
        names.close();
    }
    EXPECT_EQ(sessions("1"), "1");
    endSessions(pg);
    ASSERT_EQ(sessions("0"), "0");
    std::this_thread::sleep_for(std::chrono::milliseconds(1100)); // idle long enough to be asked first
    {
        Opened again = open("SKKANRI");
        EXPECT_EQ(again.tb->DAO_TableOpen("KEY = 'KANRI'", ""), 1);
        again.close();
    }
    EXPECT_EQ(sessions("1"), "1");
    callEndHook();
    EXPECT_EQ(sessions("0"), "0");
}

// Statements that fail within a run, on the run's session (parsed along with a count, or
// run along with their parse), leave the run's read of several batches going.
TEST_F(TesseraPostgresql, FailuresWithinARunLeaveItsReadGoing)
{
    constexpr int kStaff = 2500;
    for (int i = 1; i <= kStaff; ++i) fx->addStaff({.syokcd = i});
    Opened o = open("SKSYOKU");
    ASSERT_EQ(o.db->DAO_ReadBegin(), 0);
    ASSERT_EQ(o.tb->DAO_TableOpen("", "SYOKCD"), kStaff);
    ASSERT_EQ(o.tb->DAO_RecRead(1), 0);
    Opened other = open("SKSYOKU");
    EXPECT_EQ(other.tb->DAO_TableGroupOpen("ZAIMU", "", "ZAIMU", "NOSUCH"), -66); // its rows fail, not its count
    EXPECT_EQ(other.tb->DAO_TableOpen("NOSUCH = 1", ""), -66);
    EXPECT_EQ(other.tb->DAO_TableOpen("SYOKCD > 0", "NOSUCH"), -66);
    ASSERT_EQ(other.tb->DAO_TableOpen("SYOKCD > 0", ""), kStaff);
    EXPECT_EQ(other.tb->DAO_RecFind(1, "SYOKCD = 'x'"), -66);
    EXPECT_EQ(other.tb->DAO_RecFind(1, "SYOKCD = 7"), 0);
    int rows = 1;
    while (o.tb->DAO_RecRead(2) == 0) ++rows;
    EXPECT_EQ(rows, kStaff);
    EXPECT_EQ(toCurrency(o.tb->TBRec("SYOKCD")).truncated(), 0); // after the last row nothing is current
    other.tb->DAO_TableClose();
    o.tb->DAO_TableClose();
    EXPECT_EQ(o.db->DAO_ReadEnd(), 0);
}

// Reads of several batches on one connection, interleaved with other reads and finds on
// it: each read gets its own rows in order (the next batch of a read is asked for ahead,
// and the results of the commands sent after it come after it).
TEST_F(TesseraPostgresql, InterleavedReadsAndFindsOnOneConnection)
{
    constexpr int kStaff = 2500;
    for (int i = 1; i <= kStaff; ++i) fx->addStaff({.syokcd = i});
    const Opened o = open("SKSYOKU");
    clsTbAccess* up = o.tb.get();
    auto down = tableOf(*o.db, "SKSYOKU"), find = tableOf(*o.db, "SKSYOKU");
    ASSERT_EQ(up->DAO_TableOpen("", "SYOKCD"), kStaff);
    ASSERT_EQ(down->DAO_TableOpen("", "SYOKCD DESC"), kStaff);
    ASSERT_EQ(find->DAO_TableOpen("", ""), kStaff);
    auto code = [](clsTbAccess& tb) { return toCurrency(tb.TBRec("SYOKCD")).truncated(); };
    ASSERT_EQ(up->DAO_RecRead(1), 0);
    ASSERT_EQ(down->DAO_RecRead(1), 0);
    int upRows = 1, downRows = 1;
    for (int i = 1; i < kStaff; ++i) {
        ASSERT_EQ(up->DAO_RecRead(2), 0);
        ++upRows;
        ASSERT_EQ(code(*up), i + 1);
        if (i % 2 == 1) {
            ASSERT_EQ(find->DAO_RecFind(1, "SYOKCD = " + std::to_string(kStaff + 1 - i)), 0);
            ASSERT_EQ(code(*find), kStaff + 1 - i);
        } else {
            ASSERT_EQ(down->DAO_RecRead(2), 0);
            ASSERT_EQ(code(*down), kStaff - downRows++);
        }
        if (i == 1000) { // back to the first row, just as the other read has asked for its next batch
            ASSERT_EQ(down->DAO_RecRead(1), 0);
            ASSERT_EQ(code(*down), kStaff);
            downRows = 1;
        }
    }
    EXPECT_EQ(up->DAO_RecRead(2), -9);
    EXPECT_EQ(upRows, kStaff);
    while (down->DAO_RecRead(2) == 0) ++downRows;
    EXPECT_EQ(downRows, kStaff);
    down->DAO_TableClose();
    find->DAO_TableClose();
    o.close();
}

// An open of few rows takes them from the round trip of its count (a count prepared then,
// or before), outside a run and in one, where a row added after the open is not among
// them; an open of kFewRows or more reads them through a cursor.
TEST_F(TesseraPostgresql, FewRowsComeWithTheirCount)
{
    const Opened o = open("SKSYOKU");
    int staff = 0;
    for (const int size : {3, 199, 200}) {
        while (staff < size) fx->addStaff({.syokcd = ++staff});
        for (const bool run : {false, true}) {
            if (run) {
                ASSERT_EQ(o.db->DAO_ReadBegin(), 0);
            }
            ASSERT_EQ(o.tb->DAO_TableOpen("", "SYOKCD"), staff);
            if (run) fx->addStaff({.syokcd = staff + 1});
            int rows = 0;
            for (int r = o.tb->DAO_RecRead(1); r == 0; r = o.tb->DAO_RecRead(2))
                ASSERT_EQ(toCurrency(o.tb->TBRec("SYOKCD")).truncated(), ++rows) << "of " << staff << ", run " << run;
            EXPECT_EQ(rows, staff) << "run " << run;
            o.tb->DAO_TableClose();
            if (run) {
                EXPECT_EQ(o.db->DAO_ReadEnd(), 0);
                ++staff;
            }
        }
    }
    o.close();
}
