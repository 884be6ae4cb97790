// The PostgreSQL engine of Tessera, over libpq.
//
// Reads stream: the rows of a table are read through a server-side cursor (DECLARE in
// a read-only transaction, FETCH in batches, the next asked for while the client reads
// one), so that a client holds a batch or two of rows at a time whatever the size of
// the table. Counts and finds, which give one row, run whole. Values come as text and
// are decoded by the type of their column: integers as integers, NUMERIC exactly (as
// integers when whole, otherwise as their decimal text, which the fixed-point type parses
// without a detour through a double), text as text.
//
// The server folds unquoted names to lower case: the schema creates its tables and
// columns unquoted, the component names a table in lower case, and columns are found
// without regard to case.
//
// The pieces, from the wire up, each with one job:
//   Batch         the commands of one round trip, each with its result
//   Session       one libpq connection in pipeline mode: batches go out as they are made
//                 and their results are read in order, by the first batch waited for
//                 (so that the end of a transaction, the close of a cursor and the next
//                 rows asked for ahead cost no wait of their own); its loss; the bounded
//                 wait
//   Connection    a session shared by the engines open on one database: its read
//                 transaction, its cursors, the statements known to parse (checked in
//                 the round trip of a count or a find, with the rows statement that an
//                 open expects next and the few rows of it)
//   ServerCursor  one server-side cursor: DECLARE, FETCH, CLOSE
//   PgCursor      the rows of a statement, stepped (Cursor of backend.h)
//   PgEngine      an open database (Engine of backend.h), and openPostgresql below
#include "common/dataaccess/dataaccess.h"
#include "common/sqltext.h"
#include "common/text.h"
#include "tessera/backend.h"
#include "tessera/columnnames.h"
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
#include <optional>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kov::tessera {

