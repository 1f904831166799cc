// The host's text cipher as OMAccount uses it: hand-off texts enciphered into a cookie and
// continuation cookies deciphered in place.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "services/services.h"
#include "slot_request.h"
#include "test_support.h"

namespace {

using omserver::services::Decipher;
using omserver::services::Encipher;

// Characters a cookie value cannot hold as they stand.
bool CookieSafe(const std::string& text) {
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  }
  return true;
}

std::string AllBytes() {
  std::string text;
  for (int c = 1; c < 256; ++c) text += static_cast<char>(c);
  return text;
}

class CipherTest : public ::testing::Test {
 protected:
  omtest::TempDir dir;
  omserver::Host host{dir.path()};
};

TEST_F(CipherTest, EncodeThenDecodeGivesTheTextBackThroughTheSlots) {
  struct Case {
    std::string text;
    std::string key;
  };
  const Case cases[] = {
      {"1234:5678", "JUMPTOWEB:7086"},
      {"77:0", "H4VR8PXQ2TXK6MZC9BPE3YGA7DLF5UJS8RTQE"},
      {"", "JUMPTOWEB:7086"},
      {"text with blanks; commas, \"quotes\" = \\", "k"},
      {"any key", ""},
      {AllBytes(), "JUMPTOWEB:7086"},
      {std::string(1000, 'x'), "long text"},
  };
  for (const Case& c : cases) {
    omtest::SlotRequest request(host);
    char buffer[2048];
    int32_t length = request.api()->EncodeText(request.api(), c.text.c_str(), buffer, sizeof buffer, c.key.c_str());
    ASSERT_GE(length, 0) << "text of " << c.text.size() << " bytes, key \"" << c.key << "\"\n" << request.notes();
    std::string cipher = buffer;
    EXPECT_EQ(static_cast<size_t>(length), cipher.size());
    EXPECT_TRUE(CookieSafe(cipher)) << cipher;
    EXPECT_EQ(cipher.size(), 2 * (c.text.size() + 1));
    EXPECT_GE(request.api()->DecodeText(request.api(), buffer, c.key.c_str()), 0) << request.notes();
    EXPECT_EQ(std::string(buffer), c.text) << "key \"" << c.key << "\"";
  }
}

TEST_F(CipherTest, TheKeyDecides) {
  const std::string text = "1234:5678";
  EXPECT_NE(Encipher(text, "JUMPTOWEB:7086"), Encipher(text, "JUMPTOWEB:7087"));
  EXPECT_EQ(Encipher(text, "JUMPTOWEB:7086"), Encipher(text, "JUMPTOWEB:7086"));
  EXPECT_FALSE(Decipher(Encipher(text, "JUMPTOWEB:7086"), "JUMPTOWEB:7087").has_value());
  // A one-character change of the text changes more than its own two digits.
  std::string a = Encipher("1234:5678", "k");
  std::string b = Encipher("1234:5679", "k");
  EXPECT_NE(a.substr(0, 2), b.substr(0, 2));
}

// A cookie the host did not encipher (or garbage) must not hand the plug-in numbers: the
// text is emptied and nothing beyond it is touched.
TEST_F(CipherTest, DecodeOfGarbageEmptiesTheTextAndWritesNothingBeyondIt) {
  const std::string garbage[] = {"12:34", "5DDF39CC342", "5DDF39CC34ZZ", "ABCDEF", "", "00",
                                 Encipher("12:34", "other key")};
  for (const std::string& cipher : garbage) {
    const char* text = cipher.c_str();
    omtest::SlotRequest request(host);
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    std::memcpy(buffer, text, std::strlen(text) + 1);
    size_t end = std::strlen(text) + 1;
    EXPECT_LT(request.api()->DecodeText(request.api(), buffer, "H4VR8PXQ2TXK6MZC9BPE3YGA7DLF5UJS8RTQE"), 0) << text;
    EXPECT_EQ(buffer[0], '\0') << text;
    for (size_t i = end; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], '#') << text << " at " << i;
  }
}

TEST_F(CipherTest, EncodeRespectsTheDestinationSize) {
  const std::string text = "1234:5678";
  const std::string cipher = Encipher(text, "k");
  const int32_t fits = static_cast<int32_t>(cipher.size() + 1);
  struct Case {
    int32_t size;
    bool ok;
  };
  for (const Case c : {Case{fits, true}, Case{fits - 1, false}, Case{1, false}}) {
    omtest::SlotRequest request(host);
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    int32_t result = request.api()->EncodeText(request.api(), text.c_str(), buffer, c.size, "k");
    if (c.ok) {
      EXPECT_EQ(std::string(buffer), cipher);
    } else {
      EXPECT_LT(result, 0) << "size " << c.size;
      EXPECT_EQ(buffer[0], '\0') << "size " << c.size;
      EXPECT_FALSE(request.result.hostLog.empty());
    }
    for (size_t i = static_cast<size_t>(c.size); i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], '#') << "size " << c.size;
  }
}

TEST_F(CipherTest, ASwitchMakesTheCipherFail) {
  omserver::services::SetSlotFailing(host, "EncodeText", true);
  omtest::SlotRequest request(host);
  char buffer[64] = "old";
  EXPECT_LT(request.api()->EncodeText(request.api(), "1:2", buffer, sizeof buffer, "k"), 0);
  EXPECT_EQ(buffer[0], '\0');
}

}  // namespace
