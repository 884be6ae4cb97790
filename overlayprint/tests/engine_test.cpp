// The engine end to end: real command files over the real forms to real PDFs, read back
// with poppler (pdftotext, pdffonts, pdfinfo, pdftoppm); failures through PrtFile (the
// message the user sees) and through the ovlprint tool.
#include "overlayprint/commandfile.h"
#include "overlayprint/overlayprintengine.h"

#include "common/cp932.h"
#include "common/tests/scriptedruntime.h"
#include "overlayprint/tests/commandfiles.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QStringList>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using namespace kov::overlayprint;
using namespace kov::overlayprint::test;
using kov::test::readBytes;
using kov::test::writeBytes;

namespace {

struct ProcResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

ProcResult run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput().toStdString(),
            p.readAllStandardError().toStdString()};
}

std::string pdfText(const std::string& pdf) { return run("pdftotext", {QString::fromStdString(pdf), "-"}).out; }

int pdfPages(const std::string& pdf)
{
    const std::string info = run("pdfinfo", {QString::fromStdString(pdf)}).out;
    std::smatch m;
    if (!std::regex_search(info, m, std::regex("Pages:\\s+(\\d+)"))) return -1;
    return std::stoi(m[1]);
}

// A grey-scale rendering of one page (pdftoppm), dark pixels counted by rectangle.
struct Gray {
    QImage img;
    int w = img.width(), h = img.height();
    bool dark(int x, int y) const { return x >= 0 && y >= 0 && x < w && y < h && img.constScanLine(y)[x] < 128; }
    int darkIn(double x0, double y0, double x1, double y1) const
    {
        int n = 0;
        for (int y = static_cast<int>(y0); y < static_cast<int>(y1); ++y)
            for (int x = static_cast<int>(x0); x < static_cast<int>(x1); ++x) n += dark(x, y);
        return n;
    }
};

Gray renderPage(const std::string& pdf, int page, int dpi, const fs::path& dir)
{
    const QString prefix = QString::fromStdString((dir / "page").string());
    run("pdftoppm", {"-gray", "-r", QString::number(dpi), "-f", QString::number(page), "-l", QString::number(page),
                     "-singlefile", QString::fromStdString(pdf), prefix});
    return {QImage(prefix + ".pgm").convertToFormat(QImage::Format_Grayscale8)};
}

// Removes blanks, so that texts can be found whatever spacing pdftotext puts between cells.
std::string squeezed(const std::string& s)
{
    return QString::fromStdString(s).remove(u' ').remove(u'\n').remove(QChar(0x3000)).toStdString();
}

class EngineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "overlayprint_engine_test";
        static char* argv[] = {name, nullptr};
        if (!QGuiApplication::instance()) new QGuiApplication(argc, argv);
    }

    void SetUp() override
    {
        tmp = std::make_unique<kov::test::TempDir>(
            "ovl-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        root = tmp->path();
        fs::create_directories(root / "job");
        fs::create_directories(root / "ini");
        setenv("KOV_INI_DIR", (root / "ini").c_str(), 1);
        writeBytes(root / "ini" / "OVLPRINT.INI", "[Print]\r\nOutput=pdf\r\nPdfFolder=out\r\n");
        writeBytes(root / "blank.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"364mm\" height=\"257mm\" "
                                       "viewBox=\"0 0 214.96 151.77\"/>");
    }

    void TearDown() override
    {
        unsetenv("KOV_INI_DIR");
        if (HasFailure()) tmp->keep();
    }

    // Prints `bytes` as the job's OVL.TMP through PrtFile (none: from a folder that
    // does not exist).
    std::int32_t print(const std::optional<std::string>& bytes, const std::string& job, const std::string& overlay)
    {
        if (bytes) writeBytes(root / "job" / "OVL.TMP", *bytes);
        OverlayPrintEngine engine(rt);
        engine.setPrintFIlePath((root / (bytes ? "job" : "nowhere")).string());
        const std::int32_t rc = engine.PrtFile(job, "帳票印刷", overlay);
        lastPdf = engine.lastOutputPath();
        return rc;
    }

    std::vector<std::string> outputFiles() const { return kov::test::fileNames(root / "ini" / "out"); }
    std::string lastMessage() const { return rt.messages.empty() ? "" : rt.messages.back().text; }
    // The one message of a failed job: a stop that says each of `says` (under `title`).
    void expectOneStop(const std::vector<std::string>& says, const char* title = nullptr)
    {
        ASSERT_EQ(rt.messages.size(), 1u);
        EXPECT_EQ(rt.messages[0].icon, kov::MsgIcon::Stop);
        if (title) {
            EXPECT_EQ(rt.messages[0].title, title);
        }
        for (const auto& s : says) EXPECT_NE(rt.messages[0].text.find(s), std::string::npos) << rt.messages[0].text;
    }
    // ovlprint on the job's command file.
    static ProcResult ovlprint(const QStringList& args)
    {
        return run(QString::fromStdString((fs::path(KOV_BIN_DIR) / "ovlprint").string()), args);
    }
    QStringList reprint(const char* job, const char* overlay, const fs::path& pdf) const
    {
        return {QString::fromStdString((root / "job").string()), job, overlay, "--pdf", QString::fromStdString(pdf)};
    }

    std::unique_ptr<kov::test::TempDir> tmp;
    fs::path root;
    kov::ScriptedRuntime rt{KOV_BIN_DIR};
    std::string lastPdf;
};

struct FormCase {
    FormCase(const char* file, const char* jobName, const char* form, int pageCount, std::vector<std::string> found,
             double left, double top, double right, double bottom)
        : sample(file), job(jobName), overlay(form), pages(pageCount), texts(std::move(found)), x0(left), y0(top),
          x1(right), y1(bottom)
    {
    }
    const char* sample;
    const char* job;
    const char* overlay;
    int pages;
    std::vector<std::string> texts; // squeezed: no blanks
    // A part of the form that no command draws into (column captions): cells and lines.
    double x0, y0, x1, y1;
};

} // namespace