namespace {

constexpr int kFetchRows = 1000; // rows of one FETCH
constexpr std::size_t kDescribedPerConnection = 256; // statements known to parse, kept per session
constexpr auto kIdleCheckAfter = std::chrono::seconds(1); // an idle connection older than this is checked
constexpr std::size_t kIdleConnections = 8; // connections kept idle
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

// Whether `count`, the result of a count, gives `n`.
bool countIs(const PGresult* count, int n)
{
    std::int64_t v = -1;
    return count && PQresultStatus(count) == PGRES_TUPLES_OK && PQntuples(count) == 1 && PQnfields(count) > 0 &&
           wholeNumber(std::string_view(PQgetvalue(count, 0, 0)), v) && v == n;
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
    case Kind::Integer:
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

// The columns of a statement, as its description or a result of it gives them.
struct Columns {
    std::vector<std::string> names;
    std::vector<Kind> kinds;
    std::vector<Oid> types;
    ColumnIndex byName;

    explicit Columns(const PGresult* r)
    {
        const int n = PQnfields(r);
        for (int i = 0; i < n; ++i) {
            names.emplace_back(PQfname(r, i));
            types.push_back(PQftype(r, i));
            kinds.push_back(kindOf(types.back()));
            byName.emplace(names.back(), i);
        }
    }
    // Whether `r` gives these columns (a table changed since they were described gives
    // others).
    bool match(const PGresult* r) const
    {
        const int n = PQnfields(r);
        if (n != static_cast<int>(types.size())) return false;
        for (int i = 0; i < n; ++i)
            if (PQftype(r, i) != types[static_cast<std::size_t>(i)] ||
                names[static_cast<std::size_t>(i)] != PQfname(r, i))
                return false;
        return true;
    }
};

// The commands of one round trip, sent in pipeline mode up to a sync of their own, each
// with the result it gives (a command that the server skipped after an earlier failure
// gives PGRES_PIPELINE_ABORTED; one whose result never came, none). Statements are
// unnamed: a parse (with its description) and a run of what it parsed, or a statement
// parsed and run at once.
class Batch {
public:
    using Place = std::size_t;
    // The commands from a savepoint to its release: inside a transaction that others
    // need (of a run, of open cursors), a failing statement must not end it.
    struct Guard {
        bool on = false;
        Place save = 0, end = 0;
    };

    // A batch of the one command `sql`.
    static Batch of(std::string sql)
    {
        Batch b;
        b.command(std::move(sql));
        return b;
    }

    Place command(std::string sql) { return add({Op::Run, std::move(sql), nullptr}); }
    // The parse of `sql`, then its description (at the place after it).
    Place parse(std::string sql)
    {
        const Place p = add({Op::Parse, std::move(sql), nullptr});
        add({Op::Describe, {}, nullptr});
        return p;
    }
    // A run of the statement parsed last.
    Place runParsed() { return add({Op::RunParsed, {}, nullptr}); }

    Guard guard(bool on) { return {on, on ? command("SAVEPOINT kov_guard") : m_commands.size()}; }
    void release(Guard& g)
    {
        g.end = m_commands.size();
        if (g.on) command("RELEASE SAVEPOINT kov_guard");
    }

    bool sendTo(PGconn* c) const
    {
        return std::all_of(m_commands.begin(), m_commands.end(), [c](const Command& cmd) { return cmd.send(c); });
    }
    // The result of the next command whose result has not come yet.
    void take(Result r)
    {
        if (m_taken < m_commands.size()) m_commands[m_taken++].result = std::move(r);
    }
    void finish() { m_read = true; }
    bool read() const { return m_read; }

    bool ok(Place p) const
    {
        const PGresult* r = p < m_commands.size() ? m_commands[p].result.get() : nullptr;
        const ExecStatusType st = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
        return st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK || st == PGRES_EMPTY_QUERY;
    }
    bool ok(const Guard& g) const { return allOk(g.save, g.end + (g.on ? 1 : 0)); }
    bool ok() const { return allOk(0, m_commands.size()); }
    // Whether the first failure of the batch is within `g`, which a rollback to its
    // savepoint undoes.
    bool failedWithin(const Guard& g) const { return g.on && ok(g.save) && !ok(g); }
    const PGresult* result(Place p) const { return m_commands[p].result.get(); }
    Result take(Place p) { return std::move(m_commands[p].result); }
    const PGresult* firstFailure() const
    {
        for (const Command& cmd : m_commands)
            if (cmd.result && PQresultStatus(cmd.result.get()) == PGRES_FATAL_ERROR) return cmd.result.get();
        return nullptr;
    }

private:
    enum class Op { Run, Parse, Describe, RunParsed };
    struct Command {
        Op op;
        std::string sql;
        Result result;

        bool send(PGconn* c) const
        {
            switch (op) {
            case Op::Run:
                return PQsendQueryParams(c, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
            case Op::Parse:
                return PQsendPrepare(c, "", sql.c_str(), 0, nullptr) == 1;
            case Op::Describe:
                return PQsendDescribePrepared(c, "") == 1;
            case Op::RunParsed:
                return PQsendQueryPrepared(c, "", 0, nullptr, nullptr, nullptr, 0) == 1;
            }
            return false;
        }
    };
    Place add(Command cmd)
    {
        m_commands.push_back(std::move(cmd));
        return m_commands.size() - 1;
    }
    bool allOk(Place from, Place end) const
    {
        for (Place p = from; p < end; ++p)
            if (!ok(p)) return false;
        return true;
    }
    std::vector<Command> m_commands;
    std::size_t m_taken = 0;
    bool m_read = false;
};

// One session on the server, in pipeline mode: a batch is sent as soon as it is made,
// and the results come back in the order the batches went out. A batch that nothing
// waits for (the end of a transaction, the close of a cursor, the next rows of a cursor
// asked for ahead) is read along with the next one that something waits for. Every
// wait is bounded by readTimeout: when it runs out the command is cancelled and the
// session is lost.
class Session {
public:
    using OnRead = std::function<void(const Batch&)>;

    Session(PGconn* conn, std::chrono::milliseconds readTimeout) : m_conn(conn), m_readTimeout(readTimeout) {}
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session() { PQfinish(m_conn); }

    PGconn* handle() const { return m_conn; }
    // The loss of the connection, with libpq's `message`.
    static std::string brokenText(const char* message)
    {
        return "サーバーとの接続が切れました（" + libpqText(message) + "）。";
    }

    bool lost() const { return m_gone || !m_conn || PQstatus(m_conn) != CONNECTION_OK; }
    // Takes the session as lost, with what the status check shows of it; the batches
    // sent and not read get no more results.
    void lose(const std::string& detail)
    {
        if (!m_gone) m_lostDetail = detail;
        m_gone = true;
        for (auto& [batch, onRead] : std::exchange(m_unread, {})) batch->finish();
    }
    // The cause of the loss, for the status that a failure on the connection gives.
    std::string lostText() const { return m_lostDetail.empty() ? brokenText(PQerrorMessage(m_conn)) : m_lostDetail; }

    // Enters pipeline mode and sends what the session sets before its first command
    // (sessionSettings), read with that command: a session that does not take them all
    // is given up. Commands of their own, committed by a sync of their own, so that a
    // failing command after them cannot undo them.
    void start(std::vector<std::string> settings)
    {
        if (PQenterPipelineMode(m_conn) != 1) return lose(brokenText(PQerrorMessage(m_conn)));
        Batch batch;
        for (std::string& s : settings) batch.command(std::move(s));
        send(std::move(batch), [this](const Batch& b) {
            if (b.ok()) return;
            const PGresult* f = b.firstFailure();
            lose("サーバーのセッションを設定できません（" +
                 libpqText(f ? PQresultErrorMessage(f) : PQerrorMessage(m_conn)) + "）。");
        });
    }

    // Sends `batch`; its results are read by await() of it or of a batch sent after it,
    // which calls `onRead` with them.
    std::shared_ptr<Batch> send(Batch batch, OnRead onRead = {})
    {
        auto b = std::make_shared<Batch>(std::move(batch));
        ++m_sent;
        if (lost() || !b->sendTo(m_conn) || PQpipelineSync(m_conn) != 1) {
            lose(brokenText(PQerrorMessage(m_conn)));
            b->finish();
            return b;
        }
        m_unread.emplace_back(b, std::move(onRead));
        return b;
    }
    // Reads the results of the batches sent up to `batch`; false when the session is lost.
    bool await(const Batch& batch)
    {
        while (!batch.read() && !m_unread.empty())
            if (!readFront()) break;
        return !lost();
    }
    // `batch` sent and its results read; null when the session is lost.
    std::shared_ptr<Batch> exchange(Batch batch)
    {
        std::shared_ptr<Batch> b = send(std::move(batch));
        return await(*b) ? b : nullptr;
    }
    // Reads the results of every batch sent.
    void drain()
    {
        while (!m_unread.empty())
            if (!readFront()) break;
    }
    // The batches sent so far: a result kept from an earlier one stands for the state
    // that a command sent since may have changed.
    std::uint64_t sent() const { return m_sent; }
    // Takes in what the server has sent so far, without waiting, so that its output does
    // not wait in a full socket buffer while the client reads rows.
    void pull()
    {
        if (!m_unread.empty()) PQconsumeInput(m_conn);
    }

private:
    bool readFront()
    {
        auto [batch, onRead] = std::move(m_unread.front());
        m_unread.pop_front();
        const bool taken = takeResults(*batch);
        batch->finish();
        if (taken && onRead) onRead(*batch);
        return taken;
    }

    // Takes the results of one batch up to its sync: of each command its first failure,
    // else its last result. False when the session is lost on the way.
    bool takeResults(Batch& batch)
    {
        const Clock::time_point deadline = Clock::now() + m_readTimeout;
        PGresult* current = nullptr; // of the command being read
        for (;;) {
            bool timedOut = false;
            PGresult* r = nextResult(deadline, timedOut);
            if (timedOut) break;
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
        if (PQstatus(m_conn) != CONNECTION_OK) lose(brokenText(PQerrorMessage(m_conn)));
        return !lost();
    }

    // The next result, waited for until `deadline`; null at the end of a command's
    // results, or when the time ran out (`timedOut`): then the command is cancelled and
    // the session is lost.
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

    // Notes a failed result that says that the session is over: a connection exception
    // (SQLSTATE 08...), an operator intervention (57P01 shutdown, 57P02 crash, 57P03
    // cannot connect now) or a failure of libpq itself. libpq may see the closed socket
    // only later.
    Result checked(PGresult* r)
    {
        if (r && PQresultStatus(r) == PGRES_FATAL_ERROR) {
            const char* state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
            const std::string_view code = state ? state : "";
            // An error that the server did not send has no SQLSTATE: libpq lost the server
            // (a reset connection, a broken pipe) before it has marked the connection bad.
            if (code.empty() || code.substr(0, 2) == "08" || code.substr(0, 3) == "57P")
                lose(brokenText(PQresultErrorMessage(r)));
        }
        return Result(r);
    }

    PGconn* m_conn;
    std::chrono::milliseconds m_readTimeout;
    bool m_gone = false; // the server ended the session (shut down, terminated), or did not answer
    std::string m_lostDetail;
    std::deque<std::pair<std::shared_ptr<Batch>, OnRead>> m_unread; // sent, oldest first
    std::uint64_t m_sent = 0;
};

// What a prepare gives its cursor: the statement's columns and, for a count or a find,
// the result of its first run, which came along.
struct Prepared {
    std::shared_ptr<const Columns> columns; // null when the statement failed (`error`)
    Result first;
    std::uint64_t stamp = 0; // the session's batches sent when it came (Session::sent)
    std::string error;
};

// One server connection: its session, its read transaction and the cursors in it, the
// statements known to parse. It lives as long as the engines that share it or a cursor
// made from it.
class Connection {
public:
    Connection(PGconn* conn, std::chrono::milliseconds readTimeout, std::string openedOn)
        : key(std::move(openedOn)), m_session(conn, readTimeout)
    {
    }

    const std::string key; // what it was opened on (openPostgresql)
    Clock::time_point idleSince; // when its last engine closed

    Session& session() { return m_session; }
    const Session& session() const { return m_session; }
    bool lost() const { return m_session.lost(); }
    std::string name(const char* prefix) { return prefix + std::to_string(++m_nextId); }

    // The engines open on it: the first is noted among the open connections (true), and
    // the last is told (true) so that it keeps the connection idle or lets it go.
    void engineOpened() { ++m_engines; }
    bool engineClosed() { return --m_engines == 0; }
    bool hasEngines() const { return m_engines > 0; }
    void cursorMade() { ++m_cursors; }
    void cursorGone() { --m_cursors; }

    // A run's reads begin or end on one of the engines sharing it: every statement runs
    // in one repeatable-read transaction, begun by the first of them and ended by the end
    // of the last run only.
    void runBegun() { ++m_snapshot; }
    void runEnded()
    {
        --m_snapshot;
        settle();
    }

    // A batch that begins the read transaction when none is open and a cursor (`cursor`)
    // or a run needs one.
    Batch begin(bool cursor)
    {
        Batch b;
        if ((cursor || m_snapshot > 0) && !m_inTransaction && !lost()) {
            b.command(kBeginRead);
            m_inTransaction = true;
        }
        return b;
    }

    // A server-side cursor declared: the transaction it lives in, which holds it as long
    // as holds() says so.
    unsigned cursorDeclared()
    {
        ++m_declared;
        return m_generation;
    }
    bool holds(unsigned transaction) const { return transaction == m_generation; }

    // Closes the server-side cursor `name` of `transaction`; the last cursor outside a
    // run ends the transaction in the same batch.
    void closeCursor(const std::string& name, unsigned transaction)
    {
        if (!holds(transaction) || lost()) return;
        --m_declared;
        Batch b = Batch::of("CLOSE " + name);
        if (m_declared == 0 && m_snapshot == 0 && m_inTransaction) {
            b.command("COMMIT");
            m_inTransaction = false;
        }
        sendUnawaited(std::move(b));
    }

    // Whether a connection idle for a while still has its server: it is asked once.
    bool answers()
    {
        if (Clock::now() - idleSince <= kIdleCheckAfter) return true;
        return m_session.exchange(Batch::of("")) && PQtransactionStatus(m_session.handle()) == PQTRANS_IDLE;
    }

    // Whether nothing is open on it any more and it is at rest, fit to be kept idle.
    bool atRest()
    {
        if (m_cursors != 0 || m_declared != 0 || lost()) return false;
        settle();
        m_session.drain();
        return !lost() && PQtransactionStatus(m_session.handle()) == PQTRANS_IDLE;
    }

    // The statement that an open asks for next (its rows after its count): parsed in the
    // round trip of the count; with `few`, its rows when they are few, run there too.
    void expect(const std::string& sql, const std::string& few)
    {
        m_expected = sql;
        m_few = few;
    }

    Prepared prepare(const std::string& sql, Rows rows);

    // A run of `sql` whole (a count, a find, few rows), in the run's transaction when a
    // run is under way; null when the session is lost.
    Result run(const std::string& sql)
    {
        Batch batch = begin(false);
        const Batch::Place p = batch.command(sql);
        const std::shared_ptr<Batch> b = m_session.exchange(std::move(batch));
        if (!b) return nullptr;
        if (!b->ok()) failed();
        return b->take(p);
    }

    // After a failed command: an aborted transaction is rolled back, and the cursors
    // declared in it are gone.
    void failed()
    {
        m_session.drain();
        if (!lost() && PQtransactionStatus(m_session.handle()) == PQTRANS_INERROR) {
            m_session.exchange(Batch::of("ROLLBACK"));
            m_declared = 0;
            ++m_generation;
        }
        m_inTransaction = !lost() && PQtransactionStatus(m_session.handle()) != PQTRANS_IDLE;
    }

private:
    // A batch that nothing waits for: its failure is handled as one of a command.
    void sendUnawaited(Batch b)
    {
        m_session.send(std::move(b), [this](const Batch& sent) {
            if (!sent.ok()) failed();
        });
    }

    // Ends the read transaction when no cursor and no run needs it any more.
    void settle()
    {
        if (m_declared > 0 || m_snapshot > 0 || !m_inTransaction || lost()) return;
        m_inTransaction = false;
        sendUnawaited(Batch::of("COMMIT"));
    }

    // After a batch with a failure: the savepoint of the guard it came within is rolled
    // back to; a failure outside any is handled by failed().
    void recover(const Batch& b, std::initializer_list<const Batch::Guard*> guards)
    {
        if (b.ok()) return;
        for (const Batch::Guard* g : guards) {
            if (g && b.failedWithin(*g)) return sendUnawaited(Batch::of("ROLLBACK TO SAVEPOINT kov_guard"));
        }
        failed();
    }

    std::string failureText(const Batch& b) const
    {
        const PGresult* f = b.firstFailure();
        return f ? PQresultErrorMessage(f) : PQerrorMessage(m_session.handle());
    }

    std::shared_ptr<const Columns> described(const std::string& sql) const
    {
        const auto it = m_described.find(sql);
        return it == m_described.end() ? nullptr : it->second;
    }
    void remember(const std::string& sql, std::shared_ptr<const Columns> columns)
    {
        if (m_described.size() >= kDescribedPerConnection) m_described.clear();
        m_described[sql] = std::move(columns);
    }

    // The few rows kept for a prepare of `sql`, while nothing was sent since they came.
    Prepared takeFew(const std::string& sql)
    {
        Prepared p;
        if (m_kept.rows && m_kept.sql == sql && m_kept.stamp == m_session.sent()) {
            p.columns = std::make_shared<const Columns>(m_kept.rows.get());
            p.first = std::move(m_kept.rows);
            p.stamp = m_kept.stamp;
        }
        m_kept = {};
        return p;
    }

    // The few rows of an open that came with its count, for the prepare of `sql`.
    struct KeptFew {
        std::string sql;
        Result rows;
        std::uint64_t stamp = 0;
    };

    Session m_session;
    int m_engines = 0; // open engines on it
    int m_cursors = 0; // cursors handed out and not yet destroyed
    int m_declared = 0; // server-side cursors open: a transaction is open while > 0
    unsigned m_generation = 0; // counts the ends of transactions that took cursors with them
    unsigned m_nextId = 0;
    int m_snapshot = 0; // runs' reads under way (of the engines sharing it)
    bool m_inTransaction = false; // a BEGIN sent, and no end of it
    // The statements that parsed, with their columns (of reads, which run later).
    std::unordered_map<std::string, std::shared_ptr<const Columns>> m_described;
    std::string m_expected, m_few; // of the next open (expect)
    KeptFew m_kept;
};

// A statement parsed in a batch (and, for a count or a find, run), and its places.
struct Parsed {
    Batch::Guard guard;
    Batch::Place parse = 0, run = 0;
    bool runs = false;

    Parsed(Batch& b, bool guarded, const std::string& sql, bool along)
        : guard(b.guard(guarded)), parse(b.parse(sql)), runs(along)
    {
        if (runs) run = b.runParsed();
        b.release(guard);
    }
    bool ok(const Batch& b) const { return b.ok(parse) && b.ok(parse + 1); }
    std::shared_ptr<const Columns> columns(const Batch& b) const
    {
        return std::make_shared<const Columns>(b.result(parse + 1));
    }
};

// The few rows expected after a count, run along with it under a guard of their own.
struct FewRun {
    Batch::Guard guard;
    std::optional<Batch::Place> run;

    FewRun(Batch& b, bool queued, bool guarded, const std::string& few)
    {
        if (!queued) return;
        guard = b.guard(guarded);
        run = b.command(few);
        b.release(guard);
    }
};

// The statement `sql`, for `rows`, known to parse, with its columns: one that was parsed
// before, or the few rows that came with the count just run; else parsed now, in one
// round trip with a count's or a find's first run (in the run's transaction), the rows
// statement that the open expects next and the few rows of that.
Prepared Connection::prepare(const std::string& sql, Rows rows)
{
    const std::string expected = std::exchange(m_expected, {});
    const std::string few = std::exchange(m_few, {});
    if (rows == Rows::Few)
        if (Prepared kept = takeFew(sql); kept.columns) return kept;
    if (rows != Rows::One)
        if (std::shared_ptr<const Columns> known = described(sql)) return Prepared{known, nullptr, 0, {}};
    const bool one = rows == Rows::One;
    const bool guarded = m_inTransaction;
    Batch batch = one ? begin(false) : Batch();
    const Parsed main(batch, guarded, sql, one);
    std::optional<Parsed> ahead;
    if (!expected.empty() && expected != sql && !described(expected))
        ahead.emplace(batch, m_inTransaction, expected, false);
    const FewRun fewRun(batch, one && !few.empty(), m_inTransaction, few);
    const std::shared_ptr<Batch> b = m_session.exchange(std::move(batch));
    if (!b) return Prepared{nullptr, nullptr, 0, m_session.lostText()};
    recover(*b, {&main.guard, ahead ? &ahead->guard : nullptr, &fewRun.guard});
    Prepared p;
    if (main.ok(*b)) {
        p.columns = main.columns(*b);
        if (!one) remember(sql, p.columns);
    } else {
        p.error = failureText(*b);
    }
    if (ahead && b->ok(ahead->guard)) remember(expected, ahead->columns(*b));
    if (fewRun.run && b->ok(fewRun.guard) && countIs(b->result(main.run), PQntuples(b->result(*fewRun.run))))
        m_kept = {expected, b->take(*fewRun.run), 0};
    if (p.columns && main.runs) p.first = b->take(main.run);
    p.stamp = m_kept.stamp = m_session.sent();
    return p;
}

// The connections of the process, the most recently used first: those that engines have
// open, so that a second open of the same database while the first is open shares its
// session instead of starting another (the name settings read during a run of the
// payroll database, from the same server: one client works with one database through
// one session, and a run's reads see one state); and those whose last engine closed with
// nothing open on them, kept idle for a later open (a program may open and close for
// every line of a report), kIdleConnections at most. The idle ones are closed at the
// program's end (closeIdleConnections) or with the statics of the process.
constinit bool g_connectionsGone = false;

struct ConnectionList {
    std::list<std::shared_ptr<Connection>> list;
    ~ConnectionList() { g_connectionsGone = true; }
};

std::list<std::shared_ptr<Connection>>& connections()
{
    static ConnectionList all;
    return all.list;
}

// The connection to `key` that is there already: the session of an open engine, or an
// idle one that still answers.
std::shared_ptr<Connection> existingConnection(const std::string& key)
{
    if (g_connectionsGone) return nullptr;
    auto& all = connections();
    for (auto it = all.begin(); it != all.end();) {
        const std::shared_ptr<Connection> conn = *it;
        if (conn->key != key) {
            ++it;
        } else if (conn->lost() || (!conn->hasEngines() && !conn->answers())) {
            it = all.erase(it);
        } else {
            return conn;
        }
    }
    return nullptr;
}

// After the last engine on `conn` closed: kept idle when nothing is open on it, else let
// go (its cursors may still hold it).
void rest(const std::shared_ptr<Connection>& conn)
{
    if (g_connectionsGone) return;
    auto& all = connections();
    all.remove(conn);
    if (!conn->atRest()) return;
    conn->idleSince = Clock::now();
    all.push_front(conn);
    std::size_t idle = 0;
    for (auto it = all.begin(); it != all.end();)
        it = !(*it)->hasEngines() && ++idle > kIdleConnections ? all.erase(it) : std::next(it);
}

// A server-side cursor, read in batches of kFetchRows: declared with its first batch in
// one round trip (with the BEGIN of the read transaction when none is open), the next
// batch asked for ahead once a full one has come, closed as soon as it is read to its
// end.
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
        m_name = m_conn.name("kov_c");
        Batch batch = m_conn.begin(true);
        batch.command("DECLARE " + m_name + " NO SCROLL CURSOR FOR " + sql);
        const Batch::Place fetch = batch.command(fetchSql());
        const std::shared_ptr<Batch> b = m_conn.session().exchange(std::move(batch));
        if (!b || !b->ok()) {
            m_name.clear();
            return nullptr;
        }
        m_transaction = m_conn.cursorDeclared();
        Result first = b->take(fetch);
        askAhead(first);
        return first;
    }

    // The next batch: the one asked for ahead, or else asked for now; null when the
    // cursor is gone (with the transaction that held it).
    Result next()
    {
        if (m_name.empty()) return nullptr;
        std::shared_ptr<Batch> b = std::exchange(m_ahead, nullptr);
        if (b && !m_conn.session().await(*b)) return nullptr;
        if (!m_conn.holds(m_transaction)) return nullptr;
        if (!b && !(b = m_conn.session().exchange(fetchBatch()))) return nullptr;
        Result batch = b->take(0);
        askAhead(batch);
        return batch;
    }

    void close()
    {
        m_ahead.reset();
        if (m_name.empty()) return;
        m_conn.closeCursor(m_name, m_transaction);
        m_name.clear();
    }

private:
    std::string fetchSql() const { return "FETCH " + std::to_string(kFetchRows) + " FROM " + m_name; }
    Batch fetchBatch() const { return Batch::of(fetchSql()); }
    // After a full batch, the next is asked for at once: the server makes it while the
    // client reads this one.
    void askAhead(const Result& batch)
    {
        if (batch && PQresultStatus(batch.get()) == PGRES_TUPLES_OK && PQntuples(batch.get()) == kFetchRows)
            m_ahead = m_conn.session().send(fetchBatch());
    }

    Connection& m_conn;
    std::string m_name; // empty while none is declared
    unsigned m_transaction = 0;
    std::shared_ptr<Batch> m_ahead; // the FETCH of the next batch, sent ahead
};

// A cursor: a statement that gives one row (a count, a find) or few, run whole, or the
// rows of a table, streamed through a server-side cursor.
class PgCursor final : public Cursor {
public:
    PgCursor(std::shared_ptr<Connection> conn, std::string sql, Rows rows, Prepared p)
        : m_conn(std::move(conn)), m_sql(std::move(sql)), m_rows(rows), m_columns(std::move(p.columns)),
          m_first(std::move(p.first)), m_firstStamp(p.stamp), m_stream(*m_conn)
    {
        m_conn->cursorMade();
    }
    ~PgCursor() override
    {
        m_stream.close();
        m_conn->cursorGone();
    }
    PgCursor(const PgCursor&) = delete;
    PgCursor& operator=(const PgCursor&) = delete;

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
            m_batch = m_rows == Rows::Many ? m_stream.open(m_sql) : runWhole();
            if (!tookBatch()) return fail();
        }
        ++m_row;
        if (m_row % 64 == 0) m_conn->session().pull();
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

    int columnCount() const override { return static_cast<int>(m_columns->names.size()); }
    std::string columnName(int i) const override { return m_columns->names[static_cast<std::size_t>(i)]; }

    int findColumn(std::string_view name) const override
    {
        return m_asked.find(name, [this](std::string_view n) {
            const auto it = m_columns->byName.find(n);
            return it == m_columns->byName.end() ? -1 : it->second;
        });
    }

    // Integers and whole numerics as numbers; text and varchar compare by their bytes
    // under the database's (deterministic) collation, unlike char(n) with its padding.
    bool comparesAsStored(int i, bool text) const override
    {
        const auto at = static_cast<std::size_t>(i);
        if (i < 0 || at >= m_columns->kinds.size()) return false;
        if (!text) return m_columns->kinds[at] == Kind::Integer || m_columns->kinds[at] == Kind::Numeric;
        return m_columns->types[at] == kOidText || m_columns->types[at] == kOidVarchar;
    }

    DbValue value(int i) const override
    {
        if (m_row < 0 || m_row >= m_batchRows || i < 0 || i >= m_batchColumns) return std::monostate{};
        return decode(m_batch.get(), m_row, i, m_columns->kinds[static_cast<std::size_t>(i)]);
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

    // The rows of a run: those that came along with the prepare when nothing was sent
    // since (or its failure, reported without running it again), else run now.
    Result runWhole()
    {
        Result first = std::move(m_first);
        if (first && m_firstStamp == m_conn->session().sent()) return first;
        return m_conn->run(m_sql);
    }

    // Whether the result just taken is rows; notes their number, and their columns when
    // they are not those described (of a table changed since).
    bool tookBatch()
    {
        m_batchRows = m_batchColumns = 0;
        if (!m_batch || PQresultStatus(m_batch.get()) != PGRES_TUPLES_OK) return false;
        if (!m_columns->match(m_batch.get())) {
            m_columns = std::make_shared<const Columns>(m_batch.get());
            m_asked.clear();
        }
        m_batchRows = PQntuples(m_batch.get());
        m_batchColumns = std::min(PQnfields(m_batch.get()), static_cast<int>(m_columns->kinds.size()));
        return true;
    }

    std::shared_ptr<Connection> m_conn;
    std::string m_sql;
    Rows m_rows;
    std::shared_ptr<const Columns> m_columns;
    Result m_first; // the rows of the first run, which came with the prepare
    std::uint64_t m_firstStamp;
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
    explicit PgEngine(std::shared_ptr<Connection> conn) : m_conn(std::move(conn)) { m_conn->engineOpened(); }
    ~PgEngine() override { close(); }
    PgEngine(const PgEngine&) = delete;
    PgEngine& operator=(const PgEngine&) = delete;

    std::unique_ptr<Cursor> prepare(const std::string& sql, std::string* error, Rows rows) override
    {
        if (!m_conn || m_conn->lost()) {
            if (error) *error = "database closed";
            return nullptr;
        }
        Prepared p = m_conn->prepare(sql, rows);
        if (!p.columns) {
            if (error) *error = p.error;
            return nullptr;
        }
        return std::make_unique<PgCursor>(m_conn, sql, rows, std::move(p));
    }

    void expect(const std::string& sql, const std::string& few) override
    {
        if (m_conn && !m_conn->lost()) m_conn->expect(sql, few);
    }

    bool tableExists(const std::string& name) override
    {
        if (!m_conn || m_conn->lost()) return false;
        const Result r = m_conn->run("SELECT to_regclass('" + sql::escapeLiteral(quoteTable(name)) + "') IS NOT NULL");
        if (!r || PQresultStatus(r.get()) != PGRES_TUPLES_OK) return false;
        return PQntuples(r.get()) == 1 && std::string_view(PQgetvalue(r.get(), 0, 0)) == "t";
    }

    std::string quoteTable(std::string_view name) const override
    {
        return sql::quoteIdentifier(text::foldAsciiCase(name));
    }

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
        if (conn->engineClosed()) rest(conn);
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

    auto conn = std::make_shared<Connection>(PQconnectStartParams(keys.data(), values.data(), 0), readTimeout, key);
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
    conn->session().start(std::move(settings));
    if (!g_connectionsGone) connections().push_front(conn);
    result.engine = std::make_unique<PgEngine>(std::move(conn));
    return result;
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
    const std::string key =
        connection + '\0' + std::to_string(busyTimeoutMs) + '\0' + std::to_string(readTimeoutS) + '\0' + program;
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

void closeIdleConnections()
{
    if (!g_connectionsGone) connections().remove_if([](const auto& conn) { return !conn->hasEngines(); });
}

} // namespace kov::tessera
