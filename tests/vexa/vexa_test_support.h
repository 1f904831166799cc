// What the Vexa tests share: a scratch directory with a short name (the report paths of
// the memory managers hold at most 31 characters) and reading a file whole.
#ifndef OM_TESTS_VEXA_SUPPORT_H
#define OM_TESTS_VEXA_SUPPORT_H

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace vexatest {

class ShortTempDir {
 public:
  ShortTempDir() {
    char pattern[] = "/tmp/vx.XXXXXX";
    if (mkdtemp(pattern) != nullptr) path_ = pattern;
  }
  ~ShortTempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool Exists(const std::string& path) { return std::filesystem::exists(path); }

}  // namespace vexatest

#endif
