// KurvoEditor: construction, GuiOpen, the pins and the write-out
// sequence that keeps "nodes" and the three outputs in step with the store.
// Painting is in KurvoPaint.cpp, the mouse in KurvoMouse.cpp.
//
// Values from pins are brought into range where they enter:
// - zoom: NaN, ±inf and 0 or less give 1.0 (the view of a new instance);
//   other values are held within 0.01 to 100, the range the mouse keeps.
//   The value taken is written back when it differs (also at GuiOpen).
// - scroll offset: NaN and ±inf give 0, written back; finite values stay.
// - max points: NaN gives 0 (no node can be added); values beyond the int
//   range saturate.
// - scale padding within 0 to 30, line width choice within 0 to 3 (the
//   lists' ranges); a freeze choice outside 0 to 5 counts as 0 ("None").
// - colours: only the low 24 bits are drawn (GDI reads the high byte as a
//   palette selector); background -1 still means no fill.
#include <algorithm>
#include <cmath>
#include <limits>

#include "breakpoint/KurvoModule.h"

namespace kurvo {

namespace {
float clampPixelFloat(float v) {
  return std::clamp(v, -float(kPixelLimit), float(kPixelLimit));
}
}  // namespace

int truncPixel(float v) {
  if (std::isnan(v)) return 0;
  return static_cast<int>(clampPixelFloat(v));  // exact: the limits are integers
}

int roundPixel(float v) {
  if (std::isnan(v)) return 0;
  return static_cast<int>(std::nearbyint(clampPixelFloat(v)));  // ties to even
}

int truncCount(float v) {
  if (std::isnan(v)) return 0;
  // 2^31 is a float; every float below it converts.
  if (v >= 2147483648.0f) return std::numeric_limits<int>::max();
  if (v <= -2147483648.0f) return std::numeric_limits<int>::min();
  return static_cast<int>(v);
}

}  // namespace kurvo

using namespace kurvo;

KurvoEditor::KurvoEditor(GuiHostCallback callback, intptr_t host_word)
    : SEGuiModule_base(callback, host_word) {
  HostCall(se::kGuiHostPanelSize, 100, 60);
  HostCall(se::kGuiHostSetup4, 1);
}

// The store and the texts release themselves.
KurvoEditor::~KurvoEditor() = default;

void KurvoEditor::GuiOpen(bool flag) {
  SEGuiModule_base::GuiOpen(flag);
  // 1. A new instance: the defaults into the pins.
  if (!flag) {
    m_own.clearNodes();
    // Not a watched pin: its report only copies the text.
    GetPin(kPinInitConfig)->SetValueText(std::string(kDefaultInitConfig));
    setPinFloat(kPinMaxPoints, static_cast<float>(m_maxPoints));
    setPinInt(kPinBackground, static_cast<int>(m_backgroundColour));
    setPinInt(kPinScale, static_cast<int>(m_scaleColour));
    setPinInt(kPinLine, static_cast<int>(m_lineColour));
    setPinInt(kPinNode, static_cast<int>(m_nodeColour));
    setPinFloat(kPinZoom, m_zoom);
    setPinFloat(kPinScroll, m_scroll);
    setPinInt(kPinLockNodes, m_lockNodes);
    setPinInt(kPinLockView, m_lockView);
    setPinInt(kPinHideScale, m_hideScale);
    setPinInt(kPinPadding, m_padding);
    setPinInt(kPinLineWidth, m_lineWidth);
    setPinInt(kPinFreeze, m_freeze);
    setPinInt(kPinSolid, m_solid);
  }
  // 2-4.
  m_initConfig = pinText(kPinInitConfig);
  takeMaxPoints(pinFloat(kPinMaxPoints));
  m_nodes = NodeStore();
  m_own.forgetAll();
  // 5-6.
  readColourPins();
  takeZoom(pinFloat(kPinZoom), true);
  takeScroll(pinFloat(kPinScroll), true);
  for (int pin = kPinLockNodes; pin <= kPinSolid; ++pin) takeSetting(pin, pinInt(pin));
  // 7.
  applyNodePin();
}

void KurvoEditor::readColourPins() {
  const int background = pinInt(kPinBackground);
  const int line = pinInt(kPinLine);
  // Both pins still at 0 means no colours were given. Testing their sum
  // instead would also take pairs such as -1 (no fill) and 1, which are
  // real colours, for none.
  if (background == 0 && line == 0) return;
  m_lineColour = static_cast<COLORREF>(line);
  m_backgroundColour = static_cast<COLORREF>(background);
  m_scaleColour = static_cast<COLORREF>(pinInt(kPinScale));
  m_nodeColour = static_cast<COLORREF>(pinInt(kPinNode));
  requestRedraw();
}

