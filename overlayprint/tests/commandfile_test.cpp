// Reading of the print command file: what a good file turns into, and that every
// kind of malformed file gives one message naming its line, never a wrong page.
#include "overlayprint/commandfile.h"
#include "overlayprint/settings.h"

#include "overlayprint/tests/commandfiles.h"
#include "print/subprt.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

using namespace kov::overlayprint;
using namespace kov::overlayprint::test;
using kov::test::readBytes;

TEST(CommandFile, ReadsPagesTextsAndRules)
{
    const auto r = parseCommandFile(
        lines({"ST 011001", "CR 15063", "TE 0030008531075100山田　太郎ｱｲ", "HL 0770008500800100000000000000000", "PE ",
               "TE 1780004531100100 5 -  1", "TE 1320001031100100", "ED "}));
    ASSERT_TRUE(r.ok()) << r.error->text();
    const CommandFile& f = *r.file;
    EXPECT_EQ(std::tuple(std::string(f.paper->name), f.landscape), std::tuple("B4", true));
    EXPECT_NEAR(f.pageWidthCells(), 214.96, 0.01);
    EXPECT_NEAR(f.pageHeightLines(), 60.71, 0.01);
    ASSERT_EQ(f.pages.size(), 2u);
    ASSERT_EQ(f.pages[0].commands.size(), 2u);
    const auto& t = std::get<TextCommand>(f.pages[0].commands[0]);
    // Five full-width characters and two half-width katakana: 12 cells.
    EXPECT_EQ(std::tie(t.line, t.x10, t.y10, t.sizeX, t.text, t.cells), std::tuple(3u, 30, 85, 75, "山田　太郎ｱｲ", 12));
    const auto& h = std::get<RuleCommand>(f.pages[0].commands[1]);
    EXPECT_EQ(std::tie(h.x10, h.len10, h.thicknessPt), std::tuple(770, 80, 1));
    // An empty text is kept (it draws nothing) and does not end the line early.
    EXPECT_EQ(std::get<TextCommand>(f.pages[1].commands[1]).text, "");
}

TEST(CommandFile, PageCommandsMakeNoBlankSheets)
{
    // The summary writes PE before its first page; two in a row or one before ED add nothing.
    const auto r = parseCommandFile(lines(
        {"ST 011001", "CR 15063", "PE ", "TE 0080005031100100A", "PE ", "PE ", "TE 0080005031100100B", "PE ", "ED "}));
    ASSERT_TRUE(r.ok()) << r.error->text();
    ASSERT_EQ(r.file->pages.size(), 2u);
    EXPECT_EQ(std::get<TextCommand>(r.file->pages[1].commands[0]).text, "B");
}

TEST(CommandFile, ReadsWhatTheWriterWrites)
{
    const kov::test::TempDir dir("ovl-writer-reader");
    {
        kov::SubPrt prt;
        prt.p_strPrtPath = dir.str();
        using kov::Currency;
        prt.prtST(11, 1);
        prt.prtCR(Currency::fromInt(15), Currency::fromInt(6));
        prt.prtTE(Currency::parse("3"), Currency::parse("8.5"), 3, Currency::fromInt(1), 75, 100, "※ブロック合計※");
        prt.prtHL(Currency::fromInt(78), Currency::parse("8.5"), Currency::fromInt(8), Currency::fromInt(1),
                  Currency::fromInt(0), {}, {}, {}, {});
        prt.prtPE();
        prt.prtTE(Currency::parse("193"), Currency::parse("9.5"), 3, Currency::fromInt(1), 100, 100, "6カ月15日");
        prt.prtED();
    }
    const auto r = readCommandFile((dir / "OVL.TMP").string());
    ASSERT_TRUE(r.ok()) << r.error->text();
    ASSERT_EQ(r.file->pageCount(), 2u);
    const Page first = r.file->page(0);
    ASSERT_EQ(first.commands.size(), 2u);
    EXPECT_EQ(std::get<TextCommand>(first.commands[0]).text, "※ブロック合計※");
    EXPECT_EQ(std::get<RuleCommand>(first.commands[1]).len10, 80);
    EXPECT_EQ(std::get<TextCommand>(r.file->page(1).commands[0]).x10, 1930);
}

TEST(CommandFile, EveryMalformedFileNamesItsLine)
{
    const kov::test::TempDir tmp("ovl-malformed");
    const auto onDisk = tmp / "OVL.TMP";
    for (const MalformedFile& c : malformedFiles()) {
        const auto r = parseCommandFile(c.bytes);
        ASSERT_FALSE(r.ok()) << c.name;
        // Read from disk (one pass over the file, chunk by chunk): the same message.
        kov::test::writeBytes(onDisk, c.bytes);
        const auto d = readCommandFile(onDisk.string());
        ASSERT_FALSE(d.ok()) << c.name;
        EXPECT_EQ(d.error->text(), r.error->text()) << c.name;
        EXPECT_EQ(r.error->line, c.line) << c.name << ": " << r.error->text();
        EXPECT_NE(r.error->message.find(c.says), std::string::npos) << c.name << ": " << r.error->text();
        if (c.line > 0) {
            EXPECT_EQ(r.error->text().rfind(std::to_string(c.line) + " 行目: ", 0), 0u) << c.name;
        }
    }
}

