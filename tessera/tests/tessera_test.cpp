// clsDbAccess and clsTbAccess on real databases: every case runs on SQLite files and
// again on the PostgreSQL test server (skipped, saying so, when there is none).
#include "common/runtimeerror.h"
#include "db/tests/fixture.h"
#include "tessera/backend.h"
#include "tessera/tessera.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <malloc.h>

#include <functional>
#include <limits>

using namespace kov::dataaccess;

namespace {

DbValue I(std::int64_t v) { return v; }
DbValue S(const char* v) { return std::string(v); }

using kov::db::Engine;

// The engine of a case, or SQLite while there is no PostgreSQL server (the case is
// skipped then, before it runs).
Engine usableEngine(Engine e) { return e == Engine::Postgresql && !kov::db::testServer() ? Engine::Sqlite : e; }

class TesseraTest : public ::testing::TestWithParam<Engine> {
protected:
    kov::db::Fixture fx{usableEngine(GetParam())};
    std::unique_ptr<clsDbAccess> db;

    bool onPostgresql() const { return GetParam() == Engine::Postgresql; }

    void SetUp() override
    {
        std::string why;
        if (onPostgresql() && !kov::db::testServer(&why)) GTEST_SKIP() << why;
        db = CreateObjectAs<clsDbAccess>(kProgIdDbAccess);
        db->setDBIniNameString("KOV.INI");
        ASSERT_EQ(db->DAO_DBOpen(), 0);
    }

    std::unique_ptr<clsTbAccess> table(const std::string& name)
    {
        auto tb = CreateObjectAs<clsTbAccess>(kProgIdTbAccess);
        tb->setTBDatabase(db->DBDatabase());
        tb->setTBNameString(name);
        return tb;
    }

    // SYOKCD values of the rows read from the current position to the end.
    static std::vector<std::int64_t> codes(clsTbAccess& tb, std::int32_t firstMode = 1)
    {
        std::vector<std::int64_t> out;
        for (std::int16_t st = tb.DAO_RecRead(firstMode); st == 0; st = tb.DAO_RecRead(2))
            out.push_back(std::get<std::int64_t>(tb.TBRec("SYOKCD")));
        return out;
    }

    void addStaff(std::int64_t code, const std::string& syozok, const std::string& name)
    {
        fx.addStaff({.syokcd = code, .syozok = syozok, .name = name});
    }
    void addStaffs(std::initializer_list<std::pair<std::int64_t, const char*>> rows)
    {
        for (const auto& [code, syozok] : rows) addStaff(code, syozok, "x");
    }

    // count rows of SKSYKEI in one statement.
    void addPayments(int count)
    {
        fx.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(count) +
                ") INSERT INTO SKSYKEI (SKYUYM, KYUSYU, SYRFLG, SYOSYU, SYOZOK, SYOKCD, KYURYO, KIMATU) "
                "SELECT 202306, 2, 1 + i % 3, 3, 'E' || (100 + i % 7), i, 200000 + i, 300000 + i FROM n");
    }
};

} // namespace

// ---- connection ----

TEST_P(TesseraTest, TheDatabaseIsOpenedReadOnly)
{
    namespace t = kov::tessera;
    fx.addSchool("E101", "城東小学校");
    t::DatabaseLocation where;
    ASSERT_EQ(t::locateDatabase(fx.dir(), "KOV.INI", where), 0) << where.detail;
    const t::EngineOpen opened = t::openEngine(where);
    ASSERT_TRUE(opened.engine) << opened.message;
    // The connection reads the table, and refuses a write to it.
    const std::string table = opened.engine->quoteTable("SKSYOZK");
    std::string error;
    auto read = opened.engine->prepare("SELECT COUNT(*) FROM " + table, &error, t::Rows::One);
    ASSERT_TRUE(read && read->step() == t::StepResult::Row) << error;
    read.reset();
    auto write = opened.engine->prepare("DELETE FROM " + table, &error, t::Rows::One);
    EXPECT_TRUE(!write || write->step() == t::StepResult::Error);
    write.reset();
    EXPECT_EQ(std::get<std::int64_t>(fx.payroll().scalar("SELECT COUNT(*) FROM SKSYOZK")), 1);
}

// ---- opening ----

