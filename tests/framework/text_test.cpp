// The bounded text helpers on the edge cases the pages depend on.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "text.h"

namespace {

using namespace om;

TEST(TextCopy, CutsAtSizeLessOneAndAlwaysTerminates) {
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  TextCopy(buffer, "abcdef", 4);
  EXPECT_STREQ(buffer, "abc");
  TextCopy(buffer, "abcdef", 1);
  EXPECT_STREQ(buffer, "");
  std::memset(buffer, 'x', sizeof buffer);
  TextCopy(buffer, "abcdef", 0);
  EXPECT_EQ(buffer[0], 'x') << "size 0 writes nothing";
  TextCopy(buffer, nullptr, 8);
  EXPECT_STREQ(buffer, "");
  TextCopy(nullptr, "abc", 8);  // nothing to write into: no crash
}

TEST(TextAppend, NeverGrowsBeyondSizeLessOne) {
  char buffer[8] = "abc";
  TextAppend(buffer, "defghij", sizeof buffer);
  EXPECT_STREQ(buffer, "abcdefg");
  TextAppend(buffer, "z", sizeof buffer);
  EXPECT_STREQ(buffer, "abcdefg") << "a full destination is left unchanged";
  char small[4] = "ab";
  char* end = TextAppend(small, "", sizeof small);
  EXPECT_EQ(end, small + 2);
  EXPECT_STREQ(small, "ab");
}

TEST(TextEqualNoCase, FoldsOnlyLettersAndNeedsTheWholeText) {
  struct Case { const char* a; const char* b; int32_t equal; } cases[] = {
      {"GetInfo", "GETINFO", 1}, {"Get", "GetInfo", 0}, {"GetInfo", "Get", 0}, {"", "", 1},
      {"a1_", "A1_", 1}, {"\xe9", "\xc9", 0}, {nullptr, "x", 0}, {"x", nullptr, 0}, {nullptr, nullptr, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TextEqualNoCase(c.a, c.b), c.equal) << (c.a ? c.a : "(null)") << " vs " << (c.b ? c.b : "(null)");
  }
}

TEST(TextFind, FindsTheFirstOccurrenceCaseSensitively) {
  const char* page = "/page.htm?x=1";
  EXPECT_EQ(TextFind("/page.htm", "?"), nullptr);
  EXPECT_EQ(TextFind(page, "?"), page + 9);
  EXPECT_EQ(TextFind(page, ""), page) << "an empty pattern matches at the start";
  EXPECT_EQ(TextFind("", ""), nullptr) << "an empty text has no position";
  const char* mixed = "abcABC";
  EXPECT_EQ(TextFind(mixed, "ABC"), mixed + 3);
  EXPECT_EQ(TextFind("ab", "abc"), nullptr);
}

TEST(TextReplaceAll, ReplacesWithoutRescanning) {
  char text[64] = "it's Bob's";
  EXPECT_EQ(TextReplaceAll(text, "'", "''"), 2);
  EXPECT_STREQ(text, "it''s Bob''s");
  char growing[64] = "aaa";
  EXPECT_EQ(TextReplaceAll(growing, "a", "aa"), 3) << "the replacement is never scanned again";
  EXPECT_STREQ(growing, "aaaaaa");
  char shrinking[64] = "xxyxx";
  EXPECT_EQ(TextReplaceAll(shrinking, "xx", ""), 2);
  EXPECT_STREQ(shrinking, "y");
  char untouched[8] = "abc";
  EXPECT_EQ(TextReplaceAll(untouched, "", "z"), 0);
  EXPECT_EQ(TextReplaceAll(nullptr, "a", "b"), 0);
}

TEST(TextReplaceAllNoCase, FillsPlaceholdersWhateverTheirCase) {
  char link[128] = "/activate.htm?email=$(email)&code=$(ActivationCode)";
  EXPECT_EQ(TextReplaceAllNoCase(link, "$(EMAIL)", "a@b.c"), 1);
  EXPECT_EQ(TextReplaceAllNoCase(link, "$(ACTIVATIONCODE)", "42"), 1);
  EXPECT_STREQ(link, "/activate.htm?email=a@b.c&code=42");
}

TEST(TextTrim, LeftThenRightLeavesTheBareText) {
  char name[32] = "  Bob  ";
  TextTrimLeft(name);
  EXPECT_EQ(TextTrimRight(name), 3);
  EXPECT_STREQ(name, "Bob");
  char blanks[8] = "   ";
  TextTrimLeft(blanks);
  EXPECT_EQ(TextTrimRight(blanks), 0);
  EXPECT_STREQ(blanks, "");
  char one[4] = " ";
  EXPECT_EQ(TextTrimRight(one), 1) << "a single blank is not touched by the right trim";
  char tab[8] = "\tx";
  TextTrimLeft(tab);
  EXPECT_STREQ(tab, "\tx") << "only the space character is a blank";
  EXPECT_EQ(TextTrimRight(nullptr), 0);
}

TEST(SqlQuote, DoublesApostrophesWithinTheDestination) {
  char quoted[512];
  EXPECT_EQ(SqlQuote(quoted, sizeof quoted, "it's"), quoted);
  EXPECT_STREQ(quoted, "it''s");
  std::string longText(600, 'a');
  SqlQuote(quoted, sizeof quoted, longText.c_str());
  EXPECT_EQ(std::string(quoted), std::string(511, 'a'));
  EXPECT_EQ(SqlQuote(nullptr, 8, "x"), nullptr);
}

TEST(SqlQuote, ACutNeverLeavesAnUnpairedApostrophe) {
  // Each case: the source, the size, the quoted text that fits.
  struct Case { std::string source; int32_t size; std::string expected; } cases[] = {
      {"abc'", 5, "abc"},          // the doubled apostrophe would need 5 characters
      {"abc'", 6, "abc''"},
      {"''''", 4, "''"},
      {"''''", 5, "''''"},
      {std::string(511, '\''), 512, std::string(510, '\'')},
  };
  for (const Case& c : cases) {
    char quoted[600];
    SqlQuote(quoted, c.size, c.source.c_str());
    EXPECT_EQ(std::string(quoted), c.expected) << c.source << " in " << c.size;
    size_t run = 0;
    for (size_t i = std::strlen(quoted); i > 0 && quoted[i - 1] == '\''; --i) ++run;
    EXPECT_EQ(run % 2, 0u) << "trailing apostrophes come in pairs: " << quoted;
  }
}

TEST(SqlQuote, QuotesInPlace) {
  char text[16] = "O'Hara";
  SqlQuote(text, sizeof text, text);
  EXPECT_STREQ(text, "O''Hara");
}

TEST(TextRanges, DeleteInsertAndReplace) {
  char text[16] = "abcdef";
  TextDeleteRange(text, 1, 2);
  EXPECT_STREQ(text, "adef");
  TextDeleteRange(text, 2, 100);
  EXPECT_STREQ(text, "ad");
  TextDeleteRange(text, 2, 1);
  EXPECT_STREQ(text, "ad") << "a position at the end deletes nothing";

  char cut[8] = "abcd";
  TextInsertAt(cut, 6, 1, "XYZ");
  EXPECT_STREQ(cut, "aXYZb") << "the tail that no longer fits is lost";
  char fits[16] = "abcd";
  TextInsertAt(fits, sizeof fits, 4, "XY");
  EXPECT_STREQ(fits, "abcdXY") << "a position equal to the length appends";
  TextInsertAt(fits, sizeof fits, 7, "Q");
  EXPECT_STREQ(fits, "abcdXY") << "a position beyond the text does nothing";
  char overflow[8] = "ab";
  TextInsertAt(overflow, 4, 1, "XYZ");
  EXPECT_STREQ(overflow, "aXY") << "an insertion that reaches the end cuts the text at the position";

  char replace[16] = "a b";
  TextReplaceRange(replace, sizeof replace, 1, 1, "%20");
  EXPECT_STREQ(replace, "a%20b");
}

TEST(UrlEncode, EncodesEverythingButLettersAndDigits) {
  char text[64] = "ab cd-2";
  EXPECT_EQ(UrlEncode(text, sizeof text), 0);
  EXPECT_STREQ(text, "ab%20cd%2d2");
  char high[16] = "\xe9.x";
  UrlEncode(high, sizeof high);
  EXPECT_STREQ(high, "%e9%2ex");
}

TEST(UrlEncode, StopsBeforeACharacterWhoseCodeNoLongerFits) {
  // Each case: the size of the buffer holding "a b" and what is left of it encoded.
  struct Case { int32_t size; const char* expected; } cases[] = {
      {4, "a"},        // the three characters of the blank's code do not fit
      {5, "a%20"},     // the code fits, the tail that follows it is lost
      {6, "a%20b"},
  };
  for (const Case& c : cases) {
    char text[8] = "a b";
    UrlEncode(text, c.size);
    EXPECT_STREQ(text, c.expected) << "size " << c.size;
  }
}

TEST(DecimalValue, ReadsLeadingDigitsAndClamps) {
  struct Case { const char* text; int32_t value; } cases[] = {
      {"12abc", 12}, {" -7", -7}, {"+5", 5}, {"abc", 0}, {"", 0}, {nullptr, 0}, {"\t\n42", 42},
      {"2147483647", INT32_MAX}, {"2147483648", INT32_MAX}, {"-2147483648", INT32_MIN},
      {"-99999999999999999999", INT32_MIN}, {"- 5", 0}, {"200", 200},
  };
  for (const Case& c : cases) EXPECT_EQ(DecimalValue(c.text), c.value) << (c.text ? c.text : "(null)");
}

}  // namespace
