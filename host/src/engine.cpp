#include "plughost/engine.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "common/c_numbers.h"
#include "plughost/host_error.h"
#include "plughost/paths.h"
#include "plughost/pin_values.h"
#include "se_sdk2/gui_opcodes.h"
#include "se_sdk2/host_opcodes.h"

namespace plughost {

namespace {

// Pin lists longer than this are taken as a module that never answers false.
constexpr int kMaxDeclaredPins = 4096;

uint32_t clock_argument(void* data) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(data));
}

bool gets_processing_pin(int revision, int flags) {
  // Revision 2230 gives UI-communication pins no processing-side pin unless
  // they are also IO_UI_DUAL; revision 2020 gives every entry one.
  return revision < 2230 || (flags & IO_UI_COMMUNICATION) == 0 || (flags & IO_UI_DUAL) != 0;
}

// Marks a pending entry that only changes a value (the pin has no
// processing-side pin to tell).
constexpr int32_t kNoEvent = -1;

}  // namespace

// ---- Signal ---------------------------------------------------------------

float Signal::at(uint32_t clock) const {
  if (!samples.empty()) {
    if (clock < table_at) return initial;
    const uint64_t k = uint64_t(clock) - table_at;
    return k < samples.size() ? samples[k] : samples.back();
  }
  float value = initial;
  for (const Point& p : points) {
    if (clock < p.at) break;
    if (!p.ramp || clock >= p.until || p.until <= p.at) {
      value = p.value;
      continue;
    }
    const double fraction = double(clock - p.at) / double(p.until - p.at);
    return static_cast<float>(double(value) + (double(p.value) - double(value)) * fraction);
  }
  return value;
}

// ---- Instance -------------------------------------------------------------

Instance::Instance(Engine& engine, std::string name, std::shared_ptr<PluginLibrary> library,
                   int instance_number, std::optional<int> pin_count, int extra_repeats)
    : engine_(engine),
      name_(std::move(name)),
      library_(std::move(library)),
      instance_number_(instance_number) {
  void* record =
      library_->make_module()(0, 1, &Instance::callback, reinterpret_cast<intptr_t>(this));
  if (!record) throw HostError(library_->path() + ": makeModule created no processing instance");
  record_ = static_cast<SEModuleRecord*>(record);
  if (record_->magic != SE_MODULE_MAGIC) {
    record_ = nullptr;  // not ours to close
    throw HostError(library_->path() + ": makeModule returned a record without the module magic");
  }
  process_ = record_->process;
  dispatch(se::kOpSampleRate, 0, 0, nullptr, engine_.sample_rate());
  dispatch(se::kOpBlockSize, 0, engine_.block_size());
  enumerate_pins(pin_count, extra_repeats);
  if (library_->properties().flags & 0x100) {
    auto gui = std::make_unique<GuiSide>(*this);
    void* record = library_->make_module()(0, 2, reinterpret_cast<HostCallback>(&GuiSide::callback),
                                           reinterpret_cast<intptr_t>(gui.get()));
    if (!record || static_cast<SEGuiRecord*>(record)->magic != SE_GUI_MAGIC) {
      dispatch(se::kOpClose);
      record_ = nullptr;
      throw HostError(library_->path() + ": makeModule created no GUI object, though offered");
    }
    gui->attach(static_cast<SEGuiRecord*>(record));
    gui_ = std::move(gui);
  }
}

Instance::~Instance() {
  gui_.reset();  // the GUI object closes first
  if (record_) dispatch(se::kOpClose);
}

intptr_t Instance::dispatch(int opcode, int index, int value, void* data, float opt) {
  return record_->dispatcher(record_, opcode, index, value, data, opt);
}