TEST_F(EngineTest, EachFormPrintsItsReportToAPdfWithTheFontEmbedded)
{
    const FormCase cases[] = {
        FormCase("ovlprint-kov120-monthly.tmp", "KOV120", "KOV120p.ovl", 2,
                 {"期末勤勉手当支給調書", "月額者", "期末基礎額", "令和8年12月", "期末", "手当", "佐藤花子",
                  "市立第一小学校", "※ブロック合計※", "826,239", "6カ月0日", "5カ月15日", "2-02"},
                 20, 4.6, 30, 7.4),
        FormCase("ovlprint-kov121-daily-march.tmp", "KOV120", "KOV121p.ovl", 1,
                 {"期末勤勉手当支給調書", "日額者", "令和8年3月", "増減額", "鈴木一郎", "653,702"}, 20, 4.6, 30, 7.4),
        FormCase("ovlprint-kov140.tmp", "KOV140", "KOV140p.ovl", 1,
                 {"差額支給内訳明細書", "年調還付額", "令和08年11月分", "町立みどり台中学校", "高橋由美子", "4,376"},
                 25.5, 4.6, 36.5, 7.4),
        FormCase("ovlprint-kov570.tmp", "Kov570", "Kov570p.OVL", 3,
                 {"4月", "翌4月", "合計", "へき地計", "令和8年度分", "第一財務事務所", "小学校給与費支出額集計表",
                  "中学校給与費支出額集計表", "98,765"},
                 2.2, 9.2, 7.8, 10.8),
    };
    for (const FormCase& c : cases) {
        SCOPED_TRACE(c.sample);
        ASSERT_EQ(print(readBytes(fs::path(KOV_TEST_DATA_DIR) / c.sample), c.job, c.overlay), kPrtDone)
            << lastMessage();
        EXPECT_TRUE(rt.messages.empty());
        ASSERT_TRUE(fs::exists(lastPdf));
        EXPECT_EQ(fs::path(lastPdf).parent_path(), root / "ini" / "out");
        EXPECT_TRUE(std::regex_match(fs::path(lastPdf).filename().string(),
                                     std::regex(std::string(c.job) + "_\\d{8}-\\d{6}(_\\d+)?\\.pdf")))
            << lastPdf;
        EXPECT_EQ(pdfPages(lastPdf), c.pages);

        const std::string fonts = run("pdffonts", {QString::fromStdString(lastPdf)}).out;
        EXPECT_TRUE(std::regex_search(fonts, std::regex("IPAGothic\\s+CID TrueType\\s+\\S+\\s+yes"))) << fonts;

        const std::string text = squeezed(pdfText(lastPdf));
        for (const std::string& t : c.texts) EXPECT_NE(text.find(t), std::string::npos) << t;

        // Every page renders, and the form is drawn under the figures.
        const fs::path pngDir = root / "png";
        fs::create_directories(pngDir);
        const ProcResult ppm = run("pdftoppm", {"-r", "30", "-png", QString::fromStdString(lastPdf),
                                                QString::fromStdString((pngDir / "p").string())});
        EXPECT_EQ(ppm.exitCode, 0) << ppm.err;
        EXPECT_EQ(std::distance(fs::directory_iterator(pngDir), fs::directory_iterator{}), c.pages);
        fs::remove_all(pngDir);
        const Gray g = renderPage(lastPdf, 1, 100, root);
        ASSERT_GT(g.w, 0);
        const double cx = 100.0 / 15, ly = 100.0 / 6;
        EXPECT_GT(g.darkIn(c.x0 * cx, c.y0 * ly, c.x1 * cx, c.y1 * ly), 20) << "no caption of the form";
        rt.messages.clear();
    }
}

// The command files that the printing programs' own tests keep as their expected output
// all print over their forms.
TEST_F(EngineTest, TheProgramsCommandFilesPrintOverTheirForms)
{
    int printed = 0;
    for (const auto& e : fs::directory_iterator(KOV_TEST_DATA_DIR)) {
        const std::string name = e.path().filename().string();
        if (e.path().extension() != ".tmp" || name.rfind("kov", 0) != 0) continue;
        std::string overlay;
        if (name.rfind("kov120_daily", 0) == 0) overlay = "KOV121p.ovl";
        else if (name.rfind("kov120_", 0) == 0) overlay = "KOV120p.ovl";
        else if (name.rfind("kov140_", 0) == 0) overlay = "KOV140p.ovl";
        else if (name.rfind("kov570_", 0) == 0) overlay = "Kov570p.OVL";
        else continue;
        SCOPED_TRACE(name);
        rt.messages.clear();
        EXPECT_EQ(print(readBytes(e.path()), name.substr(0, 6), overlay), kPrtDone) << lastMessage();
        ++printed;
    }
    std::printf("%d command files of the programs printed\n", printed);
}

