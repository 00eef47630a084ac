// Number, colour and display texts.
#include <gtest/gtest.h>

#include <climits>

#include "document/text.h"

using namespace marquetor::document;

TEST(TextToNumber, DecimalHexBinaryAndSigns) {
    EXPECT_EQ(TextToNumber("123"), 123);
    EXPECT_EQ(TextToNumber(" \t 42"), 42);
    EXPECT_EQ(TextToNumber("-17"), -17);
    EXPECT_EQ(TextToNumber("+17"), 17);
    EXPECT_EQ(TextToNumber("$ff"), 255);
    EXPECT_EQ(TextToNumber("$FF"), 255);
    EXPECT_EQ(TextToNumber("-$10"), -16);
    EXPECT_EQ(TextToNumber("%1011"), 11);
    EXPECT_EQ(TextToNumber("-%11"), -3);
    EXPECT_EQ(TextToNumber("007"), 7);
}

TEST(TextToNumber, StopsAtTheFirstCharacterThatDoesNotFit) {
    EXPECT_EQ(TextToNumber("12ab"), 12);
    EXPECT_EQ(TextToNumber("$1g"), 1);
    EXPECT_EQ(TextToNumber("%1012"), 5);
    EXPECT_EQ(TextToNumber("3.9"), 3);
    EXPECT_EQ(TextToNumber("1 2"), 1);
    // No digits read as 0.
    EXPECT_EQ(TextToNumber(""), 0);
    EXPECT_EQ(TextToNumber("abc"), 0);
    EXPECT_EQ(TextToNumber("-"), 0);
    EXPECT_EQ(TextToNumber("$"), 0);
    EXPECT_EQ(TextToNumber("%"), 0);
    EXPECT_EQ(TextToNumber("--5"), 0);
    EXPECT_EQ(TextToNumber("\n5"), 0);   // only blanks and tabs are skipped
    EXPECT_EQ(TextToNumber("- 5"), 0);
}

TEST(TextToNumber, WrapsAroundIn64BitsAnd32BitCallersKeepTheLowHalf) {
    EXPECT_EQ(TextToNumber("9223372036854775807"), INT64_MAX);
    EXPECT_EQ(TextToNumber("9223372036854775808"), INT64_MIN);
    EXPECT_EQ(TextToNumber("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(TextToNumber("18446744073709551615"), -1);
    EXPECT_EQ(TextToNumber("18446744073709551616"), 0);
    EXPECT_EQ(TextToNumber("$FFFFFFFFFFFFFFFF"), -1);
    EXPECT_EQ(TextToNumber("$1FFFFFFFFFFFFFFFF"), -1);
    EXPECT_EQ(TextToNumber("99999999999999999999999999"), -2537764290115403777LL);

    EXPECT_EQ(TextToInt32("2147483647"), INT32_MAX);
    EXPECT_EQ(TextToInt32("2147483648"), INT32_MIN);
    EXPECT_EQ(TextToInt32("4294967295"), -1);
    EXPECT_EQ(TextToInt32("4294967296"), 0);
    EXPECT_EQ(TextToInt32("$FFFFFFFF"), -1);
    EXPECT_EQ(TextToInt32("-1"), -1);
}

TEST(NumberToText, PlainDecimal) {
    EXPECT_EQ(NumberToText(0), "0");
    EXPECT_EQ(NumberToText(42), "42");
    EXPECT_EQ(NumberToText(-7), "-7");
    EXPECT_EQ(NumberToText(INT64_MIN), "-9223372036854775808");
    EXPECT_EQ(NumberToText(INT64_MAX), "9223372036854775807");
    EXPECT_EQ(TextToNumber(NumberToText(INT64_MIN)), INT64_MIN);

    // Appending gives the same digits behind what is there.
    std::string row = "id ";
    for (const std::int64_t v : {std::int64_t{0}, std::int64_t{-7}, INT64_MIN, INT64_MAX}) {
        const std::size_t before = row.size();
        AppendNumberText(row, v);
        EXPECT_EQ(row.substr(before), NumberToText(v));
        row += '|';
    }
    EXPECT_EQ(row, "id 0|-7|-9223372036854775808|9223372036854775807|");
}

TEST(Colour, ComponentsAndText) {
    const std::int32_t c = MakeColor(255, 128, 0);
    EXPECT_EQ(c, 0x0080FF);
    EXPECT_EQ(ColorRed(c), 255);
    EXPECT_EQ(ColorGreen(c), 128);
    EXPECT_EQ(ColorBlue(c), 0);
    EXPECT_EQ(ColorText(c), "R255 G128 B0");
    EXPECT_EQ(ColorText(MakeColor(1, 2, 3)), "R1 G2 B3");
    EXPECT_EQ(ColorText(0), "R0 G0 B0");
    // Only bits 0 to 23 are shown.
    EXPECT_EQ(ColorText(static_cast<std::int32_t>(0xFF0A0B0Cu)), "R12 G11 B10");
}

TEST(DisplayText, Utf8StaysAndOtherBytesAreWindows1252) {
    EXPECT_TRUE(IsValidUtf8(""));
    EXPECT_TRUE(IsValidUtf8("plain"));
    EXPECT_TRUE(IsValidUtf8("\xC3\xA9t\xC3\xA9"));
    EXPECT_TRUE(IsValidUtf8("\xE2\x82\xAC"));
    EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x98\x80"));
    EXPECT_FALSE(IsValidUtf8("\xE9t\xE9"));
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));           // overlong
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));       // surrogate
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));   // above U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xE2\x82"));           // cut short
    EXPECT_FALSE(IsValidUtf8("\x80"));

    EXPECT_EQ(BytesToUtf8("\xC3\xA9t\xC3\xA9"), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(BytesToUtf8("\xE9t\xE9"), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(BytesToUtf8("\x80"), "\xE2\x82\xAC");
    EXPECT_EQ(BytesToUtf8("\x9F"), "\xC5\xB8");      // Ÿ
    EXPECT_EQ(BytesToUtf8("\x81"), "\xC2\x81");      // undefined: the C1 control
    EXPECT_EQ(BytesToUtf8("a\xFF"), "a\xC3\xBF");
    EXPECT_TRUE(IsValidUtf8(BytesToUtf8("\xC0\xAF\xED\xA0\x80\x80\x9D")));
}

TEST(DisplayText, Windows1252ReadingIsReversible) {
    using marquetor::document::Utf8ToWindows1252;
    // Every byte a Windows-1252 text can hold comes back from its reading.
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    ASSERT_FALSE(IsValidUtf8(all));
    EXPECT_EQ(Utf8ToWindows1252(BytesToUtf8(all)), all);
    EXPECT_EQ(Utf8ToWindows1252("K\xC3\xA4se \xE2\x82\xAC"), "K\xE4se \x80");
    EXPECT_EQ(Utf8ToWindows1252(""), "");
    // Characters Windows-1252 lacks, C1 controls it defines otherwise, and text that is not UTF-8.
    EXPECT_EQ(Utf8ToWindows1252("\xE2\x84\xA2x\xE2\x86\x92"), std::nullopt);   // an arrow
    EXPECT_EQ(Utf8ToWindows1252("\xC2\x80"), std::nullopt);                      // U+0080
    EXPECT_EQ(Utf8ToWindows1252("\xF0\x9F\x98\x80"), std::nullopt);
    EXPECT_EQ(Utf8ToWindows1252("\xE4"), std::nullopt);
}
