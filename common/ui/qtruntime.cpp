#include "common/ui/qtruntime.h"

#include "common/runtimeerror.h"
#include "common/safefile.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

#include <cstdio>
#include <unistd.h>

namespace kov::ui {

std::string commandLineOf(int argc, char** argv)
{
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ' ';
        line += argv[i];
    }
    return line;
}

// A zero-width space: a title that shows nothing but is not empty, so that the window
// system does not show the program name instead.
static const QChar kEmptyCaption(0x200B);

void setWindowCaption(QWidget* window, const QString& caption)
{
    window->setWindowTitle(caption.isEmpty() ? QString(kEmptyCaption) : caption);
}

void runGuardedAction(kov::RuntimeServices& rt, const std::string& title, const std::function<void()>& action)
{
    kov::runGuarded(rt, title, [&] {
        try {
            action();
        } catch (const kov::RuntimeError&) {
            throw;
        } catch (const std::exception& e) {
            throw kov::ProgramStop("実行時エラーが発生しました。\r\n" + std::string(e.what()), MsgIcon::Stop, title);
        }
    });
}

QtRuntime::QtRuntime(std::string commandLine) : m_commandLine(std::move(commandLine)) {}

void QtRuntime::doEvents() { QCoreApplication::processEvents(); }

void QtRuntime::notify(const std::string& summary, const std::string& body)
{
    // The body may be read as simple markup by the service: the file names stay text.
    const QString text = QString::fromStdString(body).toHtmlEscaped();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // No service started for it: a desktop without notifications stays without.
    call.setAutoStartService(false);
    call << QStringLiteral("kov") << 0u << QStringLiteral("kov") << QString::fromStdString(summary) << text
         << QStringList() << QVariantMap() << -1;
    std::erase_if(m_notifications, [](const QDBusPendingCall& c) { return c.isFinished(); });
    m_notifications.push_back(bus.asyncCall(call));
}

void QtRuntime::endProcess(int exitStatus)
{
    // Last registered, first run. NOLINTNEXTLINE(modernize-loop-convert): a reverse walk
    for (auto it = m_endHooks.rbegin(); it != m_endHooks.rend(); ++it) (*it)();
    // No destructor runs after this: a file half written (a command file when a status
    // ends the run) is removed here.
    kov::discardPendingFiles();
    // A notification just sent (kov970 ends right after its backup) must leave the
    // process before it ends; its answer is not looked at.
    const QDeadlineTimer deadline(500);
    for (QDBusPendingCall& c : m_notifications) {
        if (deadline.hasExpired()) break;
        while (!c.isFinished() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    std::fflush(nullptr);
    ::_exit(exitStatus);
}

std::string QtRuntime::appPath() const
{
    QString dir = QCoreApplication::applicationDirPath();
    while (dir.size() > 1 && (dir.endsWith(u'/') || dir.endsWith(u'\\'))) dir.chop(1);
    return dir.toStdString();
}

void QtRuntime::addEndHook(std::function<void()> hook) { m_endHooks.push_back(std::move(hook)); }

MsgResult QtRuntime::showMessage(const std::string& text, MsgIcon icon, MsgButtons buttons, const std::string& title)
{
    QMessageBox::Icon qIcon = QMessageBox::NoIcon;
    switch (icon) {
    case MsgIcon::Stop:
        qIcon = QMessageBox::Critical;
        break;
    case MsgIcon::Exclamation:
        qIcon = QMessageBox::Warning;
        break;
    case MsgIcon::Question:
        qIcon = QMessageBox::Question;
        break;
    case MsgIcon::Information:
        qIcon = QMessageBox::Information;
        break;
    }
    QString body = QString::fromStdString(text);
    body.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    const auto qButtons = buttons == MsgButtons::YesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok;
    QMessageBox box(qIcon, QString(), body, qButtons, QApplication::activeWindow());
    setWindowCaption(&box, QString::fromStdString(title));
    box.setTextFormat(Qt::PlainText);
    // Yes/No: Return answers Yes, Escape answers No.
    box.setDefaultButton(buttons == MsgButtons::YesNo ? QMessageBox::Yes : QMessageBox::Ok);
    box.setEscapeButton(buttons == MsgButtons::YesNo ? QMessageBox::No : QMessageBox::Ok);
    if (buttons == MsgButtons::YesNo) {
        box.button(QMessageBox::Yes)->setText(QStringLiteral("はい(&Y)"));
        box.button(QMessageBox::No)->setText(QStringLiteral("いいえ(&N)"));
    }
    const int answer = box.exec();
    if (buttons == MsgButtons::Ok) return MsgResult::Ok;
    return answer == QMessageBox::Yes ? MsgResult::Yes : MsgResult::No;
}

} // namespace kov::ui
