// kov120_bench DIR [PAYKIND | kov140] [daily]
// Runs the kov120 print run over the database that DIR/KOV.INI names (a kovgendemo
// folder), from the selection of the records to the closed command file, for every
// block of the pay kind (25 by default) and the monthly-paid group (with "kov140": the
// kov140 print run of every block; with "daily": the daily-paid group), and reports the
// time, the records printed and the peak memory of the process. DIR is also the root of
// the work folders (KOV_WORK_DIR): the command file is written in DIR/kov120/OVL.TMP (or
// DIR/kov140/OVL.TMP); the print engine is not run (it would only measure the renderer).
#include "blockreport/blockreportrun.h"
#include "blockreport/blockreportscreen.h"
#include "common/tests/batchruntime.h"
#include "kov120/kov120run.h"
#include "kov120/kov120screen.h"
#include "kov140/kov140run.h"
#include "kov140/kov140screen.h"
#include "print/bench/benchsupport.h"
#include "tessera/tessera.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

using kov::bench::peakKiB;

// The program's print run, counting its staff lines.
template <class Run>
class CountingRun : public Run {
public:
    using Run::Run;
    long staffLines = 0;
    void prsGokeiPrint(kov::blockreport::EntryLevel level) override
    {
        if (level == kov::blockreport::EntryLevel::Staff) ++staffLines;
        Run::prsGokeiPrint(level);
    }
};

// Gives the screen the counting print run of Run; its count of staff lines.
template <class Run>
long* setCountingRun(kov::blockreport::BlockReportScreen& screen, kov::PrintContext& ctx)
{
    auto run = std::make_unique<CountingRun<Run>>(ctx);
    long* staffLines = &run->staffLines;
    screen.setPrintRun(std::move(run));
    return staffLines;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: kov120_bench DIR [PAYKIND | kov140] [daily]\n");
        return 1;
    }
    const std::string dir = argv[1];
    const bool kov140 = argc > 2 && std::string(argv[2]) == "kov140";
    const std::int16_t kyusyu = argc > 2 && !kov140 ? static_cast<std::int16_t>(std::atoi(argv[2])) : 25;
    setenv("KOV_INI_DIR", dir.c_str(), 1);
    setenv("KOV_WORK_DIR", dir.c_str(), 1);
    kov::BatchRuntime rt(dir);
    // A failing status or a run-time error ends the process with its message.
    kov::runGuarded(rt, "kov120_bench", [&] {
        kov::tessera::registerComponent(dir);
        kov::PrintContext ctx(rt, kov140 ? "kov140" : "kov120",
                              [] { return std::make_unique<kov::bench::NoEngine>(); });
        kov::blockreport::BlockReportScreen screen(ctx, kov140 ? kov::kov140::kov140Screen()
                                                               : kov::kov120::kov120Screen(kyusyu));
        long* staffLines = kov140 ? setCountingRun<kov::kov140::Kov140Run>(screen, ctx)
                                  : setCountingRun<kov::kov120::Kov120Run>(screen, ctx);
        screen.formLoad();
        screen.prsOpenSet();
        for (std::size_t i = 0; i < screen.lstMain().size(); ++i) screen.setSelected(static_cast<int>(i), true);
        if (argc > 3 && std::string(argv[3]) == "daily") screen.setOptGetugaku(false);
        const long before = peakKiB();
        const auto t0 = std::chrono::steady_clock::now();
        screen.prsPrint();
        const auto t1 = std::chrono::steady_clock::now();
        const double secs = std::chrono::duration<double>(t1 - t0).count();
        std::printf("blocks %zu, staff lines %ld, print run %.3f s (%.1f us a record), peak memory %ld KiB "
                    "(%ld KiB before the run)\n",
                    screen.lstMain().size(), *staffLines, secs,
                    *staffLines ? secs * 1e6 / static_cast<double>(*staffLines) : 0.0, peakKiB(), before);
        std::printf("filter: %s\n",
                    screen.description()
                        .selectFilter(screen.syorid().toString(), screen.blockList(), screen.optGetugaku())
                        .c_str());
    });
    return 0;
}