TEST_P(TesseraTest, OpenReturnsTheNumberOfMatchingRowsAndNoRowIsCurrentYet)
{
    addStaffs({{10, "E101"}, {20, "E102"}, {30, "E101"}});
    auto tb = table("SKSYOKU");
    EXPECT_EQ(tb->DAO_TableOpen("SYOZOK = 'E101'", ""), 2);
    EXPECT_TRUE(isNull(tb->TBRec("SYOKCD")));
    EXPECT_EQ(codes(*tb), (std::vector<std::int64_t>{10, 30}));
}

TEST_P(TesseraTest, EmptyOrderIsTheTablesOwnOrderEvenWhenAnIndexIsUsed)
{
    for (std::int64_t c : {50, 10, 40, 20, 30}) addStaff(c, "E101", "x");
    auto tb = table("SKSYOKU");
    // The condition could be answered from the SYOKCD index, in SYOKCD order.
    EXPECT_EQ(tb->DAO_TableOpen("SYOKCD > 15", ""), 4);
    EXPECT_EQ(codes(*tb), (std::vector<std::int64_t>{50, 40, 20, 30}));
}

TEST_P(TesseraTest, OrderListSortsAndTiesKeepTheTablesOrder)
{
    fx.addPayment({.syokcd = 3, .syrflg = 2, .syozok = "E102"});
    fx.addPayment({.syokcd = 9, .syrflg = 1, .syozok = "E102"});
    fx.addPayment({.syokcd = 1, .syrflg = 1, .syozok = "E102"});
    fx.addPayment({.syokcd = 5, .syrflg = 1, .syozok = "E101"});
    auto tb = table("SKSYKEI");
    EXPECT_EQ(tb->DAO_TableOpen("SYRFLG <> 0", "SYRFLG,SYOZOK,SYOKCD"), 4);
    EXPECT_EQ(codes(*tb), (std::vector<std::int64_t>{5, 1, 9, 3}));
    tb->DAO_TableClose();
    EXPECT_EQ(tb->DAO_TableOpen("", "SYOZOK"), 4);
    EXPECT_EQ(codes(*tb), (std::vector<std::int64_t>{5, 3, 9, 1}));
}

TEST_P(TesseraTest, CountsStopAt32767ButAllRowsAreRead)
{
    addPayments(40000);
    auto tb = table("SKSYKEI");
    EXPECT_EQ(tb->DAO_TableOpen("", ""), 32767);
    EXPECT_EQ(codes(*tb).size(), 40000u);
    tb->DAO_TableClose();
    EXPECT_EQ(tb->DAO_TableOpen("SYOKCD <= 32767", ""), 32767);
    tb->DAO_TableClose();
    EXPECT_EQ(tb->DAO_TableOpen("SYOKCD <= 32766", ""), 32766);
    tb->DAO_TableClose();
    EXPECT_EQ(tb->DAO_TableGroupOpen("SYOKCD, COUNT(*) AS N", "", "SYOKCD", ""), 32767); // grouped likewise
}

TEST_P(TesseraTest, ReadingPastTheLastRowStaysAtMinus9AndReadOneStartsAgain)
{
    addStaff(1, "E101", "a");
    addStaff(2, "E101", "b");
    auto tb = table("SKSYOKU");
    ASSERT_EQ(tb->DAO_TableOpen("", ""), 2);
    EXPECT_EQ(tb->DAO_RecRead(2), 0); // "next" before the first row is the first row
    EXPECT_EQ(tb->TBRec("SYOKCD"), I(1));
    EXPECT_EQ(tb->DAO_RecRead(2), 0);
    EXPECT_EQ(tb->TBRec("SYOKCD"), I(2));
    EXPECT_EQ(tb->DAO_RecRead(2), -9);
    EXPECT_TRUE(isNull(tb->TBRec("SYOKCD")));
    EXPECT_EQ(tb->DAO_RecRead(2), -9);
    EXPECT_EQ(tb->DAO_RecRead(2), -9);
    EXPECT_EQ(tb->DAO_RecRead(1), 0);
    EXPECT_EQ(tb->TBRec("SYOKCD"), I(1));
    EXPECT_EQ(tb->DAO_RecRead(3), -24);
}

// ---- columns ----

