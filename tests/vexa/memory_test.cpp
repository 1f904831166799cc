// The mutex object and the pooled, guarded memory manager: first fit, split and merge in
// the pools, allocation numbers, guards and the two guard reports byte for byte, hooks,
// overrides, metrics, and many threads through one locked manager.
#include <gtest/gtest.h>

#include <inttypes.h>
#include <stdio.h>
#include <string.h>

#include <atomic>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "vexa_memory.h"
#include "vexa_metrics.h"
#include "vexa_mutex.h"
#include "vexa_test_support.h"

namespace {

using namespace vexa;

uint32_t GuardAt(const void* at) {
  uint32_t word;
  memcpy(&word, at, sizeof word);
  return word;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start) + "<no line end>");
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::string Hex(uintptr_t value) {
  char text[32];
  snprintf(text, sizeof text, "%16.16" PRIx64, static_cast<uint64_t>(value));
  return text;
}

// ---- Mutex ----

TEST(VexaMutexTest, LockHonoursItsTimeLimitAndRemembersTheLongestWait) {
  VexaMutex mutex{};
  EXPECT_EQ(mutex.Lock(0), -1) << "no handle";
  EXPECT_EQ(mutex.Unlock(), -1) << "no handle";
  ASSERT_EQ(mutex.Create(1), 0);
  ASSERT_NE(mutex.handle, 0u);

  std::atomic<bool> held{false}, release{false};
  std::thread owner([&] {
    mutex.Lock(kWaitForever);
    held = true;
    while (!release) std::this_thread::yield();
    mutex.Unlock();
  });
  while (!held) std::this_thread::yield();
  EXPECT_EQ(mutex.Lock(60), -1) << "held elsewhere: the wait times out";
  release = true;
  EXPECT_EQ(mutex.Lock(kWaitForever), 0);
  owner.join();
  EXPECT_GE(mutex.longestWait, 0u);
  EXPECT_EQ(mutex.Unlock(), 0);
  EXPECT_EQ(mutex.Close(), 0);
  EXPECT_EQ(mutex.handle, 0u);
  EXPECT_EQ(mutex.Lock(0), -1) << "closed";
}

TEST(VexaMutexTest, AMutexLeftHeldByAnEndedThreadIsTakenOverOnce) {
  VexaMutexCompact mutex{};
  ASSERT_EQ(mutex.Create(1), 0);
  std::thread quitter([&] { mutex.Lock(kWaitForever); });
  quitter.join();
  ASSERT_EQ(mutex.Lock(200), 0) << "the abandoned mutex is taken over";
  EXPECT_EQ(mutex.Unlock(), 0);
  std::atomic<int32_t> otherResult{-2};
  std::thread other([&] {
    otherResult = mutex.Lock(200);
    if (otherResult == 0) mutex.Unlock();
  });
  other.join();
  EXPECT_EQ(otherResult.load(), 0) << "after one unlock nobody holds it any more";
  mutex.Close();
}

TEST(VexaMutexTest, NewAndDeleteUseATaggedSixteenByteBlock) {
  VexaMemManager manager("mutexes", 0, 0, 0, nullptr);
  VexaMutex* mutex = NewVexaMutex(&manager, 1);
  ASSERT_NE(mutex, nullptr);
  EXPECT_STREQ(BlockOf(mutex)->tag, "VexaMutex");
  EXPECT_EQ(BlockOf(mutex)->size, 16u);
  EXPECT_EQ(manager.heapBytes, 16u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(mutex) % alignof(VexaMutex), 0u);
  EXPECT_EQ(mutex->Lock(0), 0);
  EXPECT_EQ(mutex->Unlock(), 0);
  DeleteVexaMutex(&mutex);
  EXPECT_EQ(mutex, nullptr);
  EXPECT_EQ(manager.heapBytes, 0u);
  DeleteVexaMutex(&mutex);  // an empty holder is left alone

  VexaMutex* bare = NewVexaMutex(nullptr, 0);
  ASSERT_NE(bare, nullptr);
  EXPECT_EQ(bare->handle, 0u) << "create 0 makes no mutex";
  DeleteVexaMutex(&bare);
}