// A file read from disk keeps only where its pages lie and reads each page again when it
// is drawn: the same pages, commands and characters as the file read from memory.
TEST(CommandFile, PagesReadAgainFromDiskAreThePagesReadFromMemory)
{
    // A run of more than two read chunks (1 MiB each), so that lines and pages cross them.
    const kov::test::TempDir tmp("ovl-long-run");
    const auto longRun = tmp / "OVL.TMP";
    {
        const std::string sample = readBytes(std::filesystem::path(KOV_TEST_DATA_DIR) / "ovlprint-kov120-monthly.tmp");
        const std::size_t begin = sample.find("CR 15063\r\n") + 10;
        const std::string page = sample.substr(begin, sample.find("PE \r\n") - begin);
        std::string run = kHead;
        for (int i = 0; run.size() < 2600 * 1024; ++i) run += (i ? "PE \r\n" : "") + page;
        kov::test::writeBytes(longRun, run + "ED \r\n");
    }
    for (const std::string& sample : {std::string(KOV_TEST_DATA_DIR "/ovlprint-kov120-monthly.tmp"),
                                      std::string(KOV_TEST_DATA_DIR "/ovlprint-kov570.tmp"), longRun.string()}) {
        SCOPED_TRACE(sample);
        const std::filesystem::path path = sample;
        const auto mem = parseCommandFile(readBytes(path));
        const auto disk = readCommandFile(path.string());
        ASSERT_TRUE(mem.ok() && disk.ok());
        EXPECT_TRUE(disk.file->pages.empty());
        ASSERT_EQ(disk.file->pageCount(), mem.file->pageCount());
        EXPECT_EQ(disk.file->characters.size(), mem.file->characters.size());
        for (std::size_t i = 0; i < mem.file->pageCount(); ++i) {
            const Page a = mem.file->page(i), b = disk.file->page(i);
            EXPECT_EQ(a.firstLine, b.firstLine);
            ASSERT_EQ(a.commands.size(), b.commands.size());
            for (std::size_t k = 0; k < a.commands.size(); ++k) {
                const auto* ta = std::get_if<TextCommand>(&a.commands[k]);
                const auto* tb = std::get_if<TextCommand>(&b.commands[k]);
                ASSERT_EQ(ta == nullptr, tb == nullptr);
                if (ta) {
                    EXPECT_EQ(std::tie(ta->line, ta->x10, ta->y10, ta->text),
                              std::tie(tb->line, tb->x10, tb->y10, tb->text));
                }
            }
        }
    }
}

TEST(CommandFile, MissingFileOrAFolderIsAMessage)
{
    const auto r = readCommandFile("/nonexistent/folder/OVL.TMP");
    ASSERT_FALSE(r.ok());
    EXPECT_NE(r.error->text().find("/nonexistent/folder/OVL.TMP"), std::string::npos);
    const kov::test::TempDir tmp("ovl-folder-as-file");
    std::filesystem::create_directories(tmp / "OVL.TMP");
    const auto d = readCommandFile((tmp / "OVL.TMP").string());
    ASSERT_FALSE(d.ok());
    EXPECT_NE(d.error->text().find("ファイルではありません"), std::string::npos) << d.error->text();
}

// Every input kept in the fuzzing corpus (including all that ever crashed the reader)
// either reads or gives a message; none may crash.
TEST(CommandFile, FuzzCorpusReadsOrGivesAMessage)
{
    const std::filesystem::path corpus = std::filesystem::path(KOV_SOURCE_DIR) / "overlayprint/fuzz/corpus";
    std::size_t seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        if (!entry.is_regular_file()) continue;
        ++seen;
        const auto r = parseCommandFile(readBytes(entry.path()));
        if (!r.ok()) {
            EXPECT_FALSE(r.error->message.empty()) << entry.path();
        } else {
            EXPECT_FALSE(r.file->pages.empty()) << entry.path();
        }
    }
    EXPECT_GT(seen, 10u);
}

TEST(EngineSettings, DefaultsAndRelativeFolders)
{
    std::string error;
    auto s = parseSettings("", "/etc/kov", "/opt/kov/bin", &error);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->output, OutputKind::Pdf);
    EXPECT_EQ(s->pdfFolder, "/etc/kov/pdf");
    EXPECT_EQ(s->overlayFolder, "/opt/kov/bin");

    s = parseSettings("; engine\r\n[Other]\r\nFoo=1\r\n[Print]\r\noutput = Printer\r\nPrinter=Office A\r\n"
                      "PdfFolder=out/../reports\r\nOverlayFolder=/srv/forms\r\n",
                      "/etc/kov", "/opt/kov/bin", &error);
    ASSERT_TRUE(s) << error;
    EXPECT_EQ(s->output, OutputKind::Printer);
    EXPECT_EQ(s->printer, "Office A");
    EXPECT_EQ(s->pdfFolder, "/etc/kov/reports");
    EXPECT_EQ(s->overlayFolder, "/srv/forms");
}

TEST(EngineSettings, MistakesAreReportedWithTheirLine)
{
    std::string error;
    EXPECT_FALSE(parseSettings("[Print]\nOutput=fax\n", "/etc/kov", "/bin", &error));
    EXPECT_NE(error.find("2 行目"), std::string::npos) << error;
    EXPECT_NE(error.find("fax"), std::string::npos) << error;
    EXPECT_FALSE(parseSettings("[Print]\nOuptut=pdf\n", "/etc/kov", "/bin", &error));
    EXPECT_NE(error.find("Ouptut"), std::string::npos) << error;
    EXPECT_FALSE(parseSettings("[Print\n", "/etc/kov", "/bin", &error));
    EXPECT_NE(error.find("1 行目"), std::string::npos) << error;
}

TEST(EngineSettings, ALowerCaseFileNameIsReadAsWell)
{
    const kov::test::TempDir dir("kovovl");
    std::ofstream(dir / "ovlprint.ini") << "[Print]\r\nOutput=preview\r\n";
    std::string error;
    const auto s = loadSettings(dir.str(), "/bin", &error);
    ASSERT_TRUE(s) << error;
    EXPECT_EQ(s->output, OutputKind::Preview);
    EXPECT_EQ(s->iniPath, (dir / "ovlprint.ini").string());
}
