#include "plughost/plugin_library.h"

#include <cstring>

#include "plughost/host_error.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>
#endif

namespace plughost {

namespace {

#if defined(_WIN32)
std::string last_error_text() {
  char text[512] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 GetLastError(), 0, text, sizeof text, nullptr);
  std::string s = text;
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s;
}
#endif

void* find_symbol(void* handle, const char* name) {
#if defined(_WIN32)
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
#else
  return dlsym(handle, name);
#endif
}

}  // namespace

PluginLibrary::PluginLibrary(const std::string& path) : path_(path) {
#if defined(_WIN32)
  // The loader wants backslashes; names are kept with forward slashes.
  std::string native = path;
  for (char& c : native) {
    if (c == '/') c = '\\';
  }
  handle_ = LoadLibraryA(native.c_str());
  if (!handle_) throw LibraryLoadError(path, last_error_text());
#else
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    // The loader's text starts with the path when the library itself is at
    // fault ("PATH: invalid ELF header"); the error names the path already.
    const char* text = dlerror();
    std::string why = text ? text : "unknown error";
    if (why.rfind(path + ": ", 0) == 0) why.erase(0, path.size() + 2);
    throw LibraryLoadError(path, why);
  }
#endif
  get_properties_ =
      reinterpret_cast<GetModulePropertiesFn>(find_symbol(handle_, "getModuleProperties"));
  make_module_ = reinterpret_cast<MakeModuleFn>(find_symbol(handle_, "makeModule"));
  if (!get_properties_ || !make_module_) {
    close();
    throw LibraryLoadError(path, std::string("not a plug-in library: it does not export ") +
                                     (get_properties_ ? "makeModule" : "getModuleProperties"));
  }
  if (get_properties_(0, &properties_) != 1) {
    close();
    throw LibraryLoadError(path, "the library describes no module at index 0");
  }
}

PluginLibrary::~PluginLibrary() {
  close();
}

void PluginLibrary::close() {
  if (!handle_) return;
#if defined(_WIN32)
  FreeLibrary(static_cast<HMODULE>(handle_));
#else
  dlclose(handle_);
#endif
  handle_ = nullptr;
}

const char* plugin_extension() {
#if defined(_WIN32)
  return ".dll";
#else
  return ".so";
#endif
}

std::string executable_dir() {
  std::string path;
#if defined(_WIN32)
  char buffer[MAX_PATH * 4] = {};
  const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  path.assign(buffer, n);
  // Forward slashes work in every Windows file call and need no escaping in
  // patch texts.
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
#else
  char buffer[PATH_MAX] = {};
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n > 0) path.assign(buffer, static_cast<size_t>(n));
#endif
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string plugin_beside_executable(const std::string& name) {
  return executable_dir() + "/" + name + plugin_extension();
}

}  // namespace plughost
