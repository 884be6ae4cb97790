// The backup on real media: small tmpfs file systems mounted by the test stand for a
// floppy disk (1420k) and a stick, named to the program through KOV_REMOVABLE_DRIVES.
// Mounting needs root (CI runs as root); elsewhere these tests are skipped. The
// detection of removable drives runs over a mount table and sysfs tree of the test.
#include "common/programcontext.h"
#include "common/tests/scriptedruntime.h"
#include "db/tests/fixture.h"
#include "kov970/drives.h"
#include "kov970/kov970screen.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>

#include <sys/mount.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using kov::test::fileNames;
using kov::test::readBytes;
using kov::test::Tmpfs;
using kov::test::writeBytes;

struct RecordingView : kov::kov970::Kov970View {
    bool selectEnabled = true, keysEnabled = true;
    int waitScreens = 0, fileListFocused = 0;
    void setSelectEnabled(bool e) override { selectEnabled = e; }
    void setKeysEnabled(bool e) override { keysEnabled = e; }
    void focusFileList() override { ++fileListFocused; }
    void runWithWaitScreen(kov::RuntimeServices& rt, const std::function<void()>& work) override
    {
        ++waitScreens;
        Kov970View::runWithWaitScreen(rt, work);
    }
};

// The drives of this computer, every clearing asked of them recorded.
struct RecordingDrives : kov::DriveServices {
    std::unique_ptr<kov::DriveServices> system = kov::makeSystemDrives();
    std::vector<std::string> cleared; // the roots
    std::vector<std::string> logicalDrives() override { return system->logicalDrives(); }
    kov::DriveType driveType(const std::string& root) override { return system->driveType(root); }
    std::optional<kov::DiskSpace> diskSpace(const std::string& root) override { return system->diskSpace(root); }
    std::optional<kov::MediumIdentity> medium(const std::string& root) override { return system->medium(root); }
    std::optional<std::vector<std::string>> rootEntries(const std::string& root) override
    {
        return system->rootEntries(root);
    }
    bool deleteAll(const std::string& root, const kov::MediumIdentity& expected) override
    {
        cleared.push_back(root);
        return system->deleteAll(root, expected);
    }
};

class Media : public ::testing::Test {
protected:
    kov::db::Fixture fx;
    kov::ScriptedRuntime rt{fx.dir()};
    kov::ProgramContext ctx{rt, "kov970"};
    std::unique_ptr<RecordingDrives> drives = std::make_unique<RecordingDrives>();
    kov::kov970::Kov970Screen screen{ctx, *drives};
    RecordingView view;
    Tmpfs floppy{fx.path("fd"), "size=1420k"};
    Tmpfs stick{fx.path("stick"), "size=8m"};

    void SetUp() override
    {
        if (!floppy.mounted() || !stick.mounted()) GTEST_SKIP() << "mounting a tmpfs needs root: media tests skipped";
        ::setenv("KOV_REMOVABLE_DRIVES", (floppy.root() + ":" + stick.root() + ":" + fx.path("unmounted")).c_str(), 1);
        fs::create_directories(fx.path("unmounted"));
        ::setenv("KOV_WORK_DIR", fx.path("work").c_str(), 1);
        fx.addSchool("E101", "城東小学校");
        screen.setView(&view);
        screen.start();
        screen.fileIndex = 2; // 3:所属マスタ
    }
    void TearDown() override
    {
        ::unsetenv("KOV_REMOVABLE_DRIVES");
        ::unsetenv("KOV_WORK_DIR");
    }

    // F12 on drive index d: 0 when the program ended after the backup, else -1.
    int pressF12(int d)
    {
        if (!ctx.hasConnection()) screen.bas.prsOpenConnection(); // as a second start would
        screen.driveIndex = d;
        try {
            kov::runGuarded(rt, kov::kov970::kCaption, [&] { screen.prsPfAction(11); });
        } catch (const kov::ProgramEnded& e) {
            return e.exitStatus;
        }
        EXPECT_TRUE(view.selectEnabled && view.keysEnabled) << "the screen is not usable again";
        return -1;
    }
    std::string csv(const Tmpfs& m) const { return readBytes(m.root() + "SKSYOZK.CSV"); }
    std::string question() const
    {
        return "一部使用されたフロッピーがセットされています。[ " + floppy.root() +
               " ]\r\n上書きしてもよろしいですか？";
    }
};

