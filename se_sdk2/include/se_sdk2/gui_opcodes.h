// Opcodes of the GUI side: the host callback a GUI object calls, and the GUI
// object's dispatcher that the host calls. Arguments not named are 0.
#pragma once

namespace se {

// GUI host callback (SEGuiModule_base::HostCall).
enum GuiHostOpcode : int {
  kGuiHostRedraw = 0,          // Paint is called again
  kGuiHostInstanceNumber = 1,  // -> the instance number (as processing host opcode 18)
  kGuiHostSendToDsp = 2,       // index byte count, data bytes -> processing dispatcher opcode 12
  kGuiHostPanelSize = 3,       // index width, value height (pixels)
  kGuiHostSetup4 = 4,          // called once at construction with index 1
  kGuiHostPinCount = 5,        // -> number of GUI pins
  kGuiHostSetText = 6,         // index pin, data text
  kGuiHostGetText = 7,         // index pin -> pointer to the pin's zero-terminated text
  kGuiHostReserved8 = 8,       // (index, value, data): a wrapper exists, nothing calls it
  kGuiHostSetup11 = 11,        // called once at construction with index 1
  kGuiHostParentWindow = 12,   // index window reference -> native parent window handle
  kGuiHostSetup13 = 13,        // called once at construction with index 2
  kGuiHostGetValue = 14,       // index pin, data out: 32-bit int or float stored there
  kGuiHostSetValue = 15,       // index pin, value int or opt float
  kGuiHostGetWideText = 17,    // index pin, value capacity, data buffer; no buffer: length
  kGuiHostCaptureMouse = 18,   // data window info
  kGuiHostReleaseMouse = 19,   // data window info
  kGuiHostHasCapture = 20,     // data window info -> non-zero while captured
};

// GUI dispatcher (record entry), called by the host.
enum GuiOpcode : int {
  kGuiOpen = 0,        // index 1: GuiOpen(true), otherwise GuiOpen(false)
  kGuiClose = 1,       // GuiClose, then the object destroys itself; answers 1
  kGuiPaint = 2,       // index device context, data window info
  kGuiButtonDown = 3,  // data window info, opt's bits flags, point (index, value)
  kGuiButtonUp = 4,
  kGuiMouseMove = 5,
  kGuiDspMessage = 6,   // bytes from the processing object (processing host opcode 17)
  kGuiPinChanged = 7,   // index pin
  kGuiWindowOpen = 8,   // data window info
  kGuiWindowClose = 9,  // data window info
  kGuiReserved10 = 10,
  kGuiReserved11 = 11,
  kGuiReserved12 = 12,
};

// Mouse key-state flags as the host passes them (opt's bits).
enum MouseFlags : int {
  kMouseLeft = 0x1,
  kMouseRight = 0x2,
  kMouseShift = 0x4,
  kMouseCtrl = 0x8,
};

}  // namespace se
