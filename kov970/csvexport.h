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
// The file is written under a temporary name in the same folder, flushed to the medium
// (file and folder) and only then renamed over the final name: a failure leaves the
// previous file of that name as it was and no partial file behind.
#include "common/dataaccess/dataaccess.h"
#include "common/programcontext.h"

#include <optional>
#include <string>
#include <vector>

namespace kov::kov970 {

enum class Master { Kanri = 0, Syoku = 1, Syozk = 2 };

struct CsvColumn {
    std::string name;
    bool number;  // N (true) or T (false)
};

struct MasterFile {
    std::string table;     // "SKSYOKU"
    std::string fileName;  // "SKSYOKU.CSV"
    std::string title;     // "職員マスタ"
    std::vector<CsvColumn> columns;
};

const MasterFile& masterFile(Master master);

// N field text of value appended to out; false (out unchanged) when the value is not a
// number (a text with letters, an infinite real).
bool appendNumberText(const dataaccess::DbValue& value, std::string& out);
// T field text of value appended to out, quoted when it must be.
void appendPlainText(const dataaccess::DbValue& value, std::string& out);

// Writes the master into folder strDir (ending in "/"), replacing a file of the same
// name. Nothing on success; otherwise the message for the clerk (what failed, the file,
// the cause), the previous file left untouched. A failing status of the table ends the
// program through the status check. *records, when given, becomes the number of records
// written.
std::optional<std::string> exportMaster(ProgramContext& ctx, Master master, const std::string& strDir,
                                        long* records = nullptr);

} // namespace kov::kov970