const std::string kSchoolCsv = "E101,\x8f\xe9\x93\x8c\x8f\xac\x8aw\x8dZ\r\n";

TEST_F(Media, DriveListAndChecksBeforeWriting)
{
    EXPECT_EQ(screen.cboDriveList,
              (std::vector<std::string>{" " + floppy.root(), " " + stick.root(), " " + fx.path("unmounted") + "/"}));
    EXPECT_EQ(screen.driveIndex, 0);

    screen.fileIndex = -1;
    EXPECT_EQ(pressF12(0), -1);
    EXPECT_EQ(view.fileListFocused, 1);
    screen.fileIndex = 2;
    // A listed folder on which no medium is mounted.
    EXPECT_EQ(pressF12(2), -1);
    ASSERT_EQ(rt.messages.size(), 2u);
    EXPECT_EQ(rt.messages[0].text, "退避マスタが選択されていません。");
    EXPECT_EQ(rt.messages[1].text, "リムーバブルメディアがセットされていないか又は、初期化されていません。");
    for (const auto& m : rt.messages) {
        EXPECT_EQ(m.icon, kov::MsgIcon::Exclamation);
        EXPECT_EQ(m.title, "マスタ退避処理");
    }
    EXPECT_EQ(fileNames(fx.path("unmounted")), std::vector<std::string>{});
    EXPECT_EQ(view.waitScreens, 0);

    // Clearing refuses anything but the root of a listed removable drive.
    writeBytes(floppy.root() + "sub/keep", "x");
    writeBytes(fx.path("unmounted/keep"), "x");
    const kov::MediumIdentity fd = drives->medium(floppy.root()).value();
    for (const std::string& p : {floppy.root() + "sub/", fx.path("unmounted") + "/", std::string("/"), fx.dir() + "/"})
        EXPECT_FALSE(drives->deleteAll(p, fd)) << p;
    EXPECT_FALSE(drives->deleteAll(floppy.root(), drives->medium(stick.root()).value()));
    EXPECT_TRUE(fs::exists(floppy.root() + "sub/keep"));
    EXPECT_TRUE(fs::exists(fx.path("unmounted/keep")));
}

// An empty floppy (a hidden entry does not count), and a medium larger than a floppy
// holding files (one of 1424k, just above the floppy's 1,457,664 bytes, and a stick) are
// written without a question; the larger media keep their files, the old backup replaced.
TEST_F(Media, WrittenWithoutQuestion)
{
    writeBytes(floppy.root() + ".hidden", "x");
    writeBytes(stick.root() + "memo.txt", "memo");
    writeBytes(stick.root() + "SKSYOZK.CSV", "old");
    Tmpfs larger{fx.path("unmounted"), "size=1424k"}; // in the third drive
    writeBytes(larger.root() + "memo.txt", "memo");
    for (int d : {0, 1, 2}) EXPECT_EQ(pressF12(d), 0);
    EXPECT_TRUE(rt.messages.empty());
    EXPECT_EQ(csv(floppy), kSchoolCsv);
    EXPECT_EQ(csv(stick), kSchoolCsv);
    EXPECT_EQ(fileNames(stick.root()), (std::vector<std::string>{"SKSYOZK.CSV", "memo.txt"}));
    EXPECT_EQ(fileNames(larger.root()), (std::vector<std::string>{"SKSYOZK.CSV", "memo.txt"}));
    EXPECT_EQ(view.waitScreens, 3);
    EXPECT_EQ(drives->cleared, std::vector<std::string>{});
    // Each backup ends with a notification of what was written where.
    ASSERT_EQ(rt.notifications.size(), 3u);
    EXPECT_EQ(rt.notifications[1], std::make_pair(std::string("マスタ退避処理"),
                                                  "SKSYOZK.CSV を " + stick.root() + " に退避しました（1 件）"));
}

