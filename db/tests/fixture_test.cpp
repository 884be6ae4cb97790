// The database fixture: real files, settings that the data-access component reads,
// and rows that come back through clsTbAccess as they were inserted.
#include "db/tests/fixture.h"

#include "common/dataaccess/dataaccess.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace kov::dataaccess;
namespace fs = std::filesystem;

namespace {

struct Opened {
    std::unique_ptr<clsDbAccess> db;
    std::unique_ptr<clsTbAccess> tb;
};

Opened openTable(const std::string& ini, const std::string& table, const std::string& criteria = "",
                 const std::string& order = "", std::int16_t* rows = nullptr)
{
    Opened o;
    o.db = CreateObjectAs<clsDbAccess>(kProgIdDbAccess);
    o.db->setDBIniNameString(ini);
    EXPECT_EQ(o.db->DAO_DBOpen(), 0);
    o.tb = CreateObjectAs<clsTbAccess>(kProgIdTbAccess);
    o.tb->setTBDatabase(o.db->DBDatabase());
    o.tb->setTBNameString(table);
    const std::int16_t n = o.tb->DAO_TableOpen(criteria, order);
    if (rows) *rows = n;
    return o;
}

// The table (criteria as given) holds one row, with these texts in these columns
// (nullptr: NULL).
void expectOneRow(const std::string& ini, const std::string& table, const std::string& criteria,
                  const std::vector<std::pair<std::string, const char*>>& columns)
{
    std::int16_t rows = 0;
    auto o = openTable(ini, table, criteria, "", &rows);
    EXPECT_EQ(rows, 1) << table;
    ASSERT_EQ(o.tb->DAO_RecRead(1), 0) << table;
    for (const auto& [column, text] : columns) {
        const DbValue v = o.tb->TBRec(column);
        if (text) EXPECT_EQ(toText(v), text) << table << "." << column;
        else EXPECT_TRUE(isNull(v)) << table << "." << column;
    }
}

} // namespace

TEST(Fixture, CreatesTheStandardLayoutAndPointsTheSettingsFolderAtIt)
{
    std::string dir;
    {
        kov::db::Fixture fx;
        dir = fx.dir();
        for (const char* f : {"KOV.INI", "KOVENV.INI", "kov.db", "kovenv.db"})
            EXPECT_TRUE(fs::exists(fs::path(dir) / f)) << f;
        ASSERT_NE(std::getenv("KOV_INI_DIR"), nullptr);
        EXPECT_EQ(std::string(std::getenv("KOV_INI_DIR")), dir);
    }
    EXPECT_FALSE(fs::exists(dir));
}

TEST(Fixture, RestoresTheEarlierSettingsFolder)
{
    setenv("KOV_INI_DIR", "/somewhere/else", 1);
    {
        kov::db::Fixture fx;
    }
    ASSERT_NE(std::getenv("KOV_INI_DIR"), nullptr);
    EXPECT_EQ(std::string(std::getenv("KOV_INI_DIR")), "/somewhere/else");
    unsetenv("KOV_INI_DIR");
    {
        kov::db::Fixture fx;
    }
    EXPECT_EQ(std::getenv("KOV_INI_DIR"), nullptr);
}

TEST(Fixture, PaymentDefaultsAreZeroAndOverridesWin)
{
    kov::db::Fixture fx;
    fx.addPayment({.syokcd = 1001, .values = {{"KYURYO", 300000}, {"ZEIRT2", 4.084}, {"SYRFLG", 7}}});
    std::int16_t rows = 0;
    auto o = openTable("KOV.INI", "SKSYKEI", "", "", &rows);
    ASSERT_EQ(rows, 1);
    ASSERT_EQ(o.tb->DAO_RecRead(1), 0);
    EXPECT_EQ(o.tb->TBRec("SYOKCD"), DbValue(std::int64_t{1001}));
    EXPECT_EQ(o.tb->TBRec("KYURYO"), DbValue(std::int64_t{300000}));
    EXPECT_EQ(o.tb->TBRec("SYRFLG"), DbValue(std::int64_t{7}));
    EXPECT_EQ(o.tb->TBRec("KIMATU"), DbValue(std::int64_t{0}));
    EXPECT_EQ(o.tb->TBRec("ZEIRT2"), DbValue(4.084));
    EXPECT_EQ(o.tb->TBRec("SYOZOK"), DbValue(std::string("E101")));
    EXPECT_EQ(o.tb->TBRec("SKYUYM"), DbValue(std::int64_t{202306}));
}

