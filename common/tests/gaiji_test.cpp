// The office's gaiji table: the lines it refuses, and the one converter writing a
// character of the table (or a user-defined code already in the data) at its code.
#include "common/cp932.h"
#include "common/gaiji.h"
#include "common/runtimeerror.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using kov::gaiji::Table;

TEST(Gaiji, WrongLinesAreRefusedNamingFileAndLine)
{
    struct Case {
        const char* text;
        const char* fault; // empty: read
    };
    const Case cases[] = {
        {"; office\r\n[Gaiji]\r\nE000=𠮷\r\ne757=\"𩸽\"\r\n", ""},
        {"[Gaiji]\nE000=𠮷\nE758=𩸽\n", "の 3 行目: 「E758=𩸽」の外字コード「E758」は使えません"},
        {"[Gaiji]\nDFFF=𩸽\n", "の 2 行目"},
        {"[Gaiji]\nU+E000=𩸽\n", "の 2 行目"},
        {"[Gaiji]\nE000=𠮷\nE000=𩸽\n", "の 3 行目: 外字コード E000 が 2 度書かれています。"},
        {"[Gaiji]\nE000=𠮷\nE001=𠮷\n", "の 3 行目: 文字「𠮷」が 2 度書かれています（外字コード E000 と E001）。"},
        {"[Gaiji]\nE000=𠮷田\n", "の 2 行目: 「E000=𠮷田」の「𠮷田」は 1 文字の漢字などにしてください。"},
        {"[Gaiji]\nE000=\n", "の 2 行目"},
        {"[Gaiji]\nE000=\xF0\xA0\xAE\n", "の 2 行目"},
        {"[Gaiji]\nE000=\xEE\x80\x81\n", "の 2 行目"},
        {"E000=𠮷\n", "の 1 行目: 「E000=𠮷」は [Gaiji] の中に書いてください。"},
        {"[Gaiji]\nE000 𠮷\n", "の 2 行目"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        if (!*c.fault) {
            const Table t = Table::parse(c.text, "/etc/kov/GAIJI.INI");
            EXPECT_EQ(t.size(), 2u);
            EXPECT_EQ(t.codeFor(U'\U00020BB7'), U'\uE000');
            EXPECT_EQ(t.characterOf(U'\uE757'), U'\U00029E3D');
            EXPECT_EQ(t.nextFreeCode(), U'\uE001');
            continue;
        }
        try {
            (void)Table::parse(c.text, "/etc/kov/GAIJI.INI");
            ADD_FAILURE() << "read";
        } catch (const kov::RuntimeError& e) {
            EXPECT_NE(e.detail().find("設定ファイル「/etc/kov/GAIJI.INI」"), std::string::npos) << e.detail();
            EXPECT_NE(e.detail().find(c.fault), std::string::npos) << e.detail();
        }
    }
}

TEST(Gaiji, ConverterWritesTheCodesAndTellsTheLineToAdd)
{
    const kov::test::TempDir dir("kov-gaiji");
    const std::string ini = (dir / "GAIJI.INI").string();
    const auto conversionError = [](const std::string& text) {
        try {
            (void)kov::cp932::fromUtf8(text);
        } catch (const kov::RuntimeError& e) {
            return e.detail();
        }
        return std::string("no error");
    };
    // Without a table: a user-defined code in the data is written as Windows writes it; a
    // character outside the code page stops, naming the line to add.
    kov::gaiji::useSettingsFolder(dir.str());
    EXPECT_EQ(kov::cp932::fromUtf8("\uE000\uE757"), "\xF0\x40\xF9\xFC");
    EXPECT_EQ(kov::cp932::toUtf8("\xF0\x40\xF9\xFC"), "\uE000\uE757");
    EXPECT_EQ(kov::gaiji::userDefinedBytes(U'\uE0BC'), 0xF140);
    EXPECT_EQ(conversionError("𠮷田"), "「𠮷」(U+20BB7)\r\n外字として書くには、外字表「" + ini +
                                           "」の [Gaiji] に「E000=𠮷」の行を加えてください。");

    std::ofstream(ini) << "[Gaiji]\r\nE000=𠮷\r\nE002=€\r\n";
    kov::gaiji::useSettingsFolder(dir.str());
    EXPECT_EQ(kov::cp932::fromUtf8("𠮷田 €"), "\xF0\x40\x93\x63 \xF0\x42");
    std::string out;
    EXPECT_TRUE(kov::cp932::appendFromUtf8("A𠮷", out));
    EXPECT_EQ(out, "A\xF0\x40");
    EXPECT_EQ(conversionError("𩸽"), "「𩸽」(U+29E3D)\r\n外字として書くには、外字表「" + ini +
                                         "」の [Gaiji] に「E001=𩸽」の行を加えてください。");
    EXPECT_EQ(conversionError("\uE800"), "「\uE800」(U+E800)");

    std::ofstream(ini) << "[Gaiji]\r\nE000=𠮷𠮷\r\n";
    kov::gaiji::useSettingsFolder(dir.str());
    EXPECT_NE(conversionError("𠮷").find("「" + ini + "」の 2 行目"), std::string::npos);
    kov::gaiji::useSettingsFolder((dir / "none").string());
}

} // namespace
