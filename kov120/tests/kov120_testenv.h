#pragma once
// A kov120 screen and print run over a real SQLite fixture, with the runtime services
// scripted, for the tests of the print run; the command file goes to the real print
// engine, which prints it to PDF.
#include "blockreport/tests/blockreport_testsupport.h"
#include "kov120/kov120run.h"
#include "kov120/kov120screen.h"

#include <gtest/gtest.h>

namespace kov::kov120::test {

using blockreport::test::cp932Lines;
using blockreport::test::EngineCall;
using blockreport::test::expectGolden;
using blockreport::test::readBytes;

// kov120 started with `kyusyu`, its screen loaded over the fixture (not yet opened).
struct Kov120Env : blockreport::test::BlockReportEnv {
    Kov120Run* run = nullptr;

    explicit Kov120Env(std::int16_t kyusyu = 2) : BlockReportEnv("kov120") { run = load<Kov120Run>(kov120Screen(kyusyu), pdfEngine()); }
};

} // namespace kov::kov120::test
