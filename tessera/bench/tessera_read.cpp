// tessera_read DIR [REPEAT]
// tessera_read --session DIR
// Reads every payment record (SKSYKEI, in the print order SYRFLG,SYOZOK,SYOKCD) of the
// database that DIR/KOV.INI names through clsTbAccess, taking 27 amount columns of each
// row with TBRec, and prints the rows, the best time of REPEAT reads (3) and the peak
// memory of the process. Used by run-pg-bench.sh beside psql reading the same rows.
// With --session, only opens the database and prints the time of that first open
// ("session S"): on a server the start of a session, which every program's run pays
// once (the later opens of a process take its idle connection).
#include "tessera/tessera.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/resource.h>

using namespace kov::dataaccess;

namespace {

// The amount columns taken of each payment record.
const char* const kColumns[] = {"KYURYO", "KTYOGK", "STYOGK", "CHIIKI", "KTOKUB", "TUKINH", "TUKINK",
                                "JYUKYO", "FUYOTE", "SYUKUH", "KISYUH", "SYUKUK", "KISYUK", "HEKICI",
                                "HEKJUN", "ZANGYO", "KYUJIT", "KIMATU", "KINBEN", "KAZEIG", "SSIKYU",
                                "KENKO",  "KOSEI",  "KOYOU",  "NENFUS", "KOUGOK", "SASIHK"};

double secondsSince(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

std::unique_ptr<clsDbAccess> openDatabase()
{
    auto db = CreateObjectAs<clsDbAccess>(kProgIdDbAccess);
    db->setDBIniNameString("KOV.INI");
    if (const std::int16_t st = db->DAO_DBOpen(); st != 0) {
        std::fprintf(stderr, "tessera_read: DAO_DBOpen %d\n", st);
        return nullptr;
    }
    return db;
}

// The time of the first open of the database in DIR.
int sessionTime(const char* dir)
{
    setenv("KOV_INI_DIR", dir, 1);
    kov::tessera::registerComponent(dir);
    const auto t0 = std::chrono::steady_clock::now();
    const auto db = openDatabase();
    if (!db) return 2;
    std::printf("session %.3f\n", secondsSince(t0));
    db->DAO_DBClose();
    return 0;
}

// Reads every payment record once: its rows, the sum of their amounts (into `sum`) and
// the time it took; false on a failure.
bool readAll(clsDbAccess& db, std::int64_t& rows, std::int64_t& sum, double& seconds)
{
    const auto t0 = std::chrono::steady_clock::now();
    auto tb = CreateObjectAs<clsTbAccess>(kProgIdTbAccess);
    tb->setTBDatabase(db.DBDatabase());
    tb->setTBNameString("SKSYKEI");
    if (tb->DAO_TableOpen("", "SYRFLG,SYOZOK,SYOKCD") < 0) return false;
    rows = 0;
    std::int16_t st = tb->DAO_RecRead(1);
    for (; st == 0; st = tb->DAO_RecRead(2)) {
        for (const char* c : kColumns) sum += toCurrency(tb->TBRec(c)).raw();
        ++rows;
    }
    if (st != -9) return false;
    tb->DAO_TableClose();
    seconds = secondsSince(t0);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || (std::string(argv[1]) == "--session" && argc != 3)) {
        std::fprintf(stderr, "usage: tessera_read DIR [REPEAT] | tessera_read --session DIR\n");
        return 1;
    }
    if (std::string(argv[1]) == "--session") return sessionTime(argv[2]);
    setenv("KOV_INI_DIR", argv[1], 1);
    kov::tessera::registerComponent(argv[1]);
    const int repeat = argc > 2 ? std::atoi(argv[2]) : 3;
    double best = 1e300;
    std::int64_t rows = 0, sum = 0;
    for (int r = 0; r < repeat; ++r) {
        const auto db = openDatabase();
        if (!db) return 2;
        double secs = 0;
        if (!readAll(*db, rows, sum, secs)) return 2;
        best = std::min(best, secs);
        db->DAO_DBClose();
    }
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    std::printf("rows %lld seconds %.3f peak_kib %ld checksum %lld\n", static_cast<long long>(rows), best, u.ru_maxrss,
                static_cast<long long>(sum));
    return 0;
}
