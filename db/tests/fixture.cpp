#include "db/tests/fixture.h"

#include "common/sqltext.h"
#include "db/postgresql.h"
#include "tessera/tessera.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace kov::db {

namespace fs = std::filesystem;

namespace {
// The connection object that the fixture registers: Tessera's, after a copy of the
// fixture's rows into PostgreSQL (on that engine) when the fixture reads through it.
class SyncingDbAccess final : public kov::dataaccess::clsDbAccess {
public:
    SyncingDbAccess(std::unique_ptr<kov::dataaccess::clsDbAccess> inner, Fixture& fx)
        : m_inner(std::move(inner)), m_fx(fx)
    {
    }
    void setDBIniNameString(const std::string& iniName) override { m_inner->setDBIniNameString(iniName); }
    std::string DBIniNameString() const override { return m_inner->DBIniNameString(); }
    std::int16_t DAO_DBOpen() override
    {
        m_fx.syncEngine();
        return m_inner->DAO_DBOpen();
    }
    kov::dataaccess::DbHandlePtr DBDatabase() const override { return m_inner->DBDatabase(); }
    std::int16_t DAO_DBClose() override { return m_inner->DAO_DBClose(); }
    std::int16_t DAO_ReadBegin() override { return m_inner->DAO_ReadBegin(); }
    std::int16_t DAO_ReadEnd() override { return m_inner->DAO_ReadEnd(); }
    std::string failureDetail(std::int16_t status) const override { return m_inner->failureDetail(status); }

private:
    std::unique_ptr<kov::dataaccess::clsDbAccess> m_inner;
    Fixture& m_fx;
};

// The table object that the fixture registers: Tessera's, after the same copy when it
// opens or finds (a test may add rows after the connection was opened).
class SyncingTbAccess final : public kov::dataaccess::clsTbAccess {
public:
    SyncingTbAccess(std::unique_ptr<kov::dataaccess::clsTbAccess> inner, Fixture& fx)
        : m_inner(std::move(inner)), m_fx(fx)
    {
    }
    void setTBDatabase(kov::dataaccess::DbHandlePtr db) override { m_inner->setTBDatabase(std::move(db)); }
    kov::dataaccess::DbHandlePtr TBDatabase() const override { return m_inner->TBDatabase(); }
    void setTBNameString(const std::string& name) override { m_inner->setTBNameString(name); }
    std::string TBNameString() const override { return m_inner->TBNameString(); }
    std::string failureDetail(std::int16_t status) const override { return m_inner->failureDetail(status); }
    std::int16_t DAO_TableOpen(const std::string& criteria, const std::string& order) override
    {
        m_fx.syncEngine();
        return m_inner->DAO_TableOpen(criteria, order);
    }
    std::int16_t DAO_TableGroupOpen(const std::string& select, const std::string& criteria, const std::string& grouping,
                                    const std::string& order) override
    {
        m_fx.syncEngine();
        return m_inner->DAO_TableGroupOpen(select, criteria, grouping, order);
    }
    std::int16_t DAO_RecFind(std::int32_t mode, const std::string& criteria) override
    {
        return m_inner->DAO_RecFind(mode, criteria);
    }
    void declareLookup(const std::string& key, const std::vector<std::string>& columns) override
    {
        m_inner->declareLookup(key, columns);
    }
    std::int16_t DAO_RecRead(std::int32_t mode) override
    {
        const std::int16_t st = m_inner->DAO_RecRead(mode);
        if (st == 0 && m_fx.afterRowRead) m_fx.afterRowRead(m_inner->TBNameString());
        return st;
    }
    kov::dataaccess::DbValue TBRec(const std::string& column) const override { return m_inner->TBRec(column); }
    std::int16_t DAO_TableClose() override { return m_inner->DAO_TableClose(); }

private:
    std::unique_ptr<kov::dataaccess::clsTbAccess> m_inner;
    Fixture& m_fx;
};

// A test program run with KOV_TEST_ENGINE=postgresql and no server skips every test,
// saying why.
class EngineEnvironment final : public ::testing::Environment {
public:
    void SetUp() override
    {
        std::string why;
        if (engineFromEnvironment() == Engine::Postgresql && !testServer(&why)) GTEST_SKIP() << why;
    }
};
const auto* const kEngineEnvironment = ::testing::AddGlobalTestEnvironment(new EngineEnvironment);

bool hasColumn(const Row& row, const std::string& name)
{
    return std::any_of(row.begin(), row.end(),
                       [&](const auto& p) { return sqlite3_stricmp(p.first.c_str(), name.c_str()) == 0; });
}
} // namespace

Engine engineFromEnvironment()
{
    const char* e = std::getenv("KOV_TEST_ENGINE");
    return e && std::string_view(e) == "postgresql" ? Engine::Postgresql : Engine::Sqlite;
}

const char* engineName(Engine engine) { return engine == Engine::Postgresql ? "postgresql" : "sqlite"; }

