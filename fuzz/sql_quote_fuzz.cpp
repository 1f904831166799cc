// SqlQuote on any text and any buffer size. Besides the sanitizers' checks of every byte
// written: the result keeps within size - 1 characters, never ends in (or holds) an unpaired
// apostrophe, unquotes to a prefix of the source, and is the longest such prefix that fits.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "fuzz_buffer.h"
#include "text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const int32_t bufferSize = input.ConsumeIntegralInRange<int32_t>(0, 700);
  const std::string source = omfuzz::CText(input.ConsumeRemainingBytesAsString());

  omfuzz::ExactBuffer buffer(bufferSize, "guard");
  const std::string before = bufferSize > 0 ? buffer.text() : std::string();
  char* returned = om::SqlQuote(buffer.data(), bufferSize, source.c_str());
  if (returned != buffer.data()) omfuzz::Violation("SqlQuote", "did not return its destination");
  if (bufferSize == 0) return 0;  // nothing may be written; ASan checks the one byte there is

  const std::string result = buffer.text();
  if (result.size() > static_cast<size_t>(bufferSize - 1)) omfuzz::Violation("SqlQuote", "longer than size - 1");
  std::string unquoted;
  for (size_t i = 0; i < result.size(); ++i) {
    if (result[i] == '\'') {
      if (i + 1 >= result.size() || result[i + 1] != '\'') omfuzz::Violation("SqlQuote", "an unpaired apostrophe");
      ++i;
    }
    unquoted += result[i];
  }
  if (source.compare(0, unquoted.size(), unquoted) != 0) omfuzz::Violation("SqlQuote", "not a prefix of the source");
  if (unquoted.size() < source.size()) {
    const size_t width = source[unquoted.size()] == '\'' ? 2 : 1;
    if (result.size() + width <= static_cast<size_t>(bufferSize - 1)) {
      omfuzz::Violation("SqlQuote", "cut shorter than the buffer allows");
    }
  }
  return 0;
}
