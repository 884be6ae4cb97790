// Benchmark (not a test): the staff master of 100,000 records written as SKSYOKU.CSV,
// against the floor of sqlite3 -csv reading the same 59 columns piped through iconv to
// CP932, both in the same run over the same generated database, the best of five rounds
// each.
//   kov970_bench [STAFF]
// prints: bench kov970: ratio R (T s against FLOOR F s)
//   kov970_bench --dir DIR
// writes the staff master of the database that DIR/KOV.INI names (SQLite or PostgreSQL)
// once as DIR/out/SKSYOKU.CSV and prints "time: T" (tools/bench-distance.sh).
#include "common/programcontext.h"
#include "common/tests/batchruntime.h"
#include "common/tests/scriptedruntime.h"
#include "db/kovdb.h"
#include "kov970/csvexport.h"
#include "tessera/tessera.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace fs = std::filesystem;

namespace {

double seconds(const std::chrono::steady_clock::time_point& since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void generate(const std::string& folder, int staff)
{
    kov::db::createStandardLayout(folder);
    kov::db::Connection db(folder + "/" + kov::db::kPayrollDbFile, kov::db::Connection::Mode::ReadWrite);
    const auto& columns = kov::kov970::masterFile(kov::kov970::Master::Syoku).columns;
    std::string names, marks;
    for (const auto& c : columns) {
        names += (names.empty() ? "" : ",") + c.name;
        marks += marks.empty() ? "?" : ",?";
    }
    db.exec("BEGIN");
    kov::db::Statement ins = db.prepare("INSERT INTO SKSYOKU (" + names + ") VALUES (" + marks + ")");
    static const char* family[] = {"山田", "鈴木", "佐藤", "高橋", "田中", "渡辺", "伊藤", "中村"};
    static const char* given[] = {"太郎", "花子", "一郎", "美咲", "健太", "陽子"};
    for (int i = 0; i < staff; ++i) {
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const int n = static_cast<int>(c) + 1;
            const std::string& name = columns[c].name;
            if (name == "SIMKNJ") ins.bind(n, std::string(family[i % 8]) + "　" + given[i % 6]);
            else if (name == "SIMKNA") ins.bind(n, "ﾔﾏﾀﾞ ﾀﾛｳ  ");
            else if (name == "SYOZOK") ins.bind(n, "E" + std::to_string(101 + i % 300));
            else if (!columns[c].number) ins.bind(n, "A" + std::to_string(i % 97));
            else if (name.ends_with("YMD") || name.starts_with("HAFYMD") || name.starts_with("HAEYMD"))
                ins.bind(n, 19600101 + (i % 40) * 10000 + (i % 12) * 100 + i % 28);
            else ins.bind(n, static_cast<std::int64_t>(i) * 7 % 100000 + static_cast<std::int64_t>(c));
        }
        ins.run();
    }
    db.exec("COMMIT");
}

} // namespace

// The export of the staff master over the database that `dir` names, timed.
int exportOnce(const std::string& dir)
{
    fs::create_directories(fs::path(dir) / "out");
    ::setenv("KOV_INI_DIR", dir.c_str(), 1);
    kov::tessera::registerComponent(dir);
    kov::BatchRuntime rt(dir);
    kov::ProgramContext ctx(rt, "kov970");
    const auto t0 = std::chrono::steady_clock::now();
    std::optional<std::string> failure;
    // A failing status ends the process with its message.
    kov::runGuarded(rt, "kov970", [&] {
        ctx.createConnection();
        ctx.prsDbOpen();
        failure = kov::kov970::exportMaster(ctx, kov::kov970::Master::Syoku, dir + "/out/");
        if (!failure) ctx.prsDbClose();
    });
    if (failure) {
        std::fprintf(stderr, "%s\n", failure->c_str());
        return 1;
    }
    std::printf("time: %.3f\n", seconds(t0));
    return 0;
}

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--dir") return exportOnce(argv[2]);
    const int staff = argc > 1 ? std::atoi(argv[1]) : 100000;
    const fs::path work = fs::temp_directory_path() / ("kov970-bench-" + std::to_string(::getpid()));
    fs::create_directories(work / "out");
    generate(work.string(), staff);
    ::setenv("KOV_INI_DIR", work.c_str(), 1);

    // Floor: the same columns in the table's order, as CSV in CP932.
    std::string names;
    for (const auto& c : kov::kov970::masterFile(kov::kov970::Master::Syoku).columns)
        names += (names.empty() ? "" : ",") + c.name;
    const std::string floorCmd = "sqlite3 -csv '" + (work / kov::db::kPayrollDbFile).string() + "' 'SELECT " + names +
                                 " FROM SKSYOKU' | iconv -t CP932 > '" + (work / "floor.csv").string() + "'";

    kov::tessera::registerComponent(work.string());
    kov::ScriptedRuntime rt(work.string());
    kov::ProgramContext ctx(rt, "kov970");
    ctx.createConnection();
    ctx.prsDbOpen();

    double best = 1e9, floor = 1e9;
    for (int round = 0; round < 5; ++round) {
        auto t0 = std::chrono::steady_clock::now();
        if (std::system(floorCmd.c_str()) != 0) {
            std::fprintf(stderr, "the floor command failed: %s\n", floorCmd.c_str());
            return 1;
        }
        floor = std::min(floor, seconds(t0));
        t0 = std::chrono::steady_clock::now();
        if (const auto failure =
                kov::kov970::exportMaster(ctx, kov::kov970::Master::Syoku, (work / "out").string() + "/")) {
            std::fprintf(stderr, "%s\n", failure->c_str());
            return 1;
        }
        best = std::min(best, seconds(t0));
    }
    std::printf("%d staff records, %ju bytes written (floor %ju bytes)\n", staff,
                static_cast<std::uintmax_t>(fs::file_size(work / "out" / "SKSYOKU.CSV")),
                static_cast<std::uintmax_t>(fs::file_size(work / "floor.csv")));
    std::printf("bench kov970: ratio %.2f (%.3f s against FLOOR %.3f s)\n", best / floor, best, floor);
    ctx.prsDbClose();
    fs::remove_all(work);
    return 0;
}
