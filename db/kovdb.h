#pragma once
// The payroll and name-setting databases: their schema (db/schema.sql, embedded at
// build time), creating empty databases, the settings files that name them, and rows
// that the demo generator and the tests share.
#include "db/sqlite.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kov::db {

// File names of the standard layout: the settings files that the programs hand to
// the data-access component and the database files they point to.
inline constexpr const char* kPayrollIni = "KOV.INI";
inline constexpr const char* kNamesIni = "KOVENV.INI";
inline constexpr const char* kPayrollDbFile = "kov.db";
inline constexpr const char* kNamesDbFile = "kovenv.db";
// The name-setting table.
inline constexpr const char* kNameTable = "名設定";

// The whole schema file, and its two sections (one per database file).
std::string_view schemaSql();
std::string payrollSchemaSql();
std::string nameSchemaSql();

// Create a new database file with the tables of the payroll / name-setting database.
// An existing file is an error (nothing is overwritten).
Connection createPayrollDatabase(const std::string& path);
Connection createNameDatabase(const std::string& path);

// Writes a settings file that names a SQLite database:
//   [Database]
//   Engine=sqlite
//   Path=<databasePath>
// databasePath is written as given (relative paths are taken from the settings file's
// folder by the data-access component).
void writeIni(const std::string& iniPath, const std::string& databasePath);

// Writes a settings file that names a PostgreSQL database:
//   [Database]
//   Engine=postgresql
//   Connection=<connection>      (a libpq connection string or URI)
void writePostgresqlIni(const std::string& iniPath, const std::string& connection);

// A row as (column, value) pairs, in insert order.
using Row = std::vector<std::pair<std::string, Value>>;

// INSERT INTO table (columns of row) VALUES (...); returns the new rowid.
std::int64_t insertRow(Connection& db, std::string_view table, const Row& row);
// The column names of a table, in table order.
std::vector<std::string> tableColumns(Connection& db, std::string_view table);

// The single row of the name-setting table of a typical installation: job kinds
// SYOKU1-10 (校長, 教頭, 教諭, 養護教諭, 講師(日額), 臨時(日額), ...), finance offices
// ZAIMU1-9, the eras 昭和 S 19261225, 平成 H 19890108, 令和 R 20190501, KENKO/KOSEI.
Row standardNames();

// Creates, in an existing folder, the standard layout: KOV.INI -> kov.db and
// KOVENV.INI -> kovenv.db, both databases with empty tables.
void createStandardLayout(const std::string& folder);

} // namespace kov::db
