#pragma once
// The engine seam of Tessera: everything the component needs from a database engine.
// One implementation today (SQLite, sqlitebackend.cpp); another engine (PostgreSQL)
// would implement Engine and Cursor and be chosen by "Engine=" in the settings file.
// The SQL that the component builds uses only what both engines understand
// (quoted identifiers, LIMIT, COUNT(*) over an aliased subquery, ? parameters).
#include "common/dataaccess/dataaccess.h"
#include "tessera/fileidentity.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kov::tessera {

using kov::dataaccess::DbValue;

enum class StepResult { Row, Done, Error };

// A prepared statement and its current row.
class Cursor {
public:
    virtual ~Cursor();
    // Binds the parameters (1-based, in order) and moves before the first row.
    virtual bool bindAll(const std::vector<DbValue>& values) = 0;
    // Moves before the first row again (keeps bindings).
    virtual void rewind() = 0;
    virtual StepResult step() = 0;
    virtual int columnCount() const = 0;
    virtual std::string columnName(int i) const = 0;
    // The first column whose name equals `name` without regard to ASCII case, or -1.
    virtual int findColumn(std::string_view name) const = 0;
    // Value of column i of the current row, typed by its storage class.
    virtual DbValue value(int i) const = 0;
};

// One open database.
class Engine {
public:
    virtual ~Engine();
    // nullptr on an SQL error; *error receives the engine's message.
    virtual std::unique_ptr<Cursor> prepare(const std::string& sql, std::string* error) = 0;
    virtual bool tableExists(const std::string& name) = 0;
    virtual std::string quoteIdentifier(std::string_view name) const = 0;
    // An expression that gives every row of a plain table its stable position in the
    // table's own (insertion) order, e.g. "rowid"; empty when the engine has none.
    virtual std::string rowPositionExpression() const = 0;
    // Releases the database. Cursors made earlier may still be destroyed afterwards but
    // must not be used.
    virtual void close() = 0;
};

struct EngineOpen {
    std::int16_t status = 0;          // 0 or a failure status of the component
    std::unique_ptr<Engine> engine;   // set when status is 0
    std::string message;              // engine message on failure
};

// Opens an existing SQLite database file read-only; never creates a file. `file` is
// the file's stat taken before the call.
//
// Connections are reused: closing an engine whose cursors are all gone keeps its
// connection idle (a few per file, a few in all), and an open of the same path takes
// it back when the file's stat is still the one it was opened with, so that a file
// replaced or written since is opened anew. An idle connection holds no statement
// open and so no read transaction: its next read sees the file as it is then.
// Prepared statements stay with their connection and serve a later prepare of the
// same SQL.
EngineOpen openSqlite(const std::string& path, const FileIdentity& file);

// Closes the idle connections to `path` (a database file found missing).
void dropIdleConnections(const std::string& path);

} // namespace kov::tessera
