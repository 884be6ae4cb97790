#pragma once
// Golden files: what a test writes (a command file, a CSV file, a dump), compared byte
// for byte with its expected copy in tests/data. A difference fails the test with the
// first differing line shown in UTF-8 (the files are CP932 with CR LF; ASCII dumps read
// the same). With KOV_UPDATE_GOLDEN set in the environment the golden file is written
// instead (review the change with git diff).
//
//   kov::test::expectGolden(env.commandFile(), "kov570_e2e.ovl.tmp");
//   kov::test::expectGoldenBytes(layoutDump, "frmkov570_layout.txt");
#include "tests/support/files.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kov::test {

// The lines of a CP932 file with CR LF line ends, in UTF-8 (a line that is not CP932 as
// it is); a last line without CR LF is marked so that a comparison shows it.
std::vector<std::string> cp932Lines(std::string_view bytes);

// tests/data/<goldenName>.
std::filesystem::path goldenPath(const std::string& goldenName);

// Compares the file at actualPath (which must not be empty) with the golden file.
void expectGolden(const std::filesystem::path& actualPath, const std::string& goldenName);
// The same for bytes in memory.
void expectGoldenBytes(const std::string& actual, const std::string& goldenName);

} // namespace kov::test
