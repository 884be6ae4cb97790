// The demo installation: deterministic, consistent between its tables, readable
// through the data-access component.
#include "common/sqltext.h"
#include "db/demo.h"

#include "db/kovdb.h"
#include "tessera/tessera.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <unistd.h>

namespace fs = std::filesystem;
using kov::db::Connection;

namespace {

using TempDir = kov::test::TempDir;

std::int64_t count(Connection& db, const std::string& sql) { return std::get<std::int64_t>(db.scalar(sql)); }

// Every row of every table as one text, for comparing two databases.
std::string dump(const std::string& path)
{
    Connection db(path, Connection::Mode::ReadOnly);
    std::string out;
    kov::db::Statement tables = db.prepare("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name");
    while (tables.step()) {
        const std::string t = std::get<std::string>(tables.column(0));
        kov::db::Statement rows = db.prepare("SELECT * FROM " + kov::sql::quoteIdentifier(t) + " ORDER BY rowid");
        while (rows.step())
            for (int i = 0; i < rows.columnCount(); ++i) out += kov::dataaccess::toText(rows.column(i)) + "|";
        out += "\n";
    }
    return out;
}

} // namespace

TEST(GenDemo, SameSeedSameDatabasesOtherSeedOthers)
{
    TempDir a, b, c;
    kov::gendemo::generateDemo({.outDir = a.str(), .staff = 120, .seed = 3});
    kov::gendemo::generateDemo({.outDir = b.str(), .staff = 120, .seed = 3});
    kov::gendemo::generateDemo({.outDir = c.str(), .staff = 120, .seed = 4});
    EXPECT_EQ(dump(a.str() + "/kov.db"), dump(b.str() + "/kov.db"));
    EXPECT_NE(dump(a.str() + "/kov.db"), dump(c.str() + "/kov.db"));
    EXPECT_EQ(dump(a.str() + "/kovenv.db"), dump(b.str() + "/kovenv.db"));
}

TEST(GenDemo, RunningAgainReplacesTheFiles)
{
    TempDir d;
    kov::gendemo::generateDemo({.outDir = d.str(), .staff = 50});
    const auto s = kov::gendemo::generateDemo({.outDir = d.str(), .staff = 80});
    Connection db(d.str() + "/kov.db", Connection::Mode::ReadOnly);
    EXPECT_EQ(count(db, "SELECT COUNT(*) FROM SKSYOKU"), 80);
    EXPECT_EQ(s.staff, 80);
}

