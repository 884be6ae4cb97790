// kov570_bench DIR
// Runs the kov570 summary over the database that DIR/KOV.INI names: the opening (the
// connection, the fiscal year, the grouped query over SKSUMI), the summary table, and
// the print run of every page to the closed command file DIR/kov570/OVL.TMP (DIR is the
// root of the work folders; the print engine is not run).
// Prints the time of the run, and the query itself for the floor that run-bench.sh takes.
#include "common/tests/batchruntime.h"
#include "kov570/kov570screen.h"
#include "print/bench/benchsupport.h"
#include "tessera/tessera.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: kov570_bench DIR\n");
        return 1;
    }
    const std::string dir = argv[1];
    setenv("KOV_INI_DIR", dir.c_str(), 1);
    setenv("KOV_WORK_DIR", dir.c_str(), 1);
    kov::BatchRuntime rt(dir);
    kov::tessera::registerComponent(dir);
    kov::PrintContext ctx(rt, "kov570", [] { return std::make_unique<kov::bench::NoEngine>(); });
    kov::kov570::Kov570Screen screen(ctx);

    const auto start = std::chrono::steady_clock::now();
    auto opened = start;
    // A failing status ends the process with its message.
    kov::runGuarded(rt, "kov570", [&] {
        screen.formLoad();
        screen.gnsStart();
        opened = std::chrono::steady_clock::now();
        for (int i = 0; i <= 8; ++i) screen.setChkZaimu(i, kov::kov570::CheckValue::Ticked);
        for (int i = 1; i <= 3; ++i) screen.setChkGakkou(i, kov::kov570::CheckValue::Ticked);
        screen.prsPrintKey();
    });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    using kov::kov570::BasKov570;
    std::printf("sql: SELECT %s FROM SKSUMI WHERE %s GROUP BY %s ORDER BY %s\n", BasKov570::fieldList().c_str(),
                BasKov570::condition(screen.fiscalYear()).c_str(), BasKov570::kGrouping, BasKov570::kGrouping);
    std::printf("time: %.3f\n", seconds);
    std::printf("opening: %.3f\n", std::chrono::duration<double>(opened - start).count());
    std::printf("grand total KYUYO: %s\n", screen.sumTable()->at(8, 3, 14, 2).toString().c_str());
    return 0;
}
