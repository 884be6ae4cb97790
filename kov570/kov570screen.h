#pragma once
// The screen frmKov570 as plain logic: the finance-office and school check boxes, the
// finance labels, the label clicks and the two key actions (F6 print, F10 end). The Qt
// widget (kov570/ui) shows this model and forwards the user's clicks and keys to it.
#include "kov570/baskov570.h"
#include "kov570/basmyprint.h"
#include "common/pfmode.h"
#include "print/printrun.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace kov::kov570 {

// How the screen is shown; the widget implements it, tests use the defaults.
class Kov570View {
public:
    virtual ~Kov570View();
    virtual void refreshChecks() {}
    virtual void refreshLabels() {}
    virtual void focusZaimu(int) {}
    virtual void focusGakkou(int) {}
    // The wait-screen protocol around work; the default lets events run before and after.
    virtual void runWithWaitScreen(RuntimeServices& rt, const std::function<void()>& work);
};

// The label text of a finance-office name (trimmed of blanks first) by its length in
// characters: 1 "　X　", 2 "X　Y", 3 unchanged, any other the first two with "　" between.
std::string zaimuLabelText(const std::string& trimmedName);

class Kov570Screen {
public:
    explicit Kov570Screen(PrintContext& ctx);

    static constexpr const char* kWarnZaimu = "財務が選択されていません。";
    static constexpr const char* kWarnGakkou = "学校が選択されていません。";
    // Key mode of the screen: F6 and F10.
    static constexpr std::array<std::int16_t, 12> kKeyMode = {0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0};

    PrintContext& context() const { return m_ctx; }
    void setView(Kov570View* view) { m_view = view ? view : &m_nullView; }

    BasKov570 data;
    BasMyPrint myPrint;

    // The enable table of the key bar: F6 and F10 only.
    ComPFMode pfMode;

    // Check boxes: 1 ticked, 0 not (chkGakkou index 0 unused).
    std::array<std::int16_t, 9> chkZaimu{};
    std::array<std::int16_t, 4> chkGakkou{};

    // Load step (after the window is placed): status names and finance labels.
    void formLoad();
    void prsSetZaimuName();
    // Opening: connection, fiscal year, summary query.
    void gnsStart();

    // A click on label i of lblZaimu / lblGakkou: focus on its box and flip it.
    void lblZaimuClick(int index);
    void lblGakkouClick(int index);

    // The action of a pressed button.
    void prsPfAction(int index);
    void prsPrintKey();
    [[noreturn]] void prsEndKey();

private:
    PrintContext& m_ctx;
    Kov570View m_nullView;
    Kov570View* m_view = &m_nullView;
};

} // namespace kov::kov570
