#include "gaiji.h"

#include "inifile.h"
#include "runtimeerror.h"
#include "text.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>

namespace kov::gaiji {

namespace {

// The code of a key such as "E000" (hex, without regard to case); nothing for another text.
std::optional<char32_t> parseCode(const std::string& key)
{
    if (key.empty() || key.size() > 6) return std::nullopt;
    char32_t code = 0;
    for (const char c : key) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                 : -1;
        if (digit < 0) return std::nullopt;
        code = code * 16 + static_cast<char32_t>(digit);
    }
    return code;
}

// The one character of a value; nothing when it is not exactly one valid character.
std::optional<char32_t> parseCharacter(const std::string& value)
{
    if (value.empty()) return std::nullopt;
    std::size_t len = 0;
    const char32_t cp = text::decodeAt(value, 0, &len);
    if (len != value.size() || text::encode(cp) != value) return std::nullopt;
    return cp;
}

bool isPrivateUse(char32_t cp) { return cp >= 0xE000 && cp <= 0xF8FF; }

std::string codeText(char32_t code) { return text::hexCode(code, 4); }

struct Current {
    std::mutex mutex;
    std::string folder;
    bool folderGiven = false;
    std::unique_ptr<Table> table;
};

Current& state()
{
    static Current s;
    return s;
}

} // namespace

Table Table::parse(std::string_view text, const std::string& iniPath)
{
    Table t;
    t.m_iniPath = iniPath;
    const ini::IniFile file = ini::parse(text);
    ini::FirstFault fault(file);
    for (const ini::Entry& e : file.entries) {
        const std::string place = "「" + e.key + "=" + e.value + "」";
        if (!text::equalsIgnoringAsciiCase(e.section, "Gaiji")) {
            fault.note(e.line, place + "は [Gaiji] の中に書いてください。");
            continue;
        }
        const std::optional<char32_t> code = parseCode(e.key);
        const std::optional<char32_t> character = parseCharacter(ini::unquoted(e.value));
        if (!code || !isUserDefined(*code)) {
            fault.note(e.line, place + "の外字コード「" + e.key + "」は使えません（E000〜E757 を 16 進で書きます）。");
        } else if (!character || *character < 0x20 || isPrivateUse(*character)) {
            fault.note(e.line, place + "の「" + e.value + "」は 1 文字の漢字などにしてください。");
        } else if (t.m_byCode.contains(*code)) {
            fault.note(e.line, "外字コード " + codeText(*code) + " が 2 度書かれています。");
        } else if (t.m_byCharacter.contains(*character)) {
            fault.note(e.line, "文字「" + text::encode(*character) + "」が 2 度書かれています（外字コード " +
                                   codeText(t.m_byCharacter.at(*character)) + " と " + codeText(*code) + "）。");
        } else {
            t.m_byCode.emplace(*code, *character);
            t.m_byCharacter.emplace(*character, *code);
        }
    }
    if (fault.any()) throw RuntimeError(RuntimeErrorKind::Conversion, fault.text(iniPath));
    return t;
}

Table Table::load(const std::string& settingsFolder)
{
    const std::string path = ini::findFile(settingsFolder, kIniName);
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        Table t;
        t.m_iniPath = path;
        return t;
    }
    std::string content;
    if (!ini::readFile(path, content))
        throw RuntimeError(RuntimeErrorKind::Conversion, "設定ファイル「" + path + "」を読めません。");
    return parse(content, path);
}

std::optional<char32_t> Table::codeFor(char32_t character) const
{
    const auto it = m_byCharacter.find(character);
    if (it == m_byCharacter.end()) return std::nullopt;
    return it->second;
}

std::optional<char32_t> Table::characterOf(char32_t code) const
{
    const auto it = m_byCode.find(code);
    if (it == m_byCode.end()) return std::nullopt;
    return it->second;
}

std::optional<char32_t> Table::nextFreeCode() const
{
    for (char32_t code = kFirstCode; code <= kLastCode; ++code)
        if (!m_byCode.contains(code)) return code;
    return std::nullopt;
}

void useSettingsFolder(const std::string& folder)
{
    Current& s = state();
    const std::lock_guard lock(s.mutex);
    s.folder = folder;
    s.folderGiven = true;
    s.table.reset();
}

const Table& current()
{
    Current& s = state();
    const std::lock_guard lock(s.mutex);
    if (!s.table) s.table = std::make_unique<Table>(s.folderGiven ? Table::load(s.folder) : Table());
    return *s.table;
}

std::string adviceFor(std::string_view utf8)
{
    const std::optional<char32_t> one = parseCharacter(std::string(utf8));
    if (!one || *one < 0x20 || isPrivateUse(*one)) return {};
    const char32_t character = *one;
    const Table& table = current();
    const std::optional<char32_t> code = table.nextFreeCode();
    if (!code) return "外字表「" + table.iniPath() + "」に空きがありません（E000〜E757 がすべて使われています）。";
    return "外字として書くには、外字表「" + table.iniPath() + "」の [Gaiji] に「" + codeText(*code) + "=" +
           text::encode(character) + "」の行を加えてください。";
}

} // namespace kov::gaiji
