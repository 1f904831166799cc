#include "cookie_jar.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>

namespace omserver {

CookieJar CookieJar::load(const std::string& path) {
  CookieJar jar;
  std::ifstream in(path);
  if (!in) {
    if (std::filesystem::exists(path)) throw std::runtime_error("cannot read cookie jar " + path);
    return jar;
  }
  nlohmann::ordered_json data = nlohmann::ordered_json::parse(in, nullptr, false);
  if (data.is_discarded() || !data.is_object()) throw std::runtime_error("not a cookie jar: " + path);
  for (auto& [name, value] : data.items()) {
    if (!value.is_string()) throw std::runtime_error("not a cookie jar: " + path + " (" + name + ")");
    jar.cookies_.emplace_back(name, value.get<std::string>());
  }
  return jar;
}

void CookieJar::save(const std::string& path) const {
  nlohmann::ordered_json data = nlohmann::ordered_json::object();
  for (const auto& [name, value] : cookies_) data[name] = value;
  std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << data.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    if (!out) throw std::runtime_error("cannot write cookie jar " + path);
  }
  std::filesystem::rename(temporary, path);
}

void CookieJar::set(const std::string& name, const std::string& value) {
  for (auto& [key, current] : cookies_) {
    if (key == name) {
      current = value;
      return;
    }
  }
  cookies_.emplace_back(name, value);
}

void CookieJar::absorb(const RequestResult& result) {
  for (const auto& [name, value] : result.cookies) set(name, value);
}

std::string CookieJar::get(const std::string& name) const {
  for (const auto& [key, value] : cookies_) {
    if (key == name) return value;
  }
  return {};
}

}  // namespace omserver
