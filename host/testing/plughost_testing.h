// Helpers for tests that drive built plug-in libraries through the host.
#pragma once

#include <string>
#include <vector>

#include "plughost/engine.h"
#include "plughost/host_error.h"
#include "plughost/patch.h"
#include "plughost/plugin_library.h"

namespace plughost::testing {

// The plug-in library `name` built beside the test program.
inline std::string plugin(const std::string& name) {
  return plugin_beside_executable(name);
}

// The message a patch text is refused with (relative to the current
// folder), or "(loaded)" when it loads.
inline std::string error_of(const std::string& patch) {
  try {
    load_patch(patch, ".");
  } catch (const HostError& e) {
    return e.what();
  }
  return "(loaded)";
}

// Takes the text reports an instance sent to its GUI side since the last call.
inline std::vector<std::string> take_reports(Instance& instance) {
  std::vector<std::string> reports;
  for (const GuiMessage& m : instance.messages_to_gui()) reports.push_back(m.bytes);
  instance.messages_to_gui().clear();
  return reports;
}

// The output events of one pin, as (clock, value) pairs.
inline std::vector<std::pair<uint32_t, int32_t>> sent_on(const Engine& engine,
                                                         const std::string& module,
                                                         const std::string& pin) {
  std::vector<std::pair<uint32_t, int32_t>> sent;
  for (const OutputEvent& e : engine.output_events()) {
    if (e.module == module && e.pin == pin) sent.emplace_back(e.clock, e.value);
  }
  return sent;
}

}  // namespace plughost::testing
