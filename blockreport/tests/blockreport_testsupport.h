#pragma once
// Test support for the block report programs: a screen and its print run
// over a real SQLite fixture with the runtime services scripted, the print engine's calls
// noted, and the comparison of command files (CP932, CR LF) with golden files in
// tests/data.
#include "blockreport/blockreportscreen.h"
#include "common/tests/scriptedruntime.h"
#include "db/tests/fixture.h"
#include "print/printrun.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kov::blockreport::test {

// Reads a whole file as bytes.
std::string readBytes(const std::string& path);

// The lines of a CP932 file with CR LF line ends, in UTF-8; a last line without CR LF
// is marked so that a comparison shows it.
std::vector<std::string> cp932Lines(const std::string& bytes);

// Compares a command file with tests/data/<goldenName> byte for byte and names the
// first differing line. KOV_UPDATE_GOLDEN set in the environment writes the golden file.
void expectGolden(const std::string& actualPath, const std::string& goldenName);

// The screen of a block report program for the tests of the shared screen: caption
// "ブロック帳票印刷", the blocks and records of pay kinds 2 and 5, the options first in
// the tab order (or the block list first), the month rule of March, June and December
// when monthCheck is set.
ScreenDescription testScreen(bool monthCheck = false, bool listFirst = false);

// The processing month June 2023 and blocks of pay kinds 2 (slots 1, 3, 9, 10 empty,
// 45), 5 (2, 7) and 3 (11), with the school-name cases of the list (a name of exactly
// ten characters, one of twelve, a school missing from the master, three-digit counts)
// and a payment record of each pay kind.
void blocksOfAllKinds(db::Fixture& fx);

// What a print run handed to the print engine, and what the engine made of it.
struct EngineCall {
    std::string folder, jobName, caption, overlay;
    std::int32_t result = 0;
    std::string pdf;          // the PDF the real engine wrote
    std::string commandFile;  // the command file as handed over (recording engine)
};

// A block report screen with its print run, loaded over a fixture (not yet opened).
// The fixture names the job kinds; the program's folder is the fixture's, and so is the
// root of the work folders (KOV_WORK_DIR, the fixture's folder "work").
struct BlockReportEnv {
    db::Fixture fx;
    ScriptedRuntime rt;
    std::vector<EngineCall> engineCalls;
    PrintContext ctx;
    std::unique_ptr<BlockReportScreen> screen;

    // program: the name of the program whose run this is ("kov120"), that of its work folder.
    explicit BlockReportEnv(const std::string& program = "blockreport_test");
    BlockReportEnv(const BlockReportEnv&) = delete;
    BlockReportEnv& operator=(const BlockReportEnv&) = delete;

    // The real print engine, printing to PDF into the fixture's folder "pdf" with the
    // overlays of the build (written into the fixture's OVLPRINT.INI); its calls are
    // noted with their results and PDFs.
    PrintEngineFactory pdfEngine();
    // An engine that prints nothing and notes its calls with a copy of the command file.
    PrintEngineFactory recordingEngine();

    // Creates the screen of description d with a print run of type Run, printing through
    // factory's engines, and loads it.
    template <class Run>
    Run* load(ScreenDescription d, PrintEngineFactory factory)
    {
        ctx.engineFactory = std::move(factory);
        screen = std::make_unique<BlockReportScreen>(ctx, std::move(d));
        auto r = std::make_unique<Run>(*screen);
        Run* run = r.get();
        screen->setPrintRun(std::move(r));
        screen->formLoad();
        return run;
    }

    // The program's work folder, <KOV_WORK_DIR>/<program>, and its command file there.
    std::string workFolder() const { return fx.path("work") + "/" + ctx.programName(); }
    std::string commandFile() const { return workFolder() + "/OVL.TMP"; }

    // Opens the screen; a program end during it is returned (else nullopt).
    std::optional<int> open();

    // Selects the entries whose slot numbers are given.
    void selectBlocks(const std::vector<int>& slots);

    // Presses the button of a function key (index 0 to 11) as the press handler does; a
    // program end is returned.
    std::optional<int> press(int index);

    // Opens the screen, chooses the staff group, selects the blocks and prints with F6;
    // none of it may end the program or show a message. Call it inside
    // ASSERT_NO_FATAL_FAILURE.
    void printBlocks(bool monthly, const std::vector<int>& slots);
};

} // namespace kov::blockreport::test
