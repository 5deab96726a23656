// The controls of the Tonus window as data: name, kind, group, position and
// caption. Both front ends create and lay out their widgets from this table,
// so the two windows look alike and the tests find controls by name.
#pragma once

#include <cstddef>
#include <span>

namespace tonus {

// One entry per control, in the order of the table (which is also the order
// of creation: a text box created after its list lies on top of it).
enum class ControlId {
  frm1,
  lblTitle0,
  lblTitle1,
  cmbOctave,
  txtOctave,
  cmbKey,
  txtKey,
  lblTitle2,
  lblMidi,
  lblTitle3,
  lblFreq,
  lblTitle4,
  lblSEVolts,
  Frame1,
  lblTitle6,
  txtVoltage,
  lblTitle5,
  lblFrequency,
  cmdExit,
  lblCredit0,
  lblCredit1,
  lblCredit2,
};
inline constexpr std::size_t kControlCount = static_cast<std::size_t>(ControlId::lblCredit2) + 1;

enum class ControlKind { kFrame, kLabel, kDropDownList, kTextBox, kButton };

// Where a control sits: directly in the window, or inside one of the two
// framed groups (frm1 holds the key group, Frame1 the voltage group).
enum class Group { kWindow, kKey, kVoltage };

struct ControlEntry {
  ControlId id;
  const char* name;  // the control's name, e.g. "cmbOctave"; static
  int index;         // position within an indexed family (lblTitle 0-6, lblCredit 0-2), else -1
  ControlKind kind;
  Group group;
  // Position and size in twips (1/1440 inch). Inside a group, relative to the
  // group's top-left corner; otherwise relative to the window's client area.
  int left, top, width, height;
  // Caption or initial content, UTF-8, static. In frames and buttons "&"
  // marks the mnemonic letter and "&&" shows one ampersand; in labels and
  // text boxes every character shows as it is.
  const char* caption;
};

// The whole table, kControlCount entries in ControlId order.
std::span<const ControlEntry> Controls();
const ControlEntry& Control(ControlId id);

// The frame that holds a group (frm1 or Frame1); null for Group::kWindow.
const ControlEntry* GroupFrame(Group group);

// A rectangle in twips.
struct TwipRect {
  int left, top, width, height;
};

// The control's rectangle relative to the window's client area (group
// offsets added).
TwipRect WindowRect(const ControlEntry& control);

// Width and height of the client area in twips: every control plus a margin
// as wide as the frames' left margin on the right and bottom.
TwipRect ClientSize();

// Screen pixels for a length in twips at 96 dpi (15 twips per pixel),
// rounded to the nearest pixel.
int TwipsToPixels(int twips);

}  // namespace tonus