// Where things land: a character at (x, y) fills cells x.. and the line band y-1..y;
// sizes condense and widen it; a rule lies on its y.
TEST_F(EngineTest, TextsStandInTheirCellsAndRowBands)
{
    ASSERT_EQ(print(lines({"ST 011001", "CR 15063", "TE 1000030031100100■", "TE 0500020031050100■■",
                           "TE 1500040031200100■", "HL 0100050002000200000000000000000", "ED "}),
                    "GEOM", (root / "blank.svg").string()),
              kPrtDone);
    const int dpi = 150;
    const Gray g = renderPage(lastPdf, 1, dpi, root);
    ASSERT_GT(g.w, 0);
    const double cx = dpi / 15.0, ly = dpi / 6.0;
    auto box = [&](double x0, double y0, double x1, double y1) {
        // Bounding box of the dark pixels within the given window (cells, lines).
        int minX = 1 << 30, minY = 1 << 30, maxX = -1, maxY = -1;
        for (int y = static_cast<int>(y0 * ly); y < static_cast<int>(y1 * ly); ++y)
            for (int x = static_cast<int>(x0 * cx); x < static_cast<int>(x1 * cx); ++x)
                if (g.dark(x, y)) {
                    minX = std::min(minX, x);
                    maxX = std::max(maxX, x);
                    minY = std::min(minY, y);
                    maxY = std::max(maxY, y);
                }
        return std::array<double, 4>{minX / cx, minY / ly, (maxX + 1) / cx, (maxY + 1) / ly};
    };
    // The square glyph fills three quarters of its em box, centred in it.
    auto within = [&](const std::array<double, 4>& b, double x, double cells) {
        EXPECT_GE(b[0], x - 0.05);
        EXPECT_LE(b[2], x + cells + 0.05);
        EXPECT_GE(b[2] - b[0], 0.7 * cells);
        EXPECT_NEAR((b[0] + b[2]) / 2, x + cells / 2, 0.1);
    };
    // Full-width square at (100, 30): two cells across, inside the band 29..30.
    auto b = box(97, 27, 106, 32);
    within(b, 100, 2);
    EXPECT_GE(b[1], 29.0);
    EXPECT_LE(b[3], 30.0);
    EXPECT_GE(b[3] - b[1], 0.55);
    // Two squares at 50%: two cells in all, the band unchanged.
    b = box(47, 17, 56, 22);
    within(b, 50, 2);
    EXPECT_GE(b[1], 19.0);
    EXPECT_LE(b[3], 20.0);
    // One square at 200%: four cells.
    b = box(147, 37, 158, 42);
    within(b, 150, 4);
    // The rule: from x 10 for 20 cells, 2 points thick, centred on line 50.
    b = box(5, 48, 35, 52);
    EXPECT_NEAR(b[0], 10, 0.15);
    EXPECT_NEAR(b[2], 30, 0.15);
    EXPECT_NEAR((b[1] + b[3]) / 2, 50, 0.05);
}

// The form's captions are drawn as text where the SVG puts them: transforms of the
// element and its groups, and the anchor.
TEST_F(EngineTest, FormCaptionsStandWhereTheSvgPutsThem)
{
    writeBytes(root / "forms" / "captions.svg",
               "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 214.96 151.77\">"
               "<g transform=\"translate(100,50)\"><text x=\"0\" y=\"0\" font-family=\"IPAGothic\" "
               "style=\"font-size:4px\" text-anchor=\"end\">■</text></g>"
               "<text transform=\"translate(20,100) scale(2,1)\" font-size=\"4\">■</text></svg>");
    ASSERT_EQ(print(lines({"ST 011001", "CR 15063", "TE 0050005031100100X", "ED "}), "CAP",
                    (root / "forms" / "captions.svg").string()),
              kPrtDone)
        << lastMessage();
    EXPECT_NE(pdfText(lastPdf).find("■"), std::string::npos);
    const int dpi = 150;
    const Gray g = renderPage(lastPdf, 1, dpi, root);
    const double u = dpi / 15.0; // pixels per SVG unit
    // Anchored at its end on x 100: the square lies left of it, above the baseline y 50.
    EXPECT_GT(g.darkIn(96.5 * u, 47 * u, 99.8 * u, 50 * u), 100);
    EXPECT_EQ(g.darkIn(100.3 * u, 45 * u, 104 * u, 51 * u), 0);
    // Widened twice: about 6 units across from x 20.
    EXPECT_GT(g.darkIn(21 * u, 97.5 * u, 27 * u, 99.5 * u), 100);
    EXPECT_EQ(g.darkIn(28.5 * u, 95 * u, 32 * u, 101 * u), 0);
}