namespace {

// The connection string of a state file of tests/pgserver.sh or tests/pooler.sh that the
// environment variable `variable` names.
std::optional<std::string> stateConnection(const char* variable, std::string* why)
{
    const char* file = std::getenv(variable);
    std::string reason = "PostgreSQL tests skipped: no test server (run them through ctest, which starts one)";
    if (file) {
        std::ifstream in(file);
        std::string status, rest;
        if (in >> status && std::getline(in, rest)) {
            while (!rest.empty() && rest.front() == ' ') rest.erase(0, 1);
            if (status == "ok") return rest;
            reason = "PostgreSQL tests skipped: " + rest;
        }
    }
    if (why) *why = reason;
    return std::nullopt;
}

// What the programs' settings files name: the pooler in front of the test server when
// KOV_TEST_PG_DESKS is set, else the server.
std::optional<std::string> desksConnection(std::string* why)
{
    if (std::getenv("KOV_TEST_PG_DESKS")) return stateConnection("KOV_TEST_PG_DESKS", why);
    return testServer(why);
}

} // namespace

std::optional<std::string> testServer(std::string* why) { return stateConnection("KOV_TEST_PG_SERVER", why); }

Fixture::Fixture(Engine engine) : m_dir(m_tmp.str()), m_engine(engine)
{
    if (m_engine == Engine::Postgresql) {
        std::string why;
        const std::optional<std::string> server = testServer(&why);
        if (!server) throw std::runtime_error(why);
        m_desks = desksConnection(&why);
        if (!m_desks) throw std::runtime_error(why);
        static int counter = 0;
        m_schema = "fx_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
        m_pg = std::make_unique<pg::Session>(*server);
        m_pg->exec("DROP SCHEMA IF EXISTS " + m_schema + " CASCADE; CREATE SCHEMA " + m_schema);
    }
    createStandardLayout(m_dir);
    if (m_engine == Engine::Postgresql) {
        const std::string ini = "[Database]\r\nEngine=postgresql\r\nConnection=" + *m_desks +
                                " application_name=" + m_schema + " options='-c search_path=" + m_schema + "'\r\n";
        writeSettings(kPayrollIni, ini);
        writeSettings(kNamesIni, ini);
    }
    m_payroll = Connection(path(kPayrollDbFile), Connection::Mode::ReadWrite);
    m_names = Connection(path(kNamesDbFile), Connection::Mode::ReadWrite);
    // Test data need not survive a power cut; without syncs a fixture is built in
    // milliseconds.
    m_payroll.exec("PRAGMA synchronous = OFF");
    m_names.exec("PRAGMA synchronous = OFF");
    if (const char* old = std::getenv("KOV_INI_DIR")) m_oldIniDir = old;
    setenv("KOV_INI_DIR", m_dir.c_str(), 1);
    kov::tessera::registerComponent(m_dir);
    {
        const std::string dir = m_dir;
        kov::dataaccess::RegisterClass(kov::dataaccess::kProgIdDbAccess, [this, dir] {
            return std::make_unique<SyncingDbAccess>(kov::tessera::makeDbAccess(dir), *this);
        });
        kov::dataaccess::RegisterClass(kov::dataaccess::kProgIdTbAccess, [this] {
            return std::make_unique<SyncingTbAccess>(kov::tessera::makeTbAccess(), *this);
        });
    }
}

std::int64_t Fixture::changeCount()
{
    auto version = [](Connection& c) { return std::get<std::int64_t>(c.scalar("PRAGMA schema_version")); };
    return sqlite3_total_changes64(m_payroll.handle()) + sqlite3_total_changes64(m_names.handle()) +
           version(m_payroll) + version(m_names);
}

void Fixture::syncEngine()
{
    if (m_engine != Engine::Postgresql) return;
    const std::int64_t changes = changeCount();
    if (changes == m_syncedChanges) return;
    m_pg->exec("SET search_path = " + m_schema);
    pg::copyDatabase(m_payroll, *m_pg, pg::CopyMode::Refresh);
    pg::copyDatabase(m_names, *m_pg, pg::CopyMode::Refresh);
    m_syncedChanges = changes;
}

Fixture::~Fixture()
{
    kov::tessera::registerComponent(m_dir); // no object may reach this fixture any more
    if (m_engine == Engine::Postgresql) {
        try {
            m_pg->exec("DROP SCHEMA IF EXISTS " + m_schema + " CASCADE");
        } catch (const std::exception&) {
        }
    }
    m_payroll.close();
    m_names.close();
    if (m_oldIniDir) setenv("KOV_INI_DIR", m_oldIniDir->c_str(), 1);
    else unsetenv("KOV_INI_DIR");
}

std::string Fixture::path(const std::string& fileName) const { return (fs::path(m_dir) / fileName).string(); }

void Fixture::setKanri(std::int64_t syorid, std::int64_t nendo, const Row& values)
{
    exec("DELETE FROM SKKANRI WHERE KEY = 'KANRI'");
    Row row{{"KEY", "KANRI"}, {"NENDO", nendo}, {"SYORID", syorid}};
    row.insert(row.end(), values.begin(), values.end());
    insertZeroFilled("SKKANRI", row);
}