// Column names match without regard to case; values come typed by storage, null as
// monostate; an unknown column is a run-time error naming it.
TEST_P(TesseraTest, ColumnsByNameAndTheirTypedValues)
{
    fx.addPayment({.syokcd = 7, .kyusyu = 5, .values = {{"ZEIRT2", 6.126}, {"KGOKYU", std::monostate{}}}});
    fx.exec("UPDATE SKSYKEI SET KIMATU = NULL");
    auto tb = table("SKSYKEI");
    ASSERT_EQ(tb->DAO_TableOpen("", ""), 1);
    ASSERT_EQ(tb->DAO_RecRead(1), 0);
    for (const char* name : {"Kyusyu", "kyusyu", "KYUSYU"}) EXPECT_EQ(tb->TBRec(name), I(5)) << name;
    EXPECT_EQ(tb->TBRec("SYOKCD"), I(7));
    // A REAL of SQLite comes as a real; PostgreSQL's NUMERIC as its exact decimal text.
    EXPECT_EQ(tb->TBRec("ZEIRT2"), onPostgresql() ? S("6.126") : DbValue(6.126));
    EXPECT_EQ(toCurrency(tb->TBRec("ZEIRT2")), kov::Currency::parse("6.126"));
    EXPECT_EQ(tb->TBRec("SYOZOK"), S("E101"));
    EXPECT_TRUE(isNull(tb->TBRec("KIMATU")));
    EXPECT_TRUE(isNull(tb->TBRec("KGOKYU")));
    try {
        (void)tb->TBRec("NOSUCH");
        FAIL() << "no error";
    } catch (const kov::RuntimeError& e) {
        EXPECT_EQ(e.kind(), kov::RuntimeErrorKind::InvalidArgument);
        EXPECT_NE(e.detail().find("NOSUCH"), std::string::npos);
    }
}

TEST_P(TesseraTest, TextKeepsItsBlanksAndJapaneseCharacters)
{
    fx.addSchool("E101", "  城東小学校  ");
    auto tb = table("SKSYOZK");
    ASSERT_EQ(tb->DAO_TableOpen("SYOZOK = 'E101'", ""), 1);
    ASSERT_EQ(tb->DAO_RecRead(1), 0);
    EXPECT_EQ(tb->TBRec("SZKKNJ"), S("  城東小学校  "));
}

// ---- statuses ----

