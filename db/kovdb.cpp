#include "db/kovdb.h"

#include "common/sqltext.h"
#include "db/schema_sql.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace kov::db {

namespace {
constexpr std::string_view kNamesMarker = "-- @database names";

std::string section(bool names)
{
    const std::string_view all = schemaSql();
    const std::size_t at = all.find(kNamesMarker);
    if (at == std::string_view::npos) throw std::logic_error("schema.sql has no names section");
    return std::string(names ? all.substr(at) : all.substr(0, at));
}

Connection createWith(const std::string& path, const std::string& sql)
{
    Connection db(path, Connection::Mode::CreateNew);
    db.exec("PRAGMA synchronous = OFF");
    db.exec("BEGIN");
    db.exec(sql);
    db.exec("COMMIT");
    return db;
}
} // namespace

std::string_view schemaSql() { return generated::kSchemaSql; }
std::string payrollSchemaSql() { return section(false); }
std::string nameSchemaSql() { return section(true); }

Connection createPayrollDatabase(const std::string& path) { return createWith(path, payrollSchemaSql()); }
Connection createNameDatabase(const std::string& path) { return createWith(path, nameSchemaSql()); }

void writeIni(const std::string& iniPath, const std::string& databasePath)
{
    std::ofstream out(iniPath, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + iniPath);
    out << "[Database]\r\nEngine=sqlite\r\nPath=" << databasePath << "\r\n";
    if (!out.flush()) throw std::runtime_error("cannot write " + iniPath);
}

void writePostgresqlIni(const std::string& iniPath, const std::string& connection)
{
    std::ofstream out(iniPath, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + iniPath);
    out << "[Database]\r\nEngine=postgresql\r\nConnection=" << connection << "\r\n";
    if (!out.flush()) throw std::runtime_error("cannot write " + iniPath);
}

std::int64_t insertRow(Connection& db, std::string_view table, const Row& row)
{
    std::string sql = "INSERT INTO " + sql::quoteIdentifier(table) + " (";
    std::string params;
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (i) {
            sql += ", ";
            params += ", ";
        }
        sql += sql::quoteIdentifier(row[i].first);
        params += '?';
    }
    sql += ") VALUES (" + params + ")";
    if (row.empty()) sql = "INSERT INTO " + sql::quoteIdentifier(table) + " DEFAULT VALUES";
    Statement st = db.prepare(sql);
    for (std::size_t i = 0; i < row.size(); ++i) st.bind(static_cast<int>(i + 1), row[i].second);
    st.run();
    return db.lastInsertRowid();
}

std::vector<std::string> tableColumns(Connection& db, std::string_view table)
{
    std::vector<std::string> out;
    Statement st = db.prepare("SELECT name FROM pragma_table_info(?) ORDER BY cid");
    st.bind(1, table);
    while (st.step()) out.push_back(std::get<std::string>(st.column(0)));
    return out;
}

Row standardNames()
{
    return {
        {"SYOKU1", "校長"},
        {"SYOKU2", "教頭"},
        {"SYOKU3", "教諭"},
        {"SYOKU4", "養護教諭"},
        {"SYOKU5", "講師(日額)"},
        {"SYOKU6", "臨時(日額)"},
        {"SYOKU7", "事務職員"},
        {"SYOKU8", "栄養職員"},
        {"SYOKU9", "学校用務員"},
        {"SYOKU10", "助教諭"},
        {"ZAIMU1", "中央教育事務所"},
        {"ZAIMU2", "東部教育事務所"},
        {"ZAIMU3", "西部教育事務所"},
        {"ZAIMU4", "南部教育事務所"},
        {"ZAIMU5", "北部教育事務所"},
        {"ZAIMU6", "湖南教育事務所"},
        {"ZAIMU7", "山間教育事務所"},
        {"ZAIMU8", "県立学校課"},
        {"ZAIMU9", "本庁"},
        {"HATSU1", "本務"},
        {"HATSU2", "兼務"},
        {"HATSU3", "出向"},
        {"HATSU4", "派遣"},
        {"HATSU5", "休職"},
        {"HATSU6", "育児休業"},
        {"HATSU7", "研修"},
        {"HATSU8", "その他"},
        {"NENKB1", "S"},
        {"NENKJ1", "昭和"},
        {"NENST1", std::int64_t{19261225}},
        {"NENKB2", "H"},
        {"NENKJ2", "平成"},
        {"NENST2", std::int64_t{19890108}},
        {"NENKB3", "R"},
        {"NENKJ3", "令和"},
        {"NENST3", std::int64_t{20190501}},
        {"KIGOU", "教"},
        {"DAIHYO1", "教育委員会教育長"},
        {"DAIHYO2", "教職員課長"},
        {"KENKO", std::int64_t{10}},
        {"KOSEI", std::int64_t{10}},
    };
}

void createStandardLayout(const std::string& folder)
{
    namespace fs = std::filesystem;
    const fs::path dir(folder);
    createPayrollDatabase((dir / kPayrollDbFile).string());
    createNameDatabase((dir / kNamesDbFile).string());
    writeIni((dir / kPayrollIni).string(), kPayrollDbFile);
    writeIni((dir / kNamesIni).string(), kNamesDbFile);
}

} // namespace kov::db
