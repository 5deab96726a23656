// KurvoEditor's mouse editing: grab and drag a node, add and
// remove nodes by clicking twice on one pixel, scroll and zoom by dragging
// empty space, fit (Shift-click) and reset (Ctrl+Shift-click).
//
// Safeguards:
// - A move while the panel has no width or height drags nothing (the
//   factors 100 / W and 100 / H would be infinite and the node NaN), and a
//   click adds no node there (gx = (x + scroll) / xs has no value).
// - Fit with no nodes, or with a last node at X 0 or less (or NaN): zoom 1
//   (the view of a new instance). Otherwise 80 / gx held within 0.01 to 100,
//   the zoom range of the mouse. Scroll goes to 0.
// - A selected index that the store no longer holds (the nodes changed
//   through a pin during the gesture) counts as no selection.
// - Pointer differences are taken in 64 bits (positions are any int32).
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "breakpoint/KurvoModule.h"

using namespace kurvo;

namespace {

bool freezesFirst(int freeze) {
  return freeze == 1 || freeze == 4 || freeze == 5;
}
bool freezesLast(int freeze) {
  return freeze == 2 || freeze == 4;
}
bool keepsLastY(int freeze) {
  return freeze == 3 || freeze == 5;
}

float difference(int32_t a, int32_t b) {
  return static_cast<float>(static_cast<int64_t>(a) - static_cast<int64_t>(b));
}

}  // namespace

void KurvoEditor::OnButtonDown(SEWndInfo* wi, int /*flags*/, SEPoint point) {
  const int w = wi ? wi->width : 0;
  const int h = wi ? wi->height : 0;
  const float ys = static_cast<float>(h) * 0.01f;
  const float xs = static_cast<float>(w) * 0.01f * m_zoom;
  m_lastX = m_pressX = point.x;
  m_lastY = m_pressY = point.y;
  m_selected = -1;

  const auto nodes = m_nodes.nodes();
  const int64_t count = static_cast<int64_t>(nodes.size());
  const int64_t first = freezesFirst(m_freeze) ? 1 : 0;
  const int64_t end = freezesLast(m_freeze) ? count - 1 : count;
  const float padding = static_cast<float>(m_padding);
  const POINT p{point.x, point.y};
  for (int64_t i = first; i < end; ++i) {
    const float gx = nodes[static_cast<size_t>(i)].x;
    const float gy = nodes[static_cast<size_t>(i)].y;
    const RECT box{truncPixel(xs * gx - 7.0f - m_scroll + padding), truncPixel(ys * gy - 7.0f),
                   truncPixel(xs * gx + 7.0f - m_scroll + padding), truncPixel(ys * gy + 7.0f)};
    if (PtInRect(&box, p)) {
      m_selected = static_cast<int32_t>(i);
      requestRedraw();
      break;
    }
  }
  CaptureMouse(wi);
}

void KurvoEditor::OnMouseMove(SEWndInfo* wi, int flags, SEPoint point) {
  if (!HasMouseCapture(wi)) return;
  const int w = wi ? wi->width : 0;
  const int h = wi ? wi->height : 0;
  auto nodes = m_nodes.nodes();
  const int64_t count = static_cast<int64_t>(nodes.size());

  if (m_selected >= 0 && m_selected < count) {
    if (w <= 0 || h <= 0) return;  // no panel to drag in
    // 1.
    if (w != m_panelW) {
      m_panelW = w;
      m_widthFactor = 100.0f / static_cast<float>(w);
    }
    if (h != m_panelH) {
      m_panelH = h;
      m_heightFactor = 100.0f / static_cast<float>(h);
    }
    // 2.
    float ddx = difference(point.x, m_lastX) * m_widthFactor * (1.0f / m_zoom);
    float ddy = difference(point.y, m_lastY) * m_heightFactor;
    if (flags & se::kMouseCtrl) {
      ddx *= 0.1f;
      ddy *= 0.1f;
    }
    const size_t i = static_cast<size_t>(m_selected);
    BreakpointNode& node = nodes[i];
    // 3.
    float gy = node.y + ddy;
    if (gy <= 0.0f) {
      gy = 0.0f;
    } else if (gy >= 100.0f) {
      gy = 100.0f;
    }
    // 4.
    float gx = node.x + ddx;
    if (gx <= 0.0f) gx = 0.0f;
    const float limit = (static_cast<float>(m_panelW) * m_widthFactor + m_scroll) * (1.0f / m_zoom);
    if (!(gx < limit)) gx = limit;
    // 5.
    const size_t last = nodes.size() - 1;
    if (i == last) {
      if (i > 0 && !(gx > nodes[i - 1].x)) gx = nodes[i - 1].x;
      if (keepsLastY(m_freeze)) gy = node.y;
    } else if (i == 0) {
      if (!(gx < nodes[1].x)) gx = nodes[1].x;
    } else {
      if (!(gx > nodes[i - 1].x)) gx = nodes[i - 1].x;
      if (!(gx < nodes[i + 1].x)) gx = nodes[i + 1].x;
    }
    // 6.
    node.x = gx;
    node.y = gy;
    m_lastX = point.x;
    m_lastY = point.y;
    publishNodes();
    requestRedraw();
    return;
  }

  if (m_lockView == 0 && (flags & se::kMouseLeft)) {
    if (flags & se::kMouseShift) {
      const float zoom = m_zoom + difference(point.x, m_lastX) * m_zoom * 0.01f;
      if (zoom <= kMaxZoom && zoom >= kMinZoom) {
        m_zoom = zoom;
        setPinFloat(kPinZoom, m_zoom);
        m_lastX = point.x;
        m_lastY = point.y;
        requestRedraw();
      }
      return;
    }
    float delta = difference(m_lastX, point.x);
    if (flags & se::kMouseRight) delta *= 10.0f;
    m_scroll = m_scroll + delta;
    if (m_scroll < 0.0f) m_scroll = 0.0f;
    setPinFloat(kPinScroll, m_scroll);
    m_lastX = point.x;
    m_lastY = point.y;
    requestRedraw();
  }
}

