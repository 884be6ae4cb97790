// UTF-8 <-> CP932: round trips, the bytes of typical characters, characters CP932
// cannot hold.
#include "common/cp932.h"
#include "common/runtimeerror.h"
#include "common/text.h"

#include <gtest/gtest.h>

#include <utility>

using namespace kov::cp932;

TEST(Cp932, RoundTripOfJapaneseText)
{
    const std::string text = "城東小学校　期末勤勉手当支給調書 ｱｲｳｴｵ ①Ⅱ髙﨑 ー～－ ABC-123\r\n";
    const std::string sjis = fromUtf8(text);
    EXPECT_EQ(toUtf8(sjis), text);
}

TEST(Cp932, BytesOfTypicalCharacters)
{
    using P = std::pair<const char*, const char*>; // UTF-8, CP932
    // "～" is U+FF5E, the Windows form of the wave dash.
    for (auto [utf8, sjis] : {P("あ", "\x82\xA0"), P("ｱ", "\xB1"), P("　", "\x81\x40"), P("０", "\x82\x4F"),
                              P("①", "\x87\x40"), P("～", "\x81\x60"), P("\\", "\\"), P("A,1\r\n", "A,1\r\n")})
        EXPECT_EQ(fromUtf8(utf8), sjis) << utf8;
    EXPECT_EQ(toUtf8("\x8A\xBF\x8E\x9A"), "漢字");
}

TEST(Cp932, CharacterOutsideCp932IsAConversionErrorNamingIt)
{
    for (const char* s : {"𠮷野家", "笑😀", "€", "Ä", "한"}) {
        try {
            (void)fromUtf8(s);
            ADD_FAILURE() << "no error for " << s;
        } catch (const kov::RuntimeError& e) {
            EXPECT_EQ(e.kind(), kov::RuntimeErrorKind::Conversion) << s;
        }
    }
    try {
        (void)fromUtf8("A𠮷");
    } catch (const kov::RuntimeError& e) {
        EXPECT_NE(e.detail().find("𠮷"), std::string::npos);
        EXPECT_NE(e.detail().find("U+20BB7"), std::string::npos);
    }
}

TEST(Cp932, InvalidInputIsAConversionError)
{
    EXPECT_THROW((void)fromUtf8("ab\xFF"), kov::RuntimeError);
    EXPECT_THROW((void)toUtf8("ab\x82"), kov::RuntimeError); // lead byte without trail byte
    std::string out;
    std::size_t at = 99;
    EXPECT_FALSE(tryToUtf8("ab\x82", out, &at));
    EXPECT_EQ(at, 2u);
    EXPECT_FALSE(tryFromUtf8("xy😀", out, &at));
    EXPECT_EQ(at, 2u);
    EXPECT_TRUE(tryFromUtf8("xy", out, &at));
    EXPECT_EQ(out, "xy");
}

TEST(Cp932, LongTextsConvertCompletely)
{
    std::string text;
    for (int i = 0; i < 5000; ++i) text += "期末手当";
    const std::string sjis = fromUtf8(text);
    EXPECT_EQ(sjis.size(), 5000u * 8u);
    EXPECT_EQ(toUtf8(sjis), text);
}

TEST(Cp932, EmptyText)
{
    EXPECT_EQ(fromUtf8(""), "");
    EXPECT_EQ(toUtf8(""), "");
}

TEST(Cp932, TableGivesTheConvertersBytesForEveryCharacter)
{
    // Every code point one by one (with a character before it, for the offset), then all
    // mappable ones in one text, then sequences that are not UTF-8.
    std::string all;
    for (char32_t cp = 0; cp < 0x110000; cp += cp < 0x10000 ? 1 : 0x1FF) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        const std::string s = "a" + kov::text::encode(cp);
        std::string table, converter;
        std::size_t atTable = 0, atConverter = 0;
        const bool ok = tryFromUtf8(s, table, &atTable);
        ASSERT_EQ(ok, tryFromUtf8ByConverter(s, converter, &atConverter)) << std::hex << static_cast<unsigned>(cp);
        if (ok) {
            ASSERT_EQ(table, converter) << std::hex << static_cast<unsigned>(cp);
            all += s;
        } else {
            ASSERT_EQ(atTable, atConverter) << std::hex << static_cast<unsigned>(cp);
        }
    }
    std::string table, converter;
    ASSERT_TRUE(tryFromUtf8(all, table));
    ASSERT_TRUE(tryFromUtf8ByConverter(all, converter));
    EXPECT_EQ(table, converter);
    for (const char* bad : {"x\xC0\x80", "x\xE0\x80\x80", "x\xED\xA0\x80", "x\xE3\x81", "x\xE3\x41\x41", "x\x80",
                            "x\xF4\x90\x80\x80", "xy\xF0\x9F\x98"}) {
        std::size_t atTable = 99, atConverter = 98;
        EXPECT_FALSE(tryFromUtf8(bad, table, &atTable)) << bad;
        EXPECT_FALSE(tryFromUtf8ByConverter(bad, converter, &atConverter)) << bad;
        EXPECT_EQ(atTable, atConverter) << bad;
    }
}
