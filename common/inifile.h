#pragma once
// The one reader of the suite's INI files (KOV.INI, KOVENV.INI, OVLPRINT.INI): UTF-8
// with or without a byte-order mark, LF or CR LF line ends, "[Section]" headers,
// "Name=Value" lines and comment lines starting with ';' or '#'. Section and key names
// match without regard to ASCII case; names and values are trimmed of blanks and tabs.
// Plain C++.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kov::ini {

struct Entry {
    std::string section; // as written, trimmed
    std::string key; // as written, trimmed
    std::string value; // as written, trimmed (quotes kept; see unquoted)
    std::size_t line = 0; // 1-based
};

// A line that is neither empty, a comment, a section header nor a "Name=Value" line.
struct Problem {
    std::size_t line = 0;
    std::string message; // Japanese
};

struct IniFile {
    std::vector<Entry> entries;
    std::vector<Problem> problems;

    // The value of the last `key` in `section` (both without regard to case).
    std::optional<std::string> value(std::string_view section, std::string_view key) const;
};

IniFile parse(std::string_view text);

// Where a setting stands, as a message names it: 設定ファイル「/etc/kov/KOV.INI」の 3 行目
// (without the line when `line` is 0).
std::string placeText(const std::string& iniPath, std::size_t line);

// The first fault of a settings file in line order (a malformed line, an unknown key, a
// value that cannot be used), told as
//   設定ファイル「…/OVLPRINT.INI」の 2 行目: Output の値「pfd」は使えません（…）。
class FirstFault {
public:
    // Notes the problems of the reader itself.
    explicit FirstFault(const IniFile& file);
    void note(std::size_t line, std::string what);
    bool any() const { return m_line != 0; }
    std::string text(const std::string& iniPath) const;

private:
    std::size_t m_line = 0;
    std::string m_what;
};

// A value between double quotes loses them; any other value is returned as it is.
std::string unquoted(std::string_view value);

// The file `name` in `folder`: the exact name when such a file exists, else of the
// entries whose names match it without regard to ASCII case the one first in byte
// order, else the exact name (which then does not exist).
std::string findFile(const std::string& folder, const std::string& name);

// Reads a whole file; false when it cannot be read.
bool readFile(const std::string& path, std::string& content);

} // namespace kov::ini
