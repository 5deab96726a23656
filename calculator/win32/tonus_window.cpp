#include "tonus_window.h"

#include <array>
#include <string>
#include <string_view>

#include "tonus/form.h"

namespace tonus_win32 {

namespace {

using tonus::ControlId;
using tonus::ControlKind;
using tonus::TwipsToPixels;

// A drop-down list's window height includes its open list: this many pixels
// below the selection field.
constexpr int kDropDownHeight = 220;

struct WindowState {
  tonus::TonusForm form;
  std::array<HWND, tonus::kControlCount> controls{};  // children, destroyed with the window

  HWND control(ControlId id) const { return controls[static_cast<std::size_t>(id)]; }
};

std::wstring Widen(std::string_view text) {
  if (text.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string Narrow(std::wstring_view text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

// Each show box follows its list in the table, so its list's item ID is one less.
static_assert(ControlItemId(ControlId::txtOctave) == ControlItemId(ControlId::cmbOctave) + 1);
static_assert(ControlItemId(ControlId::txtKey) == ControlItemId(ControlId::cmbKey) + 1);

bool IsShowBox(const WindowState& state, HWND control) {
  return control == state.control(ControlId::txtOctave) ||
         control == state.control(ControlId::txtKey);
}

// txtOctave and txtKey cover the text part of their lists and only show the
// choice: a click on them opens the list beneath, as a click there would.
LRESULT CALLBACK ShowBoxProc(HWND box, UINT message, WPARAM wparam, LPARAM lparam) {
  // GWLP_USERDATA of the box holds the edit class's own procedure.
  const auto base = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(box, GWLP_USERDATA));
  if (message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK) {
    HWND list = GetDlgItem(GetParent(box), GetDlgCtrlID(box) - 1);
    SetFocus(list);
    SendMessageW(list, CB_SHOWDROPDOWN, TRUE, 0);
    return 0;
  }
  return CallWindowProcW(base, box, message, wparam, lparam);
}

HWND CreateControl(HWND window, HINSTANCE instance, const tonus::ControlEntry& entry) {
  const wchar_t* window_class = L"STATIC";
  DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
  DWORD ex_style = 0;
  const tonus::TwipRect r = tonus::WindowRect(entry);
  int height = TwipsToPixels(r.height);
  switch (entry.kind) {
    case ControlKind::kFrame:
      window_class = L"BUTTON";
      style |= BS_GROUPBOX;
      break;
    case ControlKind::kLabel:
      style |= SS_LEFT | SS_NOPREFIX;
      break;
    case ControlKind::kDropDownList:
      window_class = L"COMBOBOX";
      style |= CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
      height += kDropDownHeight;
      break;
    case ControlKind::kTextBox:
      window_class = L"EDIT";
      style |= ES_AUTOHSCROLL;
      ex_style |= WS_EX_CLIENTEDGE;
      style |= entry.id == ControlId::txtVoltage ? WS_TABSTOP : ES_READONLY;
      break;
    case ControlKind::kButton:
      window_class = L"BUTTON";
      style |= BS_PUSHBUTTON | WS_TABSTOP;
      break;
  }
  const std::wstring caption = Widen(entry.caption);
  HWND control = CreateWindowExW(
      ex_style, window_class, caption.c_str(), style, TwipsToPixels(r.left), TwipsToPixels(r.top),
      TwipsToPixels(r.width), height, window,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlItemId(entry.id))), instance, nullptr);
  if (!control) return nullptr;
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
               FALSE);
  return control;
}

bool CreateControls(HWND window, HINSTANCE instance, WindowState& state) {
  for (const tonus::ControlEntry& entry : tonus::Controls()) {
    HWND control = CreateControl(window, instance, entry);
    if (!control) return false;
    state.controls[static_cast<std::size_t>(entry.id)] = control;
  }
  for (int octave = 0; octave < tonus::kOctaveCount; ++octave) {
    SendMessageW(state.control(ControlId::cmbOctave), CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(std::to_wstring(octave).c_str()));
  }
  for (std::string_view key : tonus::kKeyNames) {
    SendMessageW(state.control(ControlId::cmbKey), CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(Widen(key).c_str()));
  }
  // Stacking: frames beneath everything, the show boxes above their lists.
  for (ControlId id : {ControlId::frm1, ControlId::Frame1}) {
    SetWindowPos(state.control(id), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  }
  for (ControlId id : {ControlId::txtOctave, ControlId::txtKey}) {
    HWND box = state.control(id);
    SetWindowPos(box, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetWindowLongPtrW(box, GWLP_USERDATA, GetWindowLongPtrW(box, GWLP_WNDPROC));
    SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ShowBoxProc));
  }
  return true;
}

void ShowForm(const WindowState& state) {
  for (ControlId id : tonus::kShownControls) {
    SetWindowTextW(state.control(id), Widen(state.form.Text(id)).c_str());
  }
}

// Called for WM_COMMAND: a control notifies its parent window.
void OnCommand(HWND window, WindowState& state, int item, int code) {
  if (item == ControlItemId(ControlId::cmbOctave) && code == CBN_SELCHANGE) {
    const auto position = SendMessageW(state.control(ControlId::cmbOctave), CB_GETCURSEL, 0, 0);
    state.form.OctaveClick(static_cast<int>(position));
    ShowForm(state);
  } else if (item == ControlItemId(ControlId::cmbKey) && code == CBN_SELCHANGE) {
    const auto position = SendMessageW(state.control(ControlId::cmbKey), CB_GETCURSEL, 0, 0);
    state.form.KeyClick(static_cast<int>(position));
    ShowForm(state);
  } else if (item == ControlItemId(ControlId::txtVoltage) && code == EN_CHANGE) {
    state.form.VoltageChange(Narrow(WindowText(state.control(ControlId::txtVoltage))));
    ShowForm(state);
  } else if (item == ControlItemId(ControlId::cmdExit) && code == BN_CLICKED) {
    DestroyWindow(window);
  }
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* state = reinterpret_cast<WindowState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_CREATE: {
      // The window owns its state from here until WM_NCDESTROY.
      state = new WindowState;
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
      if (!CreateControls(window, create->hInstance, *state)) return -1;
      state->form.Load();
      ShowForm(*state);
      return 0;
    }
    case WM_COMMAND:
      if (state) OnCommand(window, *state, LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_CTLCOLORSTATIC:
      // Read-only boxes draw on the dialog colour; the show boxes take the
      // white of the list's text part they cover. System brushes are not freed.
      if (state && IsShowBox(*state, reinterpret_cast<HWND>(lparam))) {
        SetBkColor(reinterpret_cast<HDC>(wparam), GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
      }
      break;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      delete state;
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

HWND CreateTonusWindow(HINSTANCE instance) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  if (!GetClassInfoExW(instance, kWindowClass, &window_class)) {
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = &WindowProc;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    window_class.lpszClassName = kWindowClass;
    if (!RegisterClassExW(&window_class)) return nullptr;
  }
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  const DWORD ex_style = WS_EX_CONTROLPARENT;
  const tonus::TwipRect client = tonus::ClientSize();
  RECT frame{0, 0, TwipsToPixels(client.width), TwipsToPixels(client.height)};
  AdjustWindowRectEx(&frame, style, FALSE, ex_style);
  return CreateWindowExW(ex_style, kWindowClass, L"Tonus", style, CW_USEDEFAULT, CW_USEDEFAULT,
                         frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                         instance, nullptr);
}

int RunMessageLoop(HWND window) {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (!IsWindow(window) || !IsDialogMessageW(window, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return static_cast<int>(message.wParam);
}

}  // namespace tonus_win32
