#pragma once
// The context of a printing program and the skeleton that every print run shares:
// the folder of the command file, "ST 011001", "CR 15063", the program's pages, "ED ",
// and the hand-over of the file to the print engine (created for this one call,
// given the folder, PrtFile with the job, the screen's caption and the form, released).
#include "common/programcontext.h"
#include "print/printengine.h"
#include "print/subprt.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kov {

class PrintContext : public ProgramContext {
public:
    PrintContext(RuntimeServices& rt, std::string programName, PrintEngineFactory engineFactory);

    // The folder of the print command file and of the engine's PrintFIlePath: the
    // program's own work folder (kov::workFolder(programName()), created when missing).
    std::string printFolder() const;
    // A new print engine from the program's factory; null when there is none.
    std::unique_ptr<PrintEngine> newEngine() const;

private:
    PrintEngineFactory m_engineFactory;
};

// One print run of a program.
struct PrintJob {
    std::string jobName; // handed to PrtFile first
    std::string overlayFile; // the form the pages are drawn over
    // After the folder is set and before "ST " (e.g. building the figures); optional.
    std::function<void()> prepare;
    // The program's pages, between "CR " and "ED ", written through the job's own
    // command-file writer.
    std::function<void(SubPrt&)> pages;
    // After "ED " and before the hand-over (e.g. closing the record set); optional.
    std::function<void()> afterEnd;
};

// A command file written to its end and what goes with it to the print engine.
struct PrintedFile {
    std::string folder;
    std::string jobName;
    std::string overlayFile;
};

// Writes the job's command file through a writer of its own, from "ST " to "ED "
// (afterEnd is not called); the run is a new message window of the name settings (a
// failure to read them is shown once in it).
PrintedFile writePrintFile(PrintContext& ctx, const PrintJob& job);
// Hands a written file to a new engine of the context, with the context's screen
// caption, and returns PrtFile's result
// (the engine shows its own message on failure). No engine from the factory is the
// run-time error of an object that cannot be created.
std::int32_t handOver(PrintContext& ctx, const PrintedFile& file);
// writePrintFile, afterEnd, handOver.
std::int32_t runPrintJob(PrintContext& ctx, const PrintJob& job);

} // namespace kov
