// ovlprint FOLDER JOB OVERLAY [--pdf OUT]
// Prints a saved print command file FOLDER/OVL.TMP over the form OVERLAY again, as the
// programs do (OVLPRINT.INI decides PDF, printer or preview), or to the PDF file OUT.
// A program's last run is in its work folder (kov::workFolder): <root>/<program>, root
// being KOV_WORK_DIR or else $XDG_STATE_HOME/kov (~/.local/state/kov).
// Exit status 0 when printed; 1 for a job that could not be printed (the message is on
// standard error); 64 for a wrong command line.
#include "overlayprintengine.h"

#include "common/runtimeerror.h"
#include "common/runtimeservices.h"
#include "common/safefile.h"
#include "common/workfolder.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Messages go to standard error only (the base class writes every box there).
class ToolRuntime : public kov::RuntimeServices {
public:
    explicit ToolRuntime(std::string appPath) : m_appPath(std::move(appPath)) {}
    void doEvents() override { QCoreApplication::processEvents(); }
    std::string appPath() const override { return m_appPath; }
    std::string commandLine() const override { return {}; }

protected:
    [[noreturn]] void endProcess(int exitStatus) override
    {
        kov::discardPendingFiles();
        std::exit(exitStatus);
    }
    kov::MsgResult showMessage(const std::string&, kov::MsgIcon, kov::MsgButtons buttons, const std::string&) override
    {
        return buttons == kov::MsgButtons::Ok ? kov::MsgResult::Ok : kov::MsgResult::No;
    }

private:
    std::string m_appPath;
};

int usage()
{
    std::string root;
    try {
        root = kov::workRoot();
    } catch (const kov::RuntimeError&) {
        root = "$XDG_STATE_HOME/kov";
    }
    std::fprintf(stderr,
                 "使い方: ovlprint フォルダ 帳票名 様式ファイル [--pdf 出力先.pdf]\n"
                 "  フォルダ/OVL.TMP を様式ファイルの上に印刷します。\n"
                 "  プログラムの印刷指示ファイルはその作業フォルダにあります: %s/<プログラム名>\n"
                 "  （例: ovlprint %s/kov120 KOV120 KOV120p.ovl）\n",
                 root.c_str(), root.c_str());
    return 64;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> positional;
    std::string pdfOut;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--pdf") == 0) {
            if (i + 1 >= argc) return usage();
            pdfOut = argv[++i];
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            usage();
            return 0;
        } else {
            positional.emplace_back(argv[i]);
        }
    }
    if (positional.size() != 3) return usage();

    // Printing to a PDF or a printer needs no display; without one the tool draws
    // off-screen (a preview then reports that it cannot be shown).
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (!std::getenv("QT_QPA_PLATFORM") && !(display && *display) && !(wayland && *wayland))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    ToolRuntime rt(QCoreApplication::applicationDirPath().toStdString());
    kov::overlayprint::OverlayPrintEngine engine(rt);
    engine.setPrintFIlePath(positional[0]);
    if (!pdfOut.empty())
        engine.setPdfOutputFile(QFileInfo(QString::fromStdString(pdfOut)).absoluteFilePath().toStdString());
    const std::int32_t rc = engine.PrtFile(positional[1], "ovlprint", positional[2]);
    if (rc != 0) return 1;
    if (!engine.lastOutputPath().empty())
        std::printf("%s (%d ページ)\n", engine.lastOutputPath().c_str(), engine.lastPageCount());
    return 0;
}
