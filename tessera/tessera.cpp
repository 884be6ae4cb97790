// clsDbAccess and clsTbAccess of Tessera.
//
// A table object never holds a result in memory: an open counts the matching rows
// with one SELECT COUNT(*) (which stops counting past 32767) and prepares the
// statement of the rows, which DAO_RecRead then steps through. A find is a fresh
// query of its own (the open's condition AND the find's condition, LIMIT 1), so that
// it uses the table's indexes. Within a run, the finds that the program declared are
// answered from rows read once for the run (lookuprows.h): the finds made row after
// row of a report are those, and a single find is for the few of a screen.
#include "tessera/tessera.h"

#include "common/inifile.h"
#include "common/runtimeerror.h"
#include "common/runtimeservices.h"
#include "common/sqltext.h"
#include "common/text.h"
#include "tessera/backend.h"
#include "tessera/lookuprows.h"
#include "tessera/settings.h"
#include "tessera/status.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>
#include <string_view>
#include <vector>

namespace kov::tessera {

using namespace kov::dataaccess;

namespace {

// The blanks around a name or a part of SQL.
constexpr std::string_view kBlanks = " \t\r\n";
std::string_view trimmedView(std::string_view s) { return kov::text::trimView(s, kBlanks); }
std::string trimmed(std::string_view s) { return std::string(trimmedView(s)); }

// The handle that DBDatabase hands out: one open database of an engine.
class Database final : public DbHandle {
public:
    Database(std::unique_ptr<Engine> engine, std::string text) : m_engine(std::move(engine)), m_text(std::move(text)) {}
    bool isOpen() const { return m_open; }
    // The database as a message names it (its file, or its settings line).
    const std::string& text() const { return m_text; }
    Engine& engine() { return *m_engine; }
    void close()
    {
        endReads();
        if (m_open) m_engine->close();
        m_open = false;
    }

    // A run's reads (DAO_ReadBegin, DAO_ReadEnd), counted so that nested runs end with
    // the outermost.
    void beginReads()
    {
        if (!m_open || m_reads++ > 0) return;
        ++m_lastRun;
        m_engine->beginSnapshot();
    }
    void endReads()
    {
        if (m_reads == 0 || --m_reads > 0) return;
        if (m_open) m_engine->endSnapshot();
    }
    // The run under way, 0 when none: what a table object keeps of a run's state serves
    // that run only.
    unsigned readRun() const { return m_reads > 0 ? m_lastRun : 0; }
    // A failure of the database itself (-1) is the loss of its server.
    std::string failureDetail(std::int16_t status) const
    {
        return status == kStatusDbOpenClose && m_open && m_engine->lost() ? m_engine->lostDetail() : std::string();
    }

private:
    std::unique_ptr<Engine> m_engine;
    std::string m_text;
    bool m_open = true;
    int m_reads = 0;
    unsigned m_lastRun = 0;
};

// The cause of an object's last failure and the status it gave.
struct Failure {
    std::int16_t status = 0;
    std::string detail;

    // Notes the cause of `st` and gives `st` back.
    std::int16_t note(std::int16_t st, std::string text)
    {
        status = st;
        detail = std::move(text);
        return st;
    }
    // The cause of `st`: the one noted, else that of the database.
    std::string of(std::int16_t st, const Database* db) const
    {
        if (st != 0 && st == status) return detail;
        return db ? db->failureDetail(st) : std::string();
    }
};

// ---- clsDbAccess ----

class DbAccess final : public clsDbAccess {
public:
    explicit DbAccess(std::string appPath) : m_appPath(std::move(appPath)) {}
    ~DbAccess() override = default;

    void setDBIniNameString(const std::string& iniName) override { m_iniName = iniName; }
    std::string DBIniNameString() const override { return m_iniName; }

    std::string failureDetail(std::int16_t status) const override { return m_failure.of(status, m_db.get()); }