// No leaves the floppy untouched; Yes clears it (folders too, but not what a link points
// to nor a file system mounted below it), then writes.
TEST_F(Media, UsedFloppyAskedAboutThenClearedAndWritten)
{
    writeBytes(floppy.root() + "folder/deeper/a.txt", "a");
    writeBytes(floppy.root() + "SKSYOZK.CSV", "old");
    writeBytes(fx.path("outside.txt"), "target of a link");
    fs::create_directory_symlink(fx.dir(), floppy.root() + "link-to-folder");
    fs::create_symlink(fx.path("outside.txt"), floppy.root() + "link-to-file");
    Tmpfs inner{floppy.root() + "mounted", "size=64k"};
    ASSERT_TRUE(inner.mounted());
    writeBytes(inner.root() + "other.txt", "of another file system");
    const std::vector<std::string> before = fileNames(floppy.root());

    rt.planAnswer(kov::MsgResult::No);
    EXPECT_EQ(pressF12(0), -1);
    EXPECT_EQ(fileNames(floppy.root()), before);
    EXPECT_EQ(readBytes(floppy.root() + "SKSYOZK.CSV"), "old");
    EXPECT_EQ(view.waitScreens, 0);

    rt.planAnswer(kov::MsgResult::Yes);
    EXPECT_EQ(pressF12(0), 0);
    ASSERT_EQ(rt.messages.size(), 2u);
    for (const auto& m : rt.messages) {
        EXPECT_EQ(m.text, question());
        EXPECT_EQ(m.icon, kov::MsgIcon::Question);
        EXPECT_EQ(m.buttons, kov::MsgButtons::YesNo);
    }
    EXPECT_EQ(fileNames(floppy.root()), (std::vector<std::string>{"SKSYOZK.CSV", "mounted"}));
    EXPECT_EQ(csv(floppy), kSchoolCsv);
    EXPECT_EQ(readBytes(inner.root() + "other.txt"), "of another file system");
    EXPECT_EQ(readBytes(fx.path("outside.txt")), "target of a link");
    EXPECT_TRUE(fs::exists(fx.path("kov.db")));
    EXPECT_EQ(view.waitScreens, 1);
}

TEST_F(Media, FullMediumKeepsTheOldBackup)
{
    writeBytes(stick.root() + "SKSYOZK.CSV", "old backup\r\n");
    stick.fill(0);
    EXPECT_EQ(pressF12(1), -1);
    ASSERT_EQ(rt.messages.size(), 1u);
    EXPECT_EQ(rt.messages[0].icon, kov::MsgIcon::Stop);
    EXPECT_EQ(rt.messages[0].title, "マスタ退避処理");
    EXPECT_NE(rt.messages[0].text.find("所属マスタを退避できませんでした。\r\nファイル: " + stick.root() +
                                       "SKSYOZK.CSV\r\n容量不足です。"),
              std::string::npos)
        << rt.messages[0].text;
    EXPECT_EQ(csv(stick), "old backup\r\n");
    EXPECT_EQ(fileNames(stick.root()), (std::vector<std::string>{"SKSYOZK.CSV", "fill"}));
}

