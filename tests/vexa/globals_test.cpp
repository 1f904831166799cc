// The global objects of a plug-in that links Vexa: made when the plug-in is loaded, torn
// down when it is unloaded. The probe plug-ins show them from inside; OMAccount,
// OMCharacter and OMJoin are loaded and unloaded as well once they are built. Under
// AddressSanitizer a global left behind at unload is reported as a leak of this test.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host.h"
#include "plugin.h"
#include "test_support.h"
#include "vexa_memory.h"

namespace {

std::string ProbeText(const std::string& path, int requests) {
  std::string error;
  std::unique_ptr<omserver::Plugin> plugin = omserver::Plugin::load(path, error);
  EXPECT_NE(plugin, nullptr) << error;
  if (plugin == nullptr) return "";
  omtest::TempDir dir;
  omserver::Host host(dir.path());
  std::string text;
  for (int i = 0; i < requests; ++i) {
    omserver::RequestResult result = host.run(*plugin, omserver::RequestSpec{});
    const omserver::ReplyCall& reply = omtest::OnlyReply(result);
    EXPECT_EQ(reply.word.value_or(""), "SUCCESS");
    text = reply.text.value_or("");
  }
  return text;  // the plug-in is unloaded here, with one tracked block per request left
}

TEST(VexaGlobalsTest, APlugInWithTheTrackerSeesAllThreeGlobals) {
  std::string text = ProbeText(OM_VEXA_PROBE_DIR "/OMVexaProbe.so", 3);
  EXPECT_EQ(text,
            "manager=VexaMemManagerGlobal flags=1 pool=" + std::to_string(vexa::kSmallestPoolSize) +
                " limit=0 metrics=none heap=0 | metricsMutex=own step=4096 | tracker=Global flags=3 blocks=3 | used=3");
}

TEST(VexaGlobalsTest, APlugInWithoutTheTrackerHasNone) {
  std::string text = ProbeText(OM_VEXA_PROBE_DIR "/OMVexaProbeCore.so", 1);
  EXPECT_EQ(text,
            "manager=VexaMemManagerGlobal flags=1 pool=" + std::to_string(vexa::kSmallestPoolSize) +
                " limit=0 metrics=none heap=0 | metricsMutex=own step=4096 | tracker=none flags=0 blocks=-1 | used=2");
}

TEST(VexaGlobalsTest, GlobalsAreMadeAfreshOnEveryLoad) {
  // The tracker's block count starts from 0 again: the earlier life was torn down.
  for (int load = 0; load < 3; ++load) {
    std::string text = ProbeText(OM_VEXA_PROBE_DIR "/OMVexaProbe.so", 1);
    EXPECT_NE(text.find("tracker=Global flags=3 blocks=1 "), std::string::npos) << "load " << load << ": " << text;
  }
}

TEST(VexaGlobalsTest, ThePlugInsThatLinkVexaLoadAndUnloadCleanly) {
  // The probe always, and the page plug-ins that link Vexa as soon as they are built.
  std::vector<std::string> paths = {OM_VEXA_PROBE_DIR "/OMVexaProbe.so"};
  for (const char* name : {"OMAccount", "OMCharacter", "OMJoin"}) {
    if (std::filesystem::exists(omtest::PluginPath(name))) paths.push_back(omtest::PluginPath(name));
  }
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    std::ifstream in(path, std::ios::binary);
    std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(image.find("VexaMemManagerGlobal"), std::string::npos) << "the global objects are linked in";
    for (int load = 0; load < 2; ++load) {
      std::string error;
      std::unique_ptr<omserver::Plugin> plugin = omserver::Plugin::load(path, error);
      ASSERT_NE(plugin, nullptr) << error;
    }
  }
}

}  // namespace
