// The work folder of a program: which root the environment gives, made on demand, and a
// folder that cannot be made as a message naming it.
#include "common/fileerror.h"
#include "common/runtimeerror.h"
#include "common/workfolder.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

void setOrUnset(const char* name, const std::string& value)
{
    if (value.empty()) ::unsetenv(name);
    else ::setenv(name, value.c_str(), 1);
}

} // namespace

TEST(WorkFolder, RootFromTheEnvironmentAndMadeOnDemand)
{
    const kov::test::TempDir tmp("kov-workfolder");
    const fs::path& base = tmp.path();
    struct Case {
        const char* name;
        std::string workDir, stateHome, home;
        fs::path expected;
    };
    const Case cases[] = {
        {"KOV_WORK_DIR first", (base / "w").string(), (base / "s").string(), (base / "h").string(),
         base / "w" / "kov120"},
        {"then XDG_STATE_HOME", "", (base / "s").string(), (base / "h").string(), base / "s" / "kov" / "kov120"},
        {"then the home folder", "", "", (base / "h").string(), base / "h" / ".local" / "state" / "kov" / "kov120"},
        {"a relative XDG_STATE_HOME is ignored", "", "rel", (base / "h").string(),
         base / "h" / ".local" / "state" / "kov" / "kov120"},
    };
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        setOrUnset("KOV_WORK_DIR", c.workDir);
        setOrUnset("XDG_STATE_HOME", c.stateHome);
        setOrUnset("HOME", c.home);
        EXPECT_EQ(kov::workFolder("kov120"), c.expected.string());
        EXPECT_TRUE(fs::is_directory(c.expected));
    }
    // Programs never share one: kov140 beside kov120.
    EXPECT_EQ(kov::workFolder("kov140"), (base / "h" / ".local" / "state" / "kov" / "kov140").string());

    // A file where the folder should be.
    std::ofstream(base / "file") << "x";
    setOrUnset("KOV_WORK_DIR", (base / "file").string());
    try {
        kov::workFolder("kov120");
        ADD_FAILURE() << "no error";
    } catch (const kov::RuntimeError& e) {
        EXPECT_EQ(e.kind(), kov::RuntimeErrorKind::FileError);
        EXPECT_NE(e.userMessage().find("作業フォルダ「" + (base / "file" / "kov120").string() + "」を作成できません。"),
                  std::string::npos)
            << e.userMessage();
    }
    EXPECT_THROW(kov::workFolder("../x"), kov::RuntimeError);
    setOrUnset("KOV_WORK_DIR", "");
    setOrUnset("XDG_STATE_HOME", "");
    setOrUnset("HOME", savedHome);
}

// The common file errors in words of the desk, the system's text after them.
TEST(FileErrorText, CommonCausesInJapanese)
{
    EXPECT_EQ(kov::fileErrorText(ENOSPC).rfind("容量不足です。空き容量が足りません。（", 0), 0u);
    EXPECT_EQ(kov::fileErrorText(EROFS).rfind("書き込み禁止です。", 0), 0u);
    EXPECT_EQ(kov::fileErrorText(EACCES).rfind("アクセス権がありません。（", 0), 0u);
    EXPECT_EQ(
        kov::fileErrorText(std::make_error_code(std::errc::no_such_file_or_directory)).rfind("見つかりません。（", 0),
        0u);
    EXPECT_EQ(kov::fileErrorText(0), "ファイルを扱えませんでした。");
}
