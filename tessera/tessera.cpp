// clsDbAccess and clsTbAccess of Tessera.
//
// A table object never holds a result in memory: an open counts the matching rows
// with one SELECT COUNT(*) (which stops counting past 32767) and prepares the
// statement of the rows, which DAO_RecRead then steps through. A find is a fresh
// query of its own (the open's condition AND the find's condition, LIMIT 1), so that
// it uses the table's indexes; its prepared statement is kept and rebound for the
// next find of the same shape.
#include "tessera/tessera.h"

#include "common/runtimeerror.h"
#include "common/runtimeservices.h"
#include "common/text.h"
#include "tessera/backend.h"
#include "tessera/settings.h"
#include "tessera/sqlparams.h"
#include "tessera/status.h"

#include <algorithm>
#include <list>
#include <unordered_map>

namespace kov::tessera {

using namespace kov::dataaccess;

namespace {

std::string trimmed(std::string_view s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n')) --e;
    return std::string(s.substr(b, e - b));
}

// The handle that DBDatabase hands out: one open database of an engine.
class Database final : public DbHandle {
public:
    explicit Database(std::unique_ptr<Engine> engine) : m_engine(std::move(engine)) {}
    bool isOpen() const { return m_open; }
    Engine& engine() { return *m_engine; }
    void close()
    {
        if (m_open) m_engine->close();
        m_open = false;
    }

private:
    std::unique_ptr<Engine> m_engine;
    bool m_open = true;
};

// ---- clsDbAccess ----

class DbAccess final : public clsDbAccess {
public:
    explicit DbAccess(std::string appPath) : m_appPath(std::move(appPath)) {}
    ~DbAccess() override = default;

    void setDBIniNameString(const std::string& iniName) override { m_iniName = iniName; }
    std::string DBIniNameString() const override { return m_iniName; }

    std::int16_t DAO_DBOpen() override
    {
        if (m_db) return kStatusDbIsOpen;
        DatabaseLocation loc;
        if (const std::int16_t st = locateDatabase(kov::settingsFolder(m_appPath), m_iniName, loc); st != kStatusOk) {
            // A database file that has gone: idle connections to it only hold it open.
            if (!loc.path.empty()) dropIdleConnections(loc.path);
            return st;
        }
        EngineOpen opened = openEngine(loc);
        if (opened.status != kStatusOk) return opened.status;
        m_db = std::make_shared<Database>(std::move(opened.engine));
        m_stamp = changeStamp(loc);
        return kStatusOk;
    }

    DbHandlePtr DBDatabase() const override { return m_db; }

    std::int16_t DAO_DBClose() override
    {
        if (!m_db) return kStatusDbClosed;
        m_db->close();
        m_db.reset();
        m_stamp.clear();
        return kStatusOk;
    }

    std::string DBChangeStamp() const override { return m_db ? m_stamp : std::string(); }

private:
    // SQLite: the database file as the open found it (its settings file was checked
    // against its stat on the way) and its write-ahead log, when it has one: a commit
    // changes one of them. Nothing for a file changed just now (its times may not show the
    // next change) nor for a server's database.
    static std::string changeStamp(const DatabaseLocation& loc)
    {
        if (loc.engine != kEngineSqlite || !loc.file.settled) return {};
        FileIdentity wal;
        const bool hasWal = identifyFile(loc.path + "-wal", wal);
        if (hasWal && !wal.settled) return {};
        // The stamp is only compared: the fields go in as their bytes.
        std::string stamp = loc.path;
        auto add = [&stamp](const FileIdentity& f) {
            const std::uint64_t fields[] = {f.device, f.inode, static_cast<std::uint64_t>(f.size),
                                            static_cast<std::uint64_t>(f.mtimeNs), static_cast<std::uint64_t>(f.ctimeNs)};
            stamp.append(reinterpret_cast<const char*>(fields), sizeof fields);
        };
        stamp += '\0';
        add(loc.file);
        if (hasWal) add(wal);
        else stamp += '-';
        return stamp;
    }

    std::string m_appPath;
    std::string m_iniName;
    std::shared_ptr<Database> m_db;
    std::string m_stamp;
};

// ---- clsTbAccess ----

// A prepared statement for TBRec.
struct Prepared {
    std::unique_ptr<Cursor> cursor;
    bool lastIsPosition = false;  // the last column is the hidden position of the row

    // Asked of the statement each time: a statement kept from an earlier open takes on
    // a table changed since at its first step.
    int positionColumn() const { return lastIsPosition ? cursor->columnCount() - 1 : -1; }

