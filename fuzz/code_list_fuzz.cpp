// OMJoin's access-code lists: ParseCodeList on any text a game server may set, into a list
// left in any state (unterminated names, a count out of range). Besides the sanitizers'
// checks (the text in an exact-size heap block): the list is exactly the words of the text
// cut to 31 characters, in text order, without a second word equal ignoring case, the first
// 100 of them; every name is terminated in its field, none is empty or holds a separator.
#include <cstring>
#include <string>
#include <vector>

#include "code_list.h"
#include "fuzz_buffer.h"

namespace {

using omfuzz::Violation;

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\n'; }

std::string Folded(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

std::vector<std::string> Reference(const char* text) {
  std::vector<std::string> names;
  std::vector<std::string> folded;
  for (const char* p = text; *p != '\0';) {
    if (IsSeparator(*p)) {
      ++p;
      continue;
    }
    const char* start = p;
    while (*p != '\0' && !IsSeparator(*p)) ++p;
    const std::string name = std::string(start, p).substr(0, CodeNameSize - 1);
    const std::string key = Folded(name);
    bool seen = false;
    for (const std::string& other : folded) seen = seen || other == key;
    if (!seen && names.size() < static_cast<size_t>(CodeListCapacity)) {
      names.push_back(name);
      folded.push_back(key);
    }
  }
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const omfuzz::HeapText text(data, size);
  CodeList list;
  std::memset(&list, 'z', sizeof list);  // names without a zero, count 0x7A7A7A7A

  omjoin::ParseCodeList(list, text.c_str());

  if (list.count < 0 || list.count > CodeListCapacity) Violation("ParseCodeList", "count " + std::to_string(list.count));
  std::vector<std::string> names;
  for (int32_t i = 0; i < list.count; ++i) {
    if (std::memchr(list.names[i], '\0', CodeNameSize) == nullptr) Violation("ParseCodeList", "a name not terminated in its field");
    names.emplace_back(list.names[i]);
    if (names.back().empty()) Violation("ParseCodeList", "an empty name");
    for (char c : names.back()) {
      if (IsSeparator(c)) Violation("ParseCodeList", "a separator in \"" + names.back() + "\"");
    }
  }
  const std::vector<std::string> expected = Reference(text.c_str());
  if (names != expected) {
    Violation("ParseCodeList", "read " + std::to_string(names.size()) + " names, expected " + std::to_string(expected.size()));
  }
  // The list answers for what it holds: every name is found, as itself.
  for (int32_t i = 0; i < list.count; ++i) {
    if (omjoin::CodeListFind(list, Folded(names[static_cast<size_t>(i)]).c_str()) != list.names[i]) {
      Violation("CodeListFind", "does not find \"" + names[static_cast<size_t>(i)] + "\" at its place");
    }
  }
  return 0;
}
