#include "tessera/settings.h"

#include "tessera/status.h"

#include <filesystem>
#include <fstream>
#include <sstream>

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

// 0 when `p` is an existing file; otherwise -18, -19 or -20.
std::int16_t checkFile(const fs::path& p)
{
    std::error_code ec;
    const fs::path parent = p.has_parent_path() ? p.parent_path() : fs::path(".");
    if (!fs::is_directory(parent, ec)) return kStatusNoFolder;
    if (!fs::exists(p, ec)) return kStatusNoFile;
    if (fs::is_directory(p, ec)) return kStatusBadName;
    return kStatusOk;
}

} // namespace

std::int16_t locateDatabase(const std::string& folder, const std::string& iniName, DatabaseLocation& out)
{
    const std::string name = trimmed(iniName);
    if (name.empty() || name.find('\0') != std::string::npos) return kStatusBadName;

    fs::path iniPath(name);
    if (iniPath.is_relative()) iniPath = fs::path(folder.empty() ? "." : folder) / iniPath;
    {
        std::error_code ec;
        const fs::path parent = iniPath.parent_path();
        if (!fs::is_directory(parent.empty() ? fs::path(".") : parent, ec)) return kStatusNoFolder;
        iniPath = findFile(parent.empty() ? fs::path(".") : parent, iniPath.filename().string());
    }
    if (const std::int16_t st = checkFile(iniPath); st != kStatusOk) return st;

    std::ifstream in(iniPath, std::ios::binary);
    if (!in) return kStatusNoFile;
    std::stringstream buf;
    buf << in.rdbuf();
    std::string content = buf.str();
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

    const std::string eng = upper(engine);
    if (!eng.empty() && eng != "SQLITE" && eng != "SQLITE3") return kStatusBadName;
    if (path.empty()) return kStatusBadName;

    fs::path dbPath(path);
    if (dbPath.is_relative()) dbPath = iniPath.parent_path() / dbPath;
    if (const std::int16_t st = checkFile(dbPath); st != kStatusOk) return st;

    out.engine = "sqlite";
    out.path = dbPath.string();
    return kStatusOk;
}

} // namespace kov::tessera
