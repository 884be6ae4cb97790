#pragma once
// The screen frmKov570 as plain logic: the finance-office and school check boxes, the
// finance labels, the label clicks and the two key actions (F6 print, F10 end). The Qt
// widget (kov570/ui) shows this model and forwards the user's clicks and keys to it.
#include "common/pfmode.h"
#include "common/screenview.h"
#include "kov570/baskov570.h"
#include "kov570/basmyprint.h"
#include "print/printrun.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace kov::kov570 {

// How the screen is shown; the widget implements it, tests use the defaults.
class Kov570View : public WaitScreenView {
public:
    ~Kov570View() override;
    virtual void refreshChecks() {}
    virtual void refreshLabels() {}
    virtual void focusZaimu(int) {}
    virtual void focusGakkou(int) {}
};

// The label text of a finance-office name (trimmed of blanks first) by its length in
// characters: 1 "　X　", 2 "X　Y", 3 unchanged, any other the first two with "　" between.
std::string zaimuLabelText(const std::string& trimmedName);

// The value of a check box.
enum class CheckValue : std::int16_t { Unticked = 0, Ticked = 1, Grey = 2 };

class Kov570Screen {
public:
    explicit Kov570Screen(PrintContext& ctx);

    static constexpr const char* kWarnZaimu = "財務が選択されていません。";
    static constexpr const char* kWarnGakkou = "学校が選択されていません。";
    // Key mode of the screen: F6 and F10.
    static constexpr std::array<std::int16_t, 12> kKeyMode = {0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0};

    void setView(Kov570View* view) { m_view = view ? view : &m_nullView; }

    // The enable table of the key bar: F6 and F10 only.
    const ComPFMode& pfMode() const { return m_pfMode; }

    // The check boxes chkZaimu 0 to 8 and chkGakkou 1 to 3, all unticked at the start.
    CheckValue chkZaimu(int index) const { return m_chkZaimu.at(static_cast<std::size_t>(index)); }
    CheckValue chkGakkou(int index) const { return m_chkGakkou.at(static_cast<std::size_t>(index)); }
    void setChkZaimu(int index, CheckValue value) { m_chkZaimu.at(static_cast<std::size_t>(index)) = value; }
    void setChkGakkou(int index, CheckValue value) { m_chkGakkou.at(static_cast<std::size_t>(index)) = value; }

    // The finance labels of the load step: shown by lblZaimu, printed in the page headers.
    const ZaimuLabels& zaimuLabels() const { return m_zaimuLabels; }
    // The fiscal year read by the opening.
    std::int16_t fiscalYear() const { return m_fiscalYear; }
    // The summary table, built by the first print; none before it.
    const SumTable* sumTable() const { return m_sumTable ? &*m_sumTable : nullptr; }

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
    // The summary table (loaded on the first print) printed for the selection, in one read
    // state of the data.
    void printSummary(const SumSelection& selection);

    PrintContext& m_ctx;
    BasKov570 m_data;
    ComPFMode m_pfMode;
    std::array<CheckValue, 9> m_chkZaimu{};
    std::array<CheckValue, 4> m_chkGakkou{}; // index 0 unused
    ZaimuLabels m_zaimuLabels;
    std::int16_t m_fiscalYear = 0;
    // The summary query, open from the opening until the first print reads it (or F10).
    std::unique_ptr<dataaccess::clsTbAccess> m_sumQuery;
    std::optional<SumTable> m_sumTable;
    Kov570View m_nullView;
    Kov570View* m_view = &m_nullView;
};

} // namespace kov::kov570
