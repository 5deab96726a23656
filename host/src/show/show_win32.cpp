// plughost show on Windows: one frame window per panel, with the panel
// window as its child, a window of this file's class that the GUI side owns
// once the session has it (Session::open_panel). The module paints on
// WM_PAINT into the panel window's own DC (BeginPaint); its edit windows
// are real EDIT controls, children of the panel window, which the person
// types into directly. Mouse messages become GUI mouse opcodes (their
// MK_LBUTTON, MK_RBUTTON, MK_SHIFT and MK_CONTROL bits are the gesture
// flags), with SetCapture from a press until no button is held. Closing a
// frame (its close box, Alt+F4 or Ctrl+W) closes the panel as a host does.
// The message loop waits in MsgWaitForMultipleObjects until a message
// comes or the engine has a block to run; lines from the standard input
// arrive as thread messages from a reader thread.
#include <windows.h>
#include <windowsx.h>

#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "plughost/host_error.h"
#include "se_sdk2/gui_opcodes.h"
#include "show_session.h"

namespace plughost::show {

std::string display_problem() {
  return "";
}  // a desktop always exists for a program

namespace {

constexpr const char* kFrameClass = "plughost_show_frame";
constexpr const char* kPanelClass = "plughost_show_panel";
// A thread message: a line from the standard input. lParam is a
// std::string made with new by the reader thread; the message loop owns
// and deletes it.
constexpr UINT kInputLine = WM_APP + 1;

struct ShownPanel {
  Panel* panel = nullptr;
  HWND frame = nullptr;
  HWND window = nullptr;  // the panel window, owned by the GUI side once shown
};

// What the window procedures share with the message loop; one per run,
// reached through each window's GWLP_USERDATA (a ShownPanel) and the_front.
struct Front {
  Session& session;
  std::vector<ShownPanel> shown;
  std::string error;
  // Inside a session call. Edit windows change on their own only while the
  // person types, between session calls; a change (EN_CHANGE) during one is
  // the module's, which refresh() takes over afterwards.
  bool in_session = false;

  explicit Front(Session& s) : session(s) {}

  bool guard(const std::function<void()>& call) {
    if (!error.empty()) return false;
    in_session = true;
    try {
      call();
    } catch (const std::exception& e) {
      error = e.what();
    }
    in_session = false;
    if (!error.empty()) PostQuitMessage(1);
    return error.empty();
  }

  // After a session call: panels that asked to be painted are invalidated,
  // and the edit windows' texts taken over.
  void refresh() {
    for (ShownPanel& s : shown) {
      if (!s.panel->shown) continue;
      if (session.needs_paint(*s.panel)) InvalidateRect(s.window, nullptr, FALSE);
      guard([&] { session.refresh_edits(*s.panel); });
    }
  }

