// Naming a plug-in library: one rule for the command line and for patches
// (plughost/library_path.h), and the loader's own reason when a file cannot
// be loaded.
#include "plughost/library_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "plughost/host_error.h"
#include "plughost/patch.h"
#include "plughost/plugin_library.h"

namespace {

namespace fs = std::filesystem;
using plughost::LibraryContext;
using plughost::locate_library;

const std::string kExt = plughost::plugin_extension();

std::string beside_program(const std::string& file) {
  return fs::path(plughost::executable_dir() + "/" + file).lexically_normal().generic_string();
}

// A fresh folder of its own, removed with everything in it at the end.
class Folder {
 public:
  Folder() {
    std::random_device seed;
    path_ = fs::temp_directory_path() / ("plughost_library_path_" + std::to_string(seed()));
    fs::create_directories(path_);
    path_ = fs::canonical(path_);
  }
  ~Folder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const fs::path& path() const { return path_; }
  std::string at(const std::string& name) const { return (path_ / name).generic_string(); }
  // A copy of the built plug-in `plugin` as `name` in this folder.
  void copy_plugin(const std::string& plugin, const std::string& name) const {
    fs::create_directories((path_ / name).parent_path());
    fs::copy_file(beside_program(plugin + kExt), path_ / name);
  }

 private:
  fs::path path_;
};

// Runs with the current folder set to `folder`, then restores it.
class InFolder {
 public:
  explicit InFolder(const fs::path& folder) : before_(fs::current_path()) {
    fs::current_path(folder);
  }
  ~InFolder() { fs::current_path(before_); }

 private:
  fs::path before_;
};

TEST(LibraryPath, PluginNamesAreFoundBesideTheProgramWithOrWithoutExtension) {
  const LibraryContext cli = LibraryContext::command_line();
  EXPECT_EQ(locate_library("Forka", cli), beside_program("Forka" + kExt));
  EXPECT_EQ(locate_library("Forka" + kExt, cli), beside_program("Forka" + kExt));
  try {
    locate_library("NoSuchModule", cli);
    ADD_FAILURE() << "an unknown name was found";
  } catch (const plughost::HostError& e) {
    EXPECT_EQ(std::string(e.what()), "unknown library \"NoSuchModule\" (looked for " +
                                         beside_program("NoSuchModule" + kExt) + ")");
  }
}

TEST(LibraryPath, PathsOnTheCommandLineAreTakenFromTheCurrentFolderAsGiven) {
  Folder folder;
  folder.copy_plugin("Forka", "Forka" + kExt);
  InFolder here(folder.path());
  const LibraryContext cli = LibraryContext::command_line();
  // An existing file in the current folder, named without a folder.
  EXPECT_EQ(locate_library("Forka" + kExt, cli), folder.at("Forka" + kExt));
  // Paths stand as given, found or not: the loader tells what is wrong.
  EXPECT_EQ(locate_library("sub/Missing" + kExt, cli), folder.at("sub/Missing" + kExt));
  EXPECT_EQ(locate_library("./Forka" + kExt, cli), folder.at("Forka" + kExt));
#if !defined(_WIN32)
  EXPECT_EQ(locate_library("/nonexistent.so", cli), "/nonexistent.so");
#endif
}

TEST(LibraryPath, PatchesLookBesideThePatchFirstThenBesideTheProgram) {
  Folder folder;
  folder.copy_plugin("Forka", "patches/Forka" + kExt);
  const LibraryContext patch = LibraryContext::patch(folder.at("patches"));
  EXPECT_EQ(locate_library("Forka", patch), folder.at("patches/Forka" + kExt));
  EXPECT_EQ(locate_library("Forka" + kExt, patch), folder.at("patches/Forka" + kExt));
  EXPECT_EQ(locate_library("Divara_v3", patch), beside_program("Divara_v3" + kExt));
  EXPECT_EQ(locate_library("../lib/X" + kExt, patch), folder.at("lib/X" + kExt));
  try {
    locate_library("NoSuchModule", patch);
    ADD_FAILURE() << "an unknown name was found";
  } catch (const plughost::HostError& e) {
    EXPECT_EQ(std::string(e.what()), "unknown library \"NoSuchModule\" (looked for " +
                                         folder.at("patches/NoSuchModule" + kExt) + ", " +
                                         beside_program("NoSuchModule" + kExt) + ")");
  }
}

TEST(LibraryPath, APatchLoadsALibraryByAPathFromItsFolder) {
  Folder folder;
  folder.copy_plugin("Forka", "plugins/Forka" + kExt);
  const std::string text =
      R"({"length": 64, "modules": [{"name": "sel", "library": "plugins/Forka)" + kExt + R"("}]})";
  plughost::PatchRun run = plughost::load_patch(text, folder.path().string());
  EXPECT_EQ(run.engine->instance("sel").library().path(), folder.at("plugins/Forka" + kExt));
}

TEST(LibraryPath, AFileThatIsNoLibraryGivesTheLoadersReason) {
  Folder folder;
  // Longer than an executable's header, so that the loader reads one.
  std::ofstream notes(folder.path() / "notes.txt");
  for (int line = 0; line < 20; ++line) notes << "a text file, no library\n";
  notes.close();
  try {
    plughost::PluginLibrary library(folder.at("notes.txt"));
    ADD_FAILURE() << "a text file loaded";
  } catch (const plughost::LibraryLoadError& e) {
    EXPECT_EQ(std::string(e.what()),
              "cannot load plug-in library " + folder.at("notes.txt") + ": " + e.reason());
#if !defined(_WIN32)
    EXPECT_NE(e.reason().find("invalid ELF header"), std::string::npos) << e.reason();
#else
    EXPECT_FALSE(e.reason().empty());
#endif
  }
}

}  // namespace
