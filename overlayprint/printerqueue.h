#pragma once
// What the printing system says about a printer and about the last job handed to it.
// The print dialog layer hands a job over and keeps no answer, so a printer that
// refuses jobs would otherwise look like a job that printed.
#include <string>

namespace kov::overlayprint {

// Empty when the system printer `name` takes jobs now; otherwise why not, in Japanese,
// naming the printer.
std::string printerRefusal(const std::string& name);

// Called right after a job for `name` was handed over in this thread: empty when the
// printing system took it, otherwise its answer, in Japanese, naming the printer.
std::string submissionFailure(const std::string& name);

} // namespace kov::overlayprint
