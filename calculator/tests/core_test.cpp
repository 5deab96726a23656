// The note calculator's core: number format and reading, the key group's
// Calc, the voltage conversion and the control table.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "tonus/command_line.h"
#include "tonus/controls.h"
#include "tonus/form.h"
#include "tonus/number_text.h"

namespace {

using tonus::ControlId;
using tonus::FormatFixed4;
using tonus::ReadNumber;
using tonus::TonusForm;

TEST(Format, ShowsFourDecimalsAndAtLeastOneIntegerDigit) {
  EXPECT_EQ(FormatFixed4(0.0), "0.0000");
  EXPECT_EQ(FormatFixed4(0.25), "0.2500");
  EXPECT_EQ(FormatFixed4(440.0), "440.0000");
  EXPECT_EQ(FormatFixed4(14080.0), "14080.0000");
  EXPECT_EQ(FormatFixed4(-1.5), "-1.5000");
  EXPECT_EQ(FormatFixed4(0.4296875), "0.4297");
}

TEST(Format, RoundsHalfAwayFromZeroAsWritten) {
  EXPECT_EQ(FormatFixed4(0.00005), "0.0001");
  EXPECT_EQ(FormatFixed4(2.00005), "2.0001");  // its double lies just below the half
  EXPECT_EQ(FormatFixed4(0.000049), "0.0000");
  EXPECT_EQ(FormatFixed4(-2.00005), "-2.0001");
  EXPECT_EQ(FormatFixed4(9.99995), "10.0000");  // carry into a new integer digit
  EXPECT_EQ(FormatFixed4(999.99996), "1000.0000");
}

TEST(Format, ZeroHasNoSign) {
  EXPECT_EQ(FormatFixed4(-0.0), "0.0000");
  EXPECT_EQ(FormatFixed4(-0.00001), "0.0000");
}

TEST(Format, LargeValuesKeepAllIntegerDigits) {
  EXPECT_EQ(FormatFixed4(123456789.123456), "123456789.1235");
  EXPECT_EQ(FormatFixed4(1e20), "100000000000000000000.0000");
  EXPECT_EQ(FormatFixed4(std::numeric_limits<double>::max()).size(), 309u + 5u);
}

TEST(Format, NonFiniteShowsOutOfRange) {
  EXPECT_EQ(FormatFixed4(std::numeric_limits<double>::infinity()), tonus::kOutOfRange);
  EXPECT_EQ(FormatFixed4(-std::numeric_limits<double>::infinity()), tonus::kOutOfRange);
  EXPECT_EQ(FormatFixed4(std::nan("")), tonus::kOutOfRange);
}

TEST(Reading, TakesTheLongestLeadingNumber) {
  EXPECT_EQ(ReadNumber("5"), 5.0);
  EXPECT_EQ(ReadNumber(" 4.25abc"), 4.25);
  EXPECT_EQ(ReadNumber("+5"), 5.0);
  EXPECT_EQ(ReadNumber("-5"), -5.0);
  EXPECT_EQ(ReadNumber("1e1"), 10.0);
  EXPECT_EQ(ReadNumber("2.5E-1x"), 0.25);
  EXPECT_EQ(ReadNumber(".5"), 0.5);
  EXPECT_EQ(ReadNumber("5."), 5.0);
  EXPECT_EQ(ReadNumber("1.2.3"), 1.2);
  EXPECT_EQ(ReadNumber("3,5"), 3.0);  // the decimal point is always "."
}

TEST(Reading, IgnoresBlanksEverywhere) {
  EXPECT_EQ(ReadNumber("\t 1 000 "), 1000.0);
  EXPECT_EQ(ReadNumber("- 4 . 25"), -4.25);
}

TEST(Reading, ExponentNeedsDigits) {
  EXPECT_EQ(ReadNumber("1e"), 1.0);
  EXPECT_EQ(ReadNumber("1e+"), 1.0);
  EXPECT_EQ(ReadNumber("2E-x"), 2.0);
}

TEST(Reading, TextWithoutANumberReadsAsZero) {
  for (const char* text : {"", "-", "+", ".", "-.", "abc", "e5", "nan", "inf", "   "}) {
    EXPECT_EQ(ReadNumber(text), 0.0) << '"' << text << '"';
  }
}

TEST(Reading, NumbersBeyondTheDoubleRange) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(ReadNumber("1e400"), inf);
  EXPECT_EQ(ReadNumber("-1e400"), -inf);
  EXPECT_EQ(ReadNumber("0.001e312"), inf);
  EXPECT_EQ(ReadNumber("1e99999999999999999999"), inf);
  EXPECT_EQ(ReadNumber("1e-400"), 0.0);
  EXPECT_EQ(ReadNumber("1000e-330"), 0.0);
  EXPECT_TRUE(std::signbit(ReadNumber("-1e-400")));
  EXPECT_EQ(ReadNumber(std::string(400, '9')), inf);
  EXPECT_EQ(ReadNumber("0.000e99999"), 0.0);
}

