// A server that cannot be reached, refuses the login or stops answering: each failure
// says its cause, and no wait on the server lasts longer than its bound. The tests start
// a server of their own (tests/pgserver.sh, with password authentication over TCP),
// since they stop its processes.
#include "db/postgresql.h"
#include "db/tests/fixture.h"
#include "tessera/tessera.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

using namespace kov::dataaccess;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Server {
    std::string socket; // trusted, over the Unix socket
    std::string tcp; // kovpw with its password, over TCP
    std::string dir;
};

class TesseraServerWaits : public ::testing::Test {
protected:
    static inline std::string s_state;
    static inline std::optional<Server> s_server;
    static inline std::string s_why;

    static void SetUpTestSuite()
    {
        s_state = (fs::temp_directory_path() / ("kovpw-" + std::to_string(getpid()) + ".state")).string();
        const std::string script = std::string(KOV_SOURCE_DIR) + "/tests/pgserver.sh";
        if (std::system((script + " start " + s_state + " password >/dev/null").c_str()) != 0) {
            s_why = "the password server did not start";
            return;
        }
        std::ifstream in(s_state);
        std::string first, dir, bin, tcp;
        for (std::string* line : {&first, &dir, &bin, &tcp}) std::getline(in, *line);
        if (first.rfind("ok ", 0) != 0) {
            s_why = "PostgreSQL tests skipped: " + first;
            return;
        }
        s_server = Server{first.substr(3), tcp, dir};
        kov::db::pg::Session pg(s_server->socket);
        pg.exec("CREATE TABLE skbig AS SELECT g AS n FROM generate_series(1, 5000) g; GRANT SELECT ON skbig TO kovpw");
        setenv("PGPASSFILE", "/nonexistent", 1); // no password but those of the tests
    }

    static void TearDownTestSuite()
    {
        const int stopped =
            std::system((std::string(KOV_SOURCE_DIR) + "/tests/pgserver.sh stop " + s_state + " >/dev/null").c_str());
        (void)stopped; // a server that did not stop goes with its folder
    }

    void SetUp() override
    {
        if (!s_server) GTEST_SKIP() << s_why;
    }

    kov::db::Fixture fx;

    // A database of the server opened with the connection: the object and the status of the open.
    std::pair<std::unique_ptr<clsDbAccess>, std::int16_t> connect(const std::string& connection,
                                                                  const std::string& extra = "ReadTimeout=2\r\n")
    {
        fx.writeSettings("PG.INI", "[Database]\r\nEngine=postgresql\r\nConnection=" + connection + "\r\n" + extra);
        fs::permissions(fx.path("PG.INI"), fs::perms::owner_read | fs::perms::owner_write); // it holds a password
        auto db = CreateObjectAs<clsDbAccess>(kProgIdDbAccess);
        db->setDBIniNameString("PG.INI");
        const std::int16_t status = db->DAO_DBOpen();
        return {std::move(db), status};
    }

    std::unique_ptr<clsTbAccess> table(clsDbAccess& db)
    {
        auto tb = CreateObjectAs<clsTbAccess>(kProgIdTbAccess);
        tb->setTBDatabase(db.DBDatabase());
        tb->setTBNameString("SKBIG");
        return tb;
    }

    // The server's processes: the postmaster and its children.
    static std::vector<pid_t> serverProcesses()
    {
        std::ifstream pidFile(s_server->dir + "/data/postmaster.pid");
        pid_t postmaster = 0;
        pidFile >> postmaster;
        std::vector<pid_t> pids{postmaster};
        for (const auto& e : fs::directory_iterator("/proc")) {
            std::ifstream stat(e.path() / "stat");
            std::string pid, comm, state;
            pid_t parent = 0;
            // comm is "(postgres)" without blanks for the server's processes.
            if (stat >> pid >> comm >> state >> parent && parent == postmaster) pids.push_back(std::stoi(pid));
        }
        return pids;
    }
};

// Stops processes until the end of the scope.
struct Stopped {
    std::vector<pid_t> pids;
    explicit Stopped(std::vector<pid_t> p) : pids(std::move(p))
    {
        for (pid_t pid : pids) kill(pid, SIGSTOP);
    }
    ~Stopped()
    {
        for (pid_t pid : pids) kill(pid, SIGCONT);
    }
};

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

} // namespace

