// The SQLite engine of Tessera.
#include "common/sqltext.h"
#include "common/text.h"
#include "tessera/backend.h"
#include "tessera/columnnames.h"
#include "tessera/sqlitevalue.h"
#include "tessera/status.h"

#include <sqlite3.h>

#include <list>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kov::tessera {

namespace {

constexpr std::size_t kStatementsPerConnection = 16;

// The column names of a statement, looked up by name. Kept with the statement while it
// waits for reuse: the name table read for every report line has some forty columns,
// and building this map was a good part of the cost of each open of it.
struct ColumnNames {
    ColumnIndex byName; // first of equal names
    int prepared = 0; // times the statement had been prepared again (for a changed schema)

    explicit ColumnNames(sqlite3_stmt* stmt) : prepared(timesPreparedAgain(stmt))
    {
        const int n = sqlite3_column_count(stmt);
        for (int i = 0; i < n; ++i) {
            const char* name = sqlite3_column_name(stmt, i);
            byName.emplace(name ? name : "", i);
        }
    }

    static int timesPreparedAgain(sqlite3_stmt* stmt)
    {
        return sqlite3_stmt_status(stmt, SQLITE_STMTSTATUS_REPREPARE, 0);
    }

    // Whether the statement still has these columns: one prepared again since (at a
    // step after a change of the schema) may have others.
    bool fits(sqlite3_stmt* stmt) const { return timesPreparedAgain(stmt) == prepared; }
};

// A statement waiting for reuse on its connection.
struct KeptStatement {
    std::string sql;
    sqlite3_stmt* stmt = nullptr;
    std::shared_ptr<const ColumnNames> columns; // null until a column was looked up
};

// One SQLite connection and the statements it keeps prepared for reuse. It lives as
// long as its engine or a cursor made from it.
struct Connection {
    sqlite3* db = nullptr;
    bool retired = false; // its engine closed it: nothing more is kept
    std::list<KeptStatement> statements; // idle, most recent first

    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection()
    {
        for (auto& entry : statements) sqlite3_finalize(entry.stmt);
        sqlite3_close_v2(db);
    }

    // A kept statement for `sql`; its stmt is null when there is none.
    KeptStatement takeStatement(const std::string& sql)
    {
        for (auto it = statements.begin(); it != statements.end(); ++it) {
            if (it->sql == sql) {
                KeptStatement kept = std::move(*it);
                statements.erase(it);
                return kept;
            }
        }
        return {};
    }

    // Takes back a statement that a cursor is done with. It is reset first, so that it
    // holds no read transaction while it waits.
    void giveBack(KeptStatement kept)
    {
        const bool healthy = sqlite3_reset(kept.stmt) == SQLITE_OK; // its last step did not fail
        sqlite3_clear_bindings(kept.stmt);
        if (retired || !healthy) {
            sqlite3_finalize(kept.stmt);
            return;
        }
        for (const auto& entry : statements) {
            if (entry.sql == kept.sql) { // two cursors had the same SQL at once: one is enough
                sqlite3_finalize(kept.stmt);
                return;
            }
        }
        statements.push_front(std::move(kept));
        if (statements.size() > kStatementsPerConnection) {
            sqlite3_finalize(statements.back().stmt);
            statements.pop_back();
        }
    }
};

class SqliteCursor final : public Cursor {
public:
    SqliteCursor(std::shared_ptr<Connection> conn, KeptStatement statement)
        : m_conn(std::move(conn)), m_sql(std::move(statement.sql)), m_stmt(statement.stmt),
          m_columns(std::move(statement.columns))
    {
    }
    ~SqliteCursor() override { m_conn->giveBack(KeptStatement{std::move(m_sql), m_stmt, std::move(m_columns)}); }
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
        if (!m_columnsChecked) {
            if (!m_columns || !m_columns->fits(m_stmt)) {
                m_columns = std::make_shared<const ColumnNames>(m_stmt);
                m_asked.clear();
            }
            m_columnsChecked = true;
        }
        return m_asked.find(name, [this](std::string_view n) {
            const auto it = m_columns->byName.find(n);
            return it == m_columns->byName.end() ? -1 : it->second;
        });
    }

    DbValue value(int i) const override
    {
        DbValue out;
        valueInto(i, out);
        return out;
    }

