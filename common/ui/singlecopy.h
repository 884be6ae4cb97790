#pragma once
// Detects a second running copy of the same program for the same user. A lock file in
// the user's runtime folder (held with an OS file lock, so a copy that crashed or was
// killed leaves nothing that blocks the next start) plus a local server whose name
// carries the program and the user (found by a connection attempt even if the lock
// file was removed by a clean-up). The runtime folder is where the user's session keeps
// such things, $XDG_RUNTIME_DIR, or else /tmp/kov-<uid> (made 0700 and used only when it
// is the user's own; when another user made it first, /tmp/kov-<uid>.1, .2, ...): never
// TMPDIR, so a copy started with another TMPDIR finds the first.
#include <QString>

#include <functional>
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
    // the program runs for this user, which has then been asked to bring its screen to
    // the front (the knock waits at most half a second for it).
    bool acquire();
    // What the running copy does when a later start knocks: bring its screen to the front.
    void setRaiseHandler(std::function<void()> handler) { m_raise = std::move(handler); }
    // Gives the lock up (done when the process ends).
    void release();

    // The folder of the lock and of the server's socket (empty when no private folder can
    // be had); the name of the lock file and of the local server for a program and this user.
    static QString runtimeFolder();
    static QString lockFilePath(const QString& programName);
    static QString serverName(const QString& programName);

private:
    QString m_program;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QLocalServer> m_server;
    std::function<void()> m_raise;
};

} // namespace kov::ui
