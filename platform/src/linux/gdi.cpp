// The GDI subset of the Linux layer: a software device context over a pixel
// buffer, with the pixel rules of GDI's own rasteriser (checked against
// goldens from GDI under Wine in platform/tests).
#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <unordered_map>
#include <variant>

#include "internal.h"
#include "platform/win32.h"

namespace {

struct Pen {
  int style;
  int width;  // 1 for the one-pixel pen
  COLORREF color;
};

struct Brush {
  COLORREF color;
  bool hollow;  // NULL_BRUSH: fills nothing
};

struct Dc {
  uint32_t* pixels;  // width * height, owned by the Canvas
  int width;
  int height;
  uintptr_t pen;
  uintptr_t brush;
  int64_t x = 0;  // current position
  int64_t y = 0;
};

struct Object {
  std::variant<Pen, Brush, Dc> value;
  int selected = 0;  // number of device contexts holding this pen or brush
  bool stock = false;
  // DeleteObject came while the object was selected: it keeps drawing in the
  // device contexts that hold it, is otherwise treated as deleted, and goes
  // when the last of them lets it go.
  bool doomed = false;
};

struct Table {
  std::mutex mutex;
  std::unordered_map<uintptr_t, Object> objects;
  uintptr_t stock[NULL_PEN + 1] = {};
  // Pen failures asked for by a test (fail_pen_creation): the next
  // pens_before_failure calls of CreatePen succeed, then pens_to_fail fail.
  int pens_before_failure = 0;
  int pens_to_fail = 0;

  Table() {
    auto add_stock = [&](int which, Object object) {
      object.stock = true;
      stock[which] = platform::detail::new_handle_value();
      objects.emplace(stock[which], object);
    };
    add_stock(WHITE_BRUSH, {Brush{RGB(255, 255, 255), false}});
    add_stock(LTGRAY_BRUSH, {Brush{RGB(192, 192, 192), false}});
    add_stock(GRAY_BRUSH, {Brush{RGB(128, 128, 128), false}});
    add_stock(DKGRAY_BRUSH, {Brush{RGB(64, 64, 64), false}});
    add_stock(BLACK_BRUSH, {Brush{RGB(0, 0, 0), false}});
    add_stock(NULL_BRUSH, {Brush{0, true}});
    add_stock(WHITE_PEN, {Pen{PS_SOLID, 1, RGB(255, 255, 255)}});
    add_stock(BLACK_PEN, {Pen{PS_SOLID, 1, RGB(0, 0, 0)}});
    add_stock(NULL_PEN, {Pen{PS_NULL, 1, 0}});
  }

  // A live object of type T, or null.
  template <class T>
  T* find(const void* handle) {
    auto it = objects.find(reinterpret_cast<uintptr_t>(handle));
    if (it == objects.end() || it->second.doomed) return nullptr;
    return std::get_if<T>(&it->second.value);
  }

