// Locating the database: settings file, its [Database] section and the database file.
#include "db/tests/fixture.h"
#include "tessera/tessera.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

using namespace kov::dataaccess;
namespace fs = std::filesystem;

namespace {

// The status of an open, and into `detail` the cause that the connection keeps of it.
std::int16_t openWith(const std::string& ini, std::string* detail = nullptr)
{
    auto db = CreateObjectAs<clsDbAccess>(kProgIdDbAccess);
    db->setDBIniNameString(ini);
    const std::int16_t st = db->DAO_DBOpen();
    if (detail) *detail = db->failureDetail(st);
    return st;
}

} // namespace

// The status of an open through each settings file (written first when content is given).
TEST(TesseraSettings, EachSettingsFileOpensOrGivesItsStatus)
{
    kov::db::Fixture fx;
    fs::create_directory(fx.path("FOLDER.INI"));
    fx.writeSettings("junk.db", "this is not a database, only text that is long enough to be a header....");
    const struct {
        const char* file;
        const char* content; // nullptr: the file as it is
        std::int16_t status;
    } cases[] = {
        {"KOV.INI", nullptr, 0},
        {"KOVENV.INI", nullptr, 0},
        {"kov.ini", nullptr, 0}, // the name matches without regard to case
        {"KovEnv.Ini", nullptr, 0},
        {"NOSUCH.INI", nullptr, -20},
        {"", nullptr, -18},
        {"   ", nullptr, -18},
        {"FOLDER.INI", nullptr, -18},
        {"NOPATH.INI", "[Database]\r\nEngine=sqlite\r\n", -18},
        {"EMPTYPATH.INI", "[Database]\nPath=\n", -18},
        {"ORACLE.INI", "[Database]\nEngine=oracle\nPath=kov.db\n", -18},
        {"OTHER.INI", "[Other]\nPath=kov.db\n", -18}, // a Path outside [Database] does not count
        // The engine may be left out; keys ignore case, comments and blanks.
        {"LOOSE.INI", "\xEF\xBB\xBF; payroll\n[ database ]\n  path = \"kov.db\"  \n# end\n", 0},
        {"SQLITE3.INI", "[Database]\nENGINE=SQLite3\nPATH=kov.db\n", 0},
        {"GONE.INI", "[Database]\nEngine=sqlite\nPath=gone.db\n", -20},
        {"NODIR.INI", "[Database]\nPath=nodir/kov.db\n", -19},
        {"JUNK.INI", "[Database]\nPath=junk.db\n", -1}, // a file that is no database
    };
    for (const auto& c : cases) {
        if (c.content) fx.writeSettings(c.file, c.content);
        EXPECT_EQ(openWith(c.file), c.status) << "\"" << c.file << "\"";
    }
    EXPECT_FALSE(fs::exists(fx.path("gone.db"))); // no file is created
    std::string detail;
    openWith("JUNK.INI", &detail);
    EXPECT_EQ(detail, "データベースファイル「" + fx.path("junk.db") +
                          "」は SQLite のデータベースではありません（file is not a database）。");
    setenv("KOV_INI_DIR", (fx.dir() + "/missing").c_str(), 1);
    EXPECT_EQ(openWith("KOV.INI"), -19);
    EXPECT_EQ(openWith("sub/KOV.INI"), -19);
}

TEST(TesseraSettings, RelativePathIsTakenFromTheSettingsFolderNotTheWorkingFolder)
{
    kov::db::Fixture fx;
    fs::create_directory(fx.path("data"));
    fs::rename(fx.path("kov.db"), fx.path("data/payroll.db"));
    fx.writeSettings("KOV.INI", "[Database]\nPath=data/payroll.db\n");
    const fs::path cwd = fs::current_path();
    fs::current_path(fs::temp_directory_path());
    EXPECT_EQ(openWith("KOV.INI"), 0);
    fs::current_path(cwd);
}

TEST(TesseraSettings, AbsolutePathsOfSettingsAndDatabase)
{
    kov::db::Fixture fx;
    fx.writeSettings("ABS.INI", "[Database]\nPath=" + fx.path("kov.db") + "\n");
    unsetenv("KOV_INI_DIR");
    kov::tessera::registerComponent("/nonexistent-program-folder");
    EXPECT_EQ(openWith(fx.path("ABS.INI")), 0);
    EXPECT_EQ(openWith("ABS.INI"), -19); // looked up in the program's folder
}

