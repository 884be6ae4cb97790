#include "blockreport/blockreportscreen.h"

#include "blockreport/blockreportrun.h"
#include "common/runtimeerror.h"
#include "common/sqltext.h"
#include "common/text.h"
#include "print/era.h"

#include <cstdio>
#include <cstdlib>

namespace kov::blockreport {

using dataaccess::clsDbAccess;
using dataaccess::clsTbAccess;

namespace {

constexpr std::array<int, 12> kLefts120 = {375, 1230, 2085, 2940, 4095, 4950, 5805, 6660, 7815, 8670, 9525, 10380};
constexpr std::array<int, 12> kLefts140 = {375, 1230, 2085, 2940, 4095, 4950, 5805, 6660, 7800, 8655, 9510, 10365};

// n with at least two digits ("00").
std::string twoDigits(long n)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02ld", n);
    return buf;
}

std::string slotColumn(const char* prefix, int n) { return prefix + twoDigits(n); }

} // namespace

ScreenView::~ScreenView() = default;

void ScreenView::runWithWaitScreen(RuntimeServices& rt, const std::function<void()>& work)
{
    rt.doEvents();
    work();
    rt.doEvents();
}

std::string sqlQuote(const std::string& value) { return sql::escapeLiteral(value); }

ScreenDescription kov120Screen(std::int16_t kyusyu)
{
    ScreenDescription d;
    d.caption = "期末勤勉手当支給調書印刷";
    d.lblShoriWidth = 1620;
    d.buttonLefts = kLefts120;
    d.tabOrder = {TabStop::OptGetugaku, TabStop::OptNichigaku, TabStop::LstMain, TabStop::Buttons,
                  TabStop::LblShori,    TabStop::Label5,       TabStop::FraKyuKbn};
    d.monthCheck = kyusyu == 2;
    const std::string k = std::to_string(kyusyu);
    if (kyusyu == 25) {
        d.slotShown = [](const BlockSlot& s) { return (s.payKind == 2 || s.payKind == 5) && s.startCode != 0; };
        d.startFilter = [](const std::string& S) { return "KYUSYU in(2,5) AND SKYUYM = " + S + " AND SYRFLG <> 0"; };
        d.selectFilter = [](const std::string& S, const std::string& L, bool monthly) {
            return std::string(monthly ? "KYUSYU in(2,5) AND SYOSYU not in(5,6) AND SKYUYM = "
                                       : "KYUSYU in(2,5) AND SYOSYU in(5,6) AND SKYUYM = ") +
                   S + " AND SYRFLG in(" + L + ")";
        };
    } else {
        d.slotShown = [kyusyu](const BlockSlot& s) { return s.payKind == kyusyu && s.startCode != 0; };
        d.startFilter = [k](const std::string& S) { return "KYUSYU = " + k + " AND SKYUYM = " + S + " AND SYRFLG <> 0"; };
        d.selectFilter = [k](const std::string& S, const std::string& L, bool monthly) {
            return "KYUSYU = " + k + (monthly ? " AND SYOSYU not in(5,6) AND SKYUYM = " : " AND SYOSYU in(5,6) AND SKYUYM = ") +
                   S + " AND SYRFLG in(" + L + ")";
        };
    }
    return d;
}

ScreenDescription kov140Screen()
{
    ScreenDescription d;
    d.caption = "差額支給内訳明細書印刷";
    d.lblShoriWidth = 1605;
    d.buttonLefts = kLefts140;
    d.tabOrder = {TabStop::LstMain, TabStop::Buttons,   TabStop::LblShori,    TabStop::Label5,
                  TabStop::FraKyuKbn, TabStop::OptNichigaku, TabStop::OptGetugaku};
    d.monthCheck = false;
    d.slotShown = [](const BlockSlot& s) { return s.payKind == 3 && s.startCode != 0; };
    d.startFilter = [](const std::string& S) { return "SKYUYM = " + S + " AND KYUSYU = 3 AND SYRFLG <> 0"; };
    d.selectFilter = [](const std::string& S, const std::string& L, bool monthly) {
        return "SKYUYM = " + S + " AND KYUSYU = 3 AND SYRFLG in( " + L + ")" +
               (monthly ? " AND SYOSYU not in(5,6) " : " AND SYOSYU in(5,6) ");
    };
    return d;
}

BlockReportScreen::BlockReportScreen(RuntimeServices& rt, ScreenDescription description)
    : com(rt), cmnName(rt), m_rt(rt), m_desc(std::move(description))
{
}

BlockReportScreen::~BlockReportScreen() = default;

void BlockReportScreen::setPrintRun(std::unique_ptr<BlockReportRun> run) { m_run = std::move(run); }

