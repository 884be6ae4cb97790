#include "runtimeservices.h"

#include "runtimeerror.h"
#include "text.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <unordered_map>

namespace kov {

RuntimeServices::~RuntimeServices() = default;

void RuntimeServices::notify(const std::string&, const std::string&) {}

namespace {
const char* iconName(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Stop:
        return "stop";
    case MsgIcon::Exclamation:
        return "exclamation";
    case MsgIcon::Question:
        return "question";
    case MsgIcon::Information:
        return "information";
    }
    return "";
}

std::string oneLine(const std::string& s)
{
    std::string out;
    for (char c : s) {
        if (c == '\r') continue;
        if (c == '\n') out += "\\n";
        else out += c;
    }
    return out;
}

// Whether `folder` holds a settings file (any case).
bool holdsSettingsFile(const std::string& folder)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = text::foldAsciiCase(it->path().filename().string());
        if (name == "kov.ini" || name == "kovenv.ini" || name == "ovlprint.ini") return true;
    }
    return false;
}
} // namespace

MsgResult RuntimeServices::msgBox(const std::string& text, MsgIcon icon, MsgButtons buttons, const std::string& title)
{
    std::fprintf(stderr, "[message %s] title=\"%s\" text=\"%s\"\n", iconName(icon), oneLine(title).c_str(),
                 oneLine(text).c_str());
    std::fflush(stderr);
    return showMessage(text, icon, buttons, title);
}

void RuntimeServices::endProgram(int exitStatus)
{
    endProcess(exitStatus);
    std::abort(); // an implementation that came back: the program must not go on
}

void RuntimeServices::endWith(const ProgramStop& stop)
{
    msgBox(stop.text(), stop.icon(), MsgButtons::Ok, stop.title());
    endProgram(stop.exitStatus());
}

std::string settingsFolder(const std::string& appPath) { return settingsFolder(appPath, kSystemSettingsFolder); }

std::string settingsFolder(const std::string& appPath, const std::string& systemFolder)
{
    const char* dir = std::getenv("KOV_INI_DIR");
    if (dir && *dir) return dir;
    if (holdsSettingsFile(appPath)) return appPath;
    std::error_code ec;
    if (std::filesystem::is_directory(systemFolder, ec)) return systemFolder;
    return appPath;
}

void anchorFolderVariables()
{
    for (const char* name : {"KOV_INI_DIR", "KOV_WORK_DIR"}) {
        const char* value = std::getenv(name);
        if (!value || !*value) continue;
        const std::filesystem::path folder(value);
        if (folder.is_absolute()) continue;
        std::error_code ec;
        const std::filesystem::path absolute = std::filesystem::absolute(folder, ec).lexically_normal();
        if (ec) continue;
        std::string anchored = absolute.string();
        while (anchored.size() > 1 && anchored.back() == '/') anchored.pop_back();
        ::setenv(name, anchored.c_str(), 1);
    }
}

void runGuarded(RuntimeServices& rt, const std::string& title, const std::function<void()>& action)
{
    try {
        action();
    } catch (const ProgramStop& stop) {
        rt.endWith(stop);
    } catch (const RuntimeError& e) {
        rt.endWith(ProgramStop(e.userMessage(), MsgIcon::Stop, title));
    }
}

} // namespace kov