    std::int16_t DAO_DBOpen() override
    {
        m_failure = {};
        if (m_db) return kStatusDbIsOpen;
        DatabaseLocation loc;
        if (const std::int16_t st = locateDatabase(kov::settingsFolder(m_appPath), m_iniName, loc); st != kStatusOk)
            return m_failure.note(st, loc.detail);
        EngineOpen opened = openEngine(loc);
        if (opened.status != kStatusOk) {
            // A value of the settings that the engine cannot use names its line.
            return m_failure.note(opened.status,
                                  opened.status == kStatusBadName
                                      ? ini::placeText(loc.iniPath, loc.valueLine) + ": " + opened.message
                                      : opened.message);
        }
        m_db = std::make_shared<Database>(std::move(opened.engine), databaseText(loc));
        return kStatusOk;
    }

    DbHandlePtr DBDatabase() const override { return m_db; }

    std::int16_t DAO_DBClose() override
    {
        if (!m_db) return kStatusDbClosed;
        m_db->close();
        m_db.reset();
        return kStatusOk;
    }

    std::int16_t DAO_ReadBegin() override
    {
        if (!m_db) return kStatusDbClosed;
        m_db->beginReads();
        return kStatusOk;
    }

    std::int16_t DAO_ReadEnd() override
    {
        if (!m_db) return kStatusDbClosed;
        m_db->endReads();
        return kStatusOk;
    }

private:
    // The database as a message names it.
    static std::string databaseText(const DatabaseLocation& loc)
    {
        if (loc.engine == kEngineSqlite) return "データベースファイル「" + loc.path + "」";
        return ini::placeText(loc.iniPath, loc.valueLine) + "の Connection のデータベース";
    }

    std::string m_appPath;
    std::string m_iniName;
    std::shared_ptr<Database> m_db;
    Failure m_failure;
};

// ---- clsTbAccess ----

// A prepared statement for TBRec.
struct Prepared {
    Prepared(std::unique_ptr<Cursor> c, bool position) : cursor(std::move(c)), lastIsPosition(position) {}
    std::unique_ptr<Cursor> cursor;
    bool lastIsPosition; // the last column is the hidden position of the row

    // Asked of the statement each time: a statement kept from an earlier open takes on
    // a table changed since at its first step.
    int positionColumn() const { return lastIsPosition ? cursor->columnCount() - 1 : -1; }

    int find(const std::string& name) const
    {
        const int index = cursor->findColumn(name);
        return lastIsPosition && index >= positionColumn() ? -1 : index;
    }
};

std::size_t g_findRowsLimit = kFindRowsLimit;

bool plainName(std::string_view s)
{
    return !s.empty() && !std::isdigit(static_cast<unsigned char>(s[0])) && std::all_of(s.begin(), s.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
    });
}

// A condition "column = literal" on the column `key` (without regard to case): the
// literal (a whole number as an integer, a text as a text); false for anything else.
bool keyEquality(std::string_view c, std::string_view key, DbValue& value)
{
    const std::size_t eq = c.find('=');
    if (eq == std::string_view::npos) return false;
    if (!kov::text::equalsIgnoringAsciiCase(trimmedView(c.substr(0, eq)), key)) return false;
    const std::string_view literal = trimmedView(c.substr(eq + 1));
    if (!literal.empty() && literal.front() == '\'') {
        std::string text;
        if (sql::scanQuoted(literal, 0, &text) != literal.size()) return false;
        value = std::move(text);
        return true;
    }
    std::int64_t v = 0;
    const auto r = std::from_chars(literal.data(), literal.data() + literal.size(), v);
    if (literal.empty() || r.ec != std::errc() || r.ptr != literal.data() + literal.size()) return false;
    value = v;
    return true;
}

// The SQL of an open, from its arguments: the parts that its count, its rows and its
// finds are made of.
struct OpenQuery {
    bool group = false;
    std::string table;
    std::string list; // the select list of a grouped open
    std::string from; // " FROM "t""
    std::string cond; // the condition, trimmed
    std::string where; // " WHERE (cond)", or empty
    std::string groupBy; // " GROUP BY ...", or empty
    std::string ord; // the order, trimmed
    std::string pos; // the engine's position expression for a table open, else empty
    std::string groupSql; // the grouped query (its rows)

