// The one rule for naming a plug-in library (plughost/library_path.h).
#include "plughost/library_path.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "plughost/host_error.h"
#include "plughost/paths.h"
#include "plughost/plugin_library.h"

namespace plughost {

namespace fs = std::filesystem;

namespace {

bool has_separator(const std::string& name) {
#if defined(_WIN32)
  return name.find_first_of("/\\") != std::string::npos;
#else
  return name.find('/') != std::string::npos;
#endif
}

bool ends_with_extension(const std::string& name) {
  const std::string ext = plugin_extension();
  if (name.size() <= ext.size()) return false;
  std::string tail = name.substr(name.size() - ext.size());
#if defined(_WIN32)
  for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
#endif
  return tail == ext;
}

// `name` taken from `dir` (the current folder when empty), made absolute so
// that the loader never searches its own folders for it.
fs::path from(const std::string& dir, const std::string& name) {
  const fs::path given(name);
  fs::path full = is_rooted(given) || dir.empty() ? given : fs::path(dir) / given;
  std::error_code ignored;
  const fs::path absolute = fs::absolute(full, ignored);
  return (absolute.empty() ? full : absolute).lexically_normal();
}

bool is_file(const fs::path& path) {
  std::error_code ignored;
  return fs::is_regular_file(path, ignored);
}

// The folder of the installed plug-ins, relative to the program's.
fs::path installed_plugins_dir() {
#if defined(_WIN32)
  return fs::path(executable_dir()) / ".." / "modules";
#else
  return fs::path(executable_dir()) / ".." / "lib" / "modular-suite";
#endif
}

}  // namespace

std::string locate_library(const std::string& name, const LibraryContext& context) {
  const fs::path as_path = from(context.patch_dir, name);
  if (!name.empty() && (has_separator(name) || is_rooted(name) || is_file(as_path))) {
    return as_path.generic_string();
  }
  const std::string file = ends_with_extension(name) ? name : name + plugin_extension();
  std::vector<std::string> folders;
  if (!context.patch_dir.empty()) folders.push_back(context.patch_dir);
  folders.push_back(executable_dir());
  std::error_code ignored;
  if (fs::is_directory(installed_plugins_dir(), ignored)) {
    folders.push_back(installed_plugins_dir().lexically_normal().string());
  }
  std::string looked;
  for (const std::string& folder : folders) {
    const fs::path candidate = from(folder, file);
    if (is_file(candidate)) return candidate.generic_string();
    looked += (looked.empty() ? "" : ", ") + candidate.generic_string();
  }
  throw HostError("unknown library \"" + name + "\" (looked for " + looked + ")");
}

}  // namespace plughost
