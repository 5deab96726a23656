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
// - The editor's own writes of "nodes" and the outputs, and the reports the
//   host gives of them, are kept in one place, kurvo::OwnWrites (below). A
//   host that reports writes inside the call (immediate), after it
//   (deferred), or after it for every write, also one that keeps the value,
//   ends in the same state, and no report makes the editor write again.
// - applyNodePin, when "nodes" is empty, writes the init config text into
//   "nodes" and reads the nodes from it at once instead of waiting for the
//   report of that write (which a host that reports at once delivers while
//   the editor is still applying: the reset then left an empty curve there).
// - Pin values outside their meaning are brought into range where they
//   enter (zoom, scroll offset, max points, padding, line width, freeze
//   choice, colours); see KurvoEditor.cpp. Paint and the mouse convert every
//   float to an integer with saturation, so no panel size or node position
//   can hang or overflow them.
#pragma once

#include <cstdint>
#include <optional>
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

// The editor's record of its own writes to the pins whose change reports
// it acts on ("nodes", "X Array Out", "Y Array Out", and "# Points" beside
// them), and the one way it makes those writes. A member of the editor,
// living as long as it; it writes through the editor's pin handles. The
// editor's writes of the other pins need no record: their reports only copy
// the value into the editor (zoom and scroll write back only a value that
// differs from the one they took), so they settle at once.
//
// Invariant: a change report of "nodes" or of an axis array is the editor's
// own, and is dropped, exactly when (a) it arrives while Busy is held (an
// own write or the applying of a change is under way: a host reporting at
// once reports from inside it), or (b) the pins hold the recorded texts:
// "nodes" the text the store was last applied from or written as (for an
// empty text, with the same init config; with both empty the store kept
// what it held), or both arrays the texts last published from the store as
// it is now. Applying such a report would change nothing, and on a host
// that reports every write it would write the same texts and be reported
// again without end. Whoever changes the store otherwise forgets the record
// it no longer follows.
class OwnWrites {
 public:
  explicit OwnWrites(SEGuiModule_base& editor) : m_editor(editor) {}

  // Held while the editor applies a change that may write the watched pins.
  // Nests.
  class Busy {
   public:
    explicit Busy(OwnWrites& own) : m_own(own) { ++m_own.m_busy; }
    ~Busy() { --m_own.m_busy; }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

   private:
    OwnWrites& m_own;
  };

  // Writes `text` into "nodes"; the store holds what applying it with
  // `initConfig` gives.
  void writeNodes(const std::string& text, const std::string& initConfig);
  // Writes the empty text into "nodes" for a store that does not follow it
  // (new instance, reset); the nodes record is dropped.
  void clearNodes();
  // The store was just applied from "nodes" holding `text`; nothing written.
  void readNodes(const std::string& text, const std::string& initConfig);
  // The store no longer follows "nodes" (rebuilt from the axis arrays).
  void forgetNodes() { m_nodes.reset(); }

  // Writes the outputs of the store: both axis arrays and the count.
  void writeOutputs(const AxisArrays& arrays, float count);
  // The outputs no longer show the store (a text that did not parse).
  void forgetOutputs() { m_arrays.reset(); }

  void forgetAll() {
    forgetNodes();
    forgetOutputs();
  }

  // Whether a report of "nodes" now holding `text` is the editor's own.
  bool ownNodesReport(const std::string& text, const std::string& initConfig) const;
  // Whether a report of an axis array, the two now holding x and y, is own.
  bool ownArraysReport(const std::string& x, const std::string& y) const;

 private:
  void write(int pin, const std::string& text);

  struct NodesRecord {
    std::string text;
    std::string initConfig;  // compared only when text is empty
  };

  SEGuiModule_base& m_editor;
  int m_busy = 0;
  std::optional<NodesRecord> m_nodes;
  std::optional<AxisArrays> m_arrays;
};

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
  void setPinFloat(int pin, float value) { GetPin(pin)->SetValueFloat(value); }
  void setPinInt(int pin, int value) { GetPin(pin)->SetValueInt(value); }

  // Values from pins, brought into range (see KurvoEditor.cpp).
  void takeZoom(float value, bool writeBack);
  void takeScroll(float value, bool writeBack);
  void takeMaxPoints(float value);
  void takeSetting(int pin, int value);

  kurvo::NodeStore m_nodes;  // the nodes, in graph units
  std::string m_initConfig;
  int32_t m_maxPoints = 32;
  // Every write of "nodes" and the outputs, and the reports of them.
  kurvo::OwnWrites m_own{*this};
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
};
