// OMJoin's sealing of identity texts: SealText, LetterEncode, Scramble and Crc32Mpeg2 on any
// key (or none), any payload, any length (negative, past SealPayloadMax) and any capacity
// (too small by one, by many, negative). Besides the sanitizers' checks (payload, copies and
// outputs in exact-size heap blocks): a refusal is -1 exactly when the header says so and
// leaves the output untouched; a sealed text is 2 * (n + 4) letters A to P and a zero with
// nothing written after it, and the tests' own reader of the game server's side
// (tests/plugins/join/seal_reader.cpp) reads it back to the payload; letters decode to their
// bytes; the checksum agrees with the reader's bit-by-bit one; Scramble below length 1 and
// SealText leave their input alone.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_buffer.h"
#include "seal_reader.h"
#include "sealing.h"

namespace {

using omfuzz::Violation;
using omjoin::SealPayloadMax;

constexpr char kUnwritten = '#';

// The first length bytes of a and b are equal (an empty vector's data may be null).
bool Same(const uint8_t* a, const uint8_t* b, size_t length) { return length == 0 || std::memcmp(a, b, length) == 0; }

// A block of exactly capacity bytes (none for a capacity below 1), every byte kUnwritten.
struct Output {
  explicit Output(int32_t capacity)
      : size(capacity > 0 ? static_cast<size_t>(capacity) : 0), bytes(new char[size]) {
    std::memset(bytes.get(), kUnwritten, size);
  }
  bool Untouched(size_t from) const {
    for (size_t i = from; i < size; ++i) {
      if (bytes[i] != kUnwritten) return false;
    }
    return true;
  }
  size_t size;
  std::unique_ptr<char[]> bytes;
};

// letters letters A to P at the start of output, a zero after them, nothing written after it.
void CheckLetters(const char* routine, const Output& output, size_t letters) {
  for (size_t i = 0; i < letters; ++i) {
    if (output.bytes[i] < 'A' || output.bytes[i] > 'P') Violation(routine, "a byte outside A to P at " + std::to_string(i));
  }
  if (output.bytes[letters] != '\0') Violation(routine, "no terminating zero after " + std::to_string(letters) + " letters");
  if (!output.Untouched(letters + 1)) Violation(routine, "wrote past its terminating zero");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const uint8_t flags = input.ConsumeIntegral<uint8_t>();
  const uint16_t pick = input.ConsumeIntegral<uint16_t>();
  const bool nullKey = (flags & 1) != 0;
  const std::string key = nullKey ? std::string() : omfuzz::CText(input.ConsumeRandomLengthString(300));
  std::vector<uint8_t> bytes = input.ConsumeRemainingBytes<uint8_t>();

  // The length given: the payload's own, a negative one, one about SealPayloadMax (the
  // payload repeated to that length), or the payload's own with no payload at all.
  int32_t n = static_cast<int32_t>(bytes.size());
  bool nullPayload = false;
  switch ((flags >> 1) & 3) {
    case 1:
      n = (flags & 0x80) != 0 ? INT32_MIN : -1 - pick % 1000;
      break;
    case 2: {
      n = SealPayloadMax - 4 + pick % 16;
      std::vector<uint8_t> grown(static_cast<size_t>(n), 0);
      for (size_t i = 0; !bytes.empty() && i < grown.size(); ++i) grown[i] = bytes[i % bytes.size()];
      bytes.swap(grown);
      break;
    }
    case 3:
      nullPayload = true;
      break;
    default:
      break;
  }
  // The payload in a block of exactly its bytes.
  std::unique_ptr<uint8_t[]> payload(new uint8_t[bytes.size()]);
  if (!bytes.empty()) std::memcpy(payload.get(), bytes.data(), bytes.size());
  const uint8_t* given = nullPayload ? nullptr : payload.get();
  const char* keyText = nullKey ? nullptr : key.c_str();

  // The capacity: what the sealed text needs, one less, a few either side, or anything.
  const int64_t needed = 2 * (static_cast<int64_t>(n) + 4) + 1;
  int64_t wanted = needed;
  switch ((flags >> 3) & 3) {
    case 1: wanted = needed - 1; break;
    case 2: wanted = needed - 8 + pick % 17; break;
    case 3: wanted = static_cast<int64_t>(pick % 5000) - 4; break;
    default: break;
  }
  const int32_t capacity = static_cast<int32_t>(std::clamp<int64_t>(wanted, -8, 8 * SealPayloadMax));

  // ---- SealText
  {
    Output output(capacity);
    const int32_t result = omjoin::SealText(given, n, keyText, output.bytes.get(), capacity);
    const bool takes = n >= 0 && n <= SealPayloadMax && (n == 0 || given != nullptr) && capacity >= needed;
    if (!Same(payload.get(), bytes.data(), bytes.size())) Violation("SealText", "changed its payload");
    if (!takes) {
      if (result != -1) Violation("SealText", "took n " + std::to_string(n) + " with capacity " + std::to_string(capacity));
      if (!output.Untouched(0)) Violation("SealText", "wrote into the output of a refusal");
    } else {
      if (result != 0) Violation("SealText", "refused n " + std::to_string(n) + " with capacity " + std::to_string(capacity));
      const size_t letters = 2 * (static_cast<size_t>(n) + 4);
      CheckLetters("SealText", output, letters);
      if (!nullKey) {
        const std::string payloadText(bytes.begin(), bytes.begin() + n);
        if (omtest::Unseal(std::string(output.bytes.get(), letters), key) != payloadText) {
          Violation("SealText", "the reader does not get the payload back");
        }
      }
    }
  }

  // ---- LetterEncode, needing 8 bytes fewer than SealText for the same length
  {
    const int32_t letterCapacity = capacity - 8;
    Output output(letterCapacity);
    const int32_t result = omjoin::LetterEncode(given, n, output.bytes.get(), letterCapacity);
    const bool takes = n >= 0 && (n == 0 || given != nullptr) && static_cast<int64_t>(letterCapacity) >= needed - 8;
    if (!takes) {
      if (result != -1) Violation("LetterEncode", "took length " + std::to_string(n) + " with capacity " + std::to_string(letterCapacity));
      if (!output.Untouched(0)) Violation("LetterEncode", "wrote into the output of a refusal");
    } else {
      if (result != 0) Violation("LetterEncode", "refused length " + std::to_string(n) + " with capacity " + std::to_string(letterCapacity));
      CheckLetters("LetterEncode", output, 2 * static_cast<size_t>(n));
      for (int32_t i = 0; i < n; ++i) {
        const int low = output.bytes[2 * i] - 'A';
        const int high = output.bytes[2 * i + 1] - 'A';
        if ((low | (high << 4)) != bytes[static_cast<size_t>(i)]) Violation("LetterEncode", "byte " + std::to_string(i) + " not low half first");
      }
    }
  }

  // ---- Crc32Mpeg2 and Scramble on the payload as given
  if (n >= 0 && given != nullptr) {
    const std::string payloadText(bytes.begin(), bytes.begin() + n);
    if (omjoin::Crc32Mpeg2(given, n) != omtest::ReferenceCrc(payloadText)) Violation("Crc32Mpeg2", "differs from the bit-by-bit checksum");
  }
  if (omjoin::Crc32Mpeg2(nullptr, n) != 0xFFFFFFFFu) Violation("Crc32Mpeg2", "not the initial value for no bytes");
  if (omjoin::KeySeed(nullptr) != 3252u) Violation("KeySeed", "not 3252 for a null key");
  {
    std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size()]);
    if (!bytes.empty()) std::memcpy(copy.get(), bytes.data(), bytes.size());
    omjoin::Scramble(nullPayload ? nullptr : copy.get(), n, keyText);
    if (n < 1 && !Same(copy.get(), bytes.data(), bytes.size())) Violation("Scramble", "changed bytes for a length below 1");
  }
  return 0;
}
