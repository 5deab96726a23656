#include "se_sdk2/SEPin.h"

#include "se_sdk2/SEModule_base.h"

void SEPin::Init(SEModule_base* module, int pin_index, int datatype, void* variable) {
  m_module = module;
  m_pin_index = pin_index;
  m_datatype = datatype;
  m_status = ST_STOP;
  m_own = {};
  m_variable = variable;
  if (variable) return;
  switch (datatype) {
    case DT_CHOICE:
    case DT_SWITCH:
    case DT_FLOAT32:
    case DT_INT32:
      m_variable = &m_own;
      break;
    case DT_FSAMPLE:
      m_own.samples = reinterpret_cast<float*>(module->HostCall(se::kHostGetBuffer, pin_index));
      m_variable = &m_own;
      break;
    default:  // DT_STRING, DT_MIDI_STREAM: no value in the pin
      break;
  }
}

void SEPin::SendMidi(unsigned sampleclock, int message) {
  if (!m_module) return;
  SE_PRECONDITION(sampleclock >= m_module->SampleClock());
  m_module->HostCall(se::kHostSendMidi, m_pin_index, message,
                     reinterpret_cast<void*>(static_cast<uintptr_t>(sampleclock)));
}

void SEPin::SendStatus(unsigned sampleclock, int status) {
  if (!m_module) return;
  m_module->HostCall(se::kHostSendStatus, m_pin_index, status,
                     reinterpret_cast<void*>(static_cast<uintptr_t>(sampleclock)));
}

bool SEPin::IsConnected() {
  return m_module && m_module->HostCall(se::kHostIsConnected, m_pin_index) != 0;
}

float SEPin::CurrentSample() {
  if (!m_module) return 0.0f;
  SE_PRECONDITION(m_datatype == DT_FSAMPLE);
  if (m_datatype != DT_FSAMPLE || !m_variable) return 0.0f;
  const float* buffer = *static_cast<float* const*>(m_variable);
  if (!buffer) return 0.0f;
  const unsigned block_start =
      static_cast<unsigned>(m_module->HostCall(se::kHostBlockStartClock, m_pin_index));
  // The buffer holds one block: a clock outside the current block has no
  // sample in it (unsigned arithmetic: a clock before the block start is
  // outside too).
  const unsigned offset = m_module->SampleClock() - block_start;
  const bool inside = offset < static_cast<unsigned>(m_module->GetBlockSize());
  SE_PRECONDITION_TEXT(inside, "SampleClock() - block_start < GetBlockSize()");
  return inside ? buffer[offset] : 0.0f;
}