    void valueInto(int i, DbValue& out) const override
    {
        // The column's value object, read at once on this thread (the connection is used
        // by one thread at a time): one lookup of the column instead of one a call.
        sqlite3_value* v = sqlite3_column_value(m_stmt, i);
        switch (sqlite3_value_type(v)) {
        case SQLITE_INTEGER:
            out = static_cast<std::int64_t>(sqlite3_value_int64(v));
            return;
        case SQLITE_FLOAT:
            out = sqlite3_value_double(v);
            return;
        case SQLITE_NULL:
            out = std::monostate{};
            return;
        default: {
            // As columnValue: a text or blob as its bytes.
            const auto* p = static_cast<const char*>(sqlite3_value_blob(v));
            const auto n = static_cast<std::size_t>(sqlite3_value_bytes(v));
            if (auto* text = std::get_if<std::string>(&out)) text->assign(p ? p : "", n);
            else out = std::string(p ? p : "", n);
        }
        }
    }

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
    std::shared_ptr<Connection> m_conn;
    std::string m_sql;
    sqlite3_stmt* m_stmt;
    // A cache of the statement's column names, filled by findColumn (a const read): the
    // index by name, and the names asked of the rows with the columns they found.
    mutable std::shared_ptr<const ColumnNames> m_columns;
    mutable bool m_columnsChecked = false; // m_columns checked against the statement since its last step
    mutable NameSequence m_asked;
};

class SqliteEngine final : public Engine {
public:
    explicit SqliteEngine(std::shared_ptr<Connection> conn) : m_conn(std::move(conn)) {}
    ~SqliteEngine() override { close(); }
    SqliteEngine(const SqliteEngine&) = delete;
    SqliteEngine& operator=(const SqliteEngine&) = delete;

    std::unique_ptr<Cursor> prepare(const std::string& sql, std::string* error, Rows,
                                    const std::vector<DbValue>&) override
    {
        if (!m_conn) {
            if (error) *error = "database closed";
            return nullptr;
        }
        if (KeptStatement kept = m_conn->takeStatement(sql); kept.stmt)
            return std::make_unique<SqliteCursor>(m_conn, std::move(kept));
        sqlite3_stmt* stmt = nullptr;
        const int rc = sqlite3_prepare_v3(m_conn->db, sql.data(), static_cast<int>(sql.size()),
                                          SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
        if (rc != SQLITE_OK || !stmt) {
            if (error) *error = sqlite3_errmsg(m_conn->db);
            sqlite3_finalize(stmt);
            return nullptr;
        }
        return std::make_unique<SqliteCursor>(m_conn, KeptStatement{sql, stmt, nullptr});
    }

    bool tableExists(const std::string& name) override
    {
        if (!m_conn) return false;
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(
                m_conn->db,
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

    // SQLite matches table names without regard to case.
    std::string quoteTable(std::string_view name) const override { return sql::quoteIdentifier(name); }

    PlaceholderStyle placeholderStyle() const override { return PlaceholderStyle::Question; }

    std::string rowPositionExpression() const override { return "rowid"; }

    // A deferred transaction: its read begins at its first statement and holds the
    // database as it was then (in WAL mode a writer commits meanwhile, unseen; with a
    // rollback journal a writer waits for the end).
    void beginSnapshot() override
    {
        if (m_conn && sqlite3_get_autocommit(m_conn->db)) sqlite3_exec(m_conn->db, "BEGIN", nullptr, nullptr, nullptr);
    }

    void endSnapshot() override
    {
        if (!m_conn || sqlite3_get_autocommit(m_conn->db)) return;
        if (sqlite3_exec(m_conn->db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
            sqlite3_exec(m_conn->db, "ROLLBACK", nullptr, nullptr, nullptr);
    }

    void close() override
    {
        if (!m_conn) return;
        endSnapshot();
        // Cursors still made from it keep it until the last of them is destroyed; their
        // statements are finalized then, and the connection closed.
        m_conn->retired = true;
        m_conn.reset();
    }

private:
    std::shared_ptr<Connection> m_conn;
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
    auto conn = std::make_shared<Connection>();
    const int rc = sqlite3_open_v2(path.c_str(), &conn->db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        result.status = kStatusDbOpenClose;
        result.message = openFailure(path, conn->db ? sqlite3_errmsg(conn->db) : sqlite3_errstr(rc), rc, busyTimeoutMs);
        return result;
    }
    // A lock that another program holds (a writer committing) is waited for this long
    // before a read gives up with SQLITE_BUSY.
    sqlite3_busy_timeout(conn->db, busyTimeoutMs);
    if (const int sumRc = sqlite3_create_function_v2(conn->db, "sum", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                                     nullptr, strictSumStep, strictSumFinal, nullptr);
        sumRc != SQLITE_OK) {
        result.status = kStatusDbOpenClose;
        result.message = openFailure(path, sqlite3_errmsg(conn->db), sumRc, busyTimeoutMs);
        return result;
    }
    // SQLite opens lazily: read the schema once so that a file that is no database
    // fails here and not at the first table.
    char* err = nullptr;
    if (const int schemaRc = sqlite3_exec(conn->db, "SELECT COUNT(*) FROM sqlite_master", nullptr, nullptr, &err);
        schemaRc != SQLITE_OK) {
        result.status = kStatusDbOpenClose;
        result.message = openFailure(path, err ? err : "not a database", sqlite3_errcode(conn->db), busyTimeoutMs);
        sqlite3_free(err);
        return result;
    }
    result.engine = std::make_unique<SqliteEngine>(std::move(conn));
    return result;
}

} // namespace kov::tessera
