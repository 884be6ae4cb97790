#pragma once
// Reading a Tessera settings file: which engine, and which database.
#include "tessera/fileidentity.h"

#include <cstdint>
#include <string>

namespace kov::tessera {

struct DatabaseLocation {
    std::string engine;   // "sqlite"
    std::string path;     // absolute or relative to the working folder, ready to open
    FileIdentity file;    // the database file as it was found
};

// Finds the settings file `iniName` in `folder` (an absolute name is taken as it is;
// the name is matched without regard to case when no file has it exactly), reads its
// [Database] section and checks that the database file exists.
// Returns 0, or -18 (empty name, a folder instead of a file, no Path, unknown Engine),
// -19 (the folder of the settings or database file does not exist) or -20 (the
// settings or database file does not exist). When the database file is the one that
// fails, out.path names it all the same.
// The content of a settings file is read again only when its stat has changed.
std::int16_t locateDatabase(const std::string& folder, const std::string& iniName, DatabaseLocation& out);

} // namespace kov::tessera
