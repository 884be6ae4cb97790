#pragma once
// Test support for the block report programs: a screen and its print run
// over a real SQLite fixture with the runtime services scripted, the print engine's calls
// noted, and the comparison of command files (CP932, CR LF) with golden files in
// tests/data.
#include "blockreport/blockreportscreen.h"
#include "common/tests/scriptedruntime.h"
#include "db/tests/fixture.h"
#include "print/printrun.h"
#include "tests/support/golden.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kov::blockreport::test {

// Whole files, CP932 lines and golden command files in tests/data, as every test has them.
using kov::test::cp932Lines;
using kov::test::expectGolden;
using kov::test::readBytes;

// The screen of a block report program for the tests of the shared screen: caption
// "ブロック帳票印刷", the blocks and records of pay kinds 2 and 5, the options first in
// the tab order (or the block list first), the month rule of March, June and December
// when monthCheck is set.
ScreenDescription testScreen(bool monthCheck = false, bool listFirst = false);

// The processing month syorid, the schools E101 城東小学校, E102 城西小学校 and E201
// 川北中学校, block 1 (E101 and E102) and block 2 (E201) of the pay kind.
void standardSchools(db::Fixture& fx, std::int64_t payKind, std::int64_t syorid = 202306);

// The processing month June 2023 and blocks of pay kinds 2 (slots 1, 3, 9, 10 empty,
// 45), 5 (2, 7) and 3 (11), with the school-name cases of the list (a name of exactly
// ten characters, one of twelve, a school missing from the master, three-digit counts)
// and a payment record of each pay kind.
void blocksOfAllKinds(db::Fixture& fx);

// What a print run handed to the print engine, and what the engine made of it.
struct EngineCall {
    std::string folder, jobName, caption, overlay;
    std::int32_t result = 0;
    std::string pdf; // the PDF the real engine wrote
    std::string commandFile; // the command file as handed over (recording engine)
    bool duringReads = false; // handed over while the run's reads (and its record set) were open
};

// A block report screen with its print run, loaded over a fixture (not yet opened).
// The fixture names the job kinds; the program's folder is the fixture's, and so is the
// root of the work folders (KOV_WORK_DIR, the fixture's folder "work").
struct BlockReportEnv {
    db::Fixture fx;
    ScriptedRuntime rt;
    std::vector<EngineCall> engineCalls;
    PrintEngineFactory engine; // the engines that the context's print runs get
    PrintContext ctx;
    std::unique_ptr<BlockReportScreen> screen;

    // program: the name of the program whose run this is ("kov120"), that of its work folder.
    explicit BlockReportEnv(const std::string& program = "blockreport_test");
    // Environments of a program are held and deleted as a BlockReportEnv.
    virtual ~BlockReportEnv() = default;
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
        engine = std::move(factory);
        screen = std::make_unique<BlockReportScreen>(ctx, std::move(d));
        auto r = std::make_unique<Run>(ctx);
        Run* run = r.get();
        screen->setPrintRun(std::move(r));
        screen->formLoad();
        return run;
    }

    // The program's work folder, <KOV_WORK_DIR>/<program>, and its command file there.
    std::string workFolder() const { return fx.path("work") + "/" + ctx.programName(); }
    std::string commandFile() const { return workFolder() + "/OVL.TMP"; }

    // Runs f; a program end during it is returned (else nullopt).
    template <class F>
    std::optional<int> call(F f)
    {
        try {
            runGuarded(rt, screen->description().caption, f);
        } catch (const ProgramEnded& e) {
            return e.exitStatus;
        }
        return std::nullopt;
    }
    // Opens the screen; a program end during it is returned (else nullopt).
    std::optional<int> open()
    {
        return call([this] { screen->prsOpenSet(); });
    }

    // Selects the entries whose slot numbers are given.
    void selectBlocks(const std::vector<int>& slots);

    // Presses the button of a function key (index 0 to 11) as the press handler does; a
    // program end is returned.
    std::optional<int> press(int index)
    {
        return call([this, index] { screen->prsPfAction(index); });
    }

    // Opens the screen, chooses the staff group, selects the blocks and prints with F6;
    // none of it may end the program or show a message. Call it inside
    // ASSERT_NO_FATAL_FAILURE.
    void printBlocks(bool monthly, const std::vector<int>& slots);
};

// A block report program's screen and print run over the fixture (loaded, not yet
// opened), printing through the real engine to PDF or through one that records.
enum class EngineKind { Pdf, Recording };
template <class Run>
struct ProgramEnv : BlockReportEnv {
    Run* run = nullptr;

    ProgramEnv(const std::string& program, ScreenDescription d, EngineKind engineKind) : BlockReportEnv(program)
    {
        run = load<Run>(std::move(d), engineKind == EngineKind::Pdf ? pdfEngine() : recordingEngine());
    }
};

// What a print is handed to the engine with.
struct ExpectedJob {
    std::string jobName, caption, overlay;
};

// The one print of env: its command file in the program's work folder (none in the
// program's folder) is tests/data/<goldenName>; it was handed over once with the job,
// after the run's reads ended (its record set closed); the engine printed it (a PDF
// with a block total in its text) or recorded it as it stands in the folder.
void expectPrinted(const BlockReportEnv& env, const std::string& goldenName, const ExpectedJob& job);

// A start over a block and one payment record (staff code 1) of `kind`.
struct OpeningCase {
    std::int16_t argument; // what the program was started with (e.g. kov120's pay kind)
    std::int64_t syorid; // processing month
    std::int64_t kind; // pay kind of the block and of the record
    std::int64_t syrflg = 1; // block of the record
    std::int64_t skyuym = 0; // month of the record; 0 = the processing month
    const char* message = nullptr; // the warning that ends the start; nullptr = it opens
};

// Each case opens without a message and lists its block, or shows its one warning
// (exclamation icon, the screen's caption) and ends through the end key (status 0)
// before the block list is read. makeEnv: the program for the case's argument.
void expectOpenings(const std::function<std::unique_ptr<BlockReportEnv>(std::int16_t argument)>& makeEnv,
                    const std::vector<OpeningCase>& cases);

} // namespace kov::blockreport::test
