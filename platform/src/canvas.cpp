#include "platform/canvas.h"

#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include "linux/internal.h"
#endif

namespace platform {

Canvas::Canvas(int width, int height) : width_(width), height_(height) {
  if (width < 1 || height < 1 || width > max_size || height > max_size)
    throw std::invalid_argument("Canvas: size out of range");
#ifdef _WIN32
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  dc_ = CreateCompatibleDC(nullptr);
  if (!bitmap || !dc_) {
    if (bitmap) DeleteObject(bitmap);
    if (dc_) DeleteDC(dc_);
    throw std::runtime_error("Canvas: cannot create the device context");
  }
  bitmap_ = bitmap;
  old_bitmap_ = SelectObject(dc_, bitmap);
  bits_ = static_cast<uint32_t*>(bits);  // zeroed by the system
#else
  storage_.assign(static_cast<size_t>(width) * height, 0);
  bits_ = storage_.data();
  dc_ = detail::create_memory_dc(bits_, width, height);
#endif
}

Canvas::~Canvas() {
#ifdef _WIN32
  SelectObject(dc_, static_cast<HGDIOBJ>(old_bitmap_));
  DeleteDC(dc_);
  DeleteObject(static_cast<HGDIOBJ>(bitmap_));
#else
  detail::delete_memory_dc(dc_);
#endif
}

uint32_t Canvas::pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
#ifdef _WIN32
  GdiFlush();  // GDI may batch drawing calls
#endif
  return bits_[static_cast<size_t>(y) * width_ + x] & 0xffffff;
}

std::vector<uint32_t> Canvas::pixels() const {
#ifdef _WIN32
  GdiFlush();
#endif
  std::vector<uint32_t> out(bits_, bits_ + static_cast<size_t>(width_) * height_);
  for (auto& p : out) p &= 0xffffff;
  return out;
}

int live_gdi_objects() {
#ifdef _WIN32
  const DWORD count = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  return count == 0 ? -1 : static_cast<int>(count);  // 0: not answered (a process has its DCs)
#else
  return detail::live_pens_and_brushes();
#endif
}

#if !defined(_WIN32)
void fail_pen_creation(int skip, int count) {
  detail::fail_pen_creation(skip, count);
}
#endif

}  // namespace platform
