#include "vexa_file.h"

#include <stdio.h>
#include <string.h>

#include "vexa_globals.h"
#include "vexa_memory.h"
#include "vexa_platform.h"
#include "vexa_text.h"

namespace vexa {

VexaFile::VexaFile(VexaMemManager* fileManager) {
  memset(static_cast<void*>(this), 0, sizeof *this);
  Init(fileManager);
}

VexaFile::~VexaFile() { Close(); }

void VexaFile::Init(VexaMemManager* fileManager) {
  if ((state & kFileOpen) != 0 || buffer != nullptr || handle != 0) Close();
  memset(static_cast<void*>(this), 0, sizeof *this);
  manager = fileManager;
  growthStep = kFileGrowthStep;
}

int32_t VexaFile::Open(const char* path, uint32_t flags) {
  if ((state & kFileOpen) != 0 || buffer != nullptr || handle != 0) Close();
  handle = 0;
  state = 0;
  size = 0;
  position = 0;
  buffer = nullptr;
  capacity = 0;

  if ((flags & kFileMemory) != 0) {
    state = kFileInMemory;
  } else {
    if (path == nullptr || path[0] == '\0') return -1;
    uint32_t access;
    if ((flags & kFileWrite) != 0) {
      access = kPlatformWrite | ((flags & kFileRead) != 0 ? static_cast<uint32_t>(kPlatformRead) : 0u);
    } else if ((flags & kFileRead) != 0) {
      access = kPlatformRead;
    } else {
      return -1;
    }
    if ((flags & kFileTruncate) != 0 && IsSingleFile(path) && TruncateFile(path) != 0) return -1;
    bool shared = (flags & kFileShared) != 0;
    int64_t opened = PlatformFileOpen(path, access, shared, false, false);
    if (opened <= 0 && (flags & kFileCreate) != 0) opened = PlatformFileOpen(path, access, shared, true, false);
    if (opened <= 0) return -1;
    int64_t end = 0;
    bool placed = PlatformFileSeekFromEnd(opened, 0, &end) == 0;
    if (placed && (flags & kFileAppend) == 0) placed = PlatformFileSeekFromStart(opened, 0) == 0;
    if (!placed) {
      PlatformFileClose(opened);
      return -1;
    }
    handle = opened;
    size = end;
    position = (flags & kFileAppend) != 0 ? end : 0;
  }
  if (position >= size) state |= kFileAtEnd;
  state |= kFileOpen;
  return 0;
}

int32_t VexaFile::SeekFromEnd(int64_t offset) {
  if ((state & kFileOpen) == 0) return -1;
  if ((state & kFileInMemory) != 0) {
    position = offset < 0 && -offset > size ? 0 : size + offset;
  } else {
    int64_t reached = 0;
    if (PlatformFileSeekFromEnd(handle, offset, &reached) != 0) return -1;
    position = reached;
  }
  if (position >= size) state |= kFileAtEnd; else state &= ~static_cast<uint32_t>(kFileAtEnd);
  return 0;
}

int32_t VexaFile::Write(const void* data, int32_t length) {
  if (data == nullptr || (state & kFileOpen) == 0) return -1;
  if (length < 0) length = 0;
  if ((state & kFileInMemory) != 0) {
    int64_t end = position + length;
    if (end > capacity) {
      int64_t grown = capacity;
      do {
        grown += growthStep == 0 ? kFileGrowthStep : growthStep;
      } while (grown < end);
      if (grown > 0x7FFFFFFF) return -1;
      int32_t result = Resize(static_cast<int32_t>(grown));
      if (result != 0) return result;
    }
    if (length > 0) memcpy(buffer + position, data, static_cast<size_t>(length));
  } else if (PlatformFileWrite(handle, data, length) != 0) {
    return -1;
  }
  position += length;
  if (position > size) size = position;
  if (position >= size) state |= kFileAtEnd; else state &= ~static_cast<uint32_t>(kFileAtEnd);
  return 0;
}

int32_t VexaFile::WriteLine(const char* text) {
  if (text == nullptr) return -1;
  if (Write(text, TextLength(text)) != 0) return -1;
  return Write("\r\n", 2);
}

int32_t VexaFile::Close() {
  int32_t result = 0;
  if (buffer != nullptr) Free(buffer);
  if (handle != 0) result = PlatformFileClose(handle);
  handle = 0;
  state = 0;
  size = 0;
  position = 0;
  buffer = nullptr;
  capacity = 0;
  return result;
}

int32_t VexaFile::Resize(int32_t newCapacity) {
  if (newCapacity < 0) return -1;
  if (static_cast<uint32_t>(newCapacity) == capacity) return 0;
  if (newCapacity == 0) {
    Free(buffer);
    buffer = nullptr;
    capacity = 0;
    return 0;
  }
  char* grown = static_cast<char*>(Alloc(manager, newCapacity, kAllocZero, "VexaFile memory buffer"));
  if (grown == nullptr) return -1;
  if (buffer != nullptr) {
    uint32_t keep = capacity < static_cast<uint32_t>(newCapacity) ? capacity : static_cast<uint32_t>(newCapacity);
    memcpy(grown, buffer, keep);
    Free(buffer);
  }
  buffer = grown;
  capacity = static_cast<uint32_t>(newCapacity);
  // A buffer cut below the written bytes holds only what is left of them.
  if (size > newCapacity) size = newCapacity;
  if (position > newCapacity) position = newCapacity;
  return 0;
}

// ---- Dumps ----

namespace {

bool Printable(unsigned char byte) { return byte >= 0x20 && byte < 0x7F; }

// Builds dump lines one at a time; the caller writes each one out.
class DumpLines {
 public:
  DumpLines(const char* prefix, const void* data, int32_t length, int32_t base, int32_t perLine, int32_t characters,
            bool longFormat)
      : prefix_(prefix == nullptr ? "" : prefix),
        data_(static_cast<const unsigned char*>(data)),
        length_(data == nullptr || length < 0 ? 0 : length),
        base_(base),
        perLine_(perLine < 1 ? 1 : perLine > kDumpMostPerLine ? kDumpMostPerLine : perLine),
        characters_(characters != 0),
        longFormat_(longFormat) {}

