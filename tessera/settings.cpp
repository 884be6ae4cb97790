#include "tessera/settings.h"

#include "tessera/status.h"

#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <unordered_map>

namespace kov::tessera {

namespace fs = std::filesystem;

namespace {

std::string trimmed(std::string_view s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n')) --e;
    return std::string(s.substr(b, e - b));
}

std::string upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// The file in `dir` whose name matches `name` exactly, else without regard to case.
fs::path findFile(const fs::path& dir, const std::string& name)
{
    std::error_code ec;
    fs::path exact = dir / name;
    if (fs::exists(exact, ec)) return exact;
    const std::string wanted = upper(name);
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        if (upper(entry.path().filename().string()) == wanted) return entry.path();
    }
    return exact;
}

// 0 when `p` is an existing file, and its stat in `id`; otherwise -18, -19 or -20.
std::int16_t checkFile(const fs::path& p, FileIdentity& id)
{
    if (identifyFile(p.string(), id)) return id.directory ? kStatusBadName : kStatusOk;
    std::error_code ec;
    const fs::path parent = p.has_parent_path() ? p.parent_path() : fs::path(".");
    return fs::is_directory(parent, ec) ? kStatusNoFile : kStatusNoFolder;
}

// What a settings file says: its status (0 or -18) and the [Database] values.
struct Settings {
    std::int16_t status = kStatusOk;
    std::string path;  // Path= as written
};

Settings parseSettings(std::string content)
{
    if (content.rfind("\xEF\xBB\xBF", 0) == 0) content.erase(0, 3);
    std::string engine, path;
    bool inDatabase = false;
    std::istringstream lines(content);
    for (std::string line; std::getline(lines, line);) {
        const std::string t = trimmed(line);
        if (t.empty() || t[0] == ';' || t[0] == '#') continue;
        if (t.front() == '[') {
            const std::size_t close = t.find(']');
            inDatabase = close != std::string::npos && upper(trimmed(t.substr(1, close - 1))) == "DATABASE";
            continue;
        }
        if (!inDatabase) continue;
        const std::size_t eq = t.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = upper(trimmed(t.substr(0, eq)));
        std::string value = trimmed(t.substr(eq + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (key == "ENGINE") engine = value;
        else if (key == "PATH") path = value;
    }
    Settings out;
    const std::string eng = upper(engine);
    if ((!eng.empty() && eng != "SQLITE" && eng != "SQLITE3") || path.empty()) out.status = kStatusBadName;
    else out.path = std::move(path);
    return out;
}

// Settings files read so far, by path, with the stat they had when read. Programs
// locate the same one or two files again and again (a name lookup per report line).
class SettingsCache {
public:
    bool find(const std::string& path, const FileIdentity& id, Settings& out)
    {
        const std::lock_guard lock(m_mutex);
        const auto it = m_entries.find(path);
        if (it == m_entries.end() || !it->second.file.settled || !it->second.file.sameAs(id)) return false;
        out = it->second.settings;
        return true;
    }

    void store(const std::string& path, const FileIdentity& id, const Settings& settings)
    {
        if (!id.settled) return;  // a file changed just now may change again unseen
        const std::lock_guard lock(m_mutex);
        if (m_entries.size() >= kMaxEntries && !m_entries.contains(path)) m_entries.clear();
        m_entries[path] = Entry{id, settings};
    }

private:
    static constexpr std::size_t kMaxEntries = 32;
    struct Entry {
        FileIdentity file;
        Settings settings;
    };
    std::mutex m_mutex;
    std::unordered_map<std::string, Entry> m_entries;
};

SettingsCache& settingsCache()
{
    static SettingsCache cache;
    return cache;
}

} // namespace

std::int16_t locateDatabase(const std::string& folder, const std::string& iniName, DatabaseLocation& out)
{
    const std::string name = trimmed(iniName);
    if (name.empty() || name.find('\0') != std::string::npos) return kStatusBadName;

    fs::path iniPath(name);
    if (iniPath.is_relative()) iniPath = fs::path(folder.empty() ? "." : folder) / iniPath;
    FileIdentity iniFile;
    std::int16_t found;
    if (identifyFile(iniPath.string(), iniFile)) {
        found = iniFile.directory ? kStatusBadName : kStatusOk;
    } else {
        // Not under this name: the folder may be missing, or the name differ in case.
        std::error_code ec;
        const fs::path parent = iniPath.parent_path();
        if (!fs::is_directory(parent.empty() ? fs::path(".") : parent, ec)) return kStatusNoFolder;
        iniPath = findFile(parent.empty() ? fs::path(".") : parent, iniPath.filename().string());
        found = checkFile(iniPath, iniFile);
    }
    if (found != kStatusOk) return found;

    Settings settings;
    const std::string iniKey = iniPath.string();
    if (!settingsCache().find(iniKey, iniFile, settings)) {
        std::ifstream in(iniPath, std::ios::binary);
        if (!in) return kStatusNoFile;
        std::stringstream buf;
        buf << in.rdbuf();
        settings = parseSettings(buf.str());
        settingsCache().store(iniKey, iniFile, settings);
    }
    if (settings.status != kStatusOk) return settings.status;

    fs::path dbPath(settings.path);
    if (dbPath.is_relative()) dbPath = iniPath.parent_path() / dbPath;
    out.path = dbPath.string();
    if (const std::int16_t st = checkFile(dbPath, out.file); st != kStatusOk) return st;
    out.engine = "sqlite";
    return kStatusOk;
}

} // namespace kov::tessera