void Instance::enumerate_pins(std::optional<int> pin_count, int extra_repeats) {
  for (int j = 0; j < kMaxDeclaredPins; ++j) {
    SEPinProperties p;
    std::memset(&p, 0, sizeof p);
    if (dispatch(se::kOpPinProperties, j, 0, &p) == 0) break;
    HostPin pin;
    pin.name = p.name ? p.name : "";
    pin.declared_index = j;
    pin.direction = p.direction;
    pin.datatype = p.datatype;
    pin.flags = p.flags;
    pin.default_text = p.default_value ? p.default_value : "";
    pin.list_text = p.datatype_extra ? p.datatype_extra : "";
    pin.variable = p.variable_address;
    pins_.push_back(std::move(pin));
  }
  const int declared = static_cast<int>(pins_.size());
  pin_count_ = pin_count ? *pin_count : declared + std::max(0, extra_repeats);

  // The processing side's pin walk, written out again here on purpose
  // rather than taken from the framework: the host checks the framework's
  // Open against its own reading of the rules, as an independent host would.
  int i = 0;
  for (HostPin& pin : pins_) {
    if (i >= pin_count_) break;
    if (gets_processing_pin(revision(), pin.flags)) pin.processing_index = i++;
  }
  if (declared > 0 && i < pin_count_) {
    const HostPin last = pins_.back();
    if (gets_processing_pin(revision(), last.flags) && (last.flags & IO_REPEAT_LAST) != 0) {
      for (int k = 1; i < pin_count_; ++i, ++k) {
        HostPin repeat = last;
        repeat.name = last.name + "[" + std::to_string(k) + "]";
        repeat.processing_index = i;
        repeat.repeat = true;
        repeat.variable = nullptr;
        pins_.push_back(std::move(repeat));
      }
    }
  }

  for (HostPin& pin : pins_) {
    if (pin.datatype == DT_STRING) {
      pin.text = pin.default_text;
    } else {
      pin.value = cnum::readCNumber(pin.default_text);
    }
    if (pin.datatype == DT_FSAMPLE) {
      pin.buffer.assign(engine_.block_size(), to_float(pin.value));
    }
    write_variable(pin);
  }
  for (size_t k = 0; k < pins_.size(); ++k) {
    if (pins_[k].datatype == DT_FSAMPLE && pins_[k].direction != DR_OUT) {
      signal_inputs_.push_back(static_cast<int>(k));
    }
  }
}

int Instance::pin_index(const std::string& pin_name) const {
  for (size_t k = 0; k < pins_.size(); ++k) {
    if (pins_[k].name == pin_name) return static_cast<int>(k);
  }
  std::string known;
  for (const HostPin& pin : pins_) known += (known.empty() ? "\"" : ", \"") + pin.name + "\"";
  throw HostError("module \"" + name_ + "\" has no pin \"" + pin_name + "\" (its pins: " + known +
                  ")");
}

int Instance::host_pin_of_processing(int processing_index) const {
  if (processing_index < 0) return -1;
  for (size_t k = 0; k < pins_.size(); ++k) {
    if (pins_[k].processing_index == processing_index) return static_cast<int>(k);
  }
  return -1;
}

void Instance::write_variable(HostPin& pin) {
  if (pin.datatype == DT_FSAMPLE) {
    if (pin.variable) *static_cast<float**>(pin.variable) = pin.buffer.data();
    return;
  }
  if (!pin.variable) return;
  switch (pin.datatype) {
    case DT_CHOICE:
      *static_cast<int16_t*>(pin.variable) = to_int16(pin.value);
      break;
    case DT_SWITCH:
      *static_cast<uint8_t*>(pin.variable) = pin.value != 0.0 ? 1 : 0;
      break;
    case DT_FLOAT32:
      *static_cast<float*>(pin.variable) = to_float(pin.value);
      break;
    case DT_INT32:
      *static_cast<int32_t*>(pin.variable) = to_int32(pin.value);
      break;
    default:
      break;
  }
}

void Instance::set_value(int pin, double value) {
  HostPin& p = pins_.at(pin);
  const std::string misfit = value_misfit(p, value);
  if (!misfit.empty()) {
    throw HostError("module \"" + name_ + "\" pin \"" + p.name + "\": " + misfit);
  }
  p.value = value;
  if (p.datatype == DT_FSAMPLE) std::fill(p.buffer.begin(), p.buffer.end(), to_float(value));
  write_variable(p);
}

void Instance::set_text(int pin, const std::string& text) {
  pins_.at(pin).text = text;
}

void Instance::open() {
  if (opened_) return;
  opened_ = true;
  clock_ = engine_.clock();
  dispatch(se::kOpOpen);
}

void Instance::send_gui_message(const std::string& bytes, int value) {
  dispatch(se::kOpGuiMessage, static_cast<int>(bytes.size()), value,
           const_cast<char*>(bytes.data()));
}

intptr_t Instance::callback(SEModuleRecord* record, int32_t opcode, int32_t index, int32_t value,
                            void* data, float opt) {
  auto* self = reinterpret_cast<Instance*>(record->host_word);
  return self->host_call(opcode, index, value, data, opt);
}

