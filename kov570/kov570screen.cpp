#include "kov570/kov570screen.h"

#include "common/text.h"

#include <cstdlib>

namespace kov::kov570 {

namespace {
constexpr const char* kIdeographicSpace = "\u3000";

std::int16_t flipped(std::int16_t v) { return v == 1 ? 0 : 1; }
} // namespace

Kov570View::~Kov570View() = default;

void Kov570View::runWithWaitScreen(RuntimeServices& rt, const std::function<void()>& work)
{
    rt.doEvents();
    work();
    rt.doEvents();
}

std::string zaimuLabelText(const std::string& name)
{
    switch (text::length(name)) {
    case 1: return kIdeographicSpace + name + kIdeographicSpace;
    case 2: return text::left(name, 1) + kIdeographicSpace + text::right(name, 1);
    case 3: return name;
    default: return text::left(name, 1) + kIdeographicSpace + text::mid(name, 2, 1);
    }
}

Kov570Screen::Kov570Screen(PrintContext& ctx) : data(ctx), myPrint(ctx, data), m_ctx(ctx)
{
    pfMode.prsPFMode(kKeyMode);
    m_ctx.com.setScreenCaption(kCaption);  // until gnsStart sets the names and "Kov570"
}

void Kov570Screen::formLoad()
{
    m_ctx.com.prsStatusNames("KOV.dat", "SkSumi", "Kov570");
    prsSetZaimuName();
}

void Kov570Screen::prsSetZaimuName()
{
    BasCmnName& names = m_ctx.cmnName;
    names.prsNameRead(2);
    std::array<std::string, 10> label;
    for (std::size_t n = 1; n <= 9; ++n) {
        const std::string name = text::trim(names.p_strName[n]);
        names.p_strName[n] = text::fixedLength(name, 30);
        label[n] = zaimuLabelText(name);
    }
    for (std::size_t n = 1; n <= 8; ++n) data.ZaimuLabel[n] = label[n];
    data.ZaimuLabel[0] = label[9];
    data.ZaimuLabel[8] = "全　体";
    m_view->refreshLabels();
}

void Kov570Screen::gnsStart()
{
    data.prsOpenDb();
    data.prsReadNendo();
    data.prsOpenSumi();
}

void Kov570Screen::lblZaimuClick(int i)
{
    m_view->focusZaimu(i);
    auto& box = chkZaimu.at(static_cast<std::size_t>(i));
    box = flipped(box);
    m_view->refreshChecks();
}

void Kov570Screen::lblGakkouClick(int i)
{
    m_view->focusGakkou(i);
    auto& box = chkGakkou.at(static_cast<std::size_t>(i));
    box = flipped(box);
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
    std::array<std::int16_t, 9> zaimu{};
    bool any = false;
    for (std::size_t i = 0; i < zaimu.size(); ++i) {
        zaimu[i] = chkZaimu[i] == 1 ? -1 : 0;
        any = any || zaimu[i];
    }
    if (!any) {
        m_view->focusZaimu(1);
        rt.msgBox(kWarnZaimu, MsgIcon::Exclamation, MsgButtons::Ok, kCaption);
        return;
    }
    std::array<std::int16_t, 4> gakkou{};
    any = false;
    for (std::size_t i = 1; i < gakkou.size(); ++i) {
        gakkou[i] = chkGakkou[i] == 1 ? -1 : 0;
        any = any || gakkou[i];
    }
    if (!any) {
        m_view->focusGakkou(1);
        rt.msgBox(kWarnGakkou, MsgIcon::Exclamation, MsgButtons::Ok, kCaption);
        return;
    }
    myPrint.prsSetSelect(zaimu, gakkou);
    m_view->runWithWaitScreen(rt, [this] { myPrint.prsSumPrint(); });
    m_view->focusZaimu(1);
}

void Kov570Screen::prsEndKey()
{
    data.prsCloseSumi();
    data.prsCloseDb();
    m_ctx.runtime().endProgram(0);
}

} // namespace kov::kov570
