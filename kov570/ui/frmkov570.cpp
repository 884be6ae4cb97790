#include "kov570/ui/frmkov570.h"

#include "common/ui/frmomachi.h"
#include "common/ui/mainscreen.h"
#include "common/ui/pfkeybar.h"
#include "common/ui/qtruntime.h"
#include "common/ui/twips.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>

#include <functional>

namespace kov::kov570 {

namespace {

constexpr int kClientWidth = 11610;
constexpr int kClientHeight = 7875;
constexpr kov::ui::PfButtonLefts kButtonLefts = {300,  1155, 2010, 2865, 4095, 4950,
                                                 5805, 6660, 7890, 8745, 9600, 10455};
// Tops inside Frame1, by index 0 to 8.
constexpr std::array<int, 9> kZaimuLabelTops = {3960, 600, 1080, 1560, 2040, 2520, 3000, 3480, 4440};
constexpr std::array<int, 9> kZaimuBoxTops = {3840, 495, 960, 1445, 1935, 2415, 2875, 3355, 4320};
// Tops inside Frame2, by index 1 to 3.
constexpr std::array<int, 4> kGakkouLabelTops = {0, 540, 1020, 1500};
constexpr std::array<int, 4> kGakkouBoxTops = {0, 525, 985, 1465};

// A heading or name label: white on dark blue; a click runs `clicked`.
class BlueLabel : public QLabel {
public:
    BlueLabel(const QString& text, QWidget* parent, std::function<void()> clicked = {})
        : QLabel(text, parent), m_clicked(std::move(clicked))
    {
        QPalette p = palette();
        p.setColor(QPalette::Window, QColor(0, 0, 192));
        p.setColor(QPalette::WindowText, Qt::white);
        setPalette(p);
        setAutoFillBackground(true);
    }

protected:
    void mousePressEvent(QMouseEvent* e) override
    {
        if (m_clicked && e->button() == Qt::LeftButton) m_clicked();
        QLabel::mousePressEvent(e);
    }

private:
    std::function<void()> m_clicked;
};

// A check box without text at the design's place. The design's size fits the bare box of
// the old desk; where the style's box is larger the control grows to the right and down
// (its place stays) so that the whole box shows.
QCheckBox* checkBox(QWidget* parent, const QString& name, const QRect& r)
{
    auto* box = new QCheckBox(parent);
    box->setObjectName(name);
    const QSize whole = box->sizeHint();
    box->setGeometry(QRect(r.topLeft(), r.size().expandedTo(whole)));
    return box;
}

CheckValue checkValue(int state) { return state == Qt::Checked ? CheckValue::Ticked : CheckValue::Unticked; }

} // namespace

FrmKov570::FrmKov570(Kov570Screen& model, RuntimeServices& rt, QWidget* parent)
    : QWidget(parent), m_model(model), m_rt(rt)
{
    buildZaimuFrame();
    buildGakkouFrame();
    m_pfKeys = new kov::ui::PfKeyBar(this, rt, kButtonLefts);
    m_pfKeys->setAction([this](int index) { m_model.prsPfAction(index); });
    m_pfKeys->setCaption(5, "印　刷");
    m_pfKeys->setCaption(9, "終　了");
    for (int i = 0; i < kov::ui::PfKeyBar::kCount; ++i)
        m_pfKeys->setEnabled(i, model.pfMode().p_bPFKey[static_cast<std::size_t>(i)] == -1);

    const QList<QWidget*> chain = tabChain();
    for (int i = 1; i < chain.size(); ++i) QWidget::setTabOrder(chain[i - 1], chain[i]);
    model.setView(this);
}

// The finance offices: a label and a check box for each of the nine slots.
void FrmKov570::buildZaimuFrame()
{
    using kov::ui::twipsRect;
    m_frame1 = new QGroupBox(this);
    m_frame1->setObjectName("Frame1");
    m_frame1->setGeometry(twipsRect(2760, 1080, 2895, 4995));
    (new BlueLabel("財務選択", m_frame1))->setGeometry(twipsRect(60, 120, 1200, 300));
    for (int i = 0; i <= 8; ++i) {
        const auto u = static_cast<std::size_t>(i);
        m_lblZaimu[u] =
            new BlueLabel(QString(), m_frame1, [this, i] { runGuardedClick([&] { m_model.lblZaimuClick(i); }); });
        m_lblZaimu[u]->setObjectName(QString("lblZaimu%1").arg(i));
        m_lblZaimu[u]->setGeometry(twipsRect(1020, kZaimuLabelTops[u], 1500, 300));
        m_chkZaimu[u] =
            checkBox(m_frame1, QString("chkZaimu%1").arg(i), twipsRect(i == 0 ? 540 : 533, kZaimuBoxTops[u], 255, 495));
        connect(m_chkZaimu[u], &QCheckBox::stateChanged, this, [this, i](int state) {
            if (!m_syncing) m_model.setChkZaimu(i, checkValue(state));
        });
    }
}

// The school kinds: elementary, junior high and both.
void FrmKov570::buildGakkouFrame()
{
    using kov::ui::twipsRect;
    m_frame2 = new QGroupBox(this);
    m_frame2->setObjectName("Frame2");
    m_frame2->setGeometry(twipsRect(5940, 1080, 3015, 2055));
    (new BlueLabel("学校選択", m_frame2))->setGeometry(twipsRect(60, 120, 1200, 300));
    const std::array<const char*, 4> schools = {"", "小学校", "中学校", "全　体"};
    for (int i = 1; i <= 3; ++i) {
        const auto u = static_cast<std::size_t>(i);
        m_lblGakkou[u] =
            new BlueLabel(schools[u], m_frame2, [this, i] { runGuardedClick([&] { m_model.lblGakkouClick(i); }); });
        m_lblGakkou[u]->setObjectName(QString("lblGakkou%1").arg(i));
        m_lblGakkou[u]->setGeometry(twipsRect(1020, kGakkouLabelTops[u], 1200, 300));
        m_chkGakkou[u] = checkBox(m_frame2, QString("chkGakkou%1").arg(i), twipsRect(560, kGakkouBoxTops[u], 195, 315));
        connect(m_chkGakkou[u], &QCheckBox::stateChanged, this, [this, i](int state) {
            if (!m_syncing) m_model.setChkGakkou(i, checkValue(state));
        });
    }
}

FrmKov570::~FrmKov570() { m_model.setView(nullptr); }

void FrmKov570::runGuardedClick(const std::function<void()>& action)
{
    kov::ui::runGuardedAction(m_rt, kCaption, action);
}

QList<QWidget*> FrmKov570::tabChain() const
{
    QList<QWidget*> chain{m_pfKeys->button(5), m_pfKeys->button(9)};
    for (int i = 1; i <= 3; ++i) chain << m_chkGakkou[static_cast<std::size_t>(i)];
    for (int i = 1; i <= 8; ++i) chain << m_chkZaimu[static_cast<std::size_t>(i)];
    chain << m_chkZaimu[0];
    return chain;
}

void FrmKov570::load()
{
    kov::ui::setupMainScreen(this, QString::fromUtf8(kCaption), kClientWidth, kClientHeight);
    m_model.formLoad();
}

void FrmKov570::showScreen()
{
    show();
    raise();
    activateWindow();
    kov::ui::setOpeningFocus(m_pfKeys->button(5));
}

void FrmKov570::refreshChecks()
{
    m_syncing = true;
    for (int i = 0; i <= 8; ++i) chkZaimu(i)->setChecked(m_model.chkZaimu(i) == CheckValue::Ticked);
    for (int i = 1; i <= 3; ++i) chkGakkou(i)->setChecked(m_model.chkGakkou(i) == CheckValue::Ticked);
    m_syncing = false;
}

void FrmKov570::refreshLabels()
{
    for (std::size_t i = 0; i < m_lblZaimu.size(); ++i)
        m_lblZaimu[i]->setText(QString::fromStdString(m_model.zaimuLabels()[i]));
}

void FrmKov570::focusZaimu(int index) { chkZaimu(index)->setFocus(Qt::OtherFocusReason); }
void FrmKov570::focusGakkou(int index) { chkGakkou(index)->setFocus(Qt::OtherFocusReason); }

void FrmKov570::runWithWaitScreen(RuntimeServices& rt, const std::function<void()>& work)
{
    kov::ui::runWithWaitScreen(this, rt, work);
}

} // namespace kov::kov570
