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
    case 1: return numbered("SYOKU", 10);
    case 2: return numbered("ZAIMU", 9);
    case 3: return numbered("HATSU", 8);
    case 5: return {"KIGOU"};
    case 6: return {"DAIHYO1", "DAIHYO2"};
    default: return {};
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
        m_rt.msgBox(text, MsgIcon::Stop, MsgButtons::Ok, p_strMsgTitle);  // also written to standard error
        return;
    }
    std::fprintf(stderr, "[message stop, not shown again] title=\"%s\" text=\"%s\"\n", p_strMsgTitle.c_str(),
                 text.c_str());
    std::fflush(stderr);
}

void BasCmnName::prsNameRead(std::int16_t selector)
{
    using namespace kov::dataaccess;

    if (selector < 1 || selector > 7) {
        clear();
        return;
    }

    if (!m_db) m_db = CreateObjectAs<clsDbAccess>(kProgIdDbAccess);
    if (!m_tb) m_tb = CreateObjectAs<clsTbAccess>(kProgIdTbAccess);
    clsDbAccess* const db = m_db.get();
    clsTbAccess* const tb = m_tb.get();
    // A reading that a run-time error broke off left them open.
    tb->DAO_TableClose();
    db->DAO_DBClose();

    db->setDBIniNameString("KOVENV.INI");
    if (const std::int16_t st = db->DAO_DBOpen(); st != 0) {
        clear();
        const std::string detail = failureDetail(st);
        reportFailure("KOVENV データベースのオープンに失敗しました。" + (detail.empty() ? "" : "\r\n" + detail));
        return;
    }

    // The group as it was read last, while the database is unchanged since.
    Loaded& kept = m_loaded[static_cast<std::size_t>(selector)];
    const std::string stamp = db->DBChangeStamp();
    if (!stamp.empty() && stamp == kept.stamp) {
        p_strName = kept.names;
        p_strNenKb = kept.nenKb;
        p_strNenKj = kept.nenKj;
        p_curNenSt = kept.nenSt;
        if (kept.insurance) {
            p_curKenko = kept.kenko;
            p_curKosei = kept.kosei;
        }
        db->DAO_DBClose();
        return;
    }
    kept.stamp.clear();
    clear();  // a kept group above sets every slot that clear() blanks

    tb->setTBDatabase(db->DBDatabase());
    tb->setTBNameString("名設定");
    const std::int16_t rows = tb->DAO_TableOpen("", "");
    if (rows < 0) {
        reportFailure("名称設定テーブルのオープンに失敗しました。");
    } else {
        bool insurance = false;
        bool read = rows == 0;
        if (rows > 0 && tb->DAO_RecRead(1) == 0) {
            read = true;
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
                insurance = true;
            } else {
                const std::vector<std::string> cols = nameColumns(selector);
                for (std::size_t i = 0; i < cols.size(); ++i)
                    p_strName[i + 1] = text::fixedLength(textOf(cols[i]), kNameWidth);
            }
        }
        tb->DAO_TableClose();  // status ignored
        if (read) kept = Loaded{stamp, p_strName, p_strNenKb, p_strNenKj, p_curNenSt, insurance, p_curKenko, p_curKosei};
    }
    db->DAO_DBClose();  // status ignored
}

} // namespace kov
