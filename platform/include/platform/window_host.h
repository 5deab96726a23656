// What the host does with windows on both platforms: open a panel window for
// a module, find the child windows the module created in it, read their
// class and text, and type into an edit control as a user would.
// Portable: HWND is the opaque handle type of <windows.h> (STRICT) and
// platform/win32.h.
#pragma once

#include <string>
#include <vector>

struct HWND__;
typedef HWND__* HWND;

namespace platform {

// A top-level window whose client area is width x height pixels, shown, with
// the given title (class "platform_panel"). Windows: a real window (needs a
// display; under Wine an X server). Linux: a window object of the layer.
// The caller owns it until destroy_window, which on Windows must come from
// the thread that created it (that thread also runs its messages). NULL when
// it cannot be created.
HWND create_panel_window(int width, int height, const char* title);
// Destroys a window and its children; a bad handle is ignored.
void destroy_window(HWND window);
// The direct children of a window (the system's z-order on Windows,
// creation order on Linux). Empty for a bad handle.
std::vector<HWND> child_windows(HWND parent);
// The class name in lower case ("edit", "platform_panel"); empty for a bad
// handle.
std::string window_class(HWND window);
// Where a child window lies in its parent's client area, in pixels: false
// (and nothing written) for a bad handle.
struct WindowPlace {
  int x = 0, y = 0, width = 0, height = 0;
  bool visible = false;  // shown, it and its parents
};
bool window_place(HWND window, WindowPlace* place);
// The whole text of a window; empty for a bad handle.
std::string window_text(HWND window);
// Types text at the end of an edit control's text, as a user who pressed
// Ctrl+End first. Every line break of the text ("\r\n", "\n" or a lone "\r")
// is one press of Enter, which a multi-line edit stores as "\r\n"; a
// backspace (0x08) deletes the character before the caret (a whole "\r\n");
// tab and printable characters are inserted; other control characters are
// ignored. Windows: WM_CHAR messages to the control. A bad handle is ignored.
void type_text(HWND edit, const std::string& text);

}  // namespace platform
