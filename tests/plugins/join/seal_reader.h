// The game server's side of a sealed identity text, written for the tests from the sealing
// rules alone (its own generator and a bit-by-bit checksum), so that a test shows the
// plug-in's texts can be read back.
#ifndef OM_TESTS_JOIN_SEAL_READER_H
#define OM_TESTS_JOIN_SEAL_READER_H

#include <cstdint>
#include <optional>
#include <string>

namespace omtest {

// CRC-32/MPEG-2, one bit at a time.
uint32_t ReferenceCrc(const std::string& bytes);

// The payload of a sealed text, or nothing when the text is not letters A to P in pairs,
// is too short, or its checksum does not match.
std::optional<std::string> Unseal(const std::string& sealed, const std::string& key);

}  // namespace omtest

#endif
