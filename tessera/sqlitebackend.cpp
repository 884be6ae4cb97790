// The SQLite engine of Tessera.
#include "tessera/backend.h"
#include "tessera/status.h"

#include <sqlite3.h>

#include <utility>

namespace kov::tessera {

Cursor::~Cursor() = default;
Engine::~Engine() = default;

namespace {

class SqliteCursor final : public Cursor {
public:
    explicit SqliteCursor(sqlite3_stmt* stmt) : m_stmt(stmt) {}
    ~SqliteCursor() override { sqlite3_finalize(m_stmt); }
    SqliteCursor(const SqliteCursor&) = delete;
    SqliteCursor& operator=(const SqliteCursor&) = delete;

    bool bindAll(const std::vector<DbValue>& values) override
    {
        sqlite3_reset(m_stmt);
        int index = 1;
        for (const DbValue& v : values) {
            int rc;
            if (const auto* i = std::get_if<std::int64_t>(&v)) rc = sqlite3_bind_int64(m_stmt, index, *i);
            else if (const auto* d = std::get_if<double>(&v)) rc = sqlite3_bind_double(m_stmt, index, *d);
            else if (const auto* s = std::get_if<std::string>(&v))
                rc = sqlite3_bind_text64(m_stmt, index, s->data(), s->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
            else rc = sqlite3_bind_null(m_stmt, index);
            if (rc != SQLITE_OK) return false;
            ++index;
        }
        return true;
    }

    void rewind() override { sqlite3_reset(m_stmt); }

    StepResult step() override
    {
        switch (sqlite3_step(m_stmt)) {
        case SQLITE_ROW: return StepResult::Row;
        case SQLITE_DONE: return StepResult::Done;
        default: return StepResult::Error;
        }
    }

    int columnCount() const override { return sqlite3_column_count(m_stmt); }

    std::string columnName(int i) const override
    {
        const char* n = sqlite3_column_name(m_stmt, i);
        return n ? n : "";
    }

    DbValue value(int i) const override
    {
        switch (sqlite3_column_type(m_stmt, i)) {
        case SQLITE_INTEGER: return static_cast<std::int64_t>(sqlite3_column_int64(m_stmt, i));
        case SQLITE_FLOAT: return sqlite3_column_double(m_stmt, i);
        case SQLITE_NULL: return std::monostate{};
        default: {
            // Text (and blobs, as their bytes).
            const auto* p = static_cast<const char*>(sqlite3_column_blob(m_stmt, i));
            return std::string(p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, i)));
        }
        }
    }

private:
    sqlite3_stmt* m_stmt;
};

class SqliteEngine final : public Engine {
public:
    explicit SqliteEngine(sqlite3* db) : m_db(db) {}
    ~SqliteEngine() override { close(); }
    SqliteEngine(const SqliteEngine&) = delete;
    SqliteEngine& operator=(const SqliteEngine&) = delete;

    std::unique_ptr<Cursor> prepare(const std::string& sql, std::string* error) override
    {
        if (!m_db) {
            if (error) *error = "database closed";
            return nullptr;
        }
        sqlite3_stmt* stmt = nullptr;
        const int rc = sqlite3_prepare_v3(m_db, sql.data(), static_cast<int>(sql.size()),
                                          SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
        if (rc != SQLITE_OK || !stmt) {
            if (error) *error = sqlite3_errmsg(m_db);
            sqlite3_finalize(stmt);
            return nullptr;
        }
        return std::make_unique<SqliteCursor>(stmt);
    }

    bool tableExists(const std::string& name) override
    {
        if (!m_db) return false;
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(m_db,
                               "SELECT 1 FROM sqlite_master WHERE type IN ('table','view') AND name = ?1 COLLATE NOCASE"
                               " UNION ALL "
                               "SELECT 1 FROM sqlite_temp_master WHERE type IN ('table','view') AND name = ?1 COLLATE NOCASE",
                               -1, &stmt, nullptr) != SQLITE_OK)
            return false;
        sqlite3_bind_text(stmt, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        const bool found = sqlite3_step(stmt) == SQLITE_ROW;
        sqlite3_finalize(stmt);
        return found;
    }

    std::string quoteIdentifier(std::string_view name) const override
    {
        std::string out = "\"";
        for (char c : name) {
            if (c == '"') out += '"';
            out += c;
        }
        out += '"';
        return out;
    }

    std::string rowPositionExpression() const override { return "rowid"; }

    void close() override
    {
        // close_v2 keeps the connection alive as a "zombie" until the last statement
        // of a table object still holding it is finalized.
        if (m_db) sqlite3_close_v2(m_db);
        m_db = nullptr;
    }

private:
    sqlite3* m_db;
};

} // namespace

EngineOpen openSqlite(const std::string& path)
{
    EngineOpen result;
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        result.status = kStatusDbOpenClose;
        result.message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close_v2(db);
        return result;
    }
    // SQLite opens lazily: read the schema once so that a file that is no database
    // fails here and not at the first table.
    char* err = nullptr;
    if (sqlite3_exec(db, "SELECT COUNT(*) FROM sqlite_master", nullptr, nullptr, &err) != SQLITE_OK) {
        result.status = kStatusDbOpenClose;
        result.message = err ? err : "not a database";
        sqlite3_free(err);
        sqlite3_close_v2(db);
        return result;
    }
    result.engine = std::make_unique<SqliteEngine>(db);
    return result;
}

} // namespace kov::tessera
