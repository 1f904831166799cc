#include "seal_reader.h"

#include <algorithm>
#include <vector>

namespace omtest {

namespace {

struct Generator {
  uint32_t state;
  uint32_t next() {
    state = (78665521u * state + 1u) & 0xFFFFu;
    return state;
  }
};

uint32_t Seed(const std::string& key) {
  uint32_t seed = 0;
  for (size_t i = 0; i < key.size(); ++i) {
    int32_t c = static_cast<signed char>(key[i]);
    seed += static_cast<uint32_t>(i) + static_cast<uint32_t>(c * c);
  }
  return seed + static_cast<uint32_t>(key.size()) + 50u;
}

}  // namespace

uint32_t ReferenceCrc(const std::string& bytes) {
  uint32_t c = 0xFFFFFFFFu;
  for (unsigned char byte : bytes) {
    c ^= static_cast<uint32_t>(byte) << 24;
    for (int bit = 0; bit < 8; ++bit) c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
  }
  return c;
}

std::optional<std::string> Unseal(const std::string& sealed, const std::string& key) {
  if (sealed.size() % 2 != 0 || sealed.size() < 8) return std::nullopt;
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < sealed.size(); i += 2) {
    char low = sealed[i];
    char high = sealed[i + 1];
    if (low < 'A' || low > 'P' || high < 'A' || high > 'P') return std::nullopt;
    bytes.push_back(static_cast<uint8_t>((low - 'A') | ((high - 'A') << 4)));
  }
  Generator g{Seed(key)};
  uint8_t a = static_cast<uint8_t>(g.next());
  uint8_t b = static_cast<uint8_t>(g.next());
  bool reverse = (g.next() & 1u) != 0;
  for (auto& byte : bytes) byte = static_cast<uint8_t>(byte - static_cast<uint8_t>(g.next()));
  uint8_t c = a;
  for (size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<uint8_t>(bytes[i] - static_cast<uint8_t>(i) - c);
    c = static_cast<uint8_t>(c + b);
  }
  if (reverse) std::reverse(bytes.begin(), bytes.end());
  if (!key.empty()) {
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(bytes[i] - static_cast<uint8_t>(key[i % key.size()]));
  }
  std::string payload(bytes.begin(), bytes.end() - 4);
  uint32_t stored = 0;
  for (int i = 0; i < 4; ++i) stored |= static_cast<uint32_t>(bytes[bytes.size() - 4 + i]) << (8 * i);
  if (stored != ReferenceCrc(payload)) return std::nullopt;
  return payload;
}

}  // namespace omtest
