// kovgendemo --out DIR [--staff N] [--seed S] [--engine sqlite|postgresql --connection C]
// Writes a demo installation: DIR/KOV.INI, DIR/KOVENV.INI, DIR/kov.db, DIR/kovenv.db.
// With --engine postgresql the tables and rows go into the PostgreSQL database that
// the libpq connection string C names (tables of the same names there are replaced),
// and both settings files in DIR name it; no database file is left in DIR.
#include "db/demo.h"
#include "db/kovdb.h"
#include "db/postgresql.h"

#include <filesystem>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <string>

namespace {
void usage()
{
    std::fprintf(stderr,
                 "usage: kovgendemo --out DIR [--staff N] [--seed S] [--engine sqlite|postgresql --connection C]\n");
}

bool parseNumber(const char* text, long long& out)
{
    char* end = nullptr;
    out = std::strtoll(text, &end, 10);
    return end && *end == '\0' && end != text;
}
// What the command line asks for.
struct Request {
    kov::gendemo::DemoOptions opt;
    std::string engine = "sqlite", connection;
    bool haveConnection = false;
};

// A numeric option's value into `out`; false (after the message) when it is out of range.
bool numberOption(const char* text, long long min, long long max, const char* message, long long& out)
{
    if (parseNumber(text, out) && out >= min && out <= max) return true;
    std::fprintf(stderr, "kovgendemo: %s\n", message);
    return false;
}

enum class OptionResult { Applied, Wrong, Unknown };

// An option that takes a value, with its value, into `r`.
OptionResult applyOption(const std::string& name, const char* value, Request& r)
{
    long long n = 0;
    if (name == "--out") {
        r.opt.outDir = value;
    } else if (name == "--staff") {
        if (!numberOption(value, 1, 1000000, "--staff takes a number from 1 to 1000000", n)) return OptionResult::Wrong;
        r.opt.staff = n;
    } else if (name == "--seed") {
        if (!numberOption(value, 0, LLONG_MAX, "--seed takes a number 0 or above", n)) return OptionResult::Wrong;
        r.opt.seed = static_cast<std::uint64_t>(n);
    } else if (name == "--engine") {
        r.engine = value;
        if (r.engine != "sqlite" && r.engine != "postgresql") {
            std::fprintf(stderr, "kovgendemo: --engine takes sqlite or postgresql\n");
            return OptionResult::Wrong;
        }
    } else if (name == "--connection") {
        r.connection = value;
        r.haveConnection = true;
    } else {
        return OptionResult::Unknown;
    }
    return OptionResult::Applied;
}

// The options into `r`; the exit status when the program ends here (help or a mistake).
std::optional<int> parseArguments(int argc, char** argv, Request& r)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const OptionResult result = i + 1 < argc ? applyOption(a, argv[i + 1], r) : OptionResult::Unknown;
        if (result == OptionResult::Wrong) return 2;
        if (result == OptionResult::Applied) {
            ++i;
            continue;
        }
        usage();
        return a == "--help" || a == "-h" ? 0 : 2;
    }
    if (r.opt.outDir.empty() || (r.engine == "postgresql") != r.haveConnection) {
        usage();
        return 2;
    }
    return std::nullopt;
}

// The demo into the PostgreSQL database: the SQLite databases are made first in a
// temporary folder, then copied; the settings files in the output folder name it.
kov::gendemo::DemoSummary generateOnPostgresql(kov::gendemo::DemoOptions& opt, const std::string& connection)
{
    namespace fs = std::filesystem;
    const std::string outDir = opt.outDir;
    std::string work = (fs::temp_directory_path() / "kovgendemo-XXXXXX").string();
    if (!mkdtemp(work.data())) throw std::runtime_error("cannot create a temporary folder");
    opt.outDir = work;
    const kov::gendemo::DemoSummary s = kov::gendemo::generateDemo(opt);
    kov::db::pg::Session target(connection);
    for (const char* file : {kov::db::kPayrollDbFile, kov::db::kNamesDbFile}) {
        kov::db::Connection source((fs::path(work) / file).string(), kov::db::Connection::Mode::ReadOnly);
        kov::db::pg::copyDatabase(source, target);
    }
    fs::remove_all(work);
    fs::create_directories(outDir);
    kov::db::writePostgresqlIni((fs::path(outDir) / kov::db::kPayrollIni).string(), connection);
    kov::db::writePostgresqlIni((fs::path(outDir) / kov::db::kNamesIni).string(), connection);
    opt.outDir = outDir + " (PostgreSQL)";
    return s;
}

} // namespace

int main(int argc, char** argv)
{
    Request r;
    if (const auto status = parseArguments(argc, argv, r)) return *status;
    try {
        const kov::gendemo::DemoSummary s =
            r.engine == "postgresql" ? generateOnPostgresql(r.opt, r.connection) : kov::gendemo::generateDemo(r.opt);
        std::printf("kovgendemo: %s: %lld schools in %d blocks, %lld staff, %lld payment records, %lld summary rows\n",
                    r.opt.outDir.c_str(), static_cast<long long>(s.schools), s.blocks, static_cast<long long>(s.staff),
                    static_cast<long long>(s.payments), static_cast<long long>(s.summaryRows));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kovgendemo: %s\n", e.what());
        return 1;
    }
    return 0;
}
