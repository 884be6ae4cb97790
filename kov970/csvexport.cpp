#include "kov970/csvexport.h"

#include "common/cp932.h"
#include "common/dataaccess/status.h"
#include "common/fileerror.h"
#include "common/gaiji.h"
#include "common/runtimeerror.h"
#include "common/safefile.h"
#include "common/text.h"
#include "common/workfolder.h"
#include "kov970/drives.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kov::kov970 {

namespace {

std::vector<CsvColumn> columns(std::initializer_list<const char*> kindAndName)
{
    // Each entry is the kind letter, a blank and the column name: "N NENDO".
    std::vector<CsvColumn> out;
    for (const char* s : kindAndName) out.push_back({s + 2, s[0] == 'N'});
    return out;
}

std::vector<CsvColumn> syokuColumns()
{
    std::vector<CsvColumn> c = columns(
        {"N SYOKCD", "N SYOSYU", "T SYOZOK", "N ZAIMU",  "T SIMKNJ", "T SIMKNA", "N SEIBET", "N SEIYMD", "T KGOKYU",
         "N KGOGHO", "T KKIGOU", "N KBANGO", "T NBANGO", "N HYOJUN", "N SSYUCD", "N SSOSCD", "N SKFYMD", "N SKEYMD",
         "N SSOYMD", "T KOYBAN", "N KSYUCD", "N KSOSCD", "N KNFYMD", "N KNEYMD", "N KSOYMD", "N KAIKBN"});
    for (int g = 1; g <= 8; ++g) {
        const std::string nn = (g < 10 ? "0" : "") + std::to_string(g);
        c.push_back({"HATJIU_" + nn, true});
        c.push_back({"HAFYMD_" + nn, true});
        c.push_back({"HAEYMD_" + nn, true});
        c.push_back({"HATSYO_" + nn, false});
    }
    c.push_back({"CHOKBN", false});
    return c;
}

const std::array<MasterFile, 3>& masterFiles()
{
    static const std::array<MasterFile, 3> files = {
        MasterFile{"SKKANRI", "SKKANRI.CSV", "管理マスタ",
                   columns({"T Key",       "N NENDO",    "N SYORID",    "N KENKO",     "N KETOKO",    "N KETOJI",
                            "N KOSEI",     "N KOTOKO",   "N KOTOJI",    "N KAIGO",     "N JIDOU",     "N KMKM6",
                            "N KMKM12",    "N KMKM3",    "N KMKB6",     "N KMKB12",    "N KMKM12N",   "N ZFKBN1",
                            "N ZFKBN2",    "T ZFHAITO",  "N ZFKYU",     "N ZFSYO",     "N ZFSAG",     "N ZFSYA",
                            "N ZFKOYO",    "T ZFSAI",    "N TOKTAN_01", "N TOKTAN_02", "N TOKTAN_03", "N TOKTAN_04",
                            "N TOKTAN_05", "N TOKTAN_06"})},
        MasterFile{"SKSYOKU", "SKSYOKU.CSV", "職員マスタ", syokuColumns()},
        MasterFile{"SKSYOZK", "SKSYOZK.CSV", "所属マスタ", columns({"T SYOZOK", "T SZKKNJ"})},
    };
    return files;
}

// The number text of a real: up to 15 significant digits, no zero before the point,
// the exponent form below 1E-04 and from 1E+15 on ("1E-05", "1.5E+15").
void appendReal(double d, std::string& out)
{
    if (d == 0) {
        out += '0';
        return;
    }
    char buf[40];
    // d.dddddddddddddde±x: 15 significant digits, rounded.
    const auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::scientific, 14);
    const std::string_view s(buf, static_cast<std::size_t>(r.ptr - buf));
    std::size_t pos = 0;
    if (s[0] == '-') {
        out += '-';
        pos = 1;
    }
    const std::size_t ePos = s.find('e');
    std::string digits;
    for (std::size_t i = pos; i < ePos; ++i)
        if (s[i] != '.') digits += s[i];
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    int exp = 0;
    std::from_chars(s.data() + ePos + 1 + (s[ePos + 1] == '+'), s.data() + s.size(), exp);

    if (exp < -4 || exp >= 15) {
        out += digits[0];
        if (digits.size() > 1) {
            out += '.';
            out.append(digits, 1);
        }
        char e[16];
        std::snprintf(e, sizeof e, "E%c%02d", exp < 0 ? '-' : '+', exp < 0 ? -exp : exp);
        out += e;
    } else if (exp < 0) {
        out += '.';
        out.append(static_cast<std::size_t>(-exp - 1), '0');
        out += digits;
    } else {
        const std::size_t intLen = static_cast<std::size_t>(exp) + 1;
        if (digits.size() <= intLen) {
            out += digits;
            out.append(intLen - digits.size(), '0');
        } else {
            out.append(digits, 0, intLen);
            out += '.';
            out.append(digits, intLen);
        }
    }
}

