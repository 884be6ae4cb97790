#include "sqlite.h"

#include "tessera/sqlitevalue.h"

#include <sqlite3.h>

#include <filesystem>
#include <stdexcept>
#include <utility>

namespace kov::db {

namespace {
[[noreturn]] void throwSqlite(sqlite3* db, int rc, std::string_view what)
{
    std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    throw std::runtime_error("SQLite: " + msg + " [" + std::string(what) + "]");
}
} // namespace

// ---- Statement ----

Statement::~Statement()
{
    if (m_stmt) sqlite3_finalize(m_stmt);
}

Statement::Statement(Statement&& o) noexcept : m_stmt(std::exchange(o.m_stmt, nullptr)), m_sql(std::move(o.m_sql)) {}

Statement& Statement::operator=(Statement&& o) noexcept
{
    if (this != &o) {
        if (m_stmt) sqlite3_finalize(m_stmt);
        m_stmt = std::exchange(o.m_stmt, nullptr);
        m_sql = std::move(o.m_sql);
    }
    return *this;
}

void Statement::fail(int rc) const { throwSqlite(m_stmt ? sqlite3_db_handle(m_stmt) : nullptr, rc, m_sql); }

Statement& Statement::bind(int index, const Value& v)
{
    if (const auto* i = std::get_if<std::int64_t>(&v)) return bind(index, *i);
    if (const auto* d = std::get_if<double>(&v)) return bind(index, *d);
    if (const auto* s = std::get_if<std::string>(&v)) return bind(index, std::string_view(*s));
    return bindNull(index);
}

Statement& Statement::bind(int index, std::int64_t v)
{
    if (const int rc = sqlite3_bind_int64(m_stmt, index, v); rc != SQLITE_OK) fail(rc);
    return *this;
}

Statement& Statement::bind(int index, double v)
{
    if (const int rc = sqlite3_bind_double(m_stmt, index, v); rc != SQLITE_OK) fail(rc);
    return *this;
}

Statement& Statement::bind(int index, std::string_view v)
{
    if (const int rc = sqlite3_bind_text64(m_stmt, index, v.data(), v.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
        rc != SQLITE_OK)
        fail(rc);
    return *this;
}

Statement& Statement::bindNull(int index)
{
    if (const int rc = sqlite3_bind_null(m_stmt, index); rc != SQLITE_OK) fail(rc);
    return *this;
}

bool Statement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    fail(rc);
}

void Statement::run()
{
    while (step()) {
    }
    reset();
}

void Statement::reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

int Statement::columnCount() const { return sqlite3_column_count(m_stmt); }

std::string Statement::columnName(int i) const
{
    const char* n = sqlite3_column_name(m_stmt, i);
    return n ? n : "";
}

Value Statement::column(int i) const { return kov::sqlite::columnValue(m_stmt, i); }

std::int64_t Statement::columnInt(int i) const { return sqlite3_column_int64(m_stmt, i); }

// ---- Connection ----

Connection::Connection(const std::string& path, Mode mode) : m_path(path)
{
    int flags = SQLITE_OPEN_READWRITE;
    if (mode == Mode::CreateNew) {
        if (std::filesystem::exists(path)) throw std::runtime_error("database file exists already: " + path);
        flags |= SQLITE_OPEN_CREATE;
    } else if (mode == Mode::ReadOnly) {
        flags = SQLITE_OPEN_READONLY;
    }
    const int rc = sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        std::string msg = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
        sqlite3_close(m_db);
        m_db = nullptr;
        throw std::runtime_error("SQLite: cannot open " + path + ": " + msg);
    }
}

Connection::~Connection() { close(); }

Connection::Connection(Connection&& o) noexcept : m_db(std::exchange(o.m_db, nullptr)), m_path(std::move(o.m_path)) {}

Connection& Connection::operator=(Connection&& o) noexcept
{
    if (this != &o) {
        close();
        m_db = std::exchange(o.m_db, nullptr);
        m_path = std::move(o.m_path);
    }
    return *this;
}

void Connection::close()
{
    if (m_db) sqlite3_close_v2(m_db);
    m_db = nullptr;
}

void Connection::exec(std::string_view sql)
{
    const std::string text(sql);
    char* err = nullptr;
    const int rc = sqlite3_exec(m_db, text.c_str(), nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        std::string msg = err ? err : sqlite3_errstr(rc);
        sqlite3_free(err);
        throw std::runtime_error("SQLite: " + msg + " [" + text + "]");
    }
}

Statement Connection::prepare(std::string_view sql)
{
    sqlite3_stmt* stmt = nullptr;
    const int rc = sqlite3_prepare_v2(m_db, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr);
    if (rc != SQLITE_OK) throwSqlite(m_db, rc, sql);
    return Statement(stmt, std::string(sql));
}

Value Connection::scalar(std::string_view sql)
{
    Statement st = prepare(sql);
    if (!st.step()) return std::monostate{};
    return st.column(0);
}

std::int64_t Connection::lastInsertRowid() const { return sqlite3_last_insert_rowid(m_db); }

} // namespace kov::db
