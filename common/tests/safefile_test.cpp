// The one safe file writer and the private-folder rule: on real files, a real full
// tmpfs and a real second user (root only; skipped elsewhere).
#include "common/runtimeerror.h"
#include "common/safefile.h"
#include "common/workfolder.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr uid_t kNobody = 65534;

using kov::test::readBytes;

struct Folder : kov::test::TempDir {
    Folder() : TempDir("kov-safefile") {}
    std::vector<std::string> names() const { return kov::test::fileNames(path()); }
};

std::string errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const kov::RuntimeError& e) {
        EXPECT_EQ(e.kind(), kov::RuntimeErrorKind::FileError);
        return e.detail();
    }
    return "(no error)";
}

// Runs f as the user nobody in a child process; true when it ended well.
bool asNobody(const std::function<void()>& f)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(1);
        f();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

// Every way a write ends: committed (the earlier file replaced), dropped by the
// destructor, dropped by the end of the program, failed on a full disk (the earlier
// file intact), and a new name that is taken already. Nothing but the final names stays.
TEST(SafeFile, EveryEndLeavesOnlyFinalNames)
{
    Folder dir;
    std::ofstream(dir / "OVL.TMP") << "earlier";
    {
        kov::SafeFile f(dir.str(), "OVL.TMP", "印刷ファイル", "OVL.TMP.part");
        f.write("new");
        EXPECT_EQ(readBytes(dir / "OVL.TMP"), "earlier");
        f.commit();
    }
    EXPECT_EQ(readBytes(dir / "OVL.TMP"), "new");
    {
        kov::SafeFile f(dir.str(), "OVL.TMP", "印刷ファイル");
        f.write("dropped");
        EXPECT_EQ(dir.names().size(), 2u);
    }
    {
        kov::SafeFile f(dir.str(), "OVL.TMP", "印刷ファイル", "OVL.TMP.part");
        f.write("dropped at the end");
        kov::discardPendingFiles();
        EXPECT_FALSE(f.isOpen());
    }
    {
        kov::SafeFile f(dir.str(), "A.pdf", "PDF");
        f.write("pdf");
        EXPECT_FALSE(f.commitAsNew("OVL.TMP"));
        EXPECT_TRUE(f.commitAsNew("B.pdf"));
    }
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"B.pdf", "OVL.TMP"}));
    EXPECT_EQ(readBytes(dir / "OVL.TMP"), "new");

    const kov::test::Tmpfs disk(dir.path(), "size=64k,mode=0700");
    if (!disk.mounted()) GTEST_SKIP() << "a full disk needs root (mount tmpfs)";
    std::ofstream(dir / "OVL.TMP") << "earlier";
    const std::string big(256 * 1024, 'x');
    int cause = 0;
    const std::string error = errorOf([&] {
        try {
            kov::SafeFile f(dir.str(), "OVL.TMP", "印刷ファイル", "OVL.TMP.part");
            f.write(big);
            f.commit();
        } catch (const kov::SafeFileError& e) {
            cause = e.error();
            EXPECT_EQ(e.path(), (dir / "OVL.TMP").string());
            throw;
        }
    });
    EXPECT_EQ(cause, ENOSPC);
    EXPECT_NE(error.find("容量不足です。空き容量が足りません。（"), std::string::npos) << error;
    EXPECT_NE(error.find((dir / "OVL.TMP").string()), std::string::npos) << error;
    EXPECT_EQ(dir.names(), std::vector<std::string>{"OVL.TMP"});
    EXPECT_EQ(readBytes(dir / "OVL.TMP"), "earlier");
}

// Folders made 0700; one that others may write to, or another user's, is refused with
// the folder and what to do named. Two users with one KOV_WORK_DIR: the second is
// stopped before anything is written, and a link the first planted is never followed.
TEST(PrivateFolder, OnlyTheUsersOwnFolderIsWritten)
{
    Folder dir;
    const mode_t old = ::umask(0);
    kov::ensurePrivateFolder((dir / "a" / "b").string(), "作業フォルダ");
    ::umask(old);
    EXPECT_EQ(fs::status(dir / "a").permissions(), fs::perms::owner_all);
    EXPECT_EQ(fs::status(dir / "a" / "b").permissions(), fs::perms::owner_all);

    fs::create_directories(dir / "open");
    fs::permissions(dir / "open", fs::perms::all);
    std::string error = errorOf([&] { kov::ensurePrivateFolder((dir / "open").string(), "作業フォルダ"); });
    for (const std::string& s : {"作業フォルダ「" + (dir / "open").string() + "」は他の利用者も書き込めます",
                                 std::string("0777"), std::string("chmod go-w")})
        EXPECT_NE(error.find(s), std::string::npos) << error;

    if (::geteuid() != 0) GTEST_SKIP() << "a second user needs root";
    fs::permissions(dir.path(), fs::perms::all | fs::perms::sticky_bit);
    std::ofstream(dir / "secret") << "private";
    ASSERT_TRUE(asNobody([&] {
        fs::create_directories(dir / "shared" / "kov120");
        fs::create_symlink(dir / "secret", dir / "shared" / "kov120" / "OVL.TMP.part");
    }));
    ::setenv("KOV_WORK_DIR", (dir / "shared").c_str(), 1);
    error = errorOf([] { kov::workFolder("kov120"); });
    ::unsetenv("KOV_WORK_DIR");
    EXPECT_NE(error.find("作業フォルダ「" + (dir / "shared" / "kov120").string() + "」は他の利用者（"),
              std::string::npos)
        << error;
    EXPECT_EQ(readBytes(dir / "secret"), "private");
    // The link planted by the other user, written over by name only.
    kov::SafeFile f((dir / "shared" / "kov120").string(), "OVL.TMP", "印刷ファイル", "OVL.TMP.part");
    f.write("run");
    f.commit();
    EXPECT_EQ(readBytes(dir / "secret"), "private");
}