intptr_t Instance::host_call(int opcode, int index, int value, void* data, float) {
  switch (opcode) {
    case se::kHostSendStatus:
      if (clock_argument(data) < clock_) {
        clock_faults_.push_back({ClockFault::kStatusOut, clock_argument(data), clock_, index});
      }
      engine_.on_output(*this, index, OutputEvent::kStatus, clock_argument(data), value);
      return 0;
    case se::kHostIsConnected: {
      const int pin = host_pin_of_processing(index);
      return pin >= 0 && pins_[pin].connected ? 1 : 0;
    }
    case se::kHostSampleClock:
      return static_cast<intptr_t>(clock_);
    case se::kHostSendMidi:
      if (clock_argument(data) < clock_) {
        clock_faults_.push_back({ClockFault::kMidiOut, clock_argument(data), clock_, index});
      }
      engine_.on_output(*this, index, OutputEvent::kMidi, clock_argument(data), value);
      return 0;
    case se::kHostGetBuffer: {
      const int pin = host_pin_of_processing(index);
      if (pin < 0 || pins_[pin].datatype != DT_FSAMPLE) return 0;
      return reinterpret_cast<intptr_t>(pins_[pin].buffer.data());
    }
    case se::kHostBlockStartClock:
      return static_cast<intptr_t>(engine_.block_start());
    case se::kHostSleep:
      awake_ = false;
      return 0;
    case se::kHostPinCount:
      return pin_count_;
    case se::kHostFileName: {
      const int pin = host_pin_of_processing(index);
      if (pin < 0 || !data || value <= 0) return 0;
      std::string path = pins_[pin].text;
      if (!path.empty() && !is_rooted(path)) path = engine_.base_dir() + "/" + path;
      // A path that does not fit the buffer whole is not cut (a cut path
      // names another file): the buffer gets the empty text and the answer
      // is the size the path needs with its zero, more than the buffer.
      if (path.size() >= static_cast<size_t>(value)) {
        static_cast<char*>(data)[0] = '\0';
        return static_cast<intptr_t>(path.size() + 1);
      }
      std::memcpy(data, path.data(), path.size() + 1);
      return 0;
    }
    case se::kHostSendToGui:
      if (data && index > 0) {
        to_gui_.push_back({value, std::string(static_cast<const char*>(data), index)});
        if (to_gui_watcher_) to_gui_watcher_(to_gui_.back());
      }
      return 0;
    case se::kHostInstanceNumber:
      return instance_number_;
    case se::kHostPostEvent:
      if (data) {
        Pending pending;
        pending.event = *static_cast<const SEEventRecord*>(data);  // the module's copy dies now
        pending.event.next = nullptr;
        if (pending.event.time_stamp < clock_) {
          clock_faults_.push_back({ClockFault::kPosted, pending.event.time_stamp, clock_, -1});
        }
        enqueue(pending);
      }
      return 0;
    case se::kHostProcessChanged:
      process_ = record_->process;
      ++process_reloads_;
      return 0;
    default:
      return 0;
  }
}

void Instance::inject(const SEEventRecord& event) {
  Pending pending;
  pending.event = event;
  enqueue(pending);
}

void Instance::enqueue(const Pending& pending) {
  queue_.emplace(pending.event.time_stamp, pending);
}

void Instance::deliver(Pending& pending) {
  if (pending.write_pin >= 0) {
    HostPin& pin = pins_[pending.write_pin];
    const bool changed = pending.is_text ? pin.text != pending.text : pin.value != pending.value;
    if (pending.is_text) {
      pin.text = pending.text;
    } else {
      pin.value = pending.value;
    }
    write_variable(pin);
    const bool every = engine_.gui_notify() == GuiNotify::kEveryWrite;
    if ((changed || every) && gui_) gui_->pin_changed(pending.write_pin, false);
  }
  if (pending.event.type == kNoEvent) return;
  awake_ = true;  // an event for a sleeping instance wakes it
  clock_ = pending.event.time_stamp;
  SEEventRecord event = pending.event;
  record_->event(record_->instance, &event);
}

