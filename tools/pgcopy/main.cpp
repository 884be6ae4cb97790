// kovpgcopy --from FILE --connection C     copies a SQLite payroll or name-setting
//                                          database (every table, its rows in their
//                                          order and its indexes) into the PostgreSQL
//                                          database that the libpq connection string C
//                                          names, with COPY, in one transaction; tables
//                                          of the same names there are replaced
// kovpgcopy --schema                       prints the PostgreSQL schema of both databases
#include "db/kovdb.h"
#include "db/postgresql.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

namespace {
void usage() { std::fprintf(stderr, "usage: kovpgcopy --from FILE --connection CONNECTION | kovpgcopy --schema\n"); }
} // namespace

int main(int argc, char** argv)
{
    std::string from, connection;
    bool schema = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--from" && i + 1 < argc) from = argv[++i];
        else if (a == "--connection" && i + 1 < argc) connection = argv[++i];
        else if (a == "--schema") schema = true;
        else {
            usage();
            return 2;
        }
    }
    if (schema) {
        std::fputs(kov::db::pg::schemaFile().c_str(), stdout);
        return 0;
    }
    if (from.empty() || connection.empty()) {
        usage();
        return 2;
    }
    try {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(from, ec)) throw std::runtime_error(from + ": no such database file");
        kov::db::Connection source(from, kov::db::Connection::Mode::ReadOnly);
        kov::db::pg::Session target(connection);
        const std::int64_t rows = kov::db::pg::copyDatabase(source, target);
        std::printf("kovpgcopy: %s: %lld rows copied\n", from.c_str(), static_cast<long long>(rows));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kovpgcopy: %s\n", e.what());
        return 1;
    }
    return 0;
}