// ---- Pools ----

constexpr uint32_t kPool = 4096;
constexpr uint32_t kFullData = kPool - kPoolOverhead;

TEST(VexaMemManagerTest, DerivedSizesFollowTheRealHeaders) {
  EXPECT_EQ(kBlockHeaderSize, 4u * 5 + 7 * sizeof(void*));
  EXPECT_EQ(kSmallestPoolSize, kPoolHeaderSize + kBlockHeaderSize + 9);
  EXPECT_EQ(BlockNeed(0, 0) % 4, 0u);
  EXPECT_EQ((kBlockHeaderSize + BlockNeed(0, 0)) % alignof(void*), 0u);
  EXPECT_GE(BlockNeed(0, 0), 9u);
  EXPECT_EQ(BlockNeed(0x7FFFFFFF, 10), 0u) << "a need beyond 32 bits is refused";
}

TEST(VexaMemManagerTest, TheGlobalShapeServesEveryRequestFromTheHeap) {
  VexaMemManager manager("VexaMemManagerGlobal", kManagerLock, 0, 0, nullptr);
  EXPECT_EQ(manager.poolSize, kSmallestPoolSize) << "pool size 0 is raised to the smallest";
  EXPECT_STREQ(manager.name, "VexaMemManagerGlobal");
  void* smallest = Alloc(&manager, 0, kAllocPool, "");
  ASSERT_NE(smallest, nullptr);
  EXPECT_EQ(BlockOf(smallest)->pool, nullptr);
  EXPECT_EQ(manager.poolCount, 0);
  EXPECT_EQ(manager.heapBlockCount, 1);
  uint32_t lastId = manager.lastId;
  EXPECT_EQ(Alloc(&manager, 0, kAllocPoolOnly, ""), nullptr) << "no pool can serve, and the heap is forbidden";
  EXPECT_EQ(manager.lastId, lastId) << "a failed allocation touches no counter";
  EXPECT_EQ(manager.heapBlockCount, 1);
  Free(smallest);
  EXPECT_EQ(manager.heapBlockCount, 0);
  EXPECT_EQ(manager.firstHeapBlock, nullptr);
}

TEST(VexaMemManagerTest, TwoPoolBlocksReleasedInEitherOrderLeaveOneFullFreeBlock) {
  for (bool firstFirst : {true, false}) {
    SCOPED_TRACE(firstFirst ? "release a then b" : "release b then a");
    VexaMemManager manager("pool", 0, kPool, 0, nullptr);
    char* a = static_cast<char*>(Alloc(&manager, 100, kAllocPool, "a"));
    char* b = static_cast<char*>(Alloc(&manager, 200, kAllocPool, "b"));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    VexaPool* pool = manager.firstPool;
    ASSERT_NE(pool, nullptr);
    ASSERT_EQ(manager.poolCount, 1);
    EXPECT_EQ(BlockOf(a)->pool, pool);
    EXPECT_EQ(BlockOf(a)->dataLength, BlockNeed(100, 1)) << "split to what the request needs";
    EXPECT_EQ(reinterpret_cast<char*>(BlockOf(b)), a - 4 + BlockOf(a)->dataLength) << "b follows a in address order";
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % alignof(void*), 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % alignof(void*), 0u);
    EXPECT_EQ(pool->blockCount, 3);
    EXPECT_EQ(pool->usedCount, 2);
    EXPECT_EQ(pool->freeCount, 1);
    EXPECT_EQ(pool->bytesInUse, 300u);
    EXPECT_EQ(manager.poolBytes, 300u);
    EXPECT_EQ(manager.totalBytes, 300u);

    VexaBlock* first = BlockOf(a);
    Free(firstFirst ? a : b);
    Free(firstFirst ? b : a);
    EXPECT_EQ(pool->freeCount, 1);
    EXPECT_EQ(pool->blockCount, 1);
    EXPECT_EQ(pool->usedCount, 0);
    EXPECT_EQ(pool->firstFree, first);
    EXPECT_EQ(pool->firstFree->dataLength, kFullData);
    EXPECT_EQ(pool->bytesInUse, 0u);
    EXPECT_EQ(pool->peakBytesInUse, 300u);
    EXPECT_EQ(manager.peakPoolBytes, 300u);
  }
}