// Every character that the code page can hold is in the font (none prints as a box).
TEST_F(EngineTest, EveryCharacterOfTheCodePagePrints)
{
    std::string text;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        // 0xF0-0xF9 are the user-defined codes, printed as the gaiji table says (see below).
        if ((lead >= 0xA0 && lead <= 0xDF) || (lead >= 0xF0 && lead <= 0xF9)) continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F) continue;
            const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            std::string u;
            if (kov::cp932::tryToUtf8(std::string_view(pair, 2), u)) text += std::string(pair, 2);
        }
    }
    for (int b = 0xA1; b <= 0xDF; ++b) text += static_cast<char>(b);
    std::string file = "ST 011001\r\nCR 15063\r\n";
    int row = 0;
    const std::size_t perLine = 200; // bytes: at most 200 cells
    for (std::size_t at = 0; at < text.size();) {
        std::size_t n = 0;
        while (at + n < text.size() && n < perLine) {
            const auto c = static_cast<unsigned char>(text[at + n]);
            n += (c >= 0xA1 && c <= 0xDF) ? 1 : 2;
        }
        if (row == 58) {
            file += "PE \r\n";
            row = 0;
        }
        ++row;
        char head[32];
        std::snprintf(head, sizeof head, "TE 0050%04d31100100", row * 10 + 10);
        file += head + text.substr(at, n) + "\r\n";
        at += n;
    }
    file += "ED \r\n";
    EXPECT_EQ(print(file, "ALL", (root / "blank.svg").string()), kPrtDone) << lastMessage();
}

// A user-defined code prints as the gaiji table's character, found in the PDF's text
// (beyond the basic plane too); one the table does not name prints as 〓, with a warning.
TEST_F(EngineTest, UserDefinedCodesPrintAsTheGaijiTableSays)
{
    writeBytes(root / "ini" / "GAIJI.INI", "[Gaiji]\r\nE000=𠮷\r\nE001=𩸽\r\nE002=髙\r\n");
    const std::string file = lines({"ST 011001", "CR 15063", "TE 0050001031100100\uE000田\uE001\uE002", "PE ",
                                    "TE 0050001031100100\uE003田", "ED "});
    ASSERT_EQ(print(file, "GAIJI", (root / "blank.svg").string()), kPrtDone) << lastMessage();
    const std::string text = pdfText(lastPdf);
    EXPECT_NE(text.find("𠮷田𩸽髙"), std::string::npos) << text;
    EXPECT_NE(text.find("〓田"), std::string::npos) << text;
    // The text was added to the finished PDF: every entry of its cross-reference table
    // still points at its object.
    const std::string pdf = kov::test::readBytes(lastPdf);
    const std::size_t table = std::stoul(pdf.substr(pdf.rfind("startxref\n") + 10));
    std::istringstream xref(pdf.substr(table));
    std::string keyword, first;
    std::size_t objects = 0;
    xref >> keyword >> first >> objects;
    ASSERT_EQ(keyword, "xref");
    ASSERT_GT(objects, 10u);
    for (std::size_t i = 0; i < objects; ++i) {
        std::string offset, generation, kind;
        xref >> offset >> generation >> kind;
        const std::string object = std::to_string(i) + " 0 obj";
        if (kind == "n") {
            EXPECT_EQ(pdf.compare(std::stoul(offset), object.size(), object), 0) << i;
        }
    }
    ASSERT_EQ(rt.messages.size(), 1u);
    EXPECT_EQ(rt.messages[0].icon, kov::MsgIcon::Exclamation);
    EXPECT_NE(lastMessage().find("2 ページ目の外字 F043 (U+E003)"), std::string::npos) << lastMessage();
}

