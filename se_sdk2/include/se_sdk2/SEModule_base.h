// Base class of every module's processing object.
//
// Lifetime: created by makeModule (kind 1), which returns the address of the
// embedded SEModuleRecord; destroyed by dispatcher opcode 1 (Close, then
// `delete this`). The host never overlaps two calls into one instance; the
// framework takes no locks.
//
// A module derives from this class with single inheritance (the framework
// calls its routines with the instance pointer unadjusted), declares its pins
// in GetPinProperties, and overrides what it needs. Its Open calls the base
// Open before touching a pin and chooses a process routine.
#pragma once

#if !defined(SE_SDK_REVISION)
#error "SE_SDK_REVISION must be 2230 or 2020 (set by the se_sdk2 library targets)"
#endif

#include <cstdint>

#include "se_sdk2/SEPin.h"
#include "se_sdk2/host_opcodes.h"
#include "se_sdk2/se_member.h"
#include "se_sdk2/se_precondition.h"
#include "se_sdk2/se_types.h"

class SEModule_base {
 public:
  // A process routine of the module: (buffer offset, sample count), called
  // once per block (or part of a block) while the instance is awake.
  using ProcessRoutine = void (SEModule_base::*)(int buffer_offset, int sample_count);
  using CallRoutine = void (SEModule_base::*)();

  SEModule_base(HostCallback callback, intptr_t host_word);
  SEModule_base(const SEModule_base&) = delete;
  SEModule_base& operator=(const SEModule_base&) = delete;

  // Virtual operations, in the host's slot order.
  virtual ~SEModule_base();
  virtual void OnPinStatusChange(SEPin* pin);
  virtual void OnEvent(SEEventRecord* e);
  virtual intptr_t Dispatch(int opcode, int index, int value, void* data, float opt);
  virtual void Open();
  virtual void Close();
  virtual void Reserved6();
  virtual void SetSampleRate(float rate);
  virtual void SetBlockSize(int size);
  virtual float GetSampleRate();
  virtual int GetBlockSize();
  // Pin list: fills pin entry `index` and answers true, or false past the end.
  virtual bool GetPinProperties(int index, SEPinProperties* properties);
  virtual bool Reserved12();
  virtual bool Reserved13();
  virtual void Reserved14();
#if SE_SDK_REVISION >= 2230
  virtual void Reserved15(int index);
  virtual void OnMidiMessage(unsigned time_stamp, int message, short extra);
  // Bytes from the GUI object (GUI host opcode 2).
  virtual void OnGuiMessage(int value, int size, void* data);
#else
  virtual void OnMidiMessage(unsigned time_stamp, int message, short extra);
  virtual void OnGuiMessage(int size, void* data);
#endif

  // The host callback with this instance's record first; 0 without a callback.
  intptr_t HostCall(int opcode, int index = 0, int value = 0, void* data = nullptr,
                    float opt = 0.0f);
  // Clock of the sample being processed, or of the event being delivered.
  unsigned SampleClock();
  // The i-th processing-side pin, for i below GetPinCount(). Never null:
  // for a pin the host did not report (it may report fewer pins than the
  // module declares, or none) the answer is this instance's inert pin, and
  // a checking build reports the precondition ("m_pins != 0" without pins,
  // "i >= 0 && i < m_pin_count" otherwise). The inert pin reads as a fresh
  // pin (status 0, no variable, not connected, samples 0) and sends
  // nothing. Valid until the instance is destroyed.
  SEPin* GetPin(int i);
  // Number of entries of m_pins (0 before Open or without pins).
  int GetPinCount() const {
    return m_pin_count;
  }
  // Whether pin i exists and the pin walk reached it: a module that may run
  // on a host reporting fewer pins than it declares asks before GetPin.
  bool HasPin(int i) const {
    return i >= 0 && i < m_pin_count && m_pins[i].IsInitialised();
  }
  void RequestSleep();
  // Posts an event to this instance at time_stamp (not before SampleClock()).
  void PostEvent(unsigned time_stamp, int type, int value, int value2, intptr_t ptr);

  // Installs a member routine of the module class as the process routine.
  template <class Module>
  void SetProcessFunction(void (Module::*routine)(int, int)) {
    SetProcessRoutine(static_cast<ProcessRoutine>(routine));
  }
  // Posts a call of a member routine of the module class at time_stamp.
  template <class Module>
  void PostCall(unsigned time_stamp, void (Module::*routine)()) {
    PostCallRoutine(time_stamp, static_cast<CallRoutine>(routine));
  }
  // The process routine whose whole body is RequestSleep.
  void SleepProcess(int buffer_offset, int sample_count);

  SEModuleRecord* GetRecord() {
    return &m_record;
  }
  static SEModule_base* FromRecord(SEModuleRecord* record) {
    return static_cast<SEModule_base*>(record->instance);
  }

 private:
  void SetProcessRoutine(ProcessRoutine routine);
  void PostCallRoutine(unsigned time_stamp, CallRoutine routine);
  void EmptyProcess(int buffer_offset, int sample_count);

  // Record entries (static trampolines that recover the instance).
  static intptr_t DispatcherEntry(SEModuleRecord* record, int32_t opcode, int32_t index,
                                  int32_t value, void* data, float opt);
  static void EventEntry(void* instance, SEEventRecord* event);

  HostCallback m_callback;         // null: every HostCall answers 0
  SEModuleRecord m_record;         // host-visible; its address is what makeModule returns
  float m_sample_rate = 44100.0f;  // Hz
  int m_block_size = 1024;         // samples

 protected:
  SEPin* m_pins = nullptr;  // owned; built by Open, m_pin_count entries

 private:
  int m_pin_count = 0;
  bool m_opened = false;  // opcode 0 was taken; a second one is refused
  SEPin m_inert_pin;      // GetPin's answer for a pin the host did not report
#if SE_SDK_REVISION >= 2230
  // The current process routine; its address and size are answered by opcode 13.
  ProcessRoutine m_process_ref;
#endif
};