void Instance::process_block(uint32_t block_start, int count) {
  const uint32_t end = block_start + static_cast<uint32_t>(count);
  if (queue_.empty()) {  // the common case: one call for the whole block, or none
    if (awake_ && process_) {
      clock_ = block_start;
      ++process_calls_;
      process_(record_->instance, 0, count);
    }
    clock_ = end;
    return;
  }
  uint32_t pos = block_start;
  while (pos < end) {
    // Everything due by now. Events a module posted into the part of the
    // block that its last process call covered arrive here, late, with the
    // clock set to their own time stamp.
    while (!queue_.empty() && queue_.begin()->first <= pos) {
      auto node = queue_.extract(queue_.begin());
      deliver(node.mapped());
    }
    uint32_t next = end;
    if (!queue_.empty() && queue_.begin()->first < end) next = queue_.begin()->first;
    if (awake_ && process_) {
      clock_ = pos;
      ++process_calls_;
      process_(record_->instance, static_cast<int32_t>(pos - block_start),
               static_cast<int32_t>(next - pos));
    }
    pos = next;
  }
  clock_ = end;
}

// ---- Engine ---------------------------------------------------------------

Engine::Engine(float sample_rate, int block_size)
    : sample_rate_(sample_rate), block_size_(block_size) {
  if (!(sample_rate > 0.0f)) throw HostError("the sample rate must be above 0");
  if (block_size <= 0) throw HostError("the block size must be at least 1");
}

Engine::~Engine() = default;

Instance& Engine::add(const std::string& name, const std::string& library_path,
                      std::optional<int> pin_count, int extra_repeats) {
  for (const auto& existing : instances_) {
    if (existing->name() == name) throw HostError("two modules are named \"" + name + "\"");
  }
  auto& library = libraries_[library_path];
  if (!library) library = std::make_shared<PluginLibrary>(library_path);
  instances_.push_back(std::make_unique<Instance>(*this, name, library, next_instance_number_++,
                                                  pin_count, extra_repeats));
  order_valid_ = false;
  all_open_ = false;
  return *instances_.back();
}

Instance& Engine::instance(const std::string& name) {
  for (const auto& existing : instances_) {
    if (existing->name() == name) return *existing;
  }
  throw HostError("there is no module named \"" + name + "\"");
}

void Engine::connect(Instance& from, int from_pin, Instance& to, int to_pin) {
  HostPin& out = from.pins().at(from_pin);
  HostPin& in = to.pins().at(to_pin);
  const std::string what =
      "cannot connect " + from.name() + "." + out.name + " to " + to.name() + "." + in.name + ": ";
  if (out.direction != DR_OUT) throw HostError(what + out.name + " is not an output");
  if (in.direction == DR_OUT) throw HostError(what + in.name + " is not an input");
  const bool midi = out.datatype == DT_MIDI_STREAM && in.datatype == DT_MIDI_STREAM;
  const bool samples = out.datatype == DT_FSAMPLE && in.datatype == DT_FSAMPLE;
  if (!midi && !samples) throw HostError(what + "only MIDI to MIDI and signal to signal connect");
  if (&from == &to) throw HostError(what + "a module cannot feed itself");
  // Refused connections leave nothing behind: the loop check runs on the
  // list with the new connection, and the pins are marked only once it is kept.
  connections_.push_back({&from, from_pin, &to, to_pin});
  try {
    processing_order();  // throws when the new connection closes a loop
  } catch (...) {
    connections_.pop_back();
    throw;
  }
  out.connected = true;
  in.connected = true;
  order_valid_ = false;
}

void Engine::schedule_midi(Instance& to, int pin, uint32_t clock, int32_t message) {
  const HostPin& p = to.pins().at(pin);
  if (p.datatype != DT_MIDI_STREAM || p.direction == DR_OUT) {
    throw HostError("pin " + to.name() + "." + p.name + " is not a MIDI input");
  }
  Instance::Pending pending;
  pending.event.time_stamp = clock;
  pending.event.type = EV_MIDI;
  pending.event.int_value = message;
  to.enqueue(pending);
}

void Engine::schedule_status(Instance& to, int pin, uint32_t clock, int32_t status) {
  const HostPin& p = to.pins().at(pin);
  if (p.processing_index < 0) return;  // nothing on the processing side to tell
  Instance::Pending pending;
  pending.event.time_stamp = clock;
  pending.event.type = EV_PIN_STATUS;
  pending.event.int_value = status;
  pending.event.ptr = p.processing_index;
  to.enqueue(pending);
}

// A write of host pin `pin` at `clock`, told to the processing side (when
// the pin has one there) as a one-shot status; the caller fills in the value.
Instance::Pending Engine::pin_write(const HostPin& p, int pin, uint32_t clock) {
  Instance::Pending pending;
  pending.event.time_stamp = clock;
  pending.event.type = p.processing_index >= 0 ? EV_PIN_STATUS : kNoEvent;
  pending.event.int_value = ST_ONE_OFF;
  pending.event.ptr = p.processing_index;
  pending.write_pin = pin;
  return pending;
}