TEST(VexaMemManagerTest, ABlockTakenWholeKeepsItsSlackAndStillMerges) {
  const uint32_t needA = BlockNeed(100, 1);
  const uint32_t needB = BlockNeed(50, 1);
  const uint32_t slack = 40;  // too little to split off
  const uint32_t poolSize = kPoolOverhead + needA + kBlockHeaderSize + needB + slack;
  for (bool firstFirst : {true, false}) {
    SCOPED_TRACE(firstFirst ? "release a then b" : "release b then a");
    VexaMemManager manager("slack", 0, poolSize, 1, nullptr);
    char* a = static_cast<char*>(Alloc(&manager, 100, kAllocPoolOnly, "a"));
    char* b = static_cast<char*>(Alloc(&manager, 50, kAllocPoolOnly, "b"));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(BlockOf(b)->dataLength, needB + slack);
    EXPECT_EQ(manager.firstPool->freeCount, 0);
    EXPECT_EQ(Alloc(&manager, 0, kAllocPoolOnly, ""), nullptr) << "the only pool is full and the limit is 1";
    Free(firstFirst ? a : b);
    Free(firstFirst ? b : a);
    ASSERT_EQ(manager.firstPool->freeCount, 1);
    EXPECT_EQ(manager.firstPool->firstFree->dataLength, poolSize - kPoolOverhead);
    EXPECT_NE(Alloc(&manager, static_cast<int32_t>(poolSize - kPoolOverhead - 9), kAllocPoolOnly, ""), nullptr)
        << "the whole pool serves one request again";
  }
}

TEST(VexaMemManagerTest, FirstFitTakesTheEarliestFreeBlockThatIsLargeEnough) {
  VexaMemManager manager("fit", 0, kPool, 0, nullptr);
  char* a = static_cast<char*>(Alloc(&manager, 100, kAllocPool, "x"));
  char* b = static_cast<char*>(Alloc(&manager, 100, kAllocPool, "x"));
  char* c = static_cast<char*>(Alloc(&manager, 100, kAllocPool, "x"));
  Free(b);
  char* small = static_cast<char*>(Alloc(&manager, 10, kAllocPool, "x"));
  EXPECT_EQ(small, b) << "the freed hole comes first in address order";
  char* large = static_cast<char*>(Alloc(&manager, 200, kAllocPool, "x"));
  EXPECT_GT(large, c) << "too large for the rest of the hole: served after c";
  VexaPool* pool = manager.firstPool;
  EXPECT_EQ(pool->freeCount, 2) << "the rest of the hole and the tail";
  for (char* p : {a, c, small, large}) Free(p);
  EXPECT_EQ(pool->freeCount, 1);
  EXPECT_EQ(pool->firstFree->dataLength, kFullData);
}

TEST(VexaMemManagerTest, PoolsAreAddedInTurnUpToTheLimitThenTheHeapServes) {
  VexaMemManager manager("limit", 0, 512, 2, nullptr);
  std::vector<void*> blocks;
  for (int i = 0; i < 12; ++i) blocks.push_back(Alloc(&manager, 150, kAllocPool, "t"));
  EXPECT_EQ(manager.poolCount, 2);
  EXPECT_GT(manager.heapBlockCount, 0);
  EXPECT_EQ(manager.totalBytes, 12u * 150u);
  EXPECT_EQ(manager.heapBytes + manager.poolBytes, manager.totalBytes);
  for (void* block : blocks) Free(block);
  EXPECT_EQ(manager.totalBytes, 0u);
  EXPECT_EQ(manager.heapBlockCount, 0);
  for (VexaPool* pool = manager.firstPool; pool; pool = pool->next) EXPECT_EQ(pool->freeCount, 1);
}

