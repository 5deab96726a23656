// A plug-in with a GUI object, built only for the framework's tests, once
// per revision. The GUI object takes commands as text through GUI opcode 6
// and reports every call it receives as text through GUI host opcode 2
// (which the host also hands to the processing object, whose reports come
// back through host opcode 17).
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

#include "platform/win32.h"
#include "se_sdk2/SEGuiModule_base.h"
#include "se_sdk2/SEModule_base.h"
#include "se_sdk2/se_entry.h"

namespace {

class GuiProbeDsp : public SEModule_base {
 public:
  GuiProbeDsp(HostCallback callback, intptr_t host_word) : SEModule_base(callback, host_word) {}

  bool GetPinProperties(int index, SEPinProperties* p) override {
    p->direction = DR_IN;
    switch (index) {
      case 0:
        p->name = "Value";
        p->datatype = DT_INT32;
        p->variable_address = &m_value;
        return true;
      case 1:
        p->name = "Text";
        p->datatype = DT_STRING;
        return true;
      case 2:
        p->name = "Level";
        p->datatype = DT_FLOAT32;
        p->variable_address = &m_level;
        return true;
      case 3:
        p->name = "Ui Data";
        p->datatype = DT_INT32;
        p->flags = IO_UI_COMMUNICATION;
        return true;
      default:
        return false;
    }
  }
  void Open() override {
    SEModule_base::Open();
    SetProcessFunction(&GuiProbeDsp::SleepProcess);
  }
  void OnPinStatusChange(SEPin* pin) override {
    Report("dsp status pin=" + std::to_string(pin->getPinIndex()) +
           " value=" + std::to_string(m_value) + " level=" + Number(m_level));
  }
#if SE_SDK_REVISION >= 2230
  void OnGuiMessage(int, int size, void* data) override {
    Echo(size, data);
  }
#else
  void OnGuiMessage(int size, void* data) override {
    Echo(size, data);
  }
#endif

 private:
  static std::string Number(float f) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", double(f));
    return text;
  }
  void Echo(int size, void* data) {
    const std::string text(static_cast<const char*>(data), size);
    if (text.rfind("send ", 0) == 0) Report(text.substr(5));  // back to the GUI object
  }
  void Report(const std::string& text) {
    HostCall(se::kHostSendToGui, static_cast<int>(text.size()), 7, const_cast<char*>(text.data()));
  }
  int32_t m_value = 0;
  float m_level = 0;
};

class GuiProbe : public SEGuiModule_base {
 public:
  GuiProbe(GuiHostCallback callback, intptr_t host_word) : SEGuiModule_base(callback, host_word) {
    HostCall(se::kGuiHostPanelSize, 120, 80);
    HostCall(se::kGuiHostSetup4, 1);
    HostCall(se::kGuiHostSetup11, 1);
    HostCall(se::kGuiHostSetup13, 2);
  }
  ~GuiProbe() override {
    if (m_edit) DestroyWindow(m_edit);
  }

  void GuiOpen(bool flag) override {
    SEGuiModule_base::GuiOpen(flag);
    Report(std::string("open ") + (flag ? "true" : "false"));
  }
  // A blue panel with a red line across at y 10, through the Win32 calls
  // the breakpoint panel uses.
  void Paint(HDC dc, SEWndInfo* wi) override {
    Report("paint " + std::to_string(wi->width) + "x" + std::to_string(wi->height));
    if (!dc) return;
    HBRUSH brush = CreateSolidBrush(RGB(0, 0, 255));
    RECT all{0, 0, wi->width, wi->height};
    FillRect(dc, &all, brush);
    DeleteObject(brush);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, 0, 10, nullptr);
    LineTo(dc, wi->width, 10);
    SelectObject(dc, old);
    DeleteObject(pen);
  }
  void OnButtonDown(SEWndInfo* wi, int flags, SEPoint p) override { Mouse("down", wi, flags, p); }
  void OnButtonUp(SEWndInfo* wi, int flags, SEPoint p) override { Mouse("up", wi, flags, p); }
  void OnMouseMove(SEWndInfo* wi, int flags, SEPoint p) override { Mouse("move", wi, flags, p); }
  void OnWindowOpen(SEWndInfo*) override { Report("window open"); }
  void OnWindowClose(SEWndInfo*) override { Report("window close"); }
  void OnGuiPinChanged(SEGuiPinHandle* pin) override {
    Report("changed " + std::to_string(pin->getIndex()) + " handle " + Address(pin));
  }
#if SE_SDK_REVISION >= 2230
  bool GuiReserved10() override {
    Report("reserved10");
    return true;
  }
  void GuiReserved11(int index) override {
    Report("reserved11 " + std::to_string(index));
  }
  void GuiReserved12(int index) override {
    Report("reserved12 " + std::to_string(index));
  }
  void OnDspMessage(int value, int size, void* data) override {
    const std::string text(static_cast<const char*>(data), size);
    Report("from_dsp[" + std::to_string(value) + "] " + text);
    Command(text);
  }
