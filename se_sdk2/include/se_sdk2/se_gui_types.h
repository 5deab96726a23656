// The GUI object's side of the host's plug-in calling interface: its record,
// the window info the host passes, and the callback types.
//
// 32-bit builds: the host's layout exactly (static_asserts below). 64-bit
// builds: addresses are pointer-sized as in se_types.h; in addition the
// index argument of the GUI dispatcher is pointer-sized (intptr_t), because
// opcode 2 passes the device context in it.
#pragma once

#include <cstdint>

#include "se_sdk2/se_types.h"

// Native handles, declared as <windows.h> declares them (with STRICT), so
// that this header and <windows.h> can meet in one translation unit and no
// portable header needs <windows.h>.
struct HDC__;
typedef HDC__* HDC;
struct HWND__;
typedef HWND__* HWND;

struct SEGuiRecord;

// The host function every GUI object calls: (its own record, opcode, index,
// value, data, opt). See gui_opcodes.h.
using GuiHostCallback = intptr_t (*)(SEGuiRecord* record, int32_t opcode, int32_t index,
                                     int32_t value, void* data, float opt);
using SEGuiDispatcherEntry = intptr_t (*)(SEGuiRecord* record, int32_t opcode, intptr_t index,
                                          int32_t value, void* data, float opt);

// The GUI instance's record, embedded in the GUI instance and living exactly
// as long as it (makeModule kind 2 until GUI opcode 1).
struct SEGuiRecord {
  int32_t magic;                    // SE_GUI_MAGIC
  int32_t version;                  // 1
  SEGuiDispatcherEntry dispatcher;  // forwards to the instance's GuiDispatch
  intptr_t host_word;               // fourth argument of makeModule; never read by the plug-in
  void* instance;                   // the GUI instance containing this record
  int32_t reserved[5];              // 0
};

// Passed by the host with paint, mouse and window commands; owned by the
// host, valid during the call.
struct SEWndInfo {
  int32_t width;       // panel width in pixels
  int32_t height;      // panel height in pixels
  int32_t window_ref;  // host's window reference; GUI host opcode 12 turns it into a native handle
  int32_t host_fields[5];  // the host's own
};

// A point in panel pixels, passed by value.
struct SEPoint {
  int32_t x;
  int32_t y;
};

#if defined(_WIN32) && !defined(_WIN64)
#include <cstddef>
static_assert(sizeof(SEGuiRecord) == 40);
static_assert(offsetof(SEGuiRecord, magic) == 0);
static_assert(offsetof(SEGuiRecord, version) == 4);
static_assert(offsetof(SEGuiRecord, dispatcher) == 8);
static_assert(offsetof(SEGuiRecord, host_word) == 12);
static_assert(offsetof(SEGuiRecord, instance) == 16);
static_assert(offsetof(SEGuiRecord, reserved) == 20);
static_assert(offsetof(SEWndInfo, width) == 0);
static_assert(offsetof(SEWndInfo, height) == 4);
static_assert(offsetof(SEWndInfo, window_ref) == 8);
#endif
