// A text buffer of exactly the size a routine is given, on the heap, so AddressSanitizer
// reports the first byte written or read past it.
#ifndef OM_FUZZ_BUFFER_H
#define OM_FUZZ_BUFFER_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace omfuzz {

class ExactBuffer {
 public:
  // size bytes holding text cut to size - 1 (nothing when size is 0).
  ExactBuffer(int32_t size, const std::string& text)
      : size_(size), bytes_(new char[size > 0 ? static_cast<size_t>(size) : 1]) {
    if (size > 0) {
      size_t length = std::min(text.size(), static_cast<size_t>(size - 1));
      std::memcpy(bytes_.get(), text.data(), length);
      bytes_[length] = '\0';
    }
  }
  char* data() { return bytes_.get(); }
  int32_t size() const { return size_; }
  std::string text() const { return std::string(bytes_.get()); }

 private:
  int32_t size_;
  std::unique_ptr<char[]> bytes_;
};

// The input bytes and a terminating zero in a heap block of exactly that size, so a
// routine that reads past the end of its text is caught on the first byte.
class HeapText {
 public:
  explicit HeapText(const uint8_t* data, size_t size) : bytes_(new char[size + 1]) {
    if (size > 0) std::memcpy(bytes_.get(), data, size);
    bytes_[size] = '\0';
  }
  const char* c_str() const { return bytes_.get(); }

 private:
  std::unique_ptr<char[]> bytes_;
};

// A text up to its first NUL, as a C routine sees it.
inline std::string CText(const std::string& bytes) { return std::string(bytes.c_str()); }

[[noreturn]] inline void Violation(const char* routine, const std::string& what) {
  std::fprintf(stderr, "%s: %s\n", routine, what.c_str());
  std::abort();
}

}  // namespace omfuzz

#endif
