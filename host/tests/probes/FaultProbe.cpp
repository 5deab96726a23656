// A deliberately faulty plug-in for the tests of plughost validate, built
// three times: FAULT_PROBE_CRASH writes through a null pointer,
// FAULT_PROBE_HANG loops for ever, FAULT_PROBE_NAN sends NaN from then on.
// Each fault strikes at a note-on (velocity above 0), so that it
// depends on the seeded random events: the crash and the hang only in
// blocks of 3 samples.
//
// Pins: "MIDI In", "Signal In" (copied to "Signal Out"), "Signal Out".
#include <limits>

#include "se_sdk2/SEModule_base.h"
#include "se_sdk2/se_entry.h"

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
#endif
      default:
        return false;
    }
  }

  void Open() override {
    SEModule_base::Open();
    SetProcessFunction(&FaultProbe::Copy);
  }

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
};

const se::ModuleDescription kDescription{"Fault Probe", "validate fault probe",
                                         "a plug-in with a deliberate fault", false};

}  // namespace

SE_DECLARE_MODULE(FaultProbe, kDescription)
