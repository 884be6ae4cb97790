#pragma once
// The engine seam of Tessera: everything the component needs from a database engine.
// Two engines implement Engine and Cursor: SQLite (sqlitebackend.cpp, the default) and
// PostgreSQL (postgresqlbackend.cpp, over libpq); openEngine picks one by "Engine=" in
// the settings file. The SQL that the component builds uses only what both engines
// understand (quoted identifiers, LIMIT, COUNT(*) over an aliased subquery); what
// differs is asked of the engine: how a table is named, how a parameter is written,
// and which expression gives a row's place in the table's own order (which also lets a
// read resume after a find).
#include "common/dataaccess/dataaccess.h"
#include "tessera/settings.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kov::tessera {

using kov::dataaccess::DbValue;

enum class StepResult { Row, Done, Error };

// What a statement is for: a count or a find gives one row; a read of the rows of a
// table may give any number, which an engine streams rather than holds in memory, or,
// when the count has just found only a few (fewer than kFewRows), may read whole.
enum class Rows { One, Few, Many };
inline constexpr std::int64_t kFewRows = 200;

// A prepared statement and its current row.
class Cursor {
public:
    virtual ~Cursor();
    // Moves before the first row again.
    virtual void rewind() = 0;
    virtual StepResult step() = 0;
    virtual int columnCount() const = 0;
    virtual std::string columnName(int i) const = 0;
    // The first column whose name equals `name` without regard to ASCII case, or -1.
    virtual int findColumn(std::string_view name) const = 0;
    // Value of column i of the current row, typed by its storage class.
    virtual DbValue value(int i) const = 0;
    // The same value into `out`, reusing the text that `out` holds (a row copied into
    // the same slots again and again allocates nothing new).
    virtual void valueInto(int i, DbValue& out) const { out = value(i); }
    // Whether "column i = literal", for an integer literal (text false) or a text one,
    // holds exactly for the rows whose value is of the literal's kind and equal to it
    // byte for byte: no collation, padding or type conversion of the engine at play.
    virtual bool comparesAsStored(int /*i*/, bool /*text*/) const { return false; }
};

// One open database.
class Engine {
public:
    virtual ~Engine();
    // nullptr on an SQL error; *error receives the engine's message.
    virtual std::unique_ptr<Cursor> prepare(const std::string& sql, std::string* error, Rows rows = Rows::Many) = 0;
    // A statement that prepare is about to be asked for (the rows of an open after its
    // count): an engine may prepare it along with the next one, in one round trip. `few`,
    // unless empty, gives the same rows when they are fewer than kFewRows, and none
    // otherwise: an engine may run it along with the count of those rows that comes next
    // (a statement for Rows::One), and give its rows to a prepare of `sql` for Rows::Few
    // when the count found as many.
    virtual void expect(const std::string& /*sql*/, const std::string& /*few*/) {}
    virtual bool tableExists(const std::string& name) = 0;
    // A table name as the caller writes it (upper-case "SKSYKEI", "名設定"), quoted as
    // this engine names the table.
    virtual std::string quoteTable(std::string_view name) const = 0;
    // An expression that gives every row of a plain table its stable position in the
    // table's own (insertion) order, e.g. "rowid"; empty when the engine has none. It
    // breaks ties of an order and finds the found row again when a read goes on after
    // a find (without it, rows are compared whole).
    virtual std::string rowPositionExpression() const = 0;
    // Whether a statement prepared for `rows` that reads a whole table (no condition, no
    // order, no position column) gives its rows in position order by itself, so that a
    // read of the whole table in its own order needs neither the position nor an ORDER
    // BY of it (which on some engines sorts the whole table before the first row).
    virtual bool scansInPositionOrder(Rows /*rows*/) const { return false; }
    // A run's reads (clsDbAccess::DAO_ReadBegin, DAO_ReadEnd): from beginSnapshot to
    // endSnapshot every statement of this engine reads one state of the database, the
    // one that its first read finds; nothing ends that state on the way (the end of a
    // read or of the last cursor does not). Not nested.
    virtual void beginSnapshot() = 0;
    virtual void endSnapshot() = 0;
    // Whether the database can no longer be reached (the server went away): failures
    // then are of the database (-1), not of the SQL (-66).
    virtual bool lost() const { return false; }
    // Why it was lost, for the status check; empty while it is not.
    virtual std::string lostDetail() const { return {}; }
    // Releases the database. Cursors made earlier may still be destroyed afterwards but
    // must not be used.
    virtual void close() = 0;
};

struct EngineOpen {
    std::int16_t status = 0; // 0 or a failure status of the component
    std::unique_ptr<Engine> engine; // set when status is 0
    std::string message; // on failure: its cause in Japanese, the engine's text in parentheses
};

// Opens an existing SQLite database file read-only; never creates a file. Its SUM is
// SQLite's own, except that the sum of values among which one is no number (a text that
// does not read as one) is that value. Each open opens the file anew, and each cursor
// has its own statement.
EngineOpen openSqlite(const std::string& path, int busyTimeoutMs = kDefaultBusyTimeoutMs);

// Connects to a PostgreSQL database by a libpq connection string or URI (libpq's
// environment variables, password file and service file apply), read-only
// (default_transaction_read_only). Failing to connect (server unreachable,
// authentication failed, unknown database) gives -1. Idle connections are kept for a
// later open of the same connection string (one idle for a while is asked whether its
// server is still there first) until closeIdleConnections, and an open of a connection
// string that an open engine is connected with shares that engine's session: the
// engines' reads run in one session, and in a run's transaction while one of them has a
// run under way.
//
// Every wait on the server is bounded: the connection by connect_timeout (10 s unless
// the string gives it), each statement and each batch of rows by readTimeoutS; when
// that runs out the statement is cancelled and the connection taken as lost (-1). TCP
// connections use keepalives. The session is named after the program
// (dataaccess::programName) unless the string names it. A failure's message says its
// cause in Japanese, with libpq's text in parentheses.
EngineOpen openPostgresql(const std::string& connection, int busyTimeoutMs = kDefaultBusyTimeoutMs,
                          int readTimeoutS = kDefaultReadTimeoutS);

// Closes the idle PostgreSQL connections (at the program's end).
void closeIdleConnections();

// Whether a connection string or URI carries a password.
bool connectionHasPassword(const std::string& connection);

// The server settings that a connection string's options give ("-c name=value",
// "-cname=value" or "--name=value", words split as the server splits them), as commands
// that a session sends before its first one: a connection pooler does not pass the
// options of a start packet on. nullopt when a word is none of those (the options are
// then left to the start packet).
std::optional<std::vector<std::string>> optionCommands(std::string_view options);

// The engine that a settings file names.
EngineOpen openEngine(const DatabaseLocation& location);

} // namespace kov::tessera
