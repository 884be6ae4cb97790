#include "kov970/frmkov970.h"

#include "common/ui/frmomachi.h"
#include "common/ui/mainscreen.h"
#include "common/ui/pfkeybar.h"
#include "common/ui/twips.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QStyleOptionComboBox>
#include <QStylePainter>

#include <algorithm>

namespace kov::kov970 {

namespace {

constexpr kov::ui::PfButtonLefts kButtonLefts = {375,  1230, 2085, 2940, 4095, 4950,
                                                 5805, 6660, 7815, 8670, 9525, 10380};

QLabel* whiteOnDarkBlue(const QString& text, QWidget* parent, const char* name, const QRect& geometry)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    QPalette p = label->palette();
    p.setColor(QPalette::Window, QColor(0, 0, 192));
    p.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(p);
    label->setAutoFillBackground(true);
    return label;
}

} // namespace

DriveBox::DriveBox(QWidget* parent) : QComboBox(parent)
{
    connect(this, &QComboBox::currentIndexChanged, this, [this] { setToolTip(currentText().trimmed()); });
}

QString DriveBox::shownText() const
{
    QStyleOptionComboBox opt;
    initStyleOption(&opt);
    const QRect text = style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, this);
    return fontMetrics().elidedText(currentText(), Qt::ElideMiddle, text.width());
}

void DriveBox::entriesChanged()
{
    int widest = 0;
    for (int i = 0; i < count(); ++i) widest = std::max(widest, fontMetrics().horizontalAdvance(itemText(i)));
    view()->setMinimumWidth(std::max(width(), widest + 2 * view()->frameWidth() + 24));
    setToolTip(currentText().trimmed());
}

void DriveBox::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionComboBox opt;
    initStyleOption(&opt);
    opt.currentText = shownText();
    painter.drawComplexControl(QStyle::CC_ComboBox, opt);
    painter.drawControl(QStyle::CE_ComboBoxLabel, opt);
}

FrmKov970::FrmKov970(Kov970Screen& model, RuntimeServices& rt, QWidget* parent) : QWidget(parent), m_model(model)
{
    using kov::ui::twipsRect;
    m_fraSelect = new QGroupBox(this);
    m_fraSelect->setObjectName("fraSelect");
    m_fraSelect->setGeometry(twipsRect(3878, 2190, 3855, 1485));
    m_lblDrive[0] = whiteOnDarkBlue("リムーバブルドライブ", m_fraSelect, "lblDrive_0", twipsRect(60, 90, 2580, 300));
    m_cboDriveList = new DriveBox(m_fraSelect);
    m_cboDriveList->setObjectName("cboDriveList");
    m_cboDriveList->setGeometry(twipsRect(2640, 90, 1095, 300));
    m_lblDrive[1] = whiteOnDarkBlue("退避マスタ選択", m_fraSelect, "lblDrive_1", twipsRect(60, 1110, 1800, 300));
    m_cboFile = new QComboBox(m_fraSelect);
    m_cboFile->setObjectName("cboFile");
    m_cboFile->setGeometry(twipsRect(1860, 1110, 1905, 300));
    for (const std::string& entry : Kov970Screen::kFileEntries) m_cboFile->addItem(QString::fromStdString(entry));
    m_cboFile->setCurrentIndex(-1);
    connect(m_cboDriveList, &QComboBox::currentIndexChanged, this, [this](int i) { m_model.driveIndex = i; });
    connect(m_cboFile, &QComboBox::currentIndexChanged, this, [this](int i) { m_model.fileIndex = i; });

    m_pfKeys = new kov::ui::PfKeyBar(this, rt, kButtonLefts, kov::ui::PfPressStyle::BusyCheckFirst);
    for (int i = 0; i < kov::ui::PfKeyBar::kCount; ++i) m_pfKeys->setEnabled(i, i == 9 || i == 11);
    m_pfKeys->setCaption(9, "終　了");
    m_pfKeys->setCaption(11, "実　行");
    m_pfKeys->setAction([this](int index) { m_model.prsPfAction(index); });

    QWidget::setTabOrder(m_cboDriveList, m_cboFile);
    QWidget* previous = m_cboFile;
    for (int i = 0; i < kov::ui::PfKeyBar::kCount; ++i) {
        QWidget::setTabOrder(previous, m_pfKeys->button(i));
        previous = m_pfKeys->button(i);
    }
    model.setView(this);
}

FrmKov970::~FrmKov970() { m_model.setView(nullptr); }

void FrmKov970::load() { kov::ui::setupMainScreen(this, QString::fromUtf8(kCaption), 11610, 7875); }

void FrmKov970::showScreen()
{
    show();
    raise();
    activateWindow();
    m_cboDriveList->setFocus(Qt::OtherFocusReason);
}

void FrmKov970::refreshDrives()
{
    m_cboDriveList->clear();
    for (const std::string& d : m_model.cboDriveList) m_cboDriveList->addItem(QString::fromStdString(d));
    m_cboDriveList->setCurrentIndex(m_model.driveIndex);
    m_cboDriveList->entriesChanged();
}

void FrmKov970::setSelectEnabled(bool enabled) { m_fraSelect->setEnabled(enabled); }

void FrmKov970::setKeysEnabled(bool enabled)
{
    m_pfKeys->setEnabled(9, enabled);
    m_pfKeys->setEnabled(11, enabled);
}

void FrmKov970::focusFileList() { m_cboFile->setFocus(Qt::OtherFocusReason); }

void FrmKov970::runWithWaitScreen(RuntimeServices& rt, const std::function<void()>& work)
{
    kov::ui::runWithWaitScreen(this, rt, work);
}

} // namespace kov::kov970
