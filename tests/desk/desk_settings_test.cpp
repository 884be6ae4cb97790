// Where an installed program finds its settings: KOV_INI_DIR, else its own folder when it
// holds a settings file (any case), else the system's settings folder, else its own folder.
#include "common/runtimeservices.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

TEST(DeskSettings, LookupOrder)
{
    const kov::test::TempDir tmp("kov_desk_settings");
    const fs::path& root = tmp.path();
    for (const char* d : {"env", "etc"}) fs::create_directories(root / d);
    struct Case {
        const char* what;
        bool env;
        const char* appFile; // a file in the program's folder, or none
        bool system;
        const char* expected;
    };
    const Case cases[] = {
        {"KOV_INI_DIR first", true, "KOV.INI", true, "env"},
        {"own folder with a settings file", false, "kov.ini", true, "app"},
        {"own folder with only OVLPRINT.INI", false, "OvlPrint.ini", true, "app"},
        {"own folder without one: the system's", false, "other.txt", true, "etc"},
        {"no system folder: own folder", false, nullptr, false, "app"},
    };
    for (const Case& c : cases) {
        fs::remove_all(root / "app");
        fs::create_directories(root / "app");
        if (c.appFile) std::ofstream(root / "app" / c.appFile) << "[Database]\n";
        if (c.env) setenv("KOV_INI_DIR", (root / "env").c_str(), 1);
        else unsetenv("KOV_INI_DIR");
        const std::string system = (root / (c.system ? "etc" : "missing")).string();
        EXPECT_EQ(kov::settingsFolder((root / "app").string(), system), (root / c.expected).string()) << c.what;
    }
    unsetenv("KOV_INI_DIR");
}

// A settings file put into the program folder
// later, or taken out, is seen at the next lookup.
TEST(DeskSettings, AFolderChangedSinceTheLastLookupIsListedAgain)
{
    const kov::test::TempDir tmp("kov_desk_settings_kept");
    const fs::path& root = tmp.path();
    for (const char* d : {"app", "etc"}) fs::create_directories(root / d);
    unsetenv("KOV_INI_DIR");
    const auto settle = [&] {
        fs::last_write_time(root / "app", fs::file_time_type::clock::now() - std::chrono::seconds(10));
    };
    const auto lookup = [&] { return kov::settingsFolder((root / "app").string(), (root / "etc").string()); };
    settle();
    EXPECT_EQ(lookup(), (root / "etc").string());
    EXPECT_EQ(lookup(), (root / "etc").string());
    std::ofstream(root / "app" / "KOVENV.INI") << "[Database]\n";
    EXPECT_EQ(lookup(), (root / "app").string());
    settle();
    EXPECT_EQ(lookup(), (root / "app").string());
    fs::remove(root / "app" / "KOVENV.INI");
    EXPECT_EQ(lookup(), (root / "etc").string());
}

} // namespace
