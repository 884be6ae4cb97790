#pragma once
// The demo installation: a payroll database and a name-setting database with
// realistic, deterministic content, and the two settings files that name them.
#include <cstdint>
#include <string>

namespace kov::gendemo {

struct DemoOptions {
    std::string outDir; // created when missing
    std::int64_t staff = 600; // staff members
    std::uint64_t seed = 1; // same seed, same databases
    std::int64_t syorid = 202306;
    std::int64_t nendo = 2023;
};

struct DemoSummary {
    std::int64_t schools = 0;
    std::int64_t staff = 0;
    std::int64_t payments = 0; // SKSYKEI rows
    std::int64_t summaryRows = 0; // SKSUMI rows
    int blocks = 0;
};

// Writes outDir/KOV.INI, KOVENV.INI, kov.db and kovenv.db; existing files of these
// names are replaced. Throws std::runtime_error on failure.
DemoSummary generateDemo(const DemoOptions& options);

} // namespace kov::gendemo
