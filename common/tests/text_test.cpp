// Character helpers on Japanese text: counting, cutting and padding by characters.
#include "common/text.h"

#include <gtest/gtest.h>

using namespace kov::text;

TEST(Text, LengthCountsCharactersNotBytes)
{
    EXPECT_EQ(length(""), 0u);
    EXPECT_EQ(length("abc"), 3u);
    EXPECT_EQ(length("城東小学校"), 5u);
    EXPECT_EQ(length("ｱｲｳ"), 3u); // half-width katakana: 3 bytes each
    EXPECT_EQ(length("𠮷野家"), 3u); // 4-byte character
    EXPECT_EQ(length("A城1"), 3u);
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
    EXPECT_EQ(trim("  教頭  "), "教頭");
    EXPECT_EQ(trim("　教頭　"), "　教頭　");
    EXPECT_EQ(trim("\t教頭\t"), "\t教頭\t");
    EXPECT_EQ(trimLeft("  a  "), "a  ");
    EXPECT_EQ(trimRight("  a  "), "  a");
    EXPECT_EQ(trim("    "), "");
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
    EXPECT_EQ(length("\xFF\xFE"), 2u);
    EXPECT_EQ(length("a\xE5\x9F"), 3u); // a cut-off 3-byte sequence: 2 bytes, 2 characters
    EXPECT_EQ(left("\xE5\x9F"
                   "b",
                   1),
              "\xE5");
}

TEST(Text, OverlongAndSurrogateSequencesAreNotCharacters)
{
    // Overlong forms of "/" and of U+0000, an encoded surrogate, and a code point
    // above U+10FFFF are invalid UTF-8: each byte counts on its own.
    EXPECT_EQ(length("\xE0\x80\xAF"), 3u);
    EXPECT_EQ(length("\xF0\x80\x80\x80"), 4u);
    EXPECT_EQ(length("\xED\xA0\x80"), 3u);
    EXPECT_EQ(length("\xF4\x90\x80\x80"), 4u);
    // The largest valid forms are still one character.
    EXPECT_EQ(length("\xED\x9F\xBF"), 1u); // U+D7FF
    EXPECT_EQ(length("\xF4\x8F\xBF\xBF"), 1u); // U+10FFFF
    EXPECT_EQ(length("\xE0\xA0\x80"), 1u); // U+0800
}
