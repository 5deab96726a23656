// The GDI subset's contracts beyond the pixels: results for bad and deleted
// handles, what SelectObject returns, the current position, clipping of
// extreme coordinates, Canvas and PNG files. Runs natively against the Linux
// layer and in the Windows build against real GDI, so both must agree.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "platform/canvas.h"
#include "platform/win32.h"

namespace {

using platform::Canvas;

// A handle value that names no object (GDI handles carry a generation in
// their upper half, so this one cannot be a live object either).
HGDIOBJ garbage() {
  return reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(0x7ff0beefu));
}

bool all_black(const Canvas& canvas) {
  for (uint32_t p : canvas.pixels())
    if (p != 0) return false;
  return true;
}

TEST(Gdi, BadAndDeletedHandlesFailWithoutDrawing) {
  Canvas canvas(20, 20);
  HDC dc = canvas.dc();
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
  HBRUSH brush = CreateSolidBrush(RGB(0, 255, 0));
  ASSERT_TRUE(pen && brush);
  EXPECT_TRUE(DeleteObject(pen));
  EXPECT_TRUE(DeleteObject(brush));

  EXPECT_EQ(SelectObject(dc, pen), nullptr);  // deleted
  EXPECT_EQ(SelectObject(dc, garbage()), nullptr);
  EXPECT_EQ(SelectObject(dc, nullptr), nullptr);
  EXPECT_FALSE(DeleteObject(pen));  // twice
  EXPECT_FALSE(DeleteObject(garbage()));
  EXPECT_FALSE(DeleteObject(nullptr));

#ifndef _WIN32
  // Windows documents 0 and no drawing; Wine's FillRect returns 1 and fills
  // with the brush the DC holds, so only the layer is held to this.
  const RECT r{0, 0, 10, 10};
  EXPECT_EQ(FillRect(dc, &r, brush), 0);
  EXPECT_EQ(FillRect(nullptr, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))), 0);
#endif
  EXPECT_FALSE(MoveToEx(nullptr, 1, 1, nullptr));
  EXPECT_FALSE(LineTo(nullptr, 5, 5));
  EXPECT_FALSE(LineTo(reinterpret_cast<HDC>(garbage()), 5, 5));
  const POINT pts[] = {{0, 0}, {10, 10}};
  EXPECT_FALSE(Polyline(nullptr, pts, 2));
  EXPECT_TRUE(all_black(canvas));
}

TEST(Gdi, SelectObjectReturnsWhatItReplaces) {
  Canvas canvas(10, 10);
  HDC dc = canvas.dc();
  HPEN first = CreatePen(PS_SOLID, 2, RGB(1, 2, 3));
  HPEN second = CreatePen(PS_SOLID, 1, RGB(4, 5, 6));
  HBRUSH brush = CreateSolidBrush(RGB(7, 8, 9));
  // A new device context holds the stock black pen and white brush.
  EXPECT_EQ(SelectObject(dc, first), GetStockObject(BLACK_PEN));
  EXPECT_EQ(SelectObject(dc, brush), GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(SelectObject(dc, second), first);
  // The curve pen of the breakpoint panel is deleted while the node pen is
  // selected: deleting a pen that is no longer selected succeeds.
  EXPECT_TRUE(DeleteObject(first));
  EXPECT_EQ(SelectObject(dc, GetStockObject(BLACK_PEN)), second);
  EXPECT_EQ(SelectObject(dc, GetStockObject(WHITE_BRUSH)), brush);
  EXPECT_TRUE(DeleteObject(second));
  EXPECT_TRUE(DeleteObject(brush));
  // A pen deleted while selected keeps drawing until it is selected out,
  // and is gone then.
  HPEN doomed = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
  HGDIOBJ before = SelectObject(dc, doomed);
  EXPECT_TRUE(DeleteObject(doomed));
  MoveToEx(dc, 0, 0, nullptr);
  EXPECT_TRUE(LineTo(dc, 3, 0));
  EXPECT_EQ(canvas.pixel(1, 0), 0xff0000u);
  EXPECT_EQ(SelectObject(dc, before), doomed);
  EXPECT_FALSE(DeleteObject(doomed));
  EXPECT_EQ(SelectObject(dc, doomed), nullptr);
  // Stock objects survive DeleteObject.
  EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_PEN)));
  EXPECT_NE(SelectObject(dc, GetStockObject(BLACK_PEN)), nullptr);
}

