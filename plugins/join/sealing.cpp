#include "sealing.h"

#include <string.h>

#include "vexa_random.h"
#include "vexa_text.h"

namespace omjoin {

namespace {

constexpr uint32_t kCrcPolynomial = 0x04C11DB7u;
constexpr uint32_t kNullKeySeed = 3252u;
constexpr uint32_t kKeySeedBase = 50u;

// The table of the byte-wise CRC, built at compile time from the polynomial.
struct CrcTable {
  uint32_t entries[256];
  constexpr CrcTable() : entries() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i << 24;
      for (int bit = 0; bit < 8; ++bit) c = (c & 0x80000000u) ? (c << 1) ^ kCrcPolynomial : (c << 1);
      entries[i] = c;
    }
  }
};
constexpr CrcTable kCrcTable;

}  // namespace

uint32_t Crc32Mpeg2(const uint8_t* bytes, int32_t length) {
  uint32_t c = 0xFFFFFFFFu;
  if (bytes == nullptr) return c;
  for (int32_t i = 0; i < length; ++i) c = (c << 8) ^ kCrcTable.entries[((c >> 24) ^ bytes[i]) & 0xFFu];
  return c;
}

uint32_t KeySeed(const char* key) {
  if (key == nullptr) return kNullKeySeed;
  uint32_t seed = 0;
  uint32_t length = 0;
  for (; key[length] != '\0'; ++length) {
    const int32_t c = static_cast<int8_t>(key[length]);
    seed += length + static_cast<uint32_t>(c * c);
  }
  return seed + length + kKeySeedBase;
}

void Scramble(uint8_t* bytes, int32_t length, const char* key) {
  if (bytes == nullptr || length < 1) return;
  vexa::VexaRandom random;
  random.Seed(KeySeed(key));
  const uint8_t a = static_cast<uint8_t>(random.Next());
  const uint8_t b = static_cast<uint8_t>(random.Next());
  const bool reverse = (random.Next() & 1u) != 0;

  const int32_t keyLength = vexa::TextLength(key);
  if (keyLength > 0) {
    for (int32_t i = 0; i < length; ++i) {
      bytes[i] = static_cast<uint8_t>(bytes[i] + static_cast<uint8_t>(key[i % keyLength]));
    }
  }
  if (reverse) {
    for (int32_t i = 0, j = length - 1; i < j; ++i, --j) {
      const uint8_t t = bytes[i];
      bytes[i] = bytes[j];
      bytes[j] = t;
    }
  }
  uint8_t c = a;
  for (int32_t i = 0; i < length; ++i) {
    bytes[i] = static_cast<uint8_t>(bytes[i] + static_cast<uint8_t>(i) + c);
    c = static_cast<uint8_t>(c + b);
  }
  for (int32_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(bytes[i] + static_cast<uint8_t>(random.Next()));
}

int32_t LetterEncode(const uint8_t* bytes, int32_t length, char* output, int32_t capacity) {
  if (output == nullptr || length < 0 || (length > 0 && bytes == nullptr)) return -1;
  if (capacity < 2 * length + 1) return -1;
  for (int32_t i = 0; i < length; ++i) {
    output[2 * i] = static_cast<char>('A' + (bytes[i] & 0x0F));
    output[2 * i + 1] = static_cast<char>('A' + (bytes[i] >> 4));
  }
  output[2 * length] = '\0';
  return 0;
}

int32_t SealText(const uint8_t* payload, int32_t n, const char* key, char* output, int32_t capacity) {
  if (output == nullptr || n < 0 || n > SealPayloadMax || (n > 0 && payload == nullptr)) return -1;
  if (capacity < 2 * (n + 4) + 1) return -1;
  uint8_t work[SealPayloadMax + 4];
  if (n > 0) memcpy(work, payload, static_cast<size_t>(n));
  const uint32_t crc = Crc32Mpeg2(work, n);
  for (int32_t i = 0; i < 4; ++i) work[n + i] = static_cast<uint8_t>(crc >> (8 * i));
  Scramble(work, n + 4, key);
  return LetterEncode(work, n + 4, output, capacity);
}

}  // namespace omjoin