struct Note {
  int octave, key;
  const char *midi, *frequency, *volts;
};

TonusForm FormShowing(int octave, int key) {
  TonusForm form;
  form.Load();
  form.OctaveClick(octave);
  form.KeyClick(key);
  return form;
}

// The MIDI value names the same note as the frequency beside it: MIDI puts
// 440 Hz at 69 and C0 (16.3516 Hz) at 12.
TEST(Calc, MidiValueAgreesWithTheFrequencyBesideIt) {
  const Note notes[] = {
      {4, 9, "69", "440.0000", "5.0000"},     // A4
      {4, 0, "60", "261.6256", "4.2500"},     // C4, middle C
      {0, 0, "12", "16.3516", "0.2500"},      // C0, the lowest note of the lists
      {0, 9, "21", "27.5000", "1.0000"},      // A0
      {5, 9, "81", "880.0000", "6.0000"},     // A5
      {9, 7, "127", "12543.8540", "9.8333"},  // G9, the highest MIDI note
  };
  for (const Note& n : notes) {
    const TonusForm form = FormShowing(n.octave, n.key);
    EXPECT_EQ(form.Text(ControlId::lblMidi), n.midi) << n.octave << '/' << n.key;
    EXPECT_EQ(form.Text(ControlId::lblFreq), n.frequency) << n.octave << '/' << n.key;
    EXPECT_EQ(form.Text(ControlId::lblSEVolts), n.volts) << n.octave << '/' << n.key;
  }
}

// Notes above G9 have no MIDI value; their frequency and voltage still show.
TEST(Calc, NotesAboveMidiShowDashes) {
  const Note notes[] = {
      {9, 8, "---", "13289.7503", "9.9167"},     // G#9, MIDI would be 128
      {10, 7, "---", "25087.7079", "10.8333"},   // G10
      {10, 8, "---", "26579.5006", "10.9167"},   // G#10
      {10, 11, "---", "31608.5313", "11.1667"},  // B10, the highest note of the lists
  };
  for (const Note& n : notes) {
    const TonusForm form = FormShowing(n.octave, n.key);
    EXPECT_EQ(form.Text(ControlId::lblMidi), n.midi) << n.octave << '/' << n.key;
    EXPECT_EQ(form.Text(ControlId::lblFreq), n.frequency) << n.octave << '/' << n.key;
    EXPECT_EQ(form.Text(ControlId::lblSEVolts), n.volts) << n.octave << '/' << n.key;
  }
}

// Every note of the lists: frequency and voltage follow 1 V per octave from
// 5 V at 440 Hz, and the MIDI value shown is the one MIDI gives that
// frequency, 69 + 12 * log2(f / 440).
TEST(Calc, EveryNoteAgreesWithOneVoltPerOctaveAndWithMidi) {
  TonusForm form;
  form.Load();
  int dashes = 0;
  for (int octave = 0; octave < tonus::kOctaveCount; ++octave) {
    form.OctaveClick(octave);
    for (int key = 0; key < 12; ++key) {
      form.KeyClick(key);
      const int semitones_from_a4 = (octave - 4) * 12 + key - 9;
      const double volts = 5.0 + semitones_from_a4 / 12.0;
      const double frequency = 440.0 * std::exp2(volts - 5.0);
      EXPECT_EQ(form.Text(ControlId::lblSEVolts), FormatFixed4(volts)) << octave << '/' << key;
      EXPECT_EQ(form.Text(ControlId::lblFreq), FormatFixed4(frequency)) << octave << '/' << key;
      const int midi = static_cast<int>(std::lround(69 + 12 * std::log2(frequency / 440.0)));
      if (midi > 127) {
        EXPECT_EQ(form.Text(ControlId::lblMidi), "---") << octave << '/' << key;
        ++dashes;
      } else {
        EXPECT_EQ(form.Text(ControlId::lblMidi), std::to_string(midi)) << octave << '/' << key;
      }
    }
  }
  EXPECT_EQ(dashes, 16);  // G#9 to B10
}

