// The PostgreSQL engine of Tessera, over libpq.
//
// Reads stream: the rows of a table are read through a server-side cursor (DECLARE in
// a read-only transaction, FETCH in batches), so that a client holds one batch of rows
// at a time whatever the size of the table. Counts and finds, which give one row, run
// as prepared statements of their own; their parameters are typed by the values that
// the component binds. Values come as text and are decoded by the type of their
// column: integers as integers, NUMERIC exactly (as integers when whole, otherwise as
// their decimal text, which the fixed-point type parses without a detour through a
// double), text as text.
//
// The server folds unquoted names to lower case: the schema creates its tables and
// columns unquoted, the component names a table in lower case, and columns are found
// without regard to case.
//
// The pieces, from the wire up, each with one job:
//   Session         one libpq connection: its loss, the bounded wait for results, the
//                   settings sent before its first command, the commands in flight
//                   (InFlight: each takes its own results before the next command goes
//                   out), those deferred to the round trip of the next command (the
//                   close of a cursor that the transaction goes on without), and the
//                   results of a run kept for a cursor's first step (a count's, and the
//                   few rows read along with it)
//   Batch           the commands of one pipelined round trip, each with its result
//   StatementCache  the statements prepared on a session
//   ReadAhead       the batches one cursor has asked for ahead of the one it reads
//   Connection      a session shared by the engines open on one database: its read
//                   transaction, its cursors, and the preparation of statements (with
//                   those expected next, and a count's or a find's run, in one trip)
//   ServerCursor    one server-side cursor: DECLARE, FETCH, CLOSE
//   PgCursor        the rows of a statement, stepped (Cursor of backend.h)
//   PgEngine        an open database (Engine of backend.h), and openPostgresql below
#include "common/dataaccess/dataaccess.h"
#include "common/sqltext.h"
#include "common/text.h"
#include "tessera/backend.h"
#include "tessera/columnnames.h"
#include "tessera/idlepool.h"
#include "tessera/status.h"

#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace kov::tessera {

namespace {

constexpr int kFetchRows = 1000; // rows of one FETCH
constexpr int kFetchesAhead = 3; // FETCHes of a cursor sent at once, ahead of the batch it reads
constexpr std::size_t kStatementsPerConnection = 32;
constexpr auto kIdleCheckAfter = std::chrono::seconds(1); // an idle connection older than this is checked
// Every read transaction: one state of the database for all its statements.
constexpr const char* kBeginRead = "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY";

// Type OIDs of the built-in types (pg_type.oid, fixed by the server).
constexpr Oid kOidBool = 16, kOidInt8 = 20, kOidInt2 = 21, kOidInt4 = 23, kOidOid = 26, kOidFloat4 = 700, kOidText = 25,
              kOidVarchar = 1043, kOidFloat8 = 701, kOidNumeric = 1700;

struct ResultClear {
    void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultClear>;

using Clock = std::chrono::steady_clock;
constexpr auto kCancelWait = std::chrono::seconds(2); // the longest wait for a cancel request to be taken

// Waits until the socket of `conn` is ready for `events` or `deadline` has come (false
// then), calling the program's wait hook every interval of waiting.
bool waitSocket(PGconn* conn, short events, Clock::time_point deadline)
{
    const auto interval = std::chrono::milliseconds(kov::dataaccess::kWaitHookIntervalMs);
    for (;;) {
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) return false;
        pollfd fd{PQsocket(conn), events, 0};
        if (fd.fd < 0) return true; // no socket: libpq reports the failure
        const auto slice = std::min<Clock::duration>(left, interval);
        const int ms = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(slice).count());
        const int n = ::poll(&fd, 1, ms);
        if (n != 0) return true; // ready, or an error that libpq then reports
        kov::dataaccess::callWaitHook();
    }
}

// Asks the server to cancel the statement that `conn` runs, waiting at most kCancelWait:
// PQcancel waits for the server's answer, which a stalled server never sends, so it runs
// on a thread of its own that is left to end by itself.
void cancelBounded(PGconn* conn)
{
    PGcancel* cancel = PQgetCancel(conn);
    if (!cancel) return;
    struct Done {
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
    };
    auto done = std::make_shared<Done>();
    std::thread([cancel, done] {
        char error[256];
        PQcancel(cancel, error, sizeof error);
        PQfreeCancel(cancel);
        const std::lock_guard lock(done->m);
        done->done = true;
        done->cv.notify_all();
    }).detach();
    const auto deadline = Clock::now() + kCancelWait;
    std::unique_lock lock(done->m);
    while (!done->done && Clock::now() < deadline) {
        done->cv.wait_for(lock, std::chrono::milliseconds(kov::dataaccess::kWaitHookIntervalMs));
        lock.unlock();
        kov::dataaccess::callWaitHook();
        lock.lock();
    }
}

// Takes the SQLSTATE out of a verbose line "SEVERITY:  CODE: text" (the code is five
// digits or capitals) into `code`, unless it holds one already.
void dropSqlState(std::string& line, std::string* code)
{
    const std::size_t sep = line.find(":  ");
    if (sep == std::string::npos || line.size() <= sep + 9 || line[sep + 8] != ':' || line[sep + 9] != ' ') return;
    const std::string candidate = line.substr(sep + 3, 5);
    if (candidate.find_first_not_of("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ") != std::string::npos) return;
    if (code && code->empty()) *code = candidate;
    line.erase(sep + 3, 7);
}

// "LOCATION:  function, file.c:123" (its label may be translated).
bool isLocationLine(const std::string& line)
{
    const std::size_t sep = line.find(":  ");
    return sep != std::string::npos && line.find(".c:", sep) != std::string::npos &&
           line.find(", ", sep) != std::string::npos && line.find(' ') > sep;
}

// libpq's text of a failure on one line: verbose messages lose their SQLSTATE (kept in
// `code`) and their source location, and the lines are joined.
std::string libpqText(const char* message, std::string* code = nullptr)
{
    std::string out;
    std::string_view rest = message ? message : "";
    while (!rest.empty()) {
        const std::size_t nl = rest.find('\n');
        std::string line(rest.substr(0, nl));
        rest.remove_prefix(nl == std::string_view::npos ? rest.size() : nl + 1);
        dropSqlState(line, code);
        if (isLocationLine(line)) continue;
        // Without the indent of a continued line and the end of a CR LF one.
        const std::size_t first = line.find_first_not_of("\t ");
        const std::size_t last = line.find_last_not_of(" \r");
        if (first == std::string::npos || last == std::string::npos || last < first) continue;
        const std::string_view text = std::string_view(line).substr(first, last + 1 - first);
        if (!out.empty()) out += ' ';
        out += text;
    }
    return out;
}

enum class Kind { Integer, Real, Numeric, Bool, Text };

Kind kindOf(Oid type)
{
    switch (type) {
    case kOidInt2:
    case kOidInt4:
    case kOidInt8:
    case kOidOid:
        return Kind::Integer;
    case kOidFloat4:
    case kOidFloat8:
        return Kind::Real;
    case kOidNumeric:
        return Kind::Numeric;
    case kOidBool:
        return Kind::Bool;
    default:
        return Kind::Text;
    }
}

// An integer column's text: an optional minus and up to 18 digits are added up at
// once; anything longer or other goes through from_chars.
bool integerText(std::string_view t, std::int64_t& out)
{
    const bool minus = !t.empty() && t.front() == '-';
    const std::size_t digits = t.size() - (minus ? 1 : 0);
    if (digits == 0 || digits > 18) {
        const auto r = std::from_chars(t.data(), t.data() + t.size(), out);
        return r.ec == std::errc() && r.ptr == t.data() + t.size();
    }
    std::int64_t v = 0;
    for (std::size_t i = minus ? 1 : 0; i < t.size(); ++i) {
        const unsigned d = static_cast<unsigned char>(t[i]) - '0';
        if (d > 9) return false;
        v = v * 10 + d;
    }
    out = minus ? -v : v;
    return true;
}

// Whether `count`, the result of a count, gives `n`.
bool countIs(const PGresult* count, int n)
{
    std::int64_t v = -1;
    return count && PQresultStatus(count) == PGRES_TUPLES_OK && PQntuples(count) == 1 && PQnfields(count) > 0 &&
           integerText(std::string_view(PQgetvalue(count, 0, 0)), v) && v == n;
}

// A whole number in decimal digits, or the digits of a NUMERIC text before a fraction
// of zeros only ("1200", "-5.000"); false when the text is anything else or too large.
bool wholeNumber(std::string_view t, std::int64_t& out)
{
    const std::size_t dot = t.find('.');
    if (dot != std::string_view::npos) {
        for (std::size_t i = dot + 1; i < t.size(); ++i)
            if (t[i] != '0') return false;
        t = t.substr(0, dot);
    }
    if (t.empty() || t == "-") return false;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), out);
    return r.ec == std::errc() && r.ptr == t.data() + t.size();
}

// A value of the result by its column's kind. Only an empty value may be a null, so
// that most values cost two calls into libpq.
DbValue decode(const PGresult* res, int row, int col, Kind kind)
{
    const int length = PQgetlength(res, row, col);
    if (length == 0 && PQgetisnull(res, row, col)) return std::monostate{};
    const char* p = PQgetvalue(res, row, col);
    const std::string_view t(p, static_cast<std::size_t>(length));
    switch (kind) {
    case Kind::Integer: {
        std::int64_t v = 0;
        if (integerText(t, v)) return v;
        break;
    }
    case Kind::Numeric: {
        // Exactly: a fraction stays its decimal text ("0.0456"), never a double.
        std::int64_t v = 0;
        if (wholeNumber(t, v)) return v;
        break;
    }
    case Kind::Real:
        return std::strtod(p, nullptr);
    case Kind::Bool:
        return std::int64_t{t == "t" ? 1 : 0};
    case Kind::Text:
        break;
    }
    return DbValue(std::in_place_type<std::string>, t);
}

