#include "tessera/settings.h"

#include "common/inifile.h"
#include "tessera/status.h"

#include <charconv>

#include <filesystem>
#include <memory>
#include <mutex>
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

// The file in `dir` whose name matches `name` exactly, else without regard to case.
fs::path findFile(const fs::path& dir, const std::string& name) { return fs::path(ini::findFile(dir.string(), name)); }

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
    std::string engine;      // kEngineSqlite or kEnginePostgresql
    std::string path;        // Path= as written (SQLite)
    std::string connection;  // Connection= (PostgreSQL)
    int busyTimeoutMs = kDefaultBusyTimeoutMs;
};

Settings parseSettings(const std::string& content)
{
    const ini::IniFile file = ini::parse(content);
    auto value = [&](const char* key) { return ini::unquoted(file.value("Database", key).value_or(std::string())); };
    Settings out;
    const std::string engine = value("Engine");
    if (engine.empty() || ini::equalsNoCase(engine, "sqlite") || ini::equalsNoCase(engine, "sqlite3")) {
        out.engine = kEngineSqlite;
        out.path = value("Path");
        if (out.path.empty()) out.status = kStatusBadName;
    } else if (ini::equalsNoCase(engine, "postgresql") || ini::equalsNoCase(engine, "postgres")) {
        // Without Connection= libpq's own defaults apply (PGHOST, PGDATABASE, ...).
        out.engine = kEnginePostgresql;
        out.connection = value("Connection");
    } else {
        out.status = kStatusBadName;
    }
    if (const std::optional<std::string> t = file.value("Database", "BusyTimeout")) {
        const std::string v = ini::unquoted(*t);
        int ms = -1;
        const auto r = std::from_chars(v.data(), v.data() + v.size(), ms);
        if (r.ec != std::errc() || r.ptr != v.data() + v.size() || ms < 0) out.status = kStatusBadName;
        else out.busyTimeoutMs = ms;
    }
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
    out.engine = loc.settings.engine;
    out.busyTimeoutMs = loc.settings.busyTimeoutMs;
    if (out.engine == kEnginePostgresql) {
        out.connection = loc.settings.connection;
        return kStatusOk;
    }
    out.path = loc.dbPath;
    return checkFile(out.path, out.file);
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

    std::string content;
    if (!ini::readFile(iniPath.string(), content)) return kStatusNoFile;
    loc->settings = parseSettings(content);
    loc->iniPath = iniPath.string();
    if (loc->settings.status == kStatusOk && loc->settings.engine == kEngineSqlite) {
        fs::path dbPath(loc->settings.path);
        if (dbPath.is_relative()) dbPath = iniPath.parent_path() / dbPath;
        loc->dbPath = dbPath.string();
    }
    if (asWritten) locationCache().store(key, loc);
    return fromLocated(*loc, out);
}

} // namespace kov::tessera
