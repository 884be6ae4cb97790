// Opening and closing the same database again and again: every open sees the settings
// and database files as they are now, and leaves no file open behind it.
#include "common/runtimeerror.h"
#include "db/sqlite.h"
#include "tessera/tessera.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

using namespace kov::dataaccess;
namespace fs = std::filesystem;

namespace {

using kov::test::writeBytes;

void exec(const std::string& dbPath, const std::string& sql)
{
    kov::db::Connection(dbPath, kov::db::Connection::Mode::ReadWrite).exec(sql);
}

// A database with one table T holding one row V = value. Databases made with values
// of equal length have the same size.
void makeDatabase(const std::string& path, const std::string& value)
{
    kov::db::Connection(path, kov::db::Connection::Mode::CreateNew)
        .exec("CREATE TABLE T (V TEXT); INSERT INTO T VALUES ('" + value + "');");
}

std::size_t openDescriptors()
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++n;
    return n;
}

class TesseraReuse : public ::testing::Test {
protected:
    static inline std::unique_ptr<kov::test::TempDir> s_tmp;
    static inline std::string s_dir;

    static void SetUpTestSuite()
    {
        s_tmp = std::make_unique<kov::test::TempDir>("tessera-reuse");
        s_dir = s_tmp->str();
        for (const char* name : {"replaced", "gone", "a", "b", "many1", "many2", "inuse", "write"}) {
            makeDatabase(path(std::string(name) + ".db"), std::string("old-") + name);
            writeBytes(path(std::string(name) + ".ini"),
                       std::string("[Database]\nEngine=sqlite\nPath=") + name + ".db\n");
        }
        writeBytes(path("edited.ini"), "[Database]\nPath=a.db\n");
        for (const char* folder : {"one", "two", "left", "right"}) {
            fs::create_directory(path(folder));
            makeDatabase(path(std::string(folder) + "/names.db"), std::string("old-") + folder);
            writeBytes(path(std::string(folder) + "/KOV.INI"), "[Database]\nPath=names.db\n");
        }
    }

    static void TearDownTestSuite() { s_tmp.reset(); }

    static std::string path(const std::string& name) { return s_dir + "/" + name; }

    // Opens the database that the settings file `ini` names; status of DAO_DBOpen.
    static std::int16_t open(clsDbAccess& db, const std::string& ini)
    {
        db.setDBIniNameString(path(ini));
        return db.DAO_DBOpen();
    }

    // Table T of the database.
    static std::unique_ptr<clsTbAccess> tableT(clsDbAccess& db)
    {
        auto tb = kov::tessera::makeTbAccess();
        tb->setTBDatabase(db.DBDatabase());
        tb->setTBNameString("T");
        return tb;
    }

    // V of the first row of T, through a fresh pair of objects, as a report line reads
    // its names: open, read, close.
    static std::string readValue(const std::string& ini)
    {
        auto db = kov::tessera::makeDbAccess(s_dir);
        if (const std::int16_t st = open(*db, ini); st != 0) return "status " + std::to_string(st);
        auto tb = tableT(*db);
        std::string out;
        if (const std::int16_t rows = tb->DAO_TableOpen("", ""); rows < 0) out = "table " + std::to_string(rows);
        else if (tb->DAO_RecRead(1) != 0) out = "no row";
        else out = toText(tb->TBRec("V"));
        tb->DAO_TableClose();
        db->DAO_DBClose();
        return out;
    }
};

} // namespace

TEST_F(TesseraReuse, ADatabaseReplacedBetweenTwoOpensIsReadAnew)
{
    ASSERT_EQ(readValue("replaced.ini"), "old-replaced");
    ASSERT_EQ(readValue("replaced.ini"), "old-replaced");
    fs::remove(path("replaced.db"));
    makeDatabase(path("replaced.db"), "new-replaced"); // same size, maybe the same inode
    EXPECT_EQ(readValue("replaced.ini"), "new-replaced");
}

