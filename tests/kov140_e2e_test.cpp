// kov140 from end to end: the real program under an X server of its own (Xvfb) over a
// fixture database, driven by key presses (xdotool). The block list has the focus at
// start: space selects block 01, Down and space block 03, F6 prints, F10 ends. The
// command file must match its golden file byte for byte, the print engine must have
// made a PDF whose text poppler reads, and the program must end with status 0.
#include "blockreport/tests/blockreport_testsupport.h"
#include "db/fixture.h"
#include "e2e_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using kov::blockreport::test::readBytes;
using kov::e2e::Process;

void addStaff(kov::db::Fixture& fx, std::int64_t code, const std::string& name, const std::string& syozok,
              std::int64_t block, std::int64_t syosyu, std::int64_t nenfus)
{
    fx.addStaff({.syokcd = code, .syosyu = syosyu, .syozok = syozok, .name = name, .values = {}});
    fx.addPayment({.syokcd = code,
                   .skyuym = 202306,
                   .kyusyu = 3,
                   .syrflg = block,
                   .syosyu = syosyu,
                   .syozok = syozok,
                   .kgokyu = "2",
                   .kgogho = 31,
                   .values = {{"KYURYO", 2100 + code % 100},
                              {"STYOGK", std::int64_t{210}},
                              {"CHIIKI", std::int64_t{63}},
                              {"KIMATU", std::int64_t{1613}},
                              {"KINBEN", std::int64_t{1210}},
                              {"SSIKYU", std::int64_t{5196} + code % 100},
                              {"KENKO", std::int64_t{278}},
                              {"KOSEI", std::int64_t{546}},
                              {"NENFUS", nenfus},
                              {"KOUGOK", std::int64_t{824}},
                              {"SASIHK", std::int64_t{4372} + code % 100}}});
}

TEST(Kov140EndToEnd, TwoBlocksPrintedToPdf)
{
    kov::db::Fixture fx;
    fx.setStandardNames();
    fx.setKanri(202306);
    fx.addSchool("E101", "城東小学校");
    fx.addSchool("E201", "川北中学校");
    fx.addSchool("E301", "南町小学校");
    fx.setBlock(1, 101, 101, 1, 3);
    fx.setBlock(2, 301, 301, 1, 3);
    fx.setBlock(3, 201, 201, 1, 3);
    addStaff(fx, 1001, "山田　太郎", "E101", 1, 3, -1200);
    addStaff(fx, 1002, "鈴木　一郎", "E101", 1, 1, 3000);
    addStaff(fx, 1003, "講師　一美", "E101", 1, 5, 500);   // daily-paid: not printed
    addStaff(fx, 2001, "南町　花子", "E301", 2, 3, 100);   // block 02: not selected
    addStaff(fx, 3001, "高橋　三郎", "E201", 3, 7, 0);

    // The program runs from a folder of its own, where it writes OVL.TMP.
    const fs::path app = fs::path(fx.dir()) / "app";
    fs::create_directories(app);
    fs::copy_file(fs::path(KOV_BIN_DIR) / "kov140", app / "kov140");
    const fs::path pdf = fs::path(fx.dir()) / "pdf";
    fx.writeSettings("OVLPRINT.INI", "[Print]\r\nOutput=pdf\r\nPdfFolder=" + pdf.string() +
                                         "\r\nOverlayFolder=" + std::string(KOV_BIN_DIR) + "\r\n");

    kov::e2e::XServer x;
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";

    const std::vector<std::string> env = kov::e2e::programEnvironment(x.display(), fs::path(fx.dir()) / "tmp");
    const std::string log = (fs::path(fx.dir()) / "kov140.log").string();
    Process prog({(app / "kov140").string(), "1"}, env, log);
    ASSERT_TRUE(prog.started());

    const std::string window = kov::e2e::waitForWindow(x.display(), "差額支給内訳明細書印刷", prog);
    ASSERT_FALSE(window.empty()) << "no window; log:\n" << readBytes(log);
    kov::e2e::xdotool(x.display(), "windowfocus --sync " + window);
    std::this_thread::sleep_for(300ms);

    // The block list has the focus at start; the monthly-paid group is chosen.
    kov::e2e::pressKeys(x.display(), {"space", "Down", "Down", "space"});
    kov::e2e::xdotool(x.display(), "key F6");

    // The print run ends when the engine has written its PDF.
    const std::vector<fs::path> pdfs = kov::e2e::waitForPdfs(pdf, prog);
    ASSERT_EQ(pdfs.size(), 1u) << "log:\n" << readBytes(log);
    std::this_thread::sleep_for(500ms);

    kov::e2e::xdotool(x.display(), "key F10");
    const auto status = prog.waitFor(20s);
    ASSERT_EQ(status, 0) << "log:\n" << readBytes(log);

    kov::blockreport::test::expectGolden((app / "OVL.TMP").string(), "kov140_e2e.ovl.tmp");

    const std::string text = kov::e2e::pdfText(pdfs.front());
    EXPECT_NE(text.find("令和 05年06月分"), std::string::npos) << text;
    EXPECT_NE(text.find("山田"), std::string::npos) << text;
    EXPECT_NE(text.find("高橋"), std::string::npos);
    EXPECT_NE(text.find("※ブロック合計※"), std::string::npos);
    EXPECT_NE(text.find("差額支給内訳明細書"), std::string::npos) << "the overlay is missing";
    EXPECT_EQ(text.find("講師"), std::string::npos) << "a daily-paid staff member was printed";
    EXPECT_EQ(text.find("南町"), std::string::npos) << "an unselected block was printed";
    EXPECT_EQ(kov::e2e::shellOutput("pdfinfo '" + pdfs.front().string() + "' | grep -c '^Pages: *2$'"), "1\n");
}

} // namespace
