#include "stat_criteria.h"

#include <string.h>

#include "text.h"
#include "vexa_text.h"

namespace omjoin {

namespace {

// Only the first 511 characters of a token count.
constexpr int32_t kTokenSize = 512;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }
bool EndsToken(char c) { return c == '\0' || IsBlank(c) || c == '[' || c == ']' || c == '&' || c == ','; }

const char* SkipBlanks(const char* p) {
  while (IsBlank(*p)) ++p;
  return p;
}

// Reads the token at p into token and returns the position after it.
const char* ReadToken(const char* p, char (&token)[kTokenSize]) {
  int32_t length = 0;
  for (; !EndsToken(*p); ++p) {
    if (length < kTokenSize - 1) token[length++] = *p;
  }
  token[length] = '\0';
  return p;
}

}  // namespace

void StatCriteriaClear(StatCriteria& criteria) {
  memset(&criteria, 0, sizeof criteria);
  criteria.capacity = StatCriteriaCapacity;
}

void ParseStatCriteria(StatCriteria& criteria, const char* text) {
  criteria.count = 0;
  if (text == nullptr) return;
  const int32_t capacity =
      criteria.capacity < 0 ? 0 : (criteria.capacity > StatCriteriaCapacity ? StatCriteriaCapacity : criteria.capacity);
  char token[kTokenSize];
  const char* p = text;
  for (;;) {
    p = SkipBlanks(p);
    if (*p == '\0') return;

    p = ReadToken(p, token);
    vexa::TextUpperAscii(token);
    if (*p == '\0') return;
    StatCriterion criterion;
    memset(&criterion, 0, sizeof criterion);
    om::TextCopy(criterion.name, token, StatNameSize);

    p = SkipBlanks(p);
    if (*p != '[') return;
    p = SkipBlanks(p + 1);
    if (*p == '\0') return;

    p = SkipBlanks(ReadToken(p, token));
    criterion.min = om::DecimalValue(token);
    if (*p != ',') return;
    p = SkipBlanks(p + 1);
    if (*p == '\0') return;

    p = SkipBlanks(ReadToken(p, token));
    criterion.max = om::DecimalValue(token);
    if (*p != ']') return;
    ++p;

    if (criteria.count >= capacity) return;
    criteria.items[criteria.count++] = criterion;

    p = SkipBlanks(p);
    if (*p != '&') return;
    ++p;
  }
}

}  // namespace omjoin
