#pragma once
// frmKov970, the backup screen as a Qt window: shows a Kov970Screen and forwards the
// clerk's choices and key presses to it. Layout in twips, "ＭＳ ゴシック" 9 point.
#include "kov970/kov970screen.h"

#include <QComboBox>
#include <QWidget>

#include <array>

class QGroupBox;
class QLabel;

namespace kov::ui {
class PfKeyBar;
}

namespace kov::kov970 {

// The drive list: its box keeps the design's width (made for "A:\\"), so a long mount
// path is shortened in the middle there ("/media/…/USB-A/"), shown whole in the open
// list, which is as wide as its widest entry, and as the box's tooltip. The items'
// texts stay the whole paths.
class DriveBox : public QComboBox {
public:
    explicit DriveBox(QWidget* parent = nullptr);
    // The text the box shows for its current entry.
    QString shownText() const;
    // After the entries changed: the open list's width and the tooltip.
    void entriesChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
};

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
    DriveBox* cboDriveList() const { return m_cboDriveList; }
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
    DriveBox* m_cboDriveList;
    QComboBox* m_cboFile;
    kov::ui::PfKeyBar* m_pfKeys;
};

} // namespace kov::kov970