  // A device context stops holding the object.
  void release(uintptr_t handle) {
    auto it = objects.find(handle);
    if (it == objects.end()) return;
    if (--it->second.selected == 0 && it->second.doomed) objects.erase(it);
  }
};

Table& table() {
  static Table instance;
  return instance;
}

uint32_t to_pixel(COLORREF color) {
  return (color & 0xff) << 16 | (color & 0xff00) | (color >> 16 & 0xff);
}

// GDI keeps device coordinates within 27 bits; beyond that its results are
// undefined. Holding them there keeps every product below in 64 bits.
constexpr int64_t coordinate_limit = int64_t{1} << 27;
int64_t clamp_coordinate(int64_t v) {
  return std::clamp(v, -coordinate_limit, coordinate_limit);
}

int64_t floor_div(int64_t a, int64_t b) {  // b > 0
  return a >= 0 ? a / b : -((-a + b - 1) / b);
}
int64_t ceil_div(int64_t a, int64_t b) {  // b > 0
  return -floor_div(-a, b);
}

void fill_span(Dc& dc, int64_t y, int64_t left, int64_t right, uint32_t rgb) {
  if (y < 0 || y >= dc.height) return;
  left = std::max<int64_t>(left, 0);
  right = std::min<int64_t>(right, dc.width);
  uint32_t* row = dc.pixels + y * dc.width;
  for (int64_t x = left; x < right; ++x) row[x] = rgb;
}

// A one-pixel line from (x0, y0) to (x1, y1), the end pixel excluded, with
// the pixels GDI's Bresenham picks: along the major axis, pixel i
// (0 <= i < n) sits at the exact position rounded to the nearest pixel, and
// a tie (exactly half way) goes to the smaller coordinate, up for shallow
// lines and left for steep ones, whichever way the line runs. Only the part
// of the line over the canvas is walked, so far-away endpoints cost nothing.
void thin_line(Dc& dc, int64_t x0, int64_t y0, int64_t x1, int64_t y1, uint32_t rgb) {
  x0 = clamp_coordinate(x0), y0 = clamp_coordinate(y0);
  x1 = clamp_coordinate(x1), y1 = clamp_coordinate(y1);
  const int64_t dx = x1 - x0, dy = y1 - y0;
  if (dx == 0 && dy == 0) return;
  const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  // Octants 1 to 8 clockwise on screen (y grows down) from +x; x is the
  // major axis only when strictly longer. The tie rule above means rounding
  // back toward the start in octants 1, 2, 4 and 7 and forward in the others.
  int octant;
  if (dy > 0) {
    octant = dx > 0 ? (dx > dy ? 1 : 2) : (-dx > dy ? 4 : 3);
  } else {
    octant = dx < 0 ? (-dx > -dy ? 5 : 6) : (dx > -dy ? 8 : 7);
  }
  const bool bias = octant == 1 || octant == 2 || octant == 4 || octant == 7;
  const bool x_major = adx > ady;
  const int64_t major0 = x_major ? x0 : y0, minor0 = x_major ? y0 : x0;
  const int64_t major_step = (x_major ? dx : dy) < 0 ? -1 : 1;
  const int64_t minor_step = (x_major ? dy : dx) < 0 ? -1 : 1;
  const int64_t n = x_major ? adx : ady, m = x_major ? ady : adx;
  const int64_t major_size = x_major ? dc.width : dc.height;
  const int64_t minor_size = x_major ? dc.height : dc.width;
  // Steps i whose major coordinate major0 + major_step * i lies on the canvas.
  int64_t first, last;  // [first, last)
  if (major_step > 0) {
    first = std::max<int64_t>(0, -major0);
    last = std::min<int64_t>(n, major_size - major0);
  } else {
    first = std::max<int64_t>(0, major0 - major_size + 1);
    last = std::min<int64_t>(n, major0 + 1);
  }
  for (int64_t i = first; i < last; ++i) {
    const int64_t offset = (2 * i * m + n - (bias ? 1 : 0)) / (2 * n);
    const int64_t major = major0 + major_step * i;
    const int64_t minor = minor0 + minor_step * offset;
    if (minor < 0 || minor >= minor_size) continue;
    const int64_t x = x_major ? major : minor, y = x_major ? minor : major;
    dc.pixels[y * dc.width + x] = rgb;
  }
}

struct Point64 {
  int64_t x, y;
};

// Fills a polygon the way GDI fills a polygon region (winding rule): pixel
// (x, y) belongs to it when the point (x, y) lies inside, points on a left or
// top edge counting as inside and points on a right or bottom edge not.
void fill_polygon(Dc& dc, const Point64* p, int count, uint32_t rgb) {
  int64_t top = p[0].y, bottom = p[0].y;
  for (int i = 1; i < count; ++i) top = std::min(top, p[i].y), bottom = std::max(bottom, p[i].y);
  top = std::max<int64_t>(top, 0);
  bottom = std::min<int64_t>(bottom, dc.height);
  struct Crossing {
    int64_t x;
    int direction;
  };
  std::vector<Crossing> crossings;
  for (int64_t y = top; y < bottom; ++y) {
    crossings.clear();
    for (int i = 0; i < count; ++i) {
      Point64 a = p[i], b = p[(i + 1) % count];
      if (a.y == b.y) continue;
      const int direction = a.y < b.y ? 1 : -1;
      if (a.y > b.y) std::swap(a, b);
      if (y < a.y || y >= b.y) continue;
      crossings.push_back({a.x + ceil_div((y - a.y) * (b.x - a.x), b.y - a.y), direction});
    }
    std::sort(crossings.begin(), crossings.end(),
              [](const Crossing& l, const Crossing& r) { return l.x < r.x; });
    int winding = 0;
    for (size_t i = 0; i + 1 < crossings.size(); ++i) {
      winding += crossings[i].direction;
      if (winding != 0) fill_span(dc, y, crossings[i].x, crossings[i + 1].x, rgb);
    }
  }
}

// The rows of the round end of a pen of the given width: a width x width
// disc whose top-left pixel is (-(width / 2), -(width / 2)) from the point,
// traced as GDI traces an elliptic region. spans[r] = [left, right) of row r.
std::vector<std::pair<int, int>> round_cap_spans(int width) {
  const int left = -(width / 2), right = left + width;
  std::vector<std::pair<int, int>> rows(width, {left, right});
  if (width < 2) return rows;
  const int64_t a = width - 1, b = width - 1;
  const int64_t asq = 8 * a * a, bsq = 8 * b * b;
  int64_t dx = 4 * b * b * (1 - a), dy = 4 * a * a * (1 + b % 2);
  int64_t err = dx + dy + a * a * (b % 2);
  int x = 0, y = width / 2;
  rows[y] = {left, right};
  while (x <= width / 2) {
    const int64_t e2 = 2 * err;
    if (e2 >= dx) {
      ++x;
      err += dx += bsq;
    }
    if (e2 <= dy) {
      ++y;
      err += dy += asq;
      if (y < width) rows[y] = {left + x, right - x};
    }
  }
  for (int i = 0; i < width / 2; ++i) rows[i] = rows[b - i];
  return rows;
}

void round_cap(Dc& dc, Point64 at, int width, uint32_t rgb) {
  const auto rows = round_cap_spans(width);
  for (int r = 0; r < width; ++r) {
    fill_span(dc, at.y - width / 2 + r, at.x + rows[r].first, at.x + rows[r].second, rgb);
  }
}

int64_t round_half_up(double v) {
  return static_cast<int64_t>(std::floor(v + 0.5));
}

// One segment of a wide pen, without its ends: a rectangle for horizontal
// and vertical segments, otherwise the four-cornered band of the pen's width
// around the segment, its corners rounded to pixels as GDI rounds them (one
// side of the segment gets half the width rounded up, the other half the
// width rounded down; the fan scenes pin which for every slope).
void wide_segment(Dc& dc, Point64 a, Point64 b, int width, uint32_t rgb) {
  const int64_t dx = b.x - a.x, dy = b.y - a.y;
  if (dx == 0 && dy == 0) return;
  if (dy == 0) {
    const int64_t top = a.y - width / 2;
    for (int64_t y = top; y < top + width; ++y)
      fill_span(dc, y, std::min(a.x, b.x), std::max(a.x, b.x), rgb);
    return;
  }
  if (dx == 0) {
    const int64_t left = a.x - width / 2;
    for (int64_t y = std::max<int64_t>(std::min(a.y, b.y), 0);
         y < std::min<int64_t>(std::max(a.y, b.y), dc.height); ++y)
      fill_span(dc, y, left, left + width, rgb);
    return;
  }
  const double length = std::hypot(static_cast<double>(dx), static_cast<double>(dy));
  const double width_x = width * std::fabs(static_cast<double>(dy)) / length;
  const double width_y = width * std::fabs(static_cast<double>(dx)) / length;
  Point64 narrow{round_half_up(width_x / 2), round_half_up(width_y / 2)};
  Point64 wide{round_half_up((width_x + 1) / 2), round_half_up((width_y + 1) / 2)};
  if (dx < 0) {
    wide.y = -wide.y;
    narrow.y = -narrow.y;
  }
  if (dy < 0) {
    std::swap(narrow, wide);
    wide.x = -wide.x;
    narrow.x = -narrow.x;
  }
  const Point64 corners[4] = {{a.x + wide.x, a.y - wide.y},
                              {a.x - narrow.x, a.y + narrow.y},
                              {b.x - narrow.x, b.y + narrow.y},
                              {b.x + wide.x, b.y - wide.y}};
  fill_polygon(dc, corners, 4, rgb);
}

// Draws the path through the points with the DC's pen: one-pixel lines
// segment by segment (each without its end pixel, so shared points are drawn
// once), or for a wide pen the bands of all segments with a round end or
// join at every point.
void stroke(Dc& dc, const Pen& pen, const Point64* points, int count) {
  if (pen.style == PS_NULL || count < 2) return;
  const uint32_t rgb = to_pixel(pen.color);
  if (pen.width <= 1) {
    for (int i = 0; i + 1 < count; ++i)
      thin_line(dc, points[i].x, points[i].y, points[i + 1].x, points[i + 1].y, rgb);
    return;
  }
  std::vector<Point64> p(points, points + count);
  for (auto& q : p) q.x = clamp_coordinate(q.x), q.y = clamp_coordinate(q.y);
  for (int i = 0; i + 1 < count; ++i) wide_segment(dc, p[i], p[i + 1], pen.width, rgb);
  for (int i = 0; i < count; ++i) round_cap(dc, p[i], pen.width, rgb);
}

}  // namespace

