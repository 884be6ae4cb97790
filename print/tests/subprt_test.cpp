// The print command file: field formats, command lines, a complete run compared byte
// for byte with a stored command file, and the faults of creating and writing it.
#include "print/subprt.h"

#include "common/cp932.h"
#include "common/runtimeerror.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include <sys/stat.h>

namespace fs = std::filesystem;
using kov::Currency;
using kov::RuntimeError;
using kov::RuntimeErrorKind;
using kov::SubPrt;

namespace {

Currency cur(double v) { return Currency::fromDouble(v); }

using kov::test::readBytes;
using kov::test::TempDir;
using kov::test::writeBytes;

// The bytes one line of the command file holds: the command and CR LF.
std::string linesOf(std::initializer_list<std::string> lines)
{
    std::string out;
    for (const auto& l : lines) out += l + "\r\n";
    return out;
}

RuntimeErrorKind kindOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const RuntimeError& e) {
        EXPECT_FALSE(e.userMessage().empty());
        return e.kind();
    }
    ADD_FAILURE() << "no RuntimeError raised";
    return RuntimeErrorKind::ObjectCreation;
}

} // namespace

TEST(SubPrtFields, CoordinatesAreTenthsRoundedDown)
{
    const struct {
        double value;
        const char* text;
    } rows[] = {
        {12.5, "0125"},    {12.34, "0123"},  {12.35, "0123"},  {0, "0000"},     {0.09, "0000"},   {999.9, "9999"},
        {1000.0, "10000"}, {-0.05, "-0001"}, {-12.5, "-0125"}, {-0.1, "-0001"}, {-0.11, "-0002"}, {180, "1800"},
    };
    for (const auto& r : rows) EXPECT_EQ(SubPrt::formatC4(cur(r.value)), r.text) << r.value;
}

TEST(SubPrtFields, WholeNumbersRoundHalvesAwayFromZero)
{
    const struct {
        double value;
        int digits;
        const char* text;
    } rows[] = {
        {5, 3, "005"},    {100, 3, "100"}, {1000, 3, "1000"}, {2.5, 1, "3"}, {2.4, 1, "2"},
        {-2.5, 2, "-03"}, {0.4, 2, "00"},  {15, 2, "15"},     {6, 2, "06"},  {0, 1, "0"},
    };
    for (const auto& r : rows) EXPECT_EQ(SubPrt::formatN(cur(r.value), r.digits), r.text) << r.value;
}

TEST(SubPrtFile, EveryCommandLineInShiftJisWithCrLf)
{
    TempDir dir;
    SubPrt prt;
    prt.p_strPrtPath = dir.path().string();
    prt.prtST(11, 1);
    EXPECT_TRUE(prt.isOpen());
    prt.prtCR(cur(15), cur(6));
    prt.prtTE(cur(12.5), cur(30), 1, cur(0), 30, 30, "ABC");
    prt.prtTE(cur(16), cur(3.5), 3, cur(1), 100, 100, "令和  5 年  6 月分");
    prt.prtHL(cur(10), cur(20.5), cur(180), cur(2), cur(1), cur(0), cur(0), cur(0), cur(0));
    prt.prtTE(cur(1000.0), cur(2.5), 3, cur(1), 75, 100, "");
    prt.prtPE();
    prt.prtTE(cur(-0.05), cur(12.34), 3, cur(1), 5, 100, "※ブロック合計※");
    prt.prtTE(cur(180), cur(4.5), 3, cur(1), 100, 100, " 1 -  1");
    EXPECT_FALSE(fs::exists(prt.filePath())) << "the final name appears only with ED";
    prt.prtED();
    EXPECT_FALSE(prt.isOpen());
    EXPECT_FALSE(fs::exists(prt.partPath()));

    EXPECT_EQ(prt.filePath(), (dir.path() / "OVL.TMP").string());
    EXPECT_EQ(readBytes(prt.filePath()), readBytes(fs::path(KOV_TEST_DATA_DIR) / "commandfile_all_commands.ovl.tmp"));
}

// Lines are gathered and written in large blocks: a run of many lines, one text longer
// than a block among them, and a text that CP932 cannot hold (which writes nothing of its
// line) keep every byte in its place.
TEST(SubPrtFile, LinesAcrossWriteBlocksAndAVeryLongText)
{
    TempDir dir;
    SubPrt prt;
    prt.p_strPrtPath = dir.path().string();
    std::string expected = linesOf({"ST 011001"});
    prt.prtST(11, 1);
    std::string longText;
    while (longText.size() < 400 * 1024) longText += "佐藤　花子 313,300 ";
    for (int i = 0; i < 30000; ++i) {
        const std::string text = i == 12345 ? longText : "職員" + std::to_string(i);
        prt.prtTE(cur(i % 200), cur(6.5), 3, cur(1), 100, 100, text);
        expected +=
            SubPrt::formatC4(cur(i % 200)).insert(0, "TE ") + "0065" + "31100100" + kov::cp932::fromUtf8(text) + "\r\n";
        if (i == 20000) {
            EXPECT_EQ(kindOf([&] { prt.prtTE(cur(1), cur(1), 3, cur(1), 100, 100, "\xF0\x9F\x98\x80"); }),
                      RuntimeErrorKind::Conversion);
        }
    }
    prt.prtED();
    expected += linesOf({"ED "});
    EXPECT_TRUE(readBytes(prt.filePath()) == expected);
}