// Text of a parameter value, and the type the parameter is given.
std::string paramText(const DbValue& v)
{
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    return kov::dataaccess::toText(v);
}

// The values of a run as libpq takes them: texts, and which are nulls.
struct RunValues {
    std::vector<std::string> texts;
    std::vector<bool> nulls;

    RunValues() = default;
    explicit RunValues(const std::vector<DbValue>& values)
    {
        for (const DbValue& v : values) {
            texts.push_back(paramText(v));
            nulls.push_back(kov::dataaccess::isNull(v));
        }
    }
    std::vector<const char*> pointers() const
    {
        std::vector<const char*> out;
        for (std::size_t i = 0; i < texts.size(); ++i) out.push_back(nulls[i] ? nullptr : texts[i].c_str());
        return out;
    }
    bool operator==(const RunValues&) const = default;
};

Oid paramType(const DbValue& v)
{
    if (std::holds_alternative<std::int64_t>(v)) return kOidInt8;
    if (std::holds_alternative<double>(v)) return kOidNumeric;
    return 0; // text and null: the server infers the type from the condition
}

// A statement prepared on the server, with its columns.
struct Statement {
    std::string name;
    std::vector<Kind> kinds;
    std::vector<Oid> types;
    ColumnIndex byName;
    std::vector<std::string> names;
};

// The statements prepared on one session, by their SQL and parameter types, the most
// recently used first. Past kStatementsPerConnection the least recently used that no
// cursor holds are given up.
class StatementCache {
public:
    static std::string key(const std::string& sql, const std::vector<Oid>& types)
    {
        std::string key = sql;
        key += '\0';
        for (Oid t : types) key += std::to_string(t) + ',';
        return key;
    }

    // The statement of `key`, made the most recent; null when there is none.
    std::shared_ptr<Statement> find(const std::string& key)
    {
        for (auto it = m_statements.begin(); it != m_statements.end(); ++it) {
            if (it->first == key) {
                m_statements.splice(m_statements.begin(), m_statements, it);
                return m_statements.front().second;
            }
        }
        return nullptr;
    }

    // Keeps `st` with the columns that `description` gives; the names of the statements
    // given up, for the server to forget.
    std::vector<std::string> keep(std::string key, const std::shared_ptr<Statement>& st, const PGresult* description)
    {
        const int n = PQnfields(description);
        for (int i = 0; i < n; ++i) {
            st->names.emplace_back(PQfname(description, i));
            st->kinds.push_back(kindOf(PQftype(description, i)));
            st->types.push_back(PQftype(description, i));
            st->byName.emplace(st->names.back(), i);
        }
        m_statements.emplace_front(std::move(key), st);
        std::vector<std::string> dropped;
        for (auto it = m_statements.end();
             m_statements.size() > kStatementsPerConnection && it != m_statements.begin();) {
            --it;
            if (it->second.use_count() == 1) {
                dropped.push_back(it->second->name);
                it = m_statements.erase(it);
            }
        }
        return dropped;
    }

private:
    std::list<std::pair<std::string, std::shared_ptr<Statement>>> m_statements;
};

// The commands of one round trip in pipeline mode, each with the result it gives:
// queued one by one (each gives its place, by which its result is asked for later),
// sent together, and their results taken back in order (a command that the server
// skipped after an earlier failure gives PGRES_PIPELINE_ABORTED; one whose result never
// came, none).
class Batch {
public:
    using Place = std::size_t;

