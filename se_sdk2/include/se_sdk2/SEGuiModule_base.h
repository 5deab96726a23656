// Base class of every module's GUI object: the part of an instance that
// draws the panel, takes the mouse, may open child windows and reads and
// writes pins on the user's side.
//
// Lifetime: created by makeModule (kind 2), which returns the address of the
// embedded SEGuiRecord; destroyed by GUI opcode 1 (GuiClose, then
// `delete this`). It shares no memory with the processing object of its
// instance: the two meet through pin values kept by the host and through
// byte blocks (GUI host opcode 2 and GUI opcode 6).
#pragma once

#if !defined(SE_SDK_REVISION)
#error "SE_SDK_REVISION must be 2230 or 2020 (set by the se_sdk2 library targets)"
#endif

#include <cstdint>
#include <string>
#include <vector>

#include "se_sdk2/gui_opcodes.h"
#include "se_sdk2/se_gui_types.h"

class SEGuiModule_base;

// A GUI-side pin: {pin index, owner}. A handle, not a store: every read and
// write goes to the host.
class SEGuiPinHandle {
 public:
  SEGuiPinHandle() = default;
  SEGuiPinHandle(int index, SEGuiModule_base* owner) : m_index(index), m_owner(owner) {}

  void SetValueText(const std::string& text);  // GUI host opcode 6
  std::string GetValueText();                  // GUI host opcode 7, copied
  int GetValueInt();                           // GUI host opcode 14
  float GetValueFloat();                       // GUI host opcode 14
  void SetValueInt(int value);                 // GUI host opcode 15
  void SetValueFloat(float value);             // GUI host opcode 15, the value in opt
  // GUI host opcode 17 twice: the length, then the 16-bit text.
  std::u16string GetValueWideText();

  int getIndex() const { return m_index; }
  SEGuiModule_base* getModule() const { return m_owner; }

 private:
  int m_index = 0;
  SEGuiModule_base* m_owner = nullptr;
};

class SEGuiModule_base {
 public:
  SEGuiModule_base(GuiHostCallback callback, intptr_t host_word);
  SEGuiModule_base(const SEGuiModule_base&) = delete;
  SEGuiModule_base& operator=(const SEGuiModule_base&) = delete;

  // Virtual operations, in the host's slot order; empty in the base.
  virtual ~SEGuiModule_base();
  virtual intptr_t GuiDispatch(int opcode, intptr_t index, int value, void* data, float opt);
  virtual void GuiOpen(bool flag);
  virtual void GuiClose();
  virtual void Paint(HDC dc, SEWndInfo* wi);
  virtual void OnButtonDown(SEWndInfo* wi, int flags, SEPoint point);
  virtual void OnButtonUp(SEWndInfo* wi, int flags, SEPoint point);
  virtual void OnMouseMove(SEWndInfo* wi, int flags, SEPoint point);
  virtual void OnWindowOpen(SEWndInfo* wi);
  virtual void OnWindowClose(SEWndInfo* wi);
#if SE_SDK_REVISION >= 2230
  virtual bool GuiReserved10();
  virtual void GuiReserved11(int index);
  virtual void GuiReserved12(int index);
  // Bytes from the processing object (its host opcode 17).
  virtual void OnDspMessage(int value, int size, void* data);
#else
  virtual void OnDspMessage(int size, void* data);
#endif
  // The host changed a pin's value (also after this object's own write).
  virtual void OnGuiPinChanged(SEGuiPinHandle* pin);

  // The GUI host callback with this object's record first.
  intptr_t HostCall(int opcode, int index = 0, int value = 0, void* data = nullptr,
                    float opt = 0.0f);
  // A handle for pin `index`. Revision 2230: one handle shared by every GUI
  // object of the library, overwritten by the next call: use it at once.
  // Revision 2020: the handle kept for that pin since GuiOpen.
  SEGuiPinHandle* GetPin(int index);
  void CaptureMouse(SEWndInfo* wi);
  void ReleaseMouse(SEWndInfo* wi);
  bool HasMouseCapture(SEWndInfo* wi);
  // The wrapper of GUI host opcode 8.
  intptr_t Reserved8(int index, int value, void* data);

  SEGuiRecord* GetRecord() {
    return &m_record;
  }

 private:
  static intptr_t DispatcherEntry(SEGuiRecord* record, int32_t opcode, intptr_t index,
                                  int32_t value, void* data, float opt);

  GuiHostCallback m_callback;  // required: called without a test for null
  SEGuiRecord m_record;
#if SE_SDK_REVISION < 2230
  std::vector<SEGuiPinHandle> m_handles;  // one per GUI pin, built by GuiOpen
#endif
};
