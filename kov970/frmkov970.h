#pragma once
// frmKov970, the backup screen as a Qt window: shows a Kov970Screen and forwards the
// clerk's choices and key presses to it. Layout in twips, "ＭＳ ゴシック" 9 point.
#include "kov970/kov970screen.h"

#include <QWidget>

#include <array>

class QComboBox;
class QGroupBox;
class QLabel;

namespace kov::ui {
class PfKeyBar;
}

namespace kov::kov970 {

class FrmKov970 : public QWidget, public Kov970View {
public:
    FrmKov970(Kov970Screen& model, RuntimeServices& rt, QWidget* parent = nullptr);
    ~FrmKov970() override;

    // The load step: caption, size, font, the place in the middle of the display.
    void load();
    // Shows the window and gives the drive list the focus.
    void showScreen();

    QGroupBox* fraSelect() const { return m_fraSelect; }
    QLabel* lblDrive(int index) const { return m_lblDrive[static_cast<std::size_t>(index)]; }
    QComboBox* cboDriveList() const { return m_cboDriveList; }
    QComboBox* cboFile() const { return m_cboFile; }
    kov::ui::PfKeyBar* pfKeys() const { return m_pfKeys; }

    // Kov970View
    void refreshDrives() override;
    void setSelectEnabled(bool enabled) override;
    void setKeysEnabled(bool enabled) override;
    void focusFileList() override;
    void runWithWaitScreen(RuntimeServices& rt, const std::function<void()>& work) override;

private:
    Kov970Screen& m_model;
    QGroupBox* m_fraSelect;
    std::array<QLabel*, 2> m_lblDrive{};
    QComboBox* m_cboDriveList;
    QComboBox* m_cboFile;
    kov::ui::PfKeyBar* m_pfKeys;
};

} // namespace kov::kov970
