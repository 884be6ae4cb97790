// kov140 from end to end: the real program under an X server of its own (Xvfb) over a
// fixture database, driven by key presses (xdotool). The block list has the focus at
// start: space selects block 01, Down and space block 03, F6 prints, F10 ends. The
// command file must match its golden file byte for byte, the print engine must have
// made a PDF whose text poppler reads, and the program must end with status 0.
#include "blockreport/tests/blockreport_testsupport.h"
#include "db/tests/fixture.h"
#include "e2e_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

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

    // The block list has the focus at start; the monthly-paid group is chosen.
    fs::path pdf;
    ASSERT_NO_FATAL_FAILURE(kov::e2e::printThroughProgram(
        fx, {"kov140", {"1"}, "差額支給内訳明細書印刷", {"space", "Down", "Down", "space"}}, pdf));

    kov::blockreport::test::expectGolden((fs::path(fx.dir()) / "app" / "OVL.TMP").string(),
                                         "kov140_e2e.ovl.tmp");

    const std::string text = kov::e2e::pdfText(pdf);
    EXPECT_NE(text.find("令和 05年06月分"), std::string::npos) << text;
    EXPECT_NE(text.find("山田"), std::string::npos) << text;
    EXPECT_NE(text.find("高橋"), std::string::npos);
    EXPECT_NE(text.find("※ブロック合計※"), std::string::npos);
    EXPECT_NE(text.find("差額支給内訳明細書"), std::string::npos) << "the overlay is missing";
    EXPECT_EQ(text.find("講師"), std::string::npos) << "a daily-paid staff member was printed";
    EXPECT_EQ(text.find("南町"), std::string::npos) << "an unselected block was printed";
    EXPECT_EQ(kov::e2e::shellOutput("pdfinfo '" + pdf.string() + "' | grep -c '^Pages: *2$'"), "1\n");
}

} // namespace