TEST(Calc, MidiValueTextNamesOnlyMidiNotes) {
  EXPECT_EQ(tonus::MidiValueText(0), "0");
  EXPECT_EQ(tonus::MidiValueText(60), "60");
  EXPECT_EQ(tonus::MidiValueText(127), "127");
  for (int outside : {-32768, -12, -1, 128, 143, 32767}) {
    EXPECT_EQ(tonus::MidiValueText(outside), "---") << outside;
  }
}

TEST(Form, StartsAtOctaveZeroKeyC) {
  TonusForm form;
  EXPECT_EQ(form.Text(ControlId::lblMidi), "");  // before the load event
  form.Load();
  EXPECT_EQ(form.Text(ControlId::txtOctave), "0");
  EXPECT_EQ(form.Text(ControlId::txtKey), "0");
  EXPECT_EQ(form.Text(ControlId::lblMidi), "12");
  EXPECT_EQ(form.Text(ControlId::lblFreq), "16.3516");
  EXPECT_EQ(form.Text(ControlId::lblSEVolts), "0.2500");
  EXPECT_EQ(form.Text(ControlId::txtVoltage), "0");
  EXPECT_EQ(form.Text(ControlId::lblFrequency), "");
}

TEST(Form, ChoicesFillTheShowBoxesAndIndexes) {
  TonusForm form;
  form.Load();
  form.KeyClick(1);
  form.OctaveClick(7);
  EXPECT_EQ(form.Text(ControlId::txtKey), "C#");
  EXPECT_EQ(form.Text(ControlId::txtOctave), "7");
  EXPECT_EQ(form.key_index(), 1);
  EXPECT_EQ(form.octave_index(), 7);
  EXPECT_EQ(form.Text(ControlId::lblMidi), "97");
  // The voltage group is independent of the key group.
  EXPECT_EQ(form.Text(ControlId::lblFrequency), "");
}

TEST(Form, PositionsOutsideTheListsAreIgnored) {
  TonusForm form;
  form.Load();
  form.OctaveClick(4);
  form.KeyClick(9);
  for (int bad : {-1, 12, 32767}) {
    form.KeyClick(bad);
    form.OctaveClick(bad == 12 ? 11 : bad);
  }
  EXPECT_EQ(form.Text(ControlId::lblMidi), "69");
  EXPECT_EQ(form.Text(ControlId::txtKey), "A");
  EXPECT_EQ(form.Text(ControlId::txtOctave), "4");
}

TEST(Voltage, ExampleValues) {
  const std::pair<const char*, const char*> cases[] = {
      {"5", "440.0000"}, {"4.25", "261.6256"}, {"10", "14080.0000"}, {"1", "27.5000"},
      {"-5", "0.4297"},  {"0", "13.7500"},     {"", "13.7500"},      {"abc", "13.7500"},
      {"-", "13.7500"},  {"+5", "440.0000"},   {"1e1", "14080.0000"}};
  for (const auto& [text, frequency] : cases) {
    TonusForm form;
    form.Load();
    form.VoltageChange(text);
    EXPECT_EQ(form.Text(ControlId::lblFrequency), frequency) << '"' << text << '"';
  }
}

TEST(Voltage, FrequenciesTooLargeToShowAreOutOfRange) {
  for (const char* text : {"1100", "1e400", "47", "1e308"}) {
    EXPECT_EQ(tonus::VoltageToFrequencyText(text), tonus::kOutOfRange) << text;
  }
  // The edge of what is shown: below 10^15 Hz.
  EXPECT_EQ(tonus::VoltageToFrequencyText("46").substr(0, 11), "96757023244");
}

