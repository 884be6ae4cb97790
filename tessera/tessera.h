#pragma once
// Tessera, the data-access component: clsDbAccess (a connection) and clsTbAccess (a
// table or grouped query with a current row) over SQLite, behind the contract of
// common/dataaccess/dataaccess.h.
//
// A connection is located by a settings file (e.g. "KOV.INI") looked up in
// kov::settingsFolder(appPath) (the folder that KOV_INI_DIR names, else the program's
// folder):
//   [Database]
//   Engine=sqlite
//   Path=kov.db          ; relative to the settings file's folder, or absolute
// The database is opened read-only; opening never creates a database file. Each open
// reads the settings file and opens the database file as they are then.
#include "common/dataaccess/dataaccess.h"

#include <cstddef>
#include <memory>
#include <string>

namespace kov::tessera {

// Makes the ProgIDs "Tessera.clsDbAccess" and "Tessera.clsTbAccess" answer to this
// component, and the end of the program close the connections it keeps idle. appPath is
// the program's own folder. Registering again replaces the earlier registration.
void registerComponent(const std::string& appPath);

// The objects themselves, for code that creates them without a ProgID.
std::unique_ptr<kov::dataaccess::clsDbAccess> makeDbAccess(const std::string& appPath);
std::unique_ptr<kov::dataaccess::clsTbAccess> makeTbAccess();

// Rows counted by an open at most; an open returns min(rows, kMaxRowCount).
inline constexpr int kMaxRowCount = 32767;

// Within a run's reads (DAO_ReadBegin) the finds of a declared lookup
// (clsTbAccess::declareLookup: "SYOKCD = 1001", "SYOKCD = 1002") are served from the
// open's rows, read once for the run, up to this many bytes of them; past it, the
// single find. setFindRowsLimit changes the bound for the process.
inline constexpr std::size_t kFindRowsLimit = 64u << 20;
void setFindRowsLimit(std::size_t bytes);

} // namespace kov::tessera
