// A minimal program on the shared start code, for the tests of the launch rules and
// for looking at the runtime on a real display. It reports on standard output:
//   started shrunk=<0|1> size=<w>x<h> maximized=<0|1> rtl=<0|1> arg=[<command line>]
// then reads commands from standard input:
//   end <n>     ends through the runtime with exit status n
//   pending <folder>  starts a command file OVL.TMP there and leaves it uncommitted
//               (what a print run that a status ends leaves open)
//   env <NAME>  prints "<NAME>=<value>" of its environment
//   notify <t>  sends the desktop notification "動作確認" / <t> through the runtime
// The program name used for the single-copy check is KOVUI_PROBE_PROGRAM (default
// "kovui_probe"), so that concurrent test runs do not meet.
#include "common/ui/fonts.h"
#include "common/ui/frmomachi.h"
#include "common/ui/pfkeybar.h"
#include "common/ui/startup.h"
#include "common/ui/twips.h"

#include "common/safefile.h"

#include <QGuiApplication>
#include <QLabel>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

// Button lefts of a block report screen.
constexpr kov::ui::PfButtonLefts kKeyLefts = {375, 1230, 2085, 2940, 4095, 4950, 5805, 6660, 7815, 8670, 9525, 10380};

int main(int argc, char** argv)
{
    QString program = qEnvironmentVariable("KOVUI_PROBE_PROGRAM");
    if (program.isEmpty()) program = QStringLiteral("kovui_probe");
    return kov::ui::runProgram(argc, argv, program, [](kov::ui::QtRuntime& rt, kov::ui::FrmBack& back) {
        std::printf("started shrunk=%d size=%dx%d maximized=%d rtl=%d arg=[%s]\n", back.isShrunk() ? 1 : 0,
                    back.width(), back.height(), back.windowState().testFlag(Qt::WindowMaximized) ? 1 : 0,
                    QGuiApplication::isRightToLeft() ? 1 : 0, rt.commandLine().c_str());
        std::fflush(stdout);

        auto* screen = new QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
        screen->setAttribute(Qt::WA_DeleteOnClose, false);
        screen->setWindowTitle(QStringLiteral("動作確認"));
        screen->setFont(kov::ui::screenFont());
        screen->setFixedSize(kov::ui::twipsToPx(11610), kov::ui::twipsToPx(7875));
        auto* label = new QLabel(QStringLiteral("ブロック選択　期末勤勉手当支給調書印刷"), screen);
        label->setGeometry(kov::ui::twipsRect(4020, 2400, 4600, 300));
        auto* bar = new kov::ui::PfKeyBar(screen, rt, kKeyLefts);
        for (int i = 0; i < 12; ++i) bar->setEnabled(i, false);
        bar->setCaption(0, QStringLiteral("切　替"));
        bar->setCaption(5, QStringLiteral("印　刷"));
        bar->setCaption(9, QStringLiteral("終　了"));
        for (int i : {0, 5, 9}) bar->setEnabled(i, true);
        bar->setAction([&rt, screen](int index) {
            if (index == 9) rt.endProgram(0);
            if (index == 5) {
                // A long run that does not let events run, like a print run.
                const int ms = qEnvironmentVariableIsSet("KOVUI_PROBE_WORK_MS")
                                   ? qEnvironmentVariableIntValue("KOVUI_PROBE_WORK_MS")
                                   : 300;
                kov::ui::runWithWaitScreen(screen, rt, [ms] { ::usleep(static_cast<useconds_t>(ms) * 1000); });
            }
        });
        kov::ui::centreScreen(screen);
        screen->show();

        auto* input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, screen);
        QObject::connect(input, &QSocketNotifier::activated, screen, [&rt] {
            char buf[256] = {};
            const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf - 1);
            if (n <= 0) rt.endProgram(0); // the test that started us is gone
            // One command a line; a test may send several at once.
            for (const QString& line : QString::fromUtf8(buf).split(u'\n', Qt::SkipEmptyParts)) {
                int status = 0;
                char folder[48] = {};
                if (std::sscanf(line.toUtf8().constData(), "pending %47s", folder) == 1) {
                    auto* file = new kov::SafeFile(folder, "OVL.TMP", "印刷ファイル", "OVL.TMP.part");
                    file->write("ST 011001\r\n");
                    std::printf("pending\n");
                    std::fflush(stdout);
                } else if (line.startsWith(QStringLiteral("env "))) {
                    const QString name = line.mid(4).trimmed();
                    std::printf("%s=%s\n", qPrintable(name), qgetenv(qPrintable(name)).constData());
                    std::fflush(stdout);
                } else if (line.startsWith(QStringLiteral("notify "))) {
                    rt.notify("動作確認", line.mid(7).toStdString());
                } else if (std::sscanf(line.toUtf8().constData(), "end %d", &status) == 1) {
                    std::printf("ending"); // no newline: the end must still flush it
                    rt.endProgram(status);
                }
            }
        });
        // Never outlive a forgotten test by long.
        QTimer::singleShot(120000, screen, [&rt] { rt.endProgram(0); });
    });
}
