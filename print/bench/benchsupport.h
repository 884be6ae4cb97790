#pragma once
// What the benchmarks of the printing programs share: an engine that prints nothing and
// the peak memory of the process. The load runs (tests/load) may use it as well.
#include "print/printengine.h"

#include <string>
#include <sys/resource.h>

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
inline long peakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace kov::bench
