#include "blockreport/ui/frmblockreport.h"

#include "common/ui/fonts.h"
#include "common/ui/frmomachi.h"
#include "common/ui/mainscreen.h"
#include "common/ui/optiongroup.h"
#include "common/ui/pfkeybar.h"
#include "common/ui/qtruntime.h"
#include "common/ui/twips.h"

#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>

namespace kov::blockreport {

namespace {

constexpr int kClientWidth = 11610;
constexpr int kClientHeight = 7875;

void paintWhiteOnDarkBlue(QLabel* label)
{
    QPalette colours = label->palette();
    colours.setColor(QPalette::Window, QColor(0, 0, 192));
    colours.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(colours);
    label->setAutoFillBackground(true);
}

// The block list. Every entry text begins with blanks, and a list view searches its
// entries for the typed text after the space bar has toggled the current entry: the
// search would move to the next entry and toggle it as well. A blank is no search here.
class BlockListWidget : public QListWidget {
public:
    using QListWidget::QListWidget;
    void keyboardSearch(const QString& search) override
    {
        if (search.trimmed().isEmpty()) return;
        QListWidget::keyboardSearch(search);
    }
};

} // namespace

FrmBlockReport::FrmBlockReport(BlockReportScreen& model, RuntimeServices& rt, QWidget* parent)
    : QWidget(parent), m_model(model)
{
    const ScreenDescription& design = model.description();
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, Qt::black);
    setPalette(colours);

    m_lblShori = new QLabel(this);
    m_lblShori->setObjectName("lblShori");
    m_lblShori->setGeometry(kov::ui::twipsRect(0, 0, design.lblShoriWidth, 300));
    paintWhiteOnDarkBlue(m_lblShori);

    m_fraKyuKbn = new QGroupBox("給与区分", this);
    m_fraKyuKbn->setObjectName("fraKyuKbn");
    m_fraKyuKbn->setGeometry(kov::ui::twipsRect(4020, 1440, 3585, 690));
    m_optGetugaku = new QRadioButton("月額者", m_fraKyuKbn);
    m_optGetugaku->setObjectName("optGetugaku");
    m_optGetugaku->setGeometry(kov::ui::twipsRect(360, 255, 1200, 315));
    m_optNichigaku = new QRadioButton("日額者", m_fraKyuKbn);
    m_optNichigaku->setObjectName("optNichigaku");
    m_optNichigaku->setGeometry(kov::ui::twipsRect(1800, 255, 1200, 315));
    m_optGetugaku->setChecked(model.optGetugaku());
    m_optNichigaku->setChecked(!model.optGetugaku());
    connect(m_optGetugaku, &QRadioButton::toggled, this, [this](bool on) { m_model.setOptGetugaku(on); });
    // Every arrow key moves the choice between the two options (they stand side by side).
    kov::ui::linkOptionGroup({m_optGetugaku, m_optNichigaku});

    m_label5 = new QLabel("ブロック選択", this);
    m_label5->setObjectName("Label5");
    m_label5->setGeometry(kov::ui::twipsRect(4020, 2400, 3585, 300));
    paintWhiteOnDarkBlue(m_label5);

    m_lstMain = new BlockListWidget(this);
    m_lstMain->setObjectName("lstMain");
    m_lstMain->setGeometry(kov::ui::twipsRect(4020, 2640, 3585, 3480));
    // Each entry is selected or deselected by itself (a click or the space bar toggles it).
    m_lstMain->setSelectionMode(QAbstractItemView::MultiSelection);
    connect(m_lstMain, &QListWidget::itemSelectionChanged, this, [this] { syncSelectionToModel(); });
    connect(m_lstMain, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!m_syncing) m_model.setListIndex(row);
    });

    m_pfKeys = new kov::ui::PfKeyBar(this, rt, design.buttonLefts);
    m_pfKeys->setAction([this](int index) { m_model.prsPfAction(index); });

    // Tab order of the program.
    QList<QWidget*> chain = tabChain();
    for (int i = 1; i < chain.size(); ++i) QWidget::setTabOrder(chain[i - 1], chain[i]);

    model.setView(this);
    refreshKeys();
}

