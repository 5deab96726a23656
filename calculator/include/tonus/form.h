// The state and behaviour of the Tonus window without any toolkit: the two
// indexes the window keeps, the texts of the controls that show results, and
// the event handlers that the front ends call when the user acts. A front
// end forwards each event here, then copies the texts of kShownControls into
// its widgets.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "tonus/controls.h"

namespace tonus {

// The entries of cmbKey; the key index is the position, 0 to 11.
inline constexpr std::array<std::string_view, 12> kKeyNames = {"C",  "C#", "D",  "D#", "E",  "F",
                                                               "F#", "G",  "G#", "A",  "A#", "B"};
// cmbOctave lists "0" to "10"; the octave index equals the octave number.
inline constexpr int kOctaveCount = 11;

// The controls whose text the form decides; every other control keeps its
// caption from the control table (txtVoltage holds what the user types).
inline constexpr std::array<ControlId, 6> kShownControls = {
    ControlId::txtOctave, ControlId::txtKey,     ControlId::lblMidi,
    ControlId::lblFreq,   ControlId::lblSEVolts, ControlId::lblFrequency};

// Frequency in Hz for a host voltage in volts: 1 V per octave, 5 V at 440 Hz,
// computed as 10^((volts - 5) * Log10(2) + Log10(440)).
double VoltsToFrequency(double volts);

// The voltage conversion as the voltage group shows it: the text read
// leniently as volts, the frequency in the "#0.0000" format. A frequency of
// 10^15 Hz or more (above about 46 V) or one that is not finite gives
// kOutOfRange; one below 0.00005 Hz (below about -18.07 V) shows 0.0000.
std::string VoltageToFrequencyText(std::string_view voltage_text);

// lblMidi's text for a MIDI note number: the number for 0 to 127, "---" for
// any value that no MIDI note has.
std::string MidiValueText(int midi);

class TonusForm {
 public:
  // The window as created: texts from the control table, results empty,
  // both indexes 0. Load() then fills the key group.
  TonusForm();

  // Window load: octave index and key index 0, then Calc.
  void Load();
  // A choice in cmbKey: position 0 to 11; other positions are ignored.
  void KeyClick(int position);
  // A choice in cmbOctave: position 0 to 10; other positions are ignored.
  void OctaveClick(int position);
  // Every change of the txtVoltage text, with the new text.
  void VoltageChange(std::string_view text);

  // Recomputes MIDI value, frequency and host voltage of the key group from
  // the two indexes. The MIDI value is 12 * (octave + 1) + key (C4 is 60, A4
  // is 69); octave 0, key "C" sounds at 16.3516 Hz. The voltage is computed
  // from the frequency as shown.
  void Calc();

  // The current text of a control of kShownControls (or the table caption
  // of any other control). The string is owned by the form and lives as long
  // as it; the event handlers change its content.
  const std::string& Text(ControlId id) const;

  int16_t octave_index() const { return m_octave_index; }
  int16_t key_index() const { return m_key_index; }

 private:
  int16_t m_octave_index = 0;                      // position last chosen in cmbOctave, 0 to 10
  int16_t m_key_index = 0;                         // position last chosen in cmbKey, 0 to 11
  std::array<std::string, kControlCount> m_texts;  // indexed by ControlId
};

}  // namespace tonus
