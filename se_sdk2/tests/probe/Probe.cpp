// A plug-in built only for the framework's tests, once per revision. It
// declares a pin list that exercises the pin walk (a UI-communication pin in
// the middle, a dual one, a repeating last pin), takes commands as text
// through the GUI-message channel and reports what it sees as text through
// the GUI-bound byte channel (host opcode 17), so that tests drive it through
// a real host exactly as the host drives any module.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "se_sdk2/SEModule_base.h"
#include "se_sdk2/se_entry.h"

namespace {

class Probe : public SEModule_base {
 public:
  enum Declared { kSignalIn, kComm, kMidiIn, kMidiOut, kLevel, kSignalOut, kDual, kFile, kExtraIn };

  Probe(HostCallback callback, intptr_t host_word) : SEModule_base(callback, host_word) {}

  bool GetPinProperties(int index, SEPinProperties* p) override {
    switch (index) {
      case kSignalIn:
        return Declare(p, "Signal In", DR_IN, DT_FSAMPLE, &m_in, 0);
      case kComm:
        return Declare(p, "Comm", DR_IN, DT_INT32, &m_comm, IO_UI_COMMUNICATION);
      case kMidiIn:
        return Declare(p, "MIDI In", DR_IN, DT_MIDI_STREAM, nullptr, 0);
      case kMidiOut:
        return Declare(p, "MIDI Out", DR_OUT, DT_MIDI_STREAM, nullptr, 0);
      case kLevel:
        return Declare(p, "Level", DR_IN, DT_FLOAT32, &m_level, 0);
      case kSignalOut:
        return Declare(p, "Signal Out", DR_OUT, DT_FSAMPLE, &m_out, 0);
      case kDual:
        return Declare(p, "Dual", DR_IN, DT_INT32, &m_dual, IO_UI_COMMUNICATION | IO_UI_DUAL);
      case kFile:
        Declare(p, "File", DR_IN, DT_STRING, nullptr, IO_FILE_NAME);
        p->datatype_extra = "txt;*.syx";
        return true;
      case kExtraIn:
        return Declare(p, "Extra In", DR_IN, DT_FSAMPLE, nullptr, IO_REPEAT_LAST);
      case 99:  // off the list: an input stored with the patch that is neither private nor UI
        return Declare(p, "Bad Store", DR_IN, DT_INT32, nullptr, IO_PATCH_STORE);
      default:
        return false;
    }
  }

  void OnPinStatusChange(SEPin* pin) override {
    std::string text = "status pin=" + std::to_string(pin->getPinIndex()) +
                       " value=" + std::to_string(pin->getStatus());
    if (pin->getDataType() == DT_FSAMPLE) {
      char sample[48];
      std::snprintf(sample, sizeof sample, " sample=%.9g", double(pin->CurrentSample()));
      text += sample;
    }
    Report(text);
  }

  void OnMidiMessage(unsigned time_stamp, int message, short extra) override {
    char text[80];
    std::snprintf(text, sizeof text, "midi %u %08X %d", time_stamp, unsigned(message), extra);
    Report(text);
  }

  void Reserved14() override { Report("reserved14"); }
#if SE_SDK_REVISION >= 2230
  void Reserved15(int index) override {
    Report("reserved15 " + std::to_string(index));
  }
  void OnGuiMessage(int value, int size, void* data) override {
    Report("gui value=" + std::to_string(value));
    Command(std::string(static_cast<const char*>(data), size));
  }
#else
  void OnGuiMessage(int size, void* data) override {
    Command(std::string(static_cast<const char*>(data), size));
  }
#endif

  void ReportProcess(int offset, int count) {
    Report("process " + std::to_string(offset) + " " + std::to_string(count) + " " +
           std::to_string(SampleClock()));
  }
  void CopyProcess(int offset, int count) {
    for (int k = offset; k < offset + count; ++k) m_out[k] = m_in[k] + m_level;
  }
  void Called() {
    Report("called " + std::to_string(SampleClock()));
  }

 private:
  static bool Declare(SEPinProperties* p, const char* name, int direction, int datatype,
                      void* variable, int flags) {
    p->name = name;
    p->direction = direction;
    p->datatype = datatype;
    p->variable_address = variable;
    p->flags = flags;
    p->default_value = datatype == DT_FLOAT32 ? "0.25" : nullptr;
    return true;
  }

