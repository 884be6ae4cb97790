// The launch rules on the real start code: the background screen's load step, and the
// single-copy check between real processes.
#include "common/tests/scriptedruntime.h"
#include "common/ui/frmback.h"
#include "common/ui/singlecopy.h"
#include "common/ui/startup.h"

#include <QDBusConnection>
#include <QProcess>
#include <QStandardPaths>
#include <QUuid>
#include <QtTest>

#include <csignal>
#include <unistd.h>

using kov::ScriptedRuntime;
using kov::ui::FrmBack;

namespace {

QString uniqueProgram() { return QStringLiteral("probe") + QUuid::createUuid().toString(QUuid::Id128).left(12); }

// A probe process for one program name and one command line, in this test's runtime
// folder (XDG_RUNTIME_DIR, set for the whole test) unless env changes it.
class Probe {
public:
    // workDir: started there; asUser: run as that user (runuser; the test runs as root).
    Probe(const QString& program, const QStringList& args, const QProcessEnvironment& changes = {},
          const QString& workDir = {}, const QString& asUser = {})
    {
        if (!workDir.isEmpty()) proc.setWorkingDirectory(workDir);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KOVUI_PROBE_PROGRAM"), program);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        for (const QString& key : changes.keys()) {
            if (changes.value(key).isEmpty()) env.remove(key);
            else env.insert(key, changes.value(key));
        }
        proc.setProcessEnvironment(env);
        proc.setProgram(QStringLiteral(KOV_BIN_DIR "/kovui_probe"));
        proc.setArguments(args);
        if (!asUser.isEmpty()) {
            proc.setProgram(QStringLiteral("runuser"));
            proc.setArguments(QStringList{QStringLiteral("-u"), asUser, QStringLiteral("--"),
                                          QStringLiteral(KOV_BIN_DIR "/kovui_probe")} +
                              args);
        }
        proc.start();
    }
    ~Probe()
    {
        // End of input ends the probe through the runtime, which gives up its lock;
        // kill only one that does not listen.
        if (proc.state() != QProcess::NotRunning) {
            proc.closeWriteChannel();
            if (!proc.waitForFinished(5000)) {
                proc.kill();
                proc.waitForFinished(5000);
            }
        }
    }
    // The first line on standard output ("started ..."), or "" when the probe ended
    // without one.
    QString firstLine()
    {
        QElapsedTimer t;
        t.start();
        while (!proc.canReadLine() && t.elapsed() < 15000) {
            if (proc.state() == QProcess::NotRunning) break;
            proc.waitForReadyRead(200);
        }
        return QString::fromUtf8(proc.readLine()).trimmed();
    }
    // Asks the probe to end with `status`; the status it ended with.
    int end(int status = 0)
    {
        proc.write("end " + QByteArray::number(status) + "\n");
        return exitStatus();
    }
    // Exit status once it ended by itself (-1 when it did not end in time).
    int exitStatus()
    {
        if (!proc.waitForFinished(15000)) return -1;
        return proc.exitStatus() == QProcess::NormalExit ? proc.exitCode() : -2;
    }
    QProcess proc;
};

} // namespace

class LaunchTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void atSignShrinksTheBackground();
    void withoutArgumentNoProcessStartsAndNothingIsShown();
    void secondCopyEndsWhileTheFirstRuns();
    void secondCopyEndsWhateverItsTmpDir();
    void killedCopyDoesNotBlockTheNextStart();
    void endProgramFlushesAndEndsWithTheStatus();
    void lockFolderOfAnotherUserIsNotUsed();
    void relativeFoldersAreMadeAbsoluteAtStart();
    void helpAndVersionAnswerWithoutAWindow();
    void notificationsReachTheSessionBusEvenAtTheEnd();

private:
    QTemporaryDir m_runtimeDir;
};

void LaunchTest::initTestCase()
{
    // The probes' runtime folder: Qt wants one (and says so on standard error without
    // it), and the one-copy lock lives there.
    QVERIFY(m_runtimeDir.isValid());
    QFile::setPermissions(m_runtimeDir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtimeDir.path()));
}

