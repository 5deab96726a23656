#include "tonus/controls.h"

#include <algorithm>
#include <array>

namespace tonus {

namespace {

using enum ControlKind;
using G = Group;
using C = ControlId;

constexpr std::array<ControlEntry, kControlCount> kControls = {{
    {C::frm1, "frm1", -1, kFrame, G::kWindow, 120, 120, 2895, 2175,
     "Key to Midi, Frequency && Volage"},
    {C::lblTitle0, "lblTitle", 0, kLabel, G::kKey, 480, 240, 855, 255, "Octave"},
    {C::lblTitle1, "lblTitle", 1, kLabel, G::kKey, 1440, 240, 855, 255, "Key"},
    {C::cmbOctave, "cmbOctave", -1, kDropDownList, G::kKey, 480, 600, 855, 315, ""},
    {C::txtOctave, "txtOctave", -1, kTextBox, G::kKey, 480, 600, 580, 300, "0"},
    {C::cmbKey, "cmbKey", -1, kDropDownList, G::kKey, 1440, 600, 855, 315, ""},
    {C::txtKey, "txtKey", -1, kTextBox, G::kKey, 1440, 600, 580, 300, "0"},
    {C::lblTitle2, "lblTitle", 2, kLabel, G::kKey, 120, 1080, 1455, 255, "Midi Value"},
    {C::lblMidi, "lblMidi", -1, kLabel, G::kKey, 1680, 1080, 1095, 255, ""},
    {C::lblTitle3, "lblTitle", 3, kLabel, G::kKey, 120, 1440, 1455, 255, "Frequency"},
    {C::lblFreq, "lblFreq", -1, kLabel, G::kKey, 1680, 1440, 1095, 255, ""},
    {C::lblTitle4, "lblTitle", 4, kLabel, G::kKey, 120, 1800, 1455, 255, "Host Voltage"},
    {C::lblSEVolts, "lblSEVolts", -1, kLabel, G::kKey, 1680, 1800, 1095, 255, ""},
    {C::Frame1, "Frame1", -1, kFrame, G::kWindow, 3120, 120, 3015, 975, "Voltage to to Frequency"},
    {C::lblTitle6, "lblTitle", 6, kLabel, G::kVoltage, 120, 240, 1455, 255, "Host Voltage"},
    {C::txtVoltage, "txtVoltage", -1, kTextBox, G::kVoltage, 1680, 240, 1215, 285, "0"},
    {C::lblTitle5, "lblTitle", 5, kLabel, G::kVoltage, 120, 600, 1455, 255, "Frequency"},
    {C::lblFrequency, "lblFrequency", -1, kLabel, G::kVoltage, 1680, 600, 1215, 255, ""},
    {C::cmdExit, "cmdExit", -1, kButton, G::kWindow, 5280, 1920, 855, 375, "E&xit"},
    // The credit lines stop short of cmdExit, which shares their rows.
    {C::lblCredit0, "lblCredit", 0, kLabel, G::kWindow, 3120, 1440, 3015, 255,
     "Programming: Tonus team, 2026"},
    {C::lblCredit1, "lblCredit", 1, kLabel, G::kWindow, 3120, 1800, 2040, 255, "Send comments to:"},
    {C::lblCredit2, "lblCredit", 2, kLabel, G::kWindow, 3120, 2040, 2040, 255, "tonus@example.org"},
}};

// The table is indexed by ControlId.
constexpr bool InIdOrder() {
  for (std::size_t i = 0; i < kControls.size(); ++i) {
    if (static_cast<std::size_t>(kControls[i].id) != i) return false;
  }
  return true;
}
static_assert(InIdOrder());

}  // namespace

std::span<const ControlEntry> Controls() {
  return kControls;
}

const ControlEntry& Control(ControlId id) {
  return kControls[static_cast<std::size_t>(id)];
}

const ControlEntry* GroupFrame(Group group) {
  switch (group) {
    case Group::kKey:
      return &Control(ControlId::frm1);
    case Group::kVoltage:
      return &Control(ControlId::Frame1);
    case Group::kWindow:
      break;
  }
  return nullptr;
}

TwipRect WindowRect(const ControlEntry& control) {
  TwipRect r{control.left, control.top, control.width, control.height};
  if (const ControlEntry* frame = GroupFrame(control.group)) {
    r.left += frame->left;
    r.top += frame->top;
  }
  return r;
}

TwipRect ClientSize() {
  const int margin = Control(ControlId::frm1).left;
  int right = 0, bottom = 0;
  for (const ControlEntry& c : kControls) {
    const TwipRect r = WindowRect(c);
    right = std::max(right, r.left + r.width);
    bottom = std::max(bottom, r.top + r.height);
  }
  return {0, 0, right + margin, bottom + margin};
}

int TwipsToPixels(int twips) {
  constexpr int kTwipsPerPixel = 15;
  return twips >= 0 ? (twips + kTwipsPerPixel / 2) / kTwipsPerPixel
                    : -((-twips + kTwipsPerPixel / 2) / kTwipsPerPixel);
}

}  // namespace tonus
