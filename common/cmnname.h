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
    std::string p_strEraKj;  // era name, with its trailing blanks
    std::string p_strEraKb;  // era letter
    Currency p_curEraYmd;    // era-relative date YYMMDD

    // Title of the two failure messages; no program sets it.
    std::string p_strMsgTitle;

    // Clears every slot (not p_curKenko, p_curKosei), then loads the group of the
    // selector 1 to 7; any other selector only clears. A failure to open the database or
    // the table leaves the slots blank; its message is shown once in each message window
    // (a print run reads the names for every staff line and page) and every failure is
    // written to standard error. A group is read from the table again only when the
    // settings file or the database has changed since it was last read (or the database
    // cannot tell, as a server's cannot): a print run asks for it on every staff line.
    void prsNameRead(std::int16_t selector);

    // Opens a new message window: the next failure of each kind is shown again. The
    // first window opens with the object (the start, where the processing month's era is
    // read); every print run opens its own (runPrintJob).
    void beginMessageWindow() { m_shownInWindow.clear(); }

    // Reloads the era table (selector 4), picks the era of the date YYYYMMDD and sets
    // p_strEraKj, p_strEraKb and p_curEraYmd; returns p_curEraYmd.
    Currency prfEraConv(Currency date);

private:
    void clear();
    void reportFailure(const std::string& text);
    RuntimeServices& m_rt;
    std::vector<std::string> m_shownInWindow;

    // The slots as the last reading of a selector left them, and the database's change
    // stamp then (empty: not kept).
    struct Loaded {
        std::string stamp;
        std::array<std::string, 11> names;
        std::array<std::string, 4> nenKb, nenKj;
        std::array<Currency, 4> nenSt;
        bool insurance = false;  // p_curKenko, p_curKosei were set
        Currency kenko, kosei;
    };
    std::array<Loaded, 8> m_loaded;
    // The component's objects, made at the first reading and kept (closed) between readings.
    std::unique_ptr<dataaccess::clsDbAccess> m_db;
    std::unique_ptr<dataaccess::clsTbAccess> m_tb;
};

} // namespace kov
