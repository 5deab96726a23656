#include "se_sdk2/SEModule_base.h"

#include <cstring>
#include <new>

namespace {

#if SE_SDK_REVISION >= 2230
// Opcode 13's answer: one record per library, rewritten by every call.
SEProcessReferenceAnswer g_process_reference_answer;
#endif

#if SE_SDK_REVISION < 2230
// EV_CALL_MEMBER's heap record: the object and the routine to call on it.
// Allocated by PostCall, released by the OnEvent that runs it.
struct CallMemberRecord {
  SEModule_base* object;
  SEModule_base::CallRoutine routine;
};
#endif

template <class Routine>
SEProcessEntry process_entry_of(Routine routine, const SEModule_base* self) {
  ptrdiff_t adjustment = 0;
  const void* code = se::code_address(routine, self, &adjustment);
  SE_PRECONDITION(adjustment == 0);
  return reinterpret_cast<SEProcessEntry>(const_cast<void*>(code));
}

}  // namespace

SEModule_base::SEModule_base(HostCallback callback, intptr_t host_word) : m_callback(callback) {
  std::memset(&m_record, 0, sizeof m_record);
  m_record.magic = SE_MODULE_MAGIC;
  m_record.version = 1;
  m_record.host_word = host_word;
  m_record.instance = this;
  m_record.dispatcher = &SEModule_base::DispatcherEntry;
  m_record.event = &SEModule_base::EventEntry;
#if SE_SDK_REVISION >= 2230
  m_process_ref = &SEModule_base::EmptyProcess;
#endif
  m_record.process = process_entry_of(&SEModule_base::EmptyProcess, this);
}

SEModule_base::~SEModule_base() {
  delete[] m_pins;
  m_pins = nullptr;
  m_pin_count = 0;
}

// ---- record entries -------------------------------------------------------

intptr_t SEModule_base::DispatcherEntry(SEModuleRecord* record, int32_t opcode, int32_t index,
                                        int32_t value, void* data, float opt) {
  try {
    return FromRecord(record)->Dispatch(opcode, index, value, data, opt);
  } catch (...) {
    return 0;  // nothing crosses the boundary
  }
}

void SEModule_base::EventEntry(void* instance, SEEventRecord* event) {
  try {
    static_cast<SEModule_base*>(instance)->OnEvent(event);
  } catch (...) {
  }
}

// ---- dispatcher -----------------------------------------------------------

intptr_t SEModule_base::Dispatch(int opcode, int index, int value, void* data, float opt) {
  switch (opcode) {
    case se::kOpOpen:
      // Open once: a second Open would build a second pin array over the
      // first, leaking it and leaving the module's SEPin pointers dangling,
      // and run the module's own Open again. Refused; the pins stay.
      SE_PRECONDITION(!m_opened);
      if (m_opened) return 0;
      m_opened = true;
      Open();
      return 0;
    case se::kOpClose:
      Close();
      delete this;
      return 1;
    case se::kOpSampleRate:
      SetSampleRate(opt);
      return 0;
    case se::kOpBlockSize:
      SetBlockSize(value);
      return 0;
    case se::kOpPinProperties: {
      auto* ptr = static_cast<SEPinProperties*>(data);
      if (!ptr || !GetPinProperties(index, ptr)) return 0;
      // An input pin stored with the patch must be private or a
      // UI-communication pin.
      SE_PRECONDITION_TEXT((ptr->flags & IO_PATCH_STORE) == 0 || (ptr->flags & IO_PRIVATE) != 0 ||
                               ptr->direction == DR_OUT || (ptr->flags & IO_UI_COMMUNICATION) != 0,
                           "(((SEPinProperties*)ptr)->flags & IO_PATCH_STORE) == 0 || "
                           "(((SEPinProperties*)ptr)->flags & IO_PRIVATE) != 0 || "
                           "((SEPinProperties*)ptr)->direction == DR_OUT || "
                           "( ( (SEPinProperties*)ptr)->flags & IO_UI_COMMUNICATION) != 0");
      return 1;
    }
    case se::kOpReserved14:
      Reserved14();
#if SE_SDK_REVISION >= 2230
      if (index > 0) Reserved15(index);
#endif
      return 0;
    case se::kOpGuiMessage:
#if SE_SDK_REVISION >= 2230
      OnGuiMessage(value, index, data);
#else
      OnGuiMessage(index, data);
#endif
      return 0;
#if SE_SDK_REVISION >= 2230
    case se::kOpProcessReference:
      g_process_reference_answer.one = 1;
      g_process_reference_answer.size = static_cast<int32_t>(sizeof m_process_ref);
      g_process_reference_answer.address = &m_process_ref;
      g_process_reference_answer.zero = 0;
      return reinterpret_cast<intptr_t>(&g_process_reference_answer);
#endif
    default:
      return 0;
  }
}

