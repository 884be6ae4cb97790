#include "cmnname.h"

#include "dataaccess/dataaccess.h"
#include "text.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace kov {

namespace {
constexpr std::size_t kNameWidth = 30;
constexpr std::size_t kEraLetterWidth = 1;
constexpr std::size_t kEraNameWidth = 6;

// Column groups of the selectors 1, 2, 3, 5 and 6: column names of p_strName(1), (2), ...
std::vector<std::string> nameColumns(std::int16_t selector)
{
    auto numbered = [](const char* prefix, int count) {
        std::vector<std::string> cols;
        for (int i = 1; i <= count; ++i) cols.push_back(prefix + std::to_string(i));
        return cols;
    };
    switch (selector) {
    case 1:
        return numbered("SYOKU", 10);
    case 2:
        return numbered("ZAIMU", 9);
    case 3:
        return numbered("HATSU", 8);
    case 5:
        return {"KIGOU"};
    case 6:
        return {"DAIHYO1", "DAIHYO2"};
    default:
        return {};
    }
}
} // namespace

BasCmnName::BasCmnName(RuntimeServices& rt) : m_rt(rt) { clear(); }

BasCmnName::~BasCmnName() = default;

void BasCmnName::clear()
{
    for (std::size_t i = 1; i < p_strName.size(); ++i) p_strName[i] = text::spaces(kNameWidth);
    for (std::size_t i = 1; i < p_strNenKb.size(); ++i) {
        p_strNenKb[i] = text::spaces(kEraLetterWidth);
        p_strNenKj[i] = text::spaces(kEraNameWidth);
        p_curNenSt[i] = Currency();
    }
}

void BasCmnName::reportFailure(const std::string& text)
{
    if (std::find(m_shownInWindow.begin(), m_shownInWindow.end(), text) == m_shownInWindow.end()) {
        m_shownInWindow.push_back(text);
        m_rt.msgBox(text, MsgIcon::Stop, MsgButtons::Ok, p_strMsgTitle); // also written to standard error
        return;
    }
    std::fprintf(stderr, "[message stop, not shown again] title=\"%s\" text=\"%s\"\n", p_strMsgTitle.c_str(),
                 text.c_str());
    std::fflush(stderr);
}

void BasCmnName::beginRun()
{
    closeObjects();
    m_inRun = true;
    m_runReading = Reading::None;
}

void BasCmnName::endRun()
{
    if (!m_inRun) return;
    m_inRun = false;
    m_runReading = Reading::None;
    closeObjects();
}

// Statuses of the closes are ignored.
void BasCmnName::closeObjects()
{
    if (m_tb) m_tb->DAO_TableClose();
    if (m_db) m_db->DAO_DBClose();
}

// Opens the database and the table and makes the first row current.
BasCmnName::Reading BasCmnName::openRow()
{
    using namespace kov::dataaccess;
    if (!m_db) m_db = CreateObjectAs<clsDbAccess>(kProgIdDbAccess);
    if (!m_tb) m_tb = CreateObjectAs<clsTbAccess>(kProgIdTbAccess);
    // A reading that a run-time error broke off left them open.
    closeObjects();

    m_db->setDBIniNameString("KOVENV.INI");
    if (const std::int16_t status = m_db->DAO_DBOpen(); status != 0) {
        m_openDetail = m_db->failureDetail(status);
        return Reading::DbFailed;
    }
    m_tb->setTBDatabase(m_db->DBDatabase());
    m_tb->setTBNameString("名設定");
    const std::int16_t rows = m_tb->DAO_TableOpen("", "");
    if (rows < 0) return Reading::TableFailed;
    return rows > 0 && m_tb->DAO_RecRead(1) == 0 ? Reading::Row : Reading::NoRow;
}

// The selector's columns of the current row into the slots.
void BasCmnName::copyGroup(std::int16_t selector)
{
    using namespace kov::dataaccess;
    clsTbAccess* const tb = m_tb.get();
    auto textOf = [&](const std::string& column) { return text::trim(toText(tb->TBRec(column))); };
    if (selector == 4) {
        for (int i = 1; i <= 3; ++i) {
            const std::string n = std::to_string(i);
            p_strNenKb[i] = text::fixedLength(textOf("NENKB" + n), kEraLetterWidth);
            p_strNenKj[i] = text::fixedLength(textOf("NENKJ" + n), kEraNameWidth);
            p_curNenSt[i] = toCurrency(tb->TBRec("NENST" + n));
        }
    } else if (selector == 7) {
        p_curKenko = toCurrency(tb->TBRec("KENKO")) - Currency::fromInt(1);
        p_curKosei = toCurrency(tb->TBRec("KOSEI")) - Currency::fromInt(1);
    } else {
        const std::vector<std::string> cols = nameColumns(selector);
        for (std::size_t i = 0; i < cols.size(); ++i) p_strName[i + 1] = text::fixedLength(textOf(cols[i]), kNameWidth);
    }
}

NameGroup BasCmnName::prsNameRead(std::int16_t selector)
{
    clear();
    if (selector >= 1 && selector <= 7) readRow(selector);
    return NameGroup{p_strName, p_strNenKb, p_strNenKj, p_curNenSt, p_curKenko, p_curKosei};
}

void BasCmnName::readRow(std::int16_t selector)
{
    const Reading reading = m_inRun && m_runReading != Reading::None ? m_runReading : openRow();
    if (m_inRun) m_runReading = reading;
    switch (reading) {
    case Reading::DbFailed:
        reportFailure("KOVENV データベースのオープンに失敗しました。" +
                      (m_openDetail.empty() ? "" : "\r\n" + m_openDetail));
        return;
    case Reading::TableFailed:
        reportFailure("名称設定テーブルのオープンに失敗しました。");
        break;
    case Reading::Row:
        copyGroup(selector);
        break;
    case Reading::NoRow:
    case Reading::None:
        break;
    }
    // Outside a run nothing stays open; within one the row stays current for the next call.
    if (!m_inRun) closeObjects();
}

} // namespace kov
