// The launch rules on the real start code: the background screen's load step, and the
// single-copy check between real processes.
#include "common/tests/scriptedruntime.h"
#include "common/ui/frmback.h"
#include "common/ui/singlecopy.h"
#include "common/ui/startup.h"

#include <QProcess>
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
    // asUser: run as that user (runuser; the test runs as root).
    Probe(const QString& program, const QStringList& args, const QProcessEnvironment& changes = {},
          const QString& asUser = {})
    {
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
                                          QStringLiteral(KOV_BIN_DIR "/kovui_probe")} + args);
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
    void argumentsAreTheProgramsNotQts();
    void lockFolderOfAnotherUserIsNotUsed();

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
    first.proc.write("end 0\n");
    QCOMPARE(first.exitStatus(), 0);

    // After it ended normally, a new copy starts.
    Probe third(program, {QStringLiteral("1")});
    QVERIFY(third.firstLine().startsWith(QStringLiteral("started")));
}

// The lock is kept in the session's runtime folder, or else in the user's fixed folder
// /tmp/kov-<uid>, never in TMPDIR: a second copy with another TMPDIR ends all the same.
void LaunchTest::secondCopyEndsWhateverItsTmpDir()
{
    QTemporaryDir tmpA, tmpB;
    struct Case {
        const char* name;
        bool sessionFolder;
    };
    for (const Case& c : {Case{"runtime folder of the session", true}, Case{"no XDG_RUNTIME_DIR", false}}) {
        const QString program = uniqueProgram();
        QProcessEnvironment first, second;
        first.insert(QStringLiteral("TMPDIR"), tmpA.path());
        second.insert(QStringLiteral("TMPDIR"), tmpB.path());
        if (!c.sessionFolder) {
            first.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString());
            second.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString());
        }
        Probe one(program, {QStringLiteral("1")}, first);
        QVERIFY2(one.firstLine().startsWith(QStringLiteral("started")), c.name);
        Probe two(program, {QStringLiteral("1")}, second);
        QVERIFY2(two.exitStatus() == kov::kExitLaunchRule, c.name);
        if (!c.sessionFolder) {
            const QFileInfo fixed(QStringLiteral("/tmp/kov-%1").arg(::getuid()));
            QVERIFY(fixed.isDir());
            QCOMPARE(fixed.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                                            QFile::WriteOther | QFile::ExeOther),
                     QFile::Permissions());
        }
        one.proc.write("end 0\n");
        QCOMPARE(one.exitStatus(), 0);
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
    p.proc.write("end 7\n");
    QCOMPARE(p.exitStatus(), 7);
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
        Probe one(program, {QStringLiteral("1")}, env, QStringLiteral("nobody"));
        QVERIFY(one.firstLine().startsWith(QStringLiteral("started")));
        Probe two(program, {QStringLiteral("1")}, env, QStringLiteral("nobody"));
        QCOMPARE(two.exitStatus(), kov::kExitLaunchRule);
        const QString told = QString::fromUtf8(one.proc.readAllStandardError());
        QVERIFY2(told.contains(QStringLiteral("「/tmp/kov-65534」は他の利用者のもの")) &&
                     told.contains(QStringLiteral("「/tmp/kov-65534.1」を使います")),
                 qPrintable(told));
        one.proc.write("end 0\n");
        QCOMPARE(one.exitStatus(), 0);
    }
    QVERIFY(QFileInfo(taken + QStringLiteral(".1")).ownerId() == 65534);
    QDir(taken + QStringLiteral(".1")).removeRecursively();
    QDir().rmdir(taken);
}

void LaunchTest::argumentsAreTheProgramsNotQts()
{
    Probe p(uniqueProgram(), {QStringLiteral("-reverse"), QStringLiteral("x@")});
    QCOMPARE(p.firstLine(), QStringLiteral("started shrunk=1 size=0x0 maximized=0 rtl=0 arg=[-reverse x@]"));
}

QTEST_MAIN(LaunchTest)
#include "tst_launch.moc"