void LaunchTest::atSignShrinksTheBackground()
{
    for (const char* arg : {"@", "1@", " 1@  "}) {
        ScriptedRuntime rt(".", arg);
        FrmBack back;
        back.load(rt, uniqueProgram());
        QVERIFY(back.isShrunk());
        QCOMPARE(back.size(), QSize(0, 0));
        QVERIFY(!back.windowState().testFlag(Qt::WindowMaximized));
        QCOMPARE(rt.doEventsCount, 1);
        QVERIFY(rt.messages.empty());
    }
    // "@" in the middle is no trailing "@".
    ScriptedRuntime rt(".", "1@2");
    FrmBack back;
    back.load(rt, uniqueProgram());
    QVERIFY(!back.isShrunk());
    QCOMPARE(rt.doEventsCount, 0);
}

void LaunchTest::withoutArgumentNoProcessStartsAndNothingIsShown()
{
    const QString program = uniqueProgram();
    for (const QStringList& args : {QStringList{}, QStringList{QString()}, QStringList{QStringLiteral("  ")}}) {
        Probe p(program, args);
        QCOMPARE(p.exitStatus(), kov::kExitLaunchRule);
        QCOMPARE(p.proc.readAllStandardOutput(), QByteArray());
        QCOMPARE(p.proc.readAllStandardError(), QByteArray());
    }
    // Nothing of the failed starts stays behind to block a proper one.
    Probe ok(program, {QStringLiteral("@")});
    QCOMPARE(ok.firstLine(), QStringLiteral("started shrunk=1 size=0x0 maximized=0 rtl=0 arg=[@]"));
    // The arguments are the program's, not Qt's.
    Probe p(uniqueProgram(), {QStringLiteral("-reverse"), QStringLiteral("x@")});
    QCOMPARE(p.firstLine(), QStringLiteral("started shrunk=1 size=0x0 maximized=0 rtl=0 arg=[-reverse x@]"));
}

void LaunchTest::secondCopyEndsWhileTheFirstRuns()
{
    const QString program = uniqueProgram();
    Probe first(program, {QStringLiteral("1")});
    QCOMPARE(first.firstLine(), QStringLiteral("started shrunk=0 size=%1x%2 maximized=1 rtl=0 arg=[1]")
                                    .arg(QGuiApplication::primaryScreen()->geometry().width())
                                    .arg(QGuiApplication::primaryScreen()->geometry().height()));

    Probe second(program, {QStringLiteral("1@")});
    QCOMPARE(second.exitStatus(), kov::kExitLaunchRule);
    QCOMPARE(second.proc.readAllStandardOutput(), QByteArray());

    // The check is per program: another program starts beside the first.
    Probe other(uniqueProgram(), {QStringLiteral("1")});
    QVERIFY(other.firstLine().startsWith(QStringLiteral("started")));

    // The first copy is unaffected and still answers.
    QCOMPARE(first.proc.state(), QProcess::Running);
    QCOMPARE(first.end(), 0);

    // After it ended normally, a new copy starts.
    Probe third(program, {QStringLiteral("1")});
    QVERIFY(third.firstLine().startsWith(QStringLiteral("started")));
}

// The lock is kept in the session's runtime folder, or else in the user's fixed folder
// /tmp/kov-<uid>, never in TMPDIR: a second copy with another TMPDIR ends all the same.
void LaunchTest::secondCopyEndsWhateverItsTmpDir()
{
    QTemporaryDir tmpA, tmpB;
    for (const bool sessionFolder : {true, false}) {
        const char* name = sessionFolder ? "runtime folder of the session" : "no XDG_RUNTIME_DIR";
        const QString program = uniqueProgram();
        QProcessEnvironment first, second;
        first.insert(QStringLiteral("TMPDIR"), tmpA.path());
        second.insert(QStringLiteral("TMPDIR"), tmpB.path());
        if (!sessionFolder) {
            first.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString());
            second.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString());
        }
        Probe one(program, {QStringLiteral("1")}, first);
        QVERIFY2(one.firstLine().startsWith(QStringLiteral("started")), name);
        Probe two(program, {QStringLiteral("1")}, second);
        QVERIFY2(two.exitStatus() == kov::kExitLaunchRule, name);
        if (!sessionFolder) {
            const QFileInfo fixed(QStringLiteral("/tmp/kov-%1").arg(::getuid()));
            QVERIFY(fixed.isDir());
            QCOMPARE(fixed.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                                            QFile::WriteOther | QFile::ExeOther),
                     QFile::Permissions());
        }
        QCOMPARE(one.end(), 0);
    }
}

