#include "db/postgresql.h"

#include "common/sqltext.h"
#include "db/kovdb.h"

#include <libpq-fe.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <vector>

namespace kov::db::pg {

namespace {

struct ResultClear {
    void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultClear>;

std::string upper(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

[[noreturn]] void fail(pg_conn* conn, const PGresult* r, const std::string& what)
{
    std::string msg = r ? PQresultErrorMessage(r) : PQerrorMessage(conn);
    while (!msg.empty() && (msg.back() == '\n' || msg.back() == ' ')) msg.pop_back();
    throw std::runtime_error("PostgreSQL: " + msg + " [" + what.substr(0, 200) + "]");
}

// A SQLite name (unquoted) as PostgreSQL names it when written without quotes: ASCII
// folded to lower case, then quoted, so that odd names survive as well.
std::string pgName(std::string_view name)
{
    std::string s(name);
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return kov::sql::quoteIdentifier(s);
}

} // namespace

Session::Session(const std::string& connection)
{
    m_conn = PQconnectdb(connection.c_str());
    if (!m_conn || PQstatus(m_conn) != CONNECTION_OK) {
        const std::string msg = m_conn ? PQerrorMessage(m_conn) : "out of memory";
        PQfinish(m_conn);
        m_conn = nullptr;
        throw std::runtime_error("PostgreSQL: " + msg);
    }
    exec("SET client_encoding = 'UTF8'; SET client_min_messages = warning");
}

Session::~Session() { PQfinish(m_conn); }

void Session::exec(const std::string& sql)
{
    const Result r(PQexec(m_conn, sql.c_str()));
    const ExecStatusType st = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) fail(m_conn, r.get(), sql);
}

std::string Session::scalar(const std::string& sql)
{
    const Result r(PQexec(m_conn, sql.c_str()));
    if (!r || PQresultStatus(r.get()) != PGRES_TUPLES_OK) fail(m_conn, r.get(), sql);
    if (PQntuples(r.get()) == 0 || PQnfields(r.get()) == 0 || PQgetisnull(r.get(), 0, 0)) return {};
    return PQgetvalue(r.get(), 0, 0);
}

void Session::copyIn(const std::string& copyCommand, std::string_view data)
{
    {
        const Result r(PQexec(m_conn, copyCommand.c_str()));
        if (!r || PQresultStatus(r.get()) != PGRES_COPY_IN) fail(m_conn, r.get(), copyCommand);
    }
    constexpr std::size_t kChunk = 1 << 20;
    for (std::size_t at = 0; at < data.size(); at += kChunk) {
        const std::size_t n = std::min(kChunk, data.size() - at);
        if (PQputCopyData(m_conn, data.data() + at, static_cast<int>(n)) != 1) fail(m_conn, nullptr, copyCommand);
    }
    if (PQputCopyEnd(m_conn, nullptr) != 1) fail(m_conn, nullptr, copyCommand);
    for (;;) {
        Result r(PQgetResult(m_conn));
        if (!r) break;
        if (PQresultStatus(r.get()) != PGRES_COMMAND_OK) fail(m_conn, r.get(), copyCommand);
    }
}

std::string columnType(std::string_view sqliteType)
{
    const std::string t = upper(sqliteType);
    if (t.find("INT") != std::string::npos) return "bigint";
    if (t.find("NUMERIC") != std::string::npos || t.find("REAL") != std::string::npos ||
        t.find("DOUBLE") != std::string::npos || t.find("FLOAT") != std::string::npos ||
        t.find("DECIMAL") != std::string::npos)
        return "numeric";
    return "text";
}

std::string schemaSql(std::string_view sqliteSchema)
{
    // Line by line: comments stay; in a column line the type is translated and the
    // names of tables lose their quotes.
    std::string out;
    std::size_t at = 0;
    while (at < sqliteSchema.size()) {
        std::size_t nl = sqliteSchema.find('\n', at);
        if (nl == std::string_view::npos) nl = sqliteSchema.size();
        std::string line(sqliteSchema.substr(at, nl - at));
        at = nl + 1;
        const std::size_t comment = line.find("--");
        std::string code = line.substr(0, comment);
        const std::string rest = comment == std::string::npos ? std::string() : line.substr(comment);
        for (std::size_t q; (q = code.find('"')) != std::string::npos;) code.erase(q, 1);
        // A column line: "    NAME TYPE[ constraints][,]".
        if (code.rfind("    ", 0) == 0) {
            const std::size_t nameEnd = code.find(' ', 4);
            if (nameEnd != std::string::npos) {
                std::size_t typeEnd = code.find_first_of(" ,", nameEnd + 1);
                if (typeEnd == std::string::npos) typeEnd = code.size();
                const std::string type = code.substr(nameEnd + 1, typeEnd - nameEnd - 1);
                code = code.substr(0, nameEnd + 1) + columnType(type) + code.substr(typeEnd);
            }
        }
        out += code + rest + "\n";
    }
    if (!sqliteSchema.empty() && sqliteSchema.back() != '\n' && !out.empty()) out.pop_back();
    return out;
}

std::string schemaFile()
{
    return "-- PostgreSQL form of db/schema.sql, written by \"kovpgcopy --schema\" (do not edit: edit\n"
           "-- schema.sql). Names are unquoted, so the server folds them to lower case and the\n"
           "-- programs' upper-case names match; INTEGER is bigint, NUMERIC and REAL are numeric\n"
           "-- (exact). A table's own order is the order in which its rows were loaded.\n"
           "-- psql -d kov -f db/schema-postgresql.sql creates both databases' tables in one.\n\n" +
           schemaSql(kov::db::schemaSql());
}

std::string copyText(const Value& v)
{
    if (kov::dataaccess::isNull(v)) return "\\N";
    const std::string t = kov::dataaccess::toText(v);
    std::string out;
    out.reserve(t.size());
    for (char c : t) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

namespace {

struct SourceTable {
    std::string name;
    std::vector<std::pair<std::string, std::string>> columns; // name, SQLite type
};

// The tables of the SQLite database in their order, with their columns.
std::vector<SourceTable> sourceTables(Connection& source)
{
    std::vector<SourceTable> tables;
    {
        Statement st = source.prepare(
            "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%' ORDER BY rowid");
        while (st.step()) tables.push_back({std::get<std::string>(st.column(0)), {}});
    }
    for (SourceTable& t : tables) {
        Statement st = source.prepare("SELECT name, type FROM pragma_table_info(?) ORDER BY cid");
        st.bind(1, t.name);
        while (st.step()) {
            const Value type = st.column(1);
            t.columns.emplace_back(std::get<std::string>(st.column(0)),
                                   std::holds_alternative<std::string>(type) ? std::get<std::string>(type) : "");
        }
    }
    return tables;
}

// The table made afresh on the server, or emptied when it is refreshed; true when made.
bool prepareTable(Session& target, const SourceTable& t, CopyMode mode)
{
    const std::string name = pgName(t.name);
    std::string create = "CREATE TABLE " + name + " (";
    for (std::size_t i = 0; i < t.columns.size(); ++i)
        create += (i ? ",\n    " : "\n    ") + pgName(t.columns[i].first) + " " + columnType(t.columns[i].second);
    const bool exists = target.scalar("SELECT to_regclass('" + kov::sql::escapeLiteral(name) + "') IS NOT NULL") == "t";
    if (exists && mode == CopyMode::Refresh) {
        target.exec("DELETE FROM " + name);
        return false;
    }
    if (exists) target.exec("DROP TABLE " + name);
    target.exec(create + "\n)");
    return true;
}

// The rows in their order (rowid), sent in COPY's text format; returns their number.
std::int64_t copyRows(Connection& source, Session& target, const SourceTable& t)
{
    std::string columns;
    for (std::size_t i = 0; i < t.columns.size(); ++i) columns += (i ? ", " : "") + pgName(t.columns[i].first);
    const std::string copy = "COPY " + pgName(t.name) + " (" + columns + ") FROM STDIN";
    std::int64_t rows = 0;
    std::string data;
    Statement st = source.prepare("SELECT * FROM " + kov::sql::quoteIdentifier(t.name) + " ORDER BY rowid");
    while (st.step()) {
        for (int i = 0; i < st.columnCount(); ++i) {
            if (i) data += '\t';
            data += copyText(st.column(i));
        }
        data += '\n';
        ++rows;
        if (data.size() > (16u << 20)) {
            target.copyIn(copy, data);
            data.clear();
        }
    }
    if (!data.empty()) target.copyIn(copy, data);
    return rows;
}

} // namespace

std::int64_t copyDatabase(Connection& source, Session& target, CopyMode mode)
{
    const std::vector<SourceTable> tables = sourceTables(source);
    std::int64_t rows = 0;
    std::vector<std::string> created;
    target.exec("BEGIN");
    for (const SourceTable& t : tables) {
        if (prepareTable(target, t, mode)) created.push_back(t.name);
        rows += copyRows(source, target, t);
    }
    // The indexes of the tables created here (a refreshed table has its own).
    {
        Statement st =
            source.prepare("SELECT tbl_name, sql FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL");
        while (st.step()) {
            const std::string table = std::get<std::string>(st.column(0));
            if (std::find(created.begin(), created.end(), table) != created.end())
                target.exec(schemaSql(std::get<std::string>(st.column(1))));
        }
    }
    target.exec("COMMIT");
    if (mode == CopyMode::Replace)
        for (const SourceTable& t : tables) target.exec("ANALYZE " + pgName(t.name));
    return rows;
}

} // namespace kov::db::pg