TEST(VexaMemManagerTest, ReleasingAPoolBlockTwiceChangesNothing) {
  VexaMemManager manager("twice", 0, kPool, 0, nullptr);
  void* keep = Alloc(&manager, 30, kAllocPool, "keep");
  void* block = Alloc(&manager, 40, kAllocPool, "twice");
  Free(block);
  VexaPool before = *manager.firstPool;
  uint32_t total = manager.totalBytes;
  uint32_t firstFreeLength = manager.firstPool->firstFree->dataLength;
  Free(block);
  EXPECT_EQ(manager.totalBytes, total);
  EXPECT_EQ(manager.firstPool->freeCount, before.freeCount);
  EXPECT_EQ(manager.firstPool->usedCount, before.usedCount);
  EXPECT_EQ(manager.firstPool->blockCount, before.blockCount);
  EXPECT_EQ(manager.firstPool->bytesInUse, before.bytesInUse);
  EXPECT_EQ(manager.firstPool->firstFree->dataLength, firstFreeLength);
  Free(keep);
  EXPECT_EQ(manager.firstPool->firstFree->dataLength, kFullData);
}

TEST(VexaMemManagerTest, AllocationNumbersSkipZeroAndCountAcrossPoolsAndHeap) {
  VexaMemManager manager("ids", 0, kPool, 0, nullptr);
  manager.lastId = 0xFFFFFFFEu;
  void* heap1 = Alloc(&manager, 8, 0, "heap");
  void* pool1 = Alloc(&manager, 8, kAllocPool, "pool");
  void* heap2 = Alloc(&manager, 8, 0, "heap");
  EXPECT_EQ(BlockOf(heap1)->id, 0xFFFFFFFFu);
  EXPECT_EQ(BlockOf(pool1)->id, 1u) << "after 4294967295 comes 1";
  EXPECT_EQ(BlockOf(heap2)->id, 2u);
  void* bare = Alloc(nullptr, 8, kAllocPool, "no manager");
  ASSERT_NE(bare, nullptr);
  EXPECT_EQ(BlockOf(bare)->id, 0u);
  EXPECT_EQ(BlockOf(bare)->manager, nullptr);
  EXPECT_EQ(BlockOf(bare)->pool, nullptr) << "without a manager there is no pool";
  for (void* block : {heap1, pool1, heap2, bare}) Free(block);
}

TEST(VexaMemManagerTest, ZeroSizeBlocksHaveBothGuardsAdjacent) {
  VexaMemManager manager("zero", 0, kPool, 0, nullptr);
  for (int32_t flags : {0, static_cast<int32_t>(kAllocPool)}) {
    char* block = static_cast<char*>(Alloc(&manager, flags == 0 ? -5 : 0, flags, nullptr));
    ASSERT_NE(block, nullptr) << flags;
    EXPECT_EQ(BlockOf(block)->size, 0u) << "a negative size counts as 0";
    EXPECT_EQ(GuardAt(block - 4), kGuardWord);
    EXPECT_EQ(GuardAt(block), kGuardWord);
    EXPECT_STREQ(BlockOf(block)->tag, "") << "a null tag is empty";
    EXPECT_EQ(BlockOf(block)->tag, block + 4);
    Free(block);
  }
  Free(nullptr);
}