TEST(GenDemo, TablesAgreeWithEachOther)
{
    TempDir d;
    const auto s = kov::gendemo::generateDemo({.outDir = d.str(), .staff = 600, .seed = 1});
    Connection db(d.str() + "/kov.db", Connection::Mode::ReadOnly);

    EXPECT_EQ(count(db, "SELECT COUNT(*) FROM SKKANRI WHERE KEY = 'KANRI' AND SYORID = 202306 AND NENDO = 2023"), 1);
    EXPECT_EQ(count(db, "SELECT COUNT(*) FROM SKSYOZK"), s.schools);
    EXPECT_EQ(count(db, "SELECT COUNT(*) FROM SKSYKEI"), s.payments);

    // Every used block slot: first school exists, the count is the number of schools
    // from the first to the last code, pay kind 2, 5 or 3.
    kov::db::Statement blk = db.prepare("SELECT * FROM SKBLOCK WHERE KEY = 'BLOCK'");
    ASSERT_TRUE(blk.step());
    int used = 0;
    std::set<std::int64_t> kinds;
    for (int n = 1; n <= 45; ++n) {
        auto col = [&](const char* prefix) {
            char name[16];
            std::snprintf(name, sizeof name, "%s_%02d", prefix, n);
            for (int i = 0; i < blk.columnCount(); ++i)
                if (blk.columnName(i) == name) return std::get<std::int64_t>(blk.column(i));
            throw std::runtime_error(name);
        };
        const std::int64_t first = col("SSYOZK");
        if (first == 0) continue;
        ++used;
        kinds.insert(col("KYUSYU"));
        const std::int64_t last = col("ESYOZK");
        EXPECT_EQ(count(db, "SELECT COUNT(*) FROM SKSYOZK WHERE SYOZOK = 'E" + std::to_string(first) + "'"), 1);
        EXPECT_EQ(count(db, "SELECT COUNT(*) FROM SKSYOZK WHERE CAST(substr(SYOZOK, 2) AS INTEGER) BETWEEN " +
                                std::to_string(first) + " AND " + std::to_string(last)),
                  col("CNT"));
        // Payment records of the slot are of the slot's pay kind.
        EXPECT_EQ(count(db, "SELECT COUNT(*) FROM SKSYKEI WHERE SYRFLG = " + std::to_string(n) + " AND KYUSYU <> " +
                                std::to_string(col("KYUSYU"))),
                  0);
    }
    EXPECT_EQ(used, s.blocks);
    EXPECT_EQ(kinds, (std::set<std::int64_t>{2, 3, 5}));

    // Both staff groups, every payment record has its staff member.
    EXPECT_GT(count(db, "SELECT COUNT(*) FROM SKSYKEI WHERE KYUSYU = 2 AND SYOSYU IN (5, 6)"), 0);
    EXPECT_GT(count(db, "SELECT COUNT(*) FROM SKSYKEI WHERE KYUSYU = 2 AND SYOSYU NOT IN (5, 6)"), 0);
    EXPECT_EQ(count(db, "SELECT COUNT(*) FROM SKSYKEI k WHERE NOT EXISTS "
                        "(SELECT 1 FROM SKSYOKU s WHERE s.SYOKCD = k.SYOKCD AND s.SYOZOK = k.SYOZOK)"),
              0);
    EXPECT_EQ(count(db, "SELECT COUNT(*) FROM SKSYKEI WHERE SKYUYM <> 202306 OR SYRFLG = 0"), 0);
    // Allowance arithmetic of every record.
    EXPECT_EQ(count(db, "SELECT COUNT(*) FROM SKSYKEI WHERE KYUSYU IN (2, 5) AND "
                        "(SSIKYU <> KIMATU + KINBEN + KMZOGE OR SASIHK <> SSIKYU - SYOTOK - KOYOU - KENKO - KOSEI)"),
              0);
    EXPECT_EQ(count(db, "SELECT COUNT(*) FROM SKSYKEI WHERE SYOSYU IN (5, 6) AND KINBEN <> 0"), 0);
    EXPECT_GT(count(db, "SELECT COUNT(*) FROM SKSYKEI WHERE KYUSYU = 3 AND NENFUS < 0"), 0);
    EXPECT_GT(count(db, "SELECT COUNT(*) FROM SKSYKEI WHERE KMRITU = 10000000"), 0);
    EXPECT_EQ(count(db, "SELECT COUNT(*) FROM SKSYKEI WHERE KGOGHO > 99 OR SYOSYU NOT BETWEEN 1 AND 10"), 0);

    // A fiscal year of summary rows: April to March and April of the next year.
    EXPECT_EQ(count(db, "SELECT COUNT(DISTINCT SHARYM) FROM SKSUMI WHERE NENDO = 2023"), 13);
    EXPECT_EQ(count(db, "SELECT MIN(SHARYM) FROM SKSUMI"), 202304);
    EXPECT_EQ(count(db, "SELECT MAX(SHARYM) FROM SKSUMI"), 202404);
    EXPECT_EQ(count(db, "SELECT COUNT(*) FROM SKSUMI WHERE SYOCHU NOT IN (4, 5) OR ZAIMU NOT BETWEEN 1 AND 9"), 0);

    Connection names(d.str() + "/kovenv.db", Connection::Mode::ReadOnly);
    EXPECT_EQ(count(names, "SELECT COUNT(*) FROM \"名設定\" WHERE NENKJ3 = '令和' AND NENST3 = 20190501"), 1);
}

TEST(GenDemo, SettingsFilesOpenThroughTheComponent)
{
    TempDir d;
    kov::gendemo::generateDemo({.outDir = d.str(), .staff = 40});
    setenv("KOV_INI_DIR", d.str().c_str(), 1);
    kov::tessera::registerComponent("/nonexistent");
    for (const char* ini : {"KOV.INI", "KOVENV.INI"}) {
        auto db = kov::dataaccess::CreateObjectAs<kov::dataaccess::clsDbAccess>(kov::dataaccess::kProgIdDbAccess);
        db->setDBIniNameString(ini);
        EXPECT_EQ(db->DAO_DBOpen(), 0) << ini;
    }
    unsetenv("KOV_INI_DIR");
}
