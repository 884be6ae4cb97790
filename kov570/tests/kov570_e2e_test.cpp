// kov570 from end to end: the real program under its own X server (Xvfb) over a fixture
// database, driven by key presses (xdotool): Tab through the boxes, space ticks 小学校,
// 全体 (school), finance office 1 and finance-office code 9, F6 prints, F10 ends. The
// command file must match its golden file, the PDF must carry the figures, and the
// program must end with status 0.
#include "db/tests/fixture.h"
#include "e2e_support.h"
#include "tests/support/golden.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

TEST(Kov570EndToEnd, KeyedSelectionPrintedToPdf)
{
    kov::db::Fixture fx;
    fx.setStandardNames();
    fx.setKanri(202306, 2023);
    fx.addSumi({.zaimu = 1, .syochu = 4, .sharym = 202304, .ninzu = 12, .values = {{"KYUYO", 3456789}}});
    fx.addSumi({.zaimu = 1, .syochu = 5, .sharym = 202402, .ninzu = 3, .values = {{"KIMATU", 777000}}});
    fx.addSumi({.zaimu = 9, .syochu = 4, .sharym = 202405, .ninzu = 2, .values = {{"HEKICI", 1000}, {"HEKJUN", 234}}});
    fx.addSumi({.zaimu = 2, .syochu = 4, .sharym = 202304, .ninzu = 99, .values = {{"KYUYO", 5555555}}});

    // The print button has the focus: Tab twice to 小学校, Tab twice to 全体, Tab to
    // finance office 1, eight Tabs to code 9 (the last box).
    std::vector<std::string> keys = {"Tab", "Tab", "space", "Tab", "Tab", "space", "Tab", "space"};
    for (int i = 0; i < 8; ++i) keys.emplace_back("Tab");
    keys.emplace_back("space");
    fs::path pdf;
    ASSERT_NO_FATAL_FAILURE(kov::e2e::printThroughProgram(fx, {"kov570", {"1"}, "給与費支出額集計表印刷", keys}, pdf));

    kov::test::expectGolden((kov::e2e::deskOf(fx).work / "kov570" / "OVL.TMP").string(), "kov570_e2e.ovl.tmp");
    const std::string text = kov::e2e::pdfText(pdf);
    for (const char* s : {"令和 5年度分", "庁", "央", "小学校給与費支出額集計表", "体給与費支出額集計表", "3,456,789",
                          "777,000", "1,234"})
        EXPECT_NE(text.find(s), std::string::npos) << s << "\n" << text;
    EXPECT_EQ(text.find("5,555,555"), std::string::npos) << "finance office 2 was printed";
    EXPECT_EQ(kov::e2e::shellOutput("pdfinfo '" + pdf.string() + "' | grep -c '^Pages: *4$'"), "1\n");
}

} // namespace