// The statuses of the connection and of a table used out of turn, one script on one
// fixture: each step a call and the status it must give, or a column of the current row
// that must be null or hold a value. Rows are added where a step needs them.
TEST_P(TesseraTest, StatusesOfEveryCallUsedOutOfTurn)
{
    std::unique_ptr<clsTbAccess> tb;
    std::unique_ptr<clsDbAccess> names;
    // Each call gives its status; the checks of a column give 0 (their own failures
    // report the value), the handle 1 when there is one.
    using Call = std::function<int()>;
    const auto use = [&](std::string name) -> Call { return [&, name] { return tb = table(name), 0; }; };
    const auto unbound = [&](std::string name) -> Call {
        return [&, name] {
            tb = CreateObjectAs<clsTbAccess>(kProgIdTbAccess);
            tb->setTBNameString(name);
            return 0;
        };
    };
    const Call bind = [&] { return tb->setTBDatabase(db->DBDatabase()), 0; };
    const auto namesTable = [&](std::string name) -> Call {
        return [&, name] {
            fx.setStandardNames();
            names = CreateObjectAs<clsDbAccess>(kProgIdDbAccess);
            names->setDBIniNameString("KOVENV.INI");
            tb = CreateObjectAs<clsTbAccess>(kProgIdTbAccess);
            const int status = names->DAO_DBOpen();
            tb->setTBDatabase(names->DBDatabase());
            tb->setTBNameString(name);
            return status;
        };
    };
    const auto open = [&](std::string where = "", std::string order = "") -> Call {
        return [&, where, order] { return tb->DAO_TableOpen(where, order); };
    };
    const auto group = [&](std::string fields = "", std::string order = "") -> Call {
        return [&, fields, order] { return tb->DAO_TableGroupOpen(fields, "", "ZAIMU", order); };
    };
    const Call close = [&] { return tb->DAO_TableClose(); };
    const Call first = [&] { return tb->DAO_RecRead(1); };
    const Call next = [&] { return tb->DAO_RecRead(2); };
    const auto find = [&](std::string where, std::int32_t mode = 1) -> Call {
        return [&, where, mode] { return tb->DAO_RecFind(mode, where); };
    };
    const auto null = [&](std::string column) -> Call {
        return [&, column] {
            EXPECT_TRUE(isNull(tb->TBRec(column)));
            return 0;
        };
    };
    const auto holds = [&](std::string column, DbValue value) -> Call {
        return [&, column, value] {
            EXPECT_EQ(tb->TBRec(column), value);
            return 0;
        };
    };
    const Call dbOpen = [&] {
        if (!db) {
            db = CreateObjectAs<clsDbAccess>(kProgIdDbAccess);
            db->setDBIniNameString("KOV.INI");
        }
        return db->DAO_DBOpen();
    };
    const Call dbClose = [&] { return db->DAO_DBClose(); };
    const Call dbRelease = [&] { return db.reset(), 0; };
    const Call handle = [&] { return db->DBDatabase() != nullptr ? 1 : 0; };
    const Call iniName = [&] {
        EXPECT_EQ(db->DBIniNameString(), "KOV.INI");
        return 0;
    };
    const auto staff = [&](std::int64_t code, std::string name) -> Call {
        return [&, code, name] { return addStaff(code, "E101", name), 0; };
    };
    const auto exec = [&](std::string sql) -> Call { return [&, sql] { return fx.exec(sql), 0; }; };
    const struct {
        Call call;
        int expected = 0;
    } steps[] = {
        // The connection: opened twice -4, closed while closed -5, and opened again.
        {handle, 1},
        {dbOpen, -4},
        {dbClose},
        {handle, 0},
        {dbClose, -5},
        {dbOpen},
        {iniName},
        // SQL errors -66; nothing was opened -7.
        {use("SKSYKEI")},
        {open("NOSUCH = 1"), -66},
        {open("KYUSYU = = 2"), -66},
        {open("", "NOSUCH"), -66},
        {close, -7},
        // A missing table or name -2.
        {use("NOSUCH")},
        {open(), -2},
        {use("")},
        {open(), -2},
        {use("SKSYOZK; DROP TABLE SKSYOKU")},
        {open(), -2},
        // Opened twice -6; a closed table -7 for everything and no row current.
        {use("SKSYOKU")},
        {open()},
        {open(), -6},
        {close},
        {close, -7},
        {first, -7},
        {find("SYOKCD = 1"), -7},
        {null("SYOKCD")},
        {null("NOSUCH")},
        // No database handle -5: none given, or that of a closed connection.
        {unbound("SKSYOKU")},
        {open(), -5},
        {dbClose},
        {bind},
        {open(), -5},
        {dbOpen},
        // No matching row: the open gives 0 and reads -9.
        {staff(10, "一")},
        {use("SKSYOKU")},
        {open("SYOKCD = 99")},
        {first, -9},
        {next, -9},
        {null("SYOKCD")},
        {close},
        {exec("DELETE FROM SKSYOKU")},
        // Tables outlive the released connection object (released without closing, as a
        // screen's unload step does).
        {staff(1, "a")},
        {use("SKSYOKU")},
        {open(), 1},
        {dbRelease},
        {first},
        {holds("SYOKCD", I(1))},
        {dbOpen},
        // A find that matches nothing -8 leaves no row current; the table stays usable.
        {use("SKSYOKU")},
        {open(), 1},
        {find("SYOKCD = 1")},
        {find("SYOKCD = 2"), -8},
        {null("SIMKNJ")},
        {find("SYOKCD = 1")},
        {holds("SIMKNJ", S("a"))},
        // Find modes other than 1 -24, bad conditions -66.
        {find("SYOKCD = 1", 2), -24},
        {find("SYOKCD = 1", 0), -24},
        {find("NOSUCH = 1"), -66},
        {find("SYOKCD = 'open"), -66},
        {find("SYOKCD = 1")},
        // Reads through a table whose database was closed fail safely.
        {staff(2, "b")},
        {use("SKSYOKU")},
        {open(), 2},
        {first},
        {dbClose},
        {null("SYOKCD")},
        {next, -5},
        {find("SYOKCD = 2"), -5},
        {close},
        {dbOpen},
        // A grouped open without a select list -24, bad SQL -66 (grouped by ZAIMU).
        {use("SKSUMI")},
        {group(), -24},
        {group("SUM(NOSUCH)"), -66},
        {group("ZAIMU", "NOSUCH"), -66},
        {group("ZAIMU")},
        // Non-ASCII and odd table names are quoted.
        {exec("CREATE TABLE \"職員\"\"一覧\" (A INTEGER); INSERT INTO \"職員\"\"一覧\" VALUES (42);")},
        {use("職員\"一覧")},
        {open(), 1},
        {first},
        {holds("a", I(42))},
        {namesTable("名設定")},
        {open(), 1},
    };
    int n = 0;
    for (const auto& step : steps) {
        SCOPED_TRACE("step " + std::to_string(++n));
        EXPECT_EQ(step.call(), step.expected);
    }
}

