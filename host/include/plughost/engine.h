// The stand-in host's processing side: instances of plug-in modules, their
// pins and values, the connections between them, and sample-accurate
// delivery of events.
//
// Time: one sample clock for the whole engine, starting at 0. run() advances
// it block by block. Within a block each instance is driven in connection
// order (senders before receivers); its part of the block is split at the
// time stamps of its pending events, so that every event is delivered while
// the sample clock equals its time stamp and each process call covers
// exactly the samples between two events.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "plughost/gui_side.h"
#include "plughost/plugin_library.h"
#include "se_sdk2/se_gui_types.h"
#include "se_sdk2/se_types.h"

namespace plughost {

class Engine;

// Panel size when a GUI object never asks for one (GUI host opcode 3).
inline constexpr int kDefaultPanelWidth = 200;
inline constexpr int kDefaultPanelHeight = 100;

// When the host tells a GUI object that a pin's value changed (GUI opcode 7)
// after the GUI object itself wrote it: inside the write, or after the GUI
// call that wrote it has returned. kEveryWrite reports like kDeferred, but
// reports every write, also one that leaves the value as it was (some hosts
// do). A module must work with all three.
enum class GuiNotify { kImmediate, kDeferred, kEveryWrite };

// A byte block from the processing object to the GUI object (host opcode 17).
struct GuiMessage {
  int32_t tag = 0;  // the value word
  std::string bytes;
};

// One pin as the host shows it: every declared pin of the module's pin list,
// then the repeats of a last pin flagged IO_REPEAT_LAST.
struct HostPin {
  std::string name;           // declared name; repeats are "Name[1]", "Name[2]", ...
  int declared_index = 0;     // entry of the pin list (repeats: the last entry)
  int processing_index = -1;  // index in the processing side's m_pins, -1 for none
  bool repeat = false;        // a repeat of the last pin, not declared (no GUI pin)
  int direction = DR_IN;
  int datatype = DT_MIDI_STREAM;
  int flags = 0;
  std::string default_text;  // as declared ("" for none)
  std::string list_text;     // as declared ("" for none)
  void* variable = nullptr;  // module field the host writes the value to, or null

  // Host-side value: a number for the value types, text for DT_STRING, and a
  // block of samples for DT_FSAMPLE.
  double value = 0.0;
  std::string text;
  std::vector<float> buffer;
  bool connected = false;
};

// What an instance sent on an output pin.
struct OutputEvent {
  enum Kind { kMidi, kStatus };
  uint32_t clock = 0;
  std::string module;
  std::string pin;
  Kind kind = kMidi;
  int32_t value = 0;  // packed MIDI message, or status
};

// A text a GUI object wrote to one of its text pins (DT_STRING, GUI host
// opcode 6): what its panel says, such as a status line. Kept when the text
// changed (every write under GuiNotify::kEveryWrite).
struct PanelText {
  uint32_t clock = 0;  // the engine's clock when it was written (a block start)
  std::string module;
  std::string pin;
  std::string text;
};

// An event a module sent or posted for a time before its own sample clock:
// the host cannot deliver it sample-accurately.
struct ClockFault {
  enum Kind { kMidiOut, kStatusOut, kPosted };
  Kind kind = kMidiOut;
  uint32_t time_stamp = 0;  // the clock the module gave
  uint32_t clock = 0;       // the module's sample clock at the time
  int pin = -1;             // processing-side pin index (outputs), or -1
};

// A piecewise signal for a DT_FSAMPLE input: steps and linear ramps, or a
// table of samples. The host sends status 1 at a step, 2 at the start of a
// ramp or table and 1 at its end.
struct Signal {
  struct Point {
    uint32_t at = 0;     // clock of the step, or of the ramp's start
    float value = 0.0f;  // value from `at` on (a ramp's end value)
    bool ramp = false;
    uint32_t until = 0;  // a ramp reaches `value` at this clock
  };
  std::vector<Point> points;  // ordered by `at`
  float initial = 0.0f;       // value before the first point (or the table)
  // A table instead of points: samples[k] at clock table_at + k, the last
  // sample held after it.
  std::vector<float> samples;
  uint32_t table_at = 0;
  float at(uint32_t clock) const;
};

class Instance {
 public:
  Instance(Engine& engine, std::string name, std::shared_ptr<PluginLibrary> library,
           int instance_number, std::optional<int> pin_count, int extra_repeats);
  ~Instance();
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  const std::string& name() const { return name_; }
  int revision() const { return library_->revision(); }
  const PluginLibrary& library() const { return *library_; }
  SEModuleRecord* record() const { return record_; }
  int instance_number() const { return instance_number_; }

