// Patch files: modules (plug-in libraries), pin values, connections, timed
// input events and signals, block size, sample rate and length, as JSON.
//
// {
//   "sample_rate": 44100, "block_size": 64, "length": 4410,
//   "modules": [ {"name": "sel", "library": "Forka", "pins": {"Choice": "off"}},
//                {"name": "tool", "library": "Byteloom", "announce": true,
//                 "pins": {"MIDI Out Port": 1, "File": "dump.syx"}},
//                {"name": "curve", "library": "Kurvo", "panel": [400, 200]} ],
//   "connections": [ {"from": "a.MIDI Out1", "to": "b.MIDI In"} ],
//   "events": [ {"time": 500, "to": "sel.MIDI In", "midi": "90 3C 64"},
//               {"time": 900, "to": "sel.Choice", "value": "on"},
//               {"time": 920, "to": "tool.File", "text": "dump.syx"},
//               {"time": 950, "to": "split.Gate In", "status": 1} ],
//   "signals": [ {"to": "split.Pitch In", "initial": 0.5,
//                 "points": [ {"at": 100, "value": 0.6},
//                             {"at": 200, "ramp_to": 0.7, "until": 300} ]},
//                {"to": "split.Gate In", "at": 64, "samples": [1, 0.5, "nan", 0]} ],
//   "record": [ "split.Gate Out" ],
//   "gui_notify": "deferred",
//   "typing": [ {"time": 1000, "module": "tool", "text": "F0 7E 7F 06 01 F7"} ],
//   "gestures": [ {"module": "curve", "actions": [ {"down": [20, 30], "flags": 1},
//                                                  {"move": [40, 30], "flags": 1},
//                                                  {"up": [40, 30]} ]} ]
// }
//
// "pins" gives a module's initial values, as a saved patch restores them:
// they are in place before the module opens, and the module is told of no
// change (no EV_PIN_STATUS), so a module that acts only on a change (opening
// a MIDI port, loading a file) does nothing for them. With "announce": true
// the given values also arrive as changes at clock 0, in pin order, as if
// the user had set them then.
// Modules whose library offers a GUI object get one, opened as restored
// from a saved patch when the module's entry gives pin values and as a new
// instance otherwise ("gui_open": "new" or "restored" says so explicitly).
// "panel" gives the panel's size in pixels as the user left it (1 to 16384
// each), instead of the size the module asks for.
// A module entry with "window": "open" has its panel window shown (GUI
// opcode 8) once its GUI object is open. "typing" types text into a shown
// panel's edit window as a user would, at the first block boundary at or
// after its time.
// "gui_notify" ("immediate", "deferred", the default, or "every_write") says
// when a GUI object hears back about its own pin writes. Gestures are mouse commands
// (flags: 0x1 left, 0x2 right, 0x4 Shift, 0x8 Ctrl) played on the panels
// after the run, before painting.
//
// A library is named as plughost/library_path.h says: a path (relative to
// the patch's folder) or a plug-in name found beside the patch or beside the
// plughost program, with or without its extension. Numbers may also
// be given as text ("nan", "inf", "0x1p-3"); a list pin's value may be the
// name of one of its entries.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "plughost/engine.h"

namespace plughost {

// A mouse command for a panel (played by play_gestures, plughost/panel.h).
struct Gesture {
  Instance* instance = nullptr;  // has a GUI side
  int opcode = 0;                // GUI opcode: button down, button up or mouse move
  int x = 0;
  int y = 0;
  int flags = 0;
};

struct PatchRun {
  std::unique_ptr<Engine> engine;
  std::vector<Gesture> gestures;                    // in patch order
  uint32_t length = 0;                              // samples to run
  std::vector<std::pair<Instance*, int>> recorded;  // signal outputs kept, in patch order
};

// Builds the engine of a patch. Throws HostError naming the first problem.
PatchRun load_patch(const std::string& json_text, const std::string& base_dir);
PatchRun load_patch_file(const std::string& path);

// The value of a list entry ("on" in "on=1,off=0"; a plain entry's value is
// its position), or nothing when the list has no such entry.
bool list_entry_value(const std::string& list_text, const std::string& entry, double* value);

}  // namespace plughost