// The index after the digits from i on; `count` grows by their number.
std::size_t skipDigits(std::string_view s, std::size_t i, std::size_t& count)
{
    for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i) ++count;
    return i;
}

// A text read as a number: blanks around it, a sign, digits with a point, an exponent.
bool parseNumber(std::string_view s, double& d)
{
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    std::size_t mantissa = 0;
    std::size_t i = skipDigits(s, s.starts_with('-') ? 1 : 0, mantissa);
    if (i < s.size() && s[i] == '.') i = skipDigits(s, i + 1, mantissa);
    if (mantissa == 0) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        std::size_t exponent = 0;
        i = skipDigits(s, i, exponent);
        if (exponent == 0) return false;
    }
    if (i != s.size()) return false;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), d);
    return r.ec == std::errc() && std::isfinite(d);
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The character at `at` that the code page cannot hold, and what to add to the gaiji table.
std::string unwritableText(std::string_view line, std::size_t at)
{
    std::size_t len = 0;
    text::decodeAt(line, at, &len);
    const std::string character(line.substr(at, len));
    const std::string advice = gaiji::adviceFor(character);
    return "シフトJISで書けない文字「" + character + "」があります。" + (advice.empty() ? "" : "\r\n" + advice);
}

std::string describeRecord(const MasterFile& mf, long record, const dataaccess::DbValue& key)
{
    return std::to_string(record) + " 件目（" + mf.columns.front().name + " = " + dataaccess::toText(key) + "）";
}

} // namespace

const MasterFile& masterFile(Master master) { return masterFiles()[static_cast<std::size_t>(master)]; }

bool appendNumberText(const dataaccess::DbValue& value, std::string& out)
{
    if (const auto* i = std::get_if<std::int64_t>(&value)) {
        // An integer keeps all its digits, however many (a real keeps 15 significant ones).
        char buf[24];
        const auto r = std::to_chars(buf, buf + sizeof buf, *i);
        out.append(buf, r.ptr);
        return true;
    }
    double d = 0;
    if (const auto* r = std::get_if<double>(&value)) {
        if (!std::isfinite(*r)) return false;
        d = *r;
    } else if (const auto* s = std::get_if<std::string>(&value)) {
        if (!parseNumber(*s, d)) return false;
    } else {
        return true; // null: an empty field
    }
    appendReal(d, out);
    return true;
}

