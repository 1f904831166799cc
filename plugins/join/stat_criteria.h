// The statistics criteria a game server sets in its variable "GXStatRestrictArrayString",
// for example "KILLS [100, -1] & rank[ 5 , 40 ]": names with a lowest and a highest
// admitted value, where a negative limit means no limit.
#ifndef OM_JOIN_STAT_CRITERIA_H
#define OM_JOIN_STAT_CRITERIA_H

#include <stdint.h>

namespace omjoin {

enum { StatNameSize = 32, StatCriteriaCapacity = 32 };

struct StatCriterion {
  char name[StatNameSize];  // upper case, at most 31 characters
  int32_t value;            // the player's value, once fetched
  int32_t min;              // negative: no lower limit
  int32_t max;              // negative: no upper limit
};

struct StatCriteria {
  char pload[StatNameSize];  // the product name the statistics are stored under
  char exp[StatNameSize];    // the expansion name
  int32_t count;
  int32_t capacity;
  StatCriterion items[StatCriteriaCapacity];
};

// An empty list of the full capacity.
void StatCriteriaClear(StatCriteria& criteria);

// Fills the criteria from the text, in text order. Stops quietly at the end of the text,
// at the first syntax error or when the list is full; what was stored before stays.
void ParseStatCriteria(StatCriteria& criteria, const char* text);

}  // namespace omjoin

#endif  // OM_JOIN_STAT_CRITERIA_H
