#include "journal.h"

#include <gtest/gtest.h>

using virtual_printer::windows1250ToUtf8;

TEST(JournalText, ConvertsPolishLettersFromWindows1250) {
    EXPECT_EQ(windows1250ToUtf8(
                  "\xA5\xC6\xCA\xA3\xD1\xD3\x8C\x8F\xAF \xB9\xE6\xEA\xB3\xF1\xF3\x9C\x9F\xBF"),
              "ĄĆĘŁŃÓŚŹŻ ąćęłńóśźż");
}

TEST(JournalText, MarksBytesWithoutACharacter) {
    EXPECT_EQ(windows1250ToUtf8("a\x81z"), "a\xEF\xBF\xBDz");
}
