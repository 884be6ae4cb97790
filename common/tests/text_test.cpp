// Character helpers on Japanese text: counting, cutting and padding by characters.
#include "common/text.h"

#include <gtest/gtest.h>

#include <utility>

using namespace kov::text;

namespace {
using L = std::pair<const char*, std::size_t>; // a text and its length
using P = std::pair<const char*, const char*>; // a text and what it becomes
} // namespace

TEST(Text, LengthCountsCharactersNotBytes)
{
    // Half-width katakana take 3 bytes each, 𠮷 takes 4.
    for (auto [s, n] : {L("", 0), L("abc", 3), L("城東小学校", 5), L("ｱｲｳ", 3), L("𠮷野家", 3), L("A城1", 3)})
        EXPECT_EQ(length(s), n) << s;
}

TEST(Text, LeftRightMidNeverCutInsideACharacter)
{
    const std::string s = "北山中学校";
    EXPECT_EQ(left(s, 2), "北山");
    EXPECT_EQ(left(s, 0), "");
    EXPECT_EQ(left(s, 99), s);
    EXPECT_EQ(right(s, 3), "中学校");
    EXPECT_EQ(right(s, 99), s);
    EXPECT_EQ(right(s, 0), "");
    EXPECT_EQ(mid(s, 3, 2), "中学");
    EXPECT_EQ(mid(s, 3), "中学校");
    EXPECT_EQ(mid(s, 6, 2), "");
    EXPECT_EQ(mid("a𠮷b", 2, 1), "𠮷");
}

TEST(Text, FixedLengthCutsAndPadsByCharacters)
{
    EXPECT_EQ(fixedLength("校長", 5), "校長   ");
    EXPECT_EQ(fixedLength("城東小学校北山中学校", 4), "城東小学");
    EXPECT_EQ(fixedLength("", 3), "   ");
    EXPECT_EQ(fixedLength("abc", 0), "");
    EXPECT_EQ(length(fixedLength("あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめも", 30)), 30u);
}

TEST(Text, PaddingNeverCuts)
{
    EXPECT_EQ(padRight("校", 3), "校  ");
    EXPECT_EQ(padRight("校長先生", 2), "校長先生");
    EXPECT_EQ(padLeft("5", 3), "  5");
    EXPECT_EQ(padLeft("１２", 3), " １２");
    EXPECT_EQ(padLeft("12345", 3), "12345");
    EXPECT_EQ(spaces(3), "   ");
}

TEST(Text, TrimRemovesOnlyHalfWidthBlanks)
{
    for (auto [s, trimmed] :
         {P("  教頭  ", "教頭"), P("　教頭　", "　教頭　"), P("\t教頭\t", "\t教頭\t"), P("    ", "")})
        EXPECT_EQ(trim(s), trimmed) << s;
    EXPECT_EQ(trimLeft("  a  "), "a  ");
    EXPECT_EQ(trimRight("  a  "), "  a");
    EXPECT_EQ(trim("\t 教頭\r", " \t\r"), "教頭");
    EXPECT_EQ(trim(" \t ", " \t"), "");
}

TEST(Text, AsciiCaseFoldAndHexCode)
{
    EXPECT_EQ(foldAsciiCase("OvlPrint.INI 教頭Ａ"), "ovlprint.ini 教頭Ａ");
    EXPECT_TRUE(equalsIgnoringAsciiCase("Kov.Ini", "KOV.INI"));
    EXPECT_FALSE(equalsIgnoringAsciiCase("KOV.INI", "KOV.INI "));
    EXPECT_EQ(hexCode(0x8140, 4), "8140");
    EXPECT_EQ(hexCode(0x0A, 2), "0A");
    EXPECT_EQ(hexCode(0x1F600, 4), "1F600");
}

TEST(Text, ToFullWidthDigitsAndBlank)
{
    EXPECT_EQ(toFullWidth(" 2"), "　２");
    EXPECT_EQ(toFullWidth("11校"), "１１校");
    EXPECT_EQ(toFullWidth("a-9"), "a-９");
}

TEST(Text, EncodeAndDecodeRoundTrip)
{
    for (char32_t cp : {U'A', U'\u00E9', U'城', U'\uFF71', U'\U00020BB7', U'\U0001F600'}) {
        const std::string s = encode(cp);
        std::size_t n = 0;
        EXPECT_EQ(decodeAt(s, 0, &n), cp);
        EXPECT_EQ(n, s.size());
    }
}

TEST(Text, BytesThatAreNotUtf8CountOneEach)
{
    // A cut-off 3-byte sequence: 2 bytes, 2 characters.
    for (auto [s, n] : {L("\xFF\xFE", 2), L("a\xE5\x9F", 3)}) EXPECT_EQ(length(s), n) << s;
    EXPECT_EQ(left("\xE5\x9F"
                   "b",
                   1),
              "\xE5");
}

TEST(Text, OverlongAndSurrogateSequencesAreNotCharacters)
{
    // Overlong forms of "/" and of U+0000, an encoded surrogate, and a code point
    // above U+10FFFF are invalid UTF-8: each byte counts on its own.
    for (auto [s, n] : {L("\xE0\x80\xAF", 3), L("\xF0\x80\x80\x80", 4), L("\xED\xA0\x80", 3), L("\xF4\x90\x80\x80", 4)})
        EXPECT_EQ(length(s), n) << s;
    // The largest valid forms are still one character: U+D7FF, U+10FFFF, U+0800.
    for (const char* s : {"\xED\x9F\xBF", "\xF4\x8F\xBF\xBF", "\xE0\xA0\x80"}) EXPECT_EQ(length(s), 1u) << s;
}
