// The one way a program ends on a fault: raised inside a run, shown once by the top of
// the user action, which ends the program with the stop's status.
#include "common/comtessera.h"
#include "common/runtimeerror.h"
#include "common/safefile.h"
#include "common/tests/scriptedruntime.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include <unistd.h>

namespace fs = std::filesystem;
using kov::MsgIcon;

TEST(ProgramStop, RaisedInARunShownOnceByTheTopOfTheAction)
{
    struct Case {
        const char* what;
        std::function<void(kov::ComTessera&)> raise;
        const char* text;
        MsgIcon icon;
        const char* title;
    };
    const Case cases[] = {
        {"a failing status", [](kov::ComTessera& com) { com.prsStatusCheck(-8, 0); },
         "テーブルSkSumiは指定したレコードを検索できません。\r\n\r\nErr Status = -8", MsgIcon::Stop, "Kov570"},
        {"a condition of the data",
         [](kov::ComTessera&) { throw kov::ProgramStop("管理マスタが読込できません。", MsgIcon::Exclamation, "画面"); },
         "管理マスタが読込できません。", MsgIcon::Exclamation, "画面"},
        {"a run-time error", [](kov::ComTessera&) { kov::throwOverflow(); }, "オーバーフローしました。", MsgIcon::Stop,
         "内側の操作"},
    };
    const fs::path folder = fs::temp_directory_path() / ("kov-stop-" + std::to_string(::getpid()));
    for (const Case& c : cases) {
        fs::remove_all(folder);
        fs::create_directories(folder);
        kov::ScriptedRuntime rt;
        kov::ComTessera com;
        com.prsStatusNames("KOV.dat", "SkSumi", "Kov570");
        std::size_t shownByTheRaise = 99;
        bool ranOn = false;
        try {
            // An action run inside another one (a key pressed while the events run): the
            // message is shown by the innermost top only.
            kov::runGuarded(rt, "外側の操作", [&] {
                kov::runGuarded(rt, "内側の操作", [&] {
                    kov::SafeFile out(folder.string(), "OVL.TMP", "印刷ファイル");
                    out.write("half a job");
                    try {
                        c.raise(com);
                    } catch (...) {
                        shownByTheRaise = rt.messages.size();
                        throw;
                    }
                    ranOn = true;
                });
            });
            ADD_FAILURE() << c.what << ": the program did not end";
        } catch (const kov::ProgramEnded& e) {
            EXPECT_EQ(e.exitStatus, kov::kExitFatal) << c.what;
        }
        EXPECT_EQ(shownByTheRaise, 0u) << c.what;
        EXPECT_FALSE(ranOn) << c.what;
        ASSERT_EQ(rt.messages.size(), 1u) << c.what;
        EXPECT_EQ(rt.messages[0].text, c.text) << c.what;
        EXPECT_EQ(rt.messages[0].icon, c.icon) << c.what;
        EXPECT_EQ(rt.messages[0].buttons, kov::MsgButtons::Ok) << c.what;
        EXPECT_EQ(rt.messages[0].title, c.title) << c.what;
        EXPECT_TRUE(fs::is_empty(folder)) << c.what << ": the half-written file is left";
    }
    fs::remove_all(folder);
}
