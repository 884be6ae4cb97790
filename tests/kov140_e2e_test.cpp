// kov140 from end to end: the real program under an X server of its own (Xvfb) over a
// fixture database, driven by key presses (xdotool). The block list has the focus at
// start: space selects block 01, Down and space block 03, F6 prints, F10 ends. The
// command file must match its golden file byte for byte, the print engine must have
// made a PDF whose text poppler reads, and the program must end with status 0.
#include "db/tests/fixture.h"
#include "e2e_support.h"
#include "tests/support/golden.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

TEST(Kov140EndToEnd, TwoBlocksPrintedToPdf)
{
    kov::db::Fixture fx;
    fs::path pdf;
    ASSERT_NO_FATAL_FAILURE(kov::e2e::printThroughProgram(fx, kov::e2e::kov140TwoBlocksPrint(fx), pdf));

    kov::test::expectGolden((kov::e2e::deskOf(fx).work / "kov140" / "OVL.TMP").string(), "kov140_e2e.ovl.tmp");
    EXPECT_FALSE(fs::exists(kov::e2e::deskOf(fx).app / "OVL.TMP"));

    kov::e2e::expectGaijiName(kov::e2e::deskOf(fx).work / "kov140" / "OVL.TMP", pdf);
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
