#include "blockreport/blockreportscreen.h"

#include "blockreport/blockreportrun.h"
#include "common/runtimeerror.h"
#include "common/sqltext.h"
#include "common/text.h"
#include "print/era.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace kov::blockreport {

using dataaccess::clsDbAccess;
using dataaccess::clsTbAccess;

namespace {

// The number with at least two digits ("00").
std::string twoDigits(long number)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02ld", number);
    return buf;
}

std::string slotColumn(const char* prefix, int number) { return prefix + twoDigits(number); }

} // namespace

std::array<int, 12> pfButtonLefts(int thirdGroupLeft)
{
    constexpr int kButtonWidth = 855;
    const std::array<int, 3> groupLefts = {375, 4095, thirdGroupLeft};
    std::array<int, 12> lefts{};
    for (std::size_t i = 0; i < lefts.size(); ++i)
        lefts[i] = groupLefts[i / 4] + static_cast<int>(i % 4) * kButtonWidth;
    return lefts;
}

std::function<bool(const BlockSlot&)> slotsOfPayKinds(std::vector<std::int16_t> payKinds)
{
    return [kinds = std::move(payKinds)](const BlockSlot& slot) {
        return slot.startCode != 0 && std::ranges::find(kinds, slot.payKind) != kinds.end();
    };
}

ScreenView::~ScreenView() = default;

BlockReportScreen::BlockReportScreen(PrintContext& ctx, ScreenDescription description)
    : m_ctx(ctx), m_desc(std::move(description))
{
    m_ctx.setScreenCaption(m_desc.caption);
}

BlockReportScreen::~BlockReportScreen() = default;

void BlockReportScreen::setPrintRun(std::unique_ptr<BlockReportRun> run) { m_run = std::move(run); }

void BlockReportScreen::formLoad()
{
    m_ctx.createConnection();
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
    m_ctx.releaseConnection();
}

void BlockReportScreen::prsOpenSet()
{
    prsDbOpen();
    prsTbOpen();
    prsSetPFMode(0);
    prsSksykeiChek();
    prsTBLRead();
}

void BlockReportScreen::prsDbOpen() { m_ctx.prsDbOpen("KOV.INI"); }

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
    for (const Master& master : masters) {
        m_ctx.bindTable(*master.table, master.name);
        m_ctx.openChecked(*master.table, master.filter, "");
        if (master.table == SKKANRI.get() && SKKANRI->DAO_RecFind(1, "KEY = 'KANRI'") != 0)
            throw ProgramStop("管理マスタが読込できません。", MsgIcon::Stop, m_desc.caption);
    }
}

void BlockReportScreen::prsTbClose()
{
    m_ctx.closeChecked(*SKKANRI);
    m_ctx.closeChecked(*SKSYOZK);
    m_ctx.closeChecked(*SKSYOKU);
    m_ctx.closeChecked(*SKBLOCK);
}

void BlockReportScreen::prsDbClose() { m_ctx.prsDbClose(); }

void BlockReportScreen::prsSetPFMode(std::int16_t mode)
{
    std::array<std::int16_t, 12> keys{};
    m_pfCaptions.fill({});
    if (mode == 0) {
        keys[0] = 1;
        m_pfCaptions[0] = "切　替";
        keys[5] = 1;
        m_pfCaptions[5] = "印　刷";
        keys[9] = 1;
        m_pfCaptions[9] = "終　了";
    }
    m_pfMode.prsPFMode(keys);
    m_view->refreshKeys();
}

Currency BlockReportScreen::syorid() const
{
    return withErrorContext("SKKANRI の行「KANRI」",
                            [&] { return dataaccess::toCurrency(SKKANRI->TBRec("SYORID"), "SYORID"); });
}

void BlockReportScreen::showWarning(const std::string& text)
{
    runtime().msgBox(text, MsgIcon::Exclamation, MsgButtons::Ok, m_desc.caption);
}

void BlockReportScreen::prsSksykeiChek()
{
    const Currency processingMonth = syorid();
    m_lblShori = prfEraFormat(m_ctx.cmnName().eraDate(processingMonth * 100 + Currency::fromInt(1)), "JYM", "DSP", "B");
    m_view->refreshLabel();

    if (m_desc.monthCheck) {
        const Currency month = prfDatePart(processingMonth, "M");
        if (month != Currency::fromInt(3) && month != Currency::fromInt(6) && month != Currency::fromInt(12)) {
            showWarning("期末・勤勉手当処理月ではありません。");
            prsPf09();
        }
    }

    // Opened (a failed open is a failure, not "records exist"), counted, and closed at
    // the end of the statement.
    const std::int16_t rows = OpenTable(m_ctx, "SKSYKEI", m_desc.startFilter(processingMonth.toString())).rows();
    if (rows == 0) {
        showWarning("該当するデータが登録されていません。");
        prsPf09();
    }
}

