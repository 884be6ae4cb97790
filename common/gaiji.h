#pragma once
// The office's gaiji table, "GAIJI.INI" in the settings folder (where KOV.INI is found):
// which character each user-defined code of the code page stands for.
//   [Gaiji]
//   E000=𠮷
// A code is the private-use code point (U+E000 to U+E757, written in hex), the code page's
// user-defined area F040 to F9FC. A character that the code page cannot hold but the table
// names is written as its code; the print engine draws the code as the character. A
// missing file is an empty table. Plain C++.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace kov::gaiji {

inline constexpr const char* kIniName = "GAIJI.INI";
inline constexpr char32_t kFirstCode = 0xE000;
inline constexpr char32_t kLastCode = 0xE757;

// Whether cp is one of the code page's user-defined codes.
constexpr bool isUserDefined(char32_t cp) { return cp >= kFirstCode && cp <= kLastCode; }
// The code page's two bytes of a user-defined code, as one number: U+E000 is F040, U+E757
// F9FC (188 codes a lead byte, trail bytes 40-7E and 80-FC).
constexpr std::uint16_t userDefinedBytes(char32_t cp)
{
    const auto index = static_cast<unsigned>(cp - kFirstCode);
    const unsigned trail = index % 188;
    return static_cast<std::uint16_t>((0xF0 + index / 188) << 8 | (trail < 63 ? 0x40 + trail : 0x80 + trail - 63));
}

class Table {
public:
    Table() = default;
    // The table from the text of the file at iniPath. A line that is wrong (a code outside
    // the user-defined area, a second entry for one code or one character, a value that is
    // not exactly one character, a line outside [Gaiji]) raises a RuntimeError (kind Conversion) that names
    // the file and the line.
    static Table parse(std::string_view text, const std::string& iniPath);
    // GAIJI.INI of the folder (its name matched without regard to case); empty when the
    // folder has none. A file that cannot be read raises, as a wrong line does.
    static Table load(const std::string& settingsFolder);

    // The user-defined code that stands for the character, if the table names one.
    std::optional<char32_t> codeFor(char32_t character) const;
    // The character that the user-defined code stands for, if the table names one.
    std::optional<char32_t> characterOf(char32_t code) const;
    // The first user-defined code that the table leaves free.
    std::optional<char32_t> nextFreeCode() const;
    // The file the table was read from (GAIJI.INI in the folder when there was none).
    const std::string& iniPath() const { return m_iniPath; }
    std::size_t size() const { return m_byCode.size(); }

private:
    std::unordered_map<char32_t, char32_t> m_byCode;
    std::unordered_map<char32_t, char32_t> m_byCharacter;
    std::string m_iniPath = kIniName;
};

// The settings folder of the running program: its GAIJI.INI is read the first time a
// character needs it (a run whose texts all fit the code page never reads it).
void useSettingsFolder(const std::string& folder);
// The table of that folder (an empty one when no folder was given). Raises as Table::load.
const Table& current();

// What to do about a character that neither the code page nor the table holds, as the
// stop message tells it: the line to add to GAIJI.INI with the next free code. Empty for
// what the table cannot hold (not one valid character, a control or private-use character).
std::string adviceFor(std::string_view character);

} // namespace kov::gaiji