  // The next line, or null after the last.
  const char* next() {
    if (offset_ >= length_) return nullptr;
    int32_t count = length_ - offset_ < perLine_ ? length_ - offset_ : perLine_;
    char hex[3 * kDumpMostPerLine + 1];
    char text[kDumpMostPerLine + 1];
    size_t hexUsed = 0;
    for (int32_t index = 0; index < count; ++index) {
      unsigned char byte = data_[offset_ + index];
      if (longFormat_) {
        snprintf(hex + hexUsed, sizeof hex - hexUsed, "%2.2lx ", static_cast<unsigned long>(byte));
      } else {
        snprintf(hex + hexUsed, sizeof hex - hexUsed, "%2.2x ", static_cast<unsigned int>(byte));
      }
      hexUsed += 3;
      text[index] = Printable(byte) ? static_cast<char>(byte) : '.';
    }
    text[count] = '\0';
    if (characters_) {
      for (int32_t missing = count; missing < perLine_; ++missing) {
        memcpy(hex + hexUsed, "   ", 4);
        hexUsed += 3;
      }
    }
    // The offset is a 32-bit number, as the report readers know it.
    int32_t lineOffset = static_cast<int32_t>(static_cast<uint32_t>(base_) + static_cast<uint32_t>(offset_));
    int used;
    if (longFormat_) {
      used = snprintf(line_, sizeof line_, "%s%8.8ld : %s", prefix_, static_cast<long>(lineOffset), hex);
    } else {
      used = snprintf(line_, sizeof line_, "%s%8.8d : %s", prefix_, lineOffset, hex);
    }
    if (characters_ && used >= 0 && static_cast<size_t>(used) < sizeof line_) {
      snprintf(line_ + used, sizeof line_ - static_cast<size_t>(used), "    [%s]", text);
    }
    offset_ += count;
    return line_;
  }

 private:
  const char* prefix_;
  const unsigned char* data_;
  int32_t length_;
  int32_t base_;
  int32_t perLine_;
  bool characters_;
  bool longFormat_;
  int32_t offset_ = 0;
  char line_[1024];
};

}  // namespace

int32_t DumpToFile(VexaFile* file, const char* prefix, const void* data, int32_t length, int32_t base,
                   int32_t perLine, int32_t characters) {
  if (file == nullptr) return -1;
  DumpLines lines(prefix, data, length, base, perLine, characters, false);
  for (const char* line = lines.next(); line != nullptr; line = lines.next()) {
    if (file->WriteLine(line) != 0) return -1;
  }
  return 0;
}

int32_t AppendLine(const char* path, const char* text) {
  if (path == nullptr || text == nullptr) return -1;
  VexaFile file(nullptr);
  if (file.Open(path, kFileWrite | kFileCreate | kFileAppend) != 0) return -1;
  int32_t result = file.WriteLine(text);
  if (file.Close() != 0) result = -1;
  return result;
}

int32_t DumpToPath(const char* path, const char* prefix, const void* data, int32_t length, int32_t base,
                   int32_t characters) {
  DumpLines lines(prefix, data, length, base, 16, characters, true);
  for (const char* line = lines.next(); line != nullptr; line = lines.next()) {
    if (AppendLine(path, line) != 0) return -1;
  }
  return 0;
}

int32_t WriteReportLine(const char* path, const char* line) {
  if (path == nullptr || line == nullptr) return -1;
  VexaFile file(VexaGlobalMemManager());
  if (file.Open(path, kFileWrite | kFileCreate | kFileAppend) != 0) return -1;
  int32_t result = file.WriteLine(line);
  if (file.Close() != 0) result = -1;
  return result;
}

int32_t WriteReportDump(const char* path, const char* prefix, const void* data, int32_t length, int32_t base,
                        int32_t perLine, int32_t characters) {
  VexaFile file(VexaGlobalMemManager());
  if (file.Open(path, kFileWrite | kFileCreate) != 0) return -1;
  if (file.SeekFromEnd(0) != 0) {
    file.Close();
    return -1;
  }
  DumpToFile(&file, prefix, data, length, base, perLine, characters);
  file.Close();
  return 0;
}

int32_t IsSingleFile(const char* pattern) {
  PlatformFileSearch search{};
  PlatformFoundEntry entry{};
  if (PlatformFindFirst(pattern, &search, &entry) != 0) return 0;
  int32_t single = entry.isDirectory ? 0 : 1;
  if (single && PlatformFindNext(&search, &entry) == 0) single = 0;
  PlatformFindClose(&search);
  return single;
}

int32_t TruncateFile(const char* path) {
  if (!IsSingleFile(path)) return -1;
  int64_t opened = PlatformFileOpen(path, kPlatformWrite, false, false, true);
  if (opened <= 0) return -1;
  PlatformFileClose(opened);
  return 0;
}

}  // namespace vexa