// ---- finds ----

TEST_P(TesseraTest, FindMakesTheFirstMatchingRowCurrent)
{
    fx.setKanri(202306, 2023);
    auto tb = table("SKKANRI");
    ASSERT_EQ(tb->DAO_TableOpen("KEY = 'KANRI'", ""), 1);
    EXPECT_EQ(tb->DAO_RecFind(1, "KEY = 'KANRI'"), 0);
    EXPECT_EQ(tb->TBRec("SYORID"), I(202306));
    EXPECT_EQ(tb->TBRec("Key"), S("KANRI"));
    EXPECT_EQ(tb->DAO_RecFind(1, "KEY='KANRI'"), 0);
    EXPECT_EQ(tb->TBRec("NENDO"), I(2023));
}

TEST_P(TesseraTest, FindKeepsTheOpensConditionAndOrder)
{
    addStaffs({{1, "E101"}, {2, "E102"}, {3, "E102"}});
    auto tb = table("SKSYOKU");
    ASSERT_EQ(tb->DAO_TableOpen("SYOZOK = 'E102'", "SYOKCD DESC"), 2);
    EXPECT_EQ(tb->DAO_RecFind(1, "SYOKCD = 1"), -8); // outside the open's rows
    EXPECT_EQ(tb->DAO_RecFind(1, "SYOKCD >= 1"), 0);
    EXPECT_EQ(tb->TBRec("SYOKCD"), I(3)); // first in the open's order
    EXPECT_EQ(tb->DAO_RecFind(1, ""), 0);
    EXPECT_EQ(tb->TBRec("SYOKCD"), I(3));
}

TEST_P(TesseraTest, FindsWithTextsQuotesAndJapanese)
{
    fx.addSchool("E101", "城東小学校");
    fx.addSchool("E102", "O'Hara学園");
    auto tb = table("SKSYOZK");
    ASSERT_EQ(tb->DAO_TableOpen("", ""), 2);
    EXPECT_EQ(tb->DAO_RecFind(1, "SYOZOK = 'E102'"), 0);
    EXPECT_EQ(tb->TBRec("SZKKNJ"), S("O'Hara学園"));
    EXPECT_EQ(tb->DAO_RecFind(1, "SZKKNJ = '城東小学校'"), 0);
    EXPECT_EQ(tb->TBRec("SYOZOK"), S("E101"));
    EXPECT_EQ(tb->DAO_RecFind(1, "SZKKNJ = 'O''Hara学園'"), 0);
    EXPECT_EQ(tb->TBRec("SYOZOK"), S("E102"));
    EXPECT_EQ(tb->DAO_RecFind(1, "SYOZOK = 'E103'"), -8);
}

TEST_P(TesseraTest, ReadingOnAfterAFindContinuesAfterTheFoundRow)
{
    for (std::int64_t c : {5, 1, 4, 2, 3}) addStaff(c, "E101", "x");
    auto tb = table("SKSYOKU");
    ASSERT_EQ(tb->DAO_TableOpen("", "SYOKCD"), 5);
    ASSERT_EQ(tb->DAO_RecFind(1, "SYOKCD = 3"), 0);
    EXPECT_EQ(codes(*tb, 2), (std::vector<std::int64_t>{4, 5}));
    ASSERT_EQ(tb->DAO_RecFind(1, "SYOKCD = 5"), 0);
    EXPECT_EQ(tb->DAO_RecRead(2), -9);
}

