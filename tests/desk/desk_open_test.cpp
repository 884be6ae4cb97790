// A result the clerk sees: with Open=yes the finished PDF is handed to the desktop's
// opener (xdg-open, a script of the test here at the platform seam), and an opener that
// fails or is missing is a message naming the PDF, while the report counts as printed.
// "~/" in PdfFolder is the user's home folder.
#include "common/tests/scriptedruntime.h"
#include "overlayprint/overlayprintengine.h"

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

struct Folder {
    fs::path p;
    Folder()
    {
        std::string pattern = (fs::temp_directory_path() / "kov_desk_open_XXXXXX").string();
        if (mkdtemp(pattern.data())) p = pattern;
    }
    ~Folder() { fs::remove_all(p); }
    const fs::path& path() const { return p; }
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

    struct Case {
        const char* what;
        const char* open;
        const char* opener;    // the body of xdg-open, or none on the PATH
        const char* message;   // in the message shown, or none
    };
    const Case cases[] = {
        {"Open=no", "no", "printf %s \"$1\" > OPENED", nullptr},
        {"opened", "yes", "printf %s \"$1\" > OPENED", nullptr},
        {"viewer still showing", "yes", "printf %s \"$1\" > OPENED; sleep 4", nullptr},
        {"no viewer", "yes", "echo \"xdg-open: no method available for opening '$1'\" >&2; exit 3",
         "no method available"},
        {"no opener", "yes", nullptr, "xdg-open"},
    };
    for (const Case& c : cases) {
        fs::remove_all(t.path() / "bin");
        fs::create_directories(t.path() / "bin");
        fs::remove(opened);
        if (c.opener) {
            std::string body = c.opener;
            if (const auto at = body.find("OPENED"); at != std::string::npos) body.replace(at, 6, "'" + opened.string() + "'");
            std::ofstream(t.path() / "bin/xdg-open") << "#!/bin/sh\n" << body << "\n";
            fs::permissions(t.path() / "bin/xdg-open", fs::perms::owner_all);
        }
        setenv("PATH", ((t.path() / "bin").string() + (c.opener ? ":" + path : "")).c_str(), 1);
        std::ofstream(t.path() / "OVLPRINT.INI", std::ios::binary)
            << "[Print]\r\nOutput=pdf\r\nPdfFolder=~/帳票\r\nOpen=" << c.open << "\r\nOverlayFolder=" << KOV_BIN_DIR
            << "\r\n";
        kov::ScriptedRuntime rt(KOV_BIN_DIR);
        OverlayPrintEngine engine(rt);
        engine.setPrintFIlePath(t.path().string());
        const std::int32_t rc = engine.PrtFile("KOV120", "期末勤勉手当支給調書印刷", "KOV120p.ovl");
        setenv("PATH", path.c_str(), 1);

        EXPECT_EQ(rc, kPrtDone) << c.what;
        EXPECT_EQ(fs::path(engine.lastOutputPath()).parent_path(), t.path() / "home" / "帳票") << c.what;
        std::ifstream in(opened);
        const std::string got{std::istreambuf_iterator<char>(in), {}};
        EXPECT_EQ(got, std::string(c.open) == "yes" && c.opener && !c.message ? engine.lastOutputPath() : "") << c.what;
        if (!c.message) {
            EXPECT_TRUE(rt.messages.empty()) << c.what << ": " << rt.messages.front().text;
            continue;
        }
        ASSERT_EQ(rt.messages.size(), 1u) << c.what;
        EXPECT_EQ(rt.messages[0].icon, kov::MsgIcon::Exclamation) << c.what;
        EXPECT_NE(rt.messages[0].text.find(engine.lastOutputPath()), std::string::npos) << rt.messages[0].text;
        EXPECT_NE(rt.messages[0].text.find(c.message), std::string::npos) << rt.messages[0].text;
    }
    unsetenv("KOV_INI_DIR");
}

} // namespace