// A used floppy keeps its files and its earlier backup when the new one cannot be made
// (a text in a number column, a file larger than the whole floppy, made in the work
// folder); and nothing is cleared or written on either medium when, while the question is
// open, the floppy is taken out (the bare folder stays) or another medium, larger or a
// floppy too, is put in its place.
TEST_F(Media, UsedFloppyKeptWhenTheBackupCannotBeMade)
{
    screen.fileIndex = 1; // 2:職員マスタ
    fx.addStaff({.syokcd = 1001, .name = "山田　太郎"});
    struct Case {
        const char* name;
        std::function<void()> duringQuestion;
        std::string message;
        bool floppyStays;
        std::vector<std::string> inTheDrive; // afterwards, when the floppy was taken out
    };
    std::vector<std::unique_ptr<Tmpfs>> swapped;
    const auto putIn = [&](const std::string& size, const std::string& file) { // in place of the floppy
        ::umount2(floppy.root().c_str(), MNT_DETACH);
        swapped.push_back(std::make_unique<Tmpfs>(floppy.root(), "size=" + size));
        writeBytes(floppy.root() + file, "keep");
    };
    const std::string aside = fx.path("aside"); // where the floppy taken out is still seen
    fs::create_directories(aside);
    const auto takeOut = [&] {
        ASSERT_EQ(::mount(floppy.root().c_str(), aside.c_str(), nullptr, MS_BIND, nullptr), 0);
        ::umount2(floppy.root().c_str(), MNT_DETACH);
    };
    const std::string noMedium = "リムーバブルメディアがセットされていないか又は、初期化されていません。";
    const Case cases[] = {
        {"text in HYOJUN",
         [&] { fx.exec("UPDATE SKSYOKU SET HYOJUN = '四十六万'"); },
         "レコード 1 件目（SYOKCD = 1001）の列 HYOJUN の値「四十六万」は数値ではありません。",
         true,
         {}},
        {"larger than the floppy",
         [&] {
             fx.exec("UPDATE SKSYOKU SET HYOJUN = 1");
             fx.exec("WITH RECURSIVE n(i) AS (SELECT 2 UNION ALL SELECT i + 1 FROM n WHERE i < 9000) "
                     "INSERT INTO SKSYOKU (SYOKCD, SYOZOK, SIMKNJ, KOYBAN) "
                     "SELECT 1000 + i, 'E101', '職員氏名', printf('%0150d', i) FROM n");
         },
         "バイトは、空にしたフロッピーにも入りません（容量 ",
         true,
         {}},
        {"taken out", takeOut, noMedium, false, {}},
        {"a larger medium put in", [&] { takeOut(), putIn("8m", "stick.txt"); }, noMedium, false, {"stick.txt"}},
        {"another floppy put in", [&] { takeOut(), putIn("1420k", "other.txt"); }, noMedium, false, {"other.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.floppyStays) { // a used floppy again, alone in the drive, and a backup that fits
            putIn("1420k", "memo.txt");
            fx.exec("DELETE FROM SKSYOKU WHERE SYOKCD > 1001");
        }
        drives->cleared.clear();
        writeBytes(floppy.root() + "SKSYOKU.CSV", "old backup\r\n");
        writeBytes(floppy.root() + "memo.txt", "memo");
        const std::vector<std::string> before = fileNames(floppy.root());
        rt.messages.clear();
        rt.onMessage = [&](const kov::RecordedMessage& m) {
            if (m.buttons == kov::MsgButtons::YesNo) c.duringQuestion();
        };
        EXPECT_EQ(pressF12(0), -1);
        rt.onMessage = nullptr;
        ASSERT_EQ(rt.messages.size(), 2u);
        EXPECT_EQ(rt.messages[0].text, question());
        EXPECT_NE(rt.messages[1].text.find(c.message), std::string::npos) << rt.messages[1].text;
        EXPECT_EQ(drives->cleared, std::vector<std::string>{});
        const std::string floppyNow = c.floppyStays ? floppy.root() : aside + "/";
        EXPECT_EQ(fileNames(floppyNow), before);
        EXPECT_EQ(readBytes(floppyNow + "SKSYOKU.CSV"), "old backup\r\n");
        if (!c.floppyStays) {
            // The bare folder, or the medium put in, as it was.
            EXPECT_EQ(fileNames(floppy.root()), c.inTheDrive);
            ::umount2(aside.c_str(), MNT_DETACH);
        }
    }
    EXPECT_EQ(fileNames(fx.path("work") + "/kov970"), std::vector<std::string>{}) << "a work file left behind";
    while (!swapped.empty()) swapped.pop_back();
}

// The removable drives of a mount table: a stick under /media (a blank in its label), a
// floppy; not the fixed disk, the CD drive, a folder of the stick mounted elsewhere, a
// tmpfs or a network file system.
TEST(Drives, RemovableDrivesOfTheMountTable)
{
    const kov::test::TempDir t("kov970-drives");
    writeBytes(t / "mountinfo", "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                "30 22 8:17 / /media/kyuyo/MY\\040STICK rw,nosuid shared:1 - vfat /dev/sdb1 rw\n"
                                "31 22 2:0 / /mnt/floppy rw - vfat /dev/fd0 rw\n"
                                "32 22 11:0 / /media/cdrom ro - iso9660 /dev/sr0 ro\n"
                                "33 22 8:17 /backup /srv/bind rw - vfat /dev/sdb1 rw\n"
                                "34 22 0:45 / /tmp rw - tmpfs tmpfs rw\n"
                                "35 22 0:50 / /net rw - nfs4 server:/x rw\n");
    // Device number, the disk's folder, its partition (or none), removable flag, SCSI type.
    const fs::path sys = t / "sys";
    const std::vector<std::array<std::string, 5>> devices = {
        {"8:17", "devices/pci0/usb1/block/sdb", "sdb1", "1", "0"},
        {"8:1", "devices/pci0/ata1/block/sda", "sda1", "0", "0"},
        {"2:0", "devices/platform/floppy.0/block/fd0", "", "1", ""},
        {"11:0", "devices/pci0/ata2/block/sr0", "", "1", "5"},
    };
    fs::create_directories(sys / "dev/block");
    for (const auto& [devno, diskAt, part, removable, type] : devices) {
        fs::create_directories(sys / diskAt / "device");
        writeBytes(sys / diskAt / "removable", removable + "\n");
        writeBytes(sys / diskAt / "device/type", type + "\n");
        const fs::path at = part.empty() ? sys / diskAt : sys / diskAt / part;
        fs::create_directories(at);
        if (!part.empty()) writeBytes(at / "partition", "1\n");
        fs::create_directory_symlink(fs::relative(at, sys / "dev/block"), sys / "dev/block" / devno);
    }

    kov::ScriptedRuntime rt;
    kov::ProgramContext ctx{rt, "kov970"};
    const auto drives = kov::makeLinuxDrives((t / "mountinfo").string(), sys.string());
    kov::kov970::BasKov970 bas{ctx, *drives};
    std::vector<std::string> list;
    int index = -1;
    bas.prsDriveList(list, index);
    EXPECT_EQ(list, (std::vector<std::string>{" /media/kyuyo/MY STICK/", " /mnt/floppy/"}));
    EXPECT_EQ(drives->driveType("/"), kov::DriveType::Fixed);
    EXPECT_EQ(drives->driveType("/media/cdrom/"), kov::DriveType::CdRom);
    EXPECT_EQ(drives->driveType("/net/"), kov::DriveType::Remote);

    ::setenv("KOV_REMOVABLE_DRIVES", "/b:/a/::/c", 1);
    bas.prsDriveList(list, index);
    EXPECT_EQ(list, (std::vector<std::string>{" /b/", " /a/", " /c/"}));
    ::unsetenv("KOV_REMOVABLE_DRIVES");

    // None: the message, then the end.
    const auto noDrives = kov::makeLinuxDrives((t / "no-such-table").string(), sys.string());
    kov::kov970::BasKov970 without{ctx, *noDrives};
    EXPECT_THROW(kov::runGuarded(rt, "", [&] { without.prsDriveList(list, index); }), kov::ProgramEnded);
    ASSERT_EQ(rt.messages.size(), 1u);
    EXPECT_EQ(rt.messages[0].text, "選択可能なドライブが見つかりません。\r\n\r\n処理を中止します。");
    EXPECT_EQ(rt.messages[0].title, "マスタ退避処理");
}

} // namespace
