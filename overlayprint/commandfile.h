#pragma once
// Reader of the print command file "OVL.TMP" (CP932, CR LF, one command a line).
// Plain C++: it turns the bytes into pages of text and rule commands, checked in
// full before anything is drawn, or into one error that names the line.
//
// Reading of the fields (no separators between them):
//   C4  a coordinate x10: exactly four digits, or "-" and exactly four digits.
//       A value of 1000.0 or more would need five digits; it cannot be represented
//       and the shifted fields that follow are reported as an error.
//   N1, N2, N3  exactly one, two or three digits.
// Geometry: one x unit is one half-width character cell (1/cpi inch), one y unit is
// one line (1/lpi inch), both from the "CR " command; the origin is the top-left
// corner of the paper. A text at y sits in the line band from y-1 to y.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kov::overlayprint {

// Longest line accepted (bytes, without CR LF) and largest file read.
inline constexpr std::size_t kMaxLineBytes = 64 * 1024;
inline constexpr std::size_t kMaxFileBytes = 256u * 1024u * 1024u;

// The one font the engine draws with (Gothic) and the one text pattern (normal).
inline constexpr int kFontGothic = 3;
inline constexpr int kPatternNormal = 1;

struct Paper {
    int code; // value 1 of "ST "
    const char* name; // "B4" ...
    double shortMm; // width of the sheet in portrait
    double longMm; // height of the sheet in portrait
};
// Paper codes that "ST " may name; nullptr for an unknown one.
const Paper* paperByCode(int code);

struct TextCommand {
    std::size_t line = 0; // line number in the file (1-based)
    int x10 = 0; // x in tenths of a cell
    int y10 = 0; // y in tenths of a line
    int font = kFontGothic;
    int pattern = kPatternNormal;
    int sizeX = 100; // percent of a cell per half-width character
    int sizeY = 100; // percent of the normal character height
    std::string text; // UTF-8
    int cells = 0; // half-width cells of the text at size 100
};

enum class RulePattern { Solid = 0, Dashed = 1, Dotted = 2 };

struct RuleCommand {
    std::size_t line = 0;
    int x10 = 0;
    int y10 = 0;
    int len10 = 0; // length in tenths of a cell
    int thicknessPt = 0; // points (1/72 inch); 0 is the thinnest line the device draws
    RulePattern pattern = RulePattern::Solid;
};

using DrawCommand = std::variant<TextCommand, RuleCommand>;

struct Page {
    std::size_t firstLine = 0;
    std::vector<DrawCommand> commands;
};

// Where the lines of one page lie in the file (from the first command after the "CR " or
// "PE " that opened it to the "PE " or "ED " that closed it).
struct PageSpan {
    std::size_t firstLine = 0;
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
};

// One character of the texts and the line where it is first used.
struct UsedCharacter {
    char32_t cp = 0;
    std::size_t line = 0;
};

class CommandSource;

struct CommandFile {
    const Paper* paper = nullptr;
    bool landscape = true;
    int charsPerInch = 15;
    int linesPerInch = 6;
    int defaultFont = kFontGothic;
    // The pages with their commands, when the file was read from memory (parseCommandFile).
    std::vector<Page> pages;
    // When the file was read from disk (readCommandFile): the file, still open, and where
    // its pages lie; the commands are read again page by page when they are drawn, so a
    // long run costs memory for one page, not for the whole file.
    std::shared_ptr<CommandSource> source;
    std::vector<PageSpan> spans;
    // Every character of the texts once, in the order of first use.
    std::vector<UsedCharacter> characters;

    std::size_t pageCount() const { return source ? spans.size() : pages.size(); }
    // Calls visit for every command of page i in order. False, with a message, when the
    // file no longer reads as it did (changed while it was printed).
    bool forEachCommand(std::size_t i, const std::function<void(const DrawCommand&)>& visit, std::string* error) const;
    // Page i with its commands (a copy); an empty page when it cannot be read again.
    Page page(std::size_t i) const;

    double pageWidthMm() const;
    double pageHeightMm() const;
    // Page size in x units (cells) and y units (lines).
    double pageWidthCells() const;
    double pageHeightLines() const;
    // Height of the character box at size 100, in lines, and the gap under it.
    double emLines() const;
    double textGapLines() const;
};

struct ParseError {
    std::size_t line = 0; // 0 when the fault is not on one line (the file as a whole)
    std::string message; // Japanese
    // "12 行目: ..." or the message alone.
    std::string text() const;
};

struct ParseResult {
    std::optional<CommandFile> file;
    std::optional<ParseError> error;
    bool ok() const { return file.has_value(); }
};

// Half-width cells that one character takes: 1 for the single-byte characters of the
// code page (ASCII, half-width katakana), 2 for every other.
int cellsOf(char32_t cp);

// Reads the whole file from memory; the result holds its pages with their commands.
ParseResult parseCommandFile(std::string_view bytes);
// Reads and checks the file at `path` in one pass, keeping it open and holding only where
// its pages lie (any failure to open or read it is an error with line 0).
ParseResult readCommandFile(const std::string& path);

} // namespace kov::overlayprint
