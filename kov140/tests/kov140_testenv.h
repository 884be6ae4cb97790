#pragma once
// kov140's screen and print run over a real SQLite fixture, with the runtime services
// scripted; the print engine only records what it is handed.
#include "blockreport/tests/blockreport_testsupport.h"
#include "kov140/kov140run.h"
#include "kov140/kov140screen.h"

#include <gtest/gtest.h>

namespace kov::kov140::test {

using blockreport::test::cp932Lines;
using blockreport::test::EngineCall;
using blockreport::test::expectGolden;
using blockreport::test::readBytes;

// kov140 with its screen loaded over the fixture (not yet opened).
struct Kov140Env : blockreport::test::BlockReportEnv {
    Kov140Run* run = nullptr;

    Kov140Env() : BlockReportEnv("kov140") { run = load<Kov140Run>(kov140Screen(), recordingEngine()); }
};

} // namespace kov::kov140::test