TEST_P(TesseraTest, AWholeTableStreamsInItsOwnOrderAndReadingGoesOnAfterAFindInIt)
{
    // More rows than a small result (which an engine may read whole), codes out of order.
    fx.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300) "
            "INSERT INTO SKSYOKU (SYOKCD, SYOZOK, SIMKNJ) SELECT i * 37 % 307, 'E101', 'x' FROM n");
    std::vector<std::int64_t> order;
    for (int i = 1; i <= 300; ++i) order.push_back(i * 37 % 307);
    auto tb = table("SKSYOKU");
    ASSERT_EQ(tb->DAO_TableOpen("", ""), 300);
    EXPECT_EQ(codes(*tb), order);
    ASSERT_EQ(tb->DAO_RecFind(1, "SYOKCD = " + std::to_string(order[149])), 0);
    EXPECT_EQ(codes(*tb, 2), std::vector<std::int64_t>(order.begin() + 150, order.end()));
}

// Within a run the finds of a declared lookup are served from the open's rows read once:
// the same rows as the single find, outside a run, within one and past the memory bound.
TEST_P(TesseraTest, FindsWithinARunGiveTheRowsOfTheSingleFind)
{
    fx.exec("PRAGMA journal_mode = WAL"); // SQLite: a writer commits while a run reads
    for (std::int64_t c = 1; c <= 9; ++c)
        fx.addStaff({.syokcd = c,
                     .syozok = c % 2 ? "E101" : "E102",
                     .name = "職員" + std::to_string(c),
                     .kana = "ｼｮｸｲﾝ" + std::to_string(c)});
    struct Step {
        const char* find; // nullptr: the next row
        std::int16_t status;
        const char* column;
        DbValue expected;
    };
    const Step steps[] = {
        {"SYOKCD = 1", 0, "SIMKNJ", S("職員1")},
        {"SYOKCD = 2", 0, "SIMKNJ", S("職員2")},
        {"SYOKCD = 3", 0, "SIMKNJ", S("職員3")},
        {"SYOKCD = 8", 0, "SIMKNJ", S("職員8")}, // from the rows in a run
        {"SYOKCD = 99", -8, "SIMKNJ", DbValue{}},
        {"syokcd = 5", 0, "SIMKNA", S("ｼｮｸｲﾝ5")},
        {"SYOKCD = 6", 0, "SIMKNA", S("ｼｮｸｲﾝ6")},
        {nullptr, 0, "SYOKCD", I(7)}, // the read goes on after the found row
        {"SYOKCD = '4'", 0, "SIMKNJ", S("職員4")}, // a text against numbers: the engine's rule
        {"SYOKCD = 2 OR SYOKCD = 3", 0, "SIMKNJ", S("職員2")},
        {"SYOZOK = 'E102' AND ZAIMU = 1", 0, "SYOKCD", I(2)},
        {"SYOZOK = 'E101' AND ZAIMU = 1", 0, "SYOKCD", I(1)},
        {"SYOZOK = 'E102' AND ZAIMU = 1", 0, "SYOKCD", I(2)},
        {"SYOZOK = 'E101' AND ZAIMU = 1", 0, "SYOKCD", I(1)}, // the first of the open's order
        {"SYOZOK = 'E103' AND ZAIMU = 1", -8, "SYOKCD", DbValue{}},
        {"SYOKCD = 9", 0, "SIMKNJ", S("職員9")},
        {nullptr, -9, "SYOKCD", DbValue{}},
    };
    enum Mode { Outside, Run, PastTheBound };
    for (const Mode mode : {Outside, Run, PastTheBound}) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        kov::tessera::setFindRowsLimit(mode == PastTheBound ? 100 : kov::tessera::kFindRowsLimit);
        auto tb = table("SKSYOKU");
        ASSERT_EQ(tb->DAO_TableOpen("SYOKCD > 0", "SYOKCD"), 9);
        tb->declareLookup("SYOKCD", {"SIMKNJ", "SIMKNA"});
        if (mode != Outside) {
            ASSERT_EQ(db->DAO_ReadBegin(), 0);
        }
        int n = 0;
        for (const Step& step : steps) {
            SCOPED_TRACE("step " + std::to_string(++n));
            EXPECT_EQ(step.find ? tb->DAO_RecFind(1, step.find) : tb->DAO_RecRead(2), step.status);
            EXPECT_EQ(tb->TBRec(step.column), step.expected);
        }
        if (mode == Run) { // a commit meanwhile is seen after the run
            fx.exec("UPDATE SKSYOKU SET SIMKNJ = '新職員8' WHERE SYOKCD = 8");
            fx.syncEngine();
            ASSERT_EQ(tb->DAO_RecFind(1, "SYOKCD = 8"), 0);
            EXPECT_EQ(tb->TBRec("SIMKNJ"), S("職員8"));
            ASSERT_EQ(db->DAO_ReadEnd(), 0);
            ASSERT_EQ(tb->DAO_RecFind(1, "SYOKCD = 8"), 0);
            EXPECT_EQ(tb->TBRec("SIMKNJ"), S("新職員8"));
            fx.exec("UPDATE SKSYOKU SET SIMKNJ = '職員8' WHERE SYOKCD = 8");
        }
        if (mode == PastTheBound) {
            EXPECT_EQ(db->DAO_ReadEnd(), 0);
        }
    }
    kov::tessera::setFindRowsLimit(kov::tessera::kFindRowsLimit);
}