void LaunchTest::killedCopyDoesNotBlockTheNextStart()
{
    const QString program = uniqueProgram();
    {
        Probe first(program, {QStringLiteral("1")});
        QVERIFY(first.firstLine().startsWith(QStringLiteral("started")));
        ::kill(static_cast<pid_t>(first.proc.processId()), SIGKILL);
        QVERIFY(first.proc.waitForFinished(5000));
    }
    // The killed copy left its lock file and its socket behind.
    QVERIFY(QFileInfo::exists(kov::ui::SingleCopyGuard::lockFilePath(program)));

    Probe next(program, {QStringLiteral("1")});
    QVERIFY(next.firstLine().startsWith(QStringLiteral("started")));
    Probe blocked(program, {QStringLiteral("1")});
    QCOMPARE(blocked.exitStatus(), kov::kExitLaunchRule);
}

// The end also removes a file still being written: a run that a status ends leaves no
// OVL.TMP.part.
void LaunchTest::endProgramFlushesAndEndsWithTheStatus()
{
    QTemporaryDir work;
    Probe p(uniqueProgram(), {QStringLiteral("1")});
    QVERIFY(p.firstLine().startsWith(QStringLiteral("started")));
    p.proc.write("pending " + QFile::encodeName(work.path()) + "\n");
    QCOMPARE(p.firstLine(), QStringLiteral("pending"));
    QVERIFY(QFileInfo::exists(work.filePath(QStringLiteral("OVL.TMP.part"))));
    QCOMPARE(p.end(7), 7);
    QCOMPARE(p.proc.readAllStandardOutput(), QByteArray("ending"));
    QCOMPARE(QDir(work.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

// /tmp/kov-<uid> made beforehand by someone else: the check moves to a folder of the
// user's own, says so, and still ends a second copy. With a real second user.
void LaunchTest::lockFolderOfAnotherUserIsNotUsed()
{
    if (::geteuid() != 0) QSKIP("needs root, to start the probes as the user nobody");
    const QString taken = QStringLiteral("/tmp/kov-65534");
    if (QFileInfo::exists(taken)) QSKIP("/tmp/kov-65534 exists already");
    QVERIFY(QDir().mkdir(taken));
    QProcessEnvironment env;
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString());
    const QString program = uniqueProgram();
    {
        Probe one(program, {QStringLiteral("1")}, env, {}, QStringLiteral("nobody"));
        QVERIFY(one.firstLine().startsWith(QStringLiteral("started")));
        Probe two(program, {QStringLiteral("1")}, env, {}, QStringLiteral("nobody"));
        QCOMPARE(two.exitStatus(), kov::kExitLaunchRule);
        const QString told = QString::fromUtf8(one.proc.readAllStandardError());
        QVERIFY2(told.contains(QStringLiteral("「/tmp/kov-65534」は他の利用者のもの")) &&
                     told.contains(QStringLiteral("「/tmp/kov-65534.1」を使います")),
                 qPrintable(told));
        QCOMPARE(one.end(), 0);
    }
    QVERIFY(QFileInfo(taken + QStringLiteral(".1")).ownerId() == 65534);
    QDir(taken + QStringLiteral(".1")).removeRecursively();
    QDir().rmdir(taken);
}

// KOV_INI_DIR=build/demo means the folder below where the program was started, also to
// the programs it starts in other folders: the variables are made absolute at once.
void LaunchTest::relativeFoldersAreMadeAbsoluteAtStart()
{
    QTemporaryDir start;
    QProcessEnvironment env;
    env.insert(QStringLiteral("KOV_INI_DIR"), QStringLiteral("build/demo/"));
    env.insert(QStringLiteral("KOV_WORK_DIR"), QStringLiteral("../work"));
    Probe p(uniqueProgram(), {QStringLiteral("1")}, env, start.path());
    QVERIFY(p.firstLine().startsWith(QStringLiteral("started")));
    p.proc.write("env KOV_INI_DIR\nenv KOV_WORK_DIR\n");
    const QString root = QDir(start.path()).canonicalPath();
    QCOMPARE(p.firstLine(), QStringLiteral("KOV_INI_DIR=%1/build/demo").arg(root));
    QCOMPARE(p.firstLine(), QStringLiteral("KOV_WORK_DIR=%1/work").arg(QFileInfo(root).path()));
}

void LaunchTest::helpAndVersionAnswerWithoutAWindow()
{
    const QString program = uniqueProgram();
    Probe running(program, {QStringLiteral("1")});
    QVERIFY(running.firstLine().startsWith(QStringLiteral("started")));
    // Answered even while a copy runs, and without asking it for its screen.
    struct Case {
        const char* option;
        int status;
        QByteArray out, err;
    };
    for (const Case& c : {Case{"--help", kov::kExitLaunchRule, {}, "使い方: " + program.toUtf8() + " "},
                          Case{"--version", 0, program.toUtf8() + " 1.", {}}}) {
        Probe p(program, {QString::fromLatin1(c.option)});
        QCOMPARE(p.exitStatus(), c.status);
        const QByteArray out = p.proc.readAllStandardOutput(), err = p.proc.readAllStandardError();
        QVERIFY2(c.out.isEmpty() ? out.isEmpty() : out.startsWith(c.out) && out.count('\n') == 1, out.constData());
        QVERIFY2(c.err.isEmpty() ? err.isEmpty() : err.startsWith(c.err) && err.count('\n') == 1, err.constData());
    }
}

// A recording notification service of the test's own on a session bus of its own: the
// notification of a program that ends right after sending it still arrives.
class Recorder : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList seen;
public slots:
    uint Notify(const QString& app, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int)
    {
        seen << app + u'|' + summary + u'|' + body;
        return static_cast<uint>(seen.size());
    }
};

void LaunchTest::notificationsReachTheSessionBusEvenAtTheEnd()
{
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) QSKIP("dbus-daemon is not installed");
    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"),
              {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    QVERIFY(bus.waitForReadyRead(10000));
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();
    QVERIFY(!address.isEmpty());
    QProcessEnvironment env;
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);

    // No service on the bus, and no bus at all: nothing happens, the program goes on.
    for (const QString& where : {address, QStringLiteral("unix:path=/nonexistent/bus")}) {
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), where);
        Probe p(uniqueProgram(), {QStringLiteral("1")}, env);
        QVERIFY(p.firstLine().startsWith(QStringLiteral("started")));
        p.proc.write("notify nobody listens\nenv DBUS_SESSION_BUS_ADDRESS\n");
        QVERIFY(p.firstLine().startsWith(QStringLiteral("DBUS_SESSION_BUS_ADDRESS=")));
        QCOMPARE(p.end(), 0);
    }

    Recorder recorder;
    QDBusConnection conn = QDBusConnection::connectToBus(address, QStringLiteral("recorder"));
    QVERIFY(conn.isConnected());
    QVERIFY(conn.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &recorder,
                                QDBusConnection::ExportAllSlots));
    QVERIFY(conn.registerService(QStringLiteral("org.freedesktop.Notifications")));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    Probe p(uniqueProgram(), {QStringLiteral("1")}, env);
    QVERIFY(p.firstLine().startsWith(QStringLiteral("started")));
    p.proc.write("notify SKSYOKU.CSV を /media/clerk/USB-A/ に退避しました（600 件）\nend 0\n");
    // The recorder answers only when this test's event loop runs again (below): the probe
    // does not wait for the answer beyond its moment at the end.
    QCOMPARE(p.exitStatus(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(
        recorder.seen,
        QStringList{QStringLiteral("kov|動作確認|SKSYOKU.CSV を /media/clerk/USB-A/ に退避しました（600 件）")}, 5000);
    QDBusConnection::disconnectFromBus(QStringLiteral("recorder"));
    bus.terminate();
    bus.waitForFinished(5000);
}

QTEST_MAIN(LaunchTest)
#include "tst_launch.moc"