    OpenQuery(Engine& engine, bool grouped, std::string tableName, const std::string& select,
              const std::string& criteria, const std::string& grouping, const std::string& order)
        : group(grouped), table(std::move(tableName)), list(trimmed(select)), from(" FROM " + engine.quoteTable(table)),
          cond(trimmed(criteria)), ord(trimmed(order))
    {
        if (!cond.empty()) where = " WHERE (" + cond + "\n)";
        if (const std::string g = trimmed(grouping); !g.empty()) groupBy = " GROUP BY " + g + "\n";
        if (group)
            groupSql =
                "SELECT " + list + from + where + groupBy + (ord.empty() ? std::string() : " ORDER BY " + ord + "\n");
        else pos = engine.rowPositionExpression();
    }

    // A grouped result has one row a group whatever its select list (unless DISTINCT): the
    // count leaves the list out, so that its sums are not computed twice on a large table.
    std::string countSql() const
    {
        const bool distinct = kov::text::foldAsciiCase(list.substr(0, list.find_first_of(" \t\r\n"))) == "distinct";
        const std::string countList = group && (groupBy.empty() || distinct) ? list : std::string("1");
        return "SELECT COUNT(*) FROM (SELECT " + countList + from + where + (group ? groupBy : std::string()) +
               " LIMIT " + std::to_string(kMaxRowCount + 1) + ") AS q";
    }

    // The table's own order is its position order; it also breaks ties of the order.
    std::string positionOrderBy() const { return " ORDER BY " + (ord.empty() ? pos : ord + "\n, " + pos); }
    std::string positionedSql() const { return "SELECT *, " + pos + from + where + positionOrderBy(); }
    // The rows of positionedSql when they are fewer than kFewRows, else none: a count that
    // stops at kFewRows decides, once, before any row is read.
    std::string fewRowsSql() const
    {
        const std::string few = std::to_string(kFewRows);
        return "SELECT * FROM (" + positionedSql() + ") AS q WHERE (SELECT COUNT(*) FROM (SELECT 1" + from + where +
               " LIMIT " + few + ") AS n) < " + few;
    }
};

// The statements of an open's rows, and what its finds are made of.
struct OpenRows {
    std::unique_ptr<Prepared> stream;
    std::unique_ptr<Prepared> positioned; // the rows with their positions, when stream lacks them
    std::string selectList;
    std::string findFrom;
    std::string orderBy;
    std::string position; // the position expression, when the rows have it
};

// The rows of a table open: with their positions when the engine has them, otherwise (or
// for a view) without.
OpenRows prepareTableRows(Engine& engine, const OpenQuery& q, Rows expected)
{
    OpenRows rows;
    std::string error;
    rows.findFrom = q.from;
    if (!q.pos.empty()) {
        rows.selectList = "SELECT *, " + q.pos;
        rows.orderBy = q.positionOrderBy();
        if (auto c = engine.prepare(q.positionedSql(), &error, expected)) {
            rows.stream = std::make_unique<Prepared>(std::move(c), true);
            rows.position = q.pos;
        }
        // The whole table in its own order, on an engine whose plain scan gives that
        // order: read without the position and without an order, which the engine may
        // make and send at less cost. Reading on after a find takes the statement
        // with the position.
        if (rows.stream && q.ord.empty() && q.cond.empty() && engine.scansInPositionOrder(expected)) {
            if (auto c = engine.prepare("SELECT *" + q.from, &error, expected)) {
                rows.positioned = std::move(rows.stream);
                rows.stream = std::make_unique<Prepared>(std::move(c), false);
            }
        }
    }
    if (!rows.stream) {
        rows.selectList = "SELECT *";
        rows.orderBy = q.ord.empty() ? std::string() : " ORDER BY " + q.ord + "\n";
        if (auto c = engine.prepare(rows.selectList + q.from + q.where + rows.orderBy, &error, expected))
            rows.stream = std::make_unique<Prepared>(std::move(c), false);
    }
    return rows;
}

OpenRows prepareGroupRows(Engine& engine, const OpenQuery& q, Rows expected)
{
    OpenRows rows;
    std::string error;
    if (auto c = engine.prepare(q.groupSql, &error, expected))
        rows.stream = std::make_unique<Prepared>(std::move(c), false);
    rows.selectList = "SELECT *";
    rows.findFrom = " FROM (" + q.groupSql + ") AS q";
    return rows;
}

class TbAccess final : public clsTbAccess {
public:
    TbAccess() = default;
    ~TbAccess() override { release(); }