void BlockReportScreen::formLoad()
{
    KOV = dataaccess::CreateObjectAs<clsDbAccess>(dataaccess::kProgIdDbAccess);
    SKKANRI = dataaccess::CreateObjectAs<clsTbAccess>(dataaccess::kProgIdTbAccess);
    SKSYOZK = dataaccess::CreateObjectAs<clsTbAccess>(dataaccess::kProgIdTbAccess);
    SKBLOCK = dataaccess::CreateObjectAs<clsTbAccess>(dataaccess::kProgIdTbAccess);
    SKSYOKU = dataaccess::CreateObjectAs<clsTbAccess>(dataaccess::kProgIdTbAccess);
}

void BlockReportScreen::formUnload()
{
    SKSYOKU.reset();
    SKBLOCK.reset();
    SKSYOZK.reset();
    SKKANRI.reset();
    KOV.reset();
}

void BlockReportScreen::prsOpenSet()
{
    prsDbOpen();
    prsTbOpen();
    prsSetPFMode(0);
    prsSksykeiChek();
    prsTBLRead();
}

void BlockReportScreen::prsDbOpen()
{
    KOV->setDBIniNameString("KOV.INI");
    com.prsStatusCheck(KOV->DAO_DBOpen(), 0);
}

void BlockReportScreen::prsTbOpen()
{
    struct Master {
        clsTbAccess* table;
        const char* name;
        const char* filter;
    };
    const Master masters[] = {
        {SKKANRI.get(), "SKKANRI", "KEY = 'KANRI'"},
        {SKSYOZK.get(), "SKSYOZK", ""},
        {SKBLOCK.get(), "SKBLOCK", "KEY = 'BLOCK'"},
        {SKSYOKU.get(), "SKSYOKU", ""},
    };
    for (const Master& m : masters) {
        m.table->setTBDatabase(KOV->DBDatabase());
        m.table->setTBNameString(m.name);
        com.prsStatusCheck(m.table->DAO_TableOpen(m.filter, ""), 0);
        if (m.table == SKKANRI.get() && SKKANRI->DAO_RecFind(1, "KEY = 'KANRI'") != 0) {
            m_rt.msgBox("管理マスタが読込できません。", MsgIcon::Stop, MsgButtons::Ok, m_desc.caption);
            m_rt.endProgram(kExitFatal);
        }
    }
}

void BlockReportScreen::prsTbClose()
{
    com.prsStatusCheck(SKKANRI->DAO_TableClose(), 0);
    com.prsStatusCheck(SKSYOZK->DAO_TableClose(), 0);
    com.prsStatusCheck(SKSYOKU->DAO_TableClose(), 0);
    com.prsStatusCheck(SKBLOCK->DAO_TableClose(), 0);
}

void BlockReportScreen::prsDbClose() { com.prsStatusCheck(KOV->DAO_DBClose(), 0); }

void BlockReportScreen::prsSetPFMode(std::int16_t mode)
{
    std::array<std::int16_t, 12> keys{};
    pfCaptions.fill({});
    if (mode == 0) {
        keys[0] = 1;
        pfCaptions[0] = "切　替";
        keys[5] = 1;
        pfCaptions[5] = "印　刷";
        keys[9] = 1;
        pfCaptions[9] = "終　了";
    }
    for (std::size_t i = 0; i < keys.size(); ++i) p_bPFKey[i] = keys[i] == 1 ? -1 : 0;
    m_view->refreshKeys();
}

Currency BlockReportScreen::syorid() const { return dataaccess::toCurrency(SKKANRI->TBRec("SYORID")); }

void BlockReportScreen::showWarning(const std::string& text)
{
    m_rt.msgBox(text, MsgIcon::Exclamation, MsgButtons::Ok, m_desc.caption);
}

std::unique_ptr<clsTbAccess> BlockReportScreen::openTable(const std::string& name)
{
    auto table = dataaccess::CreateObjectAs<clsTbAccess>(dataaccess::kProgIdTbAccess);
    table->setTBDatabase(KOV->DBDatabase());
    table->setTBNameString(name);
    return table;
}

void BlockReportScreen::prsSksykeiChek()
{
    const Currency ym = syorid();
    cmnName.prfEraConv(ym * 100 + Currency::fromInt(1));
    lblShori = prfEraFormat(cmnName, "JYM", "DSP", "B");
    m_view->refreshLabel();

    if (m_desc.monthCheck) {
        const Currency m = prfDatePart(ym, "M");
        if (m != Currency::fromInt(3) && m != Currency::fromInt(6) && m != Currency::fromInt(12)) {
            showWarning("期末・勤勉手当処理月ではありません。");
            prsPf09();
        }
    }

    SKSYKEI = openTable("SKSYKEI");
    const std::int16_t R = SKSYKEI->DAO_TableOpen(m_desc.startFilter(ym.toString()), "");
    // A failed open is a failure, not "records exist".
    com.prsStatusCheck(R, 0);
    com.prsStatusCheck(SKSYKEI->DAO_TableClose(), 0);
    SKSYKEI.reset();
    if (R == 0) {
        showWarning("該当するデータが登録されていません。");
        prsPf09();
    }
}