// ---- pins -----------------------------------------------------------------

void SEModule_base::Open() {
  if (m_pins) return;  // built already (a module calling the base Open twice)
  const intptr_t host_count = HostCall(se::kHostPinCount);
  const int count = host_count > 0 ? static_cast<int>(host_count) : 0;
  if (count == 0) return;
  // Default-constructed pins are inert until initialised.
  m_pins = new (std::nothrow) SEPin[count];
  if (!m_pins) return;
  m_pin_count = count;

  SEPinProperties properties;
  int i = 0;
  int j = 0;
  const auto query = [&](int entry) {
    std::memset(&properties, 0, sizeof properties);
    return GetPinProperties(entry, &properties);
  };
#if SE_SDK_REVISION >= 2230
  // UI-communication pins without IO_UI_DUAL get no processing-side pin;
  // later pins shift down.
  const auto qualifies = [&] {
    return (properties.flags & IO_UI_COMMUNICATION) == 0 || (properties.flags & IO_UI_DUAL) != 0;
  };
#else
  const auto qualifies = [] { return true; };
#endif
  while (i < count && query(j)) {
    if (qualifies()) {
      m_pins[i].Init(this, i, properties.datatype, properties.variable_address);
      ++i;
    }
    ++j;
  }
  // The last declared pin may stand for every further host pin.
  if (j > 0 && i < count && query(j - 1) && qualifies() &&
      (properties.flags & IO_REPEAT_LAST) != 0) {
    for (; i < count; ++i) m_pins[i].Init(this, i, properties.datatype, nullptr);
  }
  // Pins still not reached stay inert.
}

SEPin* SEModule_base::GetPin(int i) {
  if (m_pins && i >= 0 && i < m_pin_count) return m_pins + i;
  if (!m_pins) {
    SE_PRECONDITION(m_pins != 0);
  } else {
    SE_PRECONDITION_TEXT(false, "i >= 0 && i < m_pin_count");
  }
  // Whatever the module did with it last time, it reads as a fresh pin.
  m_inert_pin.setStatus(ST_STOP);
  return &m_inert_pin;
}

// ---- events ---------------------------------------------------------------

void SEModule_base::OnEvent(SEEventRecord* e) {
  SE_PRECONDITION(e->time_stamp == SampleClock());
  switch (e->type) {
    case EV_PIN_STATUS: {
      const intptr_t pin_index = e->ptr;
      // A host naming a pin this instance does not have must not make the
      // module write outside its pin array.
      SE_PRECONDITION_TEXT(pin_index >= 0 && pin_index < m_pin_count,
                           "pin_index >= 0 && pin_index < m_pin_count");
      if (pin_index < 0 || pin_index >= m_pin_count) return;
      SEPin* pin = GetPin(static_cast<int>(pin_index));
      if (!pin->IsInitialised()) return;
      pin->setStatus(e->int_value);
      OnPinStatusChange(pin);
      if (e->int_value == ST_ONE_OFF) pin->setStatus(ST_STOP);
      return;
    }
    case EV_MIDI:
      OnMidiMessage(e->time_stamp, e->int_value, static_cast<short>(e->int_value2 & 0xFFFF));
      return;
#if SE_SDK_REVISION >= 2230
    case EV_CALL_FUNCTION:
      if (e->ptr) se::call_member(reinterpret_cast<const void*>(e->ptr), this);
      return;
#else
    case EV_CALL_MEMBER: {
      auto* call = reinterpret_cast<CallMemberRecord*>(e->ptr);
      if (!call) return;
      (call->object->*call->routine)();
      delete call;
      e->ptr = 0;
      return;
    }
#endif
    default:  // other types carry nothing for the module
      return;
  }
}

