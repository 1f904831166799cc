#include "site.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

namespace omserver::http {
namespace {

const char* const kBuiltInPage =
    "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">{{refresh}}<title>Orbitmere</title></head>\n"
    "<body><p>{{message}}</p><p>{{text}}</p>{{body}}<p>{{link}}</p></body></html>\n";

nlohmann::json ReadJson(const std::filesystem::path& path) {
  std::optional<std::string> text = Site::read(path);
  if (!text) throw std::runtime_error("cannot read " + path.string());
  nlohmann::json data = nlohmann::json::parse(*text, nullptr, false);
  if (data.is_discarded() || !data.is_object()) throw std::runtime_error(path.string() + " is not a JSON object");
  return data;
}

}  // namespace

Site::Site(std::filesystem::path siteDir, const std::filesystem::path& dataDir) : dir_(std::move(siteDir)) {
  std::filesystem::path messages = dir_ / "messages.json";
  if (std::filesystem::exists(messages)) {
    const nlohmann::json data = ReadJson(messages);
    for (auto entry = data.begin(); entry != data.end(); ++entry) {
      const std::string& key = entry.key();
      const nlohmann::json& value = entry.value();
      if (key.empty() || key[0] == '_') continue;  // comments
      size_t used = 0;
      int32_t code = 0;
      try {
        code = std::stoi(key, &used);
      } catch (const std::exception&) {
        used = 0;
      }
      if (used != key.size() || !value.is_string()) throw std::runtime_error(messages.string() + ": bad entry " + key);
      messages_[code] = value.get<std::string>();
    }
  }
  std::filesystem::path src1 = dataDir / "src1.json";
  if (!std::filesystem::exists(src1)) src1 = dir_ / "src1.json";
  if (std::filesystem::exists(src1)) {
    const nlohmann::json data = ReadJson(src1);
    for (auto entry = data.begin(); entry != data.end(); ++entry) {
      const std::string& path = entry.key();
      const nlohmann::json& values = entry.value();
      if (!path.empty() && path[0] == '_') continue;
      if (!values.is_object()) throw std::runtime_error(src1.string() + ": " + path + " must map names to values");
      NameValues pairs;
      for (auto variable = values.begin(); variable != values.end(); ++variable) {
        if (!variable.value().is_string()) {
          throw std::runtime_error(src1.string() + ": " + path + "." + variable.key() + " must be a text");
        }
        pairs.emplace_back(variable.key(), variable.value().get<std::string>());
      }
      source1_[path] = pairs;
    }
  }
}

std::optional<std::string> Site::read(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::optional<std::filesystem::path> Site::file(const std::string& address) const {
  std::string path = address.substr(0, address.find_first_of("?#"));
  if (path.empty() || path[0] != '/' || path.find("..") != std::string::npos || path.find('\\') != std::string::npos ||
      path.find('\0') != std::string::npos) {
    return std::nullopt;
  }
  std::error_code error;
  std::filesystem::path root = std::filesystem::weakly_canonical(dir_, error);
  if (error) return std::nullopt;
  std::filesystem::path candidate = std::filesystem::weakly_canonical(root / path.substr(1), error);
  if (error) return std::nullopt;
  std::string rootText = root.string() + "/";
  if (candidate.string().rfind(rootText, 0) != 0) return std::nullopt;
  if (!std::filesystem::is_regular_file(candidate, error)) return std::nullopt;
  return candidate;
}

std::string Site::templateFor(const std::optional<std::string>& page, const std::string& fallback) const {
  if (page && !page->empty()) {
    if (auto path = file(*page)) {
      if (auto text = read(*path)) return *text;
    }
  }
  if (auto path = file("/" + fallback)) {
    if (auto text = read(*path)) return *text;
  }
  return kBuiltInPage;
}

std::string Site::message(int32_t code) const {
  auto found = messages_.find(code);
  if (found != messages_.end()) return found->second;
  return "Something went wrong on our side (message " + std::to_string(code) + ").";
}

NameValues Site::source1(const std::string& path) const {
  auto found = source1_.find(path);
  return found == source1_.end() ? NameValues{} : found->second;
}

std::string Site::render(const std::string& page, const PlaceholderFn& fill, int depth) const {
  std::string out;
  out.reserve(page.size());
  size_t at = 0;
  while (true) {
    size_t open = page.find("{{", at);
    if (open == std::string::npos) break;
    size_t close = page.find("}}", open + 2);
    if (close == std::string::npos) break;
    out.append(page, at, open - at);
    std::string inner = page.substr(open + 2, close - open - 2);
    size_t colon = inner.find(':');
    std::string name = inner.substr(0, colon);
    std::string argument = colon == std::string::npos ? std::string() : inner.substr(colon + 1);
    if (name == "include") {
      if (depth < 3) {
        if (auto path = file("/" + argument)) {
          if (auto text = read(*path)) out += render(*text, fill, depth + 1);
        }
      }
    } else if (auto value = fill(name, argument)) {
      out += *value;
    }
    at = close + 2;
  }
  out.append(page, at, std::string::npos);
  return out;
}

}  // namespace omserver::http