void KurvoEditor::fit() {
  m_scroll = 0.0f;
  setPinFloat(kPinScroll, m_scroll);
  const auto nodes = m_nodes.nodes();
  float zoom = 1.0f;
  if (!nodes.empty()) {
    const float lastX = nodes.back().x;
    const float z = 80.0f / lastX;
    if (lastX > 0.0f && std::isfinite(z)) zoom = std::clamp(z, kMinZoom, kMaxZoom);
  }
  m_zoom = zoom;
  setPinFloat(kPinZoom, m_zoom);
}

void KurvoEditor::reset() {
  m_nodes.parseNodeText("", "");  // count 0
  m_own.forgetAll();
  m_clickX = m_clickY = 0;
  m_zoom = 1.0f;
  m_scroll = 0.0f;
  // "nodes" empty, then the refill from the init config that applyNodePin
  // makes of it, here and now on every host. Left to the report of this
  // write, the refill would be lost on a host that reports at once: that
  // report arrives while the reset is under way, and is dropped.
  OwnWrites::Busy busy(m_own);
  m_own.clearNodes();
  applyNodePin();
}

void KurvoEditor::OnButtonUp(SEWndInfo* wi, int flags, SEPoint point) {
  ReleaseMouse(wi);
  const int w = wi ? wi->width : 0;
  const int h = wi ? wi->height : 0;
  const float ys = static_cast<float>(h) * 0.01f;
  const float xs = static_cast<float>(w) * 0.01f * m_zoom;
  const int64_t count = static_cast<int64_t>(m_nodes.count());
  const bool selected = m_selected >= 0 && m_selected < count;
  const bool remember = [&] {
    if ((flags & se::kMouseShift) && point.x == m_pressX && point.y == m_pressY) {
      if (m_lockView != 0) return true;
      if (m_lockNodes == 0 && (flags & se::kMouseCtrl)) {
        reset();
        return false;
      }
      if (selected) return true;
      fit();
      m_clickX = m_clickY = 0;
      return false;
    }
    if (point.x == m_clickX && point.y == m_clickY && point.x != 0 && point.y != 0) {
      if (selected) {
        if (m_lockNodes == 0) {
          m_nodes.removeNode(static_cast<size_t>(m_selected));
          publishNodes();
          m_clickX = m_clickY = 0;
        }
      } else if (m_lockNodes == 0 && count < m_maxPoints) {
        const float gx = (static_cast<float>(point.x) + m_scroll) / xs;
        const float gy = static_cast<float>(point.y) / ys;
        if (xs > 0.0f && ys > 0.0f && std::isfinite(gx) && std::isfinite(gy)) {
          m_nodes.insertNode(gx, gy);
          m_clickX = m_clickY = 0;
          publishNodes();
        }
      }
      return false;
    }
    return true;
  }();
  if (remember) {
    m_clickX = point.x;
    m_clickY = point.y;
  }
  m_selected = -1;
  requestRedraw();
}