TEST_F(EngineTest, PdfsAreNeverOverwrittenAndNoPartFileIsLeft)
{
    const std::string bytes = readBytes(fs::path(KOV_TEST_DATA_DIR) / "ovlprint-kov140.tmp");
    // Files already there under the names of this and the next seconds stay as they are.
    const QDateTime now = QDateTime::currentDateTime();
    std::vector<fs::path> existing;
    for (int s = 0; s < 5; ++s) {
        const std::string stamp = now.addSecs(s).toString("yyyyMMdd-HHmmss").toStdString();
        existing.push_back(root / "ini" / "out" / pdfBaseName("KOV140", stamp));
        writeBytes(existing.back(), "an earlier job");
    }
    std::vector<std::string> made;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(print(bytes, "KOV140", "KOV140p.ovl"), kPrtDone);
        made.push_back(lastPdf);
    }
    EXPECT_NE(made[0], made[1]);
    EXPECT_NE(made[1], made[2]);
    EXPECT_NE(made[0], made[2]);
    const auto files = outputFiles();
    EXPECT_EQ(files.size(), 3u + existing.size());
    for (const auto& f : files) EXPECT_EQ(fs::path(f).extension(), ".pdf") << f;
    for (const auto& f : existing) EXPECT_EQ(readBytes(f), "an earlier job") << f;
    for (const auto& m : made) EXPECT_EQ(pdfPages(m), 1) << m;
}

// Payroll on paper is private: the PDF 0600 in a folder made 0700, whatever the umask; a
// report folder that others may write to is refused with the folder named, nothing written.
TEST_F(EngineTest, PdfsAndTheirFolderArePrivate)
{
    const std::string bytes = readBytes(fs::path(KOV_TEST_DATA_DIR) / "ovlprint-kov140.tmp");
    const mode_t old = ::umask(0);
    const int status = print(bytes, "KOV140", "KOV140p.ovl");
    ::umask(old);
    ASSERT_EQ(status, kPrtDone);
    EXPECT_EQ(fs::status(lastPdf).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::status(root / "ini" / "out").permissions(), fs::perms::owner_all);

    fs::permissions(root / "ini" / "out", fs::perms::others_write, fs::perm_options::add);
    rt.messages.clear();
    EXPECT_EQ(print(bytes, "KOV140", "KOV140p.ovl"), kPrtOutputError);
    expectOneStop({(root / "ini" / "out").string(), "他の利用者も書き込めます"});
    EXPECT_EQ(outputFiles().size(), 1u);
}

