#include "common/ui/singlecopy.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QRegularExpression>
#include <QTimer>

#include <utility>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kov::ui {

namespace {

// The user part of the names: the numeric user id where there is one, so that two
// users on one machine never see each other's copies.
QString userTag()
{
#ifdef Q_OS_UNIX
    return QString::number(static_cast<qulonglong>(::getuid()));
#else
    QString user = qEnvironmentVariable("USERNAME");
    if (user.isEmpty()) user = qEnvironmentVariable("USER");
    return user;
#endif
}

// How many fallbacks beside /tmp/kov-<uid> are tried when another user holds it.
constexpr int kAlternatives = 20;

QString safePart(QString s)
{
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9_.-]"));
    return s.replace(unsafe, QStringLiteral("_"));
}

#ifdef Q_OS_UNIX
// A folder that only this user can reach: a real directory (not a link), owned by the
// user, with no access for group and others.
bool isPrivateFolder(const QString& path)
{
    struct stat st {};
    const QByteArray p = QFile::encodeName(path);
    return ::lstat(p.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 077) == 0;
}
#endif

// The one request a later start makes of the running copy.
constexpr char kRaiseRequest[] = "raise\n";

// Connects to the running copy's server; true when it answered. With `raise`, asks it to
// bring its screen to the front before leaving.
bool knock(const QString& name, bool raise)
{
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(500)) return false;
    if (raise) {
        socket.write(kRaiseRequest);
        socket.waitForBytesWritten(500);
    }
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(500);
    return true;
}

} // namespace

QString SingleCopyGuard::runtimeFolder()
{
#ifdef Q_OS_UNIX
    // Where the user's session keeps such things; the temporary folder (TMPDIR) is not
    // asked, so that a copy started with another TMPDIR still finds the first one.
    const QString session = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!session.isEmpty() && QDir::isAbsolutePath(session) && isPrivateFolder(session)) return session;
    // Else a fixed folder of this user, made for it: /tmp/kov-<uid>, mode 0700. One that
    // someone else made, or that others may enter, is not used: then the first of
    // /tmp/kov-<uid>.1, .2, ... that is the user's own or can be made, the same one for
    // every copy, so that the check still holds; said on standard error.
    const QString fixed = QStringLiteral("/tmp/kov-%1").arg(userTag());
    for (int n = 0; n <= kAlternatives; ++n) {
        const QString folder = n == 0 ? fixed : fixed + QLatin1Char('.') + QString::number(n);
        const QByteArray f = QFile::encodeName(folder);
        if (::mkdir(f.constData(), 0700) != 0 && errno != EEXIST) continue;
        struct stat st {};
        if (::lstat(f.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
            (st.st_mode & 077) != 0)
            ::chmod(f.constData(), 0700);
        if (!isPrivateFolder(folder)) continue;
        static bool told = false; // once, though both the lock and the server ask
        if (n > 0 && !std::exchange(told, true))
            std::fprintf(stderr,
                         "kov: 一重起動の確認用フォルダ「%s」は他の利用者のものか、他の利用者も使えるため、"
                         "代わりに「%s」を使います。\n",
                         QFile::encodeName(fixed).constData(), f.constData());
        return folder;
    }
    std::fprintf(stderr,
                 "kov: 一重起動の確認用フォルダ「%s」とその代わりのフォルダがどれも使えません"
                 "（他の利用者のものか、他の利用者も使えます）。二重起動を確かめられません。\n",
                 QFile::encodeName(fixed).constData());
    return {};
#else
    return QDir::tempPath();
#endif
}

SingleCopyGuard::SingleCopyGuard(const QString& programName) : m_program(programName) {}

SingleCopyGuard::~SingleCopyGuard() { release(); }

QString SingleCopyGuard::lockFilePath(const QString& programName)
{
    const QString folder = runtimeFolder();
    if (folder.isEmpty()) return {};
    return QDir(folder).filePath(QStringLiteral("kov-%1-%2.lock").arg(safePart(programName), safePart(userTag())));
}

QString SingleCopyGuard::serverName(const QString& programName)
{
    const QString name = QStringLiteral("kov-%1-%2.run").arg(safePart(programName), safePart(userTag()));
#ifdef Q_OS_UNIX
    // A full path: a bare name would put the socket in the temporary folder.
    const QString folder = runtimeFolder();
    if (folder.isEmpty()) return {};
    return QDir(folder).filePath(name);
#else
    return name;
#endif
}

bool SingleCopyGuard::acquire()
{
    release();
    const QString lockPath = lockFilePath(m_program);
    // No private folder for the lock (see runtimeFolder): the copy runs rather than be
    // refused for a fault of the machine's set-up.
    if (lockPath.isEmpty()) return true;
    m_lock = std::make_unique<QLockFile>(lockPath);
    // Never stale by age: a lock is stale only when the copy that holds it is gone.
    m_lock->setStaleLockTime(0);
    bool locked = m_lock->tryLock(0);
    if (!locked && m_lock->error() == QLockFile::LockFailedError) {
        // Left behind by a copy that crashed or was killed: the file stays, its OS lock
        // does not. removeStaleLockFile removes it only in that case.
        m_lock->removeStaleLockFile();
        locked = m_lock->tryLock(0);
    }
    if (!locked && m_lock->error() == QLockFile::LockFailedError) {
        m_lock.reset();
        knock(serverName(m_program), true);
        return false;
    }
    // Locked, or the folder cannot hold a lock file: the local server decides.

    const QString name = serverName(m_program);
    if (knock(name, true)) {
        release();
        return false;
    }
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(name)) {
        // A socket file left by a copy that is gone (nothing answered above).
        // When even that fails there is nothing more to check with: let the copy run
        // rather than refuse it for a fault of the folder.
        QLocalServer::removeServer(name);
        m_server->listen(name);
    }
    // A later start knocks, asks for the screen to come to the front and leaves: any
    // other bytes are no request, and a caller that says nothing is let go after a while.
    QObject::connect(m_server.get(), &QLocalServer::newConnection, m_server.get(), [this, srv = m_server.get()] {
        while (QLocalSocket* s = srv->nextPendingConnection()) {
            QObject::connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            QObject::connect(s, &QLocalSocket::readyRead, s, [this, s] {
                if (s->bytesAvailable() < static_cast<qint64>(sizeof kRaiseRequest - 1)) return;
                const bool raise = s->read(sizeof kRaiseRequest - 1) == QByteArray(kRaiseRequest);
                s->abort();
                if (raise && m_raise) m_raise();
            });
            QTimer::singleShot(2000, s, [s] { s->abort(); });
        }
    });
    return true;
}

void SingleCopyGuard::release()
{
    if (m_server) {
        m_server->close();
        m_server.reset();
    }
    if (m_lock) {
        m_lock->unlock();
        m_lock.reset();
    }
}

} // namespace kov::ui
