// The free functions of the support library: the texts OMCharacter and OMJoin call
// directly, the split of seconds, the time text of reports and the fixed random sequence
// the join pages seal identity texts with.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "vexa_random.h"
#include "vexa_text.h"

namespace {

using namespace vexa;

TEST(VexaRandomTest, SequenceFromSeedIsFixed) {
  VexaRandom random;
  random.Seed(0);
  EXPECT_EQ(random.Next(), 1u);
  EXPECT_EQ(random.Next(), 22322u);
  EXPECT_EQ(random.Next(), 44691u);
  EXPECT_EQ(random.count, 3u);
  EXPECT_EQ(random.multiplier, 78665521u);
}

TEST(VexaRandomTest, UpperSeedBitsWrapInThirtyTwoBitsAndOnlyTheFirstValueSeesThem) {
  // (78665521 * 0xFFFFFFFF + 1) mod 2^32 = 2^32 - 78665521 + 1; its low 16 bits.
  const uint32_t expectedFirst = (0u - 78665521u + 1u) & 0xFFFFu;
  VexaRandom high;
  high.Seed(0xFFFFFFFFu);
  VexaRandom low;
  low.Seed(0x0000FFFFu);
  EXPECT_EQ(high.Next(), expectedFirst);
  EXPECT_EQ(low.Next(), expectedFirst);
  for (int i = 0; i < 1000; ++i) {
    uint32_t value = high.Next();
    ASSERT_LE(value, 65535u);
    ASSERT_EQ(value, low.Next()) << "step " << i;
  }
  VexaRandom fresh;
  fresh.Seed(0x10000u);  // differs from 0 only above bit 15
  EXPECT_EQ(fresh.Next(), 1u);
}

TEST(VexaRandomTest, ClockSeededGeneratorsStartWithNoValuesDrawn) {
  VexaRandom random;
  EXPECT_EQ(random.count, 0u);
  EXPECT_EQ(random.multiplier, 78665521u);
  EXPECT_LE(random.Next(), 65535u);
}

TEST(VexaTextTest, SplitSecondsTruncatesTowardZero) {
  struct Case {
    int32_t seconds, hours, minutes, rest;
  } const cases[] = {
      {3725, 1, 2, 5}, {-61, 0, -1, -1}, {0, 0, 0, 0}, {-3725, -1, -2, -5}, {86399, 23, 59, 59},
      {INT32_MIN, INT32_MIN / 3600, INT32_MIN / 60 - (INT32_MIN / 3600) * 60, INT32_MIN % 60},
  };
  for (const Case& c : cases) {
    int32_t hours = 99, minutes = 99, rest = 99;
    SplitSeconds(c.seconds, &hours, &minutes, &rest);
    EXPECT_EQ(hours, c.hours) << c.seconds;
    EXPECT_EQ(minutes, c.minutes) << c.seconds;
    EXPECT_EQ(rest, c.rest) << c.seconds;
  }
  int32_t minutes = 0;
  SplitSeconds(3725, nullptr, &minutes, nullptr);
  EXPECT_EQ(minutes, 2);
}

TEST(VexaTextTest, EqualAsciiNoCaseFoldsOnlyLatinLetters) {
  struct Case {
    const char* a;
    const char* b;
    int32_t noCase;
    int32_t exact;
  } const cases[] = {
      {"abc", "ABC", 1, 0}, {"abc", "abd", 0, 0}, {"ab", "abc", 0, 0}, {"abc", "ab", 0, 0},
      {"\xE9", "\xC9", 0, 0}, {"", "", 1, 1},  {"a[", "A{", 0, 0},    {"Mixed 1", "mIXED 1", 1, 0},
      {"same", "same", 1, 1}, {nullptr, "", 0, 0}, {"", nullptr, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TextEqualAsciiNoCase(c.a, c.b), c.noCase) << (c.a ? c.a : "null") << " / " << (c.b ? c.b : "null");
    EXPECT_EQ(TextEqual(c.a, c.b), c.exact) << (c.a ? c.a : "null") << " / " << (c.b ? c.b : "null");
  }
}

TEST(VexaTextTest, UpperAsciiChangesLettersOnlyAndReturnsTheEnd) {
  char text[] = "abz AZ 09 \xE9{}";
  char* end = TextUpperAscii(text);
  EXPECT_STREQ(text, "ABZ AZ 09 \xE9{}");
  EXPECT_EQ(end, text + strlen(text));
  EXPECT_EQ(TextUpperAscii(nullptr), nullptr);
}

TEST(VexaTextTest, CopyAndAppendStayWithinTheirSize) {
  char buffer[8];
  memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(TextCopyN(buffer, 4, "abcdef"), buffer + 3);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(buffer[4], 'x') << "nothing written past size";

  EXPECT_EQ(TextCopyN(buffer, 0, "abc"), nullptr);
  EXPECT_STREQ(buffer, "abc") << "size 0 writes nothing";
  TextCopyN(buffer, sizeof buffer, nullptr);
  EXPECT_STREQ(buffer, "");

  TextCopyN(buffer, sizeof buffer, "ab");
  EXPECT_EQ(TextAppendN(buffer, sizeof buffer, "cdefghij"), buffer + 7);
  EXPECT_STREQ(buffer, "abcdefg");
  EXPECT_EQ(TextAppendN(buffer, sizeof buffer, "z"), buffer + 7) << "a full buffer stays full";
  EXPECT_STREQ(buffer, "abcdefg");

  char unterminated[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(TextAppendN(unterminated, sizeof unterminated, "e"), nullptr);
  EXPECT_EQ(memcmp(unterminated, "abcd", 4), 0);
  EXPECT_EQ(TextAppendN(nullptr, 4, "a"), nullptr);

  EXPECT_EQ(TextLength("abc"), 3);
  EXPECT_EQ(TextLength(""), 0);
  EXPECT_EQ(TextLength(nullptr), 0);
}

TEST(VexaTextTest, FindNamedEntryMatchesWithoutCaseAndStopsAtTheNullRow) {
  static const NamedEntry kTable[] = {{1, "First"}, {2, "second"}, {3, "SECOND"}, {0, nullptr}, {4, "hidden"}};
  ASSERT_NE(FindNamedEntry(kTable, "SECOND"), nullptr);
  EXPECT_EQ(FindNamedEntry(kTable, "SECOND")->number, 2) << "the first matching row wins";
  EXPECT_EQ(FindNamedEntry(kTable, "first")->number, 1);
  EXPECT_EQ(FindNamedEntry(kTable, "hidden"), nullptr) << "rows after the end row are not searched";
  EXPECT_EQ(FindNamedEntry(kTable, "Firs"), nullptr);
  EXPECT_EQ(FindNamedEntry(kTable, nullptr), nullptr);
  EXPECT_EQ(FindNamedEntry(nullptr, "First"), nullptr);
  static const NamedEntry kEmpty[] = {{7, nullptr}};
  EXPECT_EQ(FindNamedEntry(kEmpty, "anything"), nullptr);
}

TEST(VexaTextTest, TimeTextHasTheFixedFormAndNoLineEnd) {
  char buffer[kTimeTextSize];
  memset(buffer, '#', sizeof buffer);
  TimeText(buffer);
  std::string text = buffer;
  ASSERT_EQ(text.size(), 24u) << text;
  EXPECT_TRUE(isdigit(static_cast<unsigned char>(text.back()))) << text;
  // "Www Mmm dd hh:mm:ss yyyy"
  const std::string shape = "Aaa Aaa 00 00:00:00 0000";
  for (size_t i = 0; i < shape.size(); ++i) {
    char want = shape[i];
    char got = text[i];
    if (want == '0') {
      EXPECT_TRUE(isdigit(static_cast<unsigned char>(got))) << text << " at " << i;
    } else if (want == 'A' || want == 'a') {
      EXPECT_TRUE(isalpha(static_cast<unsigned char>(got))) << text << " at " << i;
    } else {
      EXPECT_EQ(got, want) << text << " at " << i;
    }
  }
}

TEST(VexaTextTest, CycleCounterGrows) {
  uint32_t high1 = 0, low1 = 0, high2 = 0, low2 = 0;
  ReadCycleCounter(&high1, &low1);
  ReadCycleCounter(&high2, &low2);
  uint64_t first = (static_cast<uint64_t>(high1) << 32) | low1;
  uint64_t second = (static_cast<uint64_t>(high2) << 32) | low2;
  EXPECT_GE(second, first);
  ReadCycleCounter(nullptr, &low1);  // a null half is skipped
}

}  // namespace