void Engine::schedule_value(Instance& to, int pin, uint32_t clock, double value) {
  HostPin& p = to.pins().at(pin);
  if (p.datatype == DT_MIDI_STREAM || p.datatype == DT_STRING) {
    throw HostError("pin " + to.name() + "." + p.name + " holds no number");
  }
  const std::string misfit = value_misfit(p, value);
  if (!misfit.empty()) {
    throw HostError("module \"" + to.name() + "\" pin \"" + p.name + "\": " + misfit);
  }
  if (p.datatype == DT_FSAMPLE) {
    // A signal input: a step in its signal (which sends the status).
    Signal& s = signals_[{&to, pin}];
    if (s.points.empty()) s.initial = to_float(p.value);
    Signal::Point point;
    point.at = clock;
    point.value = to_float(value);
    s.points.insert(std::upper_bound(s.points.begin(), s.points.end(), point,
                                     [](const auto& a, const auto& b) { return a.at < b.at; }),
                    point);
    schedule_status(to, pin, clock, ST_ONE_OFF);
    return;
  }
  Instance::Pending pending = pin_write(p, pin, clock);
  pending.value = value;
  to.enqueue(pending);
}

void Engine::schedule_text(Instance& to, int pin, uint32_t clock, const std::string& text) {
  const HostPin& p = to.pins().at(pin);
  if (p.datatype != DT_STRING || p.direction == DR_OUT) {
    throw HostError("pin " + to.name() + "." + p.name + " is not a text input");
  }
  Instance::Pending pending = pin_write(p, pin, clock);
  pending.is_text = true;
  pending.text = text;
  to.enqueue(pending);
}

void Engine::schedule_typing(Instance& to, uint32_t clock, const std::string& text) {
  if (!to.has_gui()) throw HostError("module \"" + to.name() + "\" has no panel to type into");
  PanelInput input;
  input.instance = &to;
  input.text = text;
  panel_inputs_.emplace(clock, std::move(input));
}

void Engine::schedule_mouse(Instance& to, uint32_t clock, int opcode, int x, int y, int flags) {
  if (!to.has_gui()) throw HostError("module \"" + to.name() + "\" has no panel to click on");
  PanelInput input;
  input.instance = &to;
  input.typing = false;
  input.opcode = opcode;
  input.x = x;
  input.y = y;
  input.flags = flags;
  panel_inputs_.emplace(clock, std::move(input));
}

std::optional<uint32_t> Engine::next_scheduled_clock() const {
  std::optional<uint32_t> next;
  auto consider = [&next](uint32_t clock) {
    if (!next || clock < *next) next = clock;
  };
  if (!panel_inputs_.empty()) consider(panel_inputs_.begin()->first);
  for (const auto& instance : instances_) {
    if (!instance->queue_.empty()) consider(instance->queue_.begin()->first);
  }
  return next;
}

void Engine::set_signal(Instance& to, int pin, const Signal& signal) {
  const HostPin& p = to.pins().at(pin);
  if (p.datatype != DT_FSAMPLE || p.direction == DR_OUT) {
    throw HostError("pin " + to.name() + "." + p.name + " is not a signal input");
  }
  signals_[{&to, pin}] = signal;
  if (!signal.samples.empty()) {
    schedule_status(to, pin, signal.table_at, ST_RUN);
    schedule_status(to, pin, signal.table_at + uint32_t(signal.samples.size()), ST_ONE_OFF);
  }
  for (const Signal::Point& point : signal.points) {
    schedule_status(to, pin, point.at, point.ramp ? ST_RUN : ST_ONE_OFF);
    if (point.ramp) schedule_status(to, pin, point.until, ST_ONE_OFF);
  }
}

void Engine::record(Instance& from, int pin) {
  const HostPin& p = from.pins().at(pin);
  if (p.datatype != DT_FSAMPLE) {
    throw HostError("pin " + from.name() + "." + p.name + " carries no signal to record");
  }
  recordings_[{&from, pin}];
}

const std::vector<float>& Engine::recorded(Instance& from, int pin) const {
  auto it = recordings_.find({&from, pin});
  if (it == recordings_.end()) throw HostError("pin " + from.name() + " was not recorded");
  return it->second;
}

