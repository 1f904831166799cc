// VexaFile: a disk file or a growable buffer in memory, with 64-bit sizes and positions;
// the hex-dump writer and the report files the memory managers append to; and two small
// file-search functions. No operation reports anything itself: each returns 0 or -1.
#ifndef OM_VEXA_FILE_H
#define OM_VEXA_FILE_H

#include <stdint.h>

namespace vexa {

class VexaMemManager;

// Open flags.
enum : uint32_t {
  kFileMemory = 0x01,    // no file: a buffer that grows with every write
  kFileCreate = 0x02,    // create the file when it cannot be opened
  kFileRead = 0x04,      // read access (with kFileWrite: read and write)
  kFileWrite = 0x08,     // write access
  kFileShared = 0x10,    // let other openers share the file (otherwise exclusive)
  kFileTruncate = 0x20,  // empty an existing file first
  kFileAppend = 0x40,    // start at the end of the file
};
// State bits.
enum : uint32_t {
  kFileOpen = 0x01,
  kFileInMemory = 0x02,
  kFileAtEnd = 0x04,
};

constexpr uint32_t kFileGrowthStep = 4096;

class VexaFile {
 public:
  explicit VexaFile(VexaMemManager* manager = nullptr);
  ~VexaFile();
  VexaFile(const VexaFile&) = delete;
  VexaFile& operator=(const VexaFile&) = delete;

  void Init(VexaMemManager* manager);
  int32_t Open(const char* path, uint32_t flags);
  int32_t SeekFromEnd(int64_t offset);
  int32_t Write(const void* data, int32_t length);
  int32_t WriteLine(const char* text);
  int32_t Close();
  // The memory buffer to exactly capacity bytes (0 releases it).
  int32_t Resize(int32_t capacity);

  VexaMemManager* manager;
  int64_t handle;
  uint32_t state;
  int64_t size;
  int64_t position;
  char* buffer;
  uint32_t capacity;
  uint32_t growthStep;
};

// Widest dump line: longer settings of bytes per line are served in lines of this many.
constexpr int32_t kDumpMostPerLine = 128;

// Dump of length bytes of data to an open file: prefix, the offset (base + position of the
// line's first byte, at least 8 digits), " : ", the bytes in hex, and with characters set
// "    [" the printable bytes "]". perLine below 1 counts as 1.
int32_t DumpToFile(VexaFile* file, const char* prefix, const void* data, int32_t length, int32_t base,
                   int32_t perLine, int32_t characters);
// Appends text and a line end to the file at path, opened exclusively and created when
// missing; a second writer at the same moment fails instead of interleaving.
int32_t AppendLine(const char* path, const char* text);
// A dump at 16 bytes per line, each line appended with AppendLine.
int32_t DumpToPath(const char* path, const char* prefix, const void* data, int32_t length, int32_t base,
                   int32_t characters);
// The report files of the memory managers: one line appended, or one dump appended.
int32_t WriteReportLine(const char* path, const char* line);
int32_t WriteReportDump(const char* path, const char* prefix, const void* data, int32_t length, int32_t base,
                        int32_t perLine, int32_t characters);
// 1 when exactly one file system entry matches pattern and it is not a directory.
int32_t IsSingleFile(const char* pattern);
// Empties the single file path names: 0, or -1 when it names no single file.
int32_t TruncateFile(const char* path);

}  // namespace vexa

#endif
