// The prints of the end-to-end tests of kov120 and kov140: their rows and their keys.
#include "e2e_support.h"

#include "tests/support/files.h"

#include <gtest/gtest.h>

namespace kov::e2e {

namespace {
const char* const kGaijiIni = "[Gaiji]\r\nE000=𠮷\r\n";
} // namespace

void expectGaijiName(const std::filesystem::path& commandFile, const std::filesystem::path& pdf)
{
    EXPECT_NE(test::readBytes(commandFile.string()).find("\xF0\x40\x93\x63"), std::string::npos) << "no F0 40 for 𠮷";
    EXPECT_NE(pdfText(pdf).find("𠮷田"), std::string::npos) << pdfText(pdf);
    EXPECT_EQ(shellOutput("pdffonts '" + pdf.string() + "' | grep -c 'IPAmjMincho '"), "1\n");
}

KeyedPrint kov120DailyPaidPrint(db::Fixture& fx)
{
    const auto addStaff = [&fx](std::int64_t code, const std::string& name, const std::string& syozok,
                                std::int64_t block, std::int64_t syosyu) {
        const db::Row values = {{"KYURYO", 180000 + code}, {"KIMATU", 250000},  {"KINBEN", 150000},
                                {"SSIKYU", 400000},        {"SYOTOK", 20000},   {"SASIHK", 380000},
                                {"KMRITU", 12250000},      {"KBRITU", 9500000}, {"ZEIRT2", 4.084},
                                {"KMMMDD", 600},           {"KBMMDD", 600}};
        fx.addPaidStaff(name, {.syokcd = code,
                               .skyuym = 202312,
                               .kyusyu = 2,
                               .syrflg = block,
                               .syosyu = syosyu,
                               .syozok = syozok,
                               .kgokyu = "1",
                               .kgogho = 10,
                               .values = values});
    };
    fx.setStandardNames();
    fx.writeSettings("GAIJI.INI", kGaijiIni);
    fx.setKanri(202312);
    fx.addSchool("E101", "城東小学校");
    fx.addSchool("E201", "川北中学校");
    fx.setBlock(1, 101, 101, 1, 2);
    fx.setBlock(2, 201, 201, 1, 2);
    addStaff(1001, "山田　太郎", "E101", 1, 3); // monthly-paid: not printed
    addStaff(1002, "𠮷田　一美", "E101", 1, 5); // 𠮷 through the office's gaiji table
    addStaff(2001, "臨時　二葉", "E201", 2, 6);
    // The monthly-paid option has the focus: Down chooses 日額者 (as Right does), Tab goes
    // to the block list, space selects block 01, Down and space select block 02.
    return {"kov120", {"2"}, "期末勤勉手当支給調書印刷", {"Down", "Tab", "space", "Down", "space"}};
}

KeyedPrint kov140TwoBlocksPrint(db::Fixture& fx)
{
    const auto addStaff = [&fx](std::int64_t code, const std::string& name, const std::string& syozok,
                                std::int64_t block, std::int64_t syosyu, std::int64_t nenfus) {
        const std::int64_t n = code % 100;
        const db::Row values = {{"KYURYO", 2100 + n}, {"STYOGK", 210},      {"CHIIKI", 63},      {"KIMATU", 1613},
                                {"KINBEN", 1210},     {"SSIKYU", 5196 + n}, {"KENKO", 278},      {"KOSEI", 546},
                                {"NENFUS", nenfus},   {"KOUGOK", 824},      {"SASIHK", 4372 + n}};
        fx.addPaidStaff(name, {.syokcd = code,
                               .skyuym = 202306,
                               .kyusyu = 3,
                               .syrflg = block,
                               .syosyu = syosyu,
                               .syozok = syozok,
                               .kgokyu = "2",
                               .kgogho = 31,
                               .values = values});
    };
    fx.setStandardNames();
    fx.writeSettings("GAIJI.INI", kGaijiIni);
    fx.setKanri(202306);
    fx.addSchool("E101", "城東小学校");
    fx.addSchool("E201", "川北中学校");
    fx.addSchool("E301", "南町小学校");
    fx.setBlock(1, 101, 101, 1, 3);
    fx.setBlock(2, 301, 301, 1, 3);
    fx.setBlock(3, 201, 201, 1, 3);
    addStaff(1001, "山田　太郎", "E101", 1, 3, -1200);
    addStaff(1002, "𠮷田　一郎", "E101", 1, 1, 3000); // 𠮷 through the office's gaiji table
    addStaff(1003, "講師　一美", "E101", 1, 5, 500); // daily-paid: not printed
    addStaff(2001, "南町　花子", "E301", 2, 3, 100); // block 02: not selected
    addStaff(3001, "高橋　三郎", "E201", 3, 7, 0);
    // The block list has the focus at start, the monthly-paid group chosen: space selects
    // block 01, Down twice and space block 03.
    return {"kov140", {"1"}, "差額支給内訳明細書印刷", {"space", "Down", "Down", "space"}};
}

} // namespace kov::e2e
