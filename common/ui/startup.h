#pragma once
// The start of every program: the application object, the fonts, the background
// screen with its launch rules, then the program's own start routine.
//
//   int main(int argc, char** argv)
//   {
//       return kov::ui::runProgram(argc, argv, "kovNNN", [](kov::ui::QtRuntime& rt, kov::ui::FrmBack&) {
//           auto* screen = new FrmKovNNN(rt);  // lives until the process ends
//           screen->show();
//           screen->prsOpenSet();
//       });
//   }
//
// The single-copy lock and the local server live in the user's runtime folder
// ($XDG_RUNTIME_DIR, else /tmp/kov-<uid>), whatever TMPDIR says: tests that run real
// programs side by side give each its own XDG_RUNTIME_DIR (a folder of mode 0700).
#include "common/ui/frmback.h"
#include "common/ui/qtruntime.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace kov::ui {

// The program's start routine after the background screen shows: shows the main screen
// and calls its opening routine. A ProgramStop raised in it (a failing status) is shown
// and ends the program with its status; a RuntimeError is shown as a stop-icon message
// and ends the program with kov::kExitFatal.
using StartMain = std::function<void(QtRuntime& rt, FrmBack& back)>;

// Creates the QApplication, installs the Japanese fonts, runs the load step of FrmBack
// for programName (which may end the process with kov::kExitLaunchRule), shows it,
// calls startMain inside kov::runGuarded and runs the event loop. It also gives the
// data-access component the program's name and its wait hook (the screens repainted,
// no user input taken). The program ends
// through rt.endProgram (the end key ends with status 0). Before all that it makes the
// folder variables absolute (kov::anchorFolderVariables) and answers --help and
// --version (answerStandardOptions, with `usage` or else defaultUsage). A later start
// of the same program, which ends by the launch rule, brings this copy's screen to the
// front first (raiseScreens).
int runProgram(int argc, char** argv, const QString& programName, const StartMain& startMain,
               const std::string& usage = {});

// The one line of usage of a program that the menu starts with any non-empty argument.
std::string defaultUsage(const std::string& programName);
// Writes the usage line to standard error.
void printUsage(const std::string& usage);
// "--help" alone: the usage line on standard error, and the process ends with
// kov::kExitLaunchRule; "--version" alone: "<program> <version>" on standard output, and
// it ends with 0. Any other command line returns.
void answerStandardOptions(const std::string& commandLine, const std::string& programName, const std::string& usage);

// Brings the program's shown windows to the front (a minimised one is shown again), the
// main screen first and then what stands over it (the wait screen, a message), and
// activates the topmost. `back`, the background screen, stays where it is.
void raiseScreens(const QWidget* back);

} // namespace kov::ui
