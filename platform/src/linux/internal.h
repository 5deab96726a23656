// Entry points of the Linux layer for the portable helpers (Canvas,
// window_host) that Win32 has no call for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace platform::detail {

// A device context drawing into width x height pixels (0x00RRGGBB, top row
// first) owned by the caller, who keeps them alive until delete_memory_dc.
HDC create_memory_dc(uint32_t* pixels, int width, int height);
void delete_memory_dc(HDC dc);
// Pens and brushes alive: not deleted, or deleted while still selected
// (stock objects not counted).
int live_pens_and_brushes();
// See platform::fail_pen_creation.
void fail_pen_creation(int skip, int count);

// Window queries for window_host.
std::vector<HWND> child_windows(HWND parent);
std::string window_class(HWND window);
// A window's position in its parent's client area and its size.
bool window_place(HWND window, int* x, int* y, int* width, int* height);
// Inserts text at the end of an edit window as typed (see
// platform::type_text).
void type_into_edit(HWND edit, const std::string& text);

}  // namespace platform::detail

namespace platform::detail {

// A fresh handle value for a GDI object or a window. Values are never reused,
// so a handle that was deleted or destroyed can never name another object.
uintptr_t new_handle_value();

}  // namespace platform::detail
