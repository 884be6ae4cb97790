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

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
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
} // namespace

int main(int argc, char** argv)
{
    kov::gendemo::DemoOptions opt;
    std::string engine = "sqlite", connection;
    bool haveConnection = false;
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
        } else if (a == "--engine" && i + 1 < argc) {
            engine = argv[++i];
            if (engine != "sqlite" && engine != "postgresql") {
                std::fprintf(stderr, "kovgendemo: --engine takes sqlite or postgresql\n");
                return 2;
            }
        } else if (a == "--connection" && i + 1 < argc) {
            connection = argv[++i];
            haveConnection = true;
        } else if (a == "--help" || a == "-h") {
            usage();
            return 0;
        } else {
            usage();
            return 2;
        }
    }
    if (opt.outDir.empty() || (engine == "postgresql") != haveConnection) {
        usage();
        return 2;
    }
    try {
        namespace fs = std::filesystem;
        const std::string outDir = opt.outDir;
        std::string work;
        if (engine == "postgresql") { // the SQLite databases are made first, then copied
            work = (fs::temp_directory_path() / "kovgendemo-XXXXXX").string();
            if (!mkdtemp(work.data())) throw std::runtime_error("cannot create a temporary folder");
            opt.outDir = work;
        }
        const kov::gendemo::DemoSummary s = kov::gendemo::generateDemo(opt);
        if (engine == "postgresql") {
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
        }
        std::printf("kovgendemo: %s: %lld schools in %d blocks, %lld staff, %lld payment records, %lld summary rows\n",
                    opt.outDir.c_str(), static_cast<long long>(s.schools), s.blocks, static_cast<long long>(s.staff),
                    static_cast<long long>(s.payments), static_cast<long long>(s.summaryRows));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kovgendemo: %s\n", e.what());
        return 1;
    }
    return 0;
}