  void close(ShownPanel& s) {
    if (!s.panel->shown) return;
    guard([&] { session.close_panel(*s.panel); });  // destroys the panel window
    s.window = nullptr;
    DestroyWindow(s.frame);
    s.frame = nullptr;
    if (session.all_closed()) PostQuitMessage(error.empty() ? 0 : 1);
  }
};

Front* the_front = nullptr;

ShownPanel* shown_of(HWND window) {
  return reinterpret_cast<ShownPanel*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

void mouse(HWND window, ShownPanel& s, int opcode, WPARAM keys, LPARAM point) {
  Front& front = *the_front;
  const int flags = static_cast<int>(keys & (MK_LBUTTON | MK_RBUTTON | MK_SHIFT | MK_CONTROL));
  if (opcode == se::kGuiButtonDown) SetCapture(window);
  front.guard([&] {
    front.session.advance();
    front.session.mouse(*s.panel, opcode, GET_X_LPARAM(point), GET_Y_LPARAM(point), flags);
  });
  if (opcode == se::kGuiButtonUp && !(keys & (MK_LBUTTON | MK_RBUTTON))) ReleaseCapture();
  front.refresh();
}

LRESULT CALLBACK panel_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  ShownPanel* s = shown_of(window);
  if (!s || !the_front) return DefWindowProcA(window, message, wparam, lparam);
  Front& front = *the_front;
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // the module paints the whole panel
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      front.guard([&] { front.session.paint(*s->panel, dc); });
      EndPaint(window, &paint);
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
      mouse(window, *s, se::kGuiButtonDown, wparam, lparam);
      return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
      mouse(window, *s, se::kGuiButtonUp, wparam, lparam);
      return 0;
    case WM_MOUSEMOVE:
      mouse(window, *s, se::kGuiMouseMove, wparam, lparam);
      return 0;
    case WM_COMMAND:
      if (HIWORD(wparam) == EN_CHANGE && !front.in_session) {
        HWND edit = reinterpret_cast<HWND>(lparam);
        front.guard([&] {
          front.session.advance();
          front.session.refresh_edits(*s->panel);  // knows the edit windows there are
          for (EditBinding& binding : s->panel->edits) {
            if (binding.window == edit) front.session.edit_typed_in_place(*s->panel, binding);
          }
        });
        front.refresh();
        return 0;
      }
      break;
    default:
      break;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

LRESULT CALLBACK frame_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  ShownPanel* s = shown_of(window);
  if (message == WM_CLOSE && s && the_front) {
    the_front->close(*s);
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

bool register_classes() {
  WNDCLASSA frame{};
  frame.lpfnWndProc = frame_procedure;
  frame.hInstance = GetModuleHandleA(nullptr);
  frame.hCursor = LoadCursor(nullptr, IDC_ARROW);
  frame.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  frame.lpszClassName = kFrameClass;
  WNDCLASSA panel{};
  panel.lpfnWndProc = panel_procedure;
  panel.hInstance = GetModuleHandleA(nullptr);
  panel.hCursor = LoadCursor(nullptr, IDC_ARROW);
  panel.lpszClassName = kPanelClass;  // no CS_DBLCLKS: a second click is a second press
  const auto registered = [](const WNDCLASSA& c) {
    return RegisterClassA(&c) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  };
  return registered(frame) && registered(panel);
}

// Reads the standard input line by line for the thread `parameter` names.
DWORD WINAPI read_lines(LPVOID parameter) {
  const DWORD thread = static_cast<DWORD>(reinterpret_cast<uintptr_t>(parameter));
  std::string line;
  while (std::getline(std::cin, line)) {
    auto* posted = new std::string(line);
    if (!PostThreadMessageA(thread, kInputLine, 0, reinterpret_cast<LPARAM>(posted))) {
      delete posted;
      break;
    }
  }
  return 0;
}

}  // namespace

int run_windows(Session& session) {
  if (!register_classes()) throw HostError("cannot register the window classes of show");
  Front front(session);
  the_front = &front;
  front.shown.reserve(session.panels().size());  // window data points into it
  const DWORD frame_style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  for (Panel& panel : session.panels()) {
    front.shown.push_back(ShownPanel{&panel, nullptr, nullptr});
    ShownPanel& s = front.shown.back();
    RECT outer{0, 0, panel.width, panel.height};
    AdjustWindowRectEx(&outer, frame_style, FALSE, 0);
    s.frame =
        CreateWindowExA(0, kFrameClass, panel.instance->name().c_str(), frame_style, CW_USEDEFAULT,
                        CW_USEDEFAULT, outer.right - outer.left, outer.bottom - outer.top, nullptr,
                        nullptr, GetModuleHandleA(nullptr), nullptr);
    if (s.frame) {
      s.window = CreateWindowExA(0, kPanelClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                                 panel.width, panel.height, s.frame, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    }
    if (!s.frame || !s.window) {
      if (s.frame) DestroyWindow(s.frame);
      front.shown.pop_back();
      the_front = nullptr;
      throw HostError("cannot make a window for module \"" + panel.instance->name() + "\"");
    }
    SetWindowLongPtrA(s.frame, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&s));
    SetWindowLongPtrA(s.window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&s));
    front.guard([&] { session.open_panel(panel, s.window); });
    ShowWindow(s.frame, SW_SHOWNORMAL);
  }
  front.refresh();

  HANDLE reader =
      CreateThread(nullptr, 0, read_lines,
                   reinterpret_cast<LPVOID>(uintptr_t(GetCurrentThreadId())), 0, nullptr);
  if (reader) CloseHandle(reader);  // it ends with the input, or with the process

  int status = 0;
  bool running = front.error.empty();
  while (running) {
    const DWORD wait = static_cast<DWORD>(session.milliseconds_until_due());
    MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    MSG msg;
    while (running && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        status = static_cast<int>(msg.wParam);
        running = false;
      } else if (msg.message == kInputLine && !msg.hwnd) {
        std::unique_ptr<std::string> line(reinterpret_cast<std::string*>(msg.lParam));
        front.guard([&] {
          session.advance();
          session.command(*line, std::cerr);
        });
        front.refresh();
      } else if (msg.message == WM_KEYDOWN && msg.wParam == 'W' && GetKeyState(VK_CONTROL) < 0) {
        PostMessageA(GetAncestor(msg.hwnd, GA_ROOT), WM_CLOSE, 0, 0);
      } else {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
    }
    if (!running) break;
    front.guard([&] { session.advance(); });
    front.refresh();
  }
  // Lines that came after the end are dropped; their texts are ours.
  MSG left;
  while (PeekMessageA(&left, nullptr, kInputLine, kInputLine, PM_REMOVE)) {
    delete reinterpret_cast<std::string*>(left.lParam);
  }
  for (ShownPanel& s : front.shown) {
    if (s.frame) DestroyWindow(s.frame);
  }
  the_front = nullptr;
  if (!front.error.empty()) throw HostError(front.error);
  return status;
}

}  // namespace plughost::show
