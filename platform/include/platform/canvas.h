// A memory device context over a 32-bit pixel buffer, and PNG files of it.
// Portable: it does not include <windows.h>; HDC is the same opaque handle
// type that <windows.h> (with STRICT) and platform/win32.h declare, so this
// header mixes with either in one translation unit.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct HDC__;
typedef HDC__* HDC;

namespace platform {

// A width x height panel to paint on. On Windows a memory DC
// (CreateCompatibleDC) with a 32 bpp top-down DIB section selected; on Linux
// the software device context of platform_win32. Starts all black (0).
// The Canvas owns the DC and the pixels until it is destroyed; pens and
// brushes that the caller selects into dc() stay the caller's to delete, and
// must be selected out again before the Canvas goes (as with any DC).
class Canvas {
 public:
  // Sizes from 1 to max_size pixels; throws std::invalid_argument otherwise.
  static constexpr int max_size = 16384;
  Canvas(int width, int height);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC dc() const { return dc_; }
  int width() const { return width_; }
  int height() const { return height_; }
  // 0x00RRGGBB; 0 outside the canvas.
  uint32_t pixel(int x, int y) const;
  // Every pixel, row by row from the top, as 0x00RRGGBB.
  std::vector<uint32_t> pixels() const;

 private:
  int width_;
  int height_;
  HDC dc_ = nullptr;
  uint32_t* bits_ = nullptr;  // width_ * height_ pixels, top row first
  // Windows: the DIB section, and the bitmap it replaced in the DC.
  [[maybe_unused]] void* bitmap_ = nullptr;
  [[maybe_unused]] void* old_bitmap_ = nullptr;
  std::vector<uint32_t> storage_;  // Linux: the pixels
};

// An image read from a file: pixels 0x00RRGGBB, row by row from the top.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// GDI objects alive in this process, to check that drawing code deletes
// what it makes: on Linux the pens and brushes of the layer (stock objects
// not counted); on Windows GetGuiResources' count of GDI objects (device
// contexts and bitmaps included), or -1 where the system does not answer.
int live_gdi_objects();

#if !defined(_WIN32)
// The Linux layer's failure hook, for tests of drawing code: of the
// CreatePen calls made from now on, in any thread and any library, the
// first `skip` succeed and the `count` after them fail (answer null, as GDI
// does when the process has no GDI objects left); later ones succeed again.
// A new call replaces what is left of the last; (0, 0) ends it. Windows has
// no such hook (tests there can redirect a library's imports instead).
void fail_pen_creation(int skip, int count);
#endif

// Writes the canvas as an 8-bit RGB PNG. False when the file cannot be written.
bool write_png(const std::string& path, const Canvas& canvas);
// The same PNG file's bytes, for writing elsewhere (standard output).
std::vector<unsigned char> encode_png(const Canvas& canvas);
// Reads a PNG (any colour type; alpha is dropped). Empty when unreadable.
std::optional<Image> read_png(const std::string& path);

}  // namespace platform