    int find(const std::string& name) const
    {
        const int index = cursor->findColumn(name);
        return lastIsPosition && index >= positionColumn() ? -1 : index;
    }
};

std::unique_ptr<Prepared> makePrepared(std::unique_ptr<Cursor> cursor, bool lastIsPosition)
{
    auto p = std::make_unique<Prepared>();
    p->cursor = std::move(cursor);
    p->lastIsPosition = lastIsPosition;
    return p;
}

class TbAccess final : public clsTbAccess {
public:
    TbAccess() = default;
    ~TbAccess() override { release(); }

    void setTBDatabase(DbHandlePtr db) override { m_handle = std::move(db); }
    DbHandlePtr TBDatabase() const override { return m_handle; }
    void setTBNameString(const std::string& tableName) override { m_name = tableName; }
    std::string TBNameString() const override { return m_name; }

    std::int16_t DAO_TableOpen(const std::string& criteria, const std::string& order) override
    {
        return open(false, {}, criteria, {}, order);
    }

    std::int16_t DAO_TableGroupOpen(const std::string& select, const std::string& criteria,
                                    const std::string& grouping, const std::string& order) override
    {
        return open(true, select, criteria, grouping, order);
    }

    std::int16_t DAO_RecFind(std::int32_t mode, const std::string& criteria) override;
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

    std::int16_t open(bool group, const std::string& select, const std::string& criteria,
                      const std::string& grouping, const std::string& order);
    // Whether the database of the open result is still open (calls give -5 otherwise).
    bool databaseOpen() const { return m_db && m_db->isOpen(); }
    std::int16_t stepStream();
    // The status of a failed statement: -1 when the database went away, else -66.
    std::int16_t failure() const { return m_db->engine().lost() ? kStatusDbOpenClose : kStatusSqlError; }
    std::int16_t readAfterFound();
    std::string findSql(const std::string& criteria, const std::string& extra) const;
    Prepared* findStatement(const std::string& extra, std::vector<DbValue>& binds);
    void release()
    {
        m_findCache.clear();
        m_find = nullptr;
        m_found.clear();
        m_stream.reset();
        m_db.reset();
        m_open = false;
        m_pos = Position::BeforeFirst;
    }

    DbHandlePtr m_handle;
    std::string m_name;

    // The open result. m_db is declared first so that the statements go before it.
    std::shared_ptr<Database> m_db;
    bool m_open = false;
    bool m_group = false;
    std::string m_criteria;     // trimmed condition of the open
    std::string m_orderBy;      // " ORDER BY ..." of a table open (with the position tie-break)
    std::string m_groupSql;     // the whole grouped query
    std::string m_selectFrom;   // "SELECT *, rowid FROM "t"" of a table open
    bool m_hasPosition = false;
    std::unique_ptr<Prepared> m_stream;
    std::list<std::pair<std::string, std::unique_ptr<Prepared>>> m_findCache;  // most recent first
    // The found row of the last successful find, copied out of its statement so that
    // the statement can be reset at once: a row that stays current for a long time
    // (the management record, for the life of a screen) holds no read lock.
    const Prepared* m_find = nullptr;  // its column names
    std::vector<DbValue> m_found;
    Position m_pos = Position::BeforeFirst;
};

constexpr std::size_t kFindCacheSize = 8;

std::int16_t TbAccess::open(bool group, const std::string& select, const std::string& criteria,
                            const std::string& grouping, const std::string& order)
{
    if (m_open) return kStatusTbIsOpen;
    auto db = std::dynamic_pointer_cast<Database>(m_handle);
    if (!db || !db->isOpen()) return kStatusDbClosed;
    const std::string table = trimmed(m_name);
    if (table.empty()) return kStatusTbOpenClose;
    const std::string list = trimmed(select);
    if (group && list.empty()) return kStatusNoArgument;

    Engine& engine = db->engine();
    const std::string from = " FROM " + engine.quoteTable(table);
    const std::string cond = trimmed(criteria);
    const std::string where = cond.empty() ? std::string() : " WHERE (" + cond + "\n)";
    const std::string groupBy = trimmed(grouping).empty() ? std::string() : " GROUP BY " + trimmed(grouping) + "\n";
    const std::string ord = trimmed(order);
    const std::string limit = " LIMIT " + std::to_string(kMaxRowCount + 1);

    // A grouped result has one row a group whatever its select list (unless DISTINCT): the
    // count leaves the list out, so that its sums are not computed twice on a large table.
    const bool distinct = kov::text::foldAsciiCase(list.substr(0, list.find_first_of(" \t\r\n"))) == "distinct";
    const std::string countList = group && (groupBy.empty() || distinct) ? list : std::string("1");
    const std::string countSql =
        "SELECT COUNT(*) FROM (SELECT " + countList + from + where + (group ? groupBy : std::string()) + limit + ") AS q";
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
        return engine.tableExists(table) ? kStatusSqlError : kStatusTbOpenClose;
    }
    const DbValue rows = count->value(0);
    count.reset();
    const std::int64_t n = std::holds_alternative<std::int64_t>(rows) ? std::get<std::int64_t>(rows) : 0;

