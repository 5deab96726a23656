#include "splitter/DivaraModule.h"

#include <array>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "se_sdk2/se_entry.h"

namespace {

#define DIVARA_STRINGIFY2(x) #x
#define DIVARA_STRINGIFY(x) DIVARA_STRINGIFY2(x)
#define DIVARA_NAME "Divara_v" DIVARA_STRINGIFY(DIVARA_VARIANT)

// The about text: a credit line, a blank line, the contact address. A static
// text, so it outlives every getModuleProperties call.
const se::ModuleDescription kDescription{
    DIVARA_NAME, DIVARA_NAME, DIVARA_NAME " keyboard split by Ostrel\n\nostrel.modules@example.org",
    false};

// "C-1,C#-1,...,F9,F#9,G9": entry i names MIDI note i.
constexpr auto kNoteList = [] {
  constexpr const char* names[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                     "F#", "G",  "G#", "A",  "A#", "B"};
  std::array<char, 8 * 128> text{};
  size_t at = 0;
  for (int i = 0; i < 128; ++i) {
    if (i > 0) text[at++] = ',';
    for (const char* c = names[i % 12]; *c; ++c) text[at++] = *c;
    const int octave = i / 12 - 1;
    if (octave < 0) {
      text[at++] = '-';
      text[at++] = '1';
    } else {
      text[at++] = static_cast<char>('0' + octave);
    }
  }
  text[at] = '\0';
  return text;
}();

bool Declare(SEPinProperties* p, const char* name, int direction, void* variable,
             const char* default_text, const char* list, int datatype = DT_FSAMPLE) {
  p->name = name;
  p->direction = direction;
  p->datatype = datatype;
  p->variable_address = variable;
  p->default_value = default_text;
  p->datatype_extra = list;
  return true;
}

}  // namespace

bool DivaraModule::GetPinProperties(int index, SEPinProperties* p) {
  switch (index) {
    case kGateIn:
      return Declare(p, "Gate In", DR_IN, &m_gate_in, "0", nullptr);
    case kPitchIn:
      return Declare(p, "Pitch In", DR_IN, &m_pitch_in, "0", nullptr);
    case kBreakPoint:
      return Declare(p, "Break Point", DR_IN, &m_break_point, "60", kNoteList.data(), DT_CHOICE);
    case kGateHighOut:
      return Declare(p, "Gate High Out", DR_OUT, &m_gate_high_out, nullptr, nullptr);
    case kGateLowOut:
      return Declare(p, "Gate Low Out", DR_OUT, &m_gate_low_out, nullptr, nullptr);
#if DIVARA_VARIANT == 2
    case kPitchHighOut:
      return Declare(p, "Pitch High Out", DR_OUT, &m_pitch_high_out, nullptr, nullptr);
    case kPitchLowOut:
      return Declare(p, "Pitch Low Out", DR_OUT, &m_pitch_low_out, nullptr, nullptr);
#endif
    default:
      return false;
  }
}

void DivaraModule::Open() {
  SEModule_base::Open();
  SetProcessFunction(&DivaraModule::SubProcess);
  ComputeThreshold();
  SetOutputStatus(ST_RUN);
}

void DivaraModule::ComputeThreshold() {
  // The frequency of note n from note 0's 8.1758 Hz, then its pitch value
  // through single-precision constants: log10(440) and 10·log10(2). Each
  // threshold is equal to or slightly above the float pitch of its note, so
  // a pitch exactly on the break-point note routes low.
  const int n = m_break_point;
  const double x = n / 12.0;
  const double f = 8.1758 * std::pow(2.0, x);
  constexpr float kLog10Of440 = 2.6434526f;
  constexpr float kTenLog10Of2 = 3.0103f;
  constexpr float kHalf = 0.5f;
  m_threshold = static_cast<float>((std::log10(f) - double(kLog10Of440)) / double(kTenLog10Of2) +
                                   double(kHalf));
}

void DivaraModule::SetOutputStatus(int status) {
  const unsigned clock = SampleClock();
  // A host may report fewer pins than are declared: an output it did not
  // report is told nothing.
#if DIVARA_VARIANT == 3
  for (int pin : {kGateHighOut, kGateLowOut}) {
    if (HasPin(pin)) GetPin(pin)->SendStatus(clock, status);
  }
#else
  for (int pin : {kPitchHighOut, kPitchLowOut, kGateHighOut, kGateLowOut}) {
    if (HasPin(pin)) GetPin(pin)->SendStatus(clock, status);
  }
#endif
  if (status >= ST_RUN) {
    SetProcessFunction(&DivaraModule::SubProcess);
    m_winding_down = false;
  } else {
    m_countdown = GetBlockSize();
    SetProcessFunction(&DivaraModule::SubProcessWindDown);
    m_winding_down = true;
  }
}