// Their speed is a figure of tessera_bench (BM_FindStaff).
TEST_P(TesseraTest, ManyFindsOnAMasterAreFast)
{
    fx.exec("BEGIN");
    for (int i = 1; i <= 20000; ++i) addStaff(i, "E101", "職員" + std::to_string(i));
    fx.exec("COMMIT");
    auto tb = table("SKSYOKU");
    ASSERT_EQ(tb->DAO_TableOpen("", ""), 20000);
    for (int i = 1; i <= 20000; i += 1) {
        ASSERT_EQ(tb->DAO_RecFind(1, "SYOKCD = " + std::to_string(i)), 0);
        ASSERT_EQ(tb->TBRec("SIMKNJ"), S(("職員" + std::to_string(i)).c_str()));
    }
}

// ---- grouped queries ----

TEST_P(TesseraTest, GroupOpenSumsPerGroupInTheGivenOrder)
{
    fx.addSumi({.zaimu = 2, .syochu = 4, .sharym = 202304, .values = {{"KYUYO", 100}}});
    fx.addSumi({.zaimu = 1, .syochu = 5, .sharym = 202304, .values = {{"KYUYO", 10}}});
    fx.addSumi({.zaimu = 1, .syochu = 5, .sharym = 202304, .values = {{"KYUYO", 20}}});
    fx.addSumi({.zaimu = 1, .syochu = 4, .sharym = 202305, .values = {{"KYUYO", 7}}});
    fx.addSumi({.nendo = 2022, .zaimu = 1, .syochu = 4, .sharym = 202305, .values = {{"KYUYO", 1000}}});
    auto tb = table("SKSUMI");
    ASSERT_EQ(tb->DAO_TableGroupOpen("SHARYM AS GSHARYM,SYOCHU AS GSYOCHU,ZAIMU AS GZAIMU,SUM(KYUYO) AS GKYUYO,"
                                     "SUM(KYUYO + NINZU) AS GTOTAL",
                                     "NENDO = 2023", "ZAIMU,SYOCHU,SHARYM", "ZAIMU,SYOCHU,SHARYM"),
              3);
    std::vector<std::string> rows;
    for (std::int16_t st = tb->DAO_RecRead(1); st == 0; st = tb->DAO_RecRead(2))
        rows.push_back(toText(tb->TBRec("GZAIMU")) + "/" + toText(tb->TBRec("gsyochu")) + "/" +
                       toText(tb->TBRec("GSHARYM")) + "=" + toText(tb->TBRec("GKYUYO")) + "," +
                       toText(tb->TBRec("GTOTAL")));
    EXPECT_EQ(rows, (std::vector<std::string>{"1/4/202305=7,8", "1/5/202304=30,32", "2/4/202304=100,101"}));
    EXPECT_EQ(tb->DAO_RecFind(1, "GZAIMU = 1 AND GSYOCHU = 5"), 0);
    EXPECT_EQ(tb->TBRec("GKYUYO"), I(30));
    EXPECT_EQ(tb->DAO_RecRead(2), 0);
    EXPECT_EQ(tb->TBRec("GKYUYO"), I(100));
}

