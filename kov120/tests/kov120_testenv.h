#pragma once
// A kov120 screen and print run over a real SQLite fixture, with the runtime services
// scripted, for the tests of the print run.
#include "blockreport/blockreportscreen.h"
#include "common/cp932.h"
#include "common/scriptedruntime.h"
#include "db/fixture.h"
#include "kov120/kov120run.h"
#include "overlayprint/overlayprintengine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace kov::kov120::test {

// Reads a whole file as bytes.
inline std::string readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Lines of a CP932 file with CR LF line ends, as UTF-8 (a line without CR LF at its
// end keeps a marker so that a comparison shows it).
inline std::vector<std::string> cp932Lines(const std::string& bytes)
{
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t e = bytes.find("\r\n", pos);
        if (e == std::string::npos) {
            lines.push_back(cp932::toUtf8(bytes.substr(pos)) + "<no CR LF>");
            break;
        }
        lines.push_back(cp932::toUtf8(bytes.substr(pos, e - pos)));
        pos = e + 2;
    }
    return lines;
}

// Compares a command file with its golden file in tests/data byte for byte. With
// KOV_UPDATE_GOLDEN set, writes the golden file instead.
inline void expectGolden(const std::string& actualPath, const std::string& goldenName)
{
    const std::string golden = std::string(KOV_TEST_DATA_DIR) + "/" + goldenName;
    const std::string actual = readBytes(actualPath);
    ASSERT_FALSE(actual.empty()) << actualPath;
    if (std::getenv("KOV_UPDATE_GOLDEN")) {
        std::ofstream(golden, std::ios::binary) << actual;
        return;
    }
    const std::string expected = readBytes(golden);
    ASSERT_FALSE(expected.empty()) << "golden file missing: " << golden;
    if (actual == expected) return;
    const auto a = cp932Lines(actual);
    const auto e = cp932Lines(expected);
    for (std::size_t i = 0; i < std::max(a.size(), e.size()); ++i) {
        const std::string al = i < a.size() ? a[i] : "<none>";
        const std::string el = i < e.size() ? e[i] : "<none>";
        if (al != el) {
            ADD_FAILURE() << goldenName << " line " << i + 1 << "\n  expected: " << el << "\n  actual:   " << al;
            return;
        }
    }
    ADD_FAILURE() << goldenName << ": files differ in their bytes";
}

// What a print run handed to the print engine, and what the engine made of it.
struct EngineCall {
    std::string folder, jobName, caption, overlay;
    std::int32_t result = 0;
    std::string pdf;  // the PDF the engine wrote
};

// The real print engine (PDF output into the fixture's folder), with its calls noted.
class NotedEngine : public PrintEngine {
public:
    NotedEngine(RuntimeServices& rt, std::vector<EngineCall>& calls)
        : m_engine(std::make_unique<overlayprint::OverlayPrintEngine>(rt)), m_calls(calls)
    {
    }
    void setPrintFIlePath(const std::string& folder) override { m_engine->setPrintFIlePath(folder); }
    std::string PrintFIlePath() const override { return m_engine->PrintFIlePath(); }
    std::int32_t PrtFile(const std::string& job, const std::string& caption, const std::string& overlay) override
    {
        EngineCall call{PrintFIlePath(), job, caption, overlay};
        call.result = m_engine->PrtFile(job, caption, overlay);
        call.pdf = m_engine->lastOutputPath();
        m_calls.push_back(call);
        return call.result;
    }

private:
    std::unique_ptr<overlayprint::OverlayPrintEngine> m_engine;
    std::vector<EngineCall>& m_calls;
};

// kov120 started with `kyusyu`, its screen loaded over the fixture (not yet opened).
struct Kov120Env {
    db::Fixture fx;
    ScriptedRuntime rt;
    std::vector<EngineCall> engineCalls;
    std::unique_ptr<blockreport::BlockReportScreen> screen;
    Kov120Run* run = nullptr;

    explicit Kov120Env(std::int16_t kyusyu = 2, PrintEngineFactory factory = {})
        : rt(std::string())
    {
        rt.setAppPath(fx.dir());
        fx.setStandardNames();
        fx.writeSettings("OVLPRINT.INI", "[Print]\r\nOutput=pdf\r\nPdfFolder=" + fx.path("pdf") +
                                             "\r\nOverlayFolder=" + std::string(KOV_BIN_DIR) + "\r\n");
        screen = std::make_unique<blockreport::BlockReportScreen>(rt, blockreport::kov120Screen(kyusyu));
        if (!factory) factory = [this] { return std::make_unique<NotedEngine>(rt, engineCalls); };
        auto r = std::make_unique<Kov120Run>(*screen, std::move(factory));
        run = r.get();
        screen->setPrintRun(std::move(r));
        screen->formLoad();
    }

    std::string commandFile() const { return fx.path("OVL.TMP"); }

    // Opens the screen; a program end during it is returned (else nullopt).
    std::optional<int> open()
    {
        try {
            screen->prsOpenSet();
        } catch (const ProgramEnded& e) {
            return e.exitStatus;
        }
        return std::nullopt;
    }

    // Selects the entries whose slot numbers are given.
    void selectBlocks(const std::vector<int>& slots)
    {
        for (auto& e : screen->lstMain)
            e.selected = std::find(slots.begin(), slots.end(), e.itemData) != slots.end();
    }

    // Presses a function key (index 0 to 11) as the press handler does; a program end is
    // returned.
    std::optional<int> press(int index)
    {
        try {
            screen->prsPfAction(index);
        } catch (const ProgramEnded& e) {
            return e.exitStatus;
        }
        return std::nullopt;
    }
};

} // namespace kov::kov120::test