// Far below the musical range the frequency is positive but smaller than the
// format's last decimal: it shows as the format rounds it, down to voltages
// whose frequency underflows the double range.
TEST(Voltage, TinyFrequenciesShowAsFormatted) {
  EXPECT_EQ(tonus::VoltageToFrequencyText("-18"), "0.0001");
  EXPECT_EQ(tonus::VoltageToFrequencyText("-18.06"), "0.0001");
  for (const char* text : {"-18.1", "-19", "-100", "-2000", "-1e400"}) {
    EXPECT_EQ(tonus::VoltageToFrequencyText(text), "0.0000") << text;
  }
}

TEST(CommandLine, HelpOrVersionAnywhereElseTheWindow) {
  using tonus::ProgramRequest;
  auto read = [](std::initializer_list<const char*> args) {
    std::vector<const char*> argv = {"Tonus"};
    argv.insert(argv.end(), args);
    return tonus::ReadCommandLine(static_cast<int>(argv.size()), argv.data());
  };
  EXPECT_EQ(read({}), ProgramRequest::kWindow);
  EXPECT_EQ(tonus::ReadCommandLine(0, nullptr), ProgramRequest::kWindow);
  EXPECT_EQ(read({"-platform", "offscreen"}), ProgramRequest::kWindow);  // the toolkit's
  EXPECT_EQ(read({"--helpme", "-help", "--Version", "-v", ""}), ProgramRequest::kWindow);
  EXPECT_EQ(read({"--help"}), ProgramRequest::kHelp);
  EXPECT_EQ(read({"-h"}), ProgramRequest::kHelp);
  EXPECT_EQ(read({"--version"}), ProgramRequest::kVersion);
  EXPECT_EQ(read({"-platform", "offscreen", "--version"}), ProgramRequest::kVersion);
  EXPECT_EQ(read({"--version", "--help"}), ProgramRequest::kHelp);  // help says more
  EXPECT_EQ(read({"--help", "--version"}), ProgramRequest::kHelp);
  EXPECT_EQ(read({nullptr, "--version"}), ProgramRequest::kVersion);
}

TEST(Controls, TableIsConsistent) {
  std::set<std::string> names;
  for (const tonus::ControlEntry& c : tonus::Controls()) {
    EXPECT_EQ(&tonus::Control(c.id), &c);
    EXPECT_GT(c.width, 0);
    EXPECT_GT(c.height, 0);
    // Every control of a group lies inside its frame.
    if (const tonus::ControlEntry* frame = tonus::GroupFrame(c.group)) {
      EXPECT_LE(c.left + c.width, frame->width) << c.name;
      EXPECT_LE(c.top + c.height, frame->height) << c.name;
    }
    EXPECT_TRUE(names.insert(std::string(c.name) + '/' + std::to_string(c.index)).second);
  }
  // The show boxes lie on the text part of their lists, narrower.
  for (auto [list, box] : {std::pair{ControlId::cmbOctave, ControlId::txtOctave},
                           std::pair{ControlId::cmbKey, ControlId::txtKey}}) {
    EXPECT_EQ(tonus::Control(box).left, tonus::Control(list).left);
    EXPECT_LT(tonus::Control(box).width, tonus::Control(list).width);
  }
}

TEST(Controls, WindowGeometryInPixels) {
  const tonus::TwipRect r = tonus::WindowRect(tonus::Control(ControlId::lblFrequency));
  EXPECT_EQ(r.left, 3120 + 1680);
  EXPECT_EQ(r.top, 120 + 600);
  const tonus::TwipRect client = tonus::ClientSize();
  EXPECT_EQ(client.width, 6255);
  EXPECT_EQ(client.height, 2415);
  EXPECT_EQ(tonus::TwipsToPixels(855), 57);
  EXPECT_EQ(tonus::TwipsToPixels(580), 39);  // 38.67 rounds up
  EXPECT_EQ(tonus::TwipsToPixels(7), 0);
}

}  // namespace
