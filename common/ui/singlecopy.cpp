#include "common/ui/singlecopy.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QRegularExpression>

#ifdef Q_OS_UNIX
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

QString safePart(QString s)
{
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9_.-]"));
    return s.replace(unsafe, QStringLiteral("_"));
}

} // namespace

SingleCopyGuard::SingleCopyGuard(const QString& programName) : m_program(programName) {}

SingleCopyGuard::~SingleCopyGuard() { release(); }

QString SingleCopyGuard::lockFilePath(const QString& programName)
{
    return QDir(QDir::tempPath())
        .filePath(QStringLiteral("kov-%1-%2.lock").arg(safePart(programName), safePart(userTag())));
}

QString SingleCopyGuard::serverName(const QString& programName)
{
    return QStringLiteral("kov-%1-%2.run").arg(safePart(programName), safePart(userTag()));
}

bool SingleCopyGuard::acquire()
{
    release();
    m_lock = std::make_unique<QLockFile>(lockFilePath(m_program));
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
        return false;
    }
    // Locked, or the temporary folder cannot hold a lock file: the local server decides.

    const QString name = serverName(m_program);
    {
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(500)) {
            probe.abort();
            release();
            return false;
        }
    }
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(name)) {
        // A socket file left by a copy that is gone (nothing answered above).
        // When even that fails there is nothing more to check with: let the copy run
        // rather than refuse it for a fault of the temporary folder.
        QLocalServer::removeServer(name);
        m_server->listen(name);
    }
    // Callers only knock to see whether this copy runs; close what they open.
    QObject::connect(m_server.get(), &QLocalServer::newConnection, m_server.get(), [srv = m_server.get()] {
        while (QLocalSocket* s = srv->nextPendingConnection()) {
            s->abort();
            s->deleteLater();
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
