#include "common/inifile.h"

#include "common/text.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace kov::ini {

namespace fs = std::filesystem;

namespace {

std::string trimmed(std::string_view s) { return text::trim(s, " \t\r"); }

} // namespace

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const
{
    // The last entry of a key wins. NOLINTNEXTLINE(modernize-loop-convert): a reverse walk
    for (auto it = entries.rbegin(); it != entries.rend(); ++it)
        if (text::equalsIgnoringAsciiCase(it->section, section) && text::equalsIgnoringAsciiCase(it->key, key))
            return it->value;
    return std::nullopt;
}

IniFile parse(std::string_view text)
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    IniFile out;
    std::string section;
    std::size_t lineNo = 0;
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        const std::string_view raw = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        ++lineNo;
        const std::string t = trimmed(raw);
        if (t.empty() || t[0] == ';' || t[0] == '#') continue;
        if (t[0] == '[') {
            if (t.back() != ']') {
                out.problems.push_back({lineNo, "節の名前が ] で閉じられていません。"});
                section = std::string(trimmed(t.substr(1)));
            } else {
                section = std::string(trimmed(t.substr(1, t.size() - 2)));
            }
            continue;
        }
        const std::size_t eq = t.find('=');
        if (eq == std::string_view::npos) {
            out.problems.push_back({lineNo, "「名前=値」の形ではありません。"});
            continue;
        }
        out.entries.push_back(
            {section, std::string(trimmed(t.substr(0, eq))), std::string(trimmed(t.substr(eq + 1))), lineNo});
    }
    return out;
}

std::string placeText(const std::string& iniPath, std::size_t line)
{
    std::string s = "設定ファイル「" + iniPath + "」";
    if (line != 0) s += "の " + std::to_string(line) + " 行目";
    return s;
}

FirstFault::FirstFault(const IniFile& file)
{
    if (!file.problems.empty()) note(file.problems.front().line, file.problems.front().message);
}

void FirstFault::note(std::size_t line, std::string what)
{
    if (m_line != 0 && line >= m_line) return;
    m_line = line;
    m_what = std::move(what);
}

std::string FirstFault::text(const std::string& iniPath) const { return placeText(iniPath, m_line) + ": " + m_what; }

std::string unquoted(std::string_view value)
{
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    return std::string(value);
}

std::string findFile(const std::string& folder, const std::string& name)
{
    const fs::path dir(folder.empty() ? "." : folder);
    std::error_code ec;
    const fs::path exact = dir / name;
    if (fs::exists(exact, ec)) return exact.string();
    std::string found;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (text::equalsIgnoringAsciiCase(entry, name) && (found.empty() || entry < found)) found = entry;
    }
    return (found.empty() ? exact : dir / found).string();
}

bool readFile(const std::string& path, std::string& content)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buf;
    buf << in.rdbuf();
    if (in.bad()) return false;
    content = buf.str();
    return true;
}

} // namespace kov::ini