  std::vector<HostPin>& pins() { return pins_; }
  const std::vector<HostPin>& pins() const { return pins_; }
  // Host pin by name; throws HostError naming the module and listing its pins.
  int pin_index(const std::string& pin_name) const;
  // Host pin holding a processing-side pin index, or -1.
  int host_pin_of_processing(int processing_index) const;
  int pin_count() const { return pin_count_; }

  // Sets a pin's value now (without an event) and writes it to the module.
  void set_value(int pin, double value);
  void set_text(int pin, const std::string& text);

  // The record's dispatcher.
  intptr_t dispatch(int opcode, int index = 0, int value = 0, void* data = nullptr,
                    float opt = 0.0f);
  // Opcode 0 (once); the engine opens every instance before it runs.
  void open();
  bool is_open() const { return opened_; }
  bool awake() const { return awake_; }
  uint32_t sample_clock() const { return clock_; }

  // Byte blocks sent with host opcode 17 and not yet delivered, oldest
  // first. The engine hands them to the GUI object between blocks
  // (GuiSide::deliver_messages); an instance without a GUI object keeps
  // them here (tests read them).
  std::vector<GuiMessage>& messages_to_gui() { return to_gui_; }
  // Called with every block the processing object sends with host opcode
  // 17, during that call, before the module goes on: tests see the objects'
  // conversation as it happens, whatever the engine delivers later. An
  // empty function stops the watching.
  void watch_messages_to_gui(std::function<void(const GuiMessage&)> watcher) {
    to_gui_watcher_ = std::move(watcher);
  }
  // Bytes from the GUI side, delivered as dispatcher opcode 12.
  void send_gui_message(const std::string& bytes, int value = 0);

  // Queues an event as it stands, delivered at its time stamp (tests use it
  // to send what no patch would, such as a pin index the module lacks).
  void inject(const SEEventRecord& event);

  // The GUI side, for modules whose library offers instance kind 2; null
  // otherwise. Owned by the instance.
  bool has_gui() const { return gui_ != nullptr; }
  GuiSide* gui() const { return gui_.get(); }

  // Counters for tests: how often opcode 22 made the host re-read the
  // process entry, and how often the host called the process entry.
  int process_entry_reloads() const { return process_reloads_; }
  int process_calls() const { return process_calls_; }
  // Events this instance sent or posted into its own past, oldest first.
  const std::vector<ClockFault>& clock_faults() const { return clock_faults_; }

 private:
  friend class Engine;
  friend class GuiSide;
  struct Pending {
    SEEventRecord event{};
    int write_pin = -1;  // host pin whose value changes at delivery, or -1
    double value = 0.0;
    bool is_text = false;  // write_pin takes `text` (a DT_STRING pin), not `value`
    std::string text;
  };

  static intptr_t callback(SEModuleRecord* record, int32_t opcode, int32_t index, int32_t value,
                           void* data, float opt);
  intptr_t host_call(int opcode, int index, int value, void* data, float opt);
  void enumerate_pins(std::optional<int> pin_count, int extra_repeats);
  void write_variable(HostPin& pin);
  void enqueue(const Pending& pending);
  void deliver(Pending& pending);
  void process_block(uint32_t block_start, int count);

  Engine& engine_;
  std::string name_;
  std::shared_ptr<PluginLibrary> library_;
  int instance_number_;
  SEModuleRecord* record_ = nullptr;
  SEProcessEntry process_ = nullptr;  // as last read from the record
  std::vector<HostPin> pins_;
  std::vector<int> signal_inputs_;          // host pins that are DT_FSAMPLE inputs, in order
  int pin_count_ = 0;                       // answer to host opcode 14
  std::multimap<uint32_t, Pending> queue_;  // by time stamp; equal times in arrival order
  uint32_t clock_ = 0;
  bool opened_ = false;
  bool awake_ = true;
  bool in_process_ = false;
  std::vector<GuiMessage> to_gui_;
  std::function<void(const GuiMessage&)> to_gui_watcher_;
  int process_reloads_ = 0;
  std::unique_ptr<GuiSide> gui_;
  int process_calls_ = 0;
  std::vector<ClockFault> clock_faults_;
};

class Engine {
 public:
  Engine(float sample_rate = 44100.0f, int block_size = 64);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  float sample_rate() const { return sample_rate_; }
  int block_size() const { return block_size_; }
  GuiNotify gui_notify() const { return gui_notify_; }
  void set_gui_notify(GuiNotify when) { gui_notify_ = when; }
  // Folder that relative file names of pins resolve against (host opcode 16).
  void set_base_dir(const std::string& dir) { base_dir_ = dir; }
  const std::string& base_dir() const { return base_dir_; }

