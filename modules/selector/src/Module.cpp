#include "selector/Module.h"

#include "se_sdk2/se_entry.h"

namespace {

const se::ModuleDescription kDescription{
    "Forka ", "Forka by Ostrel",
    "Forka v1.0\n"
    "MIDI selector by Ostrel (ostrel.modules@example.org)\n"
    "Routes MIDI In to MIDI Out1 (Choice off) or MIDI Out2 (Choice on); sends All Notes Off\n"
    "on both outputs with the first message after the choice changes.\n"
    "Free to use, without warranty of any kind.",
    false};

constexpr int kAllNotesOff = 0x7BB0;  // control change 123, value 0; channel in bits 0-3

}  // namespace

void Module::Open() {
  SEModule_base::Open();
  SetProcessFunction(&Module::SleepProcess);
  m_previous_choice = m_choice;
}

bool Module::GetPinProperties(int index, SEPinProperties* properties) {
  switch (index) {
    case kMidiIn:
      properties->name = "MIDI In";
      properties->direction = DR_IN;
      properties->datatype = DT_MIDI_STREAM;
      return true;
    case kMidiOut1:
      properties->name = "MIDI Out1";
      properties->direction = DR_OUT;
      properties->datatype = DT_MIDI_STREAM;
      return true;
    case kMidiOut2:
      properties->name = "MIDI Out2";
      properties->direction = DR_OUT;
      properties->datatype = DT_MIDI_STREAM;
      return true;
    case kChoice:
      properties->name = "Choice";
      properties->direction = DR_IN;
      properties->datatype = DT_CHOICE;
      properties->variable_address = &m_choice;
      properties->default_value = "0";
      properties->datatype_extra = "on=1,off=0";
      return true;
    default:
      return false;
  }
}

// A change of choice alone sends nothing; it takes effect with the next
// channel message.
void Module::OnPinStatusChange(SEPin*) {}

// A host may report fewer pins than are declared: an output it did not
// report gets nothing.
void Module::Send(int pin, unsigned time_stamp, int message) {
  if (HasPin(pin)) GetPin(pin)->SendMidi(time_stamp, message);
}

void Module::OnMidiMessage(unsigned time_stamp, int message, short) {
  if ((message & 0xF0) == 0xF0) return;  // system messages: neither routed nor counted
  const int channel = message & 0x0F;
  if (m_previous_choice != m_choice) {
    Send(kMidiOut1, time_stamp, kAllNotesOff + channel);
    Send(kMidiOut2, time_stamp, kAllNotesOff + channel);
  }
  m_previous_choice = m_choice;
  const int forwarded = message & 0x00FFFFFF;
  if (m_choice == 0) {
    Send(kMidiOut1, time_stamp, forwarded);
  } else if (m_choice == 1) {
    Send(kMidiOut2, time_stamp, forwarded);
  }
}

SE_DECLARE_MODULE(Module, kDescription)
