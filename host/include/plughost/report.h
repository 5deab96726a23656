// What a patch run produced: a readable text log and a JSON log.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "plughost/patch.h"

namespace plughost {

// The readable log: one timeline, by clock, of every MIDI message and
// status change the outputs sent and every text a panel wrote to a text pin
// (Engine::panel_texts), MIDI as its bytes, then a summary per output and per panel text pin
// (with its last text), and the recorded signals as runs of equal samples.
void write_text_log(std::ostream& out, const PatchRun& run);
// The same as JSON text: "events" (outputs: MIDI as "midi": "90 3C 64",
// status changes as "status": N), "panel_texts" and "signals" (full sample
// arrays).
std::string json_log(const PatchRun& run);

// "Note On ch 1 key 60 vel 100" and the like for a packed short message.
std::string describe_midi(int32_t message);
// Bytes of a packed short message (status byte in bits 0-7): as many as its
// status byte calls for (3 for notes, 2 for Program Change, 1 for real-time
// messages), "90 3C 64". Without a status byte, all three.
std::string midi_bytes(int32_t message);
int midi_length(int32_t message);

// What a status change's value means; heads the text log when it shows
// status changes, and is the JSON log's "status_values".
extern const char* const kStatusLegend;

}  // namespace plughost