void BlockReportScreen::prsTBLRead()
{
    com.prsStatusCheck(SKBLOCK->DAO_RecFind(1, "KEY='BLOCK'"), 0);
    for (int n = 1; n <= 45; ++n) {
        BlockSlot& s = BlockSlots[static_cast<std::size_t>(n)];
        s.startCode = dataaccess::toInt16(SKBLOCK->TBRec(slotColumn("SSYOZK_", n)));
        s.count = dataaccess::toInt16(SKBLOCK->TBRec(slotColumn("CNT_", n)));
        s.payKind = dataaccess::toInt16(SKBLOCK->TBRec(slotColumn("KYUSYU_", n)));
    }
    lstMain.clear();
    listIndex = -1;
    for (int n = 1; n <= 45; ++n) {
        const BlockSlot& s = BlockSlots[static_cast<std::size_t>(n)];
        if (!m_desc.slotShown(s)) continue;
        lstMain.push_back({"  " + twoDigits(n) + "  " + prfReadSyoz(s.startCode, s.count), n, false});
    }
    m_view->refreshList();
}

std::string BlockReportScreen::prfReadSyoz(std::int16_t SYOZOKCD, std::int16_t Syozcnt)
{
    const std::string key = "E" + std::to_string(std::abs(static_cast<int>(SYOZOKCD)));
    std::string name;
    if (SKSYOZK->DAO_RecFind(1, "SYOZOK = '" + sqlQuote(key) + "'") == 0)
        name = dataaccess::toText(SKSYOZK->TBRec("SZKKNJ"));
    if (Syozcnt < 2) return name;
    // Brings the name to 20 columns at two columns a character; a name of more than ten
    // characters gets no filler.
    const std::size_t chars = text::length(name);
    const std::size_t filler = chars <= 10 ? (10 - chars) * 2 : 0;
    const std::string others = text::padLeft(std::to_string(Syozcnt - 1), 2);
    return name + text::spaces(filler) + " 他" + text::toFullWidth(others) + "校";
}

void BlockReportScreen::prsPfAction(int index)
{
    if (index < 0 || index >= 12) return;
    if (p_bPFKey[static_cast<std::size_t>(index)] != -1) return;
    switch (index) {
    case 0: prsPf00(); break;
    case 5: prsPf05(); break;
    case 9: prsPf09();
    default: break;
    }
}

void BlockReportScreen::prsPf00()
{
    if (lstMain.empty()) return;
    m_view->setListVisible(false);
    for (ListEntry& e : lstMain) e.selected = !e.selected;
    listIndex = 0;
    m_view->refreshList();
    m_view->setListVisible(true);
}

void BlockReportScreen::prsPf05()
{
    if (prfPrtchek() == 0) showWarning("ブロックが選択されていません。");
    else m_view->runWithWaitScreen(m_rt, [this] { prsPrint(); });
    m_view->focusList();
}

void BlockReportScreen::prsPf09()
{
    prsTbClose();
    prsDbClose();
    m_rt.endProgram(0);
    std::abort();  // endProgram does not come back
}

std::int16_t BlockReportScreen::prfPrtchek() const
{
    for (const ListEntry& e : lstMain)
        if (e.selected) return -1;
    return 0;
}

void BlockReportScreen::setSelected(int index, bool selected)
{
    if (index < 0 || static_cast<std::size_t>(index) >= lstMain.size()) return;
    lstMain[static_cast<std::size_t>(index)].selected = selected;
}

std::string BlockReportScreen::blockList() const
{
    std::string list;
    for (const ListEntry& e : lstMain) {
        if (!e.selected) continue;
        if (!list.empty()) list += ",";
        list += twoDigits(e.itemData);
    }
    return list;
}

void BlockReportScreen::prsPrint()
{
    const std::string L = blockList();
    SKSYKEI = openTable("SKSYKEI");
    const std::string filter = m_desc.selectFilter(syorid().toString(), L, optGetugaku);
    const std::int16_t R = SKSYKEI->DAO_TableOpen(filter, "SYRFLG,SYOZOK,SYOKCD");
    // A failed open is a failure, not "records found".
    com.prsStatusCheck(R, 0);
    if (R != 0) {
        if (!m_run) throwInvalidArgument("print run not set");
        m_run->run(R);
        return;
    }
    showWarning("該当するデータが登録されていません。");
    com.prsStatusCheck(SKSYKEI->DAO_TableClose(), 0);
    SKSYKEI.reset();
}

} // namespace kov::blockreport
