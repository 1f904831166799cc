// OMCharacter's server-criteria texts: ParseGlsvssRequest on any request text, then
// FormatGlsvssData of what it read. Besides the sanitizers' checks (the request in an
// exact-size heap block, every result in one): the items and the result are those of a plain
// token-by-token reading of the same grammar, entries already in the list stay as they were,
// nothing is stored past the list's room, every stored text is terminated in its field,
// upper case and free of separators; the result text is written whole or not at all, and
// reads back to the same items.
//
// An input starting with byte 1 then gives the list's capacity and the number of entries
// already in it (bytes 2 and 3); any other input is the request text as the page sends it,
// read into an empty list of the full capacity.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_buffer.h"
#include "tokens.h"
#include "glsvss.h"

namespace {

using omcharacter::GlsvssCapacity;
using omcharacter::GlsvssEntry;
using omcharacter::GlsvssList;
using omcharacter::GlsvssNameSize;
using omfuzz::Violation;

struct Item {
  std::string pload, expansion, varname;
  bool operator==(const Item&) const = default;
};

constexpr char kMarks[] = "[:],=";
bool IsMark(char c) { return omfuzz::IsMarkOf(kMarks, c); }

// A name as stored: a to z upper-cased, cut to 31 characters.
std::string Stored(std::string word) {
  for (char& c : word) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return word.substr(0, GlsvssNameSize - 1);
}


struct Reading {
  int32_t result;
  std::vector<Item> items;
};

// The request grammar read over whole tokens: [pload:expansion] before an item sets the
// group of it and the items after it, an item is a name with an optional "=value", items
// are separated by commas or by the next group header. room: how many items may be added.
Reading Reference(const char* text, size_t room) {
  const std::vector<omfuzz::Token> tokens = omfuzz::Tokens(text, kMarks);
  size_t at = 0;
  auto next = [&] { return at < tokens.size() ? tokens[at].kind : '\0'; };
  auto word = [&] { return next() == 'w' ? Stored(tokens[at++].text) : std::string(); };
  Reading reading{0, {}};
  auto failed = [&] {
    reading.result = -1;
    return reading;
  };
  if (tokens.empty()) return reading;
  std::string pload, expansion;
  for (;;) {
    if (next() == '[') {
      ++at;
      pload = word();
      expansion.clear();
      if (next() == ':') {
        ++at;
        expansion = word();
      }
      if (next() != ']') return failed();
      ++at;
    }
    const std::string name = word();
    if (next() == '=') {
      ++at;
      (void)word();
    }
    if (reading.items.size() >= room) return failed();
    reading.items.push_back({pload, expansion, name});
    if (next() == '\0') return reading;
    if (next() == '[') continue;
    if (next() != ',') return failed();
    ++at;
    if (next() == '\0') return reading;
  }
}

// One stored text: terminated inside its field, upper case, no separator or mark in it.
std::string CheckedText(const char (&field)[GlsvssNameSize], const char* what) {
  if (std::memchr(field, '\0', GlsvssNameSize) == nullptr) Violation("ParseGlsvssRequest", std::string(what) + " not terminated in its field");
  const std::string text(field);
  for (char c : text) {
    if ((c >= 'a' && c <= 'z') || omfuzz::IsBlank(c) || IsMark(c)) Violation("ParseGlsvssRequest", std::string(what) + " \"" + text + "\" not as stored");
  }
  return text;
}

std::vector<Item> Items(const GlsvssList& list, int32_t from) {
  std::vector<Item> items;
  for (int32_t i = from; i < list.count; ++i) {
    const GlsvssEntry& entry = list.entries[i];
    items.push_back({CheckedText(entry.pload, "pload"), CheckedText(entry.expansion, "expansion"), CheckedText(entry.varname, "varname")});
  }
  return items;
}

// FormatGlsvssData into an exact-size block: the whole text when it fits with its zero,
// else -1 and an empty output.
void CheckFormatAt(const GlsvssList& list, const std::string& whole, int32_t size) {
  std::unique_ptr<char[]> output(new char[static_cast<size_t>(size)]);
  std::memset(output.get(), '#', static_cast<size_t>(size));
  const int32_t result = omcharacter::FormatGlsvssData(list, output.get(), size);
  if (size < 1) {
    if (result != -1) Violation("FormatGlsvssData", "no -1 for size " + std::to_string(size));
    return;
  }
  const bool fits = whole.size() < static_cast<size_t>(size);
  if (result != (fits ? 0 : -1)) Violation("FormatGlsvssData", "result " + std::to_string(result) + " for size " + std::to_string(size));
  if (std::memchr(output.get(), '\0', static_cast<size_t>(size)) == nullptr) Violation("FormatGlsvssData", "output not terminated");
  const std::string text(output.get());
  if (fits ? text != whole : !text.empty()) Violation("FormatGlsvssData", "output \"" + text + "\" for size " + std::to_string(size));
}

constexpr int32_t kValues[] = {0, 12, -1, INT32_MAX, INT32_MIN, 3, 0, 100};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int32_t capacity = GlsvssCapacity;
  int32_t before = 0;
  if (size >= 3 && data[0] == 1) {
    capacity = static_cast<int8_t>(data[1]) % 41;  // -40 to 40, past both ends of the array
    before = data[2] % (GlsvssCapacity + 1);
    data += 3;
    size -= 3;
  }
  const omfuzz::HeapText request(data, size);

