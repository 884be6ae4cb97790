#pragma once
// frmKov570 as a Qt window: the finance-office and school check boxes with their labels
// and the function-key bar, over the plain screen model Kov570Screen. Layout in twips.
#include "kov570/kov570screen.h"

#include <QWidget>

#include <array>
#include <functional>

class QCheckBox;
class QGroupBox;
class QLabel;

namespace kov::ui {
class PfKeyBar;
}

namespace kov::kov570 {

class FrmKov570 : public QWidget, public Kov570View {
public:
    FrmKov570(Kov570Screen& model, RuntimeServices& rt, QWidget* parent = nullptr);
    ~FrmKov570() override;

    // The load step: the window is placed in the middle of the screen, then the model's.
    void load();
    // Shows the window with the focus on the print button.
    void showScreen();

    Kov570Screen& model() const { return m_model; }
    QCheckBox* chkZaimu(int i) const { return m_chkZaimu.at(static_cast<std::size_t>(i)); }
    QCheckBox* chkGakkou(int i) const { return m_chkGakkou.at(static_cast<std::size_t>(i)); }
    QLabel* lblZaimu(int i) const { return m_lblZaimu.at(static_cast<std::size_t>(i)); }
    QLabel* lblGakkou(int i) const { return m_lblGakkou.at(static_cast<std::size_t>(i)); }
    kov::ui::PfKeyBar* pfKeys() const { return m_pfKeys; }
    // The focusable controls in tab order.
    QList<QWidget*> tabChain() const;

    // Kov570View
    void refreshChecks() override;
    void refreshLabels() override;
    void focusZaimu(int index) override;
    void focusGakkou(int index) override;
    void runWithWaitScreen(RuntimeServices& rt, const std::function<void()>& work) override;

private:
    void runGuardedClick(const std::function<void()>& action);
    void buildZaimuFrame();
    void buildGakkouFrame();

    Kov570Screen& m_model;
    RuntimeServices& m_rt;
    QGroupBox* m_frame1;
    QGroupBox* m_frame2;
    std::array<QLabel*, 9> m_lblZaimu{};
    std::array<QCheckBox*, 9> m_chkZaimu{};
    std::array<QLabel*, 4> m_lblGakkou{}; // index 0 unused
    std::array<QCheckBox*, 4> m_chkGakkou{}; // index 0 unused
    kov::ui::PfKeyBar* m_pfKeys;
    bool m_syncing = false;
};

} // namespace kov::kov570
