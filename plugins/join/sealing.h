// Sealing of the identity texts a join leaves for the game server (PCID, NAMEINFO,
// SQUADINFO): the payload gets a CRC-32/MPEG-2 checksum, is scrambled with the server's key
// text and written as capital letters A to P. The game server's reader undoes each step,
// so every detail here is part of the contract with it.
#ifndef OM_JOIN_SEALING_H
#define OM_JOIN_SEALING_H

#include <stdint.h>

namespace omjoin {

// CRC-32/MPEG-2 of length bytes: polynomial 0x04C11DB7, most significant bit first,
// initial value 0xFFFFFFFF, no reflection, no final exclusive-or.
uint32_t Crc32Mpeg2(const uint8_t* bytes, int32_t length);

// The generator seed of a key text; 3252 for a null key.
uint32_t KeySeed(const char* key);

// Scrambles length bytes in place with the key text; nothing for null bytes or a length
// below 1. An empty key skips only the key addition.
void Scramble(uint8_t* bytes, int32_t length, const char* key);

// Two letters per byte (low half first, then high half, each as 'A' + value) and a
// terminating zero. -1, output untouched, when capacity is below 2 * length + 1.
int32_t LetterEncode(const uint8_t* bytes, int32_t length, char* output, int32_t capacity);

// Writes the sealed text of n payload bytes: 2 * (n + 4) letters and a terminating zero.
// -1, output untouched, when the text would not fit capacity or n is out of range.
int32_t SealText(const uint8_t* payload, int32_t n, const char* key, char* output, int32_t capacity);

// Largest payload SealText takes (the sealed texts of a join are at most 2048 bytes).
enum { SealPayloadMax = 1024 };

}  // namespace omjoin

#endif  // OM_JOIN_SEALING_H