// Every failure of a job shows one stop message under the job's caption, naming what to
// fix, and leaves no PDF: each of the reader's malformed files with the command file and
// the reader's own message, a missing command file, a form that cannot be drawn, a
// character without a glyph, settings that cannot be followed.
TEST_F(EngineTest, FailuresShowOneMessageAndLeaveNoPdf)
{
    struct Case {
        Case(std::string what, std::optional<std::string> file, std::string form, std::int32_t status,
             std::vector<std::string> words, std::string ini = "[Print]\r\nOutput=pdf\r\nPdfFolder=out\r\n")
            : name(std::move(what)), bytes(std::move(file)), overlay(std::move(form)), rc(status),
              says(std::move(words)), settings(std::move(ini))
        {
        }
        std::string name;
        std::optional<std::string> bytes; // the job's OVL.TMP; none: no command file
        std::string overlay;
        std::int32_t rc;
        std::vector<std::string> says;
        std::string settings; // OVLPRINT.INI
    };
    const auto form = [&](const char* name) { return (root / "forms" / name).string(); };
    writeBytes(form("BROKEN.ovl"), "<svg><g></svg");
    writeBytes(form("EMPTY.ovl"), "");
    writeBytes(form("SKEW.ovl"), "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 10 10\">"
                                 "<g transform=\"skew(3)\"><text>x</text></g></svg>");
    // Numbers that no PDF can hold: refused before anything is drawn.
    writeBytes(form("HUGEFONT.ovl"), "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 214.96 151.77\">"
                                     "<text x=\"10\" y=\"10\" font-size=\"1e30\">帳票</text></svg>");
    writeBytes(form("HUGESCALE.ovl"), "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 214.96 151.77\">\n"
                                      "<g transform=\"scale(1e300)\"><rect width=\"1\" height=\"1\"/></g></svg>");
    writeBytes(form("NESTED.ovl"),
               "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 214.96 151.77\">"
               "<g transform=\"scale(50)\"><g transform=\"scale(50)\"><text>x</text></g></g></svg>");
    const std::string good = lines({"ST 011001", "CR 15063", "TE 0030008531075100山田　太郎", "ED "});
    const std::string plain = lines({"ST 011001", "CR 15063", "TE 0030008531075100A", "ED "});
    std::vector<Case> cases = {
        Case("no command file", std::nullopt, "KOV120p.ovl", kPrtCommandFileError, {"開けません"}),
        Case("missing overlay", good, "NOFORM.ovl", kPrtOverlayError, {"NOFORM.ovl", "見つかりません"}),
        Case("broken overlay", good, form("BROKEN.ovl"), kPrtOverlayError, {"BROKEN.ovl", "SVG"}),
        Case("empty overlay", good, form("EMPTY.ovl"), kPrtOverlayError, {"EMPTY.ovl"}),
        Case("form larger than the paper", lines({"ST 011000", "CR 15063", "TE 0030008531075100A", "ED "}),
             "KOV120p.ovl", kPrtOverlayError, {"KOV120p.ovl", "B4 縦", "収まりません"}),
        Case("unreadable transform", good, form("SKEW.ovl"), kPrtOverlayError, {"SKEW.ovl", "skew(3)"}),
        Case("absurd font size", good, form("HUGEFONT.ovl"), kPrtOverlayError,
             {"HUGEFONT.ovl", "font-size「1e30」", "大きすぎ"}),
        Case("absurd scale", good, form("HUGESCALE.ovl"), kPrtOverlayError, {"HUGESCALE.ovl", "2 行目", "1e300"}),
        Case("enlarged by nested groups", good, form("NESTED.ovl"), kPrtOverlayError, {"NESTED.ovl", "transform"}),
        // The gaiji table names a character that no font has: refused by name, not printed as a box.
        Case("gaiji without a glyph", "ST 011001\r\nCR 15063\r\nTE 0050001031100100\x8E\x52\xF0\x41\r\nED \r\n",
             (root / "blank.svg").string(), kPrtCommandFileError, {"3 行目", "外字 F041 (U+E001)"}),
        Case("wrong gaiji table", "ST 011001\r\nCR 15063\r\nTE 0050001031100100\xF0\x40\r\nED \r\n",
             (root / "blank.svg").string(), kPrtSettingsError, {"GAIJI.INI」の 3 行目", "E000"}),
        Case("unknown output", plain, "KOV120p.ovl", kPrtSettingsError, {"OVLPRINT.INI", "plotter"},
             "[Print]\r\nOutput=plotter\r\n"),
        Case("unknown font", plain, "KOV120p.ovl", kPrtSettingsError, {"NoSuchGothic"},
             "[Print]\r\nFont=NoSuchGothic\r\n"),
        Case("missing printer", good, "KOV120p.ovl", kPrtOutputError, {"経理室のプリンター"},
             "[Print]\r\nOutput=printer\r\nPrinter=経理室のプリンター\r\n"),
        // A preview needs a program with screens; this one has none.
        Case("preview without screens", good, "KOV120p.ovl", kPrtOutputError, {"プレビュー"},
             "[Print]\r\nOutput=preview\r\n"),
    };
    for (const MalformedFile& m : malformedFiles()) {
        const auto read = parseCommandFile(m.bytes);
        ASSERT_FALSE(read.ok()) << m.name;
        cases.push_back({m.name, m.bytes, "KOV120p.ovl", kPrtCommandFileError, {"OVL.TMP", read.error->text()}});
    }
    writeBytes(root / "ini" / "GAIJI.INI", "[Gaiji]\r\nE001=\U0010FFFD\r\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.name == "wrong gaiji table") writeBytes(root / "ini" / "GAIJI.INI", "[Gaiji]\nE001=𠮷\nE000=𠮷\n");
        writeBytes(root / "ini" / "OVLPRINT.INI", c.settings);
        rt.messages.clear();
        EXPECT_EQ(print(c.bytes, "KOV120", c.overlay), c.rc);
        expectOneStop(c.says, "帳票印刷");
        EXPECT_TRUE(lastPdf.empty());
        EXPECT_TRUE(outputFiles().empty());
    }
}

