// Plug-ins pass garbage sometimes: every service slot answers null pointers and tiny
// sizes with a failure it notes, never with a crash or a write past the given size.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "services/services.h"
#include "slot_request.h"
#include "test_support.h"

namespace {

struct MisuseCase {
  const char* what;
  std::function<int32_t(HostApi*)> call;
  bool negative;  // else: a refusal answered non-zero (ScreenName)
};

TEST(MisuseTest, NullPointersAreRefusedAndNoted) {
  omtest::TempDir dir;
  omserver::Host host(dir.path());
  int32_t value = 0;
  char buffer[16];
  const MisuseCase cases[] = {
      {"SendMail null address", [](HostApi* a) { return a->SendMail(a, nullptr, "s", "b"); }, true},
      {"SendMail null body", [](HostApi* a) { return a->SendMail(a, "a@b.c", "s", nullptr); }, true},
      {"LogEvent null tag", [](HostApi* a) { return a->LogEvent(a, 1, 0, nullptr, "d"); }, true},
      {"PostEventRecord null", [](HostApi* a) { return a->PostEventRecord(a, nullptr); }, true},
      {"GetFeatureSwitch null", [](HostApi* a) { return a->GetFeatureSwitch(a, 2, nullptr); }, true},
      {"ScreenName null", [](HostApi* a) { return a->ScreenName(a, nullptr); }, false},
      {"EncodeText null source", [&](HostApi* a) { return a->EncodeText(a, nullptr, buffer, sizeof buffer, "k"); }, true},
      {"EncodeText null destination", [](HostApi* a) { return a->EncodeText(a, "t", nullptr, 16, "k"); }, true},
      {"EncodeText null key", [&](HostApi* a) { return a->EncodeText(a, "t", buffer, sizeof buffer, nullptr); }, true},
      {"EncodeText size 0", [&](HostApi* a) { return a->EncodeText(a, "t", buffer, 0, "k"); }, true},
      {"EncodeText size -5", [&](HostApi* a) { return a->EncodeText(a, "t", buffer, -5, "k"); }, true},
      {"DecodeText null text", [](HostApi* a) { return a->DecodeText(a, nullptr, "k"); }, true},
      {"DecodeText null key", [&](HostApi* a) { return a->DecodeText(a, buffer, nullptr); }, true},
      {"GetServerRecord null", [](HostApi* a) { return a->GetServerRecord(a, nullptr); }, true},
      {"QueryServerAccess null text", [&](HostApi* a) { return a->QueryServerAccess(a, nullptr, &value, &value); }, true},
      {"QueryServerAccess null status", [&](HostApi* a) { return a->QueryServerAccess(a, "t", nullptr, &value); }, true},
      {"QueryAccountRecord null", [](HostApi* a) { return a->QueryAccountRecord(a, nullptr); }, true},
      {"QueryProductRecord null", [](HostApi* a) { return a->QueryProductRecord(a, nullptr); }, true},
      {"SetAccountCodes null", [](HostApi* a) { return a->SetAccountCodes(a, nullptr); }, true},
      {"RegisterHost null", [](HostApi* a) { return a->RegisterHost(a, nullptr); }, true},
      {"QueueEnter null", [](HostApi* a) { return a->QueueEnter(a, nullptr, 512); }, true},
      {"QueueEnter size 0", [&](HostApi* a) { return a->QueueEnter(a, buffer, 0); }, true},
      {"QueueCancel null", [](HostApi* a) { return a->QueueCancel(a, nullptr, 1); }, true},
      {"FormatAddress null", [](HostApi* a) { return a->FormatAddress(a, 1, 2, nullptr, 16); }, true},
  };
  for (const MisuseCase& c : cases) {
    omtest::SlotRequest request(host);
    std::strcpy(buffer, "untouched");
    int32_t result = c.call(request.api());
    if (c.negative) {
      EXPECT_LT(result, 0) << c.what;
    } else {
      EXPECT_NE(result, 0) << c.what;
    }
    EXPECT_FALSE(request.result.hostLog.empty()) << c.what << ": the misuse was not noted";
  }
  EXPECT_TRUE(omserver::services::Mails(host).empty());
  EXPECT_TRUE(omserver::services::EventLog(host).empty());
}

TEST(MisuseTest, GarbageCountsInRecordsStayWithinTheRecord) {
  omtest::TempDir dir;
  omserver::Host host(dir.path());
  omtest::SlotRequest request(host);
  auto codes = std::make_unique<CodeList>();
  std::memset(codes.get(), 'z', sizeof(CodeList));  // no name is terminated, the count is garbage
  codes->count = 5000;
  EXPECT_EQ(request.api()->SetAccountCodes(request.api(), codes.get()), 0);
  auto kept = omserver::services::LastAccountCodes(host);
  ASSERT_TRUE(kept.has_value());
  EXPECT_EQ(kept->size(), 100u);
  EXPECT_EQ(kept->front(), std::string(32, 'z'));
  EXPECT_FALSE(request.result.hostLog.empty());
}

}  // namespace
