// What a patch run produced, for people (a text log) and for programs (JSON).
#include "plughost/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <ostream>

namespace plughost {

using nlohmann::json;

const char* const kStatusLegend =
    "status: 0 stopped (no change under way), 1 changed once and now holds, 2 changes from "
    "sample to sample";

namespace {

std::string format_sample(float v) {
  char text[48];
  std::snprintf(text, sizeof text, "%.9g", double(v));
  return text;
}

// A text in double quotes, with JSON's escapes (line breaks and other control
// characters stay on one line; bytes that are not UTF-8 show as U+FFFD).
std::string quoted(const std::string& text) {
  return json(text).dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace

int midi_length(int32_t message) {
  const int status = message & 0xFF;
  if (status < 0x80) return 3;  // no status byte: shown whole, nothing hidden
  switch (status & 0xF0) {
    case 0xC0:  // Program Change
    case 0xD0:  // Channel Pressure
      return 2;
    case 0xF0:
      break;
    default:
      return 3;
  }
  switch (status) {
    case 0xF1:  // MIDI Time Code quarter frame
    case 0xF3:  // Song Select
      return 2;
    case 0xF2:  // Song Position Pointer
      return 3;
    default:  // real-time, Tune Request, System Exclusive bounds, undefined
      return 1;
  }
}

std::string midi_bytes(int32_t message) {
  std::string text;
  for (int k = 0; k < midi_length(message); ++k) {
    char byte[4];
    std::snprintf(byte, sizeof byte, "%02X", (message >> (8 * k)) & 0xFF);
    text += (k ? " " : "") + std::string(byte);
  }
  return text;
}

std::string describe_midi(int32_t message) {
  const int status = message & 0xFF;
  const int d1 = (message >> 8) & 0x7F;
  const int d2 = (message >> 16) & 0x7F;
  const int channel = (status & 0x0F) + 1;
  char text[96];
  switch (status & 0xF0) {
    case 0x80:
      std::snprintf(text, sizeof text, "Note Off ch %d key %d vel %d", channel, d1, d2);
      break;
    case 0x90:
      std::snprintf(text, sizeof text, "Note On ch %d key %d vel %d", channel, d1, d2);
      break;
    case 0xA0:
      std::snprintf(text, sizeof text, "Poly Pressure ch %d key %d value %d", channel, d1, d2);
      break;
    case 0xB0:
      if (d1 == 123) {
        std::snprintf(text, sizeof text, "All Notes Off ch %d", channel);
      } else {
        std::snprintf(text, sizeof text, "Control Change ch %d cc %d value %d", channel, d1, d2);
      }
      break;
    case 0xC0:
      std::snprintf(text, sizeof text, "Program Change ch %d program %d", channel, d1);
      break;
    case 0xD0:
      std::snprintf(text, sizeof text, "Channel Pressure ch %d value %d", channel, d1);
      break;
    case 0xE0:
      std::snprintf(text, sizeof text, "Pitch Bend ch %d value %d", channel, (d2 << 7 | d1) - 8192);
      break;
    default:
      std::snprintf(text, sizeof text, "System message %02X", status);
      break;
  }
  return text;
}

TextLog::TextLog(std::ostream& out, const Engine& engine) : out_(out), engine_(engine) {}

void TextLog::heading(bool with_legend) {
  out_ << "clock      pin                       event\n";
  if (with_legend) {
    out_ << kStatusLegend << '\n';
    legend_written_ = true;
  }
  out_.flush();
}

void TextLog::start_line(uint32_t at, const std::string& pin) {
  char clock[16];
  std::snprintf(clock, sizeof clock, "%9u", at);
  out_ << clock << "  " << pin;
  for (size_t pad = pin.size(); pad < 24; ++pad) out_ << ' ';
}

void TextLog::timeline_before(uint64_t before) {
  const std::vector<OutputEvent>& events = engine_.output_events();
  const std::vector<PanelText>& texts = engine_.panel_texts();
  // One timeline: what the outputs sent and what the panels said, by clock;
  // at one clock the outputs first (a panel hears of them afterwards).
  while (true) {
    const bool event_left = next_event_ < events.size() && events[next_event_].clock < before;
    const bool text_left = next_text_ < texts.size() && texts[next_text_].clock < before;
    if (!event_left && !text_left) break;
    if (!text_left || (event_left && events[next_event_].clock <= texts[next_text_].clock)) {
      const OutputEvent& event = events[next_event_++];
      if (event.kind == OutputEvent::kStatus && !legend_written_) {
        out_ << kStatusLegend << '\n';
        legend_written_ = true;
      }
      start_line(event.clock, event.module + "." + event.pin);
      if (event.kind == OutputEvent::kMidi) {
        out_ << "  midi " << midi_bytes(event.value) << "  " << describe_midi(event.value) << '\n';
      } else {
        out_ << "  status " << event.value << '\n';
      }
    } else {
      const PanelText& text = texts[next_text_++];
      start_line(text.clock, text.module + "." + text.pin);
      out_ << "  text " << quoted(text.text) << '\n';
    }
    out_.flush();
  }
}

void TextLog::finish(const PatchRun& run) {
  timeline_before(uint64_t(UINT32_MAX) + 1);
  const std::vector<OutputEvent>& events = engine_.output_events();
  std::map<std::string, std::pair<int, int>> summary;  // output -> (MIDI messages, status changes)
  for (const OutputEvent& event : events) {
    auto& counts = summary[event.module + "." + event.pin];
    ++(event.kind == OutputEvent::kMidi ? counts.first : counts.second);
  }
  std::map<std::string, std::pair<int, std::string>> panel;  // pin -> (texts, last text)
  for (const PanelText& text : engine_.panel_texts()) {
    auto& written = panel[text.module + "." + text.pin];
    ++written.first;
    written.second = text.text;
  }
  std::ostream& out = out_;
  if (events.empty()) out << "(no output events)\n";
  out << "\nsummary\n";
  for (const auto& [output, counts] : summary) {
    out << "  " << output << ": " << counts.first << " MIDI message"
        << (counts.first == 1 ? "" : "s") << ", " << counts.second << " status change"
        << (counts.second == 1 ? "" : "s") << '\n';
  }
  for (const auto& [pin, written] : panel) {
    out << "  " << pin << " (panel): " << written.first << " text"
        << (written.first == 1 ? "" : "s") << ", last " << quoted(written.second) << '\n';
  }
  for (const auto& [instance, pin] : run.recorded) {
    const std::vector<float>& samples = engine_.recorded(*instance, pin);
    out << "  " << instance->name() << "." << instance->pins()[pin].name << " (signal):";
    size_t start = 0;
    for (size_t k = 1; k <= samples.size(); ++k) {
      const bool same =
          k < samples.size() &&
          (samples[k] == samples[start] || (std::isnan(samples[k]) && std::isnan(samples[start])));
      if (same) continue;
      out << "\n    " << start << ".." << (k - 1) << "  " << format_sample(samples[start]);
      start = k;
    }
    out << '\n';
  }
  out.flush();
}

void write_text_log(std::ostream& out, const PatchRun& run) {
  const std::vector<OutputEvent>& events = run.engine->output_events();
  const bool any_status = std::any_of(events.begin(), events.end(), [](const OutputEvent& e) {
    return e.kind == OutputEvent::kStatus;
  });
  TextLog log(out, *run.engine);
  log.heading(any_status);
  log.finish(run);
}

std::string json_log(const PatchRun& run) {
  const Engine& engine = *run.engine;
  json log;
  log["sample_rate"] = engine.sample_rate();
  log["block_size"] = engine.block_size();
  log["length"] = run.length;
  log["status_values"] = kStatusLegend;
  json events = json::array();
  for (const OutputEvent& e : engine.output_events()) {
    json item;
    item["clock"] = e.clock;
    item["module"] = e.module;
    item["pin"] = e.pin;
    if (e.kind == OutputEvent::kMidi) {
      item["type"] = "midi";
      item["midi"] = midi_bytes(e.value);  // as a patch's events give MIDI
    } else {
      item["type"] = "status";
      item["status"] = e.value;
    }
    events.push_back(item);
  }
  log["events"] = events;
  json texts = json::array();
  for (const PanelText& t : engine.panel_texts()) {
    texts.push_back({{"clock", t.clock}, {"module", t.module}, {"pin", t.pin}, {"text", t.text}});
  }
  log["panel_texts"] = texts;
  json signals = json::object();
  for (const auto& [instance, pin] : run.recorded) {
    signals[instance->name() + "." + instance->pins()[pin].name] = engine.recorded(*instance, pin);
  }
  log["signals"] = signals;
  return log.dump(1, ' ', false, json::error_handler_t::replace);
}

}  // namespace plughost
