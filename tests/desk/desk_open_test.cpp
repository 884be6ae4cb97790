// A result the clerk sees: with Open=yes the finished PDF is handed to the desktop's
// opener (xdg-open, with a viewer script of the test at the platform seam), and an opener
// that fails or is missing is a message naming the PDF, while the report counts as
// printed; a desktop without any viewer for PDF files is told once a run.
// "~/" in PdfFolder is the user's home folder.
#include "common/tests/scriptedruntime.h"
#include "overlayprint/overlayprintengine.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <QGuiApplication>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace kov::overlayprint;

struct Folder : kov::test::TempDir {
    Folder() : TempDir("kov_desk_open") {}
};

TEST(DeskOpen, FinishedPdfOpensOrTheFailureIsTold)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "desk_open_test";
    static char* argv[] = {name, nullptr};
    if (!QGuiApplication::instance()) new QGuiApplication(argc, argv);

    const Folder t;
    const fs::path opened = t.path() / "opened";
    fs::copy_file(fs::path(KOV_TEST_DATA_DIR) / "ovlprint-kov120-monthly.tmp", t.path() / "OVL.TMP");
    setenv("KOV_INI_DIR", t.path().c_str(), 1);
    setenv("HOME", (t.path() / "home").c_str(), 1);
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
    // The desktop's choice of viewer: its own folders of the test (xdg-mime and xdg-open
    // of the system read them), with or without a viewer for PDF files, which is a script
    // that notes the file it was given.
    const fs::path xdg = t.path() / "xdg";
    setenv("XDG_DATA_HOME", (xdg / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (xdg / "config").c_str(), 1);
    setenv("XDG_DATA_DIRS", (xdg / "none").c_str(), 1);
    setenv("XDG_CONFIG_DIRS", (xdg / "none").c_str(), 1);
    setenv("DISPLAY", ":99", 1); // only looked at by xdg-open: the engine draws off-screen
    const auto writeScript = [](const fs::path& file, const std::string& body) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(file, fs::perms::owner_all);
    };

    struct Case {
        const char* what;
        const char* open;
        const char* viewer; // the viewer's body, or no viewer for PDF files
        const char* opener; // the body of an xdg-open of the test, "system", or none on the PATH
        int prints;
        const char* message; // in the one message shown, or none
    };
    const Case cases[] = {
        {"Open=no", "no", "printf %s \"$1\" > OPENED", "system", 1, nullptr},
        {"opened", "yes", "printf %s \"$1\" > OPENED", "system", 1, nullptr},
        {"viewer still showing", "yes", "printf %s \"$1\" > OPENED; sleep 4", "system", 1, nullptr},
        {"opener fails", "yes", "printf %s \"$1\" > OPENED", "echo \"xdg-open: no method available\" >&2; exit 3", 1,
         "xdg-open の終了状態 3）"},
        // Told once a run, without calling the opener.
        {"no viewer", "yes", nullptr, "printf %s \"$1\" > OPENED", 2, "PDF を見るプログラムがない"},
        {"no opener", "yes", nullptr, nullptr, 1, "xdg-open が見つかりません"},
    };
    for (const Case& c : cases) {
        for (const fs::path& p : {t.path() / "bin", xdg, opened}) fs::remove_all(p);
        for (const fs::path& p : {t.path() / "bin", xdg / "config", xdg / "data/applications"})
            fs::create_directories(p);
        const auto withOpened = [&](std::string body) {
            if (const auto at = body.find("OPENED"); at != std::string::npos)
                body.replace(at, 6, "'" + opened.string() + "'");
            return body;
        };
        if (c.viewer) {
            writeScript(t.path() / "bin/viewer", withOpened(c.viewer));
            std::ofstream(xdg / "data/applications/kovtestviewer.desktop")
                << "[Desktop Entry]\nType=Application\nName=Viewer\nExec=" << (t.path() / "bin/viewer").string()
                << " %f\nMimeType=application/pdf;\n";
            std::ofstream(xdg / "config/mimeapps.list")
                << "[Default Applications]\napplication/pdf=kovtestviewer.desktop\n";
        }
        const bool system = c.opener && std::string(c.opener) == "system";
        if (c.opener && !system) writeScript(t.path() / "bin/xdg-open", withOpened(c.opener));
        setenv("PATH", ((t.path() / "bin").string() + (c.opener ? ":" + path : "")).c_str(), 1);
        std::ofstream(t.path() / "OVLPRINT.INI", std::ios::binary)
            << "[Print]\r\nOutput=pdf\r\nPdfFolder=~/帳票\r\nOpen=" << c.open << "\r\nOverlayFolder=" << KOV_BIN_DIR
            << "\r\n";
        kov::ScriptedRuntime rt(KOV_BIN_DIR);
        std::string first;
        for (int i = 0; i < c.prints; ++i) {
            OverlayPrintEngine engine(rt);
            engine.setPrintFIlePath(t.path().string());
            EXPECT_EQ(engine.PrtFile("KOV120", "期末勤勉手当支給調書印刷", "KOV120p.ovl"), kPrtDone) << c.what;
            EXPECT_EQ(fs::path(engine.lastOutputPath()).parent_path(), t.path() / "home" / "帳票") << c.what;
            if (i == 0) first = engine.lastOutputPath();
            // Every PDF is told to the desktop, which shows it where it offers notifications.
            ASSERT_EQ(rt.notifications.size(), static_cast<std::size_t>(i + 1)) << c.what;
            EXPECT_EQ(rt.notifications.back().second,
                      "帳票「KOV120」を PDF「" + engine.lastOutputPath() + "」に保存しました。");
        }
        setenv("PATH", path.c_str(), 1);

        std::ifstream in(opened);
        const std::string got{std::istreambuf_iterator<char>(in), {}};
        EXPECT_EQ(got, std::string(c.open) == "yes" && c.viewer && !c.message ? first : "") << c.what;
        if (!c.message) {
            EXPECT_TRUE(rt.messages.empty()) << c.what << ": " << rt.messages.front().text;
            continue;
        }
        ASSERT_EQ(rt.messages.size(), 1u) << c.what;
        EXPECT_EQ(rt.messages[0].icon, kov::MsgIcon::Exclamation) << c.what;
        EXPECT_NE(rt.messages[0].text.find(first), std::string::npos) << rt.messages[0].text;
        EXPECT_NE(rt.messages[0].text.find(c.message), std::string::npos) << rt.messages[0].text;
        // The clerk reads Japanese: what the opener said in English is for standard error.
        EXPECT_EQ(rt.messages[0].text.find("no method"), std::string::npos) << rt.messages[0].text;
    }
    for (const char* v : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS", "DISPLAY"})
        unsetenv(v);
    unsetenv("KOV_INI_DIR");
}

} // namespace
