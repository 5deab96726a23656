// KurvoEditor::Paint: background, scale, curve and node squares,
// through CreatePen, CreateSolidBrush, SelectObject, DeleteObject, MoveToEx,
// LineTo, Polyline and FillRect only. Every pen and brush is made and
// deleted within the call.
//
// Pens go through PenSlot, which on every path, a pen that GDI could not
// make included, selects back the pen the host's device context held and
// deletes every pen it made: the host gets its DC back as it gave it.
//
// Safeguards: every float becomes a pixel by a saturating conversion
// (kurvo::truncPixel, kurvo::roundPixel); negative panel sizes count as 0;
// and the X-tick loop visits only the ticks that can fall inside the panel
// (x from 0 to W + 1): the ticks move right as i grows, so the ticks it skips
// lie left of the panel or right of it and would draw nothing there. Counting
// all W / zoom ticks whatever the scroll offset would, for a huge scroll
// offset, be a loop of billions of invisible ticks.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "breakpoint/KurvoModule.h"

using namespace kurvo;

namespace {

// The colour GDI is given: the low 24 bits (the high byte selects palette
// modes in GDI, which no panel means).
COLORREF drawn(COLORREF c) {
  return c & 0x00FFFFFFu;
}

constexpr COLORREF kNoFill = 0xFFFFFFFFu;

int panelSize(int32_t v) {
  return std::clamp<int32_t>(v, 0, kPixelLimit);
}

// The pen slot of the host's device context for the length of one drawing
// step. use() makes a solid pen and selects it, deleting the pen of ours it
// replaces; the pen the DC held before the first of ours is selected back
// and the last pen of ours deleted when the slot goes. A pen that cannot be
// made (or selected) puts the DC's own pen back at once: drawing goes on
// with it, and nothing of ours stays selected or alive.
class PenSlot {
 public:
  explicit PenSlot(HDC dc) : m_dc(dc) {}
  ~PenSlot() { restore(); }
  PenSlot(const PenSlot&) = delete;
  PenSlot& operator=(const PenSlot&) = delete;

  void use(int width, COLORREF colour) {
    HPEN pen = CreatePen(PS_SOLID, width, colour);
    HGDIOBJ replaced = pen ? SelectObject(m_dc, pen) : nullptr;
    if (!replaced) {
      if (pen) DeleteObject(pen);
      restore();
      return;
    }
    if (m_ours) {
      DeleteObject(m_ours);  // no longer selected
    } else {
      m_original = replaced;
    }
    m_ours = pen;
  }

 private:
  void restore() {
    if (!m_ours) return;
    SelectObject(m_dc, m_original);
    DeleteObject(m_ours);
    m_ours = nullptr;
    m_original = nullptr;
  }

  HDC m_dc;
  HGDIOBJ m_original = nullptr;  // the DC's pen before ours; set while m_ours is
  HPEN m_ours = nullptr;         // the pen of ours now selected, or null
};

}  // namespace

void KurvoEditor::drawScale(HDC dc, int w, int h) {
  PenSlot pen(dc);
  pen.use(1, drawn(m_scaleColour));
  const float hH = static_cast<float>(h) * 0.5f;
  const float hW = static_cast<float>(w) * 0.5f * m_zoom;

  MoveToEx(dc, 0, h, nullptr);
  LineTo(dc, w, h);
  MoveToEx(dc, 1, 0, nullptr);
  LineTo(dc, 1, h);

  // X ticks: i = 0, 2, 4, ... while i <= n, n = W / zoom truncated.
  const int64_t n = truncCount(static_cast<float>(w) / m_zoom);
  const double step = static_cast<double>(hW) * 0.1;  // pixels per i, near enough
  int64_t first = 0;
  if (step > 0.0 && std::isfinite(step)) {
    // Start a little before the first tick that can reach x = 0: the float
    // formula below rounds three times (a relative error below 1e-6), so
    // this estimate, lowered by more than that, never starts past it.
    const double estimate = (static_cast<double>(m_scroll) - m_padding - 2.0) / step;
    const double lowest = estimate * (1.0 - 1e-5) - 4.0;
    if (lowest > 0.0) first = lowest >= double(n) ? n + 1 : static_cast<int64_t>(lowest);
    first -= first % 2;
  }
  const bool unitTicks = m_zoom >= 0.1f;
  for (int64_t i = first; i <= n; i += 2) {
    const float tx = static_cast<float>(i) * hW * 0.1f;
    const int x = truncPixel(tx - m_scroll) + m_padding + 1;
    if (x > w + 1) break;  // this tick and every later one lie right of the panel
    int length = 0;
    if (i % 20 == 0) {
      length = 6;
    } else if (unitTicks) {
      length = 3;
    } else {
      continue;
    }
    MoveToEx(dc, x, h - length, nullptr);
    LineTo(dc, x, h);
  }

  // Y ticks: curve Y 0 to 10 in steps of 1; long at 0, 5 and 10.
  for (int j = 0; j <= 20; j += 2) {
    const int y = h - truncPixel(static_cast<float>(j) * hH * 0.1f);
    MoveToEx(dc, 1, y, nullptr);
    LineTo(dc, j % 5 == 0 ? 7 : 4, y);
  }
}

void KurvoEditor::Paint(HDC dc, SEWndInfo* wi) {
  if (!dc || !wi) return;
  const int w = panelSize(wi->width);
  const int h = panelSize(wi->height);
  const float ys = static_cast<float>(h) * 0.01f;
  const float xs = static_cast<float>(w) * 0.01f * m_zoom;
  const float wf = static_cast<float>(w);

  // 1. Background.
  if (m_backgroundColour != kNoFill) {
    HBRUSH brush = CreateSolidBrush(drawn(m_backgroundColour));
    const RECT all{0, 0, w + 1, h + 1};
    FillRect(dc, &all, brush);
    DeleteObject(brush);
  }
  // 2. Scale.
  if (m_hideScale == 0) drawScale(dc, w, h);

  // 3. Curve.
  PenSlot pen(dc);
  pen.use(m_lineWidth + 1, drawn(m_lineColour));
  const auto nodes = m_nodes.nodes();
  for (size_t i = 0; i < nodes.size(); ++i) {
    float fx = xs * nodes[i].x + 0.5f - m_scroll;
    if (i > 0 && fx > wf) fx = wf;
    const float fy = ys * nodes[i].y + 0.5f;
    const int x = m_padding + roundPixel(fx);
    const int y = roundPixel(fy);
    if (i == 0) {
      MoveToEx(dc, x, y, nullptr);
    } else {
      LineTo(dc, x, y);
    }
  }

  // 4. Node squares.
  pen.use(1, drawn(m_nodeColour));  // deletes the curve pen
  for (size_t i = 0; i < nodes.size(); ++i) {
    const int left = truncPixel(xs * nodes[i].x - 3.5f - m_scroll) + m_padding;
    if (left > w) break;  // this node and all later ones are not drawn
    const int top = truncPixel(ys * nodes[i].y - 3.5f);
    const POINT outline[5] = {
        {left, top}, {left + 6, top}, {left + 6, top + 6}, {left, top + 6}, {left, top}};
    Polyline(dc, outline, 5);
    if (m_solid != 0) {
      HBRUSH brush = CreateSolidBrush(drawn(m_nodeColour));
      const RECT square{left, top, left + 6, top + 6};
      FillRect(dc, &square, brush);
      DeleteObject(brush);
    }
  }
  // 5. The slot selects the DC's pen back and deletes the node pen.
}
