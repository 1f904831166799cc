// The pure rules of the player pages: tidying and checking a typed player name, and the
// grammar of the server-criteria request and result texts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "char_name.h"
#include "glsvss.h"

namespace {

using omcharacter::CharNameRuleCode;
using omcharacter::GlsvssList;
using omcharacter::TidyCharName;

std::string Tidied(std::string name) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, "%s", name.c_str());
  TidyCharName(buffer);
  return buffer;
}

TEST(CharNameTest, TidyingTouchesOnlySpacesAndNonBreakingSpaces) {
  struct Case { std::string typed, tidied; } cases[] = {
      {"  Ab   cd  ", "Ab cd"},
      {"\xA0" "Ab\xA0\xA0" "cd\xA0", "Ab cd"},
      {"   ", ""},
      {" x ", "x"},
      {"a\tb", "a\tb"},
      {"a \t b", "a \t b"},
      {"a  b  c", "a b c"},
  };
  for (const Case& c : cases) EXPECT_EQ(Tidied(c.typed), c.tidied) << "typed \"" << c.typed << "\"";
}

TEST(CharNameTest, RulesGiveTheCodeOfTheFirstBrokenRule) {
  struct Case { const char* name; int32_t code; } cases[] = {
      {"", 3004},
      {"abcdefghijklmnop", 0},       // 16 characters
      {"abcdefghijklmnopq", 3219},   // 17
      {"-ab", 3237}, {".ab", 3237},
      {"a-b", 0}, {"a.b-c", 0}, {"a.-", 3237}, {"a.", 0},
      {"Ab cd", 0}, {"a\tb", 3237}, {"a_b", 3237}, {"a'b", 3237}, {"Z\xE9", 3237},
      {"a .-", 3237},                // spaces are not counted as letters
      {"1.2", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(CharNameRuleCode(c.name), c.code) << "name \"" << c.name << "\"";
}

struct Item { std::string pload, expansion, varname; };

std::vector<Item> Items(const GlsvssList& list) {
  std::vector<Item> items;
  for (int32_t i = 0; i < list.count; ++i) {
    items.push_back({list.entries[i].pload, list.entries[i].expansion, list.entries[i].varname});
  }
  return items;
}

bool operator==(const Item& a, const Item& b) {
  return a.pload == b.pload && a.expansion == b.expansion && a.varname == b.varname;
}

std::ostream& operator<<(std::ostream& out, const Item& item) {
  return out << "[" << item.pload << ":" << item.expansion << "]" << item.varname;
}

TEST(GlsvssRequestTest, ItemsTakeTheirGroupHeaderUpperCased) {
  struct Case { const char* request; int32_t result; std::vector<Item> items; } cases[] = {
      {"[gx:x1] kills, deaths [gx] rank", 0, {{"GX", "X1", "KILLS"}, {"GX", "X1", "DEATHS"}, {"GX", "", "RANK"}}},
      {"kills", 0, {{"", "", "KILLS"}}},
      {"", 0, {}},
      {" \t\r\n\f ", 0, {}},
      {"a,,b", 0, {{"", "", "A"}, {"", "", ""}, {"", "", "B"}}},
      {"[gx]", 0, {{"GX", "", ""}}},
      {"a,b]", -1, {{"", "", "A"}, {"", "", "B"}}},
      {"a=7, b = -3", 0, {{"", "", "A"}, {"", "", "B"}}},
      {"[ gx : x1 ]k", 0, {{"GX", "X1", "K"}}},
      {"[gx x1]k", -1, {}},
      {"a:b", -1, {{"", "", "A"}}},
      {"a,", 0, {{"", "", "A"}}},
      {"[Gx]Kills\xE9", 0, {{"GX", "", "KILLS\xE9"}}},
  };
  for (const Case& c : cases) {
    GlsvssList list;
    omcharacter::ClearGlsvssList(list);
    EXPECT_EQ(omcharacter::ParseGlsvssRequest(list, c.request), c.result) << "request \"" << c.request << "\"";
    EXPECT_EQ(Items(list), c.items) << "request \"" << c.request << "\"";
  }
}

TEST(GlsvssRequestTest, NamesAreCutTo31CharactersAndA33rdItemStopsTheList) {
  std::string longName(600, 'k');
  GlsvssList list;
  omcharacter::ClearGlsvssList(list);
  EXPECT_EQ(omcharacter::ParseGlsvssRequest(list, ("[" + longName + "]" + longName + ",b").c_str()), 0);
  ASSERT_EQ(list.count, 2);
  EXPECT_EQ(std::string(list.entries[0].pload), std::string(31, 'K'));
  EXPECT_EQ(std::string(list.entries[0].varname), std::string(31, 'K'));
  EXPECT_EQ(std::string(list.entries[1].varname), "B");

  std::string request;
  for (int i = 1; i <= 33; ++i) request += (i > 1 ? "," : "") + ("v" + std::to_string(i));
  omcharacter::ClearGlsvssList(list);
  EXPECT_EQ(omcharacter::ParseGlsvssRequest(list, request.c_str()), -1);
  ASSERT_EQ(list.count, 32);
  EXPECT_EQ(std::string(list.entries[31].varname), "V32");
}

GlsvssList ListOf(const std::vector<Item>& items, const std::vector<int32_t>& values) {
  GlsvssList list;
  omcharacter::ClearGlsvssList(list);
  for (size_t i = 0; i < items.size(); ++i) {
    auto& entry = list.entries[list.count++];
    std::snprintf(entry.pload, sizeof entry.pload, "%s", items[i].pload.c_str());
    std::snprintf(entry.expansion, sizeof entry.expansion, "%s", items[i].expansion.c_str());
    std::snprintf(entry.varname, sizeof entry.varname, "%s", items[i].varname.c_str());
    entry.value = values[i];
  }
  return list;
}

TEST(GlsvssDataTest, HeadersAppearWhenTheGroupChangesAndZeroIsTheBareName) {
  struct Case { std::vector<Item> items; std::vector<int32_t> values; const char* text; } cases[] = {
      {{{"GX", "X1", "KILLS"}, {"GX", "X1", "DEATHS"}, {"GX", "", "RANK"}}, {12, 0, 3}, "[GX:X1]KILLS=12,DEATHS,[GX]RANK=3"},
      {{{"", "", "KILLS"}}, {5}, "[]KILLS=5"},
      {{{"GX", "", "A"}, {"GX", "", "B"}, {"GX", "", "C"}}, {1, 2, 3}, "[GX]A=1,B=2,C=3"},
      {{{"GX", "", "A"}, {"GY", "", "B"}, {"GY", "Z", "C"}}, {-1, 0, 2147483647}, "[GX]A=-1,[GY]B,[GY:Z]C=2147483647"},
      {{}, {}, ""},
  };
  for (const Case& c : cases) {
    GlsvssList list = ListOf(c.items, c.values);
    char text[512];
    EXPECT_EQ(omcharacter::FormatGlsvssData(list, text, sizeof text), 0) << c.text;
    EXPECT_STREQ(text, c.text);
  }
}

TEST(GlsvssDataTest, ResultMustFitWith511Characters) {
  // "[GX]" then names of 31 letters, each with ",": 4 + 16 * 31 + 15 = 515 characters.
  std::vector<Item> items;
  std::vector<int32_t> values;
  for (int i = 0; i < 16; ++i) {
    items.push_back({"GX", "", std::string(30, 'A') + static_cast<char>('A' + i)});
    values.push_back(0);
  }
  GlsvssList list = ListOf(items, values);
  char text[512];
  EXPECT_EQ(omcharacter::FormatGlsvssData(list, text, sizeof text), -1);
  EXPECT_STREQ(text, "") << "a result that does not fit is not handed on cut";

  // Shortened by four characters the result is exactly 511 long and fits.
  std::snprintf(list.entries[15].varname, sizeof list.entries[15].varname, "%s", std::string(27, 'B').c_str());
  EXPECT_EQ(omcharacter::FormatGlsvssData(list, text, sizeof text), 0);
  EXPECT_EQ(std::strlen(text), 511u);
}

}  // namespace
