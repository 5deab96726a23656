#include "tonus/form.h"

#include <cmath>

#include "tonus/number_text.h"

namespace tonus {

double VoltsToFrequency(double volts) {
  return std::pow(10.0, (volts - 5.0) * Log10(2.0) + Log10(440.0));
}

std::string VoltageToFrequencyText(std::string_view voltage_text) {
  const double frequency = VoltsToFrequency(ReadNumber(voltage_text));
  // Past 10^15 the digits of a double no longer reach the decimals. A tiny
  // positive frequency, even one that underflows to 0, is shown as the
  // format rounds it: 0.0000.
  if (!(frequency < 1e15)) return std::string(kOutOfRange);
  return FormatFixed4(frequency);
}

std::string MidiValueText(int midi) {
  if (midi < 0 || midi > 127) return "---";
  return std::to_string(midi);
}

TonusForm::TonusForm() {
  for (const ControlEntry& c : Controls()) m_texts[static_cast<std::size_t>(c.id)] = c.caption;
}

void TonusForm::Load() {
  m_octave_index = 0;
  m_key_index = 0;
  Calc();
}

void TonusForm::KeyClick(int position) {
  if (position < 0 || position >= static_cast<int>(kKeyNames.size())) return;
  m_texts[static_cast<std::size_t>(ControlId::txtKey)] = kKeyNames[position];
  m_key_index = static_cast<int16_t>(position);
  Calc();
}

void TonusForm::OctaveClick(int position) {
  if (position < 0 || position >= kOctaveCount) return;
  m_texts[static_cast<std::size_t>(ControlId::txtOctave)] = std::to_string(position);
  m_octave_index = static_cast<int16_t>(position);
  Calc();
}

void TonusForm::VoltageChange(std::string_view text) {
  m_texts[static_cast<std::size_t>(ControlId::lblFrequency)] = VoltageToFrequencyText(text);
}

void TonusForm::Calc() {
  // Semitones above C in octave 0, which sounds at the base frequency.
  const int16_t semitones = static_cast<int16_t>(m_octave_index * 12 + m_key_index);
  // MIDI counts from the C one octave lower (C-1 is 0), so C4 is 60 and A4
  // is 69, as in every MIDI message.
  const int16_t midi = static_cast<int16_t>(semitones + 12);
  m_texts[static_cast<std::size_t>(ControlId::lblMidi)] = MidiValueText(midi);

  const double r = std::pow(2.0, 1.0 / 12.0);
  const double base = 27.5 * std::pow(r, -9);  // C0, 16.3516 Hz
  const double frequency = std::pow(r, semitones) * base;
  std::string& freq_text = m_texts[static_cast<std::size_t>(ControlId::lblFreq)];
  freq_text = FormatFixed4(frequency);

  // The voltage belongs to the frequency as shown, rounded to four decimals.
  const double f = ReadNumber(freq_text);
  const double volts = (Log10(f) - Log10(440.0)) / Log10(2.0) + 5.0;
  m_texts[static_cast<std::size_t>(ControlId::lblSEVolts)] = FormatFixed4(volts);
}

const std::string& TonusForm::Text(ControlId id) const {
  return m_texts[static_cast<std::size_t>(id)];
}

}  // namespace tonus
