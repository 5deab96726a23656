// A plug-in library loaded by the host: its two exports and its description.
#pragma once

#include <memory>
#include <string>

#include "plughost/host_error.h"
#include "se_sdk2/se_types.h"

namespace plughost {

using GetModulePropertiesFn = int (*)(int index, SEModuleProperties* properties);
using MakeModuleFn = void* (*)(int index, int kind, HostCallback callback, intptr_t host_word);

// A library that could not be loaded or is no plug-in: "cannot load
// plug-in library PATH: REASON", with the reason kept apart (the loader's
// own text, dlerror or the system's message, or what the library lacks).
class LibraryLoadError : public HostError {
 public:
  LibraryLoadError(const std::string& path, const std::string& reason)
      : HostError("cannot load plug-in library " + path + ": " + reason), reason_(reason) {}
  const std::string& reason() const { return reason_; }

 private:
  std::string reason_;
};

class PluginLibrary {
 public:
  // Loads the library at path (a file name, plughost/library_path.h) and
  // resolves both exports. Throws LibraryLoadError.
  explicit PluginLibrary(const std::string& path);
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  const std::string& path() const { return path_; }
  GetModulePropertiesFn get_module_properties() const { return get_properties_; }
  MakeModuleFn make_module() const { return make_module_; }

  // Description of module 0, as getModuleProperties wrote it (the record is
  // cleared first). Texts point into the library.
  const SEModuleProperties& properties() const { return properties_; }
  int revision() const { return properties_.sdk_revision; }

 private:
  void close();

  std::string path_;
  void* handle_ = nullptr;
  GetModulePropertiesFn get_properties_ = nullptr;
  MakeModuleFn make_module_ = nullptr;
  SEModuleProperties properties_{};
};

// File name of a plug-in library built beside the running program:
// <folder of the executable>/<name>.dll on Windows, .so elsewhere.
std::string plugin_beside_executable(const std::string& name);
std::string executable_dir();
const char* plugin_extension();

}  // namespace plughost