// A sum over numbers is the engine's own, to the bit; over a value that is no number it
// is that value (the first one met), not 0 or its leading digits.
TEST_P(TesseraTest, GroupSumsAreTheEnginesOwnAndATextIsGivenAsItIs)
{
    if (onPostgresql()) GTEST_SKIP() << "the server's number columns hold numbers only";
    constexpr std::int64_t kBig = std::numeric_limits<std::int64_t>::max();
    // Two values a group, or sums that do not depend on the order in which they are met.
    const std::vector<std::vector<DbValue>> groups = {
        {I(1), I(2), I(-3)}, {I(1), 2.5}, {0.1, 0.2},          {I(kBig), 0.5},
        {DbValue{}, I(5)},   {DbValue{}}, {I(5), S("12,345")}, {S(""), I(1), 0.5},
    };
    const std::vector<DbValue> texts = {S("12,345"), S("")}; // what the last two give
    for (std::size_t g = 0; g < groups.size(); ++g)
        for (const DbValue& v : groups[g])
            fx.addSumi({.zaimu = static_cast<std::int64_t>(g), .values = {{"KYUYO", v}}});
    auto tb = table("SKSUMI");
    ASSERT_EQ(tb->DAO_TableGroupOpen("ZAIMU AS G,SUM(KYUYO) AS S", "", "ZAIMU", "ZAIMU"), 8);
    std::size_t g = 0;
    for (std::int16_t st = tb->DAO_RecRead(1); st == 0; st = tb->DAO_RecRead(2), ++g) {
        const DbValue own = fx.payroll().scalar("SELECT SUM(KYUYO) FROM SKSUMI WHERE ZAIMU = " + std::to_string(g));
        EXPECT_EQ(tb->TBRec("S"), g < 6 ? own : texts[g - 6]) << "group " << g;
    }
    EXPECT_EQ(g, groups.size());
}

// ---- memory ----

TEST_P(TesseraTest, ReadingAHundredThousandRowsStreams)
{
    addPayments(100000);
    fx.syncEngine();
    sqlite3_int64 baseline = sqlite3_memory_used();
    sqlite3_memory_highwater(1);
    // The client's heap in use (PostgreSQL holds one batch of rows at a time).
    const std::size_t heapBefore = mallinfo2().uordblks;
    std::size_t heapPeak = heapBefore;
    auto tb = table("SKSYKEI");
    ASSERT_EQ(tb->DAO_TableOpen("KYUSYU = 2", "SYRFLG,SYOZOK,SYOKCD"), 32767);
    std::int64_t sum = 0, n = 0;
    for (std::int16_t st = tb->DAO_RecRead(1); st == 0; st = tb->DAO_RecRead(2)) {
        sum += std::get<std::int64_t>(tb->TBRec("KYURYO"));
        if (++n % 500 == 0) heapPeak = std::max(heapPeak, mallinfo2().uordblks);
    }
    EXPECT_EQ(n, 100000);
    EXPECT_GT(sum, 0);
    // The page cache (about 2 MB) and the sorter, not the 100,000 rows of about
    // 60 columns each (tens of megabytes when held in memory).
    if (!onPostgresql()) EXPECT_LT(sqlite3_memory_highwater(0) - baseline, 12 * 1024 * 1024);
    else EXPECT_LT(heapPeak - heapBefore, 4u * 1024 * 1024);
}

// ---- locks ----

TEST_P(TesseraTest, AFoundRowAndAFinishedReadHoldNoLockOnTheDatabase)
{
    if (onPostgresql()) GTEST_SKIP() << "SQLite's file locks; PostgreSQL readers take no lock that blocks a writer";
    fx.setKanri(202306, 2023);
    addStaff(1, "E101", "a");
    auto kanri = table("SKKANRI");
    ASSERT_EQ(kanri->DAO_TableOpen("KEY = 'KANRI'", ""), 1);
    ASSERT_EQ(kanri->DAO_RecFind(1, "KEY = 'KANRI'"), 0);
    auto staff = table("SKSYOKU");
    ASSERT_EQ(staff->DAO_TableOpen("", ""), 1);
    ASSERT_EQ(staff->DAO_RecRead(1), 0);
    ASSERT_EQ(staff->DAO_RecRead(2), -9);
    // Another program may write while the management record stays current.
    EXPECT_NO_THROW(fx.exec("UPDATE SKKANRI SET SYORID = 202312"));
    EXPECT_EQ(kanri->TBRec("SYORID"), I(202306)); // the row as it was found
    ASSERT_EQ(kanri->DAO_RecFind(1, "KEY = 'KANRI'"), 0);
    EXPECT_EQ(kanri->TBRec("SYORID"), I(202312));
}

INSTANTIATE_TEST_SUITE_P(Engines, TesseraTest, ::testing::Values(Engine::Sqlite, Engine::Postgresql),
                         [](const auto& testInfo) { return std::string(kov::db::engineName(testInfo.param)); });
