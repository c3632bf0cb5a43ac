#include "posnet/code_page_converter.h"

#include <gtest/gtest.h>
#include <string>

namespace {

const CodePageConverter& converter() {
    return CodePageConverter::instance();
}

const std::string polishUtf8 = "zażółć gęślą jaźń ZAŻÓŁĆ GĘŚLĄ JAŹŃ";
const std::string polishWindows1250 = "za\xBF\xF3\xB3\xE6 g\xEA\x9Cl\xB9 ja\x9F\xF1 "
                                      "ZA\xAF\xD3\xA3\xC6 G\xCA\x8CL\xA5 JA\x8F\xD1";

bool isUndefinedByte(int byte) {
    return byte == 0x81 || byte == 0x83 || byte == 0x88 || byte == 0x90 || byte == 0x98;
}

} // namespace

TEST(CodePageToWindows1250, PolishLettersBecomeTheirCodePageBytes) {
    EXPECT_EQ(converter().toWindows1250(polishUtf8), polishWindows1250);
}

TEST(CodePageToWindows1250, AsciiAndZeroBytesPassUnchanged) {
    const std::string ascii("Chleb\t12,50\n\0end", 16);
    EXPECT_EQ(converter().toWindows1250(ascii), ascii);
}

TEST(CodePageToWindows1250, SignsOutsideLatinLettersMapToTheirBytes) {
    EXPECT_EQ(converter().toWindows1250("€ „x” – ˙"), "\x80 \x84x\x94 \x96 \xFF");
}

TEST(CodePageToWindows1250, CharactersWithoutACodePageFormBecomeQuestionMarks) {
    EXPECT_EQ(converter().toWindows1250("茶 à ñ"), "? ? ?");
}

TEST(CodePageToWindows1250, CharacterBeyondTheBasicPlaneBecomesOneQuestionMark) {
    EXPECT_EQ(converter().toWindows1250("a\xF0\x9F\x98\x80z"), "a?z");
}

TEST(CodePageToWindows1250, ReplacementCharacterIsNotTakenForAnUndefinedByte) {
    EXPECT_EQ(converter().toWindows1250("\xEF\xBF\xBD"), "?");
}

TEST(CodePageMalformedUtf8, StrayContinuationByteBecomesQuestionMark) {
    EXPECT_EQ(converter().toWindows1250("a\x80z"), "a?z");
}

TEST(CodePageMalformedUtf8, BrokenSequenceKeepsTheFollowingCharacter) {
    EXPECT_EQ(converter().toWindows1250("\xC5z"), "?z");
    EXPECT_EQ(converter().toWindows1250("\xE2\x82z"), "?z");
}

TEST(CodePageMalformedUtf8, SequenceCutAtTheEndBecomesQuestionMark) {
    EXPECT_EQ(converter().toWindows1250("ab\xC5"), "ab?");
}

TEST(CodePageMalformedUtf8, OverlongFormIsRefusedNotDecoded) {
    // 0xC0 0xAF would be '/' if overlong forms were accepted.
    EXPECT_EQ(converter().toWindows1250("\xC0\xAF"), "?");
}

TEST(CodePageMalformedUtf8, EncodedSurrogateAndOutOfRangeValueAreRefused) {
    EXPECT_EQ(converter().toWindows1250("\xED\xA0\x80"), "?");
    EXPECT_EQ(converter().toWindows1250("\xF4\x90\x80\x80"), "?");
    EXPECT_EQ(converter().toWindows1250("\xFF"), "?");
}

TEST(CodePageToUtf8, PolishBytesBecomeUtf8Letters) {
    EXPECT_EQ(converter().toUtf8(polishWindows1250), polishUtf8);
}

TEST(CodePageToUtf8, UndefinedBytesBecomeReplacementCharacters) {
    EXPECT_EQ(converter().toUtf8("a\x81\x83\x88\x90\x98z"),
              "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBDz");
}

TEST(CodePageToUtf8, BytesOfTwoAndThreeUtf8BytesAreEncodedRight) {
    EXPECT_EQ(converter().toUtf8("\xA0"), "\xC2\xA0");
    EXPECT_EQ(converter().toUtf8("\x80"), "\xE2\x82\xAC");
    EXPECT_EQ(converter().toUtf8("\xFF"), "\xCB\x99");
}

TEST(CodePageRoundTrip, EveryDefinedByteSurvivesBothConversions) {
    for (int byte = 0; byte < 256; ++byte) {
        if (isUndefinedByte(byte)) {
            continue;
        }
        const std::string original(1, static_cast<char>(byte));
        EXPECT_EQ(converter().toWindows1250(converter().toUtf8(original)), original)
            << "byte " << byte;
    }
}

TEST(CodePageRoundTrip, UndefinedByteComesBackAsQuestionMark) {
    EXPECT_EQ(converter().toWindows1250(converter().toUtf8("\x90")), "?");
}

TEST(CodePageRoundTrip, TextsLongerThanTenThousandCharactersConvertWhole) {
    std::string utf8;
    for (int count = 0; count < 25000; ++count) {
        utf8 += "ą";
    }
    const std::string windows1250 = converter().toWindows1250(utf8);
    EXPECT_EQ(windows1250, std::string(25000, '\xB9'));
    EXPECT_EQ(converter().toUtf8(windows1250), utf8);
}
