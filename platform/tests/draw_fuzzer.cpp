// Feeds the Linux layer arbitrary sequences of GDI and USER calls with
// arbitrary coordinates, sizes and handles (live, deleted or made up): the
// sanitizers must see no write outside a buffer, no overflow and no leak.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/canvas.h"
#include "platform/win32.h"
#include "platform/window_host.h"

namespace {

struct Input {
  const uint8_t* data;
  size_t size;
  bool empty() const { return size == 0; }
  uint8_t byte() {
    if (!size) return 0;
    --size;
    return *data++;
  }
  int32_t int32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | byte();
    // Mostly near the canvas, sometimes anywhere in 32 bits.
    return (v & 0x80000000u) ? static_cast<int32_t>(v) : static_cast<int32_t>(v % 200) - 50;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in{data, size};
  platform::Canvas canvas(1 + in.byte() % 64, 1 + in.byte() % 64);
  HDC dc = canvas.dc();
  HGDIOBJ original_pen = GetStockObject(BLACK_PEN), original_brush = GetStockObject(WHITE_BRUSH);
  std::vector<HGDIOBJ> objects;  // created here, some deleted on the way
  HWND panel = platform::create_panel_window(100, 100, "fuzz");
  std::vector<HWND> windows{panel};
  auto pick_object = [&]() -> HGDIOBJ {
    const uint8_t k = in.byte();
    if (k == 255) return reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(in.int32()));
    return objects.empty() ? nullptr : objects[k % objects.size()];
  };
  auto pick_window = [&]() { return windows[in.byte() % windows.size()]; };
  while (!in.empty()) {
    switch (in.byte() % 12) {
      case 0: {
        const uint8_t style = in.byte(), width = in.byte();
        objects.push_back(CreatePen(style % 7, width & 0x80 ? in.int32() : width % 7, in.int32()));
      } break;
      case 1:
        objects.push_back(CreateSolidBrush(in.int32()));
        break;
      case 2:
        SelectObject(dc, pick_object());
        break;
      case 3:
        DeleteObject(pick_object());
        break;
      case 4:
        MoveToEx(dc, in.int32(), in.int32(), nullptr);
        break;
      case 5:
        LineTo(dc, in.int32(), in.int32());
        break;
      case 6: {
        std::vector<POINT> points(in.byte() % 8);
        for (auto& p : points) p = {in.int32(), in.int32()};
        Polyline(dc, points.data(), static_cast<int>(points.size()));
        break;
      }
      case 7: {
        const RECT r{in.int32(), in.int32(), in.int32(), in.int32()};
        FillRect(dc, &r, static_cast<HBRUSH>(pick_object()));
        break;
      }
      case 8:
        windows.push_back(CreateWindowExA(
            0, "edit", "", in.byte() & 1 ? WS_CHILD | ES_MULTILINE : 0, in.int32(), in.int32(),
            in.int32(), in.int32(), pick_window(), nullptr, nullptr, nullptr));
        break;
      case 9: {
        char text[8];
        const int n = in.byte() % 9;
        for (int i = 0; i < n && i < 7; ++i) text[i] = static_cast<char>(in.byte());
        text[n < 7 ? n : 7] = 0;
        platform::type_text(pick_window(), text);
        SetWindowTextA(pick_window(), in.byte() & 1 ? text : nullptr);
        break;
      }
      case 10: {
        char buffer[16];
        GetWindowTextA(pick_window(), buffer, in.byte() % 17);
        RECT r;
        GetClientRect(pick_window(), &r);
        MoveWindow(pick_window(), in.int32(), in.int32(), in.int32(), in.int32(), TRUE);
        break;
      }
      case 11:
        DestroyWindow(pick_window());
        break;
    }
  }
  SelectObject(dc, original_pen);
  SelectObject(dc, original_brush);
  for (HGDIOBJ object : objects) DeleteObject(object);
  for (HWND window : windows) platform::destroy_window(window);
  return 0;
}
