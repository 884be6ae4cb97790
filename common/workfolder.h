#pragma once
// The work folder of a program: where it writes its print command file "OVL.TMP".
// Each program of each user has its own, so two programs, or two users, never write
// one command file at the same time, and an installed program prints even where its
// own folder may not be written:
//   <root>/<program>
// root: the folder that KOV_WORK_DIR names, or else $XDG_STATE_HOME/kov (by default
// ~/.local/state/kov). The folders are created on demand.
#include <string>

namespace kov {

// The work folder of `program` ("kov120"), without a trailing separator, created when
// missing. A folder that cannot be created raises RuntimeError (FileError) with the
// folder and the cause in Japanese.
std::string workFolder(const std::string& program);

// The root that workFolder uses, from the environment (not created).
std::string workRoot();

} // namespace kov