TEST(VexaMemManagerTest, CountersAndPeaksFollowHeapAndPoolBytes) {
  VexaMemManager manager("counts", 0, kPool, 0, nullptr);
  char* heap = static_cast<char*>(Alloc(&manager, 100, kAllocZero, "h"));
  char* pool = static_cast<char*>(Alloc(&manager, 50, kAllocPool | kAllocZero, "p"));
  for (int i = 0; i < 100; ++i) ASSERT_EQ(heap[i], 0);
  for (int i = 0; i < 50; ++i) ASSERT_EQ(pool[i], 0);
  EXPECT_EQ(manager.heapBytes, 100u);
  EXPECT_EQ(manager.poolBytes, 50u);
  EXPECT_EQ(manager.totalBytes, 150u);
  Free(heap);
  void* again = Alloc(&manager, 20, 0, "h");
  EXPECT_EQ(manager.totalBytes, 70u);
  EXPECT_EQ(manager.peakTotalBytes, 150u);
  EXPECT_EQ(manager.peakHeapBytes, 100u);
  EXPECT_EQ(manager.peakPoolBytes, 50u);
  EXPECT_EQ(BlockOf(again)->ownerId, 0u);
  Free(again);
  Free(pool);
  EXPECT_EQ(manager.totalBytes, 0u);
}

// ---- Guards and reports ----

struct GuardCase {
  const char* name;
  int32_t flags;       // allocation flags
  int32_t size;
  const char* tag;
  int32_t damageAt;    // offset from the caller's address
  const char* what;    // "OVERRUN", "UNDERRUN"
};

TEST(VexaMemManagerTest, ADamagedGuardGivesOneReportLineAndADumpOfTheBlock) {
  const GuardCase cases[] = {
      {"heap overrun", 0, 20, "overrun test", 20, "OVERRUN"},
      {"pool overrun", kAllocPool, 20, "overrun test", 20, "OVERRUN"},
      {"heap underrun", 0, 20, "overrun test", -1, "UNDERRUN"},
      {"pool underrun", kAllocPool, 20, "overrun test", -4, "UNDERRUN"},
  };
  for (const GuardCase& c : cases) {
    SCOPED_TRACE(c.name);
    vexatest::ShortTempDir dir;
    std::string path = dir.file("m.log");
    VexaMemManager manager("guards", kManagerCheckGuards, kPool, 0, nullptr);
    ASSERT_EQ(manager.SetReportPath(path.c_str()), 0);
    char* block = static_cast<char*>(Alloc(&manager, c.size, c.flags, c.tag));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < c.size; ++i) block[i] = static_cast<char>('A' + i);
    // The damage lands in the guard word itself, which the block owns.
    block[c.damageAt] = 0;
    uint32_t id = BlockOf(block)->id;
    uintptr_t caller = reinterpret_cast<uintptr_t>(block);
    Free(block);

    std::vector<std::string> lines = Lines(vexatest::ReadWhole(path));
    ASSERT_EQ(lines.size(), 2u) << "one report line, one dump line of 32 bytes";
    const std::string& report = lines[0];
    ASSERT_GT(report.size(), 24u);
    EXPECT_TRUE(std::regex_match(report.substr(0, 24), std::regex("[A-Z][a-z]{2} [A-Z][a-z]{2} \\d\\d \\d\\d:\\d\\d:\\d\\d \\d{4}")))
        << report;
    char expected[512];
    snprintf(expected, sizeof expected, " #%4d: $%s %8d bytes [%4dK], id=0, \"overrun test\" MEMORY BUFFER %s!!! (at $%s!!!)",
             static_cast<int32_t>(id), Hex(caller).c_str(), c.size, 1, c.what,
             Hex(std::string(c.what) == "OVERRUN" ? caller + c.size : caller).c_str());
    EXPECT_EQ(report.substr(24), expected);

    std::string guard = std::string(c.what) == "OVERRUN" ? "00 be ad de " : "ef be ad de ";
    std::string guardText = std::string(c.what) == "OVERRUN" ? "...." : "....";
    std::string dump = "    00000000 : ";
    for (int i = 0; i < c.size; ++i) {
      char hex[8];
      snprintf(hex, sizeof hex, "%2.2x ", static_cast<unsigned>(static_cast<unsigned char>('A' + i)));
      dump += hex;
    }
    dump += guard + "6f 76 65 72 " + std::string(3 * 4, ' ') + "    [ABCDEFGHIJKLMNOPQRST" + guardText + "over]";
    EXPECT_EQ(lines[1], dump);
    EXPECT_EQ(manager.options & kOptionWritingReport, 0u);
  }
}