TEST_F(TesseraReuse, ADatabaseReplacedWhileOpenIsReadAnewAfterTheClose)
{
    auto db = kov::tessera::makeDbAccess(s_dir);
    ASSERT_EQ(open(*db, "inuse.ini"), 0);
    fs::remove(path("inuse.db"));
    makeDatabase(path("inuse.db"), "new-inuse");
    EXPECT_EQ(db->DAO_DBClose(), 0);
    EXPECT_EQ(readValue("inuse.ini"), "new-inuse");
}

// The files that a name leads to are kept track of by folder: a folder swapped for
// another leads to the other's files at the next open.
TEST_F(TesseraReuse, AFolderSwappedForAnotherLeadsToTheOthersDatabase)
{
    ASSERT_EQ(readValue("left/KOV.INI"), "old-left");
    ASSERT_EQ(readValue("left/KOV.INI"), "old-left");
    fs::rename(path("left"), path("left-away"));
    fs::rename(path("right"), path("left"));
    EXPECT_EQ(readValue("left/KOV.INI"), "old-right");
    fs::rename(path("left-away"), path("right"));
    EXPECT_EQ(readValue("right/KOV.INI"), "old-left");
}

TEST_F(TesseraReuse, ADatabaseDeletedAfterACloseIsMissingAtTheNextOpen)
{
    ASSERT_EQ(readValue("gone.ini"), "old-gone");
    fs::remove(path("gone.db"));
    auto db = kov::tessera::makeDbAccess(s_dir);
    EXPECT_EQ(open(*db, "gone.ini"), -20);
    EXPECT_EQ(db->DBDatabase(), nullptr);
    EXPECT_EQ(db->DAO_DBClose(), -5);
    EXPECT_EQ(open(*db, "gone.ini"), -20); // each time
    makeDatabase(path("gone.db"), "new-gone");
    EXPECT_EQ(readValue("gone.ini"), "new-gone");
}

TEST_F(TesseraReuse, ASettingsFileEditedBetweenTwoOpensTakesEffect)
{
    ASSERT_EQ(readValue("edited.ini"), "old-a");
    ASSERT_EQ(readValue("edited.ini"), "old-a");
    writeBytes(path("edited.ini"), "[Database]\nPath=b.db\n"); // same size
    EXPECT_EQ(readValue("edited.ini"), "old-b");
    writeBytes(path("edited.ini"), "[Database]\nPath=c.db\n");
    EXPECT_EQ(readValue("edited.ini"), "status -20");
    writeBytes(path("edited.ini"), "[Database]\nEngine=other\nPath=a.db\n");
    EXPECT_EQ(readValue("edited.ini"), "status -18");
    fs::remove(path("edited.ini"));
    EXPECT_EQ(readValue("edited.ini"), "status -20");
    writeBytes(path("edited.ini"), "[Database]\nPath=a.db\n");
    EXPECT_EQ(readValue("edited.ini"), "old-a");
}

TEST_F(TesseraReuse, TheSameSettingsNameInTwoFoldersLeadsToEachFoldersDatabase)
{
    const char* saved = std::getenv("KOV_INI_DIR");
    const std::string earlier = saved ? saved : "";
    auto valueIn = [](const std::string& folder) {
        setenv("KOV_INI_DIR", path(folder).c_str(), 1);
        auto db = kov::tessera::makeDbAccess(s_dir);
        db->setDBIniNameString("KOV.INI");
        if (db->DAO_DBOpen() != 0) return std::string("no open");
        auto tb = tableT(*db);
        if (tb->DAO_TableOpen("", "") != 1 || tb->DAO_RecRead(1) != 0) return std::string("no row");
        return toText(tb->TBRec("V"));
    };
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(valueIn("one"), "old-one");
        EXPECT_EQ(valueIn("two"), "old-two");
    }
    if (saved) setenv("KOV_INI_DIR", earlier.c_str(), 1);
    else unsetenv("KOV_INI_DIR");
}