    Place simple(std::string sql)
    {
        return add(PGRES_COMMAND_OK, [sql = std::move(sql)](PGconn* c) {
            return PQsendQueryParams(c, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
        });
    }
    // A statement without parameters, unnamed, that gives rows.
    Place query(std::string sql)
    {
        return add(PGRES_TUPLES_OK, [sql = std::move(sql)](PGconn* c) {
            return PQsendQueryParams(c, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
        });
    }
    // The parse of a statement; its description is a command of its own.
    Place prepare(const std::string& name, const std::string& sql, const std::vector<Oid>& types)
    {
        return add(PGRES_COMMAND_OK, [&name, &sql, &types](PGconn* c) {
            return PQsendPrepare(c, name.c_str(), sql.c_str(), static_cast<int>(types.size()),
                                 types.empty() ? nullptr : types.data()) == 1;
        });
    }
    Place describe(const std::string& name)
    {
        return add(PGRES_COMMAND_OK, [&name](PGconn* c) { return PQsendDescribePrepared(c, name.c_str()) == 1; });
    }
    // A run of a prepared statement with `values` (null pointers for nulls).
    Place run(const std::string& name, std::vector<const char*> values)
    {
        return add(PGRES_TUPLES_OK, [&name, values = std::move(values)](PGconn* c) {
            return PQsendQueryPrepared(c, name.c_str(), static_cast<int>(values.size()),
                                       values.empty() ? nullptr : values.data(), nullptr, nullptr, 0) == 1;
        });
    }

    bool send(PGconn* c) const
    {
        return std::all_of(m_commands.begin(), m_commands.end(), [c](const Command& cmd) { return cmd.send(c); });
    }
    // The result of the next command whose result has not come yet.
    void take(Result r)
    {
        if (m_taken < m_commands.size()) m_commands[m_taken++].result = std::move(r);
    }
    // Whether the command at `p` gave the result it is sent for.
    bool ok(Place p) const
    {
        const Result& r = m_commands[p].result;
        return r && PQresultStatus(r.get()) == m_commands[p].want;
    }
    const PGresult* result(Place p) const { return m_commands[p].result.get(); }
    Result takeResult(Place p) { return std::move(m_commands[p].result); }
    const PGresult* firstFailure() const
    {
        for (const Command& cmd : m_commands)
            if (cmd.result && PQresultStatus(cmd.result.get()) == PGRES_FATAL_ERROR) return cmd.result.get();
        return nullptr;
    }

private:
    struct Command {
        ExecStatusType want;
        std::function<bool(PGconn*)> send;
        Result result;
    };
    Place add(ExecStatusType want, std::function<bool(PGconn*)> send)
    {
        m_commands.push_back({want, std::move(send), nullptr});
        return m_commands.size() - 1;
    }
    std::vector<Command> m_commands;
    std::size_t m_taken = 0;
};

class Session;

// A command sent and not yet read. Each takes its own results: a session reads those of
// the commands in flight, in order, before it sends the next command (or, for FETCHes
// ahead, as they come).
class InFlight {
public:
    InFlight() = default;
    InFlight(const InFlight&) = delete;
    InFlight& operator=(const InFlight&) = delete;
    virtual ~InFlight() = default;
    // Takes the next of its results; true once it has taken them all.
    virtual bool takeNext(Session& s) = 0;
};

// A command that nothing waits for (the end of a transaction, the close of a cursor read
// to its end), left to the server: its result is read before the next command, and a
// failure there is handled as one of a command.
class UnawaitedInFlight final : public InFlight {
public:
    explicit UnawaitedInFlight(std::function<void()> onFailure) : m_onFailure(std::move(onFailure)) {}
    bool takeNext(Session& s) override;

private:
    std::function<void()> m_onFailure;
};

// The batches of one streaming cursor (their owner) asked for ahead of the one it reads:
// several FETCHes in one command (one for the second batch of a cursor, one more each
// time up to kFetchesAhead, so that a short result asks for little in vain), which the
// server makes one after the other, without waiting for the client between them, while
// the client reads. One cursor of a session reads ahead at a time; its batches are kept
// here until it takes them.
class ReadAhead {
public:
    // Takes the place for `owner`, whose `sql` fetches one batch; false while another
    // cursor's batches are on their way or not yet taken.
    bool claim(const void* owner, const std::string& sql)
    {
        if (m_owner && m_owner != owner) return false;
        m_owner = owner;
        if (sql != m_sql) m_burst = 1; // another cursor (their names differ)
        m_sql = sql;
        return true;
    }
    bool ownedBy(const void* owner) const { return m_owner && m_owner == owner; }
    // The command of the owner's next FETCHes, once those asked for before are all taken;
    // empty otherwise.
    std::string nextCommand() const
    {
        if (!m_owner || m_pending > 0 || !m_batches.empty()) return {};
        std::string sql;
        for (int i = 0; i < m_burst; ++i) sql += (i ? "; " : "") + m_sql;
        return sql;
    }
    void sent()
    {
        m_pending = m_burst;
        m_burst = std::min(m_burst + 1, kFetchesAhead);
    }
    int pending() const { return m_pending; }
    bool holdsBatch() const { return !m_batches.empty(); }
    // One result of the FETCHes in flight; true when no more is to come (after the last,
    // or a failure, which ends the command).
    bool receive(Result r)
    {
        const bool rows = PQresultStatus(r.get()) == PGRES_TUPLES_OK;
        m_batches.push_back(std::move(r));
        if (--m_pending > 0 && rows) return false;
        m_pending = 0;
        return true;
    }
    // The FETCHes in flight ended without a result: the connection failed, or the time
    // ran out (then the owner's next batch is none).
    void ended(bool timedOut)
    {
        m_pending = 0;
        if (timedOut) m_batches.push_back(nullptr);
    }
    // The next batch, if one was received; the place is free again after the last.
    Result take()
    {
        Result r;
        if (!m_batches.empty()) {
            r = std::move(m_batches.front());
            m_batches.pop_front();
        }
        if (m_batches.empty() && m_pending == 0) m_owner = nullptr;
        return r;
    }
    void drop()
    {
        m_batches.clear();
        m_owner = nullptr;
    }

private:
    const void* m_owner = nullptr;
    std::string m_sql;
    int m_burst = 1; // FETCHes of the next command
    int m_pending = 0; // FETCHes in flight whose results have not come yet
    std::deque<Result> m_batches;
};

// The FETCHes of a ReadAhead in flight: their results are taken one by one as they come.
class FetchesInFlight final : public InFlight {
public:
    explicit FetchesInFlight(ReadAhead& ahead) : m_ahead(ahead) {}
    bool takeNext(Session& s) override;

private:
    ReadAhead& m_ahead;
};

// One server connection and the statements prepared on it. It lives as long as the
// engines that share it or a cursor made from it.
// One session on the server: the libpq connection and its loss, the wait for results
// (bounded by readTimeout), the settings sent before its first command, the commands in
// flight, and the result of a run kept for a cursor's first step.
class Session {
public:
    Session(PGconn* conn, std::chrono::milliseconds readTimeout, std::vector<std::string> setup)
        : m_conn(conn), m_readTimeout(readTimeout), m_setup(std::move(setup))
    {
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session() { PQfinish(m_conn); }

    PGconn* handle() const { return m_conn; }
    // The loss of the connection, with libpq's `message`.
    static std::string brokenText(const char* message)
    {
        return "サーバーとの接続が切れました（" + libpqText(message) + "）。";
    }
    Clock::time_point deadline() const { return Clock::now() + m_readTimeout; }

    bool lost() const { return m_gone || !m_conn || PQstatus(m_conn) != CONNECTION_OK; }

    // Takes the connection as lost, with what the status check shows of it.
    void lose(const std::string& detail)
    {
        if (!m_gone) m_lostDetail = detail;
        m_gone = true;
    }
    // The cause of the loss, for the status that a failure on the connection gives.
    std::string lostText() const { return m_lostDetail.empty() ? brokenText(PQerrorMessage(m_conn)) : m_lostDetail; }

    // The connection, free for a command (the commands in flight read, those deferred
    // sent and read), with the session's settings in force, or left for the next
    // command to send along (`setupLater`).
    PGconn* ready(bool setupLater = false)
    {
        drained(setupLater);
        if (m_deferred.empty() || lost()) return m_conn;
        sendUnawaited({}, m_onDeferredFailure);
        return drained(setupLater);
    }
    // The state of the transaction, which the commands deferred leave as it is.
    PGTransactionStatusType transaction(bool setupLater = false) { return PQtransactionStatus(drained(setupLater)); }

    // Sends `sql`, one command that leaves the state of the transaction as it is (the
    // close of a cursor that it goes on without), with the next command: in its round
    // trip when that is a pipeline, else just before it, as sendUnawaited. A failure
    // there calls `onFailure`.
    void defer(const std::string& sql, std::function<void()> onFailure)
    {
        sending();
        m_deferred.push_back(sql);
        m_onDeferredFailure = std::move(onFailure);
    }
    // Gives up the commands deferred (a rollback undoes what they were for).
    void dropDeferred() { m_deferred.clear(); }

    Result exec(const std::string& sql)
    {
        if (m_gone) return nullptr;
        return finishSent(PQsendQuery(ready(), sql.c_str()));
    }
    bool command(const std::string& sql)
    {
        const Result r = exec(sql);
        return r && PQresultStatus(r.get()) == PGRES_COMMAND_OK;
    }
    // A statement with parameters (`values`, null pointers for nulls), prepared as `name`
    // or, without a name, given as `sql`.
    Result execPrepared(const std::string& name, const std::vector<const char*>& values)
    {
        return finishSent(PQsendQueryPrepared(ready(), name.c_str(), static_cast<int>(values.size()),
                                              values.empty() ? nullptr : values.data(), nullptr, nullptr, 0));
    }
    Result execParams(const char* sql, const std::vector<const char*>& values)
    {
        return finishSent(PQsendQueryParams(ready(), sql, static_cast<int>(values.size()), nullptr,
                                            values.empty() ? nullptr : values.data(), nullptr, nullptr, 0));
    }

    // Sends `sql` and leaves its result to be read before the next command; a failure
    // there calls `onFailure`. The commands deferred go first, in the same command.
    void sendUnawaited(const std::string& sql, std::function<void()> onFailure)
    {
        PGconn* const c = drained(false);
        std::string text;
        for (const std::string& d : std::exchange(m_deferred, {})) text += d + "; ";
        text += sql;
        if (m_gone || text.empty()) return;
        sending();
        if (PQsendQuery(c, text.c_str()) == 1)
            m_inFlight.push_back(std::make_unique<UnawaitedInFlight>(std::move(onFailure)));
        else checked(nullptr);
    }
    // Sends the FETCHes of `ahead`, whose results it takes as they come.
    void sendFetches(const std::string& sql, ReadAhead& ahead)
    {
        ready();
        sending();
        if (lost() || PQsendQuery(m_conn, sql.c_str()) != 1) return;
        ahead.sent();
        m_inFlight.push_back(std::make_unique<FetchesInFlight>(ahead));
    }
    // Takes the next result of the oldest command in flight.
    void takeInFlight()
    {
        std::unique_ptr<InFlight> oldest = std::move(m_inFlight.front());
        m_inFlight.pop_front();
        if (!oldest->takeNext(*this)) m_inFlight.push_front(std::move(oldest));
    }
    // Takes in what the server has sent so far, without waiting; false on a failure.
    bool consumeInput() { return PQconsumeInput(m_conn) == 1; }
    bool busy() const { return PQisBusy(m_conn) == 1; }

    // The results of the command just sent, as PQexec gives them (the last one, or the
    // first error), waited for at most m_readTimeout. When the time runs out the command
    // is cancelled and the connection is lost: null.
    Result finish()
    {
        const Clock::time_point deadline = Clock::now() + m_readTimeout;
        PGresult* kept = nullptr;
        for (;;) {
            bool timedOut = false;
            PGresult* r = nextResult(deadline, timedOut);
            if (timedOut) {
                PQclear(kept);
                return nullptr;
            }
            if (!r) break;
            const ExecStatusType st = PQresultStatus(r);
            if (kept && PQresultStatus(kept) == PGRES_FATAL_ERROR) {
                PQclear(r);
            } else {
                PQclear(kept);
                kept = r;
            }
            if (st == PGRES_COPY_IN || st == PGRES_COPY_OUT || st == PGRES_COPY_BOTH) break;
        }
        return checked(kept);
    }

    // The next result of the command sent, waited for until `deadline`; null at the end
    // of its results, or when the time ran out (`timedOut`): then the command is
    // cancelled and the connection is lost.
    PGresult* nextResult(Clock::time_point deadline, bool& timedOut)
    {
        while (PQisBusy(m_conn) && PQstatus(m_conn) == CONNECTION_OK) {
            if (!waitSocket(m_conn, POLLIN, deadline)) {
                cancelBounded(m_conn);
                lose("サーバーが " + std::to_string(m_readTimeout.count() / 1000) +
                     " 秒の間に応答しませんでした（ReadTimeout）。サーバーとネットワークを確かめてください。");
                timedOut = true;
                return nullptr;
            }
            if (!PQconsumeInput(m_conn)) break; // the failure comes as the result
        }
        return PQgetResult(m_conn);
    }

    // The commands of `batch` in one round trip, their results taken back into it, as
    // PQexec would give each. Waited for at most readTimeout, as finish(); false when
    // they could not be sent or the connection was lost on the way.
    bool pipeline(Batch& batch)
    {
        if (m_gone) return false;
        const bool settingUp = !m_setup.empty();
        PGconn* const c = drained(settingUp);
        const std::vector<std::string> deferred = std::exchange(m_deferred, {});
        sending();
        if (PQenterPipelineMode(c) != 1) {
            checked(nullptr);
            return false;
        }
        if (!sendDeferred(c, deferred) || !sendSetup(c) || !batch.send(c) || PQpipelineSync(c) != 1)
            return brokenPipeline();
        const Clock::time_point deadline = Clock::now() + m_readTimeout;
        bool deferredFailed = false;
        if (!deferred.empty() && !takeDeferred(deadline, deferredFailed)) return false;
        if (settingUp && !takeSetup(deadline)) return false;
        if (!takeBatch(batch, deadline)) return false;
        if (PQstatus(c) != CONNECTION_OK || PQexitPipelineMode(c) != 1) return brokenPipeline();
        if (deferredFailed) m_onDeferredFailure();
        return true;
    }

    // Notes a failed result that says that the session is over: a connection exception
    // (SQLSTATE 08...), an operator intervention (57P01 shutdown, 57P02 crash, 57P03
    // cannot connect now) or a failure of libpq itself. libpq may see the closed socket
    // only later.
    Result checked(PGresult* r)
    {
        if (!r) {
            if (PQstatus(m_conn) != CONNECTION_OK) lose(brokenText(PQerrorMessage(m_conn)));
        } else if (const ExecStatusType st = PQresultStatus(r); st == PGRES_FATAL_ERROR || st == PGRES_NONFATAL_ERROR) {
            const char* state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
            const std::string_view code = state ? state : "";
            // An error that the server did not send has no SQLSTATE: libpq lost the server
            // (a reset connection, a broken pipe) before it has marked the connection bad.
            if (code.empty() || code.substr(0, 2) == "08" || code.substr(0, 3) == "57P" ||
                PQstatus(m_conn) != CONNECTION_OK)
                lose(brokenText(PQresultErrorMessage(r)));
        }
        return Result(r);
    }

    // The result of a statement run in the round trip that prepared it (a count or a
    // find, stepped as soon as it is made), kept for the first step of the cursor made
    // from it (its owner): it serves that step when it binds the same values within the
    // same run's reads. Anything sent on the connection drops it (another transaction,
    // another state read).
    void keepRun(Result result, const RunValues& values, bool inSnapshot)
    {
        if (result) m_keptRun = {nullptr, std::move(result), values, inSnapshot, {}};
    }
    // Likewise the few rows of an open read along with its count (FewRows), for the
    // cursor of `sql` made for them.
    void keepFew(std::string sql, Result rows, bool inSnapshot)
    {
        if (rows) m_keptFew = {nullptr, std::move(rows), RunValues(), inSnapshot, std::move(sql)};
    }
    // The cursor just made, of `sql` for `rows`, owns the kept result meant for it.
    void ownKeptRun(const void* owner, const std::string& sql, Rows rows)
    {
        if (m_keptRun.result && !m_keptRun.owner) m_keptRun.owner = owner;
        if (rows == Rows::Few && m_keptFew.result && !m_keptFew.owner && m_keptFew.sql == sql) m_keptFew.owner = owner;
    }
    void forgetKeptRun(const void* owner)
    {
        if (m_keptRun.owner == owner) m_keptRun = {};
        if (m_keptFew.owner == owner) m_keptFew = {};
    }
    // The kept result for the first step of `owner` with `values`, or null; the kept
    // result of `owner` is given up either way.
    Result takeKeptRun(const void* owner, const RunValues& values, bool inSnapshot)
    {
        KeptRun& kept = m_keptFew.result && m_keptFew.owner == owner ? m_keptFew : m_keptRun;
        if (!kept.result || kept.owner != owner) return nullptr;
        KeptRun run = std::move(kept);
        kept = {};
        return run.values == values && run.snapshot == inSnapshot ? std::move(run.result) : nullptr;
    }

private:
    bool brokenPipeline()
    {
        checked(nullptr);
        if (!lost()) lose(brokenText(PQerrorMessage(m_conn)));
        return false;
    }

    // Takes the results of the batch's commands up to its sync: of each command its first
    // failure, else its last result. False when the time ran out.
    bool takeBatch(Batch& batch, Clock::time_point deadline)
    {
        PGresult* current = nullptr; // of the command being read
        for (;;) {
            bool timedOut = false;
            PGresult* r = nextResult(deadline, timedOut);
            if (timedOut) {
                PQclear(current);
                return false;
            }
            if (!r) { // the end of one command's results
                if (PQstatus(m_conn) != CONNECTION_OK) break;
                batch.take(checked(current));
                current = nullptr;
                continue;
            }
            if (PQresultStatus(r) == PGRES_PIPELINE_SYNC) {
                PQclear(r);
                break;
            }
            if (current && PQresultStatus(current) == PGRES_FATAL_ERROR) {
                PQclear(r);
            } else {
                PQclear(current);
                current = r;
            }
        }
        PQclear(current);
        return true;
    }

    bool sendSetup(PGconn* c) const
    {
        if (m_setup.empty()) return true;
        for (const std::string& sql : m_setup)
            if (PQsendQueryParams(c, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) != 1) return false;
        return PQpipelineSync(c) == 1;
    }

    // The deferred commands, under a sync of their own: a failure leaves the commands
    // after them to the server (in a transaction that the failure has ended, they fail).
    static bool sendDeferred(PGconn* c, const std::vector<std::string>& deferred)
    {
        if (deferred.empty()) return true;
        for (const std::string& sql : deferred)
            if (PQsendQueryParams(c, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) != 1) return false;
        return PQpipelineSync(c) == 1;
    }
    // Reads the deferred commands' results, up to their sync; false when the time ran out.
    bool takeDeferred(Clock::time_point deadline, bool& failed)
    {
        Result failure;
        const bool taken = takeSegment(deadline, failure);
        failed = failure || PQstatus(m_conn) != CONNECTION_OK;
        if (failure) checked(failure.release());
        return taken;
    }

    // Reads the results of the commands up to a sync, keeping the first failure; false
    // when the time ran out.
    bool takeSegment(Clock::time_point deadline, Result& failure)
    {
        bool timedOut = false;
        while (PGresult* r = nextResult(deadline, timedOut)) {
            const ExecStatusType status = PQresultStatus(r);
            if (status == PGRES_PIPELINE_SYNC) {
                PQclear(r);
                break;
            }
            if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || failure) PQclear(r);
            else failure.reset(r);
            while (PGresult* end = nextResult(deadline, timedOut)) PQclear(end); // the end of its results
            if (timedOut) break;
        }
        return !timedOut;
    }

    // Reads the settings' results, up to their sync; a session that did not take them
    // all is given up (false), and the commands sent after them are not read.
    bool takeSetup(Clock::time_point deadline)
    {
        Result failure;
        const bool timedOut = !takeSegment(deadline, failure);
        m_setup.clear();
        if (timedOut) return false;
        if (failure || PQstatus(m_conn) != CONNECTION_OK) setupFailed(failure.get());
        return !lost();
    }

    void setupFailed(const PGresult* r)
    {
        if (!lost())
            lose("サーバーのセッションを設定できません（" +
                 libpqText(r ? PQresultErrorMessage(r) : PQerrorMessage(m_conn)) + "）。");
    }

    // The settings by themselves, for a first command that does not go through pipeline().
    void applySetup()
    {
        std::string sql;
        for (const std::string& s : m_setup) sql += (sql.empty() ? "" : "; ") + s;
        m_setup.clear();
        sending();
        const Result r = PQsendQuery(m_conn, sql.c_str()) == 1 ? finish() : checked(nullptr);
        if (!r || PQresultStatus(r.get()) != PGRES_COMMAND_OK) setupFailed(r.get());
    }

    // The connection with the commands in flight read, and the session's settings in
    // force unless `setupLater`; the commands deferred still wait.
    PGconn* drained(bool setupLater)
    {
        while (!m_inFlight.empty()) takeInFlight();
        if (!setupLater && !m_setup.empty() && !lost()) applySetup();
        return m_conn;
    }

    // A command sent (sent != 0), then its results; null when it could not be sent.
    Result finishSent(int sent)
    {
        sending();
        if (!sent) return checked(nullptr);
        return finish();
    }
    // Anything sent ends what a kept result stands for.
    void sending()
    {
        m_keptRun = {};
        m_keptFew = {};
    }

    struct KeptRun {
        const void* owner = nullptr;
        Result result;
        RunValues values;
        bool snapshot = false;
        std::string sql; // of the cursor it is for, when that is not the cursor of the run
    };

    PGconn* m_conn;
    std::chrono::milliseconds m_readTimeout;
    // What the session sets before its first command (sessionSettings): sent in the round
    // trip of that command when it goes through pipeline(), else by ready() on its own.
    // They are committed by a sync of their own, so that the failure of a command sent
    // with them cannot undo them.
    std::vector<std::string> m_setup;
    bool m_gone = false; // the server ended the session (shut down, terminated), or did not answer
    std::string m_lostDetail;
    // The commands sent and not yet read, oldest first; every command goes through
    // ready(), which reads them all first.
    std::deque<std::unique_ptr<InFlight>> m_inFlight;
    // Commands sent with the next command (defer), and what a failure there calls.
    std::vector<std::string> m_deferred;
    std::function<void()> m_onDeferredFailure;
    KeptRun m_keptRun;
    KeptRun m_keptFew;
};

// The rows of an open expected after its count (Engine::expect): the statement of the
// rows, and the one that gives them when they are few, run along with the count.
struct FewRows {
    std::string sql;
    std::string few;
    bool empty() const { return few.empty(); }
};

// One server connection: its session, the statements prepared on it, its transaction
// and the cursors in it. It lives as long as the engines that share it or a cursor made
// from it.
class Connection final : public PooledConnection {
public:
    Connection(PGconn* conn, std::chrono::milliseconds readTimeout, std::vector<std::string> setup)
        : m_session(conn, readTimeout, std::move(setup))
    {
    }

    Session& session() { return m_session; }
    const Session& session() const { return m_session; }

    // The engines open on it: the first is noted among the open connections (true), and
    // the last is told (true) so that it keeps the connection idle or lets it go.
    bool engineOpened() { return m_engines++ == 0; }
    bool engineClosed() { return --m_engines == 0; }
    bool hasEngines() const { return m_engines > 0; }
    void cursorMade() { ++m_cursors; }
    void cursorGone() { --m_cursors; }

    // A run's reads begin or end on one of the engines sharing it.
    void runBegun() { ++m_snapshot; }
    void runEnded()
    {
        --m_snapshot;
        settle();
    }
    bool inRun() const { return m_snapshot > 0; }

    // A server-side cursor declared: the transaction it lives in, which holds it as long
    // as holds() says so.
    unsigned cursorDeclared()
    {
        ++m_declared;
        return m_generation;
    }
    bool holds(unsigned transaction) const { return transaction == m_generation; }

    // Closes the server-side cursor `name` of `transaction` (left to the server); the last
    // cursor of the transaction ends it in the same command.
    void closeCursor(const std::string& name, unsigned transaction)
    {
        if (!holds(transaction) || lost()) return;
        const bool last = !m_snapshot && m_declared == 1 && m_session.transaction() == PQTRANS_INTRANS;
        // Without the end of the transaction it goes with the next command.
        if (last) sendUnawaited("CLOSE " + name + "; COMMIT");
        else m_session.defer("CLOSE " + name, [this] { failed(); });
        if (holds(transaction)) --m_declared;
        if (!last) settle();
    }

    // Whether nothing is open on it any more and it is at rest, fit to be kept idle.
    bool atRest()
    {
        if (m_cursors != 0 || m_declared != 0 || lost()) return false;
        settle();
        return m_session.transaction(true) == PQTRANS_IDLE;
    }

    // A statement that an open will ask for next (its rows after its count): prepared
    // along with the next statement that goes to the server; with `few`, its rows when
    // they are few, run along with the count (takeFew).
    void expect(const std::string& sql, const std::string& few)
    {
        m_expected.emplace_back(sql, std::vector<Oid>{});
        m_few = few.empty() ? FewRows{} : FewRows{sql, few};
    }
    // The few rows expected, for the count that comes next to run along; once.
    FewRows takeFew() { return std::exchange(m_few, {}); }

    // A count's run with the few rows expected after it, in one round trip (with the
    // BEGIN of the run's transaction when none is open yet); the count's result, null
    // when it could not be sent.
    Result runWithFew(const Statement& st, const RunValues& values, const FewRows& few)
    {
        const PGTransactionStatusType status = m_session.transaction(true);
        const bool begin = m_snapshot && status == PQTRANS_IDLE;
        const bool inTransaction = begin || status != PQTRANS_IDLE;
        Batch batch;
        const Batch::Place begun = begin ? batch.simple(kBeginRead) : 0;
        const Batch::Place run = batch.run(st.name, values.pointers());
        FewRun f = queueFew(batch, few, inTransaction);
        if (!m_session.pipeline(batch)) return nullptr;
        if (begin && !batch.ok(begun)) return batch.takeResult(begun);
        keepFew(batch, f, batch.result(run), inTransaction);
        return batch.takeResult(run);
    }

    bool lost() const { return m_session.lost(); }
    std::string name(const char* prefix) { return prefix + std::to_string(++m_nextId); }
    // Asks for the batches after a full one of `owner` (`sql` fetches one), unless
    // another cursor's are on their way; the owner asks after a full batch only (a
    // shorter one is the last), and once those asked for before are all taken.
    void sendAhead(const void* owner, const std::string& sql)
    {
        if (lost() || !m_readAhead.claim(owner, sql)) return;
        const std::string fetches = m_readAhead.nextCommand();
        if (!fetches.empty()) m_session.sendFetches(fetches, m_readAhead);
    }

    // Takes in what the server has sent of the batches in flight so far, without waiting,
    // so that the server's output does not wait in a full socket buffer while the client
    // reads rows; the first of them is parsed as it comes (the others wait unparsed,
    // which takes less memory).
    void pullAhead()
    {
        if (m_readAhead.pending() == 0 || !m_session.consumeInput()) return;
        if (!m_readAhead.holdsBatch() && !m_session.busy()) m_session.takeInFlight();
    }

    // The next batch asked for ahead for `owner`, read now if need be; null when none
    // was asked for.
    Result takeAhead(const void* owner)
    {
        if (!m_readAhead.ownedBy(owner)) return nullptr;
        if (!m_readAhead.holdsBatch() && m_readAhead.pending() > 0) m_session.takeInFlight();
        return m_readAhead.take();
    }

    // Gives up what was asked for ahead for `owner`.
    void dropAhead(const void* owner)
    {
        if (!m_readAhead.ownedBy(owner)) return;
        while (m_readAhead.pending() > 0) m_session.takeInFlight();
        m_readAhead.drop();
    }

    // After a failed command: an aborted transaction is rolled back, and the cursors
    // declared in it are gone.
    void failed()
    {
        if (lost()) return;
        if (m_session.transaction() == PQTRANS_INERROR) {
            m_session.dropDeferred();
            command("ROLLBACK");
            m_declared = 0;
            ++m_generation;
        }
    }

    // Begins the run's transaction before a statement of the run, when none is open.
    bool enterSnapshot()
    {
        if (!m_snapshot || lost() || m_session.transaction() != PQTRANS_IDLE) return true;
        return command(kBeginRead);
    }

    // A statement for `sql` with parameters of `types`, prepared once and kept. Its
    // preparation, its description and its savepoint go in one round trip, with the
    // statements expected next and, for `along`, its run.
    // The few rows expected (`few`) go along with the run, which takes them.
    std::shared_ptr<Statement> statement(const std::string& sql, const std::vector<Oid>& types, std::string* error,
                                         const RunValues* along = nullptr, FewRows* few = nullptr)
    {
        std::string key = StatementCache::key(sql, types);
        std::vector<std::pair<std::string, std::vector<Oid>>> ahead;
        ahead.swap(m_expected);
        if (std::shared_ptr<Statement> st = m_statements.find(key)) return st;
        auto st = std::make_shared<Statement>();
        st->name = name("kov_s");
        std::vector<AheadStatement> more = aheadStatements(ahead, key);
        const PGTransactionStatusType status = m_session.transaction(true);
        Preparation p;
        p.guarded = status == PQTRANS_INTRANS;
        p.begin = along && m_snapshot && status == PQTRANS_IDLE;
        Batch batch;
        queuePreparation(batch, p, *st, sql, types, along);
        queueAhead(batch, more, p.inTransaction());
        FewRun f = queueFew(batch, along != nullptr, few, p.inTransaction());
        const bool sent = m_session.pipeline(batch);
        const bool saved = !p.guarded || batch.ok(p.saved);
        const bool prepared =
            sent && (!p.begin || batch.ok(p.begun)) && saved && batch.ok(p.parsed) && batch.ok(p.described);
        const bool runFailed = along && !batch.ok(p.run);
        const bool released = !p.guarded || batch.ok(p.released);
        if (!prepared || (!released && !runFailed)) {
            const PGresult* failure = batch.firstFailure();
            if (error) *error = failure ? PQresultErrorMessage(failure) : PQerrorMessage(m_session.handle());
            if (p.guarded && saved && !lost()) command("ROLLBACK TO SAVEPOINT kov_prepare");
            failed();
            return nullptr;
        }
        keepFew(batch, f, batch.result(p.run), p.inTransaction());
        // Its rows, which anything sent from here on (a rollback, a statement given up)
        // leaves to the first step; or its failure, which its first step reports without
        // running it again.
        if (along && !runFailed) m_session.keepRun(batch.takeResult(p.run), *along, m_snapshot > 0);
        if (!released && !lost()) command("ROLLBACK TO SAVEPOINT kov_prepare");
        keepStatement(std::move(key), st, batch.result(p.described));
        keepAhead(batch, more, p.inTransaction());
        failed();
        if (along && runFailed) m_session.keepRun(batch.takeResult(p.run), *along, m_snapshot > 0);
        return st;
    }

private:
    bool command(const std::string& sql) { return m_session.command(sql); }

    // A command that nothing waits for (the end of a transaction, the close of a cursor
    // read to its end), left to the server: a failure is handled as one of a command.
    void sendUnawaited(const std::string& sql)
    {
        m_session.sendUnawaited(sql, [this] { failed(); });
    }

    // Ends the read transaction when no cursor and no run needs it any more.
    void settle()
    {
        if (m_declared > 0 || m_snapshot || lost()) return;
        const PGTransactionStatusType t = m_session.transaction(true);
        if (t == PQTRANS_INTRANS) sendUnawaited("COMMIT");
        else if (t == PQTRANS_INERROR) {
            m_session.dropDeferred();
            command("ROLLBACK");
        }
    }

    void keepStatement(std::string key, const std::shared_ptr<Statement>& st, const PGresult* description)
    {
        for (const std::string& dropped : m_statements.keep(std::move(key), st, description))
            command("DEALLOCATE " + dropped);
    }

    // A statement prepared ahead with another (expected), and the places of its commands.
    struct AheadStatement {
        std::string key;
        const std::string* sql;
        const std::vector<Oid>* types;
        std::shared_ptr<Statement> st;
        Batch::Place save = 0, parse = 0, describe = 0, release = 0;
    };

    // The places of the commands that prepare a statement (and run it along).
    struct Preparation {
        bool begin = false; // begins the run's transaction
        bool guarded = false; // under a savepoint, in the transaction of open cursors
        Batch::Place begun = 0, saved = 0, parsed = 0, described = 0, run = 0, released = 0;
        bool inTransaction() const { return begin || guarded; }
    };

    // The few rows expected after a count, run under a savepoint of their own inside a
    // transaction (their failure must not end it), and the places of their commands.
    struct FewRun {
        std::string sql; // of the cursor they are for
        bool queued = false;
        Batch::Place save = 0, run = 0, release = 0;
    };
    static FewRun queueFew(Batch& batch, FewRows few, bool inTransaction)
    {
        FewRun f;
        if (few.empty()) return f;
        f.sql = std::move(few.sql);
        f.queued = true;
        if (inTransaction) f.save = batch.simple("SAVEPOINT kov_few");
        f.run = batch.query(std::move(few.few));
        if (inTransaction) f.release = batch.simple("RELEASE SAVEPOINT kov_few");
        return f;
    }
    // Those of `few` (taken from it) along with the run of a count (`counted`).
    static FewRun queueFew(Batch& batch, bool counted, FewRows* few, bool inTransaction)
    {
        if (!counted || !few) return {};
        return queueFew(batch, std::exchange(*few, {}), inTransaction);
    }
    // Keeps the few rows for their cursor when `count` found as many (the count and the
    // rows may read different states outside a run); after a failure, the transaction
    // goes on from their savepoint.
    void keepFew(Batch& batch, FewRun& f, const PGresult* count, bool inTransaction)
    {
        if (!f.queued) return;
        const bool saved = !inTransaction || batch.ok(f.save);
        if (saved && batch.ok(f.run) && (!inTransaction || batch.ok(f.release))) {
            if (countIs(count, PQntuples(batch.result(f.run))))
                m_session.keepFew(std::move(f.sql), batch.takeResult(f.run), m_snapshot > 0);
            return;
        }
        if (inTransaction && saved && !lost()) command("ROLLBACK TO SAVEPOINT kov_few");
    }

    // The statements expected next that are not prepared yet (nor `key` itself).
    std::vector<AheadStatement> aheadStatements(const std::vector<std::pair<std::string, std::vector<Oid>>>& ahead,
                                                const std::string& key)
    {
        std::vector<AheadStatement> more;
        for (const auto& [nextSql, nextTypes] : ahead) {
            std::string k = StatementCache::key(nextSql, nextTypes);
            if (k == key || m_statements.find(k)) continue;
            more.push_back({std::move(k), &nextSql, &nextTypes, std::make_shared<Statement>()});
            more.back().st->name = name("kov_s");
        }
        return more;
    }

    // Queues the preparation of `st` (and its run, for `along`); inside the transaction
    // of an open cursor a failing statement must not take the cursor with it, so it is
    // tried under a savepoint, and so is its run (a value of the wrong type for its
    // column must not end the transaction of the cursors open in it).
    static void queuePreparation(Batch& batch, Preparation& p, const Statement& st, const std::string& sql,
                                 const std::vector<Oid>& types, const RunValues* along)
    {
        if (p.begin) p.begun = batch.simple(kBeginRead);
        if (p.guarded) p.saved = batch.simple("SAVEPOINT kov_prepare");
        p.parsed = batch.prepare(st.name, sql, types);
        p.described = batch.describe(st.name);
        if (along) p.run = batch.run(st.name, along->pointers());
        if (p.guarded) p.released = batch.simple("RELEASE SAVEPOINT kov_prepare");
    }

    // Queues the statements prepared ahead, each under a savepoint of its own inside a
    // transaction, which must not take the run's with it either.
    static void queueAhead(Batch& batch, std::vector<AheadStatement>& more, bool inTransaction)
    {
        for (AheadStatement& m : more) {
            if (inTransaction) m.save = batch.simple("SAVEPOINT kov_ahead");
            m.parse = batch.prepare(m.st->name, *m.sql, *m.types);
            m.describe = batch.describe(m.st->name);
            if (inTransaction) m.release = batch.simple("RELEASE SAVEPOINT kov_ahead");
        }
    }

    // Keeps the statements prepared ahead that the server took; one that it did not is
    // prepared again when it is asked for (and fails there, with its message).
    void keepAhead(Batch& batch, std::vector<AheadStatement>& more, bool inTransaction)
    {
        for (AheadStatement& m : more) {
            const bool saved = !inTransaction || batch.ok(m.save);
            if (saved && batch.ok(m.parse) && batch.ok(m.describe) && (!inTransaction || batch.ok(m.release))) {
                keepStatement(std::move(m.key), m.st, batch.result(m.describe));
                continue;
            }
            // The server skipped what followed it.
            if (inTransaction && saved && !lost()) command("ROLLBACK TO SAVEPOINT kov_ahead");
            break;
        }
    }

    Session m_session;
    int m_engines = 0; // open engines on it
    int m_cursors = 0; // cursors handed out and not yet destroyed
    int m_declared = 0; // server-side cursors open: a transaction is open while > 0
    unsigned m_generation = 0; // counts the ends of transactions that took cursors with them
    unsigned m_nextId = 0;
    // Runs' reads under way (of the engines sharing it): every statement runs in one
    // repeatable-read transaction, begun by the first of them and ended by the end of
    // the last run only.
    int m_snapshot = 0;
    StatementCache m_statements;
    ReadAhead m_readAhead;
    // Statements that an open will ask for next.
    std::vector<std::pair<std::string, std::vector<Oid>>> m_expected;
    FewRows m_few; // the few rows expected after the next count
};

bool UnawaitedInFlight::takeNext(Session& s)
{
    const Result r = s.finish();
    if (!r || PQresultStatus(r.get()) != PGRES_COMMAND_OK) m_onFailure();
    return true;
}

bool FetchesInFlight::takeNext(Session& s)
{
    const Clock::time_point deadline = s.deadline();
    bool timedOut = false;
    Result r = s.checked(s.nextResult(deadline, timedOut));
    if (timedOut || !r) {
        m_ahead.ended(timedOut);
        return true;
    }
    if (!m_ahead.receive(std::move(r))) return false;
    while (PGresult* end = timedOut ? nullptr : s.nextResult(deadline, timedOut)) PQclear(end);
    return true;
}

// The connections that engines have open, so that a second open of the same database
// while the first is open shares its session instead of starting another (the name
// settings read during a run of the payroll database, from the same server): one
// client works with one database through one session, and a run's reads see one state.
std::list<std::weak_ptr<Connection>>& openConnections()
{
    static std::list<std::weak_ptr<Connection>> open;
    return open;
}

std::shared_ptr<Connection> openConnection(const std::string& key)
{
    auto& open = openConnections();
    for (auto it = open.begin(); it != open.end();) {
        std::shared_ptr<Connection> conn = it->lock();
        if (!conn || !conn->hasEngines()) {
            it = open.erase(it);
            continue;
        }
        if (conn->poolKey == key && !conn->lost()) return conn;
        ++it;
    }
    return nullptr;
}

// A server-side cursor, read in batches of kFetchRows: declared with its first batch in
// one round trip (with the BEGIN of the read transaction when none is open), each later
// batch asked for ahead once a full one has come, closed as soon as it is read to its end.
class ServerCursor {
public:
    explicit ServerCursor(Connection& conn) : m_conn(conn) {}
    ServerCursor(const ServerCursor&) = delete;
    ServerCursor& operator=(const ServerCursor&) = delete;
    ~ServerCursor() { close(); }

    // The first batch of the rows of `sql`, or the failure (null when nothing came).
    Result open(const std::string& sql)
    {
        if (m_conn.lost()) return nullptr;
        const bool begin = m_conn.session().transaction() == PQTRANS_IDLE;
        m_name = m_conn.name("kov_c");
        Result batch = m_conn.session().exec(std::string(begin ? kBeginRead : "") + (begin ? "; " : "") + "DECLARE " +
                                             m_name + " NO SCROLL CURSOR FOR " + sql + "\n; FETCH " +
                                             std::to_string(kFetchRows) + " FROM " + m_name);
        if (!isRows(batch)) {
            m_name.clear();
            return batch;
        }
        m_transaction = m_conn.cursorDeclared();
        askAhead(batch);
        return batch;
    }

    // The next batch: the one asked for ahead, or else asked for now; null when the
    // cursor is gone (with the transaction that held it).
    Result next()
    {
        if (m_name.empty()) return nullptr;
        Result batch = m_conn.takeAhead(this);
        if (!m_conn.holds(m_transaction)) return nullptr;
        if (!batch) batch = m_conn.session().exec(fetchSql());
        if (isRows(batch)) askAhead(batch);
        return batch;
    }

    void close()
    {
        m_conn.dropAhead(this);
        if (m_name.empty()) return;
        m_conn.closeCursor(m_name, m_transaction);
        m_name.clear();
    }

private:
    static bool isRows(const Result& r) { return r && PQresultStatus(r.get()) == PGRES_TUPLES_OK; }
    std::string fetchSql() const { return "FETCH " + std::to_string(kFetchRows) + " FROM " + m_name; }
    void askAhead(const Result& batch)
    {
        if (PQntuples(batch.get()) == kFetchRows) m_conn.sendAhead(this, fetchSql());
    }

    Connection& m_conn;
    std::string m_name; // empty while none is declared
    unsigned m_transaction = 0;
};

// A cursor: a statement that gives one row (a count, a find), executed whole, or the
// rows of a table, streamed through a server-side cursor.
class PgCursor final : public Cursor {
public:
    PgCursor(std::shared_ptr<Connection> conn, std::shared_ptr<Statement> st, std::string sql, Rows rows,
             FewRows few = {})
        : m_conn(std::move(conn)), m_st(std::move(st)), m_sql(std::move(sql)), m_rows(rows), m_few(std::move(few)),
          m_stream(*m_conn)
    {
        m_conn->cursorMade();
    }
    ~PgCursor() override
    {
        m_conn->session().forgetKeptRun(this);
        m_stream.close();
        m_conn->cursorGone();
    }
    PgCursor(const PgCursor&) = delete;
    PgCursor& operator=(const PgCursor&) = delete;

    bool bindAll(const std::vector<DbValue>& values) override
    {
        rewind();
        m_values = RunValues(values);
        return true;
    }

    void rewind() override
    {
        m_stream.close();
        m_batch.reset();
        m_batchRows = m_batchColumns = 0;
        m_row = -1;
        m_started = false;
        m_done = false;
    }

    StepResult step() override
    {
        m_asked.restart();
        if (m_done) return StepResult::Done;
        if (!m_started) {
            m_started = true;
            // A count, a find or a small result in one round trip; a large one through a cursor.
            if (!(m_rows == Rows::Many ? declare() : executeWhole())) return fail();
        }
        ++m_row;
        if (m_row % 64 == 0) m_conn->pullAhead();
        if (m_row < m_batchRows) return StepResult::Row;
        if (m_rows == Rows::Many && m_batchRows == kFetchRows) {
            m_batch = m_stream.next();
            if (!tookBatch()) return fail();
            m_row = 0;
            if (m_batchRows > 0) return StepResult::Row;
        }
        // The end: the server-side cursor goes at once, and with it the transaction.
        m_batch.reset();
        m_batchRows = m_batchColumns = 0;
        m_done = true;
        m_stream.close();
        return StepResult::Done;
    }

    int columnCount() const override { return static_cast<int>(m_st->names.size()); }
    std::string columnName(int i) const override { return m_st->names[static_cast<std::size_t>(i)]; }

    int findColumn(std::string_view name) const override
    {
        return m_asked.find(name, [this](std::string_view n) {
            const auto it = m_st->byName.find(n);
            return it == m_st->byName.end() ? -1 : it->second;
        });
    }

    // Integers and whole numerics as numbers; text and varchar compare by their bytes
    // under the database's (deterministic) collation, unlike char(n) with its padding.
    bool comparesAsStored(int i, bool text) const override
    {
        const auto at = static_cast<std::size_t>(i);
        if (i < 0 || at >= m_st->kinds.size()) return false;
        if (!text) return m_st->kinds[at] == Kind::Integer || m_st->kinds[at] == Kind::Numeric;
        return m_st->types[at] == kOidText || m_st->types[at] == kOidVarchar;
    }

    DbValue value(int i) const override
    {
        if (m_row < 0 || m_row >= m_batchRows || i < 0 || i >= m_batchColumns) return std::monostate{};
        return decode(m_batch.get(), m_row, i, m_st->kinds[static_cast<std::size_t>(i)]);
    }

private:
    StepResult fail()
    {
        m_batch.reset();
        m_batchRows = m_batchColumns = 0;
        m_done = true;
        m_conn->failed();
        m_stream.close();
        return StepResult::Error;
    }

    bool executeWhole()
    {
        if (Result kept = m_conn->session().takeKeptRun(this, m_values, m_conn->inRun())) {
            m_batch = std::move(kept);
            return tookBatch();
        }
        if (!m_few.empty()) { // a count, with the few rows expected after it
            m_batch = m_conn->runWithFew(*m_st, m_values, std::exchange(m_few, {}));
            return tookBatch();
        }
        if (!m_conn->enterSnapshot()) return false;
        m_batch = m_conn->session().execPrepared(m_st->name, m_values.pointers());
        return tookBatch();
    }

    bool declare()
    {
        m_batch = m_stream.open(m_sql);
        return tookBatch();
    }

    // Whether the result just taken is rows; notes their number and the columns that
    // can be read (those that the statement described).
    bool tookBatch()
    {
        m_batchRows = m_batchColumns = 0;
        if (!m_batch || PQresultStatus(m_batch.get()) != PGRES_TUPLES_OK) return false;
        m_batchRows = PQntuples(m_batch.get());
        m_batchColumns = std::min(PQnfields(m_batch.get()), static_cast<int>(m_st->kinds.size()));
        return true;
    }

    std::shared_ptr<Connection> m_conn;
    std::shared_ptr<Statement> m_st;
    std::string m_sql;
    Rows m_rows;
    FewRows m_few; // of a count: the rows expected after it, run along with its first run
    RunValues m_values;
    Result m_batch;
    int m_batchRows = 0; // rows of m_batch
    int m_batchColumns = 0; // its columns that value() reads
    int m_row = -1;
    bool m_started = false;
    bool m_done = false;
    ServerCursor m_stream; // the rows of Rows::Many
    // A cache filled by findColumn (a const read): the names asked of the rows with their
    // columns (the statement's columns never change).
    mutable NameSequence m_asked;
};

class PgEngine final : public Engine {
public:
    explicit PgEngine(std::shared_ptr<Connection> conn) : m_conn(std::move(conn))
    {
        if (m_conn->engineOpened()) openConnections().push_back(m_conn);
    }
    ~PgEngine() override { close(); }
    PgEngine(const PgEngine&) = delete;
    PgEngine& operator=(const PgEngine&) = delete;

    std::unique_ptr<Cursor> prepare(const std::string& sql, std::string* error, Rows rows,
                                    const std::vector<DbValue>& params) override
    {
        if (!m_conn || m_conn->lost()) {
            if (error) *error = "database closed";
            return nullptr;
        }
        std::vector<Oid> types;
        for (const DbValue& v : params) types.push_back(paramType(v));
        // A count or a find, stepped as soon as it is made, runs in the round trip that
        // prepares it.
        // So does the read of the few rows expected after a count, when the open that
        // counts them asks for them.
        const RunValues values(params);
        FewRows few = m_conn->takeFew();
        if (rows != Rows::One) few = {};
        std::shared_ptr<Statement> st =
            m_conn->statement(sql, types, error, rows == Rows::One ? &values : nullptr, &few);
        if (!st) return nullptr;
        auto cursor = std::make_unique<PgCursor>(m_conn, std::move(st), sql, rows, std::move(few));
        m_conn->session().ownKeptRun(cursor.get(), sql, rows);
        return cursor;
    }

    void expect(const std::string& sql, const std::string& few) override
    {
        if (m_conn && !m_conn->lost()) m_conn->expect(sql, few);
    }

    bool tableExists(const std::string& name) override
    {
        if (!m_conn || m_conn->lost()) return false;
        const std::string quoted = quoteTable(name);
        const Result r = m_conn->session().execParams("SELECT to_regclass($1) IS NOT NULL", {quoted.c_str()});
        if (!r || PQresultStatus(r.get()) != PGRES_TUPLES_OK) {
            m_conn->failed();
            return false;
        }
        return PQntuples(r.get()) == 1 && std::string_view(PQgetvalue(r.get(), 0, 0)) == "t";
    }

    std::string quoteTable(std::string_view name) const override
    {
        return sql::quoteIdentifier(text::foldAsciiCase(name));
    }

    PlaceholderStyle placeholderStyle() const override { return PlaceholderStyle::Numbered; }

    // The physical place of a row: the load order of a table that is only read.
    std::string rowPositionExpression() const override { return "ctid"; }

    // A cursor never runs in parallel, and a whole table without a condition is read by
    // a sequential scan: page by page from the first (synchronized scans are off for the
    // session), each page's rows by their place on it, which is ctid order. Sorting by
    // ctid instead would read the whole table before the first row, and selecting it
    // makes the server build every row anew before it sends it.
    bool scansInPositionOrder(Rows rows) const override { return rows == Rows::Many; }

    bool lost() const override { return !m_conn || m_conn->lost(); }
    std::string lostDetail() const override
    {
        return m_conn && m_conn->lost() ? m_conn->session().lostText() : std::string();
    }

    // A transaction that cursors opened before the run keep is the run's from then on
    // (it reads one state as well).
    void beginSnapshot() override
    {
        if (!m_conn || m_snapshot) return;
        m_snapshot = true;
        m_conn->runBegun();
    }

    void endSnapshot() override
    {
        if (!m_conn || !m_snapshot) return;
        m_snapshot = false;
        m_conn->runEnded();
    }

    // The last engine on a connection with nothing open on it keeps it idle.
    void close() override
    {
        if (!m_conn) return;
        endSnapshot();
        std::shared_ptr<Connection> conn = std::move(m_conn);
        if (conn->engineClosed() && idlePoolOpen() && conn->atRest()) keepIdle(std::move(conn));
    }

private:
    std::shared_ptr<Connection> m_conn;
    bool m_snapshot = false; // this engine's run is under way
};

// What every session of the suite sets before its first command, over any options that
// the settings give: it only reads; a whole-table read starts at the table's first page
// (its rows come in their place order); a lock that another program holds is waited for
// at most BusyTimeout. Commands of the session rather than options of its start packet,
// which a connection pooler does not pass on.
std::vector<std::string> sessionSettings(int busyTimeoutMs)
{
    return {"SET default_transaction_read_only = on", "SET synchronize_seqscans = off",
            "SET lock_timeout = " + std::to_string(busyTimeoutMs)};
}

// The connection parameters: those of the settings, and the suite's own.
struct Params {
    std::vector<std::string> keys, values;
    void set(const std::string& key, const std::string& value)
    {
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (keys[i] == key) {
                values[i] = value;
                return;
            }
        }
        keys.push_back(key);
        values.push_back(value);
    }
    const std::string* get(const std::string& key) const
    {
        for (std::size_t i = 0; i < keys.size(); ++i)
            if (keys[i] == key) return &values[i];
        return nullptr;
    }
};

// Why a connection could not be made, in Japanese, with libpq's text (of a verbose
// connection, whose SQLSTATE tells an authentication failure from a missing database
// whatever the language of the server's messages). `stage` is the connection's state
// before its last step.
std::string connectFailure(PGconn* conn, ConnStatusType stage, bool timedOut, int timeoutS)
{
    std::string code;
    const std::string text = conn ? libpqText(PQerrorMessage(conn), &code) : std::string("out of memory");
    std::string cause;
    if (timedOut)
        cause = "サーバーに接続できません。" + std::to_string(timeoutS) +
                " 秒の間に応答がありませんでした（connect_timeout）。サーバーとネットワークを確かめてください。";
    else if (code.substr(0, 2) == "28" || (conn && PQconnectionNeedsPassword(conn)))
        cause = "認証に失敗しました。利用者名とパスワード（~/.pgpass）を確かめてください。";
    else if (code == "3D000") cause = "データベースがありません。Connection の dbname を確かめてください。";
    else if (code.empty() && stage == CONNECTION_SSL_STARTUP)
        cause = "TLS で接続できません。サーバーの TLS の設定と証明書（Connection の host の名前に発行され、sslrootcert "
                "の認証局が署名したものか）、Connection の sslmode を確かめてください。";
    else if (code.empty() && (stage == CONNECTION_BAD || stage == CONNECTION_STARTED || stage == CONNECTION_MADE ||
                              stage == CONNECTION_NEEDED))
        cause = "サーバーに接続できません。サーバーが動いているか、Connection の host と port を確かめてください。";
    else cause = "サーバーのデータベースに接続できません。";
    return text.empty() ? cause : cause + "（" + text + "）";
}

// The connect_timeout in force (at least 2 s, as libpq takes it), and how long the
// connection may take: that much for each host of a host list.
int connectTimeoutS(const Params& params)
{
    const std::string* t = params.get("connect_timeout");
    return t ? std::max(2, std::atoi(t->c_str())) : 10;
}

Clock::time_point connectDeadline(const Params& params)
{
    std::size_t hosts = 1;
    for (const char* k : {"host", "hostaddr"})
        if (const std::string* h = params.get(k))
            hosts = std::max<std::size_t>(hosts, std::count(h->begin(), h->end(), ',') + 1);
    return Clock::now() + std::chrono::seconds(connectTimeoutS(params)) * static_cast<int>(hosts);
}

// Drives a connection started by PQconnectStartParams to its end or to `deadline`
// (`timedOut`); `stage` is its state before its last step.
void pollConnection(PGconn* c, Clock::time_point deadline, ConnStatusType& stage, bool& timedOut)
{
    PostgresPollingStatusType polling = PGRES_POLLING_WRITING;
    while (polling != PGRES_POLLING_OK && polling != PGRES_POLLING_FAILED) {
        if (!waitSocket(c, polling == PGRES_POLLING_READING ? POLLIN : POLLOUT, deadline)) {
            timedOut = true;
            return;
        }
        stage = PQstatus(c);
        polling = PQconnectPoll(c);
    }
}

// Connects without blocking: the wait is bounded and the program's wait hook runs
// meanwhile. libpq leaves connect_timeout to its blocking connect, so it is applied
// here, to each host of a host list.
EngineOpen connect(const Params& params, const std::string& key, std::chrono::milliseconds readTimeout,
                   std::vector<std::string> settings)
{
    EngineOpen result;
    std::vector<const char*> keys, values;
    for (std::size_t i = 0; i < params.keys.size(); ++i) {
        keys.push_back(params.keys[i].c_str());
        values.push_back(params.values[i].c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    const Clock::time_point deadline = connectDeadline(params);

    auto conn = std::make_shared<Connection>(PQconnectStartParams(keys.data(), values.data(), 0), readTimeout,
                                             std::move(settings));
    conn->poolKey = key;
    PGconn* const c = conn->session().handle();
    ConnStatusType stage = c ? PQstatus(c) : CONNECTION_BAD;
    bool timedOut = false;
    if (c && stage != CONNECTION_BAD) {
        PQsetErrorVerbosity(c, PQERRORS_VERBOSE);
        pollConnection(c, deadline, stage, timedOut);
    }
    if (!c || timedOut || PQstatus(c) != CONNECTION_OK) {
        result.status = kStatusDbOpenClose;
        result.message = connectFailure(c, stage, timedOut, connectTimeoutS(params));
        return result;
    }
    PQsetErrorVerbosity(c, PQERRORS_DEFAULT);
    // The server's notices (a shutdown announced, a savepoint released) are not the
    // programs' output: the failures themselves come back as statuses.
    PQsetNoticeProcessor(
        c, [](void*, const char*) {}, nullptr);
    result.engine = std::make_unique<PgEngine>(std::move(conn));
    return result;
}

// A connection to `key` that is there already: the session of an open engine, else an
// idle one that still answers.
std::shared_ptr<Connection> existingConnection(const std::string& key)
{
    if (std::shared_ptr<Connection> open = openConnection(key)) return open;
    while (std::shared_ptr<PooledConnection> kept = takeIdle(key)) {
        auto idle = std::static_pointer_cast<Connection>(std::move(kept));
        // A connection idle for a while may have lost its server: it is asked once, and
        // closed when it does not answer.
        if (Clock::now() - idle->idleSince > kIdleCheckAfter) {
            const Result r = idle->session().exec("");
            if (idle->lost() || PQtransactionStatus(idle->session().handle()) != PQTRANS_IDLE) continue;
        }
        return idle;
    }
    return nullptr;
}

// The suite's own connection parameters over those of the settings.
void addOwnParams(Params& params, const std::string& program)
{
    params.set("client_encoding", "UTF8");
    // pg_stat_activity shows which program a desk runs.
    if (!params.get("application_name") && !std::getenv("PGAPPNAME") && !program.empty())
        params.set("application_name", program);
    if (!params.get("fallback_application_name")) params.set("fallback_application_name", "kov");
    if (!params.get("connect_timeout")) params.set("connect_timeout", "10");
    // A dead link or a host that went down is noticed on an idle TCP connection too
    // (libpq ignores these on a Unix socket).
    for (const auto& [k, v] : {std::pair{"keepalives", "1"}, std::pair{"keepalives_idle", "30"},
                               std::pair{"keepalives_interval", "10"}, std::pair{"keepalives_count", "3"}})
        if (!params.get(k)) params.set(k, v);
}

} // namespace

bool connectionHasPassword(const std::string& connection)
{
    PQconninfoOption* options = PQconninfoParse(connection.c_str(), nullptr);
    if (!options) return false;
    bool has = false;
    for (PQconninfoOption* o = options; o->keyword; ++o)
        if (std::string_view(o->keyword) == "password" && o->val && *o->val) has = true;
    PQconninfoFree(options);
    return has;
}

namespace {

// The words of a start packet's options, split as the server splits them: at white space,
// a backslash keeping the character after it.
std::vector<std::string> optionWords(std::string_view options)
{
    std::vector<std::string> words(1);
    for (std::size_t i = 0; i < options.size(); ++i) {
        const char c = options[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (!words.back().empty()) words.emplace_back();
            continue;
        }
        if (c == '\\' && i + 1 < options.size()) ++i;
        words.back() += options[i];
    }
    if (words.back().empty()) words.pop_back();
    return words;
}

// The command that makes "name=value" a setting of the session, or nullopt for another
// form, a name of other characters, or a backslash in the value.
std::optional<std::string> settingCommand(const std::string& setting)
{
    const std::size_t eq = setting.find('=');
    if (eq == 0 || eq == std::string::npos) return std::nullopt;
    std::string name = setting.substr(0, eq);
    std::replace(name.begin(), name.end(), '-', '_');
    if (name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_.") != std::string::npos)
        return std::nullopt;
    const std::string value = setting.substr(eq + 1);
    if (value.find('\\') != std::string::npos) return std::nullopt; // read otherwise without standard strings
    return "SELECT set_config('" + name + "', '" + sql::escapeLiteral(value) + "', false)";
}

} // namespace

std::optional<std::vector<std::string>> optionCommands(std::string_view options)
{
    const std::vector<std::string> words = optionWords(options);
    std::vector<std::string> commands;
    for (std::size_t i = 0; i < words.size(); ++i) {
        std::optional<std::string> command;
        if (words[i] == "-c" && i + 1 < words.size()) command = settingCommand(words[++i]);
        else if (words[i].rfind("-c", 0) == 0 || words[i].rfind("--", 0) == 0)
            command = settingCommand(words[i].substr(2));
        if (!command) return std::nullopt;
        commands.push_back(std::move(*command));
    }
    return commands;
}

namespace {

// What a new session sends before its first command: the settings of the options, which
// leave the start packet, then the suite's own (which win).
std::vector<std::string> startCommands(Params& params, int busyTimeoutMs)
{
    std::vector<std::string> commands;
    if (const std::string* options = params.get("options")) {
        if (std::optional<std::vector<std::string>> set = optionCommands(*options)) {
            commands = std::move(*set);
            params.set("options", ""); // libpq sends no empty options
        }
    }
    for (std::string& s : sessionSettings(busyTimeoutMs)) commands.push_back(std::move(s));
    return commands;
}

} // namespace

EngineOpen openPostgresql(const std::string& connection, int busyTimeoutMs, int readTimeoutS)
{
    EngineOpen result;
    const std::string program = kov::dataaccess::programName();
    const std::string key = idleKey(kEnginePostgresql, connection + '\0' + std::to_string(busyTimeoutMs) + '\0' +
                                                           std::to_string(readTimeoutS) + '\0' + program);
    if (std::shared_ptr<Connection> existing = existingConnection(key)) {
        result.engine = std::make_unique<PgEngine>(std::move(existing));
        return result;
    }
    char* parseError = nullptr;
    PQconninfoOption* options = PQconninfoParse(connection.c_str(), &parseError);
    if (!options) {
        result.status = kStatusBadName;
        result.message = "Connection の値は接続文字列になっていません（" +
                         libpqText(parseError ? parseError : "invalid connection string") + "）。";
        PQfreemem(parseError);
        return result;
    }
    Params params;
    for (PQconninfoOption* o = options; o->keyword; ++o)
        if (o->val) params.set(o->keyword, o->val);
    PQconninfoFree(options);
    addOwnParams(params, program);
    return connect(params, key, std::chrono::seconds(readTimeoutS), startCommands(params, busyTimeoutMs));
}

} // namespace kov::tessera
