// kovgendemo --out DIR [--staff N] [--seed S]
// Writes a demo installation: DIR/KOV.INI, DIR/KOVENV.INI, DIR/kov.db, DIR/kovenv.db.
#include "db/demo.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

namespace {
void usage()
{
    std::fprintf(stderr, "usage: kovgendemo --out DIR [--staff N] [--seed S]\n");
}

bool parseNumber(const char* text, long long& out)
{
    char* end = nullptr;
    out = std::strtoll(text, &end, 10);
    return end && *end == '\0' && end != text;
}
} // namespace

int main(int argc, char** argv)
{
    kov::gendemo::DemoOptions opt;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        long long n = 0;
        if (a == "--out" && i + 1 < argc) {
            opt.outDir = argv[++i];
        } else if (a == "--staff" && i + 1 < argc) {
            if (!parseNumber(argv[++i], n) || n < 1 || n > 1000000) {
                std::fprintf(stderr, "kovgendemo: --staff takes a number from 1 to 1000000\n");
                return 2;
            }
            opt.staff = n;
        } else if (a == "--seed" && i + 1 < argc) {
            if (!parseNumber(argv[++i], n) || n < 0) {
                std::fprintf(stderr, "kovgendemo: --seed takes a number 0 or above\n");
                return 2;
            }
            opt.seed = static_cast<std::uint64_t>(n);
        } else if (a == "--help" || a == "-h") {
            usage();
            return 0;
        } else {
            usage();
            return 2;
        }
    }
    if (opt.outDir.empty()) {
        usage();
        return 2;
    }
    try {
        const kov::gendemo::DemoSummary s = kov::gendemo::generateDemo(opt);
        std::printf("kovgendemo: %s: %lld schools in %d blocks, %lld staff, %lld payment records, %lld summary rows\n",
                    opt.outDir.c_str(), static_cast<long long>(s.schools), s.blocks, static_cast<long long>(s.staff),
                    static_cast<long long>(s.payments), static_cast<long long>(s.summaryRows));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kovgendemo: %s\n", e.what());
        return 1;
    }
    return 0;
}