TEST(VexaMemManagerTest, AnOverrunDumpNeverReadsPastTheBlock) {
  // Size 19 and an empty tag end the block 5 bytes after the caller's bytes: the dump shows
  // the damaged guard and the tag's zero, and nothing beyond.
  vexatest::ShortTempDir dir;
  std::string path = dir.file("m.log");
  VexaMemManager manager("short", kManagerCheckGuards, 0, 0, nullptr);
  ASSERT_EQ(manager.SetReportPath(path.c_str()), 0);
  char* block = static_cast<char*>(Alloc(&manager, 19, 0, ""));
  memset(block, 'z', 19);
  block[19] = 0x11;
  uint32_t owned = BlockOf(block)->dataLength - 4;
  Free(block);
  std::vector<std::string> lines = Lines(vexatest::ReadWhole(path));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("MEMORY BUFFER OVERRUN!!!"), std::string::npos) << lines[0];
  std::string bytes;
  for (int i = 0; i < 19; ++i) bytes += "7a ";
  bytes += "11 be ad de 00 ";
  std::string tail;
  for (uint32_t i = 24; i < owned && i < 27; ++i) tail += "00 ";
  std::string shown = bytes + tail;
  size_t count = shown.size() / 3;
  std::string expected = "    00000000 : " + shown + std::string(3 * (32 - count), ' ') + "    [" + std::string(19, 'z') +
                         std::string(count - 19, '.') + "]";
  EXPECT_EQ(lines[1], expected);
}

TEST(VexaMemManagerTest, GuardsAreCheckedOnlyWithTheFlagAndAReportPath) {
  vexatest::ShortTempDir dir;
  std::string path = dir.file("m.log");
  struct Case {
    uint32_t flags;
    bool withPath;
  } const cases[] = {{kManagerCheckGuards, false}, {0, true}};
  for (const Case& c : cases) {
    VexaMemManager manager("quiet", c.flags, 0, 0, nullptr);
    if (c.withPath) {
      ASSERT_EQ(manager.SetReportPath(path.c_str()), 0);
    }
    char* block = static_cast<char*>(Alloc(&manager, 8, 0, "quiet"));
    block[8] = 0;
    Free(block);
    EXPECT_EQ(manager.heapBlockCount, 0);
    EXPECT_FALSE(vexatest::Exists(path)) << "flags " << c.flags;
  }
  VexaMemManager manager("long", kManagerCheckGuards, 0, 0, nullptr);
  EXPECT_EQ(manager.SetReportPath("/tmp/a/path/that/is/far/too/long/x.log"), -1);
  EXPECT_STREQ(manager.reportPath, "") << "a path that does not fit is refused whole";
}

TEST(VexaMemManagerTest, UnderrunIsReportedAloneWhenBothGuardsAreDamaged) {
  vexatest::ShortTempDir dir;
  std::string path = dir.file("m.log");
  VexaMemManager manager("both", kManagerCheckGuards, 0, 0, nullptr);
  manager.SetReportPath(path.c_str());
  char* block = static_cast<char*>(Alloc(&manager, 4, 0, "both"));
  block[-2] = 0;
  block[4] = 0;
  Free(block);
  std::string text = vexatest::ReadWhole(path);
  EXPECT_NE(text.find("UNDERRUN"), std::string::npos);
  EXPECT_EQ(text.find("OVERRUN"), std::string::npos);
}

