#pragma once
// kov140's screen and print run over a real SQLite fixture, with the runtime services
// scripted: helpers shared by the print-run tests and the end-to-end test.
#include "blockreport/blockreportscreen.h"
#include "common/cp932.h"
#include "common/scriptedruntime.h"
#include "db/fixture.h"
#include "kov140/kov140run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace kov::kov140::test {

inline std::string readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The lines of a CP932 file with CR LF line ends, in UTF-8; a last line without CR LF
// is marked so that a comparison shows it.
inline std::vector<std::string> cp932Lines(const std::string& bytes)
{
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t e = bytes.find("\r\n", pos);
        if (e == std::string::npos) {
            lines.push_back(cp932::toUtf8(bytes.substr(pos)) + "<no CR LF>");
            break;
        }
        lines.push_back(cp932::toUtf8(bytes.substr(pos, e - pos)));
        pos = e + 2;
    }
    return lines;
}

// Compares a command file with tests/data/<goldenName> byte for byte and names the
// first differing line. KOV_UPDATE_GOLDEN set in the environment writes the golden file.
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
    ADD_FAILURE() << goldenName << ": the files differ in their bytes";
}

// What a print run hands to the print engine, with a copy of the command file.
struct EngineCall {
    std::string folder, jobName, caption, overlay, commandFile;
};

class RecordingEngine : public PrintEngine {
public:
    explicit RecordingEngine(std::vector<EngineCall>& calls) : m_calls(calls) {}
    void setPrintFIlePath(const std::string& folder) override { m_folder = folder; }
    std::string PrintFIlePath() const override { return m_folder; }
    std::int32_t PrtFile(const std::string& job, const std::string& caption, const std::string& overlay) override
    {
        m_calls.push_back({m_folder, job, caption, overlay, readBytes(m_folder + "/OVL.TMP")});
        return 0;
    }

private:
    std::vector<EngineCall>& m_calls;
    std::string m_folder;
};

// kov140 with its screen loaded over the fixture (not yet opened).
struct Kov140Env {
    db::Fixture fx;
    ScriptedRuntime rt;
    std::vector<EngineCall> engineCalls;
    std::unique_ptr<blockreport::BlockReportScreen> screen;
    Kov140Run* run = nullptr;

    Kov140Env()
    {
        rt.setAppPath(fx.dir());
        fx.setStandardNames();
        screen = std::make_unique<blockreport::BlockReportScreen>(rt, blockreport::kov140Screen());
        auto r = std::make_unique<Kov140Run>(*screen, [this] { return std::make_unique<RecordingEngine>(engineCalls); });
        run = r.get();
        screen->setPrintRun(std::move(r));
        screen->formLoad();
    }

    std::string commandFile() const { return fx.path("OVL.TMP"); }

    // Opens the screen; a program end during it is returned.
    std::optional<int> open()
    {
        try {
            screen->prsOpenSet();
        } catch (const ProgramEnded& e) {
            return e.exitStatus;
        }
        return std::nullopt;
    }

    void selectBlocks(const std::vector<int>& slots)
    {
        for (auto& e : screen->lstMain)
            e.selected = std::find(slots.begin(), slots.end(), e.itemData) != slots.end();
    }

    // Presses the button of a function key as the press handler does; a program end is
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

} // namespace kov::kov140::test