TEST_F(EngineTest, OvlprintReprintsASavedRunAndRejectsBadOnes)
{
    writeBytes(root / "job" / "OVL.TMP", readBytes(fs::path(KOV_TEST_DATA_DIR) / "ovlprint-kov570.tmp"));
    ProcResult r = ovlprint(reprint("Kov570", "Kov570p.OVL", root / "again.pdf"));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(pdfPages((root / "again.pdf").string()), 3);
    EXPECT_NE(squeezed(pdfText((root / "again.pdf").string())).find("全体給与費支出額集計表"), std::string::npos);

    writeBytes(root / "job" / "OVL.TMP", lines({"ST 011001", "CR 15063", "TE 0030008531075100A", "PE ", "ED ", "PE "}));
    r = ovlprint(reprint("Kov570", "Kov570p.OVL", root / "bad.pdf"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("6 行目"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(root / "bad.pdf"));
    EXPECT_EQ(ovlprint({"only-one-argument"}).exitCode, 64);
}

// No space at all, and space for part of the PDF only (the writer's last block then goes
// to the disk short): either way the job fails with the folder and the cause named, and
// neither the PDF nor its temporary file is left. The same through ovlprint, and for a
// disk that may not be written.
TEST_F(EngineTest, AFullDiskIsReportedAndLeavesNoPdf)
{
    const std::string bytes = readBytes(fs::path(KOV_TEST_DATA_DIR) / "ovlprint-kov120-monthly.tmp");
    for (const int freeKiB : {0, 8, 24, -1}) {
        SCOPED_TRACE("free KiB " + std::to_string(freeKiB));
        const std::string cause = freeKiB < 0 ? "書き込み禁止です。" : "空き容量が足りません。";
        // A real full disk: a small tmpfs of the test's own, filled until only freeKiB are
        // left, or mounted read-only. Mounting needs root (CI runs as root).
        const fs::path disk = root / "disk";
        const kov::test::Tmpfs full(disk, "size=256k,mode=0755", freeKiB < 0 ? MS_RDONLY : 0);
        if (!full.mounted()) GTEST_SKIP() << "a small tmpfs needs root (mount): full-disk test skipped";
        if (freeKiB >= 0) full.fill(freeKiB);
        const std::vector<std::string> untouched =
            freeKiB < 0 ? std::vector<std::string>{} : std::vector<std::string>{"fill"};
        writeBytes(root / "ini" / "OVLPRINT.INI", "[Print]\r\nOutput=pdf\r\nPdfFolder=" + disk.string() + "\r\n");
        rt.messages.clear();
        EXPECT_EQ(print(bytes, "KOV120", "KOV120p.ovl"), kPrtOutputError);
        expectOneStop({disk.string(), cause});
        EXPECT_TRUE(lastPdf.empty());
        EXPECT_EQ(kov::test::fileNames(disk), untouched);

        const ProcResult r = ovlprint(reprint("KOV120", "KOV120p.ovl", disk / "again.pdf"));
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find(cause), std::string::npos) << r.err;
        EXPECT_EQ(kov::test::fileNames(disk), untouched);
    }
}
