#pragma once
// Contract of the data-access component: a connection (clsDbAccess) and a table or
// query result with a current row (clsTbAccess), created at run time by ProgID
// ("Tessera.clsDbAccess", "Tessera.clsTbAccess") through CreateObject.
//
// Status convention: every method returns a 16-bit status; negative is a failure
// (texts in ComTessera), 0 success. The open methods return 0 for no row and
// otherwise the number of rows, capped at 32767.
//
// A property becomes a getter named as the property and a setter "set" + its name.
#include "common/currency.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kov::dataaccess {

// A column value: null, an integer, a real or a text.
using DbValue = std::variant<std::monostate, std::int64_t, double, std::string>;

bool isNull(const DbValue& v);
// Text of a value as it stands: a text unchanged, an integer in decimal digits, a real
// in its shortest decimal form; null gives the empty text.
std::string toText(const DbValue& v);
// Number of a value: a number as it is, a text parsed as decimal text (a type
// mismatch when it is not a number); null counts as 0.
Currency toCurrency(const DbValue& v);
// toCurrency, then the checked conversion to 16 bits (halves rounded away from zero).
std::int16_t toInt16(const DbValue& v);
// The same for the value of a column: an error names the column (列「KENKO」), e.g.
//   toCurrency(tb.TBRec("KENKO"), "KENKO")
Currency toCurrency(const DbValue& v, std::string_view column);
std::int16_t toInt16(const DbValue& v, std::string_view column);

// The opaque handle of an open database, handed from DBDatabase to TBDatabase.
class DbHandle {
public:
    virtual ~DbHandle();
};
using DbHandlePtr = std::shared_ptr<DbHandle>;

// Base of the objects that CreateObject makes.
class ComObject {
public:
    virtual ~ComObject();
    // The cause of this object's last failure, in Japanese, naming what to fix (the
    // settings file and its line, the database file, the server's own text in
    // parentheses): the status check shows it on the line after the status message.
    // Empty unless `status` is the status that failure gave.
    virtual std::string failureDetail(std::int16_t /*status*/) const { return {}; }
};

class clsDbAccess : public ComObject {
public:
    virtual void setDBIniNameString(const std::string& iniName) = 0;
    virtual std::string DBIniNameString() const = 0;
    virtual std::int16_t DAO_DBOpen() = 0;
    // Null while the database is closed.
    virtual DbHandlePtr DBDatabase() const = 0;
    virtual std::int16_t DAO_DBClose() = 0;
    // A run's reads: from DAO_ReadBegin to DAO_ReadEnd every table object on this open
    // connection reads one state of the database, the one committed before the first
    // read of the run (what others commit meanwhile is seen after DAO_ReadEnd). A table
    // object may keep what it has read for the rest of the run. Status 0, or -5 while the
    // database is closed; DAO_DBClose ends the run too. A connection that keeps no such
    // state takes both as no-ops.
    virtual std::int16_t DAO_ReadBegin() { return 0; }
    virtual std::int16_t DAO_ReadEnd() { return 0; }
};

// A run's reads on `db` (may be null: nothing), from construction to end() or the
// destructor, whichever comes first: a run-time error or a program end on the way still
// ends them.
class ReadRun {
public:
    explicit ReadRun(clsDbAccess* db);
    ~ReadRun() { end(); }
    ReadRun(const ReadRun&) = delete;
    ReadRun& operator=(const ReadRun&) = delete;
    void end();

private:
    clsDbAccess* m_db;
};

class clsTbAccess : public ComObject {
public:
    virtual void setTBDatabase(DbHandlePtr db) = 0;
    virtual DbHandlePtr TBDatabase() const = 0;
    virtual void setTBNameString(const std::string& tableName) = 0;
    virtual std::string TBNameString() const = 0;

    // criteria: an SQL condition without WHERE (empty = all rows); order: a column list
    // (empty = the table's own order). The first row is not yet current.
    virtual std::int16_t DAO_TableOpen(const std::string& criteria, const std::string& order) = 0;
    // SELECT select FROM table WHERE criteria GROUP BY grouping ORDER BY order.
    virtual std::int16_t DAO_TableGroupOpen(const std::string& select, const std::string& criteria,
                                            const std::string& grouping, const std::string& order) = 0;
    // Mode 1: make current the first row of the open result that also matches criteria;
    // 0 when found, -8 when none does.
    virtual std::int16_t DAO_RecFind(std::int32_t mode, const std::string& criteria) = 0;
    // 1 = first row, 2 = next row; 0 when a row is current, -9 after the last.
    virtual std::int16_t DAO_RecRead(std::int32_t mode) = 0;
    // Column of the current row; names match without regard to case.
    virtual DbValue TBRec(const std::string& column) const = 0;
    // Beyond the contract: the lookups that a run will make of this object, finds
    // "keyColumn = value" whose rows it reads `columns` of (plain column names). Within
    // a run's reads (DAO_ReadBegin) the component may answer them from the open's rows,
    // read once for the run; TBRec of a row so found gives those columns only. An
    // object that cannot takes it as a no-op.
    virtual void declareLookup(const std::string& /*keyColumn*/, const std::vector<std::string>& /*columns*/) {}
    virtual std::int16_t DAO_TableClose() = 0;
};

// Creates an object by ProgID. A ProgID that nothing answers to raises
// RuntimeError(ObjectCreation) naming it.
std::unique_ptr<ComObject> CreateObject(std::string_view progId);

[[noreturn]] void throwTypeMismatchForObject(std::string_view progId);

// CreateObject, then a check that the object is of class T (type mismatch otherwise).
template <class T>
std::unique_ptr<T> CreateObjectAs(std::string_view progId)
{
    std::unique_ptr<ComObject> obj = CreateObject(progId);
    if (auto* typed = dynamic_cast<T*>(obj.get())) {
        obj.release(); // NOLINT(bugprone-unused-return-value): `typed` owns it from here
        return std::unique_ptr<T>(typed);
    }
    throwTypeMismatchForObject(progId);
}

// Makes a ProgID answer to a factory (the component registers its classes at start).
void RegisterClass(const std::string& progId, std::function<std::unique_ptr<ComObject>()> factory);
void UnregisterAll();

// ---- What the program and the component tell each other beside the statuses ----

// The program's name ("kov120"), by which the component names its sessions on a
// server; empty until the program sets it.
void setProgramName(std::string name);
std::string programName();

// A function that the component calls about every kWaitHookInterval while it waits on
// a server (a statement, a batch of rows, a connection), so that the screen stays
// painted; it must not take user input. Set once at the start, before any connection.
inline constexpr int kWaitHookIntervalMs = 100;
void setWaitHook(std::function<void()> hook);
void callWaitHook();

// What the component does when the program ends (close the connections that it keeps
// idle for a later open, so that a server sees its sessions end rather than break off):
// set by the component when it registers, run by the end of the program, which ends the
// process without destructors.
void setEndHook(std::function<void()> hook);
void callEndHook();

inline constexpr const char* kProgIdDbAccess = "Tessera.clsDbAccess";
inline constexpr const char* kProgIdTbAccess = "Tessera.clsTbAccess";

} // namespace kov::dataaccess
