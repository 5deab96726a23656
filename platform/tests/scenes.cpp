#include "scenes.h"

#include <cmath>

namespace platform::scenes {

namespace {

COLORREF colour(int i) {
  static const COLORREF palette[] = {RGB(255, 0, 0),   RGB(0, 255, 0),    RGB(0, 0, 255),
                                     RGB(255, 255, 0), RGB(0, 255, 255),  RGB(255, 0, 255),
                                     RGB(255, 128, 0), RGB(128, 255, 128)};
  return palette[i % 8];
}

// Draws with a fresh pen that is selected, used, selected out and deleted.
template <class F>
void with_pen(HDC dc, int width, COLORREF c, F draw) {
  HPEN pen = CreatePen(PS_SOLID, width, c);
  HGDIOBJ old = SelectObject(dc, pen);
  draw();
  SelectObject(dc, old);
  DeleteObject(pen);
}

void fill(HDC dc, int left, int top, int right, int bottom, COLORREF c) {
  HBRUSH brush = CreateSolidBrush(c);
  RECT r{left, top, right, bottom};
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

// Short lines in every direction: each base slope in all eight octants,
// from the centre of its own 24 x 24 cell. The slopes include exact ties
// (a minor step exactly half way) and the diagonals and axes.
void directions(HDC dc, int width) {
  static const int base[][2] = {{8, 3}, {6, 3}, {4, 2}, {10, 5}, {9, 4}, {7, 7}, {9, 0}, {5, 1}};
  int cell = 0;
  for (const auto& b : base) {
    for (int v = 0; v < 8; ++v) {
      int dx = (v & 4) ? b[1] : b[0], dy = (v & 4) ? b[0] : b[1];
      if (v & 1) dx = -dx;
      if (v & 2) dy = -dy;
      const int cx = (cell % 8) * 24 + 12, cy = (cell / 8) * 24 + 12;
      with_pen(dc, width, colour(cell), [&] {
        MoveToEx(dc, cx, cy, nullptr);
        LineTo(dc, cx + dx, cy + dy);
      });
      ++cell;
    }
  }
}

// A fan of lines from near the centre to points 7 pixels apart around a
// square, so that every slope between the axes appears, in both directions
// (outwards on even points, inwards on odd ones).
void fan(HDC dc, int width) {
  int i = 0;
  auto spoke = [&](int dx, int dy) {
    with_pen(dc, width, colour(i), [&] {
      const int x0 = 100 + dx / 8, y0 = 100 + dy / 8, x1 = 100 + dx, y1 = 100 + dy;
      MoveToEx(dc, i % 2 ? x1 : x0, i % 2 ? y1 : y0, nullptr);
      LineTo(dc, i % 2 ? x0 : x1, i % 2 ? y0 : y1);
    });
    ++i;
  };
  for (int t = -90; t < 90; t += 7) spoke(t, -90);
  for (int t = -90; t < 90; t += 7) spoke(90, t);
  for (int t = 90; t > -90; t -= 7) spoke(t, 90);
  for (int t = 90; t > -90; t -= 7) spoke(-90, t);
}

// Long shallow and steep lines across the canvas, both ways.
void slopes(HDC dc, int width) {
  static const int lines[][4] = {{2, 3, 197, 40},     {197, 60, 2, 45},   {5, 150, 190, 2},
                                 {10, 10, 40, 155},   {60, 155, 50, 5},   {100, 3, 123, 156},
                                 {180, 150, 150, 20}, {3, 100, 196, 101}, {196, 120, 3, 119},
                                 {70, 80, 130, 80},   {130, 90, 70, 90},  {90, 40, 90, 130},
                                 {95, 130, 95, 40}};
  int i = 0;
  for (const auto& l : lines) {
    with_pen(dc, width, colour(i++), [&] {
      MoveToEx(dc, l[0], l[1], nullptr);
      LineTo(dc, l[2], l[3]);
    });
  }
}

// Open and closed polylines: a zigzag, a square outline of five points, a
// star, a path that doubles back on itself.
void polylines(HDC dc, int width) {
  const POINT zigzag[] = {{5, 5}, {30, 40}, {55, 8}, {80, 45}, {105, 10}, {130, 30}};
  const POINT square[] = {{20, 60}, {26, 60}, {26, 66}, {20, 66}, {20, 60}};
  const POINT big_square[] = {{40, 60}, {90, 60}, {90, 110}, {40, 110}, {40, 60}};
  const POINT star[] = {{140, 60}, {155, 110}, {115, 78}, {165, 78}, {125, 110}, {140, 60}};
  const POINT back[] = {{10, 120}, {60, 140}, {20, 125}, {100, 150}, {100, 120}};
  with_pen(dc, width, colour(0), [&] { Polyline(dc, zigzag, 6); });
  with_pen(dc, width, colour(1), [&] { Polyline(dc, square, 5); });
  with_pen(dc, width, colour(2), [&] { Polyline(dc, big_square, 5); });
  with_pen(dc, width, colour(3), [&] { Polyline(dc, star, 6); });
  with_pen(dc, width, colour(4), [&] { Polyline(dc, back, 5); });
  // MoveToEx and LineTo chain through the current position.
  with_pen(dc, width, colour(5), [&] {
    MoveToEx(dc, 150, 130, nullptr);
    LineTo(dc, 190, 140);
    LineTo(dc, 170, 155);
    LineTo(dc, 150, 130);
  });
}

// Lines that run off the canvas, some very far, and along its edges.
void clipping(HDC dc, int width) {
  static const int lines[][4] = {{-100000, 50, 100000, 60}, {-30, -20, 150, 130},
                                 {50, -100000, 70, 100000}, {130, 20, 20000, -3000},
                                 {-5, 0, 125, 0},           {0, 5, 0, 90},
                                 {119, 90, 119, -1},        {125, 99, -5, 99},
                                 {0, 100, 120, 100},        {-20000, 30000, 30000, -20000},
                                 {200, 10, 60, 12},         {-3, 46, 3, 46}};
  int i = 0;
  for (const auto& l : lines) {
    with_pen(dc, width, colour(i++), [&] {
      MoveToEx(dc, l[0], l[1], nullptr);
      LineTo(dc, l[2], l[3]);
    });
  }
}

// Filled rectangles, right and bottom edges excluded: plain, one pixel,
// empty, inverted corners, over the edges and far off the canvas; outlines
// drawn as the five-point polyline the node squares use, filled inside.
void rectangles(HDC dc) {
  fill(dc, 0, 0, 161, 101, RGB(20, 30, 40));  // one past the canvas, as a background fill
  fill(dc, 5, 5, 25, 15, colour(0));
  fill(dc, 30, 5, 31, 6, colour(1));
  fill(dc, 35, 5, 35, 20, colour(2));  // empty
  fill(dc, 60, 20, 40, 5, colour(3));  // corners swapped
  fill(dc, -10, 30, 10, 40, colour(4));
  fill(dc, 150, 90, 400, 300, colour(5));
  fill(dc, -100000, 50, -99000, 60, colour(6));
  fill(dc, 70, -100000, 80, 100000, colour(7));
  with_pen(dc, 1, RGB(255, 255, 255), [&] {
    for (int i = 0; i < 4; ++i) {
      const int left = 90 + i * 15, top = 10;
      const POINT outline[] = {
          {left, top}, {left + 6, top}, {left + 6, top + 6}, {left, top + 6}, {left, top}};
      Polyline(dc, outline, 5);
      if (i % 2) fill(dc, left, top, left + 6, top + 6, RGB(255, 255, 255));
    }
  });
}

// The paint sequence of the breakpoint graph panel, 200 x 100: background,
// scale (base line, axis, ticks), the curve with a pen of the given width,
// then the node squares with a one-pixel pen, the curve pen deleted while the
// node pen is selected, and the original pen restored at the end.
void breakpoint_panel(HDC dc, int curve_width) {
  const int W = 200, H = 100;
  HBRUSH background = CreateSolidBrush(RGB(240, 240, 220));
  RECT all{0, 0, W + 1, H + 1};
  FillRect(dc, &all, background);
  DeleteObject(background);

  HPEN scale = CreatePen(PS_SOLID, 1, RGB(60, 60, 60));
  HGDIOBJ before_scale = SelectObject(dc, scale);
  MoveToEx(dc, 0, H, nullptr);
  LineTo(dc, W, H);
  MoveToEx(dc, 1, 0, nullptr);
  LineTo(dc, 1, H);
  for (int i = 0; i <= W; i += 2) {
    const int x = static_cast<int>(i * (W * 0.5f) * 0.1f) + 1;
    const int length = i % 20 == 0 ? 6 : 3;
    MoveToEx(dc, x, H - length, nullptr);
    LineTo(dc, x, H);
  }
  for (int j = 0; j <= 20; j += 2) {
    const int y = H - static_cast<int>(j * (H * 0.5f) * 0.1f);
    MoveToEx(dc, 1, y, nullptr);
    LineTo(dc, j % 5 == 0 ? 7 : 4, y);
  }
  SelectObject(dc, before_scale);
  DeleteObject(scale);

  const POINT nodes[] = {{0, 50}, {30, 90}, {61, 12}, {100, 70}, {133, 69}, {170, 5}, {200, 50}};
  HPEN curve = CreatePen(PS_SOLID, curve_width, RGB(200, 0, 0));
  HGDIOBJ before_curve = SelectObject(dc, curve);
  MoveToEx(dc, nodes[0].x, nodes[0].y, nullptr);
  for (const POINT& p : nodes) LineTo(dc, p.x, p.y);

  HPEN node_pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 160));
  SelectObject(dc, node_pen);
  DeleteObject(curve);
  for (const POINT& p : nodes) {
    const int left = p.x - 3, top = p.y - 3;
    const POINT outline[] = {
        {left, top}, {left + 6, top}, {left + 6, top + 6}, {left, top + 6}, {left, top}};
    Polyline(dc, outline, 5);
    HBRUSH solid = CreateSolidBrush(RGB(0, 0, 160));
    RECT square{left, top, left + 6, top + 6};
    FillRect(dc, &square, solid);
    DeleteObject(solid);
  }
  SelectObject(dc, before_curve);
  DeleteObject(node_pen);
}

}  // namespace

const std::vector<Scene>& all() {
  static const std::vector<Scene> scenes = [] {
    std::vector<Scene> s;
    for (int w = 1; w <= 4; ++w) {
      const std::string suffix = "_w" + std::to_string(w);
      s.push_back({"directions" + suffix, 192, 192, [w](HDC dc) { directions(dc, w); }});
      s.push_back({"fan" + suffix, 200, 200, [w](HDC dc) { fan(dc, w); }});
      s.push_back({"slopes" + suffix, 200, 160, [w](HDC dc) { slopes(dc, w); }});
      s.push_back({"polylines" + suffix, 200, 160, [w](HDC dc) { polylines(dc, w); }});
      s.push_back({"clipping" + suffix, 120, 100, [w](HDC dc) { clipping(dc, w); }});
      s.push_back(
          {"breakpoint_panel" + suffix, 200, 100, [w](HDC dc) { breakpoint_panel(dc, w); }});
    }
    s.push_back({"rectangles", 160, 100, rectangles});
    return s;
  }();
  return scenes;
}

}  // namespace platform::scenes
