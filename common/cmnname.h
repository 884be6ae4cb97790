#pragma once
// The name-setting table: display names of codes and the era table, loaded one group
// at a time from the single row of the table "名設定" in the database that
// "KOVENV.INI" names; and the era conversion that works on the loaded era table.
#include "currency.h"
#include "runtimeservices.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kov {

// One group of the name-setting row as prsNameRead leaves the slots: every slot of the
// other groups blank (start dates 0), those of the selector's group loaded.
struct NameGroup {
    std::array<std::string, 11> names; // index 1 to 10, 30-character fixed-length texts
    std::array<std::string, 4> eraLetters; // index 1 to 3
    std::array<std::string, 4> eraNames; // index 1 to 3, 6 characters, blank-padded
    std::array<Currency, 4> eraStarts; // index 1 to 3, YYYYMMDD (0 = not defined)
    Currency kenko; // KENKO - 1, as p_curKenko
    Currency kosei; // KOSEI - 1, as p_curKosei
};

// A date in the era calendar, as prfEraConv finds it.
struct EraDate {
    std::string name; // era name, with its trailing blanks
    std::string letter; // era letter
    Currency ymd; // era-relative date YYMMDD
};

namespace dataaccess {
class clsDbAccess;
class clsTbAccess;
} // namespace dataaccess

class BasCmnName {
public:
    explicit BasCmnName(RuntimeServices& rt);
    ~BasCmnName();
    BasCmnName(const BasCmnName&) = delete;
    BasCmnName& operator=(const BasCmnName&) = delete;

    // Index 1 to 10 (index 0 unused): 30-character fixed-length texts.
    std::array<std::string, 11> p_strName;
    // Index 1 to 3 (index 0 unused): era letters (1 character), era names
    // (6 characters, blank-padded), era start dates YYYYMMDD (0 = not defined).
    std::array<std::string, 4> p_strNenKb;
    std::array<std::string, 4> p_strNenKj;
    std::array<Currency, 4> p_curNenSt;
    Currency p_curKenko;
    Currency p_curKosei;

    // Result of the last prfEraConv.
    std::string p_strEraKj; // era name, with its trailing blanks
    std::string p_strEraKb; // era letter
    Currency p_curEraYmd; // era-relative date YYMMDD

    // Title of the two failure messages; no program sets it.
    std::string p_strMsgTitle;

    // Clears every slot (not p_curKenko, p_curKosei), then loads the group of the
    // selector 1 to 7; any other selector only clears. A failure to open the database or
    // the table leaves the slots blank; its message is shown once in each message window
    // (a print run reads the names for every staff line and page) and every failure is
    // written to standard error. Outside a run each call opens the database and the
    // table, reads the row and closes them; within a run (beginRun) the first call opens
    // and reads, and every later one fills the slots from that same row (or meets the
    // same failure).
    // Returns the slots as the call left them.
    NameGroup prsNameRead(std::int16_t selector);

    // A print run: from beginRun to endRun the row is read once. endRun closes what the
    // run opened; neither nests.
    void beginRun();
    void endRun();

    // Opens a new message window: the next failure of each kind is shown again. The
    // first window opens with the object (the start, where the processing month's era is
    // read); every print run opens its own (runPrintJob).
    void beginMessageWindow() { m_shownInWindow.clear(); }

    // Reloads the era table (selector 4), picks the era of the date YYYYMMDD and sets
    // p_strEraKj, p_strEraKb and p_curEraYmd; returns p_curEraYmd.
    Currency prfEraConv(Currency date);
    // prfEraConv, with its result as a value.
    EraDate eraDate(Currency date);

private:
    void clear();
    void readRow(std::int16_t selector);
    void reportFailure(const std::string& text);
    RuntimeServices& m_rt;
    std::vector<std::string> m_shownInWindow;

    // How the row was found, for the rest of a run.
    enum class Reading { None, DbFailed, TableFailed, NoRow, Row };
    Reading openRow();
    void copyGroup(std::int16_t selector);
    void closeObjects();
    bool m_inRun = false;
    Reading m_runReading = Reading::None; // within a run: None until the first call
    std::string m_openDetail; // the component's detail of the last failed open
    // The component's objects, made at the first reading and kept (closed) between
    // readings; within a run they stay open on the row.
    std::unique_ptr<dataaccess::clsDbAccess> m_db;
    std::unique_ptr<dataaccess::clsTbAccess> m_tb;
};

} // namespace kov
