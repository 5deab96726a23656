#include "platform/window_host.h"

#include "common/ascii_case.h"
#include "platform/win32.h"
#ifndef _WIN32
#include "linux/internal.h"
#endif

namespace platform {

namespace {

#ifdef _WIN32
constexpr const char* panel_class = "platform_panel";

bool register_panel_class() {
  static const bool registered = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = panel_class;
    return RegisterClassA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}
#endif

}  // namespace

HWND create_panel_window(int width, int height, const char* title) {
#ifdef _WIN32
  if (!register_panel_class()) return nullptr;
  // A popup with a caption: the system does not widen it to a minimum
  // tracking size as it does overlapped windows, so small panels keep their
  // size.
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  RECT frame{0, 0, width, height};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  HWND window = CreateWindowExA(0, panel_class, title ? title : "", style, CW_USEDEFAULT,
                                CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                                nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (window) ShowWindow(window, SW_SHOWNOACTIVATE);
  return window;
#else
  return CreateWindowExA(0, "platform_panel", title, WS_OVERLAPPED | WS_VISIBLE, 0, 0, width,
                         height, nullptr, nullptr, nullptr, nullptr);
#endif
}

void destroy_window(HWND window) {
  if (IsWindow(window)) DestroyWindow(window);
}

std::vector<HWND> child_windows(HWND parent) {
#ifdef _WIN32
  std::vector<HWND> out;
  if (!IsWindow(parent)) return out;
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    out.push_back(child);
  return out;
#else
  return detail::child_windows(parent);
#endif
}

std::string window_class(HWND window) {
#ifdef _WIN32
  char name[256];
  if (!IsWindow(window)) return {};
  const int n = GetClassNameA(window, name, sizeof name);
  return cnum::asciiLower(std::string_view(name, n > 0 ? n : 0));
#else
  return cnum::asciiLower(detail::window_class(window));
#endif
}

bool window_place(HWND window, WindowPlace* place) {
  if (!place || !IsWindow(window)) return false;
#ifdef _WIN32
  RECT r{};
  if (!GetWindowRect(window, &r)) return false;
  if (HWND parent = GetParent(window)) {
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
  }
  *place =
      WindowPlace{r.left, r.top, r.right - r.left, r.bottom - r.top, IsWindowVisible(window) != 0};
  return true;
#else
  if (!detail::window_place(window, &place->x, &place->y, &place->width, &place->height)) {
    return false;
  }
  place->visible = IsWindowVisible(window) != 0;
  return true;
#endif
}

std::string window_text(HWND window) {
  const int length = GetWindowTextLengthA(window);
  if (length <= 0) return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  text.resize(GetWindowTextA(window, text.data(), length + 1));
  return text;
}

void type_text(HWND edit, const std::string& text) {
#ifdef _WIN32
  if (window_class(edit) != "edit") return;
  const int end = GetWindowTextLengthA(edit);
  SendMessageA(edit, EM_SETSEL, end, end);
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      SendMessageA(edit, WM_CHAR, '\r', 0);
    } else if (c == '\b' || c == '\t' || (c >= 0x20 && c != 0x7f)) {
      SendMessageA(edit, WM_CHAR, c, 0);
    }
  }
#else
  detail::type_into_edit(edit, text);
#endif
}

}  // namespace platform
