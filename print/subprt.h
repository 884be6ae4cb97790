#pragma once
// Writer of the print command file "OVL.TMP": one command per line, CP932, CR LF.
// The first command of a run (ST) creates the file anew; ED writes and closes it.
// Until ED the lines go to "OVL.TMP.part", which ED flushes to the disk and renames to
// "OVL.TMP" (kov::SafeFile): the final name only ever holds a complete run, both files
// are the user's alone (0600), and a link planted under either name is never followed. A file that cannot be created or
// written, a text that CP932 cannot hold and a write with no open file raise RuntimeError.
#include "common/currency.h"
#include "common/safefile.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace kov {

class SubPrt {
public:
    // onPageEnd: called at each page end ("PE ") with the number of page ends of the run so far.
    explicit SubPrt(std::function<void(int pagesDone)> onPageEnd = {}) : m_onPageEnd(std::move(onPageEnd)) {}
    ~SubPrt();
    SubPrt(const SubPrt&) = delete;
    SubPrt& operator=(const SubPrt&) = delete;

    // Folder of the command file, without a trailing separator; set before the first command.
    std::string p_strPrtPath;

    // Full path of the command file: p_strPrtPath + "/OVL.TMP".
    std::string filePath() const;
    // Where the lines of the open run are written until ED: p_strPrtPath + "/OVL.TMP.part".
    std::string partPath() const;
    bool isOpen() const { return m_file != nullptr; }

    // 1 = create the file anew and write; 2, 3 = write; 4 = write and close; other = nothing.
    void prtOut(std::int32_t mode, std::string_view line);
    void prtST(std::int32_t value1, std::int32_t value2);
    void prtCR(Currency value1, Currency value2);
    void prtTE(Currency curSX, Currency curSY, std::int32_t iFon, Currency iPat, std::int16_t iSizeX,
               std::int16_t iSizeY, std::string_view strText);
    void prtHL(Currency curSX, Currency curSY, Currency curLen, Currency iTic, Currency iPat, Currency curRX,
               Currency curRY, Currency curRcX, Currency curRcY);
    void prtPE();
    void prtED();

    // Field formats of the command lines.
    static std::string formatC4(Currency v); // x10, floored, at least 4 digits, "-" before a negative
    static std::string formatN(Currency v, int minDigits); // rounded to whole, zero-filled

private:
    void createFile();
    void writeLine(std::string_view line);
    // A line of ASCII fields and a text after them.
    void writeLine(std::string_view fields, std::string_view text);
    void closeFile();
    char* room(std::size_t size);
    void endLine(char* at, std::string_view text);
    void writeLongLine(std::string_view fields, std::string_view text);
    void writePending();
    void writeBytes(const char* bytes, std::size_t size);
    void discardOpenFile();

    std::function<void(int pagesDone)> m_onPageEnd;
    std::unique_ptr<SafeFile> m_file;
    // The CP932 bytes of the lines not yet written: m_used of kWriteBuffer (256 KiB).
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_used = 0;
    int m_pageEnds = 0; // of the run, since "ST "
};

} // namespace kov
