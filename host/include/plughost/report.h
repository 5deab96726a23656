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

// The readable log written as the run goes (plughost show): the same lines
// as write_text_log, each flushed as it is written. The engine must outlive
// the log; the log reads its output events and panel texts.
class TextLog {
 public:
  TextLog(std::ostream& out, const Engine& engine);
  // The heading line; with the status legend under it when `with_legend`
  // (else the legend comes just before the first status line).
  void heading(bool with_legend);
  // The lines of the timeline with clocks before `before` not written yet.
  // Clocks before the engine's current clock are final: nothing later
  // adds a line before them.
  void timeline_before(uint64_t before);
  // The rest of the timeline and the summary (with the signals `run`
  // recorded).
  void finish(const PatchRun& run);

 private:
  void start_line(uint32_t at, const std::string& pin);
  std::ostream& out_;
  const Engine& engine_;
  size_t next_event_ = 0;  // output_events() written so far
  size_t next_text_ = 0;   // panel_texts() written so far
  bool legend_written_ = false;
};
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