namespace platform::detail {

uintptr_t new_handle_value() {
  static std::atomic<uintptr_t> next{0x10000};
  return next.fetch_add(4);
}

HDC create_memory_dc(uint32_t* pixels, int width, int height) {
  auto& t = table();
  std::lock_guard lock(t.mutex);
  const uintptr_t handle = new_handle_value();
  Dc dc{pixels, width, height, t.stock[BLACK_PEN], t.stock[WHITE_BRUSH]};
  t.objects[dc.pen].selected++;
  t.objects[dc.brush].selected++;
  t.objects.emplace(handle, Object{dc});
  return reinterpret_cast<HDC>(handle);
}

void delete_memory_dc(HDC handle) {
  auto& t = table();
  std::lock_guard lock(t.mutex);
  Dc* dc = t.find<Dc>(handle);
  if (!dc) return;
  const uintptr_t pen = dc->pen, brush = dc->brush;
  t.objects.erase(reinterpret_cast<uintptr_t>(handle));
  t.release(pen);
  t.release(brush);
}

void fail_pen_creation(int skip, int count) {
  auto& t = table();
  std::lock_guard lock(t.mutex);
  t.pens_before_failure = std::max(0, skip);
  t.pens_to_fail = std::max(0, count);
}

int live_pens_and_brushes() {
  auto& t = table();
  std::lock_guard lock(t.mutex);
  int live = 0;
  for (const auto& [handle, object] : t.objects) {
    if (object.stock || std::holds_alternative<Dc>(object.value)) continue;  // doomed: still held
    ++live;
  }
  return live;
}

}  // namespace platform::detail

