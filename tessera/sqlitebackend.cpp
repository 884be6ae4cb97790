// The SQLite engine of Tessera.
#include "common/sqltext.h"
#include "common/text.h"
#include "tessera/backend.h"
#include "tessera/columnnames.h"
#include "tessera/sqlitevalue.h"
#include "tessera/status.h"

#include <sqlite3.h>

#include <utility>
#include <vector>

namespace kov::tessera {

namespace {

// A prepared statement of its own; it is finalized with the cursor.
class SqliteCursor final : public Cursor {
public:
    explicit SqliteCursor(sqlite3_stmt* stmt) : m_stmt(stmt) {}
    ~SqliteCursor() override { sqlite3_finalize(m_stmt); }
    SqliteCursor(const SqliteCursor&) = delete;
    SqliteCursor& operator=(const SqliteCursor&) = delete;

    void rewind() override { sqlite3_reset(m_stmt); }

    StepResult step() override
    {
        m_columnsChecked = false; // a step may prepare the statement again
        m_asked.restart();
        switch (sqlite3_step(m_stmt)) {
        case SQLITE_ROW:
            return StepResult::Row;
        case SQLITE_DONE:
            return StepResult::Done;
        default:
            return StepResult::Error;
        }
    }

    int columnCount() const override { return sqlite3_column_count(m_stmt); }

    std::string columnName(int i) const override
    {
        const char* n = sqlite3_column_name(m_stmt, i);
        return n ? n : "";
    }

    int findColumn(std::string_view name) const override
    {
        // A statement prepared again at a step (after a change of the schema) may have
        // other columns.
        if (!m_columnsChecked) {
            const int prepared = sqlite3_stmt_status(m_stmt, SQLITE_STMTSTATUS_REPREPARE, 0);
            if (prepared != m_prepared) {
                m_byName.clear();
                for (int i = 0; i < sqlite3_column_count(m_stmt); ++i) m_byName.emplace(columnName(i), i);
                m_prepared = prepared;
                m_asked.clear();
            }
            m_columnsChecked = true;
        }
        return m_asked.find(name, [this](std::string_view n) {
            const auto it = m_byName.find(n);
            return it == m_byName.end() ? -1 : it->second;
        });
    }

    DbValue value(int i) const override { return kov::sqlite::columnValue(m_stmt, i); }

    // The column's declared collation and type affinity: an integer literal meets integer
    // values as they are; a text literal is converted by a numeric affinity and compared
    // by the collation.
    bool comparesAsStored(int i, bool text) const override
    {
        const char* table = sqlite3_column_table_name(m_stmt, i);
        const char* column = sqlite3_column_origin_name(m_stmt, i);
        const char* type = nullptr;
        const char* collation = nullptr;
        if (!table || !column ||
            sqlite3_table_column_metadata(sqlite3_db_handle(m_stmt), sqlite3_column_database_name(m_stmt, i), table,
                                          column, &type, &collation, nullptr, nullptr, nullptr) != SQLITE_OK)
            return false;
        if (!text) return true;
        if (!collation || sqlite3_stricmp(collation, "BINARY") != 0) return false;
        const std::string t = kov::text::foldAsciiCase(type ? type : "");
        auto has = [&t](const char* part) { return t.find(part) != std::string::npos; };
        if (has("int")) return false;
        return has("char") || has("clob") || has("text") || has("blob") || t.empty();
    }

private:
    sqlite3_stmt* m_stmt;
    // A cache of the statement's column names, filled by findColumn (a const read): the
    // index by name (first of equal names) for the times the statement had been prepared
    // again, and the names asked of the rows with the columns they found.
    mutable ColumnIndex m_byName;
    mutable int m_prepared = -1;
    mutable bool m_columnsChecked = false; // m_byName checked against the statement since its last step
    mutable NameSequence m_asked;
};

class SqliteEngine final : public Engine {
public:
    explicit SqliteEngine(sqlite3* db) : m_db(db) {}
    ~SqliteEngine() override { close(); }
    SqliteEngine(const SqliteEngine&) = delete;
    SqliteEngine& operator=(const SqliteEngine&) = delete;