void BlockReportScreen::prsTBLRead()
{
    m_ctx.check(SKBLOCK->DAO_RecFind(1, "KEY='BLOCK'"));
    const auto slotValue = [this](const char* prefix, int number) {
        const std::string column = slotColumn(prefix, number);
        return withErrorContext("SKBLOCK の行「BLOCK」",
                                [&] { return dataaccess::toInt16(SKBLOCK->TBRec(column), column); });
    };
    for (int number = 1; number <= 45; ++number) {
        BlockSlot& slot = m_blockSlots[static_cast<std::size_t>(number)];
        slot.startCode = slotValue("SSYOZK_", number);
        slot.count = slotValue("CNT_", number);
        slot.payKind = slotValue("KYUSYU_", number);
    }
    m_lstMain.clear();
    m_listIndex = -1;
    for (int number = 1; number <= 45; ++number) {
        const BlockSlot& slot = m_blockSlots[static_cast<std::size_t>(number)];
        if (!m_desc.slotShown(slot)) continue;
        m_lstMain.push_back({"  " + twoDigits(number) + "  " + prfReadSyoz(slot.startCode, slot.count), number, false});
    }
    m_view->refreshList();
}

std::string BlockReportScreen::prfReadSyoz(std::int16_t affiliationCode, std::int16_t schoolCount)
{
    const std::string key = "E" + std::to_string(std::abs(static_cast<int>(affiliationCode)));
    std::string name;
    if (SKSYOZK->DAO_RecFind(1, "SYOZOK = '" + sql::escapeLiteral(key) + "'") == 0)
        name = dataaccess::toText(SKSYOZK->TBRec("SZKKNJ"));
    if (schoolCount < 2) return name;
    // Brings the name to 20 columns at two columns a character; a name of more than ten
    // characters gets no filler.
    const std::size_t chars = text::length(name);
    const std::size_t filler = chars <= 10 ? (10 - chars) * 2 : 0;
    const std::string others = text::padLeft(std::to_string(schoolCount - 1), 2);
    return name + text::spaces(filler) + " 他" + text::toFullWidth(others) + "校";
}

void BlockReportScreen::prsPfAction(int index)
{
    if (index < 0 || index >= 12) return;
    if (m_pfMode.p_bPFKey[static_cast<std::size_t>(index)] != -1) return;
    switch (index) {
    case 0:
        prsPf00();
        break;
    case 5:
        prsPf05();
        break;
    case 9:
        prsPf09();
    default:
        break;
    }
}

void BlockReportScreen::prsPf00()
{
    if (m_lstMain.empty()) return;
    m_view->setListVisible(false);
    for (ListEntry& entry : m_lstMain) entry.selected = !entry.selected;
    m_listIndex = 0;
    m_view->refreshList();
    m_view->setListVisible(true);
}

void BlockReportScreen::prsPf05()
{
    if (prfPrtchek() == 0) showWarning("ブロックが選択されていません。");
    else m_view->runWithWaitScreen(runtime(), [this] { prsPrint(); });
    m_view->focusList();
}

void BlockReportScreen::prsPf09()
{
    prsTbClose();
    prsDbClose();
    runtime().endProgram(0);
}

std::int16_t BlockReportScreen::prfPrtchek() const
{
    for (const ListEntry& entry : m_lstMain)
        if (entry.selected) return -1;
    return 0;
}

void BlockReportScreen::setSelected(int index, bool selected)
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_lstMain.size()) return;
    m_lstMain[static_cast<std::size_t>(index)].selected = selected;
}

std::string BlockReportScreen::blockList() const
{
    std::string list;
    for (const ListEntry& entry : m_lstMain) {
        if (!entry.selected) continue;
        if (!list.empty()) list += ",";
        list += twoDigits(entry.itemData);
    }
    return list;
}

void BlockReportScreen::prsPrint()
{
    if (!m_run) throwInvalidArgument("print run not set");
    std::optional<PrintedFile> printed;
    {
        // From the selection and its count to the closed record set, one state of the
        // data: the records are closed first, then the reads end, before the hand-over.
        const ProgramContext::Reads reads(m_ctx);
        const Currency processingMonth = syorid();
        // A failed open is a failure, not "records found".
        const OpenTable records(m_ctx, "SKSYKEI",
                                m_desc.selectFilter(processingMonth.toString(), blockList(), m_optGetugaku),
                                "SYRFLG,SYOZOK,SYOKCD");
        if (records.rows() == 0) {
            showWarning("該当するデータが登録されていません。");
            return;
        }
        printed = m_run->print({records.table(), *SKSYOKU, *SKSYOZK,
                                m_optGetugaku ? StaffGroup::Monthly : StaffGroup::Daily, processingMonth});
    }
    handOver(m_ctx, *printed);
}

} // namespace kov::blockreport
