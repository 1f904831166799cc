// A plug-in library loaded with dlopen: its two entry points and its information record.
#ifndef OM_OMSERVER_PLUGIN_H
#define OM_OMSERVER_PLUGIN_H

#include <memory>
#include <string>

#include "host_api.h"

namespace omserver {

class Plugin {
 public:
  using BodyFn = int32_t (*)(HostApi*);
  using GetPluginInfoFn = int32_t (*)(PluginInfo*);

  // Loads the library and asks it for its information record. On failure returns null and
  // says why in error (an unreadable file, a missing export, a failing GetPluginInfo).
  static std::unique_ptr<Plugin> load(const std::string& path, std::string& error);
  ~Plugin();
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  const std::string& path() const { return path_; }
  // The file name without directory and ".so", e.g. "OMPrepare".
  const std::string& name() const { return name_; }
  const PluginInfo& info() const { return info_; }
  int32_t body(HostApi* api) const { return body_(api); }
  GetPluginInfoFn getPluginInfo() const { return getPluginInfo_; }

 private:
  Plugin() = default;
  void* library_ = nullptr;
  BodyFn body_ = nullptr;
  GetPluginInfoFn getPluginInfo_ = nullptr;
  PluginInfo info_{};
  std::string path_;
  std::string name_;
};

}  // namespace omserver

#endif
