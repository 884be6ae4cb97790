#pragma once
// Reading a Tessera settings file: which engine, and which database.
#include <cstddef>
#include <cstdint>
#include <string>

namespace kov::tessera {

inline constexpr const char* kEngineSqlite = "sqlite";
inline constexpr const char* kEnginePostgresql = "postgresql";
// How long an open or a read waits for a lock that another program holds on the
// database before it gives its status (BusyTimeout=, in milliseconds).
inline constexpr int kDefaultBusyTimeoutMs = 5000;
// How long a statement or a batch of rows waits for a server's answer before the
// server is taken as lost (ReadTimeout=, in seconds).
inline constexpr int kDefaultReadTimeoutS = 60;

struct DatabaseLocation {
    std::string engine; // kEngineSqlite or kEnginePostgresql
    std::string path; // SQLite: absolute or relative to the working folder, ready to open
    std::string connection; // PostgreSQL: a libpq connection string or URI (may be empty)
    int busyTimeoutMs = kDefaultBusyTimeoutMs;
    int readTimeoutS = kDefaultReadTimeoutS;
    std::string iniPath; // the settings file that was read
    std::size_t valueLine = 0; // its line of Path= (SQLite) or Connection= (PostgreSQL); 0 if none
    std::string detail; // on failure: what is wrong, in Japanese, naming the file
};

// Finds the settings file `iniName` in `folder` (an absolute name is taken as it is;
// the name is matched without regard to case when no file has it exactly), reads its
// [Database] section and, for SQLite, checks that the database file exists:
//   Engine=sqlite       Path=<file>                  (the default engine)
//   Engine=postgresql   Connection=<libpq string>    (key=value pairs or a URI)
//   BusyTimeout=<ms>    optional, both engines
//   ReadTimeout=<s>     optional, PostgreSQL: the longest wait for the server's answer
// Returns 0, or -18 (empty name, a folder instead of a file, no Path, unknown Engine,
// a key that the section does not have, a line that is no setting, a timeout that is
// not a number), -19 (the folder of the settings or database file does not exist) or
// -20 (the settings or database file does not exist); out.detail then says what is
// wrong, naming the file and the line. When the database file is the one that fails,
// out.path names it all the same. A Connection= with a password in a file that others
// may read is warned of on standard error at every open (libpq's rule for its password
// file).
std::int16_t locateDatabase(const std::string& folder, const std::string& iniName, DatabaseLocation& out);

} // namespace kov::tessera
