// What a patch run produced: a readable text log and a JSON log.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "plughost/patch.h"

namespace plughost {

// The readable log: one timeline, by clock, of every MIDI message and
// status change the outputs sent and every text a panel wrote to a text pin
// (Engine::panel_texts), then a summary per output and per panel text pin
// (with its last text), and the recorded signals as runs of equal samples.
void write_text_log(std::ostream& out, const PatchRun& run);
// The same as JSON text: "events" (outputs), "panel_texts" and "signals"
// (full sample arrays).
std::string json_log(const PatchRun& run);

// "Note On ch 1 key 60 vel 100" and the like for a packed short message.
std::string describe_midi(int32_t message);

}  // namespace plughost