FrmBlockReport::~FrmBlockReport() { m_model.setView(nullptr); }

QList<QWidget*> FrmBlockReport::tabChain() const
{
    QList<QWidget*> chain;
    for (TabStop stop : m_model.description().tabOrder) {
        switch (stop) {
        case TabStop::OptGetugaku:
            chain << m_optGetugaku;
            break;
        case TabStop::OptNichigaku:
            chain << m_optNichigaku;
            break;
        case TabStop::LstMain:
            chain << m_lstMain;
            break;
        case TabStop::Buttons:
            for (int i = 0; i < kov::ui::PfKeyBar::kCount; ++i) chain << m_pfKeys->button(i);
            break;
        // Labels and the frame take no focus.
        case TabStop::LblShori:
        case TabStop::Label5:
        case TabStop::FraKyuKbn:
            break;
        }
    }
    return chain;
}

void FrmBlockReport::load()
{
    kov::ui::setupMainScreen(this, QString::fromStdString(m_model.description().caption), kClientWidth, kClientHeight);
    m_model.formLoad();
}

void FrmBlockReport::showScreen()
{
    show();
    raise();
    activateWindow();
    QList<QWidget*> chain = tabChain();
    if (!chain.isEmpty()) {
        QWidget* first = chain.first();
        // The selected option button takes the focus when the options come first.
        if (first == m_optGetugaku && m_optNichigaku->isChecked()) first = m_optNichigaku;
        kov::ui::setOpeningFocus(first);
    }
}

void FrmBlockReport::refreshLabel() { m_lblShori->setText(QString::fromStdString(m_model.lblShori())); }

void FrmBlockReport::refreshList()
{
    m_syncing = true;
    const auto& entries = m_model.lstMain();
    if (m_lstMain->count() != static_cast<int>(entries.size())) {
        m_lstMain->clear();
        for (const ListEntry& entry : entries) {
            auto* item = new QListWidgetItem(QString::fromStdString(entry.text), m_lstMain);
            item->setData(Qt::UserRole, entry.itemData);
        }
    }
    for (int i = 0; i < m_lstMain->count(); ++i) {
        QListWidgetItem* item = m_lstMain->item(i);
        item->setText(QString::fromStdString(entries[static_cast<std::size_t>(i)].text));
        item->setData(Qt::UserRole, entries[static_cast<std::size_t>(i)].itemData);
        item->setSelected(entries[static_cast<std::size_t>(i)].selected);
    }
    const int current = m_model.listIndex();
    if (current >= 0 && current < m_lstMain->count()) m_lstMain->setCurrentRow(current, QItemSelectionModel::NoUpdate);
    m_syncing = false;
}

void FrmBlockReport::syncSelectionToModel()
{
    if (m_syncing) return;
    for (int i = 0; i < m_lstMain->count(); ++i) m_model.setSelected(i, m_lstMain->item(i)->isSelected());
}

void FrmBlockReport::setListVisible(bool visible) { m_lstMain->setVisible(visible); }

void FrmBlockReport::refreshKeys()
{
    for (int i = 0; i < kov::ui::PfKeyBar::kCount; ++i) {
        m_pfKeys->setCaption(i, QString::fromStdString(m_model.pfCaptions()[static_cast<std::size_t>(i)]));
        m_pfKeys->setEnabled(i, m_model.pfMode().p_bPFKey[static_cast<std::size_t>(i)] == -1);
    }
}

void FrmBlockReport::focusList() { m_lstMain->setFocus(Qt::OtherFocusReason); }

void FrmBlockReport::runWithWaitScreen(RuntimeServices& rt, const std::function<void()>& work)
{
    kov::ui::runWithWaitScreen(this, rt, work);
}

} // namespace kov::blockreport
