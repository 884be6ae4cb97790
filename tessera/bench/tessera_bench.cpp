// Reading the payment records of the demo database (about 100,000 rows) through
// clsTbAccess, against the same reads with the SQLite C API; staff-master finds; and
// the open-read-close of the name table that a screen does for its names.
//   build/bin/tessera_bench
#include "db/demo.h"
#include "tessera/tessera.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace kov::dataaccess;
namespace fs = std::filesystem;

namespace {

const char* const kColumns[] = {"KYURYO", "KTYOGK", "STYOGK", "CHIIKI", "KTOKUB", "TUKINH", "TUKINK",
                                "JYUKYO", "FUYOTE", "SYUKUH", "KISYUH", "SYUKUK", "KISYUK", "HEKICI",
                                "HEKJUN", "ZANGYO", "KYUJIT", "KIMATU", "KINBEN", "KAZEIG", "SSIKYU",
                                "KENKO",  "KOSEI",  "KOYOU",  "NENFUS", "KOUGOK", "SASIHK"};

// One demo installation for the whole run.
const std::string& demoDir()
{
    static const std::string dir = [] {
        std::string t = (fs::temp_directory_path() / "kovbench-XXXXXX").string();
        if (!mkdtemp(t.data())) std::abort();
        kov::gendemo::generateDemo({.outDir = t, .staff = 45000, .seed = 1});
        setenv("KOV_INI_DIR", t.c_str(), 1);
        kov::tessera::registerComponent(t);
        std::atexit([] { fs::remove_all(demoDir()); });
        return t;
    }();
    return dir;
}

void BM_ReadPaymentsTessera(benchmark::State& state)
{
    demoDir();
    auto db = CreateObjectAs<clsDbAccess>(kProgIdDbAccess);
    db->setDBIniNameString("KOV.INI");
    if (db->DAO_DBOpen() != 0) state.SkipWithError("open");
    std::int64_t rows = 0;
    for (auto _ : state) {
        auto tb = CreateObjectAs<clsTbAccess>(kProgIdTbAccess);
        tb->setTBDatabase(db->DBDatabase());
        tb->setTBNameString("SKSYKEI");
        tb->DAO_TableOpen("", "SYRFLG,SYOZOK,SYOKCD");
        std::int64_t sum = 0;
        for (std::int16_t st = tb->DAO_RecRead(1); st == 0; st = tb->DAO_RecRead(2)) {
            for (const char* c : kColumns) sum += toCurrency(tb->TBRec(c)).raw();
            ++rows;
        }
        benchmark::DoNotOptimize(sum);
        tb->DAO_TableClose();
    }
    state.SetItemsProcessed(rows);
}
BENCHMARK(BM_ReadPaymentsTessera)->Unit(benchmark::kMillisecond);

void BM_ReadPaymentsSqlite(benchmark::State& state)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2((demoDir() + "/kov.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    std::string sql = "SELECT ";
    for (const char* c : kColumns) sql += std::string(c) + ",";
    sql.pop_back();
    sql += " FROM SKSYKEI ORDER BY SYRFLG,SYOZOK,SYOKCD";
    std::int64_t rows = 0;
    for (auto _ : state) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
        std::int64_t sum = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) sum += sqlite3_column_int64(st, i) * 10000;
            ++rows;
        }
        benchmark::DoNotOptimize(sum);
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    state.SetItemsProcessed(rows);
}
BENCHMARK(BM_ReadPaymentsSqlite)->Unit(benchmark::kMillisecond);

void BM_FindStaff(benchmark::State& state)
{
    demoDir();
    auto db = CreateObjectAs<clsDbAccess>(kProgIdDbAccess);
    db->setDBIniNameString("KOV.INI");
    db->DAO_DBOpen();
    auto tb = CreateObjectAs<clsTbAccess>(kProgIdTbAccess);
    tb->setTBDatabase(db->DBDatabase());
    tb->setTBNameString("SKSYOKU");
    tb->DAO_TableOpen("", "");
    std::int64_t code = 0;
    for (auto _ : state) {
        if (tb->DAO_RecFind(1, "SYOKCD = " + std::to_string(100001 + code)) != 0) state.SkipWithError("find");
        benchmark::DoNotOptimize(tb->TBRec("SIMKNJ"));
        code = (code + 7919) % 45000;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FindStaff)->Unit(benchmark::kMicrosecond);

// A screen's name lookup: connection, settings file, the one row of the name table,
// ten columns, and everything closed again.
void BM_NameReadOpenClose(benchmark::State& state)
{
    demoDir();
    for (auto _ : state) {
        auto db = CreateObjectAs<clsDbAccess>(kProgIdDbAccess);
        auto tb = CreateObjectAs<clsTbAccess>(kProgIdTbAccess);
        db->setDBIniNameString("KOVENV.INI");
        if (db->DAO_DBOpen() != 0) state.SkipWithError("open");
        tb->setTBDatabase(db->DBDatabase());
        tb->setTBNameString("名設定");
        if (tb->DAO_TableOpen("", "") != 1 || tb->DAO_RecRead(1) != 0) state.SkipWithError("read");
        for (int i = 1; i <= 10; ++i) benchmark::DoNotOptimize(tb->TBRec("SYOKU" + std::to_string(i)));
        tb->DAO_TableClose();
        db->DAO_DBClose();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NameReadOpenClose)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
