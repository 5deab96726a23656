// The host's one rule for file names in patches and pins: a name with a
// root ("/x", "\\x", "C:\\x", "C:x") stands as given; any other name is
// relative to the patch's folder.
#pragma once

#include <filesystem>
#include <string>

namespace plughost {

inline bool is_rooted(const std::filesystem::path& path) {
  return path.has_root_directory() || path.has_root_name();
}

inline bool is_rooted(const std::string& path) {
  return is_rooted(std::filesystem::path(path));
}

}  // namespace plughost
