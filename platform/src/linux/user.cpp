// The USER subset of the Linux layer: window objects with a parent, a
// position in the parent's client area, a show state and a text. Two classes
// exist: the system class "edit" and "platform_panel", the host's top-level
// panel window. Nothing is displayed.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>

#include "common/ascii_case.h"
#include "internal.h"
#include "platform/win32.h"

namespace {

struct Window {
  std::string class_name;  // lower case
  std::string text;
  DWORD style;
  uintptr_t parent;  // 0 for a top-level window
  int x, y, width, height;
  bool visible;
  std::vector<uintptr_t> children;  // in creation order
};

struct Windows {
  std::mutex mutex;
  std::unordered_map<uintptr_t, Window> windows;

  Window* find(HWND handle) {
    auto it = windows.find(reinterpret_cast<uintptr_t>(handle));
    return it == windows.end() ? nullptr : &it->second;
  }

  void destroy(uintptr_t handle) {
    auto it = windows.find(handle);
    if (it == windows.end()) return;
    const std::vector<uintptr_t> children = it->second.children;
    for (uintptr_t child : children) destroy(child);
    if (auto parent = windows.find(it->second.parent); parent != windows.end()) {
      auto& siblings = parent->second.children;
      siblings.erase(std::remove(siblings.begin(), siblings.end(), handle), siblings.end());
    }
    windows.erase(handle);
  }
};

Windows& windows() {
  static Windows instance;
  return instance;
}

}  // namespace

HWND CreateWindowExA(DWORD, LPCSTR class_name, LPCSTR window_name, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU, HINSTANCE, LPVOID) {
  auto& w = windows();
  std::lock_guard lock(w.mutex);
  const std::string name = cnum::asciiLower(class_name ? class_name : "");
  if (name != "edit" && name != "platform_panel") return nullptr;
  uintptr_t parent_handle = 0;
  if (parent) {
    if (!w.find(parent)) return nullptr;
    parent_handle = reinterpret_cast<uintptr_t>(parent);
  } else if (style & WS_CHILD) {
    return nullptr;
  }
  const uintptr_t handle = platform::detail::new_handle_value();
  w.windows.emplace(handle, Window{name,
                                   window_name ? window_name : "",
                                   style,
                                   parent_handle,
                                   x,
                                   y,
                                   std::max(width, 0),
                                   std::max(height, 0),
                                   (style & WS_VISIBLE) != 0,
                                   {}});
  if (parent_handle) w.windows[parent_handle].children.push_back(handle);
  return reinterpret_cast<HWND>(handle);
}

BOOL DestroyWindow(HWND window) {
  auto& w = windows();
  std::lock_guard lock(w.mutex);
  if (!w.find(window)) return FALSE;
  w.destroy(reinterpret_cast<uintptr_t>(window));
  return TRUE;
}

BOOL IsWindow(HWND window) {
  auto& w = windows();
  std::lock_guard lock(w.mutex);
  return w.find(window) ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND window) {
  auto& w = windows();
  std::lock_guard lock(w.mutex);
  // Visible when it and all its ancestors are shown.
  for (Window* win = w.find(window); win; win = win->parent ? &w.windows[win->parent] : nullptr) {
    if (!win->visible) return FALSE;
    if (!win->parent) return TRUE;
  }
  return FALSE;
}

BOOL ShowWindow(HWND window, int command) {
  auto& w = windows();
  std::lock_guard lock(w.mutex);
  Window* win = w.find(window);
  if (!win) return FALSE;
  const bool was_visible = win->visible;
  win->visible = command != SW_HIDE;
  return was_visible ? TRUE : FALSE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL) {
  auto& w = windows();
  std::lock_guard lock(w.mutex);
  Window* win = w.find(window);
  if (!win) return FALSE;
  win->x = x;
  win->y = y;
  win->width = std::max(width, 0);
  win->height = std::max(height, 0);
  return TRUE;
}

HWND GetParent(HWND window) {
  auto& w = windows();
  std::lock_guard lock(w.mutex);
  Window* win = w.find(window);
  return win ? reinterpret_cast<HWND>(win->parent) : nullptr;
}

BOOL GetClientRect(HWND window, LPRECT rect) {
  auto& w = windows();
  std::lock_guard lock(w.mutex);
  Window* win = w.find(window);
  if (!win || !rect) return FALSE;
  const int border = (win->style & WS_BORDER) ? 1 : 0;
  *rect = RECT{0, 0, std::max(win->width - 2 * border, 0), std::max(win->height - 2 * border, 0)};
  return TRUE;
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
  auto& w = windows();
  std::lock_guard lock(w.mutex);
  Window* win = w.find(window);
  if (!win) return FALSE;
  win->text = text ? text : "";
  return TRUE;
}

int GetWindowTextA(HWND window, LPSTR text, int max_count) {
  if (!text || max_count <= 0) return 0;
  text[0] = 0;
  auto& w = windows();
  std::lock_guard lock(w.mutex);
  Window* win = w.find(window);
  if (!win) return 0;
  const size_t n = std::min(win->text.size(), static_cast<size_t>(max_count - 1));
  std::memcpy(text, win->text.data(), n);
  text[n] = 0;
  return static_cast<int>(n);
}

int GetWindowTextLengthA(HWND window) {
  auto& w = windows();
  std::lock_guard lock(w.mutex);
  Window* win = w.find(window);
  return win ? static_cast<int>(win->text.size()) : 0;
}

namespace platform::detail {

std::vector<HWND> child_windows(HWND parent) {
  auto& w = windows();
  std::lock_guard lock(w.mutex);
  std::vector<HWND> out;
  if (Window* win = w.find(parent))
    for (uintptr_t child : win->children) out.push_back(reinterpret_cast<HWND>(child));
  return out;
}

std::string window_class(HWND window) {
  auto& w = windows();
  std::lock_guard lock(w.mutex);
  Window* win = w.find(window);
  return win ? win->class_name : std::string();
}

bool window_place(HWND window, int* x, int* y, int* width, int* height) {
  auto& w = windows();
  std::lock_guard lock(w.mutex);
  Window* win = w.find(window);
  if (!win) return false;
  *x = win->x;
  *y = win->y;
  *width = win->width;
  *height = win->height;
  return true;
}

void type_into_edit(HWND edit, const std::string& typed) {
  auto& w = windows();
  std::lock_guard lock(w.mutex);
  Window* win = w.find(edit);
  if (!win || win->class_name != "edit") return;
  std::string& text = win->text;
  for (size_t i = 0; i < typed.size(); ++i) {
    const char c = typed[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < typed.size() && typed[i + 1] == '\n') ++i;
      // A single-line edit ignores Enter.
      if (win->style & ES_MULTILINE) text += "\r\n";
    } else if (c == '\b') {
      if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0)
        text.resize(text.size() - 2);
      else if (!text.empty())
        text.pop_back();
    } else if (c == '\t' || static_cast<unsigned char>(c) >= 0x20) {
      if (c != 0x7f) text += c;
    }
  }
}

}  // namespace platform::detail
