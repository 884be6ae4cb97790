// kov120 and kov140 of one user print at the same moment: both started from one program
// folder, with one runtime folder and one work root, on one X server; F6 is pressed on
// the one screen and at once on the other. Each program writes its own command file in
// its own work folder, the one it writes alone (byte for byte its golden file), and no
// command file is left in the program folder.
#include "db/tests/fixture.h"
#include "e2e_support.h"
#include "tests/support/golden.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

TEST(PrintTogether, Kov120AndKov140OfOneUser)
{
    kov::db::Fixture fx120;
    const kov::e2e::KeyedPrint print120 = kov::e2e::kov120DailyPaidPrint(fx120);
    kov::db::Fixture fx140;
    const kov::e2e::KeyedPrint print140 = kov::e2e::kov140TwoBlocksPrint(fx140);
    const kov::e2e::TempFolder user;
    const kov::e2e::Desk desk{user.path() / "app", user.path() / "tmp", user.path() / "work"};

    kov::e2e::XServer x;
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    const std::string d = x.display();
    kov::e2e::StartedPrint run120, run140;
    ASSERT_NO_FATAL_FAILURE(kov::e2e::startKeyedPrint(fx120, print120, desk, d, run120));
    ASSERT_NO_FATAL_FAILURE(kov::e2e::startKeyedPrint(fx140, print140, desk, d, run140));
    kov::e2e::xdotool(d, "windowfocus --sync " + run120.window + " key F6 windowfocus --sync " + run140.window +
                             " key F6");
    fs::path pdf120, pdf140;
    ASSERT_NO_FATAL_FAILURE(kov::e2e::finishKeyedPrint(d, run120, pdf120));
    ASSERT_NO_FATAL_FAILURE(kov::e2e::finishKeyedPrint(d, run140, pdf140));

    kov::test::expectGolden((desk.work / "kov120" / "OVL.TMP").string(), "kov120_e2e.ovl.tmp");
    kov::test::expectGolden((desk.work / "kov140" / "OVL.TMP").string(), "kov140_e2e.ovl.tmp");
    for (const fs::path& f : {desk.app / "OVL.TMP", desk.app / "OVL.TMP.part", desk.work / "kov120" / "OVL.TMP.part",
                              desk.work / "kov140" / "OVL.TMP.part"})
        EXPECT_FALSE(fs::exists(f)) << f;
}

} // namespace