    void setTBDatabase(DbHandlePtr db) override { m_handle = std::move(db); }
    DbHandlePtr TBDatabase() const override { return m_handle; }
    void setTBNameString(const std::string& tableName) override { m_name = tableName; }
    std::string TBNameString() const override { return m_name; }
    std::string failureDetail(std::int16_t status) const override
    {
        return m_failure.of(status, dynamic_cast<const Database*>(m_handle.get()));
    }

    std::int16_t DAO_TableOpen(const std::string& criteria, const std::string& order) override
    {
        return open(false, {}, criteria, {}, order);
    }

    std::int16_t DAO_TableGroupOpen(const std::string& select, const std::string& criteria, const std::string& grouping,
                                    const std::string& order) override
    {
        return open(true, select, criteria, grouping, order);
    }

    std::int16_t DAO_RecFind(std::int32_t mode, const std::string& criteria) override;
    void declareLookup(const std::string& keyColumn, const std::vector<std::string>& columns) override
    {
        m_lookupKey = keyColumn;
        m_lookupColumns = columns;
        m_lookup.reset();
        m_lookupRun = 0;
    }
    std::int16_t DAO_RecRead(std::int32_t mode) override;
    DbValue TBRec(const std::string& column) const override;

    std::int16_t DAO_TableClose() override
    {
        if (!m_open) return kStatusTbClosed;
        release();
        return kStatusOk;
    }

private:
    enum class Position { BeforeFirst, OnStream, OnFind, AfterLast };

    std::int16_t open(bool group, const std::string& select, const std::string& criteria, const std::string& grouping,
                      const std::string& order);
    std::int16_t countRows(Database& db, const OpenQuery& q, std::int64_t& n);
    // Whether the database of the open result is still open (calls give -5 otherwise).
    bool databaseOpen() const { return m_db && m_db->isOpen(); }
    std::int16_t stepStream();
    // The status of a failed statement: -1 when the database went away, else -66.
    std::int16_t failure() const { return m_db->engine().lost() ? kStatusDbOpenClose : kStatusSqlError; }
    std::int16_t readAfterFound();
    std::string rowsTail(std::string_view extra) const;
    std::int16_t runFind(Prepared& p);
    std::optional<std::int16_t> lookUp(std::string_view criteria);
    bool loadLookup();
    [[noreturn]] void throwNoColumn(const std::string& column) const;
    void release()
    {
        m_single.reset();
        m_lookup.reset();
        m_lookupLoader.reset();
        m_lookupRun = 0;
        m_find = nullptr;
        m_found.clear();
        m_stream.reset();
        m_positioned.reset();
        m_db.reset();
        m_open = false;
        m_pos = Position::BeforeFirst;
    }

    DbHandlePtr m_handle;
    std::string m_name;
    Failure m_failure;