    // A result that the count found small may be read whole by the engine.
    const Rows expected = n < kFewRows ? Rows::Few : Rows::Many;
    std::unique_ptr<Prepared> stream;
    std::string groupSql, selectFrom, orderBy;
    bool hasPosition = false;
    if (group) {
        groupSql = "SELECT " + list + from + where + groupBy + (ord.empty() ? std::string() : " ORDER BY " + ord + "\n");
        if (auto c = engine.prepare(groupSql, &error, expected)) stream = makePrepared(std::move(c), false);
    } else {
        // The table's own order is its position order; it also breaks ties of `order`.
        const std::string pos = engine.rowPositionExpression();
        if (!pos.empty()) {
            selectFrom = "SELECT *, " + pos + from;
            orderBy = " ORDER BY " + (ord.empty() ? pos : ord + "\n, " + pos);
            if (auto c = engine.prepare(selectFrom + where + orderBy, &error, expected)) {
                stream = makePrepared(std::move(c), true);
                hasPosition = true;
            }
        }
        if (!stream) {  // an engine without positions, or a view
            selectFrom = "SELECT *" + from;
            orderBy = ord.empty() ? std::string() : " ORDER BY " + ord + "\n";
            if (auto c = engine.prepare(selectFrom + where + orderBy, &error, expected)) stream = makePrepared(std::move(c), false);
        }
    }
    if (!stream) return engine.lost() ? kStatusDbOpenClose : kStatusSqlError;

