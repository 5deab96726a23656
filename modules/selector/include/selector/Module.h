// Forka: a two-way MIDI switch. Every channel message on "MIDI In" leaves,
// unchanged and at the same sample clock, on "MIDI Out1" (Choice off = 0) or
// "MIDI Out2" (Choice on = 1). The first channel message after the choice
// changed is preceded by All Notes Off on its channel on both outputs, so
// that notes begun on the formerly chosen output do not hang. System
// messages are dropped. No audio work: the module sleeps from Open on.
#pragma once

#include <cstdint>

#include "se_sdk2/SEModule_base.h"

class Module : public SEModule_base {
 public:
  enum Pin { kMidiIn = 0, kMidiOut1 = 1, kMidiOut2 = 2, kChoice = 3 };

  Module(HostCallback callback, intptr_t host_word) : SEModule_base(callback, host_word) {}

  void Open() override;
  bool GetPinProperties(int index, SEPinProperties* properties) override;
  void OnPinStatusChange(SEPin* pin) override;
  void OnMidiMessage(unsigned time_stamp, int message, short extra) override;

 private:
  // SendMidi on an output pin, when the host reported that pin.
  void Send(int pin, unsigned time_stamp, int message);

  int16_t m_choice = 0;  // "Choice": 0 routes to MIDI Out1, 1 to MIDI Out2; written by the host
  int16_t m_previous_choice = 0;  // the choice in force when the last message was routed
};
