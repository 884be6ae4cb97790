#pragma once
// The CSV backup files of the three masters: their column lists, the two kinds of field
// text, and the writer that puts one master into the root of a medium.
//
// A file is CP932, one line per record in the table's own order, CR LF after every line,
// no header. N fields: the number as text (".5", "-12", "1E-05"), a text of digits read
// as a number; T fields: the value as stored. NULL is an empty field. A field whose text
// holds a comma, a double quote, CR or LF is quoted (inner quotes doubled); no other
// field is.
//
// The file is made whole first, then written under a temporary name in the folder, flushed
// to the medium (file and folder) and only then renamed over the final name: a failure
// leaves the previous file of that name as it was and no partial file behind.
#include "common/dataaccess/dataaccess.h"
#include "common/programcontext.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kov {
class SafeFile;
}

namespace kov::kov970 {

enum class Master { Kanri = 0, Syoku = 1, Syozk = 2 };

struct CsvColumn {
    std::string name;
    bool number; // N (true) or T (false)
};

struct MasterFile {
    std::string table; // "SKSYOKU"
    std::string fileName; // "SKSYOKU.CSV"
    std::string title; // "職員マスタ"
    std::vector<CsvColumn> columns;
};

const MasterFile& masterFile(Master master);

// N field text of value appended to out; false (out unchanged) when the value is not a
// number (a text with letters, an infinite real).
bool appendNumberText(const dataaccess::DbValue& value, std::string& out);
// T field text of value appended to out, quoted when it must be.
void appendPlainText(const dataaccess::DbValue& value, std::string& out);

// The bytes of a CSV file, made whole before a medium is touched: in memory while they
// fit on a floppy disk, beyond that in an unnamed file of the program's work folder.
class CsvContent {
public:
    explicit CsvContent(std::string program);
    ~CsvContent();
    CsvContent(const CsvContent&) = delete;
    CsvContent& operator=(const CsvContent&) = delete;

    // Raises RuntimeError (FileError) when the work folder cannot take them.
    void append(std::string_view bytes);
    std::uint64_t size() const { return m_size; }
    // Writes the whole content into `out` (its failures raise, as do those of reading back
    // the work folder's file).
    void copyTo(SafeFile& out) const;

private:
    std::string m_program;
    std::string m_memory;
    int m_spill = -1;
    std::uint64_t m_size = 0;
};

// "職員マスタを退避できませんでした。" CR LF "ファイル: " path CR LF: the start of every
// failure message of the master's backup into strDir.
std::string failedText(Master master, const std::string& strDir);
// A failure message ended by the line that says no backup was made.
std::string notDoneText(const std::string& problem);

// Makes the master's CSV file for folder strDir (ending in "/") into csv. Nothing on
// success; otherwise the message for the clerk (what failed, the file, the record and
// column, the value). A failing status of the table ends the program through the status
// check. *records, when given, becomes the number of records made.
std::optional<std::string> makeMasterCsv(ProgramContext& ctx, Master master, const std::string& strDir, CsvContent& csv,
                                         long* records = nullptr);
// Puts csv into the open folder dir (the folder strDir), replacing a file of the same
// name: nothing on success, else the message, the previous file left untouched.
std::optional<std::string> writeMasterCsv(Master master, const std::string& strDir, int dir, const CsvContent& csv);
// Both, into the folder strDir.
std::optional<std::string> exportMaster(ProgramContext& ctx, Master master, const std::string& strDir,
                                        long* records = nullptr);

} // namespace kov::kov970
