#include "tessera/settings.h"

#include "tessera/status.h"

#include <filesystem>
#include <fstream>
#include <memory>
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

// 0 when `path` is an existing file, and its stat in `id`; otherwise -18, -19 or -20.
std::int16_t checkFile(const std::string& path, FileIdentity& id)
{
    if (identifyFile(path, id)) return id.directory ? kStatusBadName : kStatusOk;
    std::error_code ec;
    const fs::path p(path);
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

// Where a settings name led, by folder and name: the settings file, its stat when it
// was read, what it says and the database path that follows. Programs locate the same
// one or two names again and again (a name lookup per report line); an entry serves as
// long as the settings file has the stat it had, and only names found as written are
// kept (a name found without regard to case is looked up afresh each time, in case a
// file of the exact name appears).
struct Located {
    std::string iniPath;
    FileIdentity iniFile;
    Settings settings;
    std::string dbPath;  // when settings.status is 0
};

class LocationCache {
public:
    std::shared_ptr<const Located> find(const std::string& key)
    {
        const std::lock_guard lock(m_mutex);
        const auto it = m_entries.find(key);
        return it == m_entries.end() ? nullptr : it->second;
    }

    void store(const std::string& key, std::shared_ptr<const Located> entry)
    {
        if (!entry->iniFile.settled) return;  // a file changed just now may change again unseen
        const std::lock_guard lock(m_mutex);
        if (m_entries.size() >= kMaxEntries && !m_entries.contains(key)) m_entries.clear();
        m_entries[key] = std::move(entry);
    }

private:
    static constexpr std::size_t kMaxEntries = 32;
    std::mutex m_mutex;
    std::unordered_map<std::string, std::shared_ptr<const Located>> m_entries;
};

LocationCache& locationCache()
{
    static LocationCache cache;
    return cache;
}

std::int16_t fromLocated(const Located& loc, DatabaseLocation& out)
{
    if (loc.settings.status != kStatusOk) return loc.settings.status;
    out.path = loc.dbPath;
    if (const std::int16_t st = checkFile(out.path, out.file); st != kStatusOk) return st;
    out.engine = "sqlite";
    return kStatusOk;
}

} // namespace

std::int16_t locateDatabase(const std::string& folder, const std::string& iniName, DatabaseLocation& out)
{
    const std::string name = trimmed(iniName);
    if (name.empty() || name.find('\0') != std::string::npos) return kStatusBadName;

    std::string key = folder;
    key += '\0';
    key += name;
    if (const std::shared_ptr<const Located> known = locationCache().find(key)) {
        FileIdentity now;
        if (identifyFile(known->iniPath, now) && now.sameAs(known->iniFile)) return fromLocated(*known, out);
    }

    auto loc = std::make_shared<Located>();
    fs::path iniPath(name);
    if (iniPath.is_relative()) iniPath = fs::path(folder.empty() ? "." : folder) / iniPath;
    std::int16_t found;
    const bool asWritten = identifyFile(iniPath.string(), loc->iniFile);
    if (asWritten) {
        found = loc->iniFile.directory ? kStatusBadName : kStatusOk;
    } else {
        // Not under this name: the folder may be missing, or the name differ in case.
        std::error_code ec;
        const fs::path parent = iniPath.parent_path();
        if (!fs::is_directory(parent.empty() ? fs::path(".") : parent, ec)) return kStatusNoFolder;
        iniPath = findFile(parent.empty() ? fs::path(".") : parent, iniPath.filename().string());
        found = checkFile(iniPath.string(), loc->iniFile);
    }
    if (found != kStatusOk) return found;

    std::ifstream in(iniPath, std::ios::binary);
    if (!in) return kStatusNoFile;
    std::stringstream buf;
    buf << in.rdbuf();
    loc->settings = parseSettings(buf.str());
    loc->iniPath = iniPath.string();
    if (loc->settings.status == kStatusOk) {
        fs::path dbPath(loc->settings.path);
        if (dbPath.is_relative()) dbPath = iniPath.parent_path() / dbPath;
        loc->dbPath = dbPath.string();
    }
    if (asWritten) locationCache().store(key, loc);
    return fromLocated(*loc, out);
}

} // namespace kov::tessera
