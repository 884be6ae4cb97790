// Pages per second of the engine: a 1,000-page allowance record (the sample's pages
// repeated) read from its command file and drawn over its form into a PDF.
#include "overlayprint/commandfile.h"
#include "overlayprint/overlayprintengine.h"

#include "common/tests/scriptedruntime.h"

#include <benchmark/benchmark.h>

#include <QGuiApplication>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;
using namespace kov::overlayprint;

namespace {

constexpr int kPages = 1000;

// The sample's first page (between CR and the first PE) repeated kPages times.
fs::path makeLongRun()
{
    std::ifstream in(fs::path(KOV_TEST_DATA_DIR) / "ovlprint-kov120-monthly.tmp", std::ios::binary);
    const std::string sample{std::istreambuf_iterator<char>(in), {}};
    const std::size_t begin = sample.find("CR 15063\r\n") + 10;
    const std::size_t end = sample.find("PE \r\n");
    const std::string page = sample.substr(begin, end - begin);
    std::string file = "ST 011001\r\nCR 15063\r\n";
    for (int i = 0; i < kPages; ++i) {
        if (i > 0) file += "PE \r\n";
        file += page;
    }
    file += "ED \r\n";
    const fs::path dir = fs::temp_directory_path() / "ovl-bench";
    fs::create_directories(dir);
    std::ofstream(dir / "OVL.TMP", std::ios::binary) << file;
    return dir;
}

void BM_ReadCommandFile(benchmark::State& state)
{
    const fs::path dir = makeLongRun();
    for (auto _ : state) {
        const ParseResult r = readCommandFile((dir / "OVL.TMP").string());
        if (!r.ok() || r.file->pageCount() != kPages) state.SkipWithError("the long run did not read");
        benchmark::DoNotOptimize(r);
    }
    state.counters["pages/s"] = benchmark::Counter(static_cast<double>(kPages) * state.iterations(),
                                                   benchmark::Counter::kIsRate);
}

void BM_PrintToPdf(benchmark::State& state)
{
    const fs::path dir = makeLongRun();
    kov::ScriptedRuntime rt(KOV_BIN_DIR);
    std::uintmax_t bytes = 0;
    for (auto _ : state) {
        OverlayPrintEngine engine(rt);
        engine.setPrintFIlePath(dir.string());
        engine.setPdfOutputFile((dir / "long.pdf").string());
        if (engine.PrtFile("KOV120", "bench", "KOV120p.ovl") != 0) state.SkipWithError(engine.lastError().c_str());
        bytes = fs::file_size(dir / "long.pdf");
    }
    state.counters["pages/s"] = benchmark::Counter(static_cast<double>(kPages) * state.iterations(),
                                                   benchmark::Counter::kIsRate);
    state.counters["PDF MiB"] = static_cast<double>(bytes) / (1024.0 * 1024.0);
}

} // namespace

BENCHMARK(BM_ReadCommandFile)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PrintToPdf)->Unit(benchmark::kSecond)->Iterations(1);

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
