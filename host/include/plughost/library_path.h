// How a user names a plug-in library, one rule for the command line and for
// patches:
//   - a path: anything with a folder separator ('/', and '\\' on Windows) or
//     a root, or the name of an existing file. A relative path is taken from
//     the current folder on the command line and from the patch's folder in
//     a patch. It is loaded as given, and the loader says what is wrong.
//   - otherwise a plug-in name, looked for beside the patch (in a patch) and
//     then beside the plughost program, with or without the plug-in
//     extension (".so", ".dll" on Windows): "Forka" and "Forka.so" both name
//     <folder>/Forka.so. Installed, the plug-ins lie in a folder of their
//     own, which is looked in last when it exists: ../modules beside the
//     program on Windows (the zip's tools/ and modules/), and
//     ../lib/modular-suite on Linux (/usr/bin and /usr/lib/modular-suite).
#pragma once

#include <string>

namespace plughost {

// Where a library name is written.
struct LibraryContext {
  // The patch's folder; empty for a name given on the command line.
  std::string patch_dir;
  static LibraryContext command_line() { return {}; }
  static LibraryContext patch(const std::string& dir) { return {dir.empty() ? "." : dir}; }
};

// The absolute file name that `name` stands for. Throws HostError
// "unknown library \"NAME\" (looked for ...)" when a plug-in name is found
// in none of its folders; a path is never refused here.
std::string locate_library(const std::string& name, const LibraryContext& context);

}  // namespace plughost
