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
#include <utility>

namespace kov::tessera {

namespace fs = std::filesystem;

namespace {

// 0 when `path` is an existing file; otherwise -18 (a folder), -19 or -20.
std::int16_t checkFile(const std::string& path)
{
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (fs::exists(status)) return fs::is_directory(status) ? kStatusBadName : kStatusOk;
    const fs::path p(path);
    const fs::path parent = p.has_parent_path() ? p.parent_path() : fs::path(".");
    return fs::is_directory(parent, ec) ? kStatusNoFile : kStatusNoFolder;
}

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
void readEngine(const DatabaseEntries& found, ini::FirstFault& fault, DatabaseLocation& out)
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

// The [Database] values of the settings file out.iniPath, whose content is `content`,
// into `out` (Path= as written): 0, or -18 with what is wrong.
std::int16_t parseSettings(const std::string& content, DatabaseLocation& out)
{
    const ini::IniFile file = ini::parse(content);
    ini::FirstFault fault(file);
    const DatabaseEntries found = databaseEntries(file, fault);
    readEngine(found, fault, out);
    readNumber(found.busyTimeout, 0, "ミリ秒", fault, out.busyTimeoutMs);
    readNumber(found.readTimeout, 1, "秒", fault, out.readTimeoutS);
    if (fault.any()) {
        out.detail = fault.text(out.iniPath);
        return kStatusBadName;
    }
    if (out.engine == kEngineSqlite && out.path.empty()) {
        out.detail = out.valueLine != 0 ? ini::placeText(out.iniPath, out.valueLine) +
                                              ": Path が空です（データベースのファイルを書いてください）。"
                                        : ini::placeText(out.iniPath, 0) +
                                              ": [Database] に Path（データベースのファイル）がありません。";
        return kStatusBadName;
    }
    return kStatusOk;
}

// libpq's rule for its password file: a password is kept in a file that only its owner
// may read.
void warnOfReadablePassword(const std::string& iniPath, const DatabaseLocation& s)
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

// The database file that Path= names, as out.path: 0, or its status with what is wrong.
std::int16_t checkDatabaseFile(DatabaseLocation& out)
{
    fs::path dbPath(out.path);
    if (dbPath.is_relative()) dbPath = fs::path(out.iniPath).parent_path() / dbPath;
    out.path = dbPath.string();
    const std::int16_t st = checkFile(out.path);
    const std::string at = ini::placeText(out.iniPath, out.valueLine) + ": Path の";
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

// The settings file `name` in `folder`, found as written or, when no file has that
// name, under another case of it, as out.iniPath: 0, or the status of a settings file
// that is not there.
std::int16_t findSettingsFile(const std::string& folder, const std::string& name, DatabaseLocation& out)
{
    fs::path p(name);
    if (p.is_relative()) p = fs::path(folder.empty() ? "." : folder) / p;
    std::int16_t found = checkFile(p.string());
    if (found == kStatusNoFile) {
        p = ini::findFile(p.parent_path().string(), p.filename().string());
        found = checkFile(p.string());
    }
    out.iniPath = p.string();
    return found == kStatusOk ? kStatusOk : settingsFault(found, p, out);
}

} // namespace

std::int16_t locateDatabase(const std::string& folder, const std::string& iniName, DatabaseLocation& out)
{
    const std::string name = text::trim(iniName, " \t\r\n");
    if (name.empty() || name.find('\0') != std::string::npos) {
        out.detail = "設定ファイルの名前がありません。";
        return kStatusBadName;
    }

    if (const std::int16_t st = findSettingsFile(folder, name, out); st != kStatusOk) return st;
    std::string content;
    if (!ini::readFile(out.iniPath, content)) {
        out.detail = "設定ファイル「" + out.iniPath + "」を読めません（読む権限を確かめてください）。";
        return kStatusNoFile;
    }
    const std::int16_t st = parseSettings(content, out);
    warnOfReadablePassword(out.iniPath, out);
    if (st != kStatusOk || out.engine == kEnginePostgresql) return st;
    return checkDatabaseFile(out);
}

} // namespace kov::tessera
