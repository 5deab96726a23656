// Patch files: modules (plug-in libraries), pin values, connections, timed
// input events and signals, typing and mouse gestures for panels, block
// size, sample rate and length, as one JSON object. docs/patch-format.md is
// the reference: every key with its type, range and default, the rule that
// names a library, and complete examples (a test runs each of them).
//
// A minimal patch:
//   {"length": 4410, "modules": [{"name": "sel", "library": "Forka"}],
//    "events": [{"time": 0, "to": "sel.MIDI In", "midi": "90 3C 64"}]}
//
// Loading refuses, with one message naming the first problem and where it
// is: JSON that does not parse ("line L, column C: ..."), unknown keys (with
// the nearest known key), values a pin cannot take (a choice off its list),
// and events or typing that would come at or after the end of the run.
#pragma once

#include <cstdint>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <utility>
#include <vector>

#include "plughost/engine.h"

namespace plughost {

// A mouse command for a panel without a time (played after the run by
// play_gestures, plughost/panel.h); timed ones are scheduled on the engine.
struct Gesture {
  Instance* instance = nullptr;  // has a GUI side
  int opcode = 0;                // GUI opcode: button down, button up or mouse move
  int x = 0;
  int y = 0;
  int flags = 0;
};

struct PatchRun {
  std::unique_ptr<Engine> engine;
  std::vector<Gesture> gestures;                    // untimed actions, in patch order
  uint32_t length = 0;                              // samples to run
  std::vector<std::pair<Instance*, int>> recorded;  // signal outputs kept, in patch order
};

// Builds the engine of a patch. Throws HostError naming the first problem.
PatchRun load_patch(const std::string& json_text, const std::string& base_dir);
PatchRun load_patch_file(const std::string& path);

// Schedules one entry of a patch's "events" (an object with "time", "to"
// and one of "midi", "value", "text", "status") on the engine; `where`
// names it in messages, and its time must lie before `length`. Throws
// HostError naming the first problem.
void schedule_event(Engine& engine, const nlohmann::json& event, const std::string& where,
                    uint32_t length);

// The value of a list entry ("on" in "on=1,off=0"; a plain entry's value is
// its position), or nothing when the list has no such entry.
bool list_entry_value(const std::string& list_text, const std::string& entry, double* value);

}  // namespace plughost