HPEN CreatePen(int style, int width, COLORREF color) {
  auto& t = table();
  std::lock_guard lock(t.mutex);
  if (t.pens_before_failure > 0) {
    --t.pens_before_failure;
  } else if (t.pens_to_fail > 0) {
    --t.pens_to_fail;
    return nullptr;  // as GDI answers when the process has no objects left
  }
  const uintptr_t handle = platform::detail::new_handle_value();
  // Widths past 65536 (four times the largest canvas) draw as 65536.
  const int64_t magnitude = width < 0 ? -int64_t{width} : int64_t{width};
  width = static_cast<int>(std::clamp<int64_t>(magnitude, 1, 1 << 16));
  t.objects.emplace(handle, Object{Pen{style == PS_NULL ? PS_NULL : PS_SOLID, width, color}});
  return reinterpret_cast<HPEN>(handle);
}

HBRUSH CreateSolidBrush(COLORREF color) {
  auto& t = table();
  std::lock_guard lock(t.mutex);
  const uintptr_t handle = platform::detail::new_handle_value();
  t.objects.emplace(handle, Object{Brush{color, false}});
  return reinterpret_cast<HBRUSH>(handle);
}

HGDIOBJ GetStockObject(int which) {
  auto& t = table();
  if (which < 0 || which > NULL_PEN) return nullptr;
  return reinterpret_cast<HGDIOBJ>(t.stock[which]);
}

