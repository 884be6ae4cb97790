#include "workfolder.h"

#include "runtimeerror.h"
#include "safefile.h"

#include <cstdlib>
#include <filesystem>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace kov {

namespace {

std::string env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string homeFolder()
{
    std::string home = env("HOME");
#ifndef _WIN32
    if (home.empty()) {
        if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) home = pw->pw_dir;
    }
#else
    if (home.empty()) home = env("USERPROFILE");
#endif
    return home;
}

} // namespace

std::string workRoot()
{
    namespace fs = std::filesystem;
    const std::string given = env("KOV_WORK_DIR");
    if (!given.empty()) return fs::absolute(given).lexically_normal().string();
    // A relative XDG_STATE_HOME is to be ignored, as for every XDG folder.
    const std::string state = env("XDG_STATE_HOME");
    if (!state.empty() && fs::path(state).is_absolute()) return (fs::path(state) / "kov").lexically_normal().string();
    const std::string home = homeFolder();
    if (home.empty())
        throwFileError("作業フォルダの場所がわかりません（HOME も KOV_WORK_DIR も XDG_STATE_HOME もありません）。");
    return (fs::path(home) / ".local" / "state" / "kov").lexically_normal().string();
}

std::string workFolder(const std::string& program)
{
    namespace fs = std::filesystem;
    if (program.empty() || program.find_first_of("/\\") != std::string::npos || program == "." || program == "..")
        throwInvalidArgument("作業フォルダのプログラム名「" + program + "」は使えません。");
    std::string folder = (fs::path(workRoot()) / program).string();
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
    // The command file holds names and amounts: both folders are the user's alone.
    ensurePrivateFolder(folder, "作業フォルダ");
    ensurePrivateFolder(workRoot(), "作業フォルダ");
    return folder;
}

} // namespace kov
