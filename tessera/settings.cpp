#include "tessera/settings.h"

#include "common/inifile.h"
#include "common/text.h"
#include "tessera/backend.h"
#include "tessera/status.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cstdio>

#include <filesystem>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace kov::tessera {

namespace fs = std::filesystem;

namespace {

// 0 when `path` is an existing file, and its stat in `id`; otherwise -18, -19 or -20.
std::int16_t checkFile(const std::string& path, FileIdentity& id)
{
    if (identifyFile(path, id)) return id.directory ? kStatusBadName : kStatusOk;
    std::error_code ec;
    const fs::path p(path);
    const fs::path parent = p.has_parent_path() ? p.parent_path() : fs::path(".");
    return fs::is_directory(parent, ec) ? kStatusNoFile : kStatusNoFolder;
}

// What a settings file says: its status (0 or -18), what is wrong with it, and the
// [Database] values.
struct Settings {
    std::int16_t status = kStatusOk;
    std::string detail;
    std::string engine; // kEngineSqlite or kEnginePostgresql
    std::string path; // Path= as written (SQLite)
    std::string connection; // Connection= (PostgreSQL)
    std::size_t valueLine = 0;
    int busyTimeoutMs = kDefaultBusyTimeoutMs;
    int readTimeoutS = kDefaultReadTimeoutS;
};

constexpr const char* kKnownKeys = "Engine、Path、Connection、BusyTimeout、ReadTimeout";

// The last line of each key of [Database]; another key there is a fault (a misspelt key
// would otherwise leave its setting silently at the default).
struct DatabaseEntries {
    const ini::Entry* engine = nullptr;
    const ini::Entry* path = nullptr;
    const ini::Entry* connection = nullptr;
    const ini::Entry* busyTimeout = nullptr;
    const ini::Entry* readTimeout = nullptr;
};

DatabaseEntries databaseEntries(const ini::IniFile& file, ini::FirstFault& fault)
{
    DatabaseEntries found;
    const std::pair<const char*, const ini::Entry**> slots[] = {{"Engine", &found.engine},
                                                                {"Path", &found.path},
                                                                {"Connection", &found.connection},
                                                                {"BusyTimeout", &found.busyTimeout},
                                                                {"ReadTimeout", &found.readTimeout}};
    for (const ini::Entry& e : file.entries) {
        if (!text::equalsIgnoringAsciiCase(e.section, "Database")) continue;
        const auto slot = std::find_if(std::begin(slots), std::end(slots),
                                       [&e](const auto& s) { return text::equalsIgnoringAsciiCase(e.key, s.first); });
        if (slot != std::end(slots)) *slot->second = &e;
        else fault.note(e.line, "不明な設定「" + e.key + "」です（" + kKnownKeys + "）。");
    }
    return found;
}

std::string valueOf(const ini::Entry* e) { return e ? ini::unquoted(e->value) : std::string(); }

// A whole number of at least `least` into `out`, or a fault of its line.
void readNumber(const ini::Entry* e, int least, const char* unit, ini::FirstFault& fault, int& out)
{
    if (!e) return;
    const std::string v = valueOf(e);
    int n = -1;
    const auto r = std::from_chars(v.data(), v.data() + v.size(), n);
    const std::string what = e->key + " の値「" + v + "」";
    if (r.ec != std::errc() || r.ptr != v.data() + v.size())
        fault.note(e->line, what + "は数ではありません（" + unit + "を数字だけで書いてください）。");
    else if (n < least)
        fault.note(e->line,
                   what + "は使えません（" + std::to_string(least) + " 以上の" + unit + "を書いてください）。");
    else out = n;
}

// The engine that Engine= names, with its database value (Path= or Connection=).
void readEngine(const DatabaseEntries& found, ini::FirstFault& fault, Settings& out)
{
    const std::string engine = valueOf(found.engine);
    if (engine.empty() || text::equalsIgnoringAsciiCase(engine, "sqlite") ||
        text::equalsIgnoringAsciiCase(engine, "sqlite3")) {
        out.engine = kEngineSqlite;
        out.path = valueOf(found.path);
        out.valueLine = found.path ? found.path->line : 0;
    } else if (text::equalsIgnoringAsciiCase(engine, "postgresql") ||
               text::equalsIgnoringAsciiCase(engine, "postgres")) {
        // Without Connection= libpq's own defaults apply (PGHOST, PGDATABASE, ...).
        out.engine = kEnginePostgresql;
        out.connection = valueOf(found.connection);
        out.valueLine = found.connection ? found.connection->line : 0;
    } else {
        fault.note(found.engine->line, "Engine の値「" + engine + "」は使えません（sqlite、postgresql）。");
    }
}

Settings parseSettings(const std::string& content, const std::string& iniPath)
{
    const ini::IniFile file = ini::parse(content);
    ini::FirstFault fault(file);
    const DatabaseEntries found = databaseEntries(file, fault);
    Settings out;
    readEngine(found, fault, out);
    readNumber(found.busyTimeout, 0, "ミリ秒", fault, out.busyTimeoutMs);
    readNumber(found.readTimeout, 1, "秒", fault, out.readTimeoutS);
    if (fault.any()) {
        out.status = kStatusBadName;
        out.detail = fault.text(iniPath);
    } else if (out.engine == kEngineSqlite && out.path.empty()) {
        out.status = kStatusBadName;
        out.detail =
            out.valueLine != 0
                ? ini::placeText(iniPath, out.valueLine) + ": Path が空です（データベースのファイルを書いてください）。"
                : ini::placeText(iniPath, 0) + ": [Database] に Path（データベースのファイル）がありません。";
    }
    return out;
}

// libpq's rule for its password file: a password is kept in a file that only its owner
// may read.
void warnOfReadablePassword(const std::string& iniPath, const Settings& s)
{
    if (s.engine != kEnginePostgresql || !connectionHasPassword(s.connection)) return;
    struct stat st {};
    if (::stat(iniPath.c_str(), &st) != 0 || (st.st_mode & (S_IRWXG | S_IRWXO)) == 0) return;
    std::fprintf(stderr,
                 "警告: 設定ファイル「%s」の Connection にパスワードがありますが、このファイルは他の利用者も読めます"
                 "（chmod 600 にするか、パスワードは ~/.pgpass に置いてください）。\n",
                 iniPath.c_str());
    std::fflush(stderr);
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
    std::string dbPath; // when settings.status is 0
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
        if (!entry->iniFile.settled) return; // a file changed just now may change again unseen
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
    out.iniPath = loc.iniPath;
    out.valueLine = loc.settings.valueLine;
    if (loc.settings.status != kStatusOk) {
        out.detail = loc.settings.detail;
        return loc.settings.status;
    }
    out.engine = loc.settings.engine;
    out.busyTimeoutMs = loc.settings.busyTimeoutMs;
    out.readTimeoutS = loc.settings.readTimeoutS;
    if (out.engine == kEnginePostgresql) {
        out.connection = loc.settings.connection;
        return kStatusOk;
    }
    out.path = loc.dbPath;
    const std::int16_t st = checkFile(out.path, out.file);
    const std::string at = ini::placeText(loc.iniPath, out.valueLine) + ": Path の";
    if (st == kStatusBadName)
        out.detail = at + "「" + out.path + "」はフォルダです（データベースのファイルを書いてください）。";
    else if (st == kStatusNoFolder)
        out.detail = at + "フォルダ「" + fs::path(out.path).parent_path().string() + "」がありません。";
    else if (st == kStatusNoFile) out.detail = at + "データベースファイル「" + out.path + "」がありません。";
    return st;
}

// A settings file that was not found or not read: its status and what is wrong.
std::int16_t settingsFault(std::int16_t status, const fs::path& iniPath, DatabaseLocation& out)
{
    const std::string name = iniPath.string();
    switch (status) {
    case kStatusBadName:
        out.detail = "設定ファイル「" + name + "」はフォルダです（ファイルではありません）。";
        break;
    case kStatusNoFolder:
        out.detail = "設定ファイルのフォルダ「" + iniPath.parent_path().string() +
                     "」がありません（KOV_INI_DIR を確かめてください）。";
        break;
    default:
        out.detail = "設定ファイル「" + name + "」がありません。";
        break;
    }
    return status;
}

// The settings file `name` in `folder`: found as written (`asWritten`), or in the folder
// under another case of the name; its path and stat into `loc`. 0 or the status of a
// settings file that is not there.
std::int16_t findSettingsFile(const std::string& folder, const std::string& name, Located& loc, bool& asWritten,
                              DatabaseLocation& out)
{
    fs::path iniPath(name);
    if (iniPath.is_relative()) iniPath = fs::path(folder.empty() ? "." : folder) / iniPath;
    std::int16_t found;
    asWritten = identifyFile(iniPath.string(), loc.iniFile);
    if (asWritten) {
        found = loc.iniFile.directory ? kStatusBadName : kStatusOk;
    } else {
        // Not under this name: the folder may be missing, or the name differ in case.
        std::error_code ec;
        const fs::path parent = iniPath.parent_path();
        if (!fs::is_directory(parent.empty() ? fs::path(".") : parent, ec))
            return settingsFault(kStatusNoFolder, iniPath, out);
        iniPath = ini::findFile(parent.string(), iniPath.filename().string());
        found = checkFile(iniPath.string(), loc.iniFile);
    }
    loc.iniPath = iniPath.string();
    return found == kStatusOk ? kStatusOk : settingsFault(found, iniPath, out);
}

// Reads the settings file found in `loc` and what follows from it: the database's path.
std::int16_t readSettingsFile(Located& loc, DatabaseLocation& out)
{
    std::string content;
    if (!ini::readFile(loc.iniPath, content)) {
        out.detail = "設定ファイル「" + loc.iniPath + "」を読めません（読む権限を確かめてください）。";
        return kStatusNoFile;
    }
    loc.settings = parseSettings(content, loc.iniPath);
    warnOfReadablePassword(loc.iniPath, loc.settings);
    if (loc.settings.status == kStatusOk && loc.settings.engine == kEngineSqlite) {
        fs::path dbPath(loc.settings.path);
        if (dbPath.is_relative()) dbPath = fs::path(loc.iniPath).parent_path() / dbPath;
        loc.dbPath = dbPath.string();
    }
    return kStatusOk;
}

} // namespace

std::int16_t locateDatabase(const std::string& folder, const std::string& iniName, DatabaseLocation& out)
{
    const std::string name = text::trim(iniName, " \t\r\n");
    if (name.empty() || name.find('\0') != std::string::npos) {
        out.detail = "設定ファイルの名前がありません。";
        return kStatusBadName;
    }

    std::string key = folder;
    key += '\0';
    key += name;
    if (const std::shared_ptr<const Located> known = locationCache().find(key)) {
        FileIdentity now;
        if (identifyFile(known->iniPath, now) && now.sameAs(known->iniFile)) return fromLocated(*known, out);
    }

    auto loc = std::make_shared<Located>();
    bool asWritten = false;
    if (const std::int16_t st = findSettingsFile(folder, name, *loc, asWritten, out); st != kStatusOk) return st;
    if (const std::int16_t st = readSettingsFile(*loc, out); st != kStatusOk) return st;
    if (asWritten) locationCache().store(key, loc);
    return fromLocated(*loc, out);
}

} // namespace kov::tessera