void DivaraModule::OnPinStatusChange(SEPin* pin) {
  switch (pin->getPinIndex()) {
    case kBreakPoint:
      ComputeThreshold();  // the host has stored the new index already
      break;
    case kGateIn:
      if (pin->CurrentSample() > 0.0f && m_winding_down) SetOutputStatus(ST_RUN);
      break;
    default:
      break;
  }
}

int DivaraModule::Route(int count) {
  const float threshold = m_threshold;
  const float* gate = m_gate_pos;
  const float* pitch = m_pitch_pos;
  float* high = m_gate_high_pos;
  float* low = m_gate_low_pos;
#if DIVARA_VARIANT == 2
  float* pitch_high = m_pitch_high_pos;
  float* pitch_low = m_pitch_low_pos;
#endif
  // While the gate stays on, four samples at a time are routed without a
  // branch per sample: the gate moves as bits (AND with an all-ones or
  // all-zero mask), so it passes bit for bit and the other output gets the
  // all-zero pattern of +0.0. The group holding a gate-off sample, and the
  // rest of the call, go sample by sample below.
  int k = 0;
#if defined(__SSE2__)
  const __m128 zero = _mm_setzero_ps();
  const __m128 limit = _mm_set1_ps(threshold);
  const auto route4 = [&](int at, __m128 g) {
    const __m128 p = _mm_loadu_ps(pitch + at);
    const __m128 above = _mm_cmpgt_ps(p, limit);  // a NaN pitch is not above: low
#if DIVARA_VARIANT == 2
    _mm_storeu_ps(pitch_high + at, p);
    _mm_storeu_ps(pitch_low + at, p);
#endif
    _mm_storeu_ps(high + at, _mm_and_ps(above, g));
    _mm_storeu_ps(low + at, _mm_andnot_ps(above, g));
  };
  for (; k + 16 <= count; k += 16) {
    const __m128 g0 = _mm_loadu_ps(gate + k);
    const __m128 g1 = _mm_loadu_ps(gate + k + 4);
    const __m128 g2 = _mm_loadu_ps(gate + k + 8);
    const __m128 g3 = _mm_loadu_ps(gate + k + 12);
    // NaN compares false: off.
    const __m128 on = _mm_and_ps(_mm_and_ps(_mm_cmpgt_ps(g0, zero), _mm_cmpgt_ps(g1, zero)),
                                 _mm_and_ps(_mm_cmpgt_ps(g2, zero), _mm_cmpgt_ps(g3, zero)));
    if (_mm_movemask_ps(on) != 0xF) break;
    route4(k, g0);
    route4(k + 4, g1);
    route4(k + 8, g2);
    route4(k + 12, g3);
  }
#endif
  for (; k < count; ++k) {
    const float g = gate[k];
    const float p = pitch[k];
    if (!(g > 0.0f)) {  // off: 0.0, negative or NaN
      high[k] = 0.0f;
      low[k] = 0.0f;
      m_gate_off = true;
      return k + 1;
    }
#if DIVARA_VARIANT == 2
    pitch_high[k] = p;
    pitch_low[k] = pitch_high[k];
#endif
    if (p > threshold) {  // a NaN pitch compares false and routes low
      high[k] = g;
      low[k] = 0.0f;
    } else {
      low[k] = g;
      high[k] = 0.0f;
    }
  }
  m_gate_off = false;
  return count;
}

void DivaraModule::SubProcess(int buffer_offset, int sample_count) {
  m_gate_pos = m_gate_in + buffer_offset;
  m_pitch_pos = m_pitch_in + buffer_offset;
  m_gate_high_pos = m_gate_high_out + buffer_offset;
  m_gate_low_pos = m_gate_low_out + buffer_offset;
#if DIVARA_VARIANT == 2
  m_pitch_high_pos = m_pitch_high_out + buffer_offset;
  m_pitch_low_pos = m_pitch_low_out + buffer_offset;
#endif
  if (sample_count <= 0) return;
  const int routed = Route(sample_count);
  m_gate_pos += routed;
  m_pitch_pos += routed;
  m_gate_high_pos += routed;
  m_gate_low_pos += routed;
#if DIVARA_VARIANT == 2
  m_pitch_high_pos += routed;
  m_pitch_low_pos += routed;
#endif
  // The samples after a gate-off sample are left as the buffers held them.
  if (m_gate_off) SetOutputStatus(ST_ONE_OFF);
}

void DivaraModule::SubProcessWindDown(int buffer_offset, int sample_count) {
  SubProcess(buffer_offset, sample_count);
  m_countdown -= sample_count;
  if (m_countdown <= 0) RequestSleep();
}

SE_DECLARE_MODULE(DivaraModule, kDescription)
