// Reading of the print command file: what a good file turns into, and that every
// kind of malformed file gives one message naming its line, never a wrong page.
#include "overlayprint/commandfile.h"
#include "overlayprint/settings.h"

#include "common/cp932.h"
#include "print/subprt.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>

using namespace kov::overlayprint;

namespace {

// Lines joined with CR LF, text given in UTF-8 and written in CP932.
std::string file(std::initializer_list<std::string> lines)
{
    std::string out;
    for (const auto& l : lines) out += kov::cp932::fromUtf8(l) + "\r\n";
    return out;
}

const std::string kHead = "ST 011001\r\nCR 15063\r\n";

std::string readBytes(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace

TEST(CommandFile, ReadsPagesTextsAndRules)
{
    const auto r = parseCommandFile(file({"ST 011001", "CR 15063", "TE 0030008531075100山田　太郎ｱｲ",
                                          "HL 0770008500800100000000000000000", "PE ", "TE 1780004531100100 5 -  1",
                                          "TE 1320001031100100", "ED "}));
    ASSERT_TRUE(r.ok()) << r.error->text();
    const CommandFile& f = *r.file;
    EXPECT_STREQ(f.paper->name, "B4");
    EXPECT_TRUE(f.landscape);
    EXPECT_NEAR(f.pageWidthCells(), 214.96, 0.01);
    EXPECT_NEAR(f.pageHeightLines(), 60.71, 0.01);
    ASSERT_EQ(f.pages.size(), 2u);
    ASSERT_EQ(f.pages[0].commands.size(), 2u);
    const auto& t = std::get<TextCommand>(f.pages[0].commands[0]);
    EXPECT_EQ(t.line, 3u);
    EXPECT_EQ(t.x10, 30);
    EXPECT_EQ(t.y10, 85);
    EXPECT_EQ(t.sizeX, 75);
    EXPECT_EQ(t.text, "山田　太郎ｱｲ");
    EXPECT_EQ(t.cells, 12);  // five full-width characters and two half-width katakana
    const auto& h = std::get<RuleCommand>(f.pages[0].commands[1]);
    EXPECT_EQ(h.x10, 770);
    EXPECT_EQ(h.len10, 80);
    EXPECT_EQ(h.thicknessPt, 1);
    // An empty text is kept (it draws nothing) and does not end the line early.
    EXPECT_EQ(std::get<TextCommand>(f.pages[1].commands[1]).text, "");
}

TEST(CommandFile, PageCommandsMakeNoBlankSheets)
{
    // The summary writes PE before its first page; two in a row or one before ED add nothing.
    const auto r = parseCommandFile(
        file({"ST 011001", "CR 15063", "PE ", "TE 0080005031100100A", "PE ", "PE ", "TE 0080005031100100B", "PE ", "ED "}));
    ASSERT_TRUE(r.ok()) << r.error->text();
    ASSERT_EQ(r.file->pages.size(), 2u);
    EXPECT_EQ(std::get<TextCommand>(r.file->pages[1].commands[0]).text, "B");
}

TEST(CommandFile, ReadsWhatTheWriterWrites)
{
    const auto dir = std::filesystem::temp_directory_path() / "ovl-writer-reader";
    std::filesystem::create_directories(dir);
    {
        kov::SubPrt prt;
        prt.p_strPrtPath = dir.string();
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
    std::filesystem::remove_all(dir);
}

struct BadCase {
    const char* name;
    std::string bytes;
    std::size_t line;
    const char* says;
};

TEST(CommandFile, EveryMalformedFileNamesItsLine)
{
    const std::string longLine = "TE 0030008531100100" + std::string(70 * 1024, 'A');
    const BadCase cases[] = {
        {"empty file", "", 0, "空"},
        {"unknown command", kHead + "XX 0000\r\nED \r\n", 3, "不明な命令「XX」"},
        {"lower-case command", kHead + "te 0030008531100100A\r\nED \r\n", 3, "不明な命令"},
        {"no blank after command", kHead + "TE0030008531100100A\r\nED \r\n", 3, "読めません"},
        {"missing ST", "CR 15063\r\nED \r\n", 1, "ST"},
        {"missing CR", "ST 011001\r\nTE 0030008531100100A\r\nED \r\n", 2, "CR"},
        {"short field", kHead + "TE 00300085311001\r\nED \r\n", 3, "縦の大きさが足りません"},
        {"non-numeric field", kHead + "TE 00a0008531100100A\r\nED \r\n", 3, "X 座標「00a0」が数字ではありません"},
        {"short HL", kHead + "HL 007000850080001000000000000\r\nED \r\n", 3, "足りません"},
        {"five-digit coordinate in HL", kHead + "HL 100000085008000100000000000000000\r\nED \r\n", 3, "1000.0"},
        {"five-digit coordinate in TE", kHead + "TE 100000085310751001234\r\nED \r\n", 3, "1000.0"},
        {"not CP932", kHead + "TE 0030008531100100\x82\xFF\r\nED \r\n", 3, "シフトJIS"},
        {"control character", kHead + "TE 0030008531100100A\tB\r\nED \r\n", 3, "制御文字"},
        {"CR inside a line", kHead + "TE 0030008531100100A\rB\r\nED \r\n", 3, "制御文字"},
        {"no ED", kHead + "TE 0030008531100100A\r\n", 3, "ED"},
        {"cut inside a line", kHead + "TE 0030008531100100A\r\nTE 00300", 4, "CR LF"},
        {"LF without CR", kHead + "TE 0030008531100100A\nED \r\n", 3, "CR がありません"},
        {"text after ED", kHead + "TE 0030008531100100A\r\nED \r\nTE 0030008531100100B\r\n", 5, "ED（終了命令）の後"},
        {"blank line after ED", kHead + "TE 0030008531100100A\r\nED \r\n\r\n", 5, "ED（終了命令）の後"},
        {"line of a megabyte", kHead + longLine + "\r\nED \r\n", 3, "長すぎ"},
        {"nothing to print", kHead + "PE \r\nED \r\n", 4, "印刷する内容がありません"},
        {"unknown font", kHead + "TE 0030008511100100A\r\nED \r\n", 3, "フォント番号 1"},
        {"unknown pattern", kHead + "TE 0030008532100100A\r\nED \r\n", 3, "パターン番号 2"},
        {"unknown paper", "ST 099001\r\nCR 15063\r\nED \r\n", 1, "用紙の番号 99"},
        {"size zero", kHead + "TE 0030008531000100A\r\nED \r\n", 3, "小さすぎ"},
        {"negative x", kHead + "TE -0010008531100100A\r\nED \r\n", 3, "用紙の横幅の外"},
        {"text past the right edge", kHead + "TE 2100008531100100ABCDEFGHIJ\r\nED \r\n", 3, "用紙の横幅の外"},
        {"text above the top", kHead + "TE 0030000031100100A\r\nED \r\n", 3, "上下の外"},
        {"rule past the edge", kHead + "HL 2000008501800010000000000000000\r\nED \r\n", 3, "用紙の外"},
        {"rule with reserved fields", kHead + "HL 0770008500800100001000000000000\r\nED \r\n", 3, "予備欄"},
        {"rule of negative length", kHead + "HL 00700085-00800010000000000000000\r\nED \r\n", 3, "負"},
        {"trailing text after PE", kHead + "TE 0030008531100100A\r\nPE x\r\nED \r\n", 4, "余分"},
        {"second ST", kHead + "ST 011001\r\nED \r\n", 3, "2 度"},
    };
    const auto onDisk = std::filesystem::temp_directory_path() / "ovl-malformed.tmp";
    for (const BadCase& c : cases) {
        const auto r = parseCommandFile(c.bytes);
        ASSERT_FALSE(r.ok()) << c.name;
        // Read from disk (one pass over the file, chunk by chunk): the same message.
        std::ofstream(onDisk, std::ios::binary) << c.bytes;
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
    const auto longRun = std::filesystem::temp_directory_path() / "ovl-long-run.tmp";
    {
        const std::string sample = readBytes(std::filesystem::path(KOV_TEST_DATA_DIR) / "ovlprint-kov120-monthly.tmp");
        const std::size_t begin = sample.find("CR 15063\r\n") + 10;
        const std::string page = sample.substr(begin, sample.find("PE \r\n") - begin);
        std::string run = kHead;
        for (int i = 0; run.size() < 2600 * 1024; ++i) run += (i ? "PE \r\n" : "") + page;
        std::ofstream(longRun, std::ios::binary) << run + "ED \r\n";
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
                    EXPECT_EQ(std::tie(ta->line, ta->x10, ta->y10, ta->text), std::tie(tb->line, tb->x10, tb->y10, tb->text));
                }
            }
        }
    }
    std::filesystem::remove(longRun);
}

TEST(CommandFile, MissingFileOrAFolderIsAMessage)
{
    const auto r = readCommandFile("/nonexistent/folder/OVL.TMP");
    ASSERT_FALSE(r.ok());
    EXPECT_NE(r.error->text().find("/nonexistent/folder/OVL.TMP"), std::string::npos);
    const auto dir = std::filesystem::temp_directory_path() / "ovl-folder-as-file" / "OVL.TMP";
    std::filesystem::create_directories(dir);
    const auto d = readCommandFile(dir.string());
    ASSERT_FALSE(d.ok());
    EXPECT_NE(d.error->text().find("ファイルではありません"), std::string::npos) << d.error->text();
    std::filesystem::remove_all(dir.parent_path());
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
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("kovovl-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "ovlprint.ini") << "[Print]\r\nOutput=preview\r\n";
    std::string error;
    const auto s = loadSettings(dir.string(), "/bin", &error);
    ASSERT_TRUE(s) << error;
    EXPECT_EQ(s->output, OutputKind::Preview);
    EXPECT_EQ(s->iniPath, (dir / "ovlprint.ini").string());
    std::filesystem::remove_all(dir);
}
