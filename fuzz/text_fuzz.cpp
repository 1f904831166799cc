// The bounded text helpers on any texts and sizes, each against a plain reference: the
// sanitizers catch every byte touched outside the exact-size buffers, the comparisons catch
// a wrong result.
#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <string>

#include "fuzz_buffer.h"
#include "text.h"

namespace {

using omfuzz::CText;
using omfuzz::ExactBuffer;
using omfuzz::Violation;

char Fold(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameAt(const std::string& text, size_t at, const std::string& pattern, bool fold) {
  if (at + pattern.size() > text.size()) return false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    char a = text[at + i], b = pattern[i];
    if (fold ? Fold(a) != Fold(b) : a != b) return false;
  }
  return true;
}

std::string ReplaceAllReference(const std::string& text, const std::string& pattern, const std::string& replacement,
                                bool fold, int32_t& count) {
  count = 0;
  if (pattern.empty()) return text;
  std::string out;
  for (size_t i = 0; i < text.size();) {
    if (SameAt(text, i, pattern, fold)) {
      out += replacement;
      i += pattern.size();
      ++count;
    } else {
      out += text[i++];
    }
  }
  return out;
}

int32_t DecimalReference(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    value = value * 10 + (text[i++] - '0');
    if (value > 1LL << 40) value = 1LL << 40;
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int32_t>(value);
}

std::string Cut(const std::string& text, int32_t size) {
  return size <= 0 ? std::string() : text.substr(0, std::min(text.size(), static_cast<size_t>(size - 1)));
}

void Expect(const char* routine, const std::string& got, const std::string& expected) {
  if (got != expected) Violation(routine, "gave \"" + got + "\" instead of \"" + expected + "\"");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const int routine = input.ConsumeIntegralInRange(0, 10);
  const int32_t bufferSize = input.ConsumeIntegralInRange<int32_t>(1, 600);
  const std::string a = CText(input.ConsumeRandomLengthString(700));
  const std::string b = CText(input.ConsumeRandomLengthString(64));
  const int32_t position = input.ConsumeIntegralInRange<int32_t>(-2, 650);
  const int32_t count = input.ConsumeIntegralInRange<int32_t>(-2, 650);
  const std::string c = CText(input.ConsumeRemainingBytesAsString());

  switch (routine) {
    case 0: {
      ExactBuffer buffer(bufferSize, "old");
      om::TextCopy(buffer.data(), a.c_str(), bufferSize);
      Expect("TextCopy", buffer.text(), Cut(a, bufferSize));
      break;
    }
    case 1: {
      ExactBuffer buffer(bufferSize, a);
      const std::string start = buffer.text();
      char* end = om::TextAppend(buffer.data(), b.c_str(), bufferSize);
      Expect("TextAppend", buffer.text(), Cut(start + b, bufferSize));
      if (end != buffer.data() + buffer.text().size()) Violation("TextAppend", "returned the wrong end");
      break;
    }
    case 2: {
      bool equal = a.size() == b.size();
      for (size_t i = 0; equal && i < a.size(); ++i) equal = Fold(a[i]) == Fold(b[i]);
      if (om::TextEqualNoCase(a.c_str(), b.c_str()) != (equal ? 1 : 0)) Violation("TextEqualNoCase", a + " / " + b);
      break;
    }
    case 3: {
      const char* found = om::TextFind(a.c_str(), b.c_str());
      size_t expected = a.empty() ? std::string::npos : a.find(b);
      size_t got = found == nullptr ? std::string::npos : static_cast<size_t>(found - a.c_str());
      if (got != expected) Violation("TextFind", "wrong position");
      break;
    }
    case 4:
    case 5: {
      const bool fold = routine == 5;
      int32_t expectedCount = 0;
      std::string expected = ReplaceAllReference(a, b, c, fold, expectedCount);
      ExactBuffer buffer(static_cast<int32_t>(std::max(a.size(), expected.size()) + 1), a);
      int32_t got = fold ? om::TextReplaceAllNoCase(buffer.data(), b.c_str(), c.c_str())
                         : om::TextReplaceAll(buffer.data(), b.c_str(), c.c_str());
      Expect(fold ? "TextReplaceAllNoCase" : "TextReplaceAll", buffer.text(), expected);
      if (got != expectedCount) Violation("TextReplaceAll", "wrong count");
      break;
    }
    case 6: {
      ExactBuffer buffer(bufferSize, a);
      std::string expected = buffer.text();
      expected.erase(0, expected.find_first_not_of(' ') == std::string::npos ? expected.size() : expected.find_first_not_of(' '));
      om::TextTrimLeft(buffer.data());
      Expect("TextTrimLeft", buffer.text(), expected);
      break;
    }
    case 7: {
      ExactBuffer buffer(bufferSize, a);
      std::string expected = buffer.text();
      if (expected.size() > 1) {
        while (!expected.empty() && expected.back() == ' ') expected.pop_back();
      }
      int32_t length = om::TextTrimRight(buffer.data());
      Expect("TextTrimRight", buffer.text(), expected);
      if (length != static_cast<int32_t>(expected.size())) Violation("TextTrimRight", "wrong length");
      break;
    }
    case 8:
    case 9:
    case 10: {
      ExactBuffer buffer(bufferSize, a);
      std::string expected = buffer.text();
      const int32_t length = static_cast<int32_t>(expected.size());
      if (routine != 9 && position >= 0 && position < length && count >= 1) {
        expected.erase(static_cast<size_t>(position), static_cast<size_t>(count));
      }
      if (routine != 8 && position >= 0 && position <= static_cast<int32_t>(expected.size()) && !b.empty()) {
        expected = Cut(expected.substr(0, static_cast<size_t>(position)) + b + expected.substr(static_cast<size_t>(position)),
                       bufferSize);
      }
      if (routine == 8) om::TextDeleteRange(buffer.data(), position, count);
      if (routine == 9) om::TextInsertAt(buffer.data(), bufferSize, position, b.c_str());
      if (routine == 10) om::TextReplaceRange(buffer.data(), bufferSize, position, count, b.c_str());
      Expect(routine == 8 ? "TextDeleteRange" : routine == 9 ? "TextInsertAt" : "TextReplaceRange", buffer.text(), expected);
      break;
    }
  }
  if (om::DecimalValue(a.c_str()) != DecimalReference(a)) Violation("DecimalValue", a);
  return 0;
}