#else
  void OnDspMessage(int size, void* data) override {
    const std::string text(static_cast<const char*>(data), size);
    Report("from_dsp " + text);
    Command(text);
  }
#endif

 private:
  static std::string Address(const void* p) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", p);
    return text;
  }
  void Mouse(const char* what, SEWndInfo* wi, int flags, SEPoint p) {
    Report(std::string(what) + " " + std::to_string(p.x) + "," + std::to_string(p.y) +
           " flags=" + std::to_string(flags) + " info=" + Address(wi));
  }
  void Report(const std::string& text) {
    const std::string line = "log " + text;
    HostCall(se::kGuiHostSendToDsp, static_cast<int>(line.size()), 0,
             const_cast<char*>(line.data()));
  }
  void Command(const std::string& line) {
    std::istringstream in(line);
    std::string verb;
    in >> verb;
    if (verb == "to_dsp") {  // the rest of the line, as it stands
      std::string bytes = line.size() > 7 ? line.substr(7) : std::string();
      HostCall(se::kGuiHostSendToDsp, static_cast<int>(bytes.size()), 0, bytes.data());
      return;
    }
    int a = 0;
    in >> a;
    std::string rest;
    std::getline(in, rest);
    if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    if (verb == "two_handles") {
      SEGuiPinHandle* first = GetPin(a);
      const int first_index = first->getIndex();
      SEGuiPinHandle* second = GetPin(a + 1);
      Report(std::string("two_handles ") + (first == second ? "same" : "different") + " " +
             std::to_string(first_index) + " " + std::to_string(first->getIndex()));
    } else if (verb == "set_int") {
      GetPin(a)->SetValueInt(std::stoi(rest));
    } else if (verb == "set_int_then_report") {
      GetPin(a)->SetValueInt(std::stoi(rest));
      Report("after write");
    } else if (verb == "set_float") {
      GetPin(a)->SetValueFloat(std::stof(rest));
    } else if (verb == "set_text") {
      GetPin(a)->SetValueText(rest);
    } else if (verb == "get_int") {
      Report("int " + std::to_string(GetPin(a)->GetValueInt()));
    } else if (verb == "get_float") {
      char text[32];
      std::snprintf(text, sizeof text, "float %g", double(GetPin(a)->GetValueFloat()));
      Report(text);
    } else if (verb == "get_text") {
      Report("text " + GetPin(a)->GetValueText());
    } else if (verb == "get_wide") {
      const std::u16string wide = GetPin(a)->GetValueWideText();
      std::string narrow;
      for (char16_t c : wide) narrow += c < 0x80 ? char(c) : '?';
      Report("wide " + std::to_string(wide.size()) + " " + narrow);
    } else if (verb == "capture") {
      SEWndInfo wi{};
      CaptureMouse(&wi);
      Report(std::string("captured ") + (HasMouseCapture(&wi) ? "1" : "0"));
      ReleaseMouse(&wi);
      Report(std::string("released ") + (HasMouseCapture(&wi) ? "1" : "0"));
    } else if (verb == "instance") {
      Report("instance " + std::to_string(HostCall(se::kGuiHostInstanceNumber)));
    } else if (verb == "pins") {
      Report("pins " + std::to_string(HostCall(se::kGuiHostPinCount)));
    } else if (verb == "redraw") {
      HostCall(se::kGuiHostRedraw);
    } else if (verb == "edit") {
      // A child window of the system "edit" class in the host's panel window.
      HWND parent = reinterpret_cast<HWND>(HostCall(se::kGuiHostParentWindow, 1));
      if (parent && !m_edit) {
        m_edit = CreateWindowExA(0, "edit", "hello", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 0, 0,
                                 100, 50, parent, nullptr, nullptr, nullptr);
      }
      Report(m_edit ? "edit ok" : "edit none");
    } else if (verb == "edit_text") {
      char text[256] = {};
      const int n = m_edit ? GetWindowTextA(m_edit, text, sizeof text) : 0;
      Report("edit_text " + std::string(text, n > 0 ? size_t(n) : 0));
    } else if (verb == "handle") {
      Report("handle " + Address(GetPin(a)));
    }
  }

  HWND m_edit = nullptr;  // the "edit" child, owned from "edit" until destruction
};

#if SE_SDK_REVISION >= 2230
const se::ModuleDescription kDescription{"Gui Probe 2230", "SE gui probe 2230", "GUI test probe",
                                         true};
#else
const se::ModuleDescription kDescription{"Gui Probe 2020", "SE gui probe 2020", "GUI test probe",
                                         true};
#endif

}  // namespace

SE_DECLARE_MODULE_WITH_GUI(GuiProbeDsp, GuiProbe, kDescription)
