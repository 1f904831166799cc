#include "plugin.h"

#include <dlfcn.h>

#include <filesystem>

namespace omserver {

std::unique_ptr<Plugin> Plugin::load(const std::string& path, std::string& error) {
  std::unique_ptr<Plugin> plugin(new Plugin());
  plugin->path_ = path;
  plugin->name_ = std::filesystem::path(path).stem().string();
  // A bare file name would make dlopen search the system's library path instead.
  std::string openPath = path.find('/') == std::string::npos ? "./" + path : path;
  plugin->library_ = dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (plugin->library_ == nullptr) {
    const char* reason = dlerror();
    error = "cannot load plug-in " + path + ": " + (reason ? reason : "unknown reason");
    return nullptr;
  }
  plugin->body_ = reinterpret_cast<BodyFn>(dlsym(plugin->library_, "Body"));
  plugin->getPluginInfo_ = reinterpret_cast<GetPluginInfoFn>(dlsym(plugin->library_, "GetPluginInfo"));
  if (plugin->body_ == nullptr || plugin->getPluginInfo_ == nullptr) {
    error = "not a page plug-in: " + path + " does not export " +
            (plugin->body_ == nullptr ? "Body" : "GetPluginInfo");
    return nullptr;
  }
  if (plugin->getPluginInfo_(&plugin->info_) < 0) {
    error = "plug-in " + path + " refused GetPluginInfo";
    return nullptr;
  }
  plugin->info_.version[sizeof plugin->info_.version - 1] = '\0';
  plugin->info_.built[sizeof plugin->info_.built - 1] = '\0';
  return plugin;
}

Plugin::~Plugin() {
  if (library_ != nullptr) dlclose(library_);
}

}  // namespace omserver