TEST(Gdi, PositionAndPens) {
  Canvas canvas(10, 10);
  HDC dc = canvas.dc();
  POINT previous{-1, -1};
  EXPECT_TRUE(MoveToEx(dc, 2, 3, nullptr));
  EXPECT_TRUE(MoveToEx(dc, 4, 5, &previous));
  EXPECT_EQ(previous.x, 2);
  EXPECT_EQ(previous.y, 3);
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(0x11, 0x22, 0x33));
  HGDIOBJ old = SelectObject(dc, pen);
  EXPECT_TRUE(LineTo(dc, 7, 5));  // (4,5) (5,5) (6,5), not (7,5)
  EXPECT_TRUE(MoveToEx(dc, 0, 0, &previous));
  EXPECT_EQ(previous.x, 7);
  EXPECT_EQ(canvas.pixel(4, 5), 0x112233u);  // colour reference 0x00BBGGRR in, 0x00RRGGBB out
  EXPECT_EQ(canvas.pixel(6, 5), 0x112233u);
  EXPECT_EQ(canvas.pixel(7, 5), 0u);
  // A zero-length line draws nothing; Polyline leaves the position alone.
  EXPECT_TRUE(MoveToEx(dc, 1, 1, nullptr));
  EXPECT_TRUE(LineTo(dc, 1, 1));
  EXPECT_EQ(canvas.pixel(1, 1), 0u);
  const POINT pts[] = {{0, 8}, {3, 8}};
  EXPECT_TRUE(Polyline(dc, pts, 2));
  EXPECT_TRUE(MoveToEx(dc, 0, 0, &previous));
  EXPECT_EQ(previous.x, 1);
  EXPECT_EQ(previous.y, 1);
  // The null pen draws nothing.
  SelectObject(dc, GetStockObject(NULL_PEN));
  EXPECT_TRUE(LineTo(dc, 9, 0));
  EXPECT_EQ(canvas.pixel(5, 0), 0u);
  SelectObject(dc, old);
  DeleteObject(pen);
}

TEST(Gdi, PtInRectExcludesRightAndBottom) {
  const RECT r{1, 2, 4, 6};
  EXPECT_TRUE(PtInRect(&r, POINT{1, 2}));
  EXPECT_TRUE(PtInRect(&r, POINT{3, 5}));
  EXPECT_FALSE(PtInRect(&r, POINT{4, 5}));
  EXPECT_FALSE(PtInRect(&r, POINT{3, 6}));
  EXPECT_FALSE(PtInRect(&r, POINT{0, 3}));
  const RECT empty{5, 5, 5, 9};
  EXPECT_FALSE(PtInRect(&empty, POINT{5, 6}));
}

#ifndef _WIN32
// GDI's results for coordinates beyond 27 bits are undefined; the layer must
// still stay inside the buffer (the sanitizers check) and clip.
TEST(Gdi, ExtremeCoordinatesStayInsideTheCanvas) {
  Canvas canvas(16, 16);
  HDC dc = canvas.dc();
  for (int width : {1, 3}) {
    HPEN pen = CreatePen(PS_SOLID, width, RGB(255, 255, 255));
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, INT_MIN, INT_MIN, nullptr);
    LineTo(dc, INT_MAX, INT_MAX);
    MoveToEx(dc, INT_MAX, 8, nullptr);
    LineTo(dc, INT_MIN, 8);
    const POINT pts[] = {{INT_MIN, INT_MAX}, {8, 8}, {INT_MAX, INT_MIN}};
    EXPECT_TRUE(Polyline(dc, pts, 3));
    SelectObject(dc, old);
    DeleteObject(pen);
  }
  EXPECT_EQ(canvas.pixel(5, 5), 0xffffffu);  // the main diagonal
  EXPECT_EQ(canvas.pixel(0, 8), 0xffffffu);
  const RECT huge{INT_MIN, INT_MIN, INT_MAX, INT_MAX};
  EXPECT_NE(FillRect(dc, &huge, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH))), 0);
  EXPECT_EQ(canvas.pixel(15, 15), 0x808080u);
}
#endif

TEST(Canvas, StartsBlackAndRejectsBadSizes) {
  Canvas canvas(3, 2);
  EXPECT_EQ(canvas.width(), 3);
  EXPECT_EQ(canvas.height(), 2);
  EXPECT_EQ(canvas.pixels().size(), 6u);
  EXPECT_TRUE(all_black(canvas));
  EXPECT_EQ(canvas.pixel(-1, 0), 0u);
  EXPECT_EQ(canvas.pixel(3, 0), 0u);
  EXPECT_THROW(Canvas(0, 10), std::invalid_argument);
  EXPECT_THROW(Canvas(10, -1), std::invalid_argument);
  EXPECT_THROW(Canvas(Canvas::max_size + 1, 1), std::invalid_argument);
}

TEST(Canvas, PngRoundTripAndUnreadableFiles) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "platform_png_test";
  fs::create_directories(dir);
  Canvas canvas(5, 4);
  HBRUSH brush = CreateSolidBrush(RGB(0x12, 0x34, 0x56));
  const RECT r{1, 1, 4, 3};
  FillRect(canvas.dc(), &r, brush);
  DeleteObject(brush);
  const std::string path = (dir / "round.png").string();
  ASSERT_TRUE(platform::write_png(path, canvas));
  const auto image = platform::read_png(path);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, 5);
  EXPECT_EQ(image->height, 4);
  EXPECT_EQ(image->pixels, canvas.pixels());
  EXPECT_EQ(image->at(1, 1), 0x123456u);

  EXPECT_FALSE(platform::read_png((dir / "missing.png").string()));
  std::ofstream((dir / "not.png").string()) << "not a picture";
  EXPECT_FALSE(platform::read_png((dir / "not.png").string()));
  EXPECT_FALSE(platform::write_png((dir / "no" / "such" / "dir.png").string(), canvas));
  fs::remove_all(dir);
}

}  // namespace
