#pragma once
// Detects a second running copy of the same program for the same user. A lock file in
// the temporary folder (held with an OS file lock, so a copy that crashed or was killed
// leaves nothing that blocks the next start) plus a local server whose name carries the
// program and the user (found by a connection attempt even if the lock file was
// removed from the temporary folder by a clean-up).
#include <QString>

#include <memory>

class QLockFile;
class QLocalServer;

namespace kov::ui {

class SingleCopyGuard {
public:
    explicit SingleCopyGuard(const QString& programName);
    ~SingleCopyGuard();
    SingleCopyGuard(const SingleCopyGuard&) = delete;
    SingleCopyGuard& operator=(const SingleCopyGuard&) = delete;

    // True when this process is now the one running copy; false when another copy of
    // the program runs for this user.
    bool acquire();
    // Gives the lock up (done when the process ends).
    void release();

    // The name of the lock file and of the local server for a program and this user.
    static QString lockFilePath(const QString& programName);
    static QString serverName(const QString& programName);

private:
    QString m_program;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QLocalServer> m_server;
};

} // namespace kov::ui
