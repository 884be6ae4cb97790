#pragma once
// What the benchmarks of the printing programs share: an engine that prints nothing,
// the peak memory of the process and the top of a benchmark's run. The load runs
// (tests/load) may use it as well.
#include "common/runtimeservices.h"
#include "print/printengine.h"

#include <functional>
#include <string>

namespace kov::bench {

// Stands in for the print engine: a run ends with the closed command file.
class NoEngine : public PrintEngine {
public:
    void setPrintFIlePath(const std::string& folder) override { m_folder = folder; }
    std::string PrintFIlePath() const override { return m_folder; }
    std::int32_t PrtFile(const std::string&, const std::string&, const std::string&) override { return 0; }

private:
    std::string m_folder;
};

// The peak resident memory of the process so far, in KiB.
long peakKiB();

// Runs body as a program's action runs: a stop ends the process with its message and
// exit status (RuntimeServices::endWith); a run-time error is written to standard error
// after `name` and gives the exit status 2. 0 when body returns.
int runBatch(RuntimeServices& rt, const std::string& name, const std::function<void()>& body);

} // namespace kov::bench
