// The file object in memory and on disk, the hex dumps, the report files and the file
// search: dump lines byte for byte, the 4096-byte growth, exclusive appending and the
// single-file checks.
#include <gtest/gtest.h>

#include <string.h>

#include <fstream>
#include <string>

#include "vexa_file.h"
#include "vexa_memory.h"
#include "vexa_test_support.h"

namespace {

using namespace vexa;
using vexatest::ReadWhole;
using vexatest::ShortTempDir;

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

std::string MemoryText(const VexaFile& file) { return std::string(file.buffer, static_cast<size_t>(file.size)); }

std::string Bytes(int count, int first = 'a') {
  std::string bytes;
  for (int i = 0; i < count; ++i) bytes += static_cast<char>(first + i % 26);
  return bytes;
}

TEST(VexaFileTest, MemoryModeGrowsInWholeStepsOf4096) {
  VexaMemManager manager("files", 0, 0, 0, nullptr);
  VexaFile file(&manager);
  ASSERT_EQ(file.Open(nullptr, kFileMemory), 0);
  EXPECT_EQ(file.state, kFileOpen | kFileInMemory | kFileAtEnd);
  std::string ten = Bytes(10);
  ASSERT_EQ(file.Write(ten.data(), 10), 0);
  EXPECT_EQ(file.capacity, 4096u);
  EXPECT_EQ(file.size, 10);
  EXPECT_STREQ(BlockOf(file.buffer)->tag, "VexaFile memory buffer");
  std::string rest = Bytes(4990, 'A');
  ASSERT_EQ(file.Write(rest.data(), 4990), 0);
  EXPECT_EQ(file.capacity, 8192u);
  EXPECT_EQ(file.size, 5000);
  EXPECT_EQ(MemoryText(file), ten + rest) << "the content survives the growth";
  EXPECT_EQ(manager.heapBlockCount, 1) << "the old buffer was released";

  ASSERT_EQ(file.SeekFromEnd(-4), 0);
  EXPECT_EQ(file.position, 4996);
  EXPECT_EQ(file.state & kFileAtEnd, 0u);
  ASSERT_EQ(file.Write("wxyz!", 5), 0);
  EXPECT_EQ(file.size, 5001);
  EXPECT_EQ(MemoryText(file).substr(4996), "wxyz!");
  ASSERT_EQ(file.SeekFromEnd(-9999), 0);
  EXPECT_EQ(file.position, 0) << "a position before the start is the start";
  EXPECT_EQ(file.Write(nullptr, 3), -1);
  ASSERT_EQ(file.Write("x", -7), 0) << "a negative length counts as 0";
  EXPECT_EQ(file.position, 0);

  ASSERT_EQ(file.Resize(16), 0);
  EXPECT_EQ(file.capacity, 16u);
  EXPECT_EQ(MemoryText(file), (ten + rest).substr(0, 16)) << "cut to the new capacity";
  EXPECT_EQ(file.Resize(-1), -1);
  EXPECT_EQ(file.Close(), 0);
  EXPECT_EQ(file.buffer, nullptr);
  EXPECT_EQ(file.state, 0u);
  EXPECT_EQ(manager.heapBlockCount, 0) << "Close released the buffer";
}

TEST(VexaFileTest, OpenNeedsAnAccessAndAPath) {
  ShortTempDir dir;
  VexaFile file;
  EXPECT_EQ(file.Open(dir.file("x").c_str(), kFileCreate), -1) << "neither read nor write";
  EXPECT_EQ(file.Open(nullptr, kFileWrite | kFileCreate), -1);
  EXPECT_EQ(file.Open("", kFileWrite | kFileCreate), -1);
  EXPECT_EQ(file.Open(dir.file("missing").c_str(), kFileWrite), -1) << "no create flag";
  EXPECT_FALSE(vexatest::Exists(dir.file("missing")));
  EXPECT_EQ(file.Open(dir.path().c_str(), kFileWrite | kFileCreate), -1) << "a directory is no file";
  EXPECT_EQ(file.SeekFromEnd(0), -1) << "not open";
  EXPECT_EQ(file.Write("x", 1), -1) << "not open";
}

TEST(VexaFileTest, DiskFilesOpenAtTheStartOrTheEndAndTruncateOnRequest) {
  ShortTempDir dir;
  std::string path = dir.file("f.txt");
  WriteFile(path, "0123456789");
  {
    VexaFile file;
    ASSERT_EQ(file.Open(path.c_str(), kFileWrite), 0);
    EXPECT_EQ(file.size, 10);
    EXPECT_EQ(file.position, 0);
    EXPECT_EQ(file.state & kFileAtEnd, 0u);
    ASSERT_EQ(file.Write("ab", 2), 0);
    EXPECT_EQ(file.size, 10);
  }
  EXPECT_EQ(ReadWhole(path), "ab23456789") << "written at the start, closed by the destructor";
  {
    VexaFile file;
    ASSERT_EQ(file.Open(path.c_str(), kFileWrite | kFileAppend), 0);
    EXPECT_EQ(file.position, 10);
    EXPECT_NE(file.state & kFileAtEnd, 0u);
    ASSERT_EQ(file.WriteLine("end"), 0);
    EXPECT_EQ(file.size, 15);
  }
  EXPECT_EQ(ReadWhole(path), "ab23456789end\r\n");
  {
    VexaFile file;
    ASSERT_EQ(file.Open(path.c_str(), kFileWrite | kFileRead | kFileTruncate), 0);
    EXPECT_EQ(file.size, 0);
    ASSERT_EQ(file.Write("new", 3), 0);
  }
  EXPECT_EQ(ReadWhole(path), "new");
}

TEST(VexaFileTest, AnExclusiveWriterMakesASecondOneFail) {
  ShortTempDir dir;
  std::string path = dir.file("r.log");
  ASSERT_EQ(AppendLine(path.c_str(), "first"), 0) << "created when missing";
  VexaFile holder;
  ASSERT_EQ(holder.Open(path.c_str(), kFileWrite | kFileAppend), 0);
  EXPECT_EQ(AppendLine(path.c_str(), "second"), -1) << "the file is held exclusively";
  EXPECT_EQ(WriteReportLine(path.c_str(), "third"), -1);
  VexaFile truncating;
  EXPECT_EQ(truncating.Open(path.c_str(), kFileWrite | kFileTruncate), -1);
  EXPECT_EQ(TruncateFile(path.c_str()), -1) << "a held file is not cut under its writer";
  ASSERT_EQ(holder.WriteLine("held"), 0);
  holder.Close();
  ASSERT_EQ(AppendLine(path.c_str(), "fourth"), 0);
  EXPECT_EQ(ReadWhole(path), "first\r\nheld\r\nfourth\r\n");

  VexaFile shared1;
  VexaFile shared2;
  ASSERT_EQ(shared1.Open(path.c_str(), kFileRead | kFileShared), 0);
  EXPECT_EQ(shared2.Open(path.c_str(), kFileRead | kFileShared), 0) << "shared openers share";
  EXPECT_EQ(AppendLine(path.c_str(), "x"), -1) << "an exclusive opener waits for no sharer";
}

TEST(VexaFileTest, DumpLinesHaveFixedColumns) {
  struct Case {
    const char* name;
    int32_t length;
    int32_t base;
    int32_t perLine;
    int32_t characters;
    std::string expected;
  };
  std::string hex16 = "61 62 63 64 65 66 67 68 69 6a 6b 6c 6d 6e 6f 70 ";
  const Case cases[] = {
      {"20 bytes at 16", 20, 0, 16, 1,
       "> 00000000 : " + hex16 + "    [abcdefghijklmnop]\r\n" + "> 00000016 : 71 72 73 74 " + std::string(36, ' ') +
           "    [qrst]\r\n"},
      {"exactly 16", 16, 0, 16, 1, "> 00000000 : " + hex16 + "    [abcdefghijklmnop]\r\n"},
      {"offsets from base", 48, 0, 16, 0,
       "> 00000000 : " + hex16 + "\r\n> 00000016 : 71 72 73 74 75 76 77 78 79 7a 61 62 63 64 65 66 \r\n" +
           "> 00000032 : 67 68 69 6a 6b 6c 6d 6e 6f 70 71 72 73 74 75 76 \r\n"},
      {"base 123456789", 3, 123456789, 16, 0, "> 123456789 : 61 62 63 \r\n"},
      {"per line below 1", 2, 7, 0, 1, "> 00000007 : 61     [a]\r\n> 00000008 : 62     [b]\r\n"},
      {"nothing", 0, 0, 16, 1, ""},
  };
  for (const Case& c : cases) {
    VexaFile file;
    ASSERT_EQ(file.Open(nullptr, kFileMemory), 0);
    std::string data = Bytes(c.length);
    ASSERT_EQ(DumpToFile(&file, "> ", data.data(), c.length, c.base, c.perLine, c.characters), 0) << c.name;
    EXPECT_EQ(file.size == 0 ? std::string() : MemoryText(file), c.expected) << c.name;
  }
}

TEST(VexaFileTest, DumpsShowUnprintableBytesAsDotsAndKeepLongLinesInBounds) {
  VexaFile file;
  ASSERT_EQ(file.Open(nullptr, kFileMemory), 0);
  const unsigned char data[] = {0x00, 0x1f, 0x20, 0x7e, 0x7f, 0xff};
  ASSERT_EQ(DumpToFile(&file, "", data, 6, 0, 32, 1), 0);
  EXPECT_EQ(MemoryText(file), "00000000 : 00 1f 20 7e 7f ff " + std::string(3 * 26, ' ') + "    [.. ~..]\r\n");

  VexaFile wide;
  ASSERT_EQ(wide.Open(nullptr, kFileMemory), 0);
  std::string bytes = Bytes(300);
  ASSERT_EQ(DumpToFile(&wide, "", bytes.data(), 300, 0, 100000, 1), 0);
  std::string text = MemoryText(wide);
  EXPECT_EQ(text.substr(0, 11), "00000000 : ");
  EXPECT_NE(text.find("\r\n00000128 : "), std::string::npos) << "served in lines of at most 128 bytes";
  EXPECT_NE(text.find("\r\n00000256 : "), std::string::npos);
}

TEST(VexaFileTest, DumpToPathAndReportDumpAppendToTheFile) {
  ShortTempDir dir;
  std::string path = dir.file("d.log");
  WriteFile(path, "old\r\n");
  std::string data = Bytes(20);
  ASSERT_EQ(DumpToPath(path.c_str(), "    ", data.data(), 20, 0, 1), 0);
  ASSERT_EQ(WriteReportDump(path.c_str(), "", data.data(), 3, 0, 32, 0), 0);
  ASSERT_EQ(WriteReportLine(path.c_str(), "line"), 0);
  EXPECT_EQ(ReadWhole(path), "old\r\n"
                             "    00000000 : 61 62 63 64 65 66 67 68 69 6a 6b 6c 6d 6e 6f 70     [abcdefghijklmnop]\r\n"
                             "    00000016 : 71 72 73 74                                         [qrst]\r\n"
                             "00000000 : 61 62 63 \r\n"
                             "line\r\n");
  EXPECT_EQ(WriteReportLine(nullptr, "line"), -1);
  EXPECT_EQ(WriteReportLine(path.c_str(), nullptr), -1);
  EXPECT_EQ(WriteReportDump(dir.path().c_str(), "", data.data(), 3, 0, 32, 0), -1) << "a directory cannot be opened";
}

TEST(VexaFileTest, SingleFileChecksAndTruncation) {
  ShortTempDir dir;
  WriteFile(dir.file("one.txt"), "1");
  WriteFile(dir.file("two.txt"), "22");
  WriteFile(dir.file("two.dat"), "333");
  struct Case {
    std::string pattern;
    int32_t single;
  } const cases[] = {
      {dir.file("one.txt"), 1}, {dir.file("o*.txt"), 1}, {dir.file("t??.dat"), 1}, {dir.file("*.txt"), 0},
      {dir.path(), 0},          {dir.file("none"), 0},   {"", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(IsSingleFile(c.pattern.c_str()), c.single) << c.pattern;
  EXPECT_EQ(IsSingleFile(nullptr), 0);

  EXPECT_EQ(TruncateFile(dir.file("two.dat").c_str()), 0);
  EXPECT_EQ(ReadWhole(dir.file("two.dat")), "");
  EXPECT_EQ(TruncateFile(dir.file("*.txt").c_str()), -1) << "two files match";
  EXPECT_EQ(ReadWhole(dir.file("two.txt")), "22");
  EXPECT_EQ(TruncateFile(dir.path().c_str()), -1);
  EXPECT_EQ(TruncateFile(dir.file("none").c_str()), -1);
  EXPECT_FALSE(vexatest::Exists(dir.file("none")));
}

}  // namespace