void Engine::on_output(Instance& from, int processing_index, OutputEvent::Kind kind, uint32_t clock,
                       int32_t value) {
  const int pin = from.host_pin_of_processing(processing_index);
  OutputEvent out;
  out.clock = clock;
  out.module = from.name();
  out.pin = pin >= 0 ? from.pins()[pin].name : "#" + std::to_string(processing_index);
  out.kind = kind;
  out.value = value;
  output_events_.push_back(out);
  if (pin < 0) return;
  for (const Connection& c : connections_) {
    if (c.from != &from || c.from_pin != pin) continue;
    if (kind == OutputEvent::kMidi) {
      schedule_midi(*c.to, c.to_pin, clock, value);
    } else {
      schedule_status(*c.to, c.to_pin, clock, value);
    }
  }
}

std::vector<Instance*> Engine::processing_order() const {
  // Senders before receivers; otherwise in the order the modules were added.
  std::vector<Instance*> order;
  std::vector<Instance*> left;
  for (const auto& instance : instances_) left.push_back(instance.get());
  while (!left.empty()) {
    auto ready = std::find_if(left.begin(), left.end(), [&](Instance* candidate) {
      return std::none_of(connections_.begin(), connections_.end(), [&](const Connection& c) {
        return c.to == candidate && std::find(left.begin(), left.end(), c.from) != left.end();
      });
    });
    if (ready == left.end()) {
      throw HostError("the connections form a loop through module \"" + left.front()->name() +
                      "\"");
    }
    order.push_back(*ready);
    left.erase(ready);
  }
  return order;
}

void Engine::note_panel_text(const Instance& instance, int pin) {
  const HostPin& p = instance.pins().at(pin);
  panel_texts_.push_back({clock_, instance.name(), p.name, p.text});
}

void Engine::fill_inputs(Instance& instance, uint32_t block_start, int count) {
  auto& pins = instance.pins();
  for (const int k : instance.signal_inputs_) {
    HostPin& pin = pins[k];
    if (pin.connected) {
      std::fill(pin.buffer.begin(), pin.buffer.begin() + count, 0.0f);
      for (const Connection& c : connections_) {
        if (c.to != &instance || c.to_pin != k) continue;
        const std::vector<float>& source = c.from->pins()[c.from_pin].buffer;
        for (int n = 0; n < count; ++n) pin.buffer[n] += source[n];
      }
      continue;
    }
    auto signal = signals_.find({&instance, k});
    if (signal != signals_.end()) {
      for (int n = 0; n < count; ++n) pin.buffer[n] = signal->second.at(block_start + n);
    }
  }
}

void Engine::run(uint32_t samples) {
  if (!all_open_) {
    for (auto& instance : instances_) instance->open();
    all_open_ = true;
  }
  if (!order_valid_) {
    order_ = processing_order();
    order_valid_ = true;
  }
  while (samples > 0) {
    const int count = static_cast<int>(std::min<uint32_t>(samples, block_size_));
    block_start_ = clock_;
    while (!panel_inputs_.empty() && panel_inputs_.begin()->first <= clock_) {
      auto node = panel_inputs_.extract(panel_inputs_.begin());
      const PanelInput& input = node.mapped();
      if (input.typing) {
        input.instance->gui()->type_into_edit(input.text);
      } else {
        input.instance->gui()->mouse(input.opcode, input.x, input.y, input.flags);
      }
    }
    for (Instance* instance : order_) {
      if (!instance->signal_inputs_.empty()) fill_inputs(*instance, clock_, count);
      if (instance->queue_.empty() && !instance->awake_) {
        instance->clock_ = clock_ + static_cast<uint32_t>(count);  // asleep: nothing to do
      } else {
        instance->process_block(clock_, count);
      }
      if (instance->has_gui() &&
          (!instance->to_gui_.empty() || instance->gui()->has_pending_to_dsp())) {
        instance->gui()->deliver_messages();
      }
      if (recordings_.empty()) continue;
      for (auto& [key, samples_kept] : recordings_) {
        if (key.first != instance) continue;
        const std::vector<float>& buffer = instance->pins()[key.second].buffer;
        samples_kept.insert(samples_kept.end(), buffer.begin(), buffer.begin() + count);
      }
    }
    clock_ += static_cast<uint32_t>(count);
    samples -= static_cast<uint32_t>(count);
  }
}

}  // namespace plughost