// ---- Hooks, overrides, metrics ----

struct HookLog {
  std::vector<std::string> calls;
};

void RecordHook(void* userData, int32_t type, VexaMemManager*, int32_t size, int32_t, const char* tag) {
  static_cast<HookLog*>(userData)->calls.push_back(std::to_string(type) + ":" + std::to_string(size) + ":" + tag);
}

TEST(VexaMemManagerTest, HooksFireByTheirTypeInOrder) {
  VexaMemManager manager("hooks", 0, 0, 0, nullptr);
  HookLog log;
  ASSERT_EQ(manager.AddHook(kHookAlways, RecordHook, &log, 0), 0);
  ASSERT_EQ(manager.AddHook(kHookId, RecordHook, &log, 2), 0);
  ASSERT_EQ(manager.AddHook(kHookSize, RecordHook, &log, 77), 0);
  ASSERT_EQ(manager.AddTagHook(RecordHook, &log, "WATCHED"), 0);
  ASSERT_EQ(manager.AddHook(kHookAlways, nullptr, &log, 0), 0) << "a hook without a callback is skipped";
  void* one = Alloc(&manager, 5, 0, "plain");     // id 1
  void* two = Alloc(&manager, 6, 0, "plain");     // id 2
  void* three = Alloc(&manager, 77, 0, "watched"); // id 3, size and tag match
  EXPECT_EQ(log.calls, (std::vector<std::string>{"1:5:plain", "1:6:plain", "2:6:plain", "1:77:watched", "3:77:watched",
                                                  "4:77:watched"}));
  for (void* block : {one, two, three}) Free(block);
  for (int i = manager.hookCount; i < kHookSlots; ++i) ASSERT_EQ(manager.AddHook(kHookAlways, RecordHook, &log, 0), 0);
  EXPECT_EQ(manager.AddHook(kHookAlways, RecordHook, &log, 0), -1) << "16 hooks at most";
  manager.ClearHooks();
  log.calls.clear();
  Free(Alloc(&manager, 1, 0, "x"));
  EXPECT_TRUE(log.calls.empty());
}

char gOverrideArea[64];
int gOverrideReleases = 0;
void* OverrideAlloc(VexaMemManager*, int32_t, int32_t, const char*) {
  memset(gOverrideArea, 0x55, sizeof gOverrideArea);
  return gOverrideArea;
}
void OverrideRelease(VexaMemManager*, void* address) {
  if (address == gOverrideArea) ++gOverrideReleases;
}

TEST(VexaMemManagerTest, OverridesReplaceTheWholeAllocationAndRelease) {
  VexaMemManager manager("override", kManagerLock, 0, 0, nullptr);
  manager.SetAllocOverride(OverrideAlloc);
  manager.SetReleaseOverride(OverrideRelease);
  char* block = static_cast<char*>(Alloc(&manager, 16, kAllocZero, "x"));
  ASSERT_EQ(block, gOverrideArea);
  EXPECT_EQ(block[0], 0) << "zero-filled as asked";
  EXPECT_EQ(block[16], 0x55) << "only the caller's size is zeroed";
  EXPECT_EQ(manager.lastId, 0u);
  manager.SetAllocOverride(nullptr);
  char* real = static_cast<char*>(Alloc(&manager, 4, 0, "real"));
  Free(real);  // goes to the release override
  EXPECT_EQ(gOverrideReleases, 0);
  EXPECT_EQ(manager.heapBlockCount, 1) << "the override, not the manager, released it";
  manager.SetReleaseOverride(nullptr);
  Free(real);
  EXPECT_EQ(manager.heapBlockCount, 0);
}