HGDIOBJ SelectObject(HDC dc_handle, HGDIOBJ object) {
  auto& t = table();
  std::lock_guard lock(t.mutex);
  Dc* dc = t.find<Dc>(dc_handle);
  auto it = t.objects.find(reinterpret_cast<uintptr_t>(object));
  if (!dc || it == t.objects.end() || it->second.doomed) return nullptr;
  uintptr_t* slot = nullptr;
  if (std::holds_alternative<Pen>(it->second.value)) slot = &dc->pen;
  if (std::holds_alternative<Brush>(it->second.value)) slot = &dc->brush;
  if (!slot) return nullptr;
  const uintptr_t previous = *slot;
  it->second.selected++;
  *slot = it->first;
  t.release(previous);  // may delete it, but its handle value is what we return
  return reinterpret_cast<HGDIOBJ>(previous);
}

BOOL DeleteObject(HGDIOBJ object) {
  auto& t = table();
  std::lock_guard lock(t.mutex);
  auto it = t.objects.find(reinterpret_cast<uintptr_t>(object));
  if (it == t.objects.end() || it->second.doomed) return FALSE;
  // A device context belongs to its Canvas, which deletes it.
  if (std::holds_alternative<Dc>(it->second.value)) return FALSE;
  if (it->second.stock) return TRUE;
  if (it->second.selected > 0)
    it->second.doomed = true;
  else
    t.objects.erase(it);
  return TRUE;
}

BOOL MoveToEx(HDC dc_handle, int x, int y, LPPOINT previous) {
  auto& t = table();
  std::lock_guard lock(t.mutex);
  Dc* dc = t.find<Dc>(dc_handle);
  if (!dc) return FALSE;
  if (previous) *previous = POINT{static_cast<LONG>(dc->x), static_cast<LONG>(dc->y)};
  dc->x = x;
  dc->y = y;
  return TRUE;
}

BOOL LineTo(HDC dc_handle, int x, int y) {
  auto& t = table();
  std::lock_guard lock(t.mutex);
  Dc* dc = t.find<Dc>(dc_handle);
  if (!dc) return FALSE;
  const Point64 path[2] = {{dc->x, dc->y}, {x, y}};
  stroke(*dc, std::get<Pen>(t.objects[dc->pen].value), path, 2);
  dc->x = x;
  dc->y = y;
  return TRUE;
}

BOOL Polyline(HDC dc_handle, const POINT* points, int count) {
  auto& t = table();
  std::lock_guard lock(t.mutex);
  Dc* dc = t.find<Dc>(dc_handle);
  if (!dc || !points || count < 2) return FALSE;
  std::vector<Point64> path(count);
  for (int i = 0; i < count; ++i) path[i] = {points[i].x, points[i].y};
  stroke(*dc, std::get<Pen>(t.objects[dc->pen].value), path.data(), count);
  return TRUE;
}

int FillRect(HDC dc_handle, const RECT* rect, HBRUSH brush_handle) {
  auto& t = table();
  std::lock_guard lock(t.mutex);
  Dc* dc = t.find<Dc>(dc_handle);
  Brush* brush = t.find<Brush>(brush_handle);
  if (!dc || !brush || !rect) return 0;
  if (brush->hollow) return 1;
  // A rectangle with swapped edges covers right < x <= left (resp. for y), as
  // GDI's pattern fill with a negative extent does.
  auto range = [](int64_t from, int64_t to) {
    return from <= to ? std::pair{from, to} : std::pair{to + 1, from + 1};
  };
  const auto [left, right] = range(rect->left, rect->right);
  auto [top, bottom] = range(rect->top, rect->bottom);
  top = std::max<int64_t>(top, 0);
  bottom = std::min<int64_t>(bottom, dc->height);
  for (int64_t y = top; y < bottom; ++y) fill_span(*dc, y, left, right, to_pixel(brush->color));
  return 1;
}

BOOL PtInRect(const RECT* rect, POINT point) {
  if (!rect) return FALSE;
  return point.x >= rect->left && point.x < rect->right && point.y >= rect->top &&
         point.y < rect->bottom;
}
