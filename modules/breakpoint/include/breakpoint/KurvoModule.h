// Kurvo, the breakpoint curve module: a panel in which
// the user draws a breakpoint curve with the mouse. The processing object
// declares the 19 pins and sleeps for good; all the work is the editor's.
// The editor keeps the node store (kurvo_nodes), stores it in the patch as a
// node-list text on "nodes" and publishes it on "X Array Out", "Y Array Out"
// and "# Points".
//
// Safeguards beyond the plain editing rules (each one a case where those
// rules alone give a nonsense or host-dependent result; in-range behaviour
// and pictures are unchanged by them):
// - Change reports of the editor's own writes are recognised by their value
//   as well as by the three guards: a report whose pin holds exactly what the
//   editor last wrote there is its own write coming back. So a host that
//   reports writes after the call (deferred) ends in the same state as one
//   that reports them inside the write (immediate): the store is not re-read
//   from its own, rounded texts after every edit.
// - publishOutputs guards its own writes (GuiOpen's unguarded write of
//   "X Array Out" re-joined the curve from mismatched arrays on a host that
//   reports at once).
// - applyNodePin, when "nodes" is empty, writes the init config text into
//   "nodes" and reads the nodes from it at once instead of waiting for the
//   report of that write (which the applying guard drops on a host that
//   reports at once: the reset then left an empty curve there).
// - Pin values outside their meaning are brought into range where they
//   enter (zoom, scroll offset, max points, padding, line width, freeze
//   choice, colours); see KurvoEditor.cpp. Paint and the mouse convert every
//   float to an integer with saturation, so no panel size or node position
//   can hang or overflow them.
#pragma once

#include <cstdint>
#include <string>

#include "breakpoint/node_store.h"
#include "platform/win32.h"
#include "se_sdk2/SEGuiModule_base.h"
#include "se_sdk2/SEModule_base.h"

namespace kurvo {

// Pin indices.
enum Pin : int {
  kPinNodes = 0,
  kPinZoom = 1,
  kPinScroll = 2,
  kPinInitConfig = 3,
  kPinMaxPoints = 4,
  kPinBackground = 5,
  kPinScale = 6,
  kPinLine = 7,
  kPinNode = 8,
  kPinXArray = 9,
  kPinYArray = 10,
  kPinCount = 11,
  kPinLockNodes = 12,
  kPinLockView = 13,
  kPinHideScale = 14,
  kPinPadding = 15,
  kPinLineWidth = 16,
  kPinFreeze = 17,
  kPinSolid = 18,
  kPinTotal = 19,
};

// Pin flags: A (patch-stored, private) and B (UI communication).
inline constexpr int32_t kFlagsA = 0x30500;
inline constexpr int32_t kFlagsB = 0x400;

// Limits for values that come from pins. The zoom's range is the one the
// mouse keeps it in.
inline constexpr float kMinZoom = 0.01f;
inline constexpr float kMaxZoom = 100.0f;
inline constexpr int kMaxPadding = 30;   // "range: 0,30"
inline constexpr int kMaxLineWidth = 3;  // choices "1,2,3,4"
inline constexpr int kMaxFreeze = 5;
// Pixel coordinates handed to GDI stay within this magnitude (GDI's own
// limit is 27 bits; any panel is far smaller).
inline constexpr int kPixelLimit = 1 << 20;

// Float to int conversions that never overflow: NaN gives 0, values beyond
// ±kPixelLimit give ±kPixelLimit (pixels) or the int range (counts).
int truncPixel(float v);  // truncation toward zero
int roundPixel(float v);  // nearest, ties to even
int truncCount(float v);  // truncation toward zero, saturating at the int range

}  // namespace kurvo

class KurvoProcessor : public SEModule_base {
 public:
  KurvoProcessor(HostCallback callback, intptr_t host_word) : SEModule_base(callback, host_word) {}

  void Open() override;
  bool GetPinProperties(int index, SEPinProperties* properties) override;
};

class KurvoEditor : public SEGuiModule_base {
 public:
  KurvoEditor(GuiHostCallback callback, intptr_t host_word);
  ~KurvoEditor() override;

  void GuiOpen(bool flag) override;
  void Paint(HDC dc, SEWndInfo* wi) override;
  void OnButtonDown(SEWndInfo* wi, int flags, SEPoint point) override;
  void OnButtonUp(SEWndInfo* wi, int flags, SEPoint point) override;
  void OnMouseMove(SEWndInfo* wi, int flags, SEPoint point) override;
  void OnGuiPinChanged(SEGuiPinHandle* pin) override;

 private:
  void readColourPins();
  void applyNodePin();
  void publishOutputs();
  void publishNodes();
  void requestRedraw();
  void drawScale(HDC dc, int w, int h);
  void fit();
  void reset();

  // Pin access (GetPin's shared handle is used at once).
  std::string pinText(int pin) { return GetPin(pin)->GetValueText(); }
  float pinFloat(int pin) { return GetPin(pin)->GetValueFloat(); }
  int pinInt(int pin) { return GetPin(pin)->GetValueInt(); }
  void setPinText(int pin, const std::string& text) { GetPin(pin)->SetValueText(text); }
  void setPinFloat(int pin, float value) { GetPin(pin)->SetValueFloat(value); }
  void setPinInt(int pin, int value) { GetPin(pin)->SetValueInt(value); }
  // "nodes" written with a text the store already holds (its echo is ours).
  void writeNodesText(const std::string& text);

  // Values from pins, brought into range (see KurvoEditor.cpp).
  void takeZoom(float value, bool writeBack);
  void takeScroll(float value, bool writeBack);
  void takeMaxPoints(float value);
  void takeSetting(int pin, int value);

  kurvo::NodeStore m_nodes;  // the nodes, in graph units
  std::string m_initConfig;
  int32_t m_maxPoints = 32;
  bool m_writing = false;
  bool m_applying = false;
  bool m_joining = false;
  int32_t m_lockNodes = 0;
  int32_t m_selected = -1;
  int32_t m_lastX = 0, m_lastY = 0;
  int32_t m_clickX = 0, m_clickY = 0;
  int32_t m_pressX = 0, m_pressY = 0;
  int32_t m_panelW = 100, m_panelH = 100;
  float m_heightFactor = 1.0f, m_widthFactor = 1.0f;
  int32_t m_hideScale = 0;
  int32_t m_lockView = 0;
  int32_t m_padding = 0;
  int32_t m_lineWidth = 0;
  int32_t m_freeze = 0;
  int32_t m_solid = 0;
  float m_zoom = 1.0f;
  float m_scroll = 0.0f;
  COLORREF m_scaleColour = 0x482400;
  COLORREF m_backgroundColour = 0xB18D52;
  COLORREF m_lineColour = 0xFFFFFF;
  COLORREF m_nodeColour = 0x00FFFF;

  // What the editor last wrote on "nodes", "X Array Out" and "Y Array Out"
  // with a store that already held those nodes: the reports of these
  // writes are its own and change nothing.
  std::string m_wroteNodes;
  bool m_wroteNodesValid = false;
  std::string m_wroteX, m_wroteY;
  bool m_wroteArraysValid = false;
};