TEST_F(TesseraReuse, ReadsOnAKeptConnectionSeeEveryCommittedWrite)
{
    auto db = kov::tessera::makeDbAccess(s_dir);
    ASSERT_EQ(open(*db, "write.ini"), 0);
    auto tb = tableT(*db);
    for (int i = 1; i <= 3; ++i) {
        ASSERT_EQ(tb->DAO_TableOpen("", ""), 1);
        ASSERT_EQ(tb->DAO_RecRead(1), 0); // a row stays current: the statement is mid-read
        ASSERT_EQ(tb->DAO_TableClose(), 0);
        // The closed table left no read transaction behind, so the write goes through.
        ASSERT_NO_THROW(exec(path("write.db"), "UPDATE T SET V = 'w" + std::to_string(i) + "'"));
        ASSERT_EQ(tb->DAO_TableOpen("", ""), 1);
        ASSERT_EQ(tb->DAO_RecRead(1), 0);
        EXPECT_EQ(toText(tb->TBRec("V")), "w" + std::to_string(i));
        ASSERT_EQ(tb->DAO_TableClose(), 0);
    }
    // A column added since the statement was first prepared is found.
    ASSERT_NO_THROW(exec(path("write.db"), "ALTER TABLE T ADD COLUMN W INTEGER DEFAULT 7"));
    ASSERT_EQ(tb->DAO_TableOpen("", ""), 1);
    ASSERT_EQ(tb->DAO_RecRead(1), 0);
    EXPECT_EQ(tb->TBRec("W"), DbValue(std::int64_t{7}));
    EXPECT_EQ(toText(tb->TBRec("V")), "w3");
    EXPECT_THROW(tb->TBRec("ROWID"), kov::RuntimeError); // the hidden position stays hidden
    ASSERT_EQ(tb->DAO_TableClose(), 0);
    // A table dropped since is a missing table, as on a fresh connection.
    ASSERT_NO_THROW(exec(path("write.db"), "DROP TABLE T"));
    EXPECT_EQ(tb->DAO_TableOpen("", ""), -2);
    EXPECT_EQ(db->DAO_DBClose(), 0);
}

TEST_F(TesseraReuse, ManyOpenCloseCyclesDoNotGrowTheOpenFiles)
{
    auto cycle = [] {
        EXPECT_EQ(readValue("many1.ini"), "old-many1");
        EXPECT_EQ(readValue("many2.ini"), "old-many2");
        // Closed in the other order: the database first, with a table still open on it.
        auto db = kov::tessera::makeDbAccess(s_dir);
        ASSERT_EQ(open(*db, "many1.ini"), 0);
        auto tb = tableT(*db);
        ASSERT_EQ(tb->DAO_TableOpen("", ""), 1);
        ASSERT_EQ(tb->DAO_RecRead(1), 0);
        ASSERT_EQ(db->DAO_DBClose(), 0);
        EXPECT_EQ(tb->DAO_RecRead(2), -5);
        // Two connections to one file at once.
        auto db2 = kov::tessera::makeDbAccess(s_dir);
        auto db3 = kov::tessera::makeDbAccess(s_dir);
        ASSERT_EQ(open(*db2, "many2.ini"), 0);
        ASSERT_EQ(open(*db3, "many2.ini"), 0);
        // db2 and db3 are released without a close.
        // More connections to one file at once than are kept idle afterwards.
        std::vector<std::unique_ptr<clsDbAccess>> several;
        for (int i = 0; i < 6; ++i) {
            several.push_back(kov::tessera::makeDbAccess(s_dir));
            ASSERT_EQ(open(*several.back(), i % 2 ? "many1.ini" : "many2.ini"), 0);
        }
        for (auto& d : several) EXPECT_EQ(d->DAO_DBClose(), 0);
    };
    cycle();
    const std::size_t afterFirst = openDescriptors();
    for (int i = 0; i < 300; ++i) cycle();
    EXPECT_LE(openDescriptors(), afterFirst);
}