void KurvoEditor::applyNodePin() {
  const std::string text = pinText(kPinNodes);
  if (text.empty()) {
    if (m_initConfig.empty()) {
      // Nothing to read: the store keeps its nodes, and the outputs show
      // them. The write leaves "nodes" as it was; its report is dropped.
      m_own.writeNodes("", m_initConfig);
      publishOutputs();
      requestRedraw();
      return;
    }
    // The init config stands in: read it now (a host that reports the write
    // at once reports it while this change is still being applied) and
    // write it.
    const bool complete = m_nodes.parseNodeText(m_initConfig, m_initConfig);
    m_own.writeNodes(m_initConfig, m_initConfig);
    if (complete) {
      publishOutputs();
    } else {
      m_own.forgetOutputs();  // the outputs keep what they held
    }
    requestRedraw();
    return;
  }
  const bool complete = m_nodes.parseNodeText(text, m_initConfig);
  m_own.readNodes(text, m_initConfig);
  if (complete) {
    publishOutputs();
  } else {
    m_own.forgetOutputs();  // the outputs keep what they held
  }
  requestRedraw();
}

void KurvoEditor::publishOutputs() {
  m_own.writeOutputs(m_nodes.formatAxisArrays(), m_nodes.pointCount());
}

void KurvoEditor::publishNodes() {
  const std::string text = m_nodes.formatNodeText();
  OwnWrites::Busy busy(m_own);
  publishOutputs();
  m_own.writeNodes(text, m_initConfig);
}

void KurvoEditor::requestRedraw() {
  HostCall(se::kGuiHostRedraw);
}

void KurvoEditor::takeZoom(float value, bool writeBack) {
  float zoom = value;
  if (!std::isfinite(value) || value <= 0.0f) {
    zoom = 1.0f;
  } else {
    zoom = std::clamp(value, kMinZoom, kMaxZoom);
  }
  m_zoom = zoom;
  if (writeBack && !(zoom == value)) setPinFloat(kPinZoom, zoom);
}

void KurvoEditor::takeScroll(float value, bool writeBack) {
  m_scroll = std::isfinite(value) ? value : 0.0f;
  if (writeBack && !(m_scroll == value)) setPinFloat(kPinScroll, m_scroll);
}

void KurvoEditor::takeMaxPoints(float value) {
  m_maxPoints = truncCount(value);
}

void KurvoEditor::takeSetting(int pin, int value) {
  switch (pin) {
    case kPinLockNodes:
      m_lockNodes = value;
      break;
    case kPinLockView:
      m_lockView = value;
      break;
    case kPinHideScale:
      m_hideScale = value;
      break;
    case kPinPadding:
      m_padding = std::clamp(value, 0, kMaxPadding);
      break;
    case kPinLineWidth:
      m_lineWidth = std::clamp(value, 0, kMaxLineWidth);
      break;
    case kPinFreeze:
      m_freeze = value >= 0 && value <= kMaxFreeze ? value : 0;
      break;
    case kPinSolid:
      m_solid = value;
      break;
    default:
      break;
  }
}

void KurvoEditor::OnGuiPinChanged(SEGuiPinHandle* handle) {
  if (!handle) return;
  const int pin = handle->getIndex();
  switch (pin) {
    case kPinNodes: {
      if (m_own.ownNodesReport(pinText(kPinNodes), m_initConfig)) return;
      OwnWrites::Busy busy(m_own);
      applyNodePin();
      return;
    }
    case kPinZoom:
      takeZoom(pinFloat(kPinZoom), true);
      return;
    case kPinScroll:
      takeScroll(pinFloat(kPinScroll), true);
      return;
    case kPinInitConfig:
      m_initConfig = pinText(kPinInitConfig);
      return;
    case kPinMaxPoints:
      takeMaxPoints(pinFloat(kPinMaxPoints));
      return;
    case kPinBackground:
      m_backgroundColour = static_cast<COLORREF>(pinInt(pin));
      requestRedraw();
      return;
    case kPinScale:
      m_scaleColour = static_cast<COLORREF>(pinInt(pin));
      requestRedraw();
      return;
    case kPinLine:
      m_lineColour = static_cast<COLORREF>(pinInt(pin));
      requestRedraw();
      return;
    case kPinNode:
      m_nodeColour = static_cast<COLORREF>(pinInt(pin));
      requestRedraw();
      return;
    case kPinXArray:
    case kPinYArray: {
      const std::string x = pinText(kPinXArray);
      const std::string y = pinText(kPinYArray);
      if (m_own.ownArraysReport(x, y)) return;
      OwnWrites::Busy busy(m_own);
      const bool complete = m_nodes.parseNodeText(joinAxisArrays(x, y), m_initConfig);
      m_own.forgetNodes();  // "nodes" keeps its text; the store no longer follows it
      if (complete) {
        publishOutputs();
      } else {
        m_own.forgetOutputs();
      }
      requestRedraw();
      return;
    }
    case kPinCount:
      return;
    case kPinLockNodes:
      takeSetting(pin, pinInt(pin));
      return;
    default:
      if (pin > kPinLockNodes && pin <= kPinSolid) {
        takeSetting(pin, pinInt(pin));
        requestRedraw();
      }
      return;
  }
}
