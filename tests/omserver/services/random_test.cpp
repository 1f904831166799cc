// RandomRange: OMJoin draws 64 digits 0..9 for a page id and 1..8388607 for statistics
// tickets; with a seed the draws repeat, also for another Host on the same data directory.
#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <vector>

#include "services/services.h"
#include "slot_request.h"
#include "test_support.h"

namespace {

std::vector<int32_t> Draw(omserver::Host& host, int count, int32_t low = 0, int32_t high = 9) {
  omtest::SlotRequest request(host);
  std::vector<int32_t> values;
  for (int i = 0; i < count; ++i) values.push_back(request.api()->RandomRange(request.api(), low, high));
  return values;
}

TEST(RandomRangeTest, ZeroToNineGivesEveryDigitAndNothingElse) {
  omtest::TempDir dir;
  omserver::Host host(dir.path());
  std::set<int32_t> seen;
  for (int32_t value : Draw(host, 500)) {
    ASSERT_GE(value, 0);
    ASSERT_LE(value, 9);
    seen.insert(value);
  }
  EXPECT_EQ(seen.size(), 10u);
}

TEST(RandomRangeTest, BoundsAreInclusiveAndNeverOverflow) {
  omtest::TempDir dir;
  omserver::Host host(dir.path());
  for (int32_t value : Draw(host, 50, 7, 7)) ASSERT_EQ(value, 7);
  for (int32_t value : Draw(host, 200, 1, 8388607)) {
    ASSERT_GE(value, 1);
    ASSERT_LE(value, 8388607);
  }
  std::set<bool> signs;
  for (int32_t value : Draw(host, 100, INT32_MIN, INT32_MAX)) signs.insert(value < 0);
  EXPECT_EQ(signs.size(), 2u);
  omtest::SlotRequest request(host);
  int32_t swapped = request.api()->RandomRange(request.api(), 9, 0);
  EXPECT_GE(swapped, 0);
  EXPECT_LE(swapped, 9);
  EXPECT_FALSE(request.result.hostLog.empty());
}

TEST(RandomRangeTest, ASeedRepeatsTheDrawsAcrossHostObjectsOnOneDataDirectory) {
  omtest::TempDir dir;
  std::vector<int32_t> first;
  std::vector<int32_t> whole;
  {
    omserver::Host host(dir.path());
    omserver::services::SetSeed(host, "42");
    whole = Draw(host, 64);
  }
  {
    omserver::Host host(dir.path());
    omserver::services::SetSeed(host, "42");
    first = Draw(host, 32);
  }
  {
    // A third host goes on where the second stopped, as a second process would.
    omserver::Host host(dir.path());
    std::vector<int32_t> rest = Draw(host, 32);
    first.insert(first.end(), rest.begin(), rest.end());
  }
  EXPECT_EQ(first, whole);
  omtest::TempDir other;
  omserver::Host host(other.path());
  omserver::services::SetSeed(host, "43");
  EXPECT_NE(Draw(host, 64), whole);
}

}  // namespace
