// The join's mechanisms without a host: access-code lists, statistics criteria and sealed
// identity texts. Sealed vectors were computed apart from the plug-in's code, from the
// sealing rules alone.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "code_list.h"
#include "seal_reader.h"
#include "sealing.h"
#include "stat_criteria.h"
#include "vexa_random.h"

namespace {

using omjoin::CodeListAdd;
using omjoin::CodeListFind;
using omjoin::CodeListRemove;

std::vector<std::string> Names(const CodeList& list) {
  std::vector<std::string> names;
  for (int32_t i = 0; i < list.count; ++i) names.emplace_back(list.names[i]);
  return names;
}

std::string Seal(const std::string& payload, const char* key, int32_t capacity = 2048) {
  std::vector<char> out(static_cast<size_t>(capacity) + 1, 'x');
  out[static_cast<size_t>(capacity)] = '\0';
  int32_t result = omjoin::SealText(reinterpret_cast<const uint8_t*>(payload.data()),
                                    static_cast<int32_t>(payload.size()), key, out.data(), capacity);
  if (result < 0) return "<refused>";
  return std::string(out.data());
}

// ---- Access codes -------------------------------------------------------------------------

TEST(JoinCodeList, AddFindRemoveIgnoreCaseAndKeepOrder) {
  CodeList list;
  omjoin::CodeListClear(list);
  ASSERT_NE(CodeListAdd(list, "alpha"), nullptr);
  ASSERT_NE(CodeListAdd(list, "beta"), nullptr);
  ASSERT_NE(CodeListAdd(list, "gamma"), nullptr);
  EXPECT_STREQ(CodeListAdd(list, "BETA"), "beta") << "an equal name is found, not added";
  EXPECT_EQ(list.count, 3);
  EXPECT_STREQ(CodeListFind(list, "Gamma"), "gamma");
  EXPECT_EQ(CodeListFind(list, "delta"), nullptr);
  EXPECT_EQ(CodeListFind(list, nullptr), nullptr);

  CodeListRemove(list, "ALPHA");
  EXPECT_EQ(Names(list), (std::vector<std::string>{"beta", "gamma"}));
  CodeListRemove(list, "delta");
  EXPECT_EQ(list.count, 2);
}

TEST(JoinCodeList, NamesAreCutTo31AndTheListHoldsAHundred) {
  CodeList list;
  omjoin::CodeListClear(list);
  const std::string longName(40, 'k');
  EXPECT_STREQ(CodeListAdd(list, longName.c_str()), std::string(31, 'k').c_str());
  EXPECT_STREQ(CodeListAdd(list, (std::string(31, 'K') + "zz").c_str()), std::string(31, 'k').c_str())
      << "names equal in their first 31 characters are one code";
  for (int i = 1; i < 100; ++i) ASSERT_NE(CodeListAdd(list, ("c" + std::to_string(i)).c_str()), nullptr) << i;
  EXPECT_EQ(list.count, 100);
  EXPECT_EQ(CodeListAdd(list, "onemore"), nullptr);
  EXPECT_EQ(list.count, 100);
}

TEST(JoinCodeList, ParseSplitsOnEveryBlankAndSkipsDuplicates) {
  CodeList list;
  CodeListAdd(list, "stale");
  omjoin::ParseCodeList(list, "alpha\tbeta  alpha\r\nGamma\fALPHA");
  EXPECT_EQ(Names(list), (std::vector<std::string>{"alpha", "beta", "Gamma"}));

  omjoin::ParseCodeList(list, "");
  EXPECT_EQ(list.count, 0);
  CodeListAdd(list, "x");
  omjoin::ParseCodeList(list, nullptr);
  EXPECT_EQ(list.count, 0);

  std::string many;
  for (int i = 0; i < 105; ++i) many += "code" + std::to_string(i) + " ";
  omjoin::ParseCodeList(list, many.c_str());
  EXPECT_EQ(list.count, 100);
  EXPECT_STREQ(list.names[99], "code99");
}

// ---- Statistics criteria ------------------------------------------------------------------

struct CriteriaCase {
  const char* text;
  std::vector<std::tuple<std::string, int32_t, int32_t>> expected;
};

TEST(JoinStatCriteria, ParsesTheGrammarAndStopsQuietly) {
  const CriteriaCase cases[] = {
      {"KILLS [100, -1] & rank[ 5 , 40 ]", {{"KILLS", 100, -1}, {"RANK", 5, 40}}},
      {"deaths [0, 5] & kills [1, 2]", {{"DEATHS", 0, 5}, {"KILLS", 1, 2}}},
      {"\tkills\n[\r1\f,2]", {{"KILLS", 1, 2}}},
      {"KILLS[1,2]&", {{"KILLS", 1, 2}}},
      {"KILLS [1, 2", {}},
      {"KILLS [1; 2]", {}},
      {"KILLS", {}},
      {"KILLS [1, 2] RANK [3, 4]", {{"KILLS", 1, 2}}},
      {"KILLS [1, 2] & RANK (3, 4)", {{"KILLS", 1, 2}}},
      {"kills [12abc, +7]", {{"KILLS", 12, 7}}},
      {"", {}},
      {"   ", {}},
  };
  for (const CriteriaCase& c : cases) {
    omjoin::StatCriteria criteria;
    omjoin::StatCriteriaClear(criteria);
    omjoin::ParseStatCriteria(criteria, c.text);
    std::vector<std::tuple<std::string, int32_t, int32_t>> got;
    for (int32_t i = 0; i < criteria.count; ++i) {
      got.emplace_back(criteria.items[i].name, criteria.items[i].min, criteria.items[i].max);
    }
    EXPECT_EQ(got, c.expected) << "criteria text: " << c.text;
  }
}

TEST(JoinStatCriteria, NamesAreCutAndTheListHoldsThirtyTwo) {
  omjoin::StatCriteria criteria;
  omjoin::StatCriteriaClear(criteria);
  std::string text = std::string(40, 'n') + " [1, 2]";
  for (int i = 0; i < 32; ++i) text += " & k" + std::to_string(i) + " [" + std::to_string(i) + ", 9]";
  omjoin::ParseStatCriteria(criteria, text.c_str());
  ASSERT_EQ(criteria.count, 32) << "the 33rd criterion ends the parse";
  EXPECT_EQ(std::string(criteria.items[0].name), std::string(31, 'N'));
  EXPECT_STREQ(criteria.items[31].name, "K30");

  omjoin::ParseStatCriteria(criteria, nullptr);
  EXPECT_EQ(criteria.count, 0);
}

// ---- Sealing -----------------------------------------------------------------------------

TEST(JoinSealing, TheGeneratorFromSeedZero) {
  vexa::VexaRandom random;
  random.Seed(0);
  EXPECT_EQ(random.Next(), 1u);
  EXPECT_EQ(random.Next(), 22322u);
  EXPECT_EQ(random.Next(), 44691u);
}

TEST(JoinSealing, ChecksumKeySeedAndLetters) {
  const std::string nine = "123456789";
  EXPECT_EQ(omjoin::Crc32Mpeg2(reinterpret_cast<const uint8_t*>(nine.data()), 9), 0x0376E6E7u);
  EXPECT_EQ(omjoin::Crc32Mpeg2(nullptr, 0), 0xFFFFFFFFu);
  EXPECT_EQ(omtest::ReferenceCrc(nine), 0x0376E6E7u) << "the test's own reader agrees";

  EXPECT_EQ(omjoin::KeySeed(nullptr), 3252u);
  EXPECT_EQ(omjoin::KeySeed(""), 50u);
  EXPECT_EQ(omjoin::KeySeed("12345"), 13080u);
  EXPECT_EQ(omjoin::KeySeed("\xE9"), 580u) << "a byte above 127 counts as a signed value";

  char out[16];
  const uint8_t bytes[] = {0x00, 0x1F, 0xA5};
  ASSERT_EQ(omjoin::LetterEncode(bytes, 3, out, sizeof out), 0);
  EXPECT_STREQ(out, "AAPBFK");
  ASSERT_EQ(omjoin::LetterEncode(reinterpret_cast<const uint8_t*>("abc"), 3, out, sizeof out), 0);
  EXPECT_STREQ(out, "BGCGDG");
  std::strcpy(out, "keep");
  EXPECT_EQ(omjoin::LetterEncode(bytes, 3, out, 6), -1);
  EXPECT_STREQ(out, "keep");
}

TEST(JoinSealing, FixedVectorsOfBothOrders) {
  // Key 4242 reverses the bytes (its third draw is odd), key 777 does not.
  EXPECT_EQ(Seal(std::string("Fox\0", 4), "4242"), "KENOIHNAPFBLOKPL");
  EXPECT_EQ(Seal(std::string("Fox\0", 4), "777"), "IEAEIEPPCLGCAKGA");
  EXPECT_EQ(Seal(std::string("Fox\0", 4), ""), "ENDKOFPBBKPBMEJI") << "an empty key skips the key addition only";
  EXPECT_EQ(Seal("", "4242"), "ONIPODIL");
}

TEST(JoinSealing, LengthsCapacityAndTheReaderUndoesIt) {
  EXPECT_EQ(Seal("", "1").size(), 8u) << "an empty PCID";
  EXPECT_EQ(Seal(std::string("Fox\0", 4), "1").size(), 16u) << "a three-letter NAMEINFO";
  EXPECT_EQ(Seal(std::string(6, '\0'), "1").size(), 20u) << "SQUADINFO of a player in no squad";

  EXPECT_EQ(Seal(std::string(251, 'p'), "9", 512).size(), 510u) << "the longest PCID that fits";
  EXPECT_EQ(Seal(std::string(252, 'p'), "9", 512), "<refused>");
  EXPECT_EQ(Seal(std::string(1019, 'n'), "9").size(), 2046u);
  EXPECT_EQ(Seal(std::string(1020, 'n'), "9"), "<refused>");

  const std::string payloads[] = {"", std::string("Fox[ABC]\0", 9), std::string("\x07\0\0\0Name\0[T]\0", 14),
                                  std::string(300, '\xFF')};
  const char* keys[] = {"4242", "777", "", "-12", "2147483647"};
  for (const std::string& payload : payloads) {
    for (const char* key : keys) {
      const std::string sealed = Seal(payload, key);
      EXPECT_EQ(omtest::Unseal(sealed, key), payload) << "key " << key << ", payload length " << payload.size();
      EXPECT_EQ(sealed.find_first_not_of("ABCDEFGHIJKLMNOP"), std::string::npos);
    }
  }
  EXPECT_NE(Seal("Fox", "4242"), Seal("Fox", "4243")) << "different keys, different texts";
  EXPECT_EQ(Seal("Fox", "4242"), Seal("Fox", "4242")) << "no time or random input";
  std::string tampered = Seal("Fox", "4242");
  tampered[0] = tampered[0] == 'A' ? 'B' : 'A';
  EXPECT_EQ(omtest::Unseal(tampered, "4242"), std::nullopt) << "the checksum catches a changed letter";
}

}  // namespace