TEST(Fixture, KanriBlockStaffSchoolsAndSummaryRows)
{
    kov::db::Fixture fx;
    fx.setKanri(202312, 2023);
    fx.setKanri(202306, 2023); // replaces, never two KANRI records
    fx.addSchool("E101", "城東小学校");
    fx.setBlock(7, 101, 103, 3, 2);
    fx.addStaff({.syokcd = 5, .name = "佐藤　花子", .values = {{"SEIBET", 2}}});
    fx.addSumi({.zaimu = 9, .sharym = 202403, .values = {{"KYUYO", 123}}});

    expectOneRow("KOV.INI", "SKKANRI", "KEY = 'KANRI'", {{"SYORID", "202306"}});
    expectOneRow("KOV.INI", "SKBLOCK", "KEY='BLOCK'",
                 {{"SSYOZK_07", "101"}, {"ESYOZK_07", "103"}, {"CNT_07", "3"}, {"KYUSYU_07", "2"}, {"SSYOZK_01", "0"}});
    expectOneRow("KOV.INI", "SKSYOKU", "", {{"SIMKNJ", "佐藤　花子"}, {"SEIBET", "2"}});
    expectOneRow("KOV.INI", "SKSUMI", "NENDO = 2023", {{"KYUYO", "123"}, {"TAGAKU", "0"}, {"ZAIMU", "9"}});
}

TEST(Fixture, NameRowStandardAndSingleColumns)
{
    kov::db::Fixture fx;
    fx.setName("SYOKU1", "校長"); // creates the row
    fx.setName("KENKO", std::int64_t{10});
    expectOneRow("KOVENV.INI", "名設定", "", {{"SYOKU1", "校長"}, {"SYOKU2", nullptr}, {"KENKO", "10"}});
    fx.setStandardNames();
    expectOneRow("KOVENV.INI", "名設定", "", {{"NENKJ3", "令和"}, {"NENST3", "20190501"}, {"SYOKU5", "講師(日額)"}});
}

TEST(Schema, SectionsSplitThePayrollAndNameTables)
{
    const std::string payroll = kov::db::payrollSchemaSql();
    const std::string names = kov::db::nameSchemaSql();
    EXPECT_NE(payroll.find("CREATE TABLE SKSYKEI"), std::string::npos);
    EXPECT_EQ(payroll.find("名設定"), std::string::npos);
    EXPECT_NE(names.find("CREATE TABLE \"名設定\""), std::string::npos);
    EXPECT_EQ(names.find("SKSYKEI"), std::string::npos);
}

TEST(Schema, ColumnCountsOfTheMasters)
{
    kov::db::Fixture fx;
    EXPECT_EQ(kov::db::tableColumns(fx.payroll(), "SKKANRI").size(), 32u);
    EXPECT_EQ(kov::db::tableColumns(fx.payroll(), "SKSYOKU").size(), 59u);
    EXPECT_EQ(kov::db::tableColumns(fx.payroll(), "SKSYOZK").size(), 2u);
    EXPECT_EQ(kov::db::tableColumns(fx.payroll(), "SKBLOCK").size(), 1u + 4u * 45u);
    EXPECT_EQ(kov::db::tableColumns(fx.payroll(), "SKSUMI").size(), 5u + 21u);
    EXPECT_EQ(kov::db::tableColumns(fx.names(), "名設定").size(), 10u + 9u + 8u + 9u + 5u);
}
