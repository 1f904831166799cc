// UrlEncode on any text in a buffer of any size: the result is exactly the longest run of
// whole encoded characters of the text that fits in size - 1 (letters and digits as they
// are, every other byte as %xx in lower-case hex), and nothing is written past the buffer.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "fuzz_buffer.h"
#include "text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const int32_t bufferSize = input.ConsumeIntegralInRange<int32_t>(1, 700);
  omfuzz::ExactBuffer buffer(bufferSize, omfuzz::CText(input.ConsumeRemainingBytesAsString()));
  const std::string source = buffer.text();

  static constexpr char kHex[] = "0123456789abcdef";
  std::string expected;
  for (unsigned char c : source) {
    std::string unit(1, static_cast<char>(c));
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) {
      unit = {'%', kHex[c >> 4], kHex[c & 0x0F]};
    }
    if (expected.size() + unit.size() > static_cast<size_t>(bufferSize - 1)) break;
    expected += unit;
  }
  if (om::UrlEncode(buffer.data(), bufferSize) != 0) omfuzz::Violation("UrlEncode", "did not return 0");
  if (buffer.text() != expected) {
    omfuzz::Violation("UrlEncode", "gave \"" + buffer.text() + "\" instead of \"" + expected + "\"");
  }
  return 0;
}
