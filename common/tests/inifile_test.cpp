// The one INI reader of the settings files.
#include "common/inifile.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <fstream>

TEST(IniFile, SectionsKeysCommentsQuotesAndMistakes)
{
    const kov::ini::IniFile f = kov::ini::parse("\xEF\xBB\xBF; comment\r\n[Database]\r\n engine = PostgreSQL \r\n"
                                                "Connection=\"host=db1 dbname=kov\"\r\n# other\r\n[print]\r\n"
                                                "Output=pdf\r\nno equals sign\r\n[Print\r\n");
    EXPECT_EQ(f.value("DATABASE", "Engine"), "PostgreSQL");
    EXPECT_EQ(kov::ini::unquoted(*f.value("database", "connection")), "host=db1 dbname=kov");
    EXPECT_EQ(f.value("Print", "OUTPUT"), "pdf");
    EXPECT_FALSE(f.value("Database", "Output"));
    ASSERT_EQ(f.problems.size(), 2u);
    EXPECT_EQ(f.problems[0].line, 8u);
    EXPECT_EQ(f.problems[1].line, 9u);
}

TEST(IniFile, AFileIsFoundWithoutRegardToTheCaseOfItsName)
{
    const kov::test::TempDir dir("kovini");
    std::ofstream(dir / "ovlprint.ini") << "[Print]\n";
    EXPECT_EQ(kov::ini::findFile(dir.str(), "OVLPRINT.INI"), (dir / "ovlprint.ini").string());
    EXPECT_EQ(kov::ini::findFile(dir.str(), "KOV.INI"), (dir / "KOV.INI").string()); // none: the exact name
    // Two that match: the first in byte order, whatever order the folder lists them in.
    for (const char* name : {"ovlprint.INI", "OvlPrint.ini"}) std::ofstream(dir / name) << "[Print]\n";
    EXPECT_EQ(kov::ini::findFile(dir.str(), "OVLPRINT.INI"), (dir / "OvlPrint.ini").string());
}