void Fixture::addSchool(const std::string& syozok, const std::string& name)
{
    insert("SKSYOZK", {{"SYOZOK", syozok}, {"SZKKNJ", name}});
}

void Fixture::setBlock(int slot, std::int64_t firstCode, std::int64_t lastCode, std::int64_t count, std::int64_t kyusyu)
{
    if (slot < 1 || slot > 45) throw std::invalid_argument("block slot must be 1 to 45");
    if (std::get<std::int64_t>(m_payroll.scalar("SELECT COUNT(*) FROM SKBLOCK WHERE KEY = 'BLOCK'")) == 0)
        insertZeroFilled("SKBLOCK", {{"KEY", "BLOCK"}});
    char nn[3];
    std::snprintf(nn, sizeof nn, "%02d", slot);
    const std::string s(nn);
    Statement st = m_payroll.prepare("UPDATE SKBLOCK SET SSYOZK_" + s + " = ?, ESYOZK_" + s + " = ?, CNT_" + s +
                                     " = ?, KYUSYU_" + s + " = ? WHERE KEY = 'BLOCK'");
    st.bind(1, firstCode).bind(2, lastCode).bind(3, count).bind(4, kyusyu);
    st.run();
}

std::int64_t Fixture::addStaff(const Staff& s)
{
    Row row{{"SYOKCD", s.syokcd}, {"SYOSYU", s.syosyu}, {"SYOZOK", s.syozok}, {"ZAIMU", s.zaimu},
            {"SIMKNJ", s.name},   {"SIMKNA", s.kana},   {"KGOKYU", s.kgokyu}, {"KGOGHO", s.kgogho}};
    for (const auto& v : s.values) {
        auto it = std::find_if(row.begin(), row.end(),
                               [&](const auto& p) { return sqlite3_stricmp(p.first.c_str(), v.first.c_str()) == 0; });
        if (it != row.end()) it->second = v.second;
        else row.push_back(v);
    }
    return insert("SKSYOKU", row);
}

std::int64_t Fixture::addPayment(const Payment& p)
{
    Row row;
    auto put = [&](const std::string& col, const Value& v) {
        if (!hasColumn(p.values, col)) row.emplace_back(col, v);
    };
    put("SKYUYM", p.skyuym);
    put("KYUSYU", p.kyusyu);
    put("SYRFLG", p.syrflg);
    put("SYOSYU", p.syosyu);
    put("SYOZOK", p.syozok);
    put("SYOKCD", p.syokcd);
    put("KGOKYU", p.kgokyu);
    put("KGOGHO", p.kgogho);
    row.insert(row.end(), p.values.begin(), p.values.end());
    return insertZeroFilled("SKSYKEI", row);
}

void Fixture::addPaidStaff(const std::string& name, const Payment& p)
{
    addStaff({.syokcd = p.syokcd, .syosyu = p.syosyu, .syozok = p.syozok, .name = name, .values = {}});
    addPayment(p);
}

std::int64_t Fixture::addSumi(const Sumi& s)
{
    Row row;
    auto put = [&](const std::string& col, const Value& v) {
        if (!hasColumn(s.values, col)) row.emplace_back(col, v);
    };
    put("NENDO", s.nendo);
    put("ZAIMU", s.zaimu);
    put("SYOCHU", s.syochu);
    put("SHARYM", s.sharym);
    put("NINZU", s.ninzu);
    row.insert(row.end(), s.values.begin(), s.values.end());
    return insertZeroFilled("SKSUMI", row);
}

// Inserts `given`, with 0 in every numeric column (INTEGER, REAL, NUMERIC) not named.
std::int64_t Fixture::insertZeroFilled(std::string_view table, const Row& given)
{
    Row row = given;
    Statement st = m_payroll.prepare("SELECT name, type FROM pragma_table_info(?) ORDER BY cid");
    st.bind(1, table);
    while (st.step()) {
        const std::string name = std::get<std::string>(st.column(0));
        const Value type = st.column(1);
        const std::string t = std::holds_alternative<std::string>(type) ? std::get<std::string>(type) : "";
        if (t != "TEXT" && !hasColumn(row, name)) row.emplace_back(name, std::int64_t{0});
    }
    return insertRow(m_payroll, table, row);
}

void Fixture::setStandardNames() { setNames(standardNames()); }

void Fixture::setNames(const Row& row)
{
    m_names.exec("DELETE FROM \"名設定\"");
    insertRow(m_names, kNameTable, row);
}

void Fixture::setName(const std::string& column, const Value& value)
{
    if (std::get<std::int64_t>(m_names.scalar("SELECT COUNT(*) FROM \"名設定\"")) == 0)
        insertRow(m_names, kNameTable, {});
    Statement st = m_names.prepare("UPDATE \"名設定\" SET " + sql::quoteIdentifier(column) + " = ?");
    st.bind(1, value);
    st.run();
}

void Fixture::writeSettings(const std::string& iniName, const std::string& content)
{
    std::ofstream out(path(iniName), std::ios::binary | std::ios::trunc);
    out << content;
    if (!out.flush()) throw std::runtime_error("cannot write " + path(iniName));
}

} // namespace kov::db