TEST(SubPrtFile, ModesOtherThanOneToFourWriteNothing)
{
    TempDir dir;
    SubPrt prt;
    prt.p_strPrtPath = dir.path().string();
    prt.prtOut(0, "XX "); // no file open, and none is created
    prt.prtOut(5, "XX ");
    EXPECT_FALSE(prt.isOpen());
    EXPECT_TRUE(fs::is_empty(dir.path()));

    prt.prtOut(1, "ST 011001");
    prt.prtOut(0, "XX ");
    prt.prtOut(-1, "XX ");
    prt.prtOut(5, "XX ");
    prt.prtOut(3, "PE ");
    prt.prtOut(4, "ED ");
    EXPECT_EQ(readBytes(prt.filePath()), linesOf({"ST 011001", "PE ", "ED "}));
}

TEST(SubPrtFile, NewRunReplacesTheOldFile)
{
    TempDir dir;
    writeBytes(dir / "OVL.TMP", "TE 0000000011100100OLD RUN\r\nED \r\n");
    std::vector<int> pageEnds;
    SubPrt prt([&pageEnds](int n) { pageEnds.push_back(n); });
    prt.p_strPrtPath = dir.path().string();
    prt.prtST(11, 1);
    EXPECT_FALSE(fs::exists(prt.filePath())) << "the old run is gone as soon as the new one starts";
    prt.prtPE();
    prt.prtPE();
    prt.prtED();
    EXPECT_EQ(readBytes(prt.filePath()), linesOf({"ST 011001", "PE ", "PE ", "ED "}));

    // A second run of the same writer starts from nothing again, its pages counted anew.
    prt.prtST(11, 1);
    prt.prtCR(cur(15), cur(6));
    prt.prtPE();
    prt.prtED();
    EXPECT_EQ(readBytes(prt.filePath()), linesOf({"ST 011001", "CR 15063", "PE ", "ED "}));
    EXPECT_EQ(pageEnds, (std::vector<int>{1, 2, 1}));
}

TEST(SubPrtFile, RunEndedBeforeEdLeavesNoCommandFile)
{
    TempDir dir;
    {
        SubPrt prt;
        prt.p_strPrtPath = dir.path().string();
        prt.prtST(11, 1);
        prt.prtCR(cur(15), cur(6));
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(SubPrtFile, FaultsAreRunTimeErrors)
{
    TempDir dir;
    // A folder that cannot exist: its parent is a plain file.
    writeBytes(dir / "plain", "x");
    {
        SubPrt prt;
        prt.p_strPrtPath = (dir.path() / "plain" / "sub").string();
        EXPECT_EQ(kindOf([&] { prt.prtST(11, 1); }), RuntimeErrorKind::FileError);
        EXPECT_FALSE(prt.isOpen());
    }
    {
        SubPrt prt;
        prt.p_strPrtPath = dir.path().string();
        EXPECT_EQ(kindOf([&] { prt.prtCR(cur(15), cur(6)); }), RuntimeErrorKind::FileError);
        EXPECT_EQ(kindOf([&] { prt.prtPE(); }), RuntimeErrorKind::FileError);
        EXPECT_EQ(kindOf([&] { prt.prtED(); }), RuntimeErrorKind::FileError);
        // Once closed by ED, the file takes no further line.
        prt.prtST(11, 1);
        prt.prtED();
        EXPECT_EQ(kindOf([&] { prt.prtPE(); }), RuntimeErrorKind::FileError);
        EXPECT_EQ(readBytes(prt.filePath()), linesOf({"ST 011001", "ED "}));
    }
    {
        SubPrt prt;
        prt.p_strPrtPath = dir.path().string();
        prt.prtST(11, 1);
        // Hangul has no place in CP932; a line break would be read as another command.
        EXPECT_EQ(kindOf([&] { prt.prtTE(cur(1), cur(1), 3, cur(1), 100, 100, "한국"); }),
                  RuntimeErrorKind::Conversion);
        EXPECT_EQ(kindOf([&] { prt.prtTE(cur(1), cur(1), 3, cur(1), 100, 100, "A\r\nED "); }),
                  RuntimeErrorKind::InvalidArgument);
        EXPECT_FALSE(fs::exists(prt.filePath()));
    }
}

// Links planted under the temporary and the final name are replaced, their targets
// untouched; the command file is 0600 whatever the umask.
TEST(SubPrtFile, PlantedLinksAreNotFollowedAndTheFileIsPrivate)
{
    for (const char* planted : {"OVL.TMP.part", "OVL.TMP"}) {
        SCOPED_TRACE(planted);
        TempDir dir;
        writeBytes(dir / "secret", "private");
        fs::create_symlink(dir.path() / "secret", dir.path() / planted);
        SubPrt prt;
        prt.p_strPrtPath = dir.path().string();
        const mode_t old = ::umask(0);
        prt.prtST(11, 1);
        prt.prtED();
        ::umask(old);
        EXPECT_EQ(readBytes(dir.path() / "secret"), "private");
        EXPECT_FALSE(fs::is_symlink(prt.filePath()));
        EXPECT_EQ(fs::status(prt.filePath()).permissions(), fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_EQ(readBytes(prt.filePath()), linesOf({"ST 011001", "ED "}));
    }
}
