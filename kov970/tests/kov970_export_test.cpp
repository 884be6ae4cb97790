// The three CSV writers on real SQLite fixtures, each case compared byte for byte with
// its golden file tests/data/kov970_<case>.csv (CP932, CR LF), or, for data that cannot
// be written, the message the clerk sees and nothing under the final name.
#include "common/programcontext.h"
#include "common/tests/scriptedruntime.h"
#include "db/tests/fixture.h"
#include "kov970/csvexport.h"
#include "tests/support/golden.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

namespace {

namespace fs = std::filesystem;
using kov::kov970::Master;
using Null = std::monostate;

struct Case {
    std::string name;
    Master master;
    std::function<void(kov::db::Fixture&)> data;
    std::string failure; // part of the message; empty: the golden file kov970_<name>.csv
};

void kanriEveryColumn(kov::db::Fixture& fx)
{
    fx.setKanri(202306, 2023,
                {{"KENKO", 0.5},
                 {"KETOKO", -0.5},
                 {"KETOJI", 0.00001},
                 {"KOSEI", 1e15},
                 {"KOTOKO", 123.25},
                 {"KOTOJI", "000123"},
                 {"KAIGO", 0.0001},
                 {"JIDOU", -1234567.5},
                 {"KMKM6", 1.0 / 3},
                 {"KMKM12", 2.5e-7},
                 {"KMKM3", 999999999999999.0},
                 {"KMKB6", -3},
                 {"KMKB12", " 42 "},
                 {"KMKM12N", 1.5e20},
                 {"ZFKBN1", 1},
                 {"ZFKBN2", 2},
                 {"ZFHAITO", Null{}},
                 {"ZFKYU", 10},
                 {"ZFSYO", 11},
                 {"ZFSAG", 12},
                 {"ZFSYA", 13},
                 {"ZFKOYO", 14},
                 {"ZFSAI", " 再計算  "},
                 {"TOKTAN_01", 101},
                 {"TOKTAN_02", Null{}},
                 {"TOKTAN_03", 103},
                 {"TOKTAN_04", 104},
                 {"TOKTAN_05", 105},
                 {"TOKTAN_06", std::int64_t{-1234567890123456789}}});
}

void staffTwo(kov::db::Fixture& fx)
{
    kov::db::Row values;
    for (const char* c : {"SEIBET", "SEIYMD", "KBANGO", "HYOJUN", "SSYUCD", "SSOSCD", "SKFYMD", "SKEYMD", "SSOYMD",
                          "KSYUCD", "KSOSCD", "KNFYMD", "KNEYMD", "KSOYMD", "KAIKBN"})
        values.emplace_back(c, static_cast<std::int64_t>(values.size() + 1));
    for (const char* c : {"KKIGOU", "NBANGO", "KOYBAN", "CHOKBN"}) values.emplace_back(c, std::string(c) + "  ");
    for (int g = 1; g <= 8; ++g) {
        const std::string nn = "0" + std::to_string(g);
        values.emplace_back("HATJIU_" + nn, std::int64_t{g});
        values.emplace_back("HAFYMD_" + nn, std::int64_t{20230400 + g});
        values.emplace_back("HAEYMD_" + nn, std::int64_t{20240300 + g});
        values.emplace_back("HATSYO_" + nn, "発令" + nn);
    }
    fx.addStaff({.syokcd = 1001, .syozok = "E101", .name = "山田,太郎", .kana = "ﾔﾏﾀﾞ ﾀﾛｳ   ", .values = values});
    fx.addStaff({.syokcd = 1002,
                 .syozok = "E102",
                 .name = "鈴木\"花子\"",
                 .kana = "ｽｽﾞｷ",
                 .values = {{"KBANGO", "000123"}, {"NBANGO", "行1\r\n行2"}}});
}

void schools(kov::db::Fixture& fx)
{
    fx.addSchool("E101", "城東小学校");
    fx.addSchool("E102 ", "川北中学校　");
}

class Export : public ::testing::Test {
protected:
    kov::db::Fixture fx;
    kov::ScriptedRuntime rt{fx.dir()};
    kov::ProgramContext ctx{rt, "kov970"};
    std::string dir = fx.path("medium") + "/";

    void SetUp() override
    {
        fs::create_directories(dir);
        ctx.createConnection();
        ctx.prsDbOpen();
    }
    std::optional<std::string> run(Master m) { return kov::kov970::exportMaster(ctx, m, dir); }
};

TEST_F(Export, MastersAsCsvFiles)
{
    const std::vector<Case> cases = {
        {"kanri", Master::Kanri, kanriEveryColumn, ""},
        {"syoku", Master::Syoku, staffTwo, ""},
        {"syozk", Master::Syozk, schools, ""},
        {"empty", Master::Syozk, [](kov::db::Fixture& f) { f.exec("DELETE FROM SKSYOZK"); }, ""},
        {"letters_in_number", Master::Syoku,
         [](kov::db::Fixture& f) { f.exec("UPDATE SKSYOKU SET KBANGO = '12A' WHERE SYOKCD = 1002"); },
         "職員マスタを退避できませんでした。\r\nファイル: " + dir +
             "SKSYOKU.CSV\r\nレコード 2 件目（SYOKCD = 1002）の列 KBANGO の値「12A」は数値ではありません。"},
        {"not_shift_jis", Master::Syozk, [](kov::db::Fixture& f) { f.addSchool("E103", "𠮷野小学校"); },
         "レコード 1 件目（SYOZOK = E103）の列 SZKKNJ に、シフトJISで書けない文字「𠮷」があります。\r\n"
         "外字として書くには、外字表「" +
             fx.path("GAIJI.INI") + "」の [Gaiji] に「E000=𠮷」の行を加えてください。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir + kov::kov970::masterFile(c.master).fileName;
        // The file of the case before replaces a file of the same name (or stays, on failure).
        std::ofstream(path, std::ios::binary) << "old backup\r\n";
        c.data(fx);
        const auto failure = run(c.master);
        if (c.failure.empty()) {
            ASSERT_FALSE(failure) << *failure;
            if (c.name == "empty") EXPECT_EQ(kov::test::readBytes(path), "");
            else kov::test::expectGolden(path, "kov970_" + c.name + ".csv");
        } else {
            ASSERT_TRUE(failure);
            EXPECT_NE(failure->find(c.failure), std::string::npos) << *failure;
            EXPECT_EQ(kov::test::readBytes(path), "old backup\r\n");
        }
        EXPECT_EQ(kov::test::fileNames(dir), std::vector<std::string>{kov::kov970::masterFile(c.master).fileName});
        fs::remove(path);
    }
    EXPECT_TRUE(rt.messages.empty());
}

} // namespace
