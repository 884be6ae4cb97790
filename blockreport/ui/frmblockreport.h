#pragma once
// The block report screen as a Qt window: shows a BlockReportScreen and forwards the
// user's choices and key presses to it. Layout in twips, "ＭＳ ゴシック" 9 point.
#include "blockreport/blockreportscreen.h"

#include <QWidget>

class QGroupBox;
class QLabel;
class QListWidget;
class QRadioButton;

namespace kov::ui {
class PfKeyBar;
}

namespace kov::blockreport {

class FrmBlockReport : public QWidget, public ScreenView {

public:
    FrmBlockReport(BlockReportScreen& model, RuntimeServices& rt, QWidget* parent = nullptr);
    ~FrmBlockReport() override;

    // The load step: makes the window a main screen (caption, fixed client size, font,
    // no control box) in the middle of the screen, and creates the connection objects of
    // the model.
    void load();
    // Shows the window and gives the first control of the tab order the focus.
    void showScreen();

    QLabel* lblShori() const { return m_lblShori; }
    QLabel* label5() const { return m_label5; }
    QGroupBox* fraKyuKbn() const { return m_fraKyuKbn; }
    QRadioButton* optGetugaku() const { return m_optGetugaku; }
    QRadioButton* optNichigaku() const { return m_optNichigaku; }
    QListWidget* lstMain() const { return m_lstMain; }
    kov::ui::PfKeyBar* pfKeys() const { return m_pfKeys; }
    // The focusable controls in tab order.
    QList<QWidget*> tabChain() const;

    // ScreenView
    void refreshLabel() override;
    void refreshList() override;
    void setListVisible(bool visible) override;
    void refreshKeys() override;
    void focusList() override;
    void runWithWaitScreen(RuntimeServices& rt, const std::function<void()>& work) override;

private:
    void syncSelectionToModel();

    BlockReportScreen& m_model;
    QLabel* m_lblShori;
    QLabel* m_label5;
    QGroupBox* m_fraKyuKbn;
    QRadioButton* m_optGetugaku;
    QRadioButton* m_optNichigaku;
    QListWidget* m_lstMain;
    kov::ui::PfKeyBar* m_pfKeys;
    bool m_syncing = false;
};

} // namespace kov::blockreport
