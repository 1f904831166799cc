// The host's checks: feature switches, name screening, the databases' offline switch and
// the host number.
#include <gtest/gtest.h>

#include "services/services.h"
#include "slot_request.h"
#include "test_support.h"

namespace {

namespace services = omserver::services;

class ChecksTest : public ::testing::Test {
 protected:
  omtest::TempDir dir;
  omserver::Host host{dir.path()};
};

TEST_F(ChecksTest, FeatureSwitchesAreOnUnlessSetAndMayBeUnreadable) {
  services::SetFeatureSwitch(host, 2, services::SwitchState::Off);
  services::SetFeatureSwitch(host, 3, services::SwitchState::Unreadable);
  services::SetFeatureSwitch(host, 4, services::SwitchState::Off);
  services::SetFeatureSwitch(host, 4, std::nullopt);
  struct Case {
    int32_t feature;
    int32_t result;
    int32_t enabled;  // 99: left untouched
  };
  for (const Case c : {Case{1, 0, 1}, Case{2, 0, 0}, Case{3, -1, 99}, Case{4, 0, 1}}) {
    omtest::SlotRequest request(host);
    int32_t enabled = 99;
    EXPECT_EQ(request.api()->GetFeatureSwitch(request.api(), c.feature, &enabled), c.result) << "feature " << c.feature;
    EXPECT_EQ(enabled, c.enabled) << "feature " << c.feature;
  }
}

TEST_F(ChecksTest, ScreenedNamesAreRefusedWhateverTheirCase) {
  services::AddScreenedName(host, "Badname");
  services::AddScreenedName(host, "admin");
  const std::pair<const char*, int32_t> cases[] = {{"badname", 1}, {"BADNAME", 1}, {"Admin", 1},
                                                   {"Badnames", 0}, {"Fox", 0},    {"admin ", 0}};
  for (const auto& [name, refused] : cases) {
    omtest::SlotRequest request(host);
    EXPECT_EQ(request.api()->ScreenName(request.api(), name) != 0, refused != 0) << name;
  }
  services::RemoveScreenedName(host, "ADMIN");
  omtest::SlotRequest request(host);
  EXPECT_EQ(request.api()->ScreenName(request.api(), "admin"), 0);
  EXPECT_NE(request.api()->ScreenName(request.api(), nullptr), 0);
}

TEST_F(ChecksTest, OfflineSwitchAndHostNumberAreConfigured) {
  omtest::SlotRequest before(host);
  EXPECT_EQ(before.api()->IsDbOffline(before.api()), 0);
  EXPECT_EQ(before.api()->GetHostNumber(before.api()), 1);
  services::SetDbOffline(host, true);
  services::SetHostNumber(host, 314);
  omtest::SlotRequest after(host);
  EXPECT_NE(after.api()->IsDbOffline(after.api()), 0);
  EXPECT_EQ(after.api()->GetHostNumber(after.api()), 314);
  EXPECT_TRUE(services::DbOffline(host));
}

}  // namespace
