#pragma once
// PostgreSQL for the tools and tests that create databases: a read-write libpq session,
// the PostgreSQL form of the schema (db/schema-postgresql.sql is its output), and the
// copy of a SQLite payroll or name-setting database into PostgreSQL with COPY. The
// programs themselves never write; they read through the data-access component.
// Every failure throws std::runtime_error with the server's message.
#include "db/sqlite.h"

#include <string>
#include <string_view>

struct pg_conn;

namespace kov::db::pg {

class Session {
public:
    // A libpq connection string or URI; libpq's environment variables apply.
    explicit Session(const std::string& connection);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Runs one or more statements without results.
    void exec(const std::string& sql);
    // The first value of a query, as text ("" when null or no row).
    std::string scalar(const std::string& sql);
    // COPY table (columns) FROM STDIN with `data` in COPY's text format.
    void copyIn(const std::string& copyCommand, std::string_view data);

private:
    pg_conn* m_conn = nullptr;
};

// The PostgreSQL type of a column declared with the SQLite type `sqliteType`: INTEGER
// becomes bigint, NUMERIC and REAL numeric (exact), anything else text.
std::string columnType(std::string_view sqliteType);

// schema.sql (or a section of it) in PostgreSQL's dialect: the same tables, columns and
// indexes, every name unquoted so that the server folds it to lower case.
std::string schemaSql(std::string_view sqliteSchema);

// The text of db/schema-postgresql.sql: a note, then schemaSql of the whole schema.sql.
std::string schemaFile();

// A value in COPY's text format (\N for null; backslash, tab, CR and LF escaped). Reals
// are written as the data-access component shows them.
std::string copyText(const Value& v);

// How copyDatabase treats a table that exists already.
enum class CopyMode {
    Replace, // dropped and created anew (a database moved to PostgreSQL)
    Refresh, // kept, its rows deleted: readers with the table open are not waited for
};

// Copies every table of the SQLite database `source` with its rows and indexes into
// the current schema of `target`, in one transaction. Rows keep their order (on a
// server without autovacuum also after a Refresh). Returns the number of rows copied.
std::int64_t copyDatabase(Connection& source, Session& target, CopyMode mode = CopyMode::Replace);

} // namespace kov::db::pg
