// A deliberately faulty plug-in for the tests of plughost validate, built
// once per fault: FAULT_PROBE_CRASH writes through a null pointer,
// FAULT_PROBE_HANG loops for ever, FAULT_PROBE_NAN sends NaN from then on.
// Each of these strikes at a note-on (velocity above 0), so that it
// depends on the seeded random events: the crash and the hang only in
// blocks of 3 samples. FAULT_PROBE_LATE sends MIDI before its clock,
// FAULT_PROBE_PINS declares faulty pins. FAULT_PROBE_PRECONDITION violates
// a framework precondition while an instance is made and another while it
// is torn down; FAULT_PROBE_STALE_WINDOW has a GUI object that keeps the
// handle of its child window after the panel window is destroyed;
// FAULT_PROBE_SHARED_GUI has a GUI object that counts clicks in one counter
// for every instance of the library and shows it on a GUI pin;
// FAULT_PROBE_PING_PONG has a GUI object that answers every notice of a
// change of one of its two GUI pins by writing a new value to the other, for
// ever, starting when it is opened.
//
// Pins: "MIDI In", "Signal In" (copied to "Signal Out"), "Signal Out".
#include <limits>

#include "se_sdk2/SEModule_base.h"
#include "se_sdk2/se_entry.h"
#if defined(FAULT_PROBE_STALE_WINDOW) || defined(FAULT_PROBE_SHARED_GUI) || \
    defined(FAULT_PROBE_PING_PONG)
#define FAULT_PROBE_HAS_GUI 1
#include "platform/win32.h"
#include "se_sdk2/SEGuiModule_base.h"
#endif

namespace {

class FaultProbe : public SEModule_base {
 public:
  FaultProbe(HostCallback callback, intptr_t host_word) : SEModule_base(callback, host_word) {}

  bool GetPinProperties(int index, SEPinProperties* p) override {
    switch (index) {
      case 0:
        p->name = "MIDI In";
        p->direction = DR_IN;
        p->datatype = DT_MIDI_STREAM;
        return true;
      case 1:
        p->name = "Signal In";
        p->direction = DR_IN;
        p->datatype = DT_FSAMPLE;
        p->variable_address = &m_in;
        return true;
      case 2:
        p->name = "Signal Out";
        p->direction = DR_OUT;
        p->datatype = DT_FSAMPLE;
        p->variable_address = &m_out;
        return true;
      case 3:
        p->name = "MIDI Out";
        p->direction = DR_OUT;
        p->datatype = DT_MIDI_STREAM;
        return true;
#if defined(FAULT_PROBE_PINS)
      case 4:
        p->name = "Mode";
        p->direction = DR_IN;
        p->datatype = DT_CHOICE;
        p->datatype_extra = "slow,,fast";
        p->flags = 0x40;
        return true;
      case 5:
        p->name = "Stored";
        p->direction = DR_IN;
        p->datatype = DT_INT32;
        p->flags = IO_PATCH_STORE;
        return true;
#elif defined(FAULT_PROBE_SHARED_GUI)
      case 4:
        p->name = "Clicks";
        p->direction = DR_OUT;
        p->datatype = DT_INT32;
        p->flags = IO_UI_COMMUNICATION;
        return true;
#elif defined(FAULT_PROBE_PING_PONG)
      case 4:
      case 5:
        p->name = index == 4 ? "Ping" : "Pong";
        p->direction = DR_IN;
        p->datatype = DT_INT32;
        p->flags = IO_UI_COMMUNICATION;
        return true;
#endif
      default:
        return false;
    }
  }

  void Open() override {
    SEModule_base::Open();
    SetProcessFunction(&FaultProbe::Copy);
  }

#if defined(FAULT_PROBE_PRECONDITION)
  // Takes its output pin as soon as the host gives the block size, which a
  // host does while making the instance, before Open has built the pins.
  void SetBlockSize(int size) override {
    SEModule_base::SetBlockSize(size);
    m_early_pin = GetPin(0);
  }
  // Stops every pin the host says it has through the framework's event
  // entry, trusting the host's count rather than its own: an instance never
  // opened has no pins, so the framework refuses pin 0.
  void Close() override {
    const int count = static_cast<int>(HostCall(se::kHostPinCount));
    for (int k = 0; k < count; ++k) {
      SEEventRecord stop{};
      stop.time_stamp = SampleClock();
      stop.type = EV_PIN_STATUS;
      stop.int_value = ST_STOP;
      stop.ptr = k;
      SEModule_base::OnEvent(&stop);
    }
    SEModule_base::Close();
  }
#endif

