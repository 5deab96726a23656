// Drives the built Byteloom plug-in through the stand-in host: both objects
// of each instance, its panel window with the edit window in it, pin changes
// as the host delivers them, and files in a folder of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "platform/window_host.h"
#include "plughost/engine.h"
#include "plughost_testing.h"
#include "se_sdk2/gui_opcodes.h"

namespace byteloom_test {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using plughost::Engine;
using plughost::Instance;

// Pin indexes of the module.
enum Pin {
  kMidiInPort = 0,
  kMidiOutPort = 1,
  kFile = 2,
  kReload = 3,
  kAutoload = 4,
  kSaveAsTxt = 5,
  kSaveAsSyx = 6,
  kSend = 7,
  kReceive = 8,
  kClear = 9,
  kStatusMsg = 10,
};

inline Bytes readBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string readText(const fs::path& path) {
  const Bytes b = readBytes(path);
  return std::string(b.begin(), b.end());
}

inline void writeBytes(const fs::path& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
}

class ByteloomTest : public ::testing::Test {
 protected:
  ByteloomTest() = default;
  // A host running at `sampleRate` (Hz) instead of 44100.
  explicit ByteloomTest(float sampleRate) : engine_(sampleRate) {}

  void SetUp() override {
    static int serial = 0;
    dir_ = fs::temp_directory_path() /
           ("byteloom_test_" +
            std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "_" +
            std::to_string(++serial));
    fs::create_directories(dir_);
    engine_.set_base_dir(dir_.string());
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // A new instance, both objects created; the editor opened (GUI opcode 0)
  // unless `openEditor` is false; the processing object opens on the first
  // settle().
  Instance& add(const std::string& name, bool openEditor = true) {
    Instance& i = engine_.add(name, plughost::testing::plugin("Byteloom"));
    if (openEditor) i.gui()->open(false);
    return i;
  }
  // Opens the panel (GUI opcode 8) so that the editor makes its edit window;
  // fails the test where real windows cannot be made (no display). Then runs
  // the engine, so that the processing object opens and resets the editor.
  HWND openWindow(Instance& i) {
    if (!i.gui()->panel_window()) {
      ADD_FAILURE() << "no panel window (a display is needed for real windows)";
      return nullptr;
    }
    i.gui()->dispatch(se::kGuiWindowOpen, 0, 0, &i.gui()->window_info());
    settle();  // the processing object opens and resets the editor
    return edit(i);
  }
  // The edit window in the instance's panel, or null.
  static HWND edit(Instance& i) {
    if (!i.gui()->panel_window()) return nullptr;
    for (HWND child : platform::child_windows(i.gui()->panel_window()))
      if (platform::window_class(child) == "edit") return child;
    return nullptr;
  }
  static std::string windowText(Instance& i) { return platform::window_text(edit(i)); }
  static std::string status(Instance& i) { return i.pins()[kStatusMsg].text; }

  // Runs the engine until every letter has travelled both ways.
  void settle() {
    for (int round = 0; round < 8; ++round) engine_.run(engine_.block_size());
  }
  // A pin change as the host delivers it, then settle().
  void choose(Instance& i, int pin, int value) {
    engine_.schedule_value(i, pin, engine_.clock(), value);
    settle();
  }
  // "File" changed to `name` (relative to the test's folder), then settle().
  void setFile(Instance& i, const std::string& name) {
    i.set_text(kFile, name);
    SEEventRecord e{};
    e.time_stamp = engine_.clock();
    e.type = EV_PIN_STATUS;
    e.int_value = ST_ONE_OFF;
    e.ptr = kFile;
    i.inject(e);
    settle();
  }
  // "Reload" toggled (either way loads).
  void reload(Instance& i) { choose(i, kReload, i.pins()[kReload].value == 0 ? 1 : 0); }
  // Saves through a press of "Save as .txt" or "Save as .syx" and its
  // release.
  void save(Instance& i, int pin) {
    choose(i, pin, 1);
    choose(i, pin, 0);
  }
  // A block from the editor object to the processing object, and one the
  // other way, as the host carries them.
  static void toProcessor(Instance& i, const std::string& bytes) { i.send_gui_message(bytes); }
  void toEditor(Instance& i, const std::string& bytes) {
    i.messages_to_gui().push_back({0, bytes});
    settle();
  }

  fs::path path(const std::string& name) const { return dir_ / name; }

  Engine engine_;
  fs::path dir_;
};

// The bytes F0 7E 7F 06 01 F7 (a device inquiry) as a raw file.
inline const std::string kInquiry = "\xF0\x7E\x7F\x06\x01\xF7";

}  // namespace byteloom_test