void SEModule_base::PostEvent(unsigned p_time_stamp, int type, int value, int value2,
                              intptr_t ptr) {
  SE_PRECONDITION(p_time_stamp >= SampleClock());
  SEEventRecord event{};
  event.time_stamp = p_time_stamp;
  event.type = type;
  event.int_value = value;
  event.int_value2 = value2;
  event.ptr = ptr;
  event.next = nullptr;
  HostCall(se::kHostPostEvent, 0, 0, &event);  // the host copies it during the call
}

void SEModule_base::PostCallRoutine(unsigned p_time_stamp, CallRoutine routine) {
#if SE_SDK_REVISION >= 2230
  PostEvent(p_time_stamp, EV_CALL_FUNCTION, 0, 0,
            reinterpret_cast<intptr_t>(se::code_address(routine, this)));
#else
  SE_PRECONDITION(p_time_stamp >= SampleClock());
  auto* call = new (std::nothrow) CallMemberRecord{this, routine};
  auto* event = new (std::nothrow) SEEventRecord{};
  if (!call || !event) {
    delete call;
    delete event;
    return;
  }
  event->time_stamp = p_time_stamp;
  event->type = EV_CALL_MEMBER;
  event->ptr = reinterpret_cast<intptr_t>(call);
  HostCall(se::kHostPostEvent, 0, 0, event);
  delete event;  // the host copied it; the call record goes with the delivered event
#endif
}

// ---- process routines -----------------------------------------------------

void SEModule_base::SetProcessRoutine(ProcessRoutine routine) {
#if SE_SDK_REVISION >= 2230
  if (routine == m_process_ref) return;  // the host is told only of real changes
  m_process_ref = routine;
#endif
  m_record.process = process_entry_of(routine, this);
  HostCall(se::kHostProcessChanged);
}

void SEModule_base::EmptyProcess(int, int) {}

void SEModule_base::SleepProcess(int, int) {
  RequestSleep();
}

// ---- host services --------------------------------------------------------

intptr_t SEModule_base::HostCall(int opcode, int index, int value, void* data, float opt) {
  if (!m_callback) return 0;
  return m_callback(&m_record, opcode, index, value, data, opt);
}

unsigned SEModule_base::SampleClock() {
  return static_cast<unsigned>(HostCall(se::kHostSampleClock));
}

void SEModule_base::RequestSleep() {
  HostCall(se::kHostSleep);
}

// ---- base behaviour of the virtual operations -----------------------------

void SEModule_base::OnPinStatusChange(SEPin*) {}
void SEModule_base::Close() {}
void SEModule_base::Reserved6() {}
void SEModule_base::SetSampleRate(float rate) {
  m_sample_rate = rate;
}
void SEModule_base::SetBlockSize(int size) {
  m_block_size = size;
}
float SEModule_base::GetSampleRate() {
  return m_sample_rate;
}
int SEModule_base::GetBlockSize() {
  return m_block_size;
}
bool SEModule_base::GetPinProperties(int, SEPinProperties*) {
  return false;
}
bool SEModule_base::Reserved12() {
  return false;
}
bool SEModule_base::Reserved13() {
  return false;
}
void SEModule_base::Reserved14() {}
#if SE_SDK_REVISION >= 2230
void SEModule_base::Reserved15(int) {}
void SEModule_base::OnMidiMessage(unsigned, int, short) {}
void SEModule_base::OnGuiMessage(int, int, void*) {}
#else
void SEModule_base::OnMidiMessage(unsigned, int, short) {}
void SEModule_base::OnGuiMessage(int, void*) {}
#endif
