// Divara: a keyboard split. While the gate is on, the gate passes to "Gate
// High Out" when the pitch lies above the Break Point note, and to "Gate Low
// Out" otherwise (a pitch exactly on the note routes low). When the gate
// goes off the module winds down: it tells the host its outputs have settled
// (status 1) and asks to sleep one block later. A Gate In status event with
// the gate on wakes it into running again.
//
// One source, two plug-ins: DIVARA_VARIANT 3 (five pins: gates only) and
// DIVARA_VARIANT 2 (seven pins: also "Pitch High Out" and "Pitch Low Out",
// both carrying the incoming pitch while the gate is on).
//
// Pitch convention of the host: a pitch sample s stands for 10·s volts,
// 1 volt per octave, 5 volts (s = 0.5) at 440 Hz; MIDI note n has the pitch
// 0.5 + (n - 69) / 120.
#pragma once

#include <cstdint>

#include "se_sdk2/SEModule_base.h"

#if !defined(DIVARA_VARIANT) || (DIVARA_VARIANT != 2 && DIVARA_VARIANT != 3)
#error "DIVARA_VARIANT must be 2 or 3"
#endif

class DivaraModule : public SEModule_base {
 public:
  enum Pin : int {
    kGateIn = 0,
    kPitchIn = 1,
    kBreakPoint = 2,
#if DIVARA_VARIANT == 3
    kGateHighOut = 3,
    kGateLowOut = 4,
#else
    kGateHighOut = 3,
    kPitchHighOut = 4,
    kGateLowOut = 5,
    kPitchLowOut = 6,
#endif
  };

  DivaraModule(HostCallback callback, intptr_t host_word) : SEModule_base(callback, host_word) {}

  bool GetPinProperties(int index, SEPinProperties* properties) override;
  void Open() override;
  void OnPinStatusChange(SEPin* pin) override;

  // Process routines, called by the host once per block while awake.
  void SubProcess(int buffer_offset, int sample_count);
  void SubProcessWindDown(int buffer_offset, int sample_count);

  // m_threshold from m_break_point.
  void ComputeThreshold();
  // Sends `status` on every output at the current clock: 2 enters running,
  // anything lower enters winding down.
  void SetOutputStatus(int status);

 private:
  // Routes samples [0, count) from the running positions; stops after the
  // first gate-off sample. Answers how many samples it routed.
  int Route(int count);

  int32_t m_countdown = 0;       // samples left before RequestSleep while winding down
  float* m_gate_pos = nullptr;   // running read position in m_gate_in
  float* m_gate_in = nullptr;    // "Gate In" block (host's)
  float* m_pitch_pos = nullptr;  // running read position in m_pitch_in
  float* m_pitch_in = nullptr;   // "Pitch In" block (host's)
#if DIVARA_VARIANT == 2
  float* m_pitch_low_pos = nullptr;   // running write position in m_pitch_low_out
  float* m_pitch_high_pos = nullptr;  // running write position in m_pitch_high_out
  float* m_pitch_low_out = nullptr;   // "Pitch Low Out" block
  float* m_pitch_high_out = nullptr;  // "Pitch High Out" block
#endif
  float m_threshold = 0.0f;          // pitch value above which the gate goes high
  int16_t m_break_point = 60;        // "Break Point" list index = MIDI note 0..127 (host's)
  float* m_gate_high_pos = nullptr;  // running write position in m_gate_high_out
  float* m_gate_low_pos = nullptr;   // running write position in m_gate_low_out
  float* m_gate_high_out = nullptr;  // "Gate High Out" block
  float* m_gate_low_out = nullptr;   // "Gate Low Out" block
  bool m_gate_off = false;           // the last sample routed had its gate off
  bool m_winding_down = false;       // winding down or asleep
};
