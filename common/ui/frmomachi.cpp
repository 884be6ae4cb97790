#include "common/ui/frmomachi.h"

#include "common/runtimeservices.h"
#include "common/ui/fonts.h"
#include "common/ui/qtruntime.h"
#include "common/ui/twips.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QWindow>

namespace kov::ui {

namespace {
QLabel* makeLabel(QWidget* parent, const QString& text, const QRect& geometry)
{
    auto* label = new QLabel(text, parent);
    label->setFont(screenFont());
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    return label;
}
} // namespace

FrmOMACHI::FrmOMACHI(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("frmOMACHI"));
    setModal(false);
    setFont(screenFont());
    setFixedSize(twipsToPx(4680), twipsToPx(1710));
    m_label1 = makeLabel(this, QStringLiteral("ただいま処理中です。"), twipsRect(30, 420, 4605, 255));
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label2 = makeLabel(this, QStringLiteral("しばらくお待ち下さい。"), twipsRect(0, 990, 4635, 255));
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_progress = makeLabel(this, QString(), twipsRect(0, 1350, 4635, 255));
    m_progress->setObjectName(QStringLiteral("lblProgress"));
    centreScreen(this);
    m_shown.start();
}

void FrmOMACHI::showProgress(kov::ProgressPhase /*phase*/, int pagesDone)
{
    // Both phases read alike to the clerk: the pages made so far, first of the command
    // file, then of the printout.
    // A short run shows only the two lines; a long one a new count at most four times a second.
    const qint64 now = m_shown.elapsed();
    if (now < 2000 || (m_lastPaint >= 0 && now - m_lastPaint < 250)) return;
    m_lastPaint = now;
    m_progress->setText(QStringLiteral("これまでに %1 ページを作成しました。").arg(pagesDone));
    // The run lets no events run: the window system's expose and paint requests are
    // taken here, the clerk's keys and clicks are not.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    m_progress->repaint();
}

void FrmOMACHI::closeEvent(QCloseEvent* event) { event->ignore(); }

void runWithWaitScreen(QWidget* caller, kov::RuntimeServices& rt, const std::function<void()>& work)
{
    // Not a child of the caller, so that disabling the caller leaves the wait screen
    // enabled; transient for the caller's window, so that it stays above it.
    auto wait = std::make_unique<FrmOMACHI>();
    setWindowCaption(wait.get(), caller->windowTitle());
    wait->winId();
    if (QWidget* top = caller->window(); top->windowHandle() && wait->windowHandle())
        wait->windowHandle()->setTransientParent(top->windowHandle());
    wait->show();
    wait->raise();
    caller->setEnabled(false);

    struct Restore {
        QWidget* caller;
        std::unique_ptr<FrmOMACHI>& wait;
        kov::RuntimeServices& rt;
        ~Restore()
        {
            rt.setProgressListener({});
            caller->setEnabled(true);
            wait.reset();
        }
    };
    {
        Restore restore{caller, wait, rt};
        rt.setProgressListener(
            [w = wait.get()](kov::ProgressPhase phase, int pages) { w->showProgress(phase, pages); });
        rt.doEvents();
        work();
    }
    rt.doEvents();
}

} // namespace kov::ui