    // The open result. m_db is declared first so that the statements go before it.
    std::shared_ptr<Database> m_db;
    bool m_open = false;
    bool m_group = false;
    std::string m_criteria; // trimmed condition of a table open (a grouped one has it in m_from)
    std::string m_orderBy; // " ORDER BY ..." of a table open (with the position tie-break)
    std::string m_selectList; // "SELECT *, rowid" of a table open with positions, else "SELECT *"
    std::string m_from; // " FROM "t"", or " FROM (the grouped query) AS q"
    std::string m_position; // the position expression, when the open has positions
    std::unique_ptr<Prepared> m_stream;
    std::unique_ptr<Prepared> m_positioned; // the rows with their positions, when m_stream lacks them
    std::unique_ptr<Prepared> m_single; // the statement of the last single find
    // The lookups that the program declared (declareLookup), and their rows for the run
    // under way (null when the run's finds are single finds).
    std::string m_lookupKey;
    std::vector<std::string> m_lookupColumns;
    std::unique_ptr<Prepared> m_lookupLoader; // the statement of the rows, for their column names
    std::unique_ptr<LookupRows> m_lookup;
    unsigned m_lookupRun = 0; // the run they were read for
    // The found row of the last successful find, copied out of its statement so that
    // the statement can be reset at once: a row that stays current for a long time
    // (the management record, for the life of a screen) holds no read lock.
    const Prepared* m_find = nullptr; // its column names
    std::vector<DbValue> m_found;
    Position m_pos = Position::BeforeFirst;
};

// The rows that an open counts (up to kMaxRowCount + 1) into `n`; a failure's status.
std::int16_t TbAccess::countRows(Database& db, const OpenQuery& q, std::int64_t& n)
{
    Engine& engine = db.engine();
    const std::string countSql = q.countSql();
    std::string error;
    std::unique_ptr<Cursor> count = engine.prepare(countSql, &error, Rows::One);
    if (count && count->step() != StepResult::Row) {
        // The statement may be one kept from an earlier open, of a table dropped since:
        // the count is tried once more on a statement prepared afresh.
        count.reset();
        if (engine.lost()) return kStatusDbOpenClose;
        count = engine.prepare(countSql, &error, Rows::One);
        if (count && count->step() != StepResult::Row) return engine.lost() ? kStatusDbOpenClose : kStatusSqlError;
    }
    if (!count) {
        if (engine.lost()) return kStatusDbOpenClose;
        const bool exists = engine.tableExists(q.table);
        if (engine.lost()) return kStatusDbOpenClose;
        if (exists) return kStatusSqlError;
        // Mostly a settings file that names another database than the payroll one.
        return m_failure.note(kStatusTbOpenClose, db.text() + "にテーブル「" + q.table +
                                                      "」がありません（設定ファイルの Path か Connection "
                                                      "が別のデータベースを指していないか確かめてください）。");
    }
    const DbValue rows = count->value(0);
    n = std::holds_alternative<std::int64_t>(rows) ? std::get<std::int64_t>(rows) : 0;
    return kStatusOk;
}

std::int16_t TbAccess::open(bool group, const std::string& select, const std::string& criteria,
                            const std::string& grouping, const std::string& order)
{
    if (m_open) return kStatusTbIsOpen;
    m_failure = {};
    auto db = std::dynamic_pointer_cast<Database>(m_handle);
    if (!db || !db->isOpen()) return kStatusDbClosed;
    std::string table = trimmed(m_name);
    if (table.empty()) return m_failure.note(kStatusTbOpenClose, "テーブルの名前がありません。");
    if (group && trimmedView(select).empty()) return kStatusNoArgument;

    Engine& engine = db->engine();
    const OpenQuery q(engine, group, std::move(table), select, criteria, grouping, order);
    // The statement of the rows, as it is tried first below: the engine may prepare it
    // along with the count.
    if (group) engine.expect(q.groupSql, {});
    else if (!q.pos.empty()) engine.expect(q.positionedSql(), q.fewRowsSql());
    std::int64_t n = 0;
    if (const std::int16_t st = countRows(*db, q, n); st != kStatusOk) return st;

    // A result that the count found small may be read whole by the engine.
    const Rows expected = n < kFewRows ? Rows::Few : Rows::Many;
    OpenRows rows = group ? prepareGroupRows(engine, q, expected) : prepareTableRows(engine, q, expected);
    if (!rows.stream) return engine.lost() ? kStatusDbOpenClose : kStatusSqlError;

    m_db = std::move(db);
    m_group = group;
    // A grouped open's condition is inside its query; a find adds only its own.
    m_criteria = group ? std::string() : q.cond;
    m_orderBy = std::move(rows.orderBy);
    m_selectList = std::move(rows.selectList);
    m_from = std::move(rows.findFrom);
    m_position = std::move(rows.position);
    m_stream = std::move(rows.stream);
    m_positioned = std::move(rows.positioned);
    m_open = true;
    return static_cast<std::int16_t>(std::min<std::int64_t>(n, kMaxRowCount));
}

std::int16_t TbAccess::stepStream()
{
    switch (m_stream->cursor->step()) {
    case StepResult::Row:
        m_pos = Position::OnStream;
        return kStatusOk;
    case StepResult::Done:
        // Reset at once to end the read transaction; the position keeps further reads at -9.
        m_stream->cursor->rewind();
        m_pos = Position::AfterLast;
        return kStatusEof;
    case StepResult::Error:
        break;
    }
    m_stream->cursor->rewind();
    m_pos = Position::AfterLast;
    return failure();
}

std::int16_t TbAccess::DAO_RecRead(std::int32_t mode)
{
    if (!m_open) return kStatusTbClosed;
    if (!databaseOpen()) return kStatusDbClosed;
    if (mode == 1) {
        m_stream->cursor->rewind();
        return stepStream();
    }
    if (mode != 2) return kStatusNoArgument;
    switch (m_pos) {
    case Position::BeforeFirst:
        m_stream->cursor->rewind();
        return stepStream();
    case Position::OnStream:
        return stepStream();
    case Position::OnFind:
        return readAfterFound();
    case Position::AfterLast:
        break;
    }
    return kStatusEof; // stays at the end; the statement is not stepped again
}

// The row after a found row, in the order of the open result: the result is read again
// up to the found row. Finds are for lookups; reading on after a find is rare.
std::int16_t TbAccess::readAfterFound()
{
    // The found row is found again by its position: the rows are read from here on with it.
    if (m_positioned) m_stream = std::move(m_positioned);
    Cursor& s = *m_stream->cursor;
    s.rewind();
    // A found row with positions has its position last, whatever columns it has.
    const int foundPosition = m_find->lastIsPosition ? static_cast<int>(m_found.size()) - 1 : -1;
    for (;;) {
        const StepResult r = s.step();
        if (r != StepResult::Row) {
            s.rewind();
            m_pos = Position::AfterLast;
            return r == StepResult::Done ? kStatusEof : failure();
        }
        bool same;
        if (!m_position.empty() && foundPosition >= 0) {
            same = s.value(m_stream->positionColumn()) == m_found[static_cast<std::size_t>(foundPosition)];
        } else {
            const int n = s.columnCount();
            same = static_cast<std::size_t>(n) == m_found.size();
            for (int i = 0; same && i < n; ++i) same = s.value(i) == m_found[static_cast<std::size_t>(i)];
        }
        if (same) return stepStream();
    }
}

// The query of the open's rows after its select list: its table, its condition and
// `extra`, its order.
std::string TbAccess::rowsTail(std::string_view extra) const
{
    const std::string_view criteria = m_criteria;
    std::string tail = m_from;
    auto condition = [&tail](std::string_view c) {
        tail += '(';
        tail += c;
        tail += "\n)";
    };
    if (!criteria.empty() || !extra.empty()) tail += " WHERE ";
    if (!criteria.empty()) condition(criteria);
    if (!criteria.empty() && !extra.empty()) tail += " AND ";
    if (!extra.empty()) condition(extra);
    tail += m_orderBy;
    return tail;
}

// Steps the find `p` and, when it gives a row, makes a copy of that row the found row.
std::int16_t TbAccess::runFind(Prepared& p)
{
    Cursor& c = *p.cursor;
    const StepResult r = c.step();
    if (r == StepResult::Row) {
        const int n = c.columnCount();
        m_found.resize(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) c.valueInto(i, m_found[static_cast<std::size_t>(i)]);
        m_find = &p;
    }
    c.rewind();
    if (r == StepResult::Error) return failure();
    return r == StepResult::Row ? kStatusOk : kStatusNotFound;
}

std::int16_t TbAccess::DAO_RecFind(std::int32_t mode, const std::string& criteria)
{
    if (!m_open) return kStatusTbClosed;
    if (!databaseOpen()) return kStatusDbClosed;
    if (mode != 1) return kStatusNoArgument;
    // No row is current after a failed find.
    m_pos = Position::BeforeFirst;
    m_find = nullptr;
    if (const std::optional<std::int16_t> st = lookUp(trimmedView(criteria))) return *st;
    // A single find: its own statement, the open's rows that also match `criteria`.
    std::string error;
    std::unique_ptr<Cursor> c =
        m_db->engine().prepare(m_selectList + rowsTail(trimmedView(criteria)) + " LIMIT 1", &error, Rows::One);
    if (!c) return failure();
    m_single = std::make_unique<Prepared>(std::move(c), !m_position.empty());
    const std::int16_t st = runFind(*m_single);
    if (st == kStatusOk) m_pos = Position::OnFind;
    return st;
}

// A find of the declared key within a run, answered from the rows read for the run;
// nullopt when it is the single find's (another condition, no run, rows that cannot
// tell).
std::optional<std::int16_t> TbAccess::lookUp(std::string_view criteria)
{
    const unsigned run = m_db->readRun();
    DbValue value;
    if (run == 0 || m_position.empty() || m_group || !keyEquality(criteria, m_lookupKey, value)) return std::nullopt;
    if (m_lookupRun != run) {
        m_lookupRun = run;
        if (!loadLookup()) {
            m_lookup.reset();
            if (m_db->engine().lost()) return failure();
        }
    }
    const std::vector<DbValue>* row = nullptr;
    switch (m_lookup ? m_lookup->find(value, &row) : LookupRows::Answer::Unknown) {
    case LookupRows::Answer::Unknown:
        return std::nullopt;
    case LookupRows::Answer::NotFound:
        return kStatusNotFound;
    case LookupRows::Answer::Found:
        break;
    }
    m_found.assign(row->begin(), row->end());
    m_find = m_lookupLoader.get();
    m_pos = Position::OnFind;
    return kStatusOk;
}

// Reads the open's rows for the declared lookups: the key, the declared columns and the
// position, in the open's order. False when they cannot serve (a column that is not the
// table's, keys of mixed kinds, rows past the memory bound).
bool TbAccess::loadLookup()
{
    if (!plainName(m_lookupKey) || !std::all_of(m_lookupColumns.begin(), m_lookupColumns.end(), plainName))
        return false;
    std::string sql = "SELECT " + m_lookupKey;
    for (const std::string& c : m_lookupColumns) sql += ", " + c;
    sql += ", " + m_position + rowsTail({});
    std::string error;
    std::unique_ptr<Cursor> c = m_db->engine().prepare(sql, &error, Rows::Many);
    if (!c) return false;
    auto rows =
        std::make_unique<LookupRows>(0, c->comparesAsStored(0, false), c->comparesAsStored(0, true), g_findRowsLimit);
    std::vector<DbValue> row(static_cast<std::size_t>(c->columnCount()));
    StepResult r;
    while ((r = c->step()) == StepResult::Row) {
        for (std::size_t i = 0; i < row.size(); ++i) c->valueInto(static_cast<int>(i), row[i]);
        if (!rows->add(row)) break;
    }
    c->rewind();
    if (r != StepResult::Done) return false;
    m_lookup = std::move(rows);
    m_lookupLoader = std::make_unique<Prepared>(std::move(c), true);
    return true;
}

void TbAccess::throwNoColumn(const std::string& column) const
{
    const bool looked = m_pos == Position::OnFind && m_find == m_lookupLoader.get();
    throw RuntimeError(RuntimeErrorKind::InvalidArgument,
                       "TBRec: 列「" + column + "」は「" + m_name +
                           (looked ? "」の検索に宣言した列にありません。" : "」にありません。"));
}

DbValue TbAccess::TBRec(const std::string& column) const
{
    if (!m_open || !databaseOpen()) return std::monostate{};
    const Prepared& p = m_pos == Position::OnFind ? *m_find : *m_stream;
    const int index = p.find(column);
    if (index < 0) throwNoColumn(column);
    if (m_pos == Position::OnFind) return m_found[static_cast<std::size_t>(index)];
    if (m_pos != Position::OnStream) return std::monostate{};
    return m_stream->cursor->value(index);
}
} // namespace

std::unique_ptr<clsDbAccess> makeDbAccess(const std::string& appPath) { return std::make_unique<DbAccess>(appPath); }
std::unique_ptr<clsTbAccess> makeTbAccess() { return std::make_unique<TbAccess>(); }

void setFindRowsLimit(std::size_t bytes) { g_findRowsLimit = bytes; }

void registerComponent(const std::string& appPath)
{
    RegisterClass(kProgIdDbAccess, [appPath]() -> std::unique_ptr<ComObject> { return makeDbAccess(appPath); });
    RegisterClass(kProgIdTbAccess, []() -> std::unique_ptr<ComObject> { return makeTbAccess(); });
    setEndHook(closeIdleConnections);
}

} // namespace kov::tessera