TEST_F(TesseraServerWaits, EachFailureToConnectSaysItsCauseWithLibpqsText)
{
    const std::string tcp = s_server->tcp;
    struct Case {
        std::string connection;
        std::int16_t status;
        std::string cause; // the start of the detail
        std::string libpq; // a part of libpq's text in it
    };
    const Case cases[] = {
        {tcp, 0, "", ""},
        {tcp + " password=wrong", -1, "認証に失敗しました。", "password authentication failed"},
        {tcp + " dbname=nosuch", -1, "データベースがありません。", "database \"nosuch\" does not exist"},
        {"host=127.0.0.1 port=1 user=kovpw", -1, "サーバーに接続できません。", "Connection refused"},
        {tcp + " sslmode=require", -1, "TLS で接続できません。", "server does not support SSL"},
        {s_server->socket + " dbname=template0", -1, "サーバーのデータベースに接続できません。",
         "is not currently accepting connections"},
    };
    for (const Case& c : cases) {
        const auto [db, st] = connect(c.connection);
        EXPECT_EQ(st, c.status) << c.connection;
        const std::string detail = db->failureDetail(st);
        EXPECT_EQ(detail.rfind(c.cause, 0), 0u) << detail;
        EXPECT_NE(detail.find(c.libpq), std::string::npos) << detail;
        // libpq's own lines, without the SQLSTATE or the server's source location.
        EXPECT_EQ(detail.find("LOCATION"), std::string::npos) << detail;
        EXPECT_EQ(detail.find("28P01"), std::string::npos) << detail;
    }
}

TEST_F(TesseraServerWaits, EachSessionNamesItsProgramUnlessTheConnectionDoes)
{
    kov::db::pg::Session pg(s_server->socket);
    auto sessions = [&pg](const std::string& name) {
        return pg.scalar("SELECT count(*) FROM pg_stat_activity WHERE application_name = '" + name + "'");
    };
    setProgramName("kov120");
    const auto db = connect(s_server->tcp);
    ASSERT_EQ(db.second, 0);
    EXPECT_EQ(sessions("kov120"), "1");
    const auto named = connect(s_server->socket + " application_name=desk7");
    ASSERT_EQ(named.second, 0);
    EXPECT_EQ(sessions("desk7"), "1");
    EXPECT_EQ(sessions("kov120"), "1");
    setProgramName("");
}

// The backend of the connection stopped in the middle of a read, then the whole server:
// each wait ends after ReadTimeout (or connect_timeout) and the cancel's own bound with
// the status of a lost server, and the wait hook runs meanwhile.
TEST_F(TesseraServerWaits, AStoppedServerEndsTheWaitWithMinus1WithinItsBound)
{
    int hooks = 0;
    setWaitHook([&hooks] { ++hooks; });
    kov::db::pg::Session pg(s_server->socket);

    auto [db, st] = connect(s_server->socket + " application_name=kovstall");
    ASSERT_EQ(st, 0);
    auto tb = table(*db);
    ASSERT_EQ(tb->DAO_TableOpen("", "n"), 5000);
    ASSERT_EQ(tb->DAO_RecRead(1), 0);
    const pid_t backend = std::stoi(pg.scalar("SELECT pid FROM pg_stat_activity WHERE application_name = 'kovstall'"));
    {
        const Stopped stopped({backend});
        const Clock::time_point start = Clock::now();
        int rows = 1;
        while ((st = tb->DAO_RecRead(2)) == 0) ++rows;
        EXPECT_EQ(st, -1);
        EXPECT_LT(rows, 5000);
        EXPECT_GE(secondsSince(start), 1.9);
        EXPECT_LT(secondsSince(start), 6.0);
        EXPECT_GE(hooks, 15);
        EXPECT_NE(tb->failureDetail(-1).find("2 秒の間に応答しませんでした（ReadTimeout）"), std::string::npos)
            << tb->failureDetail(-1);
        // The connection is lost: the next call does not wait again.
        const Clock::time_point again = Clock::now();
        EXPECT_EQ(tb->DAO_RecFind(1, "n = 1"), -1);
        EXPECT_LT(secondsSince(again), 0.5);
    }
    tb->DAO_TableClose();
    db->DAO_DBClose();

    const auto open = connect(s_server->socket + " application_name=kovstall2 connect_timeout=2");
    ASSERT_EQ(open.second, 0);
    auto tb2 = table(*open.first);
    {
        const Stopped stopped(serverProcesses());
        Clock::time_point start = Clock::now();
        EXPECT_EQ(tb2->DAO_TableOpen("", "n"), -1);
        EXPECT_LT(secondsSince(start), 6.0); // ReadTimeout, then the cancel that no one takes
        start = Clock::now();
        const auto fresh = connect(s_server->socket + " application_name=kovstall3 connect_timeout=2");
        EXPECT_EQ(fresh.second, -1);
        EXPECT_LT(secondsSince(start), 4.0);
        const std::string detail = fresh.first->failureDetail(-1);
        EXPECT_EQ(detail.rfind("サーバーに接続できません。2 秒の間に応答がありませんでした", 0), 0u) << detail;
    }
    setWaitHook(nullptr);
    // Once the server goes on, a new connection works again.
    EXPECT_EQ(connect(s_server->socket).second, 0);
}
