#pragma once
// A complete, real database setup in a temporary folder for tests:
//
//   kov::db::Fixture fx;                      // folder with KOV.INI, KOVENV.INI, kov.db, kovenv.db
//   fx.setKanri(202306, 2023);                // SKKANRI record KEY = 'KANRI'
//   fx.addSchool("E101", "城東小学校");
//   fx.setBlock(1, 101, 103, 3, 2);           // SKBLOCK slot 01 (first, last, count, pay kind)
//   fx.addStaff({.syokcd = 1001, .name = "山田　太郎"});
//   fx.addPayment({.syokcd = 1001, .values = {{"KYURYO", 300000}, {"KIMATU", 450000}}});
//   fx.setStandardNames();                    // the single row of 名設定
//   fx.exec("UPDATE SKSYKEI SET SYRFLG = 2"); // anything else in SQL
//
// While the fixture lives, KOV_INI_DIR names its folder (the earlier value comes back
// afterwards) and the data-access component "Tessera" is registered, so that
// CreateObject("Tessera.clsDbAccess") + DAO_DBOpen on "KOV.INI" opens kov.db.
// The folder and everything in it are removed when the fixture ends.
//
// The fixture keeps its own read-write connections open; the programs' read-only
// connections see every committed change at once (outside a run's reads, see
// afterRowRead).
//
// Engines: the rows are always written to the SQLite files. A fixture on PostgreSQL
// (Engine::Postgresql, or KOV_TEST_ENGINE=postgresql in the environment for the
// default) has a schema of its own on the test server (tests/pgserver.sh, started by
// ctest), its settings files name that schema, and every DAO_DBOpen after a change
// first copies both SQLite databases into it: the same test reads the same rows
// through either engine.
#include "db/kovdb.h"
#include "tests/support/files.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace kov::db {

namespace pg {
class Session;
}

enum class Engine { Sqlite, Postgresql };

// KOV_TEST_ENGINE=postgresql gives Postgresql; otherwise Sqlite.
Engine engineFromEnvironment();
const char* engineName(Engine engine);

// The connection string of the test run's PostgreSQL server (the file that
// KOV_TEST_PG_SERVER names); nullopt, with the reason in *why, when there is none.
std::optional<std::string> testServer(std::string* why = nullptr);

struct Staff {
    std::int64_t syokcd = 1;
    std::int64_t syosyu = 3; // job kind 1-10; 5 and 6 are daily-paid
    std::string syozok = "E101";
    std::string name = "山田　太郎"; // SIMKNJ
    std::string kana = "ﾔﾏﾀﾞ ﾀﾛｳ"; // SIMKNA
    std::int64_t zaimu = 1;
    std::string kgokyu = "2";
    std::int64_t kgogho = 25;
    Row values{}; // any further or overriding columns
};

struct Payment {
    std::int64_t syokcd = 1;
    std::int64_t skyuym = 202306;
    std::int64_t kyusyu = 2; // 2 or 5 (term-end allowance), 3 (differential)
    std::int64_t syrflg = 1; // block 1-45, 0 = none
    std::int64_t syosyu = 3;
    std::string syozok = "E101";
    std::string kgokyu = "2";
    std::int64_t kgogho = 25;
    // Any other column (amounts, rates, periods). Numeric columns not named here are 0.
    Row values{};
};

struct Sumi {
    std::int64_t nendo = 2023;
    std::int64_t zaimu = 1;
    std::int64_t syochu = 4; // 4 elementary, 5 junior high
    std::int64_t sharym = 202304;
    std::int64_t ninzu = 1;
    // Amount columns by name; those not named are 0.
    Row values{};
};

class Fixture {
public:
    // Creates the folder and both databases with empty tables. On PostgreSQL without a
    // test server it throws std::runtime_error (tests skip before, see testServer).
    explicit Fixture(Engine engine = engineFromEnvironment());
    ~Fixture();
    Fixture(const Fixture&) = delete;
    Fixture& operator=(const Fixture&) = delete;

    const std::string& dir() const { return m_dir; }
    Engine engine() const { return m_engine; }
    // PostgreSQL: the fixture's schema, which is also the application_name of the
    // component's sessions on it.
    const std::string& pgSchema() const { return m_schema; }
    // PostgreSQL: copies the SQLite databases into the fixture's schema when they have
    // changed since the last copy (done by every DAO_DBOpen; nothing on SQLite).
    void syncEngine();
    // Path of a file in the fixture's folder.
    std::string path(const std::string& fileName) const;

    Connection& payroll() { return m_payroll; }
    Connection& names() { return m_names; }
    void exec(std::string_view sql) { m_payroll.exec(sql); }
    void execNames(std::string_view sql) { m_names.exec(sql); }
    std::int64_t insert(std::string_view table, const Row& row) { return insertRow(m_payroll, table, row); }

    // SKKANRI: inserts or updates the record KEY = 'KANRI'.
    void setKanri(std::int64_t syorid = 202306, std::int64_t nendo = 2023, const Row& values = {});
    // SKSYOZK.
    void addSchool(const std::string& syozok, const std::string& name);
    // SKBLOCK record KEY = 'BLOCK' (created with every slot 0 the first time): slot 1-45.
    void setBlock(int slot, std::int64_t firstCode, std::int64_t lastCode, std::int64_t count, std::int64_t kyusyu);
    // SKSYOKU; returns the rowid.
    std::int64_t addStaff(const Staff& staff);
    // SKSYKEI; numeric columns not given are 0; returns the rowid.
    std::int64_t addPayment(const Payment& payment);
    // A staff member named `name` (code, job kind and affiliation as the payment's, the
    // rest as Staff's defaults) and the payment record.
    void addPaidStaff(const std::string& name, const Payment& payment);
    // SKSUMI; amounts not given are 0.
    std::int64_t addSumi(const Sumi& sumi);

    // The single row of 名設定: replaced by standardNames(), or by exactly `row`.
    void setStandardNames();
    void setNames(const Row& row);
    // Sets one column of the name row (created empty first when there is none).
    void setName(const std::string& column, const Value& value);

    // Writes a settings file into the folder (e.g. to point KOV.INI elsewhere).
    void writeSettings(const std::string& iniName, const std::string& content);

    // Called with the table's name after each row that a table object of the component
    // reads (a DAO_RecRead that makes a row current): a test commits from the fixture's
    // connections there, in the middle of a run (then syncEngine, on PostgreSQL).
    std::function<void(const std::string& table)> afterRowRead;

private:
    std::int64_t insertZeroFilled(std::string_view table, const Row& given);

    std::int64_t changeCount();

    test::TempDir m_tmp{"kovfx"}; // removed last, after the connections closed
    std::string m_dir;
    std::optional<std::string> m_oldIniDir;
    Engine m_engine;
    Connection m_payroll;
    Connection m_names;
    std::string m_schema; // PostgreSQL: the fixture's schema
    std::optional<std::string> m_desks; // PostgreSQL: the connection string of the programs' settings files
    std::unique_ptr<pg::Session> m_pg; // PostgreSQL: the session that writes it
    std::int64_t m_syncedChanges = -1;
};

} // namespace kov::db
