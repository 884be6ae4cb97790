#include "db/fixture.h"

#include "tessera/tessera.h"

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
std::string makeTempFolder()
{
    std::string templ = (fs::temp_directory_path() / "kovfx-XXXXXX").string();
    if (!mkdtemp(templ.data())) throw std::runtime_error("cannot create a temporary folder");
    return templ;
}

bool hasColumn(const Row& row, const std::string& name)
{
    return std::any_of(row.begin(), row.end(), [&](const auto& p) {
        return sqlite3_stricmp(p.first.c_str(), name.c_str()) == 0;
    });
}
} // namespace

Fixture::Fixture() : m_dir(makeTempFolder())
{
    createStandardLayout(m_dir);
    m_payroll = Connection(path(kPayrollDbFile), Connection::Mode::ReadWrite);
    m_names = Connection(path(kNamesDbFile), Connection::Mode::ReadWrite);
    // Test data need not survive a power cut; without syncs a fixture is built in
    // milliseconds.
    m_payroll.exec("PRAGMA synchronous = OFF");
    m_names.exec("PRAGMA synchronous = OFF");
    if (const char* old = std::getenv("KOV_INI_DIR")) m_oldIniDir = old;
    setenv("KOV_INI_DIR", m_dir.c_str(), 1);
    kov::tessera::registerComponent(m_dir);
}

Fixture::~Fixture()
{
    m_payroll.close();
    m_names.close();
    if (m_oldIniDir) setenv("KOV_INI_DIR", m_oldIniDir->c_str(), 1);
    else unsetenv("KOV_INI_DIR");
    std::error_code ec;
    fs::remove_all(m_dir, ec);
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

void Fixture::setBlock(int slot, std::int64_t firstCode, std::int64_t lastCode, std::int64_t count,
                       std::int64_t kyusyu)
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
    Statement st = m_names.prepare("UPDATE \"名設定\" SET " + quoteIdentifier(column) + " = ?");
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