    std::unique_ptr<Cursor> prepare(const std::string& sql, std::string* error, Rows) override
    {
        if (!m_db) {
            if (error) *error = "database closed";
            return nullptr;
        }
        sqlite3_stmt* stmt = nullptr;
        const int rc = sqlite3_prepare_v2(m_db, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr);
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
        if (sqlite3_prepare_v2(
                m_db, "SELECT 1 FROM sqlite_master WHERE type IN ('table','view') AND name = ?1 COLLATE NOCASE", -1,
                &stmt, nullptr) != SQLITE_OK)
            return false;
        sqlite3_bind_text(stmt, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        const bool found = sqlite3_step(stmt) == SQLITE_ROW;
        sqlite3_finalize(stmt);
        return found;
    }

    // SQLite matches table names without regard to case.
    std::string quoteTable(std::string_view name) const override { return sql::quoteIdentifier(name); }

    std::string rowPositionExpression() const override { return "rowid"; }

    // A deferred transaction: its read begins at its first statement and holds the
    // database as it was then (in WAL mode a writer commits meanwhile, unseen; with a
    // rollback journal a writer waits for the end).
    void beginSnapshot() override
    {
        if (m_db && sqlite3_get_autocommit(m_db)) sqlite3_exec(m_db, "BEGIN", nullptr, nullptr, nullptr);
    }

    void endSnapshot() override
    {
        if (!m_db || sqlite3_get_autocommit(m_db)) return;
        if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }

    void close() override
    {
        if (!m_db) return;
        endSnapshot();
        // Cursors still made from it keep it open until the last of them is destroyed.
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }

private:
    sqlite3* m_db;
};

// SUM as SQLite sums (an integer sum while every value is an integer, an error when it
// overflows, else the sum of the values as doubles), except over a value that is no
// number: a text that does not read as one ('12,345'), or a blob. SQLite's own SUM
// counts such a value as 0 or as its leading digits ('12,345' as 12) without a word, and
// an INTEGER column keeps such a text as it was written. Here the sum of a group that
// holds one is that value itself (the first one met), so that a reader that takes the
// sum as a number refuses it and names it, and no query has to look for texts first.
struct StrictSum { // zeroed by SQLite at the first value of a group
    double real;
    sqlite3_int64 integer;
    sqlite3_int64 count;
    bool overflow; // the integer sum overflowed
    bool approximate; // a value was no integer
    sqlite3_value* notNumber; // the first value that is no number, owned
};

void strictSumStep(sqlite3_context* context, int /*argc*/, sqlite3_value** argv)
{
    auto* sum = static_cast<StrictSum*>(sqlite3_aggregate_context(context, sizeof(StrictSum)));
    if (!sum) return; // out of memory: SQLite has set the error
    switch (sqlite3_value_numeric_type(argv[0])) {
    case SQLITE_NULL:
        return;
    case SQLITE_INTEGER: {
        const sqlite3_int64 v = sqlite3_value_int64(argv[0]);
        sum->real += static_cast<double>(v);
        if (!sum->approximate && __builtin_add_overflow(sum->integer, v, &sum->integer))
            sum->approximate = sum->overflow = true;
        break;
    }
    case SQLITE_FLOAT:
        sum->real += sqlite3_value_double(argv[0]);
        sum->approximate = true;
        break;
    default:
        if (!sum->notNumber && !(sum->notNumber = sqlite3_value_dup(argv[0]))) sqlite3_result_error_nomem(context);
    }
    ++sum->count;
}

void strictSumFinal(sqlite3_context* context)
{
    auto* sum = static_cast<StrictSum*>(sqlite3_aggregate_context(context, 0));
    if (!sum || sum->count == 0) return; // NULL
    if (sum->notNumber) {
        sqlite3_result_value(context, sum->notNumber);
        sqlite3_value_free(sum->notNumber);
    } else if (sum->overflow) {
        sqlite3_result_error(context, "integer overflow", -1);
    } else if (sum->approximate) {
        sqlite3_result_double(context, sum->real);
    } else {
        sqlite3_result_int64(context, sum->integer);
    }
}

// Why the database file `path` cannot be opened, for the clerk and the administrator.
std::string openFailure(const std::string& path, const std::string& message, int rc, int busyTimeoutMs)
{
    const std::string file = "データベースファイル「" + path + "」";
    if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED)
        return file + "は他のプログラムが書き込み中です（BusyTimeout の " + std::to_string(busyTimeoutMs) +
               " ミリ秒待ちました。" + message + "）。";
    if ((rc & 0xff) == SQLITE_NOTADB) return file + "は SQLite のデータベースではありません（" + message + "）。";
    return file + "を開けません（" + message + "）。";
}

} // namespace

EngineOpen openSqlite(const std::string& path, int busyTimeoutMs)
{
    EngineOpen result;
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    auto engine = std::make_unique<SqliteEngine>(db); // closes the connection on every way out
    // A lock that another program holds (a writer committing) is waited for this long
    // before a read gives up with SQLITE_BUSY.
    if (rc == SQLITE_OK) rc = sqlite3_busy_timeout(db, busyTimeoutMs);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "sum", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, nullptr,
                                        strictSumStep, strictSumFinal, nullptr);
    // SQLite opens lazily: read the schema once so that a file that is no database
    // fails here and not at the first table.
    if (rc == SQLITE_OK) rc = sqlite3_exec(db, "SELECT COUNT(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        result.status = kStatusDbOpenClose;
        result.message = openFailure(path, db ? sqlite3_errmsg(db) : sqlite3_errstr(rc), rc, busyTimeoutMs);
        return result;
    }
    result.engine = std::move(engine);
    return result;
}

} // namespace kov::tessera
