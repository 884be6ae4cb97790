#pragma once
// The work folder of a program: where it writes its print command file "OVL.TMP".
// Each program of each user has its own, so two programs, or two users, never write
// one command file at the same time, and an installed program prints even where its
// own folder may not be written:
//   <root>/<program>
// root: the folder that KOV_WORK_DIR names, or else $XDG_STATE_HOME/kov (by default
// ~/.local/state/kov). The folders are created on demand, with mode 0700; the root and
// the program's folder must belong to the user and be closed to the writes of others.
#include <string>

namespace kov {

// The work folder of `program` ("kov120"), without a trailing separator, created when
// missing. A folder that cannot be created, or that is another user's or open to the
// writes of others, raises RuntimeError (FileError) with the folder and the cause in
// Japanese (kov::ensurePrivateFolder).
std::string workFolder(const std::string& program);

// The root that workFolder uses, from the environment (not created).
std::string workRoot();

} // namespace kov
