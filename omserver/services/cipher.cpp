// The host's text cipher (EncodeText, DecodeText).
//
// The cipher text travels in cookies and links, so it is upper-case hexadecimal only. A
// check byte ahead of the text makes a cipher text that was not made with this key fail
// to decipher instead of yielding chosen or random numbers to the plug-in. The keystream
// comes from a hash of the whole key and each byte is chained to the previous cipher byte,
// so a change of one character changes the rest of the text.
#include <cstring>

#include "services.h"
#include "slots.h"
#include "slots_guard.h"
#include "store.h"

namespace omserver::services {
namespace {


uint64_t Mix(uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

class KeyStream {
 public:
  explicit KeyStream(const std::string& key) : state_(Hash64(key)) {}
  uint8_t next() { return static_cast<uint8_t>(Mix(state_ += 0x9E3779B97F4A7C15ull) >> 56); }

 private:
  uint64_t state_;
};

uint8_t CheckByte(const std::string& text, const std::string& key) {
  return static_cast<uint8_t>(Mix(Hash64(text, Hash64(key))) >> 56);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string Encipher(const std::string& text, const std::string& key) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string plain(1, static_cast<char>(CheckByte(text, key)));
  plain += text;
  KeyStream stream(key);
  std::string out;
  out.reserve(plain.size() * 2);
  uint8_t previous = 0;
  for (char c : plain) {
    uint8_t cipher = static_cast<uint8_t>(static_cast<uint8_t>(c) ^ stream.next() ^ previous);
    out += kDigits[cipher >> 4];
    out += kDigits[cipher & 0x0F];
    previous = cipher;
  }
  return out;
}

std::optional<std::string> Decipher(const std::string& cipher, const std::string& key) {
  if (cipher.size() < 2 || cipher.size() % 2 != 0) return std::nullopt;
  KeyStream stream(key);
  std::string plain;
  uint8_t previous = 0;
  for (size_t i = 0; i < cipher.size(); i += 2) {
    int high = HexValue(cipher[i]);
    int low = HexValue(cipher[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    auto byte = static_cast<uint8_t>(high * 16 + low);
    plain += static_cast<char>(byte ^ stream.next() ^ previous);
    previous = byte;
  }
  std::string text = plain.substr(1);
  if (text.find('\0') != std::string::npos) return std::nullopt;
  if (static_cast<uint8_t>(plain[0]) != CheckByte(text, key)) return std::nullopt;
  return text;
}

}  // namespace omserver::services

namespace omserver::slots {

using services::PluginText;
using services::Trace;

int32_t EncodeText(HostApi* api, const char* source, char* destination, int32_t destinationSize, const char* key) {
  RequestState& state = StateOf(api);
  return Guarded(state, "EncodeText", -1, [&]() -> int32_t {
    std::optional<std::string> text = PluginText(source);
    std::optional<std::string> keyText = PluginText(key);
    if (destination == nullptr || destinationSize <= 0) {
      state.log("EncodeText: null destination or a size of " + std::to_string(destinationSize));
      return -1;
    }
    if (!text || !keyText) {
      state.log("EncodeText: null (or unterminated) source or key");
      destination[0] = '\0';
      return -1;
    }
    if (services::RefusedBySwitch(state, "EncodeText")) {
      destination[0] = '\0';
      return -1;
    }
    std::string cipher = services::Encipher(*text, *keyText);
    if (cipher.size() + 1 > static_cast<size_t>(destinationSize)) {
      state.log("EncodeText: the cipher text needs " + std::to_string(cipher.size() + 1) + " bytes, the buffer has " +
                std::to_string(destinationSize));
      destination[0] = '\0';
      Trace(state, "EncodeText \"" + *text + "\" -> -1 (does not fit)");
      return -1;
    }
    std::memcpy(destination, cipher.c_str(), cipher.size() + 1);
    Trace(state, "EncodeText \"" + *text + "\" -> " + cipher);
    return static_cast<int32_t>(cipher.size());
  });
}

// Deciphers in place: the text is never longer than its cipher text. A cipher text that
// does not decipher with the key leaves an empty text, so the plug-in never reads numbers
// out of a cookie that the host did not encipher.
int32_t DecodeText(HostApi* api, char* text, const char* key) {
  RequestState& state = StateOf(api);
  return Guarded(state, "DecodeText", -1, [&]() -> int32_t {
    std::optional<std::string> cipher = PluginText(text);
    std::optional<std::string> keyText = PluginText(key);
    if (!cipher) {
      state.log("DecodeText: null (or unterminated) text");
      return -1;
    }
    if (!keyText) {
      state.log("DecodeText: null (or unterminated) key");
      text[0] = '\0';
      return -1;
    }
    std::optional<std::string> plain;
    if (!services::RefusedBySwitch(state, "DecodeText")) plain = services::Decipher(*cipher, *keyText);
    if (!plain) {
      Trace(state, "DecodeText \"" + *cipher + "\" -> -1 (not a cipher text of this key)");
      text[0] = '\0';
      return -1;
    }
    std::memcpy(text, plain->c_str(), plain->size() + 1);
    Trace(state, "DecodeText \"" + *cipher + "\" -> \"" + *plain + "\"");
    return static_cast<int32_t>(plain->size());
  });
}

}  // namespace omserver::slots
