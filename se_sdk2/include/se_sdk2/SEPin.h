// One pin of a processing instance, as the module sees it. SEModule_base
// builds one per host pin in Open and destroys them with the instance.
#pragma once

#include <cstdint>

#include "se_sdk2/se_types.h"

class SEModule_base;

class SEPin {
 public:
  // A pin that the construction walk did not reach stays in this state: no
  // owner, no variable. Every operation on it does nothing and answers 0.
  SEPin() = default;
  SEPin(const SEPin&) = delete;
  SEPin& operator=(const SEPin&) = delete;

  // Called by SEModule_base::Open. variable is the module's field for the
  // pin's value, or null to use the pin's own storage (DT_FSAMPLE: the buffer
  // pointer answered by host opcode 7).
  void Init(SEModule_base* module, int pin_index, int datatype, void* variable);

  // Host opcode 4: sends a packed MIDI message at sampleclock, which must not
  // lie before the module's current sample clock.
  void SendMidi(unsigned sampleclock, int message);
  // Host opcode 0: the output's status from sampleclock on.
  void SendStatus(unsigned sampleclock, int status);
  // Host opcode 1.
  bool IsConnected();
  // DT_FSAMPLE inputs: the sample at the module's current sample clock.
  float CurrentSample();

  int getPinIndex() const { return m_pin_index; }
  int getStatus() const { return m_status; }
  void setStatus(int status) { m_status = status; }
  void* GetVariableAddress() const { return m_variable; }
  SEModule_base* getModule() const { return m_module; }
  int getDataType() const { return m_datatype; }
  bool IsInitialised() const { return m_module != nullptr; }

 private:
  void* m_variable = nullptr;         // where the pin's value lives (module field or m_own)
  SEModule_base* m_module = nullptr;  // owner; null while uninitialised
  int m_pin_index = 0;                // index in the owner's m_pins
  int m_status = ST_STOP;             // last delivered status
  int m_datatype = 0;                 // DT_*
  union {                             // own storage when the module gave no variable
    int16_t choice;
    uint8_t on_off;
    float f;
    int32_t i;
    float* samples;
  } m_own{};
};
