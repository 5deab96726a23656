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
      default:
        return false;
    }
  }

  void Open() override {
    SEModule_base::Open();
    SetProcessFunction(&FaultProbe::Copy);
  }

  void OnMidiMessage(unsigned, int message, short) override {
    const bool loud_note_on = (message & 0xF0) == 0x90 && ((message >> 16) & 0x7F) > 0;
    if (!loud_note_on) return;
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
#else
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
