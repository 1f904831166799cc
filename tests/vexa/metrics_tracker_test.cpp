// The metric manager (entries folded by name, growth in 4096-byte steps) and the block
// tracker (its list, its overrun report and dump, and its release of what is left).
#include <gtest/gtest.h>

#include <inttypes.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <thread>
#include <vector>

#include "vexa_memory.h"
#include "vexa_metrics.h"
#include "vexa_test_support.h"
#include "vexa_tracker.h"

namespace {

using namespace vexa;

VexaMetricEntry EntryOf(const VexaMetricManager& metrics, const char* name) {
  VexaMetricEntry entry{-99, -99, -99, nullptr};
  EXPECT_EQ(metrics.Find(name, &entry), 0) << name;
  return entry;
}

TEST(VexaMetricManagerTest, AddsFoldNamesAndCountEventsOfPositiveChanges) {
  VexaMetricManager metrics(nullptr);
  ASSERT_NE(metrics.mutex, nullptr) << "a mutex of its own";
  EXPECT_EQ(metrics.growthStep, 4096u);
  EXPECT_EQ(metrics.capacity, 0u);
  ASSERT_EQ(metrics.Add("VexaFile memory buffer", 1, 100), 0);
  EXPECT_EQ(metrics.capacity, 4096u) << "the first entry makes one growth step";
  EXPECT_EQ(metrics.used, 16u + 23u);
  EXPECT_EQ(metrics.free, 4096u - 39u);
  ASSERT_EQ(metrics.Add("VEXAFILE MEMORY BUFFER", -1, -100), 0);
  VexaMetricEntry entry = EntryOf(metrics, "vexafile memory buffer");
  EXPECT_EQ(entry.events, 1);
  EXPECT_EQ(entry.count, 0);
  EXPECT_EQ(entry.bytes, 0);
  EXPECT_STREQ(entry.name, "VexaFile memory buffer") << "the name as first given";
  EXPECT_EQ(metrics.entryCount, 1);

  ASSERT_EQ(metrics.Add("released first", -1, -40), 0);
  entry = EntryOf(metrics, "released first");
  EXPECT_EQ(entry.events, 1) << "making an entry is its first event";
  EXPECT_EQ(entry.count, -1);
  EXPECT_EQ(entry.bytes, -40);
  EXPECT_EQ(metrics.events, 1u) << "only positive count changes count as manager events";
  EXPECT_EQ(static_cast<int32_t>(metrics.totalCount), -1);
  EXPECT_EQ(static_cast<int32_t>(metrics.totalBytes), -40);
  EXPECT_EQ(metrics.Add(nullptr, 1, 1), -1);
  EXPECT_EQ(metrics.Find("missing", nullptr), -1);
}

TEST(VexaMetricManagerTest, GrowsInStepsAndDropsEverythingWhenCutBelowItsSize) {
  VexaMemManager manager("metric buffers", 0, 0, 0, nullptr);
  VexaMetricManager metrics(&manager);
  char name[32];
  for (int i = 0; i < 300; ++i) {
    snprintf(name, sizeof name, "allocation tag %03d", i);  // 18 characters: 35-byte entries
    ASSERT_EQ(metrics.Add(name, 1, i), 0);
  }
  EXPECT_EQ(metrics.entryCount, 300);
  EXPECT_EQ(metrics.used, 300u * 35u);
  EXPECT_EQ(metrics.capacity, 12288u);
  EXPECT_EQ(manager.heapBlockCount, 1) << "one buffer at a time";
  EXPECT_STREQ(BlockOf(metrics.buffer)->tag, "VexaMetricManager buffer");
  EXPECT_EQ(EntryOf(metrics, "ALLOCATION TAG 299").bytes, 299) << "entries survive the growth";

  ASSERT_EQ(metrics.Resize(16384), 0);
  EXPECT_EQ(metrics.entryCount, 300);
  EXPECT_EQ(metrics.free, 16384u - 300u * 35u);
  ASSERT_EQ(metrics.Resize(100), 0);
  EXPECT_EQ(metrics.capacity, 100u);
  EXPECT_EQ(metrics.entryCount, 0);
  EXPECT_EQ(metrics.events, 0u);
  EXPECT_EQ(metrics.Find("allocation tag 000", nullptr), -1);
  ASSERT_EQ(metrics.Resize(0), 0);
  EXPECT_EQ(metrics.buffer, nullptr);
  EXPECT_EQ(manager.heapBlockCount, 0);
}

TEST(VexaMetricManagerTest, AManagerThatReportsToTheMetricsItFeedsDoesNotRecurse) {
  VexaMetricManager metrics(nullptr);
  VexaMemManager manager("loop", kManagerLock | kManagerMetrics, 0, 0, &metrics);
  metrics.Init(&manager);  // the metric buffer now comes from the manager that reports to it
  void* block = Alloc(&manager, 24, 0, "caller");
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(EntryOf(metrics, "caller").count, 1);
  EXPECT_EQ(EntryOf(metrics, "caller").bytes, 24);
  Free(block);
  EXPECT_EQ(EntryOf(metrics, "caller").count, 0);
  EXPECT_EQ(manager.heapBlockCount, 1) << "the metric buffer (its mutex comes from no manager)";
  metrics.Init(nullptr);
  EXPECT_EQ(manager.heapBlockCount, 0) << "Init released what the manager gave it";
}

// ---- Tracker ----

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

TEST(VexaMemTrackerTest, TracksBlocksInOrderAndCountsThem) {
  VexaMemTracker tracker("lists", kTrackerTrack | kTrackerLock);
  EXPECT_STREQ(tracker.name, "lists");
  tracker.FreeAll();  // nothing to do on an empty tracker
  EXPECT_EQ(tracker.blockCount, 0);
  char* a = static_cast<char*>(tracker.Alloc(10, "a", 7));
  char* b = static_cast<char*>(tracker.Alloc(0, "b", 8));
  char* c = static_cast<char*>(tracker.Alloc(30, nullptr, 9));
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(tracker.blockCount, 3);
  EXPECT_EQ(tracker.bytes, 40u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % alignof(void*), 0u);
  uint32_t guard;
  memcpy(&guard, b, 4);
  EXPECT_EQ(guard, kGuardWord) << "a zero-size block is followed by its guard at once";
  VexaTrackedBlock* first = reinterpret_cast<VexaTrackedBlock*>(a - kTrackedHeaderSize);
  EXPECT_EQ(tracker.firstBlock, first);
  EXPECT_EQ(first->number, 1u);
  EXPECT_EQ(tracker.lastBlock->number, 3u);
  EXPECT_STREQ(tracker.lastBlock->tag, "");
  VexaMemTracker::Release(b);
  EXPECT_EQ(tracker.blockCount, 2);
  EXPECT_EQ(first->next, tracker.lastBlock);
  tracker.FreeAll();
  EXPECT_EQ(tracker.blockCount, 0);
  EXPECT_EQ(tracker.bytes, 0u);
  EXPECT_EQ(tracker.firstBlock, nullptr);
  VexaMemTracker::Release(nullptr);

  VexaMemTracker unnamed(nullptr, 0);
  EXPECT_STREQ(unnamed.name, "UNNAMED");
  void* loose = unnamed.Alloc(5, "loose", 0);
  EXPECT_EQ(unnamed.blockCount, 0) << "without flags bit 0 blocks are not tracked";
  VexaMemTracker::Release(loose);
}

TEST(VexaMemTrackerTest, AnOverrunGivesOneReportLineAndADumpAt16PerLine) {
  vexatest::ShortTempDir dir;
  std::string path = dir.file("t.log");
  VexaMemTracker tracker("Global", kTrackerTrack | kTrackerLock);
  ASSERT_EQ(tracker.SetReportPath(path.c_str()), 0);
  char* keep = static_cast<char*>(tracker.Alloc(1, "first", 0));
  char* block = static_cast<char*>(tracker.Alloc(20, "join ticket", 42));
  memset(block, 'q', 20);
  block[20] = 'X';  // the first byte of the trailing guard
  uintptr_t caller = reinterpret_cast<uintptr_t>(block);
  VexaMemTracker::Release(block);
  EXPECT_EQ(tracker.blockCount, 1);

  std::vector<std::string> lines = Lines(vexatest::ReadWhole(path));
  ASSERT_EQ(lines.size(), 3u);
  char expected[512];
  snprintf(expected, sizeof expected,
           " #   2: $%8.8lx       20 bytes [  1K], id=42, \"join ticket\" MEMORY BUFFER OVERRUN!!! (at $%8.8lx!!!)",
           static_cast<unsigned long>(caller), static_cast<unsigned long>(caller + 20));
  ASSERT_GT(lines[0].size(), 24u);
  EXPECT_EQ(lines[0].substr(24), expected);
  EXPECT_EQ(lines[1], "    00000000 : 71 71 71 71 71 71 71 71 71 71 71 71 71 71 71 71     [qqqqqqqqqqqqqqqq]");
  EXPECT_EQ(lines[2], "    00000016 : 71 71 71 71 58 be ad de " + std::string(3 * 8, ' ') + "    [qqqqX...]");

  VexaMemTracker::Release(keep);  // intact: nothing more is written
  EXPECT_EQ(Lines(vexatest::ReadWhole(path)).size(), 3u);
}

TEST(VexaMemTrackerTest, WithoutAReportPathAnOverrunIsOnlyReleased) {
  vexatest::ShortTempDir dir;
  VexaMemTracker tracker("quiet", kTrackerTrack);
  EXPECT_EQ(tracker.SetReportPath("/tmp/a/path/that/is/far/too/long/t.log"), -1);
  char* block = static_cast<char*>(tracker.Alloc(8, "x", 0));
  block[8] = 0;
  VexaMemTracker::Release(block);
  EXPECT_EQ(tracker.blockCount, 0);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(VexaMemTrackerTest, FreeAllChecksEveryBlockLeftLastFirst) {
  vexatest::ShortTempDir dir;
  std::string path = dir.file("t.log");
  VexaMemTracker tracker("left", kTrackerTrack | kTrackerLock);
  tracker.SetReportPath(path.c_str());
  for (const char* tag : {"one", "two", "three"}) {
    char* block = static_cast<char*>(tracker.Alloc(4, tag, 0));
    block[4] = 0;
  }
  tracker.FreeAll();
  std::string text = vexatest::ReadWhole(path);
  size_t three = text.find("\"three\"");
  size_t two = text.find("\"two\"");
  size_t one = text.find("\"one\"");
  ASSERT_NE(one, std::string::npos);
  EXPECT_LT(three, two);
  EXPECT_LT(two, one);
  EXPECT_EQ(tracker.blockCount, 0);
}

TEST(VexaMemTrackerTest, ABlockTrackedBeforeTrackingIsSwitchedOffStillLeavesTheList) {
  VexaMemTracker tracker("switch", kTrackerTrack);
  void* a = tracker.Alloc(4, "a", 0);
  void* b = tracker.Alloc(4, "b", 0);
  tracker.flags = 0;
  VexaMemTracker::Release(a);
  EXPECT_EQ(tracker.blockCount, 1);
  EXPECT_EQ(tracker.firstBlock, tracker.lastBlock);
  VexaMemTracker::Release(b);
  EXPECT_EQ(tracker.firstBlock, nullptr);
}

TEST(VexaMemTrackerTest, ThreadsShareOneLockedTracker) {
  VexaMemTracker tracker("threads", kTrackerTrack | kTrackerLock);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&tracker] {
      for (int i = 0; i < 2000; ++i) {
        void* block = tracker.Alloc(i % 64, "thread block", 0);
        if (i % 5 != 0) VexaMemTracker::Release(block);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(tracker.blockCount, 4 * 400);
  EXPECT_EQ(tracker.lastNumber, 4u * 2000u);
  int32_t walked = 0;
  for (VexaTrackedBlock* block = tracker.firstBlock; block != nullptr; block = block->next) ++walked;
  EXPECT_EQ(walked, tracker.blockCount);
  tracker.FreeAll();
  EXPECT_EQ(tracker.bytes, 0u);
}

}  // namespace
