// OMJoin's statistics criteria: ParseStatCriteria on any text a game server may set. Besides
// the sanitizers' checks (the text in an exact-size heap block): the criteria are those of a
// plain token-by-token reading of "NAME [min, max] & ...", the count keeps within the
// capacity (cut to 0 to 32), nothing past the stored criteria and none of the list's other
// fields changes, and every name is terminated in its field, upper case and free of
// separators.
//
// An input starting with byte 1 then gives the list's capacity (byte 2, -128 to 127); any
// other input is the criteria text, read into a list of the full capacity.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "fuzz_buffer.h"
#include "tokens.h"
#include "stat_criteria.h"
#include "text.h"

namespace {

using omfuzz::Violation;
using omjoin::StatCriteria;
using omjoin::StatCriteriaCapacity;
using omjoin::StatCriterion;
using omjoin::StatNameSize;

using Criterion = std::tuple<std::string, int32_t, int32_t>;

constexpr char kMarks[] = "[]&,";
bool IsMark(char c) { return omfuzz::IsMarkOf(kMarks, c); }


// The criteria read over whole tokens; only the first 511 characters of a word count.
std::vector<Criterion> Reference(const char* text, size_t capacity) {
  const std::vector<omfuzz::Token> tokens = omfuzz::Tokens(text, kMarks);
  size_t at = 0;
  auto next = [&] { return at < tokens.size() ? tokens[at].kind : '\0'; };
  auto word = [&] { return next() == 'w' ? tokens[at++].text.substr(0, 511) : std::string(); };
  std::vector<Criterion> criteria;
  for (;;) {
    if (next() == '\0') return criteria;
    std::string name = word();
    for (char& c : name) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    name.resize(std::min(name.size(), static_cast<size_t>(StatNameSize - 1)));
    if (next() != '[') return criteria;
    ++at;
    const int32_t min = om::DecimalValue(word().c_str());
    if (next() != ',') return criteria;
    ++at;
    const int32_t max = om::DecimalValue(word().c_str());
    if (next() != ']') return criteria;
    ++at;
    if (criteria.size() >= capacity) return criteria;
    criteria.emplace_back(name, min, max);
    if (next() != '&') return criteria;
    ++at;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int32_t capacity = StatCriteriaCapacity;
  if (size >= 2 && data[0] == 1) {
    capacity = static_cast<int8_t>(data[1]);
    data += 2;
    size -= 2;
  }
  const omfuzz::HeapText text(data, size);

  StatCriteria criteria;
  omjoin::StatCriteriaClear(criteria);
  if (criteria.count != 0 || criteria.capacity != StatCriteriaCapacity) Violation("StatCriteriaClear", "not an empty list of the full capacity");
  std::snprintf(criteria.pload, sizeof criteria.pload, "GX");
  std::snprintf(criteria.exp, sizeof criteria.exp, "X1");
  std::memset(criteria.items, 'z', sizeof criteria.items);  // unterminated names, odd values
  criteria.count = 77;  // the parse starts afresh
  criteria.capacity = capacity;
  const StatCriteria original = criteria;

  omjoin::ParseStatCriteria(criteria, text.c_str());

  const int32_t limit = std::clamp<int32_t>(capacity, 0, StatCriteriaCapacity);
  if (criteria.count < 0 || criteria.count > limit) Violation("ParseStatCriteria", "count " + std::to_string(criteria.count) + " for capacity " + std::to_string(capacity));
  if (criteria.capacity != capacity || std::memcmp(criteria.pload, original.pload, sizeof criteria.pload) != 0 ||
      std::memcmp(criteria.exp, original.exp, sizeof criteria.exp) != 0) {
    Violation("ParseStatCriteria", "changed the capacity, pload or exp");
  }
  if (std::memcmp(&criteria.items[criteria.count], &original.items[criteria.count],
                  static_cast<size_t>(StatCriteriaCapacity - criteria.count) * sizeof(StatCriterion)) != 0) {
    Violation("ParseStatCriteria", "wrote past the stored criteria");
  }
  std::vector<Criterion> got;
  for (int32_t i = 0; i < criteria.count; ++i) {
    const StatCriterion& item = criteria.items[i];
    if (std::memchr(item.name, '\0', sizeof item.name) == nullptr) Violation("ParseStatCriteria", "a name not terminated in its field");
    const std::string name(item.name);
    for (char c : name) {
      if ((c >= 'a' && c <= 'z') || omfuzz::IsBlank(c) || IsMark(c)) Violation("ParseStatCriteria", "name \"" + name + "\" not as stored");
    }
    got.emplace_back(name, item.min, item.max);
  }
  const std::vector<Criterion> expected = Reference(text.c_str(), static_cast<size_t>(limit));
  if (got != expected) {
    Violation("ParseStatCriteria", "read " + std::to_string(got.size()) + " criteria, expected " + std::to_string(expected.size()));
  }
  return 0;
}
