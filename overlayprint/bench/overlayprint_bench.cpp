// Speed of the engine.
//   overlayprint_bench                       the Google benchmarks: a 1,000-page allowance
//                                            record (the sample's pages repeated) read from
//                                            its command file and drawn over its form to PDF
//   overlayprint_bench --line DIR OVERLAY    the command file DIR/OVL.TMP through the engine
//                                            to DIR/engine.pdf against the floor, a bare
//                                            QPdfWriter loop on the same file to DIR/floor.pdf;
//                                            prints the line "bench engine-pdf: ..."
//   overlayprint_bench --floor DIR OVERLAY   the floor alone; prints "floor SECONDS PAGES"
// The floor draws per page the form, recorded once as a QPicture, and each text of the
// command file with one drawText at its position (each rule with one drawLine).
#include "overlayprint/commandfile.h"
#include "overlayprint/overlayprintengine.h"
#include "overlayprint/renderer.h"

#include "common/tests/scriptedruntime.h"

#include <benchmark/benchmark.h>

#include <QFont>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPicture>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
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
    state.counters["pages/s"] =
        benchmark::Counter(static_cast<double>(kPages) * state.iterations(), benchmark::Counter::kIsRate);
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
    state.counters["pages/s"] =
        benchmark::Counter(static_cast<double>(kPages) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["PDF MiB"] = static_cast<double>(bytes) / (1024.0 * 1024.0);
}

double since(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

constexpr int kDpi = 1200;

// The paper of the command file, without margins.
QPageLayout pageLayoutOf(const CommandFile& doc)
{
    const double shortMm = std::min(doc.pageWidthMm(), doc.pageHeightMm());
    const double longMm = std::max(doc.pageWidthMm(), doc.pageHeightMm());
    return QPageLayout(QPageSize(QSizeF(shortMm, longMm), QPageSize::Millimeter, QString(), QPageSize::FuzzyMatch),
                       doc.landscape ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF(0, 0, 0, 0),
                       QPageLayout::Millimeter);
}

// The floor's drawing of one command: a rule as a line, a text with one drawText in a
// font of its size.
class FloorPainter {
public:
    FloorPainter(QPainter& p, const CommandFile& doc)
        : m_p(p), m_cellPx(double(kDpi) / doc.charsPerInch), m_linePx(double(kDpi) / doc.linesPerInch)
    {
    }
    void newPage() { m_current = nullptr; }
    void command(const DrawCommand& c)
    {
        if (const auto* r = std::get_if<RuleCommand>(&c)) {
            const double y = r->y10 / 10.0 * m_linePx;
            m_p.drawLine(QPointF(r->x10 / 10.0 * m_cellPx, y), QPointF((r->x10 + r->len10) / 10.0 * m_cellPx, y));
            return;
        }
        const auto& t = std::get<TextCommand>(c);
        const QFont& f = fontOf(t.sizeX, t.sizeY);
        if (&f != m_current) {
            m_p.setFont(f);
            m_current = &f;
        }
        m_p.drawText(QPointF(t.x10 / 10.0 * m_cellPx, t.y10 / 10.0 * m_linePx),
                     QString::fromUtf8(t.text.data(), static_cast<qsizetype>(t.text.size())));
    }

private:
    const QFont& fontOf(int sx, int sy)
    {
        auto [it, made] = m_fonts.try_emplace({sx, sy}, QStringLiteral("IPAGothic"));
        if (made) {
            // NOLINTNEXTLINE(bugprone-incorrect-roundings): the engine's own rounding, sizes are positive
            it->second.setPixelSize(static_cast<int>(2 * m_cellPx * sy / 100.0 + 0.5));
            it->second.setStretch(sx * 100 / std::max(1, sy));
        }
        return it->second;
    }

    QPainter& m_p;
    double m_cellPx, m_linePx;
    std::map<std::pair<int, int>, QFont> m_fonts;
    const QFont* m_current = nullptr;
};

// The floor: seconds of the bare loop over DIR/OVL.TMP, its pages through *pages; < 0 on failure.
double floorRun(const fs::path& dir, const std::string& overlayName, std::size_t* pages)
{
    const auto t0 = std::chrono::steady_clock::now();
    const ParseResult parsed = readCommandFile((dir / "OVL.TMP").string());
    if (!parsed.ok()) return -1;
    const CommandFile& doc = *parsed.file;
    Overlay overlay;
    std::string error;
    if (!overlay.load((fs::path(KOV_BIN_DIR) / overlayName).string(), &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return -1;
    }
    QPdfWriter writer(QString::fromStdString((dir / "floor.pdf").string()));
    writer.setResolution(kDpi);
    writer.setPageLayout(pageLayoutOf(doc));
    QPicture form;
    {
        QPainter rec(&form);
        overlay.draw(rec, kDpi, kDpi);
    }
    QPainter p(&writer);
    FloorPainter draw(p, doc);
    for (std::size_t i = 0; i < doc.pageCount(); ++i) {
        if (i > 0) writer.newPage();
        // A recording plays back enlarged by the device's resolution over its own.
        p.resetTransform();
        p.scale(form.logicalDpiX() / double(kDpi), form.logicalDpiY() / double(kDpi));
        p.drawPicture(0, 0, form);
        p.resetTransform();
        draw.newPage();
        doc.forEachCommand(
            i, [&](const DrawCommand& c) { draw.command(c); }, &error);
    }
    p.end();
    *pages = doc.pageCount();
    return since(t0);
}

// The engine: seconds of the whole job (reading, checking, drawing, the finished PDF).
double engineRun(const fs::path& dir, const std::string& overlayName)
{
    kov::ScriptedRuntime rt(KOV_BIN_DIR);
    const auto t0 = std::chrono::steady_clock::now();
    OverlayPrintEngine engine(rt);
    engine.setPrintFIlePath(dir.string());
    engine.setPdfOutputFile((dir / "engine.pdf").string());
    if (engine.PrtFile("BENCH", "bench", overlayName) != 0) {
        std::fprintf(stderr, "%s\n", engine.lastError().c_str());
        return -1;
    }
    return since(t0);
}

} // namespace

BENCHMARK(BM_ReadCommandFile)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PrintToPdf)->Unit(benchmark::kSecond)->Iterations(1);

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "";
    if ((mode == "--line" || mode == "--floor") && argc == 4) {
        const fs::path dir = argv[2];
        const std::string overlay = argv[3];
        std::size_t pages = 0;
        const double floor = floorRun(dir, overlay, &pages);
        if (floor < 0) return 2;
        if (mode == "--floor") {
            std::printf("floor %.3f %zu\n", floor, pages);
            return 0;
        }
        const double t = engineRun(dir, overlay);
        if (t < 0) return 2;
        const auto bytes = fs::file_size(dir / "engine.pdf");
        std::printf("bench engine-pdf: ratio %.2f (%.3f s against FLOOR %.3f s) %zu pages, %.0f pages/s "
                    "(floor %.0f pages/s), %.0f PDF bytes a page (floor %.0f)\n",
                    t / floor, t, floor, pages, pages / t, pages / floor, double(bytes) / double(pages),
                    double(fs::file_size(dir / "floor.pdf")) / double(pages));
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