TEST(VexaMemManagerTest, MetricsFollowEveryAllocationAndReleaseByTag) {
  VexaMetricManager metrics(nullptr);
  VexaMemManager manager("metered", kManagerMetrics, kPool, 0, &metrics);
  void* a = Alloc(&manager, 10, 0, "Page Buffer");
  void* b = Alloc(&manager, 30, kAllocPool, "page buffer");
  VexaMetricEntry entry{};
  ASSERT_EQ(metrics.Find("PAGE BUFFER", &entry), 0);
  EXPECT_EQ(entry.events, 2);
  EXPECT_EQ(entry.count, 2);
  EXPECT_EQ(entry.bytes, 40);
  Free(a);
  Free(b);
  ASSERT_EQ(metrics.Find("page buffer", &entry), 0);
  EXPECT_EQ(entry.count, 0);
  EXPECT_EQ(entry.bytes, 0);
  EXPECT_EQ(entry.events, 2);
  EXPECT_EQ(metrics.entryCount, 1);

  VexaMemManager silent("unmetered", 0, 0, 0, &metrics);
  Free(Alloc(&silent, 5, 0, "other"));
  EXPECT_EQ(metrics.Find("other", nullptr), -1) << "without flags bit 1 nothing is reported";
}

// ---- Threads ----

TEST(VexaMemManagerTest, ManyThreadsAllocateAndReleaseThroughOneLockedManager) {
  VexaMetricManager metrics(nullptr);
  VexaMemManager manager("threads", kManagerLock | kManagerMetrics, 16384, 0, &metrics);
  manager.SetOptions(kOptionAlwaysPool);
  static const char* const kTags[] = {"alpha", "beta", "gamma"};
  constexpr int kThreads = 4;
  constexpr int kRounds = 3000;
  std::atomic<uint32_t> allocations{0};
  std::atomic<int> faults{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937 random(static_cast<uint32_t>(t) * 7919u + 1u);
      std::vector<std::pair<unsigned char*, int32_t>> live;
      for (int round = 0; round < kRounds; ++round) {
        if (live.size() < 24 && (live.empty() || random() % 3 != 0)) {
          int32_t size = static_cast<int32_t>(random() % 400);
          auto* block = static_cast<unsigned char*>(Alloc(&manager, size, 0, kTags[random() % 3]));
          if (block == nullptr) {
            ++faults;
            continue;
          }
          ++allocations;
          memset(block, t + 1, static_cast<size_t>(size));
          live.emplace_back(block, size);
        } else {
          size_t index = random() % live.size();
          auto [block, size] = live[index];
          for (int32_t i = 0; i < size; ++i) {
            if (block[i] != t + 1) {
              ++faults;  // another allocation overlapped this one
              break;
            }
          }
          if (GuardAt(block + size) != kGuardWord || GuardAt(block - 4) != kGuardWord) ++faults;
          Free(block);
          live[index] = live.back();
          live.pop_back();
        }
      }
      for (auto [block, size] : live) Free(block);
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(faults.load(), 0);
  EXPECT_EQ(manager.lastId, allocations.load()) << "every allocation took the next number exactly once";
  EXPECT_EQ(manager.totalBytes, 0u);
  EXPECT_EQ(manager.poolBytes, 0u);
  EXPECT_EQ(manager.heapBytes, 0u);
  EXPECT_EQ(manager.heapBlockCount, 0);
  EXPECT_GT(manager.poolCount, 0);
  for (VexaPool* pool = manager.firstPool; pool != nullptr; pool = pool->next) {
    EXPECT_EQ(pool->usedCount, 0);
    EXPECT_EQ(pool->freeCount, 1);
    EXPECT_EQ(pool->blockCount, 1);
    EXPECT_EQ(pool->firstFree->dataLength, 16384u - kPoolOverhead);
  }
  EXPECT_EQ(metrics.totalCount, 0u);
  EXPECT_EQ(metrics.totalBytes, 0u);
  EXPECT_EQ(metrics.events, allocations.load());
}

}  // namespace