    m_db = std::move(db);
    m_group = group;
    m_criteria = cond;
    m_orderBy = std::move(orderBy);
    m_groupSql = std::move(groupSql);
    m_selectFrom = std::move(selectFrom);
    m_hasPosition = hasPosition;
    m_stream = std::move(stream);
    m_findCache.clear();
    m_find = nullptr;
    m_pos = Position::BeforeFirst;
    m_open = true;
    return static_cast<std::int16_t>(std::min<std::int64_t>(n, kMaxRowCount));
}

std::int16_t TbAccess::stepStream()
{
    switch (m_stream->cursor->step()) {
    case StepResult::Row: m_pos = Position::OnStream; return kStatusOk;
    case StepResult::Done:
        // Reset at once to end the read transaction; the position keeps further reads at -9.
        m_stream->cursor->rewind();
        m_pos = Position::AfterLast;
        return kStatusEof;
    case StepResult::Error: break;
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
    case Position::BeforeFirst: m_stream->cursor->rewind(); return stepStream();
    case Position::OnStream: return stepStream();
    case Position::OnFind: return readAfterFound();
    case Position::AfterLast: break;
    }
    return kStatusEof;  // stays at the end; the statement is not stepped again
}

// The row after a found row, in the order of the open result: the result is read again
// up to the found row. Finds are for lookups; reading on after a find is rare.
std::int16_t TbAccess::readAfterFound()
{
    Cursor& s = *m_stream->cursor;
    s.rewind();
    const int foundPosition = m_find->lastIsPosition ? static_cast<int>(m_found.size()) - 1 : -1;
    for (;;) {
        const StepResult r = s.step();
        if (r != StepResult::Row) {
            s.rewind();
            m_pos = Position::AfterLast;
            return r == StepResult::Done ? kStatusEof : failure();
        }
        bool same;
        if (m_hasPosition && foundPosition >= 0) {
            same = s.value(m_stream->positionColumn()) == m_found[static_cast<std::size_t>(foundPosition)];
        } else {
            const int n = s.columnCount();
            same = static_cast<std::size_t>(n) == m_found.size();
            for (int i = 0; same && i < n; ++i) same = s.value(i) == m_found[static_cast<std::size_t>(i)];
        }
        if (same) return stepStream();
    }
}

// The query of a find: the open's rows (its condition `criteria`, its order) that also
// match `extra`, first row only.
std::string TbAccess::findSql(const std::string& criteria, const std::string& extra) const
{
    if (m_group) {
        return "SELECT * FROM (" + m_groupSql + ") AS q" + (extra.empty() ? std::string() : " WHERE (" + extra + "\n)") +
               " LIMIT 1";
    }
    std::string where;
    if (!criteria.empty() && !extra.empty()) where = " WHERE (" + criteria + "\n) AND (" + extra + "\n)";
    else if (!criteria.empty()) where = " WHERE (" + criteria + "\n)";
    else if (!extra.empty()) where = " WHERE (" + extra + "\n)";
    return m_selectFrom + where + m_orderBy + " LIMIT 1";
}

// The prepared find for the condition `extra`: its literals (and those of the open's
// condition) become parameters, so that the statement serves every later find of the
// same shape with new values. The literal SQL is used when the conditions cannot be
// rewritten, or when the rewritten form does not compile.
Prepared* TbAccess::findStatement(const std::string& extra, std::vector<DbValue>& binds)
{
    binds.clear();
    std::string key;
    std::string criteriaParams, extraParams;
    std::vector<DbValue> criteriaValues, extraValues;
    const PlaceholderStyle style = m_db->engine().placeholderStyle();
    const bool rewritten = (m_group || parameterize(m_criteria, criteriaParams, criteriaValues, style, 1)) &&
                           parameterize(extra, extraParams, extraValues, style,
                                        1 + static_cast<int>(criteriaValues.size()));
    std::string sql;
    if (rewritten) {
        sql = findSql(m_group ? m_criteria : criteriaParams, extraParams);
        binds = std::move(criteriaValues);
        binds.insert(binds.end(), extraValues.begin(), extraValues.end());
        // The kinds of the values belong to the statement: an engine may type its
        // parameters by them.
        key = sql + '\0';
        for (const DbValue& v : binds) key += static_cast<char>('0' + v.index());
    } else {
        sql = findSql(m_criteria, extra);
        key = sql;
    }
    for (auto it = m_findCache.begin(); it != m_findCache.end(); ++it) {
        if (it->first == key) {
            m_findCache.splice(m_findCache.begin(), m_findCache, it);
            return m_findCache.front().second.get();
        }
    }
    std::string error;
    std::unique_ptr<Cursor> c = m_db->engine().prepare(sql, &error, Rows::One, binds);
    if (!c && rewritten && !m_db->engine().lost()) {
        binds.clear();
        key = findSql(m_criteria, extra);
        c = m_db->engine().prepare(key, &error, Rows::One);
    }
    if (!c) return nullptr;
    if (m_findCache.size() >= kFindCacheSize) m_findCache.pop_back();
    m_findCache.emplace_front(std::move(key), makePrepared(std::move(c), m_hasPosition));
    return m_findCache.front().second.get();
}

std::int16_t TbAccess::DAO_RecFind(std::int32_t mode, const std::string& criteria)
{
    if (!m_open) return kStatusTbClosed;
    if (!databaseOpen()) return kStatusDbClosed;
    if (mode != 1) return kStatusNoArgument;
    std::vector<DbValue> binds;
    m_pos = Position::BeforeFirst;
    m_find = nullptr;
    Prepared* p = findStatement(trimmed(criteria), binds);
    if (!p) { m_pos = Position::BeforeFirst; return failure(); }
    if (!p->cursor->bindAll(binds)) { m_pos = Position::BeforeFirst; return failure(); }
    switch (p->cursor->step()) {
    case StepResult::Row: {
        const int n = p->cursor->columnCount();
        m_found.resize(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) p->cursor->valueInto(i, m_found[static_cast<std::size_t>(i)]);
        p->cursor->rewind();
        m_find = p;
        m_pos = Position::OnFind;
        return kStatusOk;
    }
    case StepResult::Done:
        // No row is current after a failed find.
        p->cursor->rewind();
        m_pos = Position::BeforeFirst;
        return kStatusNotFound;
    case StepResult::Error: break;
    }
    p->cursor->rewind();
    m_pos = Position::BeforeFirst;
    return failure();
}

DbValue TbAccess::TBRec(const std::string& column) const
{
    if (!m_open || !databaseOpen()) return std::monostate{};
    const Prepared* p = m_pos == Position::OnFind ? m_find : m_stream.get();
    const int index = p->find(column);
    if (index < 0)
        throw RuntimeError(RuntimeErrorKind::InvalidArgument,
                           "TBRec: 列「" + column + "」は「" + m_name + "」にありません。");
    if (m_pos == Position::OnFind) return m_found[static_cast<std::size_t>(index)];
    if (m_pos != Position::OnStream) return std::monostate{};
    return p->cursor->value(index);
}

} // namespace

std::unique_ptr<clsDbAccess> makeDbAccess(const std::string& appPath) { return std::make_unique<DbAccess>(appPath); }
std::unique_ptr<clsTbAccess> makeTbAccess() { return std::make_unique<TbAccess>(); }

void registerComponent(const std::string& appPath)
{
    RegisterClass(kProgIdDbAccess, [appPath]() -> std::unique_ptr<ComObject> { return makeDbAccess(appPath); });
    RegisterClass(kProgIdTbAccess, []() -> std::unique_ptr<ComObject> { return makeTbAccess(); });
}

} // namespace kov::tessera