  GlsvssList list;
  omcharacter::ClearGlsvssList(list);
  if (list.count != 0 || list.capacity != GlsvssCapacity) Violation("ClearGlsvssList", "not an empty list of the full capacity");
  for (int32_t i = 0; i < before; ++i) {
    GlsvssEntry& entry = list.entries[i];
    std::snprintf(entry.pload, sizeof entry.pload, "PRE");
    std::snprintf(entry.varname, sizeof entry.varname, "V%d", static_cast<int>(i));
  }
  for (int32_t i = before; i < GlsvssCapacity; ++i) std::memset(&list.entries[i], 'z', sizeof list.entries[i]);  // unterminated
  list.count = before;
  list.capacity = capacity;
  const GlsvssList original = list;

  const int32_t result = omcharacter::ParseGlsvssRequest(list, request.c_str());

  const int32_t limit = capacity < GlsvssCapacity ? capacity : GlsvssCapacity;
  const size_t room = limit > before ? static_cast<size_t>(limit - before) : 0;
  const Reading expected = Reference(request.c_str(), room);
  if (list.capacity != capacity) Violation("ParseGlsvssRequest", "changed the capacity");
  if (list.count < before || list.count > GlsvssCapacity) Violation("ParseGlsvssRequest", "count " + std::to_string(list.count));
  if (list.count > before && list.count > limit) Violation("ParseGlsvssRequest", "stored past the list's room");
  if (std::memcmp(list.entries, original.entries, static_cast<size_t>(before) * sizeof(GlsvssEntry)) != 0) {
    Violation("ParseGlsvssRequest", "changed an entry stored before");
  }
  const int32_t untouchedFrom = std::max(list.count, std::max(limit, 0));
  if (untouchedFrom < GlsvssCapacity &&
      std::memcmp(&list.entries[untouchedFrom], &original.entries[untouchedFrom],
                  static_cast<size_t>(GlsvssCapacity - untouchedFrom) * sizeof(GlsvssEntry)) != 0) {
    Violation("ParseGlsvssRequest", "wrote past the list's room");
  }
  if (result != expected.result) Violation("ParseGlsvssRequest", "returned " + std::to_string(result) + ", expected " + std::to_string(expected.result));
  if (Items(list, before) != expected.items) {
    Violation("ParseGlsvssRequest", "stored " + std::to_string(list.count - before) + " items, expected " + std::to_string(expected.items.size()));
  }

  // The result text of the list with values of every form, in blocks of several sizes.
  for (int32_t i = 0; i < list.count; ++i) list.entries[i].value = kValues[(static_cast<size_t>(i) + size) % 8];
  char roomy[4096];
  if (omcharacter::FormatGlsvssData(list, roomy, sizeof roomy) != 0) Violation("FormatGlsvssData", "32 entries do not fit 4096 bytes");
  const std::string whole(roomy);
  const int32_t length = static_cast<int32_t>(whole.size());
  for (int32_t at : {0, 1, length, length + 1, length / 2 + 1}) CheckFormatAt(list, whole, at);

  // Read back, the values are passed over. A last entry with no header and no value and an
  // empty name is written as a bare trailing comma, which the reading takes for the end.
  GlsvssList back;
  omcharacter::ClearGlsvssList(back);
  if (omcharacter::ParseGlsvssRequest(back, whole.c_str()) != 0) Violation("FormatGlsvssData", "result text \"" + whole + "\" does not read back");
  std::vector<Item> items = Items(list, 0);
  if (!whole.empty() && whole.back() == ',') items.pop_back();
  if (Items(back, 0) != items) Violation("FormatGlsvssData", "result text \"" + whole + "\" reads back to other items");
  return 0;
}