  void OnMidiMessage(unsigned time_stamp, int message, short) override {
    (void)time_stamp;  // only the late probe uses it
    const bool note_on = (message & 0xF0) == 0x90 && ((message >> 16) & 0x7F) > 0;
    if (!note_on) return;
#if defined(FAULT_PROBE_CRASH)
    if (GetBlockSize() == 3) {
      volatile int* nowhere = nullptr;
      *nowhere = 1;
    }
#elif defined(FAULT_PROBE_HANG)
    if (GetBlockSize() == 3) {
      volatile unsigned spin = 0;
      for (;;) spin = spin + 1;
    }
#elif defined(FAULT_PROBE_LATE)
    if (time_stamp > 0) GetPin(3)->SendMidi(time_stamp - 1, message);
#elif defined(FAULT_PROBE_NAN)
    m_broken = true;
#endif
  }

  void Copy(int offset, int count) {
    for (int k = offset; k < offset + count; ++k) {
      m_out[k] = m_broken ? std::numeric_limits<float>::quiet_NaN() : m_in[k];
    }
  }

 private:
  float* m_in = nullptr;
  float* m_out = nullptr;
  bool m_broken = false;
#if defined(FAULT_PROBE_PRECONDITION)
  SEPin* m_early_pin = nullptr;
#endif
};

#if defined(FAULT_PROBE_STALE_WINDOW)
// Makes its edit window in the panel window the first time the panel is
// shown and keeps the handle for good: shown again in a new panel window
// (the old one destroyed with its children), it goes on with the dead
// handle and the new panel stays empty.
class StaleWindowEditor : public SEGuiModule_base {
 public:
  StaleWindowEditor(GuiHostCallback callback, intptr_t host_word)
      : SEGuiModule_base(callback, host_word) {
    HostCall(se::kGuiHostPanelSize, 120, 80);
  }
  ~StaleWindowEditor() override {
    if (m_edit && IsWindow(m_edit)) DestroyWindow(m_edit);
  }

  void OnWindowOpen(SEWndInfo* wi) override {
    if (!wi) return;
    if (!m_edit) {
      HWND parent = reinterpret_cast<HWND>(HostCall(se::kGuiHostParentWindow, wi->window_ref));
      if (!parent) return;
      m_edit = CreateWindowExA(0, "edit", "", WS_CHILD | ES_MULTILINE, 0, 0, 120, 80, parent,
                               nullptr, nullptr, nullptr);
    }
    ShowWindow(m_edit, SW_SHOW);
  }

 private:
  HWND m_edit = nullptr;
};
#endif

#if defined(FAULT_PROBE_SHARED_GUI)
// Counts the clicks on its panel in a counter of the library, not of the
// instance, and shows the count on the "Clicks" pin: one instance's clicks
// show on the next instance's pin.
class SharedCountEditor : public SEGuiModule_base {
 public:
  SharedCountEditor(GuiHostCallback callback, intptr_t host_word)
      : SEGuiModule_base(callback, host_word) {
    HostCall(se::kGuiHostPanelSize, 120, 80);
  }

  void OnButtonDown(SEWndInfo*, int, SEPoint) override {
    static int clicks = 0;
    GetPin(4)->SetValueInt(++clicks);
  }
};
#endif

#if defined(FAULT_PROBE_PING_PONG)
// "Ping" (pin 4) and "Pong" (pin 5) never settle: a change of one is
// answered with a new value on the other.
class PingPongEditor : public SEGuiModule_base {
 public:
  PingPongEditor(GuiHostCallback callback, intptr_t host_word)
      : SEGuiModule_base(callback, host_word) {
    HostCall(se::kGuiHostPanelSize, 120, 80);
  }

  void GuiOpen(bool flag) override {
    SEGuiModule_base::GuiOpen(flag);
    GetPin(4)->SetValueInt(++m_serve);
  }

  void OnGuiPinChanged(SEGuiPinHandle* pin) override {
    const int other = pin->getIndex() == 4 ? 5 : 4;
    GetPin(other)->SetValueInt(++m_serve);
  }

 private:
  int m_serve = 0;
};
#endif

#if defined(FAULT_PROBE_HAS_GUI)
const se::ModuleDescription kDescription{"Fault Probe", "validate fault probe",
                                         "a plug-in with a deliberate fault", true};
#else
const se::ModuleDescription kDescription{"Fault Probe", "validate fault probe",
                                         "a plug-in with a deliberate fault", false};
#endif

}  // namespace

#if defined(FAULT_PROBE_STALE_WINDOW)
SE_DECLARE_MODULE_WITH_GUI(FaultProbe, StaleWindowEditor, kDescription)
#elif defined(FAULT_PROBE_SHARED_GUI)
SE_DECLARE_MODULE_WITH_GUI(FaultProbe, SharedCountEditor, kDescription)
#elif defined(FAULT_PROBE_PING_PONG)
SE_DECLARE_MODULE_WITH_GUI(FaultProbe, PingPongEditor, kDescription)
#else
SE_DECLARE_MODULE(FaultProbe, kDescription)
#endif
