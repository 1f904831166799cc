// The demo site's files under the site directory: its pages and templates, its message base
// (the texts behind the plug-ins' numeric codes) and the host variables of each plug-in path.
#ifndef OM_OMSERVER_HTTP_SITE_H
#define OM_OMSERVER_HTTP_SITE_H

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "request.h"

namespace omserver::http {

// Answers one placeholder {{name}} or {{name:argument}} with the text to put in its place
// (already escaped where it must be), or nullopt for a placeholder it does not know.
using PlaceholderFn = std::function<std::optional<std::string>(const std::string& name, const std::string& argument)>;

class Site {
 public:
  // Reads the message base (messages.json) and the host variables (src1.json, taken from the
  // data directory when it has one, else from the site directory). Throws std::runtime_error
  // when a file exists but cannot be read as what it should be.
  Site(std::filesystem::path siteDir, const std::filesystem::path& dataDir);

  const std::filesystem::path& dir() const { return dir_; }

  // The file of a site address such as "/account.html?x=1": a regular file inside the site
  // directory, or nullopt (also for anything that would lead out of it).
  std::optional<std::filesystem::path> file(const std::string& address) const;

  // The template a reply page names ("msgbase" or "relay" page variables): that site page
  // when it is one of ours, else the site's own fallback page, else a built-in page.
  std::string templateFor(const std::optional<std::string>& page, const std::string& fallback) const;

  // The text of a message code in the site's own words; a general text for unknown codes.
  std::string message(int32_t code) const;
  bool hasMessage(int32_t code) const { return messages_.count(code) != 0; }

  // Host-supplied variables (source 1) for a plug-in path such as "/OMAccount".
  NameValues source1(const std::string& path) const;

  // Fills the placeholders of a page. {{include:FILE}} pulls in another site file (three
  // levels deep at most); an unknown placeholder leaves nothing behind.
  std::string render(const std::string& page, const PlaceholderFn& fill, int depth = 0) const;

  // Reads a whole file; nullopt when it cannot be read.
  static std::optional<std::string> read(const std::filesystem::path& path);

 private:
  std::filesystem::path dir_;
  std::map<int32_t, std::string> messages_;
  std::map<std::string, NameValues> source1_;
};

}  // namespace omserver::http

#endif