void appendPlainText(const dataaccess::DbValue& value, std::string& out)
{
    const std::string* s = std::get_if<std::string>(&value);
    if (!s) {
        out += dataaccess::toText(value);
        return;
    }
    if (s->find_first_of(",\"\r\n") == std::string::npos) {
        out += *s;
        return;
    }
    out += '"';
    for (char c : *s) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

CsvContent::CsvContent(std::string program) : m_program(std::move(program)) {}

CsvContent::~CsvContent()
{
    if (m_spill >= 0) ::close(m_spill);
}

void CsvContent::append(std::string_view bytes)
{
    if (m_spill < 0 && m_memory.size() + bytes.size() <= kFloppyBytes) {
        m_memory += bytes;
        m_size += bytes.size();
        return;
    }
    if (m_spill < 0) {
        // Larger than a floppy disk: an unnamed file of the work folder holds it.
        std::string templ = workFolder(m_program) + "/csv.XXXXXX";
        m_spill = ::mkostemp(templ.data(), O_CLOEXEC);
        if (m_spill < 0) throwFileError(templ + "\r\n" + fileErrorText(errno));
        ::unlink(templ.c_str());
        if (!writeAll(m_spill, m_memory)) throwFileError(workFolder(m_program) + "\r\n" + fileErrorText(errno));
        m_memory.clear();
        m_memory.shrink_to_fit();
    }
    if (!writeAll(m_spill, bytes)) throwFileError(workFolder(m_program) + "\r\n" + fileErrorText(errno));
    m_size += bytes.size();
}

void CsvContent::copyTo(SafeFile& out) const
{
    if (m_spill < 0) {
        out.write(m_memory);
        return;
    }
    std::string chunk(1u << 18, '\0');
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(m_spill, chunk.data(), chunk.size(), at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throwFileError(workFolder(m_program) + "\r\n" + fileErrorText(errno));
        if (n == 0) return;
        out.write(std::string_view(chunk.data(), static_cast<std::size_t>(n)));
        at += n;
    }
}

std::string failedText(Master master, const std::string& strDir)
{
    const MasterFile& mf = masterFile(master);
    return mf.title + "を退避できませんでした。\r\nファイル: " + strDir + mf.fileName + "\r\n";
}

std::string notDoneText(const std::string& problem) { return problem + "\r\n\r\nマスタの退避は行われていません。"; }

// One record of a master as a CSV line in CP932, with CR LF.
class CsvLine {
public:
    explicit CsvLine(const MasterFile& mf) : m_mf(mf), m_fieldStarts(mf.columns.size()) {}

    // The current record of `table` (the record-th); what is wrong with it, if anything.
    std::optional<std::string> make(dataaccess::clsTbAccess& table, long record)
    {
        m_line.clear();
        for (std::size_t c = 0; c < m_mf.columns.size(); ++c) {
            if (c) m_line += ',';
            m_fieldStarts[c] = m_line.size();
            const dataaccess::DbValue v = table.TBRec(m_mf.columns[c].name);
            if (!m_mf.columns[c].number) appendPlainText(v, m_line);
            else if (!appendNumberText(v, m_line))
                return where(table, record, c) + " の値「" + dataaccess::toText(v) + "」は数値ではありません。";
        }
        m_line += "\r\n";
        std::size_t at = 0;
        if (cp932::tryFromUtf8(m_line, m_encoded, &at)) return std::nullopt;
        std::size_t c = 0;
        while (c + 1 < m_fieldStarts.size() && m_fieldStarts[c + 1] <= at) ++c;
        return where(table, record, c) + " に、" + unwritableText(m_line, at);
    }
    const std::string& encoded() const { return m_encoded; }

private:
    std::string where(dataaccess::clsTbAccess& table, long record, std::size_t column) const
    {
        return "レコード " + describeRecord(m_mf, record, table.TBRec(m_mf.columns.front().name)) + "の列 " +
               m_mf.columns[column].name;
    }

    const MasterFile& m_mf;
    std::vector<std::size_t> m_fieldStarts;
    std::string m_line, m_encoded;
};

std::optional<std::string> makeMasterCsv(ProgramContext& ctx, Master master, const std::string& strDir, CsvContent& csv,
                                         long* records)
{
    const MasterFile& mf = masterFile(master);
    const std::string failed = failedText(master, strDir);
    // The count and every row from one state of the data.
    const ProgramContext::Reads reads(ctx);
    auto table = ctx.newTable(mf.table);
    ctx.openChecked(*table, "");

    std::optional<std::string> problem;
    CsvLine line(mf);
    std::string buffer;
    long record = 0;
    std::int16_t status = table->DAO_RecRead(1);
    try {
        while (status == 0) {
            ++record;
            if (auto why = line.make(*table, record)) {
                problem = failed + *why;
                break;
            }
            buffer += line.encoded();
            if (buffer.size() >= (1u << 16)) {
                csv.append(buffer);
                buffer.clear();
            }
            status = table->DAO_RecRead(2);
        }
        if (!problem) csv.append(buffer);
    } catch (const RuntimeError& e) {
        problem = failed + e.userMessage();
    }
    // The end of the rows ends the file; any other failure of a read is not an end.
    if (!problem && status != dataaccess::kStatusEof) ctx.check(status);
    ctx.closeChecked(*table);
    if (problem) return notDoneText(*problem);
    if (records) *records = record;
    return std::nullopt;
}

std::optional<std::string> writeMasterCsv(Master master, const std::string& strDir, int dir, const CsvContent& csv)
{
    try {
        SafeFile out(dir, strDir, masterFile(master).fileName, "バックアップファイル");
        csv.copyTo(out);
        out.commit();
    } catch (const SafeFileError& e) {
        return notDoneText(failedText(master, strDir) + fileErrorText(e.error()));
    } catch (const RuntimeError& e) {
        // The rows set aside in the work folder could not be read back.
        return notDoneText(failedText(master, strDir) + e.userMessage());
    }
    return std::nullopt;
}

std::optional<std::string> exportMaster(ProgramContext& ctx, Master master, const std::string& strDir, long* records)
{
    CsvContent csv(ctx.programName());
    if (auto failure = makeMasterCsv(ctx, master, strDir, csv, records)) return failure;
    const int dir = ::open(strDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return notDoneText(failedText(master, strDir) + fileErrorText(errno));
    auto failure = writeMasterCsv(master, strDir, dir, csv);
    ::close(dir);
    return failure;
}

} // namespace kov::kov970