  void Report(const std::string& text) {
    HostCall(se::kHostSendToGui, static_cast<int>(text.size()), 0, const_cast<char*>(text.data()));
  }

  std::string VariableName(const void* address) const {
    if (address == &m_in) return "in";
    if (address == &m_comm) return "comm";
    if (address == &m_level) return "level";
    if (address == &m_out) return "out";
    if (address == &m_dual) return "dual";
    return address ? "own" : "none";
  }

  void Command(const std::string& line) {
    std::istringstream in(line);
    std::string verb;
    in >> verb;
    long a = 0, b = 0, c = 0, d = 0;
    in >> a >> b >> c >> d;
    if (verb == "sleep") {
      SetProcessFunction(&Probe::SleepProcess);
    } else if (verb == "report") {
      SetProcessFunction(&Probe::ReportProcess);
    } else if (verb == "copy") {
      SetProcessFunction(&Probe::CopyProcess);
    } else if (verb == "post_call") {
      PostCall(unsigned(a), &Probe::Called);
    } else if (verb == "post_event") {
      PostEvent(unsigned(a), int(b), int(c), 0, intptr_t(d));
    } else if (verb == "send_midi") {
      GetPin(int(c))->SendMidi(unsigned(a), int(b));
    } else if (verb == "send_status") {
      GetPin(int(a))->SendStatus(unsigned(b), int(c));
    } else if (verb == "pins") {
      std::string text = "pins " + std::to_string(GetPinCount());
      for (int i = 0; i < GetPinCount(); ++i) {
        SEPin* pin = GetPin(i);
        text += " " + std::to_string(i) + ":";
        if (!pin->IsInitialised()) {
          text += "-";
          continue;
        }
        text += std::to_string(pin->getDataType()) + ":" + VariableName(pin->GetVariableAddress());
      }
      Report(text);
    } else if (verb == "pin_status") {
      Report("pin_status " + std::to_string(a) + " " + std::to_string(GetPin(int(a))->getStatus()));
    } else if (verb == "current_sample") {
      char text[64];
      std::snprintf(text, sizeof text, "sample %ld %.9g", a,
                    double(GetPin(int(a))->CurrentSample()));
      Report(text);
    } else if (verb == "get_pin") {
      const SEPin* pin = GetPin(int(a));
      Report(std::string("get_pin ") + (!pin ? "null" : pin->IsInitialised() ? "ok" : "inert"));
    } else if (verb == "hold_pin") {  // keeps GetPin's answer, as a module may
      m_held = GetPin(int(a));
    } else if (verb == "held_is") {  // whether the kept pin is still GetPin's answer
      Report("held_is " + std::to_string(a) + (m_held == GetPin(int(a)) ? " 1" : " 0"));
    } else if (verb == "connected") {
      Report("connected " + std::to_string(a) + " " + (GetPin(int(a))->IsConnected() ? "1" : "0"));
    } else if (verb == "file_name") {
      char buffer[260];
      std::memset(buffer, 'x', sizeof buffer);
      const intptr_t answer = HostCall(se::kHostFileName, int(a), int(b), buffer);
      Report("file_name " + std::string(buffer, strnlen(buffer, sizeof buffer)) +
             (answer != 0 ? " (answer " + std::to_string(answer) + ")" : ""));
    } else if (verb == "clock") {
      Report("clock " + std::to_string(SampleClock()));
    } else if (verb == "instance") {
      Report("instance " + std::to_string(HostCall(se::kHostInstanceNumber)));
    } else if (verb == "rates") {
      char text[64];
      std::snprintf(text, sizeof text, "rates %g %d", double(GetSampleRate()), GetBlockSize());
      Report(text);
    } else {
      Report("unknown " + verb);
    }
  }

  float* m_in = nullptr;    // "Signal In" samples
  int32_t m_comm = 0;       // "Comm"
  float m_level = 0;        // "Level"
  float* m_out = nullptr;   // "Signal Out" samples
  int32_t m_dual = 0;       // "Dual"
  SEPin* m_held = nullptr;  // "hold_pin"
};

#if SE_SDK_REVISION >= 2230
const se::ModuleDescription kDescription{"Probe 2230", "SE probe 2230", "framework test probe",
                                         false};
#else
const se::ModuleDescription kDescription{"Probe 2020", "SE probe 2020", "framework test probe",
                                         false};
#endif

}  // namespace

SE_DECLARE_MODULE(Probe, kDescription)