  // Loads (or reuses) the library and creates an instance named `name`.
  // pin_count overrides the answer to host opcode 14; extra_repeats adds
  // pins for a last pin flagged IO_REPEAT_LAST.
  Instance& add(const std::string& name, const std::string& library_path,
                std::optional<int> pin_count = std::nullopt, int extra_repeats = 0);
  Instance& instance(const std::string& name);
  std::vector<std::unique_ptr<Instance>>& instances() { return instances_; }

  // A connection from an output pin to an input pin of the same kind (MIDI
  // or samples). Throws HostError for anything else.
  void connect(Instance& from, int from_pin, Instance& to, int to_pin);

  // Input events from outside, delivered at `clock`.
  void schedule_midi(Instance& to, int pin, uint32_t clock, int32_t message);
  void schedule_value(Instance& to, int pin, uint32_t clock, double value);
  void schedule_status(Instance& to, int pin, uint32_t clock, int32_t status);
  void set_signal(Instance& to, int pin, const Signal& signal);
  // A new text for a DT_STRING input at `clock`, told with EV_PIN_STATUS.
  void schedule_text(Instance& to, int pin, uint32_t clock, const std::string& text);
  // Text typed into the instance's edit window (GuiSide::type_into_edit) at
  // the first block boundary at or after `clock`, before that block's
  // events.
  void schedule_typing(Instance& to, uint32_t clock, const std::string& text);
  // A mouse command on the instance's panel (GuiSide::mouse: opcode
  // kGuiButtonDown, kGuiButtonUp or kGuiMouseMove) played like typing: at
  // the first block boundary at or after `clock`, before that block's
  // events. Typing and mouse commands of one boundary play in the order
  // they were scheduled.
  void schedule_mouse(Instance& to, uint32_t clock, int opcode, int x, int y, int flags);
  // The earliest clock at which something scheduled is still to be
  // delivered (an event, typing, a mouse command), or nothing. Events that
  // modules send each other during a run are not known in advance.
  std::optional<uint32_t> next_scheduled_clock() const;
  // Keeps every sample an output pin holds after each block.
  void record(Instance& from, int pin);
  const std::vector<float>& recorded(Instance& from, int pin) const;
  // Keeps no more samples of any output (a session of unbounded length).
  void stop_recording() { recordings_.clear(); }

  // Opens what is not open yet, then runs `samples` samples from the
  // current clock on.
  void run(uint32_t samples);
  uint32_t clock() const { return clock_; }
  uint32_t block_start() const { return block_start_; }

  const std::vector<OutputEvent>& output_events() const { return output_events_; }
  // Texts the GUI objects wrote to their text pins, in the order written.
  const std::vector<PanelText>& panel_texts() const { return panel_texts_; }
  // Called by an instance's GuiSide when its GUI object wrote host pin `pin`
  // (a DT_STRING pin) with the text it now holds.
  void note_panel_text(const Instance& instance, int pin);

 private:
  friend class Instance;
  struct Connection {
    Instance* from;
    int from_pin;
    Instance* to;
    int to_pin;
  };
  void on_output(Instance& from, int processing_index, OutputEvent::Kind kind, uint32_t clock,
                 int32_t value);
  std::vector<Instance*> processing_order() const;
  void fill_inputs(Instance& instance, uint32_t block_start, int count);
  static Instance::Pending pin_write(const HostPin& p, int pin, uint32_t clock);

  float sample_rate_;
  int block_size_;
  GuiNotify gui_notify_ = GuiNotify::kDeferred;
  std::string base_dir_ = ".";
  std::map<std::string, std::shared_ptr<PluginLibrary>> libraries_;
  std::vector<std::unique_ptr<Instance>> instances_;
  std::vector<Connection> connections_;
  std::vector<Instance*> order_;  // processing_order(), valid while order_valid_
  bool order_valid_ = false;
  bool all_open_ = false;  // every instance has been opened
  std::map<std::pair<Instance*, int>, Signal> signals_;
  // Typing (text) and mouse commands for panels, by clock, in the order
  // scheduled.
  struct PanelInput {
    Instance* instance = nullptr;
    bool typing = true;
    std::string text;
    int opcode = 0, x = 0, y = 0, flags = 0;
  };
  std::multimap<uint32_t, PanelInput> panel_inputs_;
  std::map<std::pair<Instance*, int>, std::vector<float>> recordings_;
  std::vector<OutputEvent> output_events_;
  std::vector<PanelText> panel_texts_;
  uint32_t clock_ = 0;
  uint32_t block_start_ = 0;
  int next_instance_number_ = 1;
};

}  // namespace plughost
