#include "print/bench/benchsupport.h"

#include "common/runtimeerror.h"

#include <cstdio>
#include <sys/resource.h>

namespace kov::bench {

long peakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int runBatch(RuntimeServices& rt, const std::string& name, const std::function<void()>& body)
{
    try {
        body();
    } catch (const ProgramStop& stop) {
        rt.endWith(stop);
    } catch (const RuntimeError& e) {
        std::fprintf(stderr, "%s: %s\n", name.c_str(), e.userMessage().c_str());
        return 2;
    }
    return 0;
}

} // namespace kov::bench
