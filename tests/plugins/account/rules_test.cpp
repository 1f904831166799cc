// The account rules on their own: the character rules, the restriction mask, the status
// letters and the answers to the account-creation procedure's results, which the stand-in's
// procedure cannot all produce.
#include <gtest/gtest.h>

#include "account.h"

namespace account {
namespace {

TEST(AccountRules, UnsafeCharactersAndAddresses) {
  for (const char* text : {"%", "\"", "<", ">", "'", "&", ";", "ab;", "a'b"}) {
    EXPECT_TRUE(HasUnsafeCharacter(text)) << text;
  }
  for (const char* text : {"", "plain", "a-b_c.d", "$(x)", "a@b", "white space"}) {
    EXPECT_FALSE(HasUnsafeCharacter(text)) << text;
  }
  EXPECT_TRUE(IsAcceptableEmail("a@b"));
  EXPECT_FALSE(IsAcceptableEmail("ab"));
  EXPECT_FALSE(IsAcceptableEmail("a&b@c"));
  // An address looked up is taken as typed; one that is stored must be mailable: no blank,
  // no control character (a line break would add mail headers of its own).
  EXPECT_TRUE(IsAcceptableEmail(" a@b"));
  EXPECT_TRUE(IsMailableEmail("caf\xc3\xa9@b"));
  for (const char* text : {"ab", "a&b@c", "a b@c", " a@b", "a@b\r\nBcc: x@y", "a@b\tc", "a@\x7f"}) {
    EXPECT_FALSE(IsMailableEmail(text)) << text;
  }
  // A new account name goes into the welcome mail's subject: no control character either.
  EXPECT_FALSE(HasUnsafeNameCharacter("pilot"));
  EXPECT_FALSE(HasUnsafeNameCharacter("white space"));
  EXPECT_TRUE(HasUnsafeNameCharacter("a\r\nb"));
  EXPECT_TRUE(HasUnsafeNameCharacter("a;b"));
  EXPECT_TRUE(Confirms("Secret", "sECRET"));
  EXPECT_FALSE(Confirms("Secret", "Secret "));
}

TEST(AccountRules, TrimmingEmptiesATextOfBlanks) {
  char name[16] = "  pilot  ";
  Trim(name);
  EXPECT_STREQ(name, "pilot");
  char blanks[8] = "   ";
  Trim(blanks);
  EXPECT_STREQ(blanks, "");
  char one[4] = " ";
  Trim(one);
  EXPECT_STREQ(one, "");
}

TEST(AccountRules, RestrictionMasks) {
  struct Row { int32_t chid, bits; };
  struct Case { std::vector<Row> rows; int32_t accountWide, all; } cases[] = {
      {{}, 0, 0},
      {{{0, 0x10}}, 3211, 3211},
      {{{7, 0x10}}, 0, 3211},
      {{{7, 0x01}}, 0, 3215},
      {{{0, 0x14}}, 3215, 3215},
      {{{0, 0x10}, {0, 0x02}}, 3215, 3215},
      {{{0, 0x20}, {0, 0x100}, {0, 0x8}}, 0, 0},
      {{{0, 0x110}}, 3211, 3211},
  };
  for (const Case& c : cases) {
    int32_t accountWide = 0;
    int32_t all = 0;
    for (const Row& row : c.rows) {
      FoldRestriction(accountWide, row.chid, row.bits, RestrictionRows::AccountWideOnly);
      FoldRestriction(all, row.chid, row.bits, RestrictionRows::All);
    }
    EXPECT_EQ(RestrictionCode(accountWide), c.accountWide) << "mask " << accountWide;
    EXPECT_EQ(RestrictionCode(all), c.all) << "mask " << all;
  }
}

TEST(AccountRules, StatusLettersAreComparedUpperCased) {
  EXPECT_EQ(StatusLetter('p'), kStatusPending);
  EXPECT_EQ(StatusLetter('S'), kStatusSuspended);
  EXPECT_EQ(StatusLetter('\0'), '\0');
}

TEST(AccountRules, TheCreationProceduresResults) {
  struct Case { int32_t returnValue, code; } cases[] = {
      {0, 0}, {17, 0}, {-200500, 3216}, {-200501, 3217}, {-200502, 4004}, {-1, 4004}, {INT32_MIN, 4004},
  };
  for (const Case& c : cases) EXPECT_EQ(CreateLoginRefusal(c.returnValue), c.code) << c.returnValue;
}

}  // namespace
}  // namespace account
