#pragma once
// A thin read-write wrapper of the SQLite C API for the tools and tests that create
// databases (the demo generator, the test fixtures). The programs themselves never
// write; they read through the data-access component (tessera/).
// Every failure throws std::runtime_error with SQLite's message and the SQL text.
#include "common/dataaccess/dataaccess.h"

#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace kov::db {

using Value = kov::dataaccess::DbValue;

class Statement {
public:
    Statement() = default;
    Statement(sqlite3_stmt* stmt, std::string sql) : m_stmt(stmt), m_sql(std::move(sql)) {}
    ~Statement();
    Statement(Statement&& o) noexcept;
    Statement& operator=(Statement&& o) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Parameters are numbered from 1.
    Statement& bind(int index, const Value& v);
    Statement& bind(int index, std::int64_t v);
    Statement& bind(int index, int v) { return bind(index, static_cast<std::int64_t>(v)); }
    Statement& bind(int index, double v);
    Statement& bind(int index, std::string_view v);
    Statement& bind(int index, const char* v) { return bind(index, std::string_view(v)); }
    Statement& bind(int index, const std::string& v) { return bind(index, std::string_view(v)); }
    Statement& bindNull(int index);

    // One step: true while a row is current, false when done.
    bool step();
    // Runs to the end, then resets the statement and clears its bindings for the next use.
    void run();
    void reset();

    int columnCount() const;
    std::string columnName(int i) const;
    Value column(int i) const;
    std::int64_t columnInt(int i) const;

    sqlite3_stmt* handle() const { return m_stmt; }

private:
    [[noreturn]] void fail(int rc) const;
    sqlite3_stmt* m_stmt = nullptr;
    std::string m_sql;
};

class Connection {
public:
    enum class Mode { CreateNew, ReadWrite, ReadOnly };
    Connection() = default;
    // CreateNew fails when the file exists already.
    Connection(const std::string& path, Mode mode);
    ~Connection();
    Connection(Connection&& o) noexcept;
    Connection& operator=(Connection&& o) noexcept;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool isOpen() const { return m_db != nullptr; }
    void close();
    // Runs one or more statements without results.
    void exec(std::string_view sql);
    Statement prepare(std::string_view sql);
    // The single value of a one-row query (null when it has no row).
    Value scalar(std::string_view sql);
    std::int64_t lastInsertRowid() const;
    const std::string& path() const { return m_path; }
    sqlite3* handle() const { return m_db; }

private:
    sqlite3* m_db = nullptr;
    std::string m_path;
};

} // namespace kov::db
