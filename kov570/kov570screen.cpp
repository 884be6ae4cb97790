#include "kov570/kov570screen.h"

#include "common/text.h"

#include <cstdlib>

namespace kov::kov570 {

namespace {
constexpr const char* kIdeographicSpace = "\u3000";

// A ticked box becomes unticked, any other ticked.
CheckValue flipped(CheckValue value) { return value == CheckValue::Ticked ? CheckValue::Unticked : CheckValue::Ticked; }
} // namespace

Kov570View::~Kov570View() = default;

std::string zaimuLabelText(const std::string& name)
{
    switch (text::length(name)) {
    case 1:
        return kIdeographicSpace + name + kIdeographicSpace;
    case 2:
        return text::left(name, 1) + kIdeographicSpace + text::right(name, 1);
    case 3:
        return name;
    default:
        return text::left(name, 1) + kIdeographicSpace + text::mid(name, 2, 1);
    }
}

Kov570Screen::Kov570Screen(PrintContext& ctx) : m_ctx(ctx), m_data(ctx)
{
    m_pfMode.prsPFMode(kKeyMode);
    m_ctx.setScreenCaption(kCaption); // until gnsStart sets the names and "Kov570"
}

void Kov570Screen::formLoad()
{
    m_ctx.comTessera().prsStatusNames("KOV.dat", "SkSumi", "Kov570");
    prsSetZaimuName();
}

void Kov570Screen::prsSetZaimuName()
{
    BasCmnName& names = m_ctx.cmnName();
    const NameGroup offices = names.prsNameRead(2);
    std::array<std::string, 10> label;
    for (std::size_t n = 1; n <= 9; ++n) {
        const std::string name = text::trim(offices.names[n]);
        names.p_strName[n] = text::fixedLength(name, 30);
        label[n] = zaimuLabelText(name);
    }
    for (std::size_t n = 1; n <= 8; ++n) m_zaimuLabels[n] = label[n];
    m_zaimuLabels[0] = label[9];
    m_zaimuLabels[8] = "全　体";
    m_view->refreshLabels();
}

void Kov570Screen::gnsStart()
{
    m_data.prsOpenDb();
    m_fiscalYear = m_data.readFiscalYear();
    m_sumQuery = m_data.openSumQuery(m_fiscalYear);
}

void Kov570Screen::lblZaimuClick(int index)
{
    m_view->focusZaimu(index);
    setChkZaimu(index, flipped(chkZaimu(index)));
    m_view->refreshChecks();
}

void Kov570Screen::lblGakkouClick(int index)
{
    m_view->focusGakkou(index);
    setChkGakkou(index, flipped(chkGakkou(index)));
    m_view->refreshChecks();
}

void Kov570Screen::prsPfAction(int index)
{
    if (index == 5) prsPrintKey();
    else if (index == 9) prsEndKey();
}

void Kov570Screen::prsPrintKey()
{
    RuntimeServices& rt = m_ctx.runtime();
    SumSelection selection;
    for (int i = 0; i <= 8; ++i) selection.setFinance(i, chkZaimu(i) == CheckValue::Ticked);
    if (!selection.anyFinance()) {
        m_view->focusZaimu(1);
        rt.msgBox(kWarnZaimu, MsgIcon::Exclamation, MsgButtons::Ok, kCaption);
        return;
    }
    for (int i = 1; i <= 3; ++i) selection.setSchool(i, chkGakkou(i) == CheckValue::Ticked);
    if (!selection.anySchool()) {
        m_view->focusGakkou(1);
        rt.msgBox(kWarnGakkou, MsgIcon::Exclamation, MsgButtons::Ok, kCaption);
        return;
    }
    m_view->runWithWaitScreen(rt, [&] { printSummary(selection); });
    m_view->focusZaimu(1);
}

void Kov570Screen::printSummary(const SumSelection& selection)
{
    // The summary and the names of the run from one state of the data, up to the hand-over.
    const ProgramContext::Reads reads(m_ctx);
    // The query is read once: every later print of the run prints the same figures.
    if (!m_sumTable) m_sumTable.emplace(m_data.loadSumTable(m_fiscalYear, std::move(m_sumQuery)));
    prsSumPrint(m_ctx, *m_sumTable, selection, m_zaimuLabels);
}

void Kov570Screen::prsEndKey()
{
    if (m_sumQuery) m_data.closeSumQuery(std::move(m_sumQuery));
    m_data.prsCloseDb();
    m_ctx.runtime().endProgram(0);
}

} // namespace kov::kov570