TEST(TesseraSettings, ProgramFolderIsUsedWhenKovIniDirIsNotSet)
{
    kov::db::Fixture fx;
    unsetenv("KOV_INI_DIR");
    kov::tessera::registerComponent(fx.dir());
    EXPECT_EQ(openWith("KOV.INI"), 0);
}

// Another program writing the database: a second process holds SQLite's write lock
// for `holdMs`; an open waits up to BusyTimeout= for it before it gives its status.
TEST(TesseraSettings, AWriterHoldingTheLockIsWaitedForUpToTheBusyTimeout)
{
    struct Case {
        const char* busyTimeout; // the line in the settings file ("" = the default, 5000 ms)
        int holdMs;
        std::int16_t status;
    };
    const Case cases[] = {
        {"", 600, 0}, // the default waits a few seconds
        {"BusyTimeout=3000\r\n", 600, 0},
        {"BusyTimeout=200\r\n", 2500, -1}, // the wait runs out: the database cannot be opened
    };
    for (const Case& c : cases) {
        kov::db::Fixture fx;
        fx.setKanri();
        fx.writeSettings("KOV.INI", std::string("[Database]\r\nPath=kov.db\r\n") + c.busyTimeout);
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t writer = fork();
        ASSERT_GE(writer, 0);
        if (writer == 0) {
            sqlite3* w = nullptr;
            sqlite3_open(fx.path("kov.db").c_str(), &w);
            const bool locked = sqlite3_exec(w, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK;
            (void)!write(ready[1], locked ? "L" : "F", 1);
            usleep(static_cast<useconds_t>(c.holdMs) * 1000);
            sqlite3_exec(w, "COMMIT", nullptr, nullptr, nullptr);
            _exit(0);
        }
        char signal = 0;
        ASSERT_EQ(read(ready[0], &signal, 1), 1);
        ASSERT_EQ(signal, 'L');
        const auto start = std::chrono::steady_clock::now();
        std::string detail;
        EXPECT_EQ(openWith("KOV.INI", &detail), c.status) << c.busyTimeout << " " << c.holdMs;
        if (c.status != 0) {
            EXPECT_EQ(detail, "データベースファイル「" + fx.path("kov.db") +
                                  "」は他のプログラムが書き込み中です（BusyTimeout の 200 ミリ秒待ちました。database "
                                  "is locked）。");
        }
        const auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_GE(waited, std::chrono::milliseconds(std::min(c.holdMs, 200) - 50));
        int exitStatus = 0;
        waitpid(writer, &exitStatus, 0);
        close(ready[0]);
        close(ready[1]);
    }
}

// Each fault of a settings file: its status, and the detail that the status check
// shows on the line after the status message (the file, the line, what is wrong).
TEST(TesseraSettings, EachFaultNamesTheFileTheLineAndWhatIsWrong)
{
    kov::db::Fixture fx;
    const std::string ini = fx.path("BAD.INI");
    // The detail of a fault on line n of the settings file.
    const auto at = [&](int n, const std::string& what) {
        return "設定ファイル「" + ini + "」の " + std::to_string(n) + " 行目: " + what;
    };
    struct Case {
        std::string content;
        std::int16_t status;
        std::string detail;
    };
    const Case cases[] = {
        {"[Database]\r\nPath=gone.db\r\n", -20,
         at(2, "Path のデータベースファイル「" + fx.path("gone.db") + "」がありません。")},
        {"[Database]\r\nPath=nodir/kov.db\r\n", -19,
         at(2, "Path のフォルダ「" + fx.path("nodir") + "」がありません。")},
        {"[Database]\r\nPath=kov.db\r\nBusyTimeout=5s\r\n", -18,
         at(3, "BusyTimeout の値「5s」は数ではありません（ミリ秒を数字だけで書いてください）。")},
        {"[Database]\r\nPath=kov.db\r\nReadTimeout=0\r\n", -18,
         at(3, "ReadTimeout の値「0」は使えません（1 以上の秒を書いてください）。")},
        {"[Database]\r\nEngnie=sqlite\r\nPath=kov.db\r\n", -18,
         at(2, "不明な設定「Engnie」です（Engine、Path、Connection、BusyTimeout、ReadTimeout）。")},
        {"[Database]\r\nEngine=oracle\r\n", -18, at(2, "Engine の値「oracle」は使えません（sqlite、postgresql）。")},
        {"[Database]\r\nPath kov.db\r\n", -18, at(2, "「名前=値」の形ではありません。")},
        {"[Database]\r\n", -18,
         "設定ファイル「" + ini + "」: [Database] に Path（データベースのファイル）がありません。"},
        {"[Database]\r\nPath=\r\n", -18, at(2, "Path が空です（データベースのファイルを書いてください）。")},
        {"[Database]\r\nEngine=postgresql\r\nConnection=nosuchkey=1\r\n", -18,
         at(3, "Connection の値は接続文字列になっていません（invalid connection option \"nosuchkey\"）。")},
        {"[Database]\r\nPath=kovenv.db\r\n", 0, ""}, // opens, but has no payroll table: see below
    };
    for (const Case& c : cases) {
        fx.writeSettings("BAD.INI", c.content);
        std::string detail;
        EXPECT_EQ(openWith("BAD.INI", &detail), c.status) << c.content;
        EXPECT_EQ(detail, c.detail) << c.content;
    }
    // A database without the table that the program opens (the other database named).
    auto db = CreateObjectAs<clsDbAccess>(kProgIdDbAccess);
    db->setDBIniNameString("BAD.INI");
    ASSERT_EQ(db->DAO_DBOpen(), 0);
    auto tb = CreateObjectAs<clsTbAccess>(kProgIdTbAccess);
    tb->setTBDatabase(db->DBDatabase());
    tb->setTBNameString("SKKANRI");
    EXPECT_EQ(tb->DAO_TableOpen("", ""), -2);
    EXPECT_EQ(tb->failureDetail(-2), "データベースファイル「" + fx.path("kovenv.db") +
                                         "」にテーブル「SKKANRI」がありません（設定ファイルの Path か Connection "
                                         "が別のデータベースを指していないか確かめてください）。");
    // The settings file itself, and its folder.
    std::string detail;
    EXPECT_EQ(openWith("NOSUCH.INI", &detail), -20);
    EXPECT_EQ(detail, "設定ファイル「" + fx.path("NOSUCH.INI") + "」がありません。");
    setenv("KOV_INI_DIR", fx.path("missing").c_str(), 1);
    EXPECT_EQ(openWith("KOV.INI", &detail), -19);
    EXPECT_EQ(detail,
              "設定ファイルのフォルダ「" + fx.path("missing") + "」がありません（KOV_INI_DIR を確かめてください）。");
}

// A password in Connection= of a file that others may read is warned of (libpq's rule
// for its password file); the same file readable by its owner alone is not.
TEST(TesseraSettings, APasswordInAFileThatOthersMayReadIsWarnedOf)
{
    kov::db::Fixture fx;
    struct Case {
        std::string connection;
        fs::perms perms;
        bool warned;
    };
    const Case cases[] = {
        {"host=/nonexistent port=1 connect_timeout=2 password=secret",
         fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read, true},
        {"postgresql://desk:secret@/kov?host=/nonexistent&port=1&connect_timeout=2",
         fs::perms::owner_read | fs::perms::group_read, true},
        {"host=/nonexistent port=1 connect_timeout=2 password=secret", fs::perms::owner_read | fs::perms::owner_write,
         false},
        {"host=/nonexistent port=1 connect_timeout=2", fs::perms::owner_read | fs::perms::others_read, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string name = "PW" + std::to_string(++n) + ".INI";
        fx.writeSettings(name, "[Database]\r\nEngine=postgresql\r\nConnection=" + c.connection + "\r\n");
        fs::permissions(fx.path(name), c.perms);
        testing::internal::CaptureStderr();
        openWith(name);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.find("警告: 設定ファイル「" + fx.path(name) + "」の Connection にパスワードがあります") !=
                      std::string::npos,
                  c.warned)
            << c.connection << "\n"
            << err;
    }
}
