// Opcodes of the processing side of the host callback and of the
// processing object's dispatcher. Arguments not named are 0.
#pragma once

namespace se {

// Host callback, called by a processing object (SEModule_base::HostCall).
enum HostOpcode : int {
  kHostSendStatus = 0,       // index pin, value status, data sample clock
  kHostIsConnected = 1,      // index pin -> non-zero when connected
  kHostSampleClock = 3,      // -> clock of the sample being processed or the event being delivered
  kHostSendMidi = 4,         // index pin, value packed message, data sample clock
  kHostGetBuffer = 7,        // index pin -> address of the pin's float sample buffer
  kHostBlockStartClock = 8,  // index pin -> clock of element 0 of the pin's buffer
  kHostSleep = 10,           // the process entry is not called until the host wakes the instance
  kHostPinCount = 14,        // -> number of pins of this instance
  kHostFileName = 16,        // index pin, value buffer size (260), data buffer (revision 2020);
                             // answers 0, or, for a path that does not fit whole, the size it
                             // needs (with its zero) and leaves the buffer empty
  kHostSendToGui = 17,       // index byte count, value tag word, data bytes
  kHostInstanceNumber = 18,  // -> instance number, the same for both objects of an instance
  kHostPostEvent = 19,       // data SEEventRecord*, copied during the call
  kHostProcessChanged = 22,  // the record's process entry is re-read
};

// Processing object's dispatcher (record entry), called by the host.
enum DispatchOpcode : int {
  kOpOpen = 0,
  kOpClose = 1,              // Close, then the instance destroys itself; answers 1
  kOpSampleRate = 2,         // opt
  kOpBlockSize = 3,          // value
  kOpPinProperties = 6,      // index, data SEPinProperties* -> 1 if the pin exists
  kOpReserved14 = 8,         // Reserved14; revision 2230 also Reserved15(index) when index > 0
  kOpGuiMessage = 12,        // bytes from the GUI object
  kOpProcessReference = 13,  // -> SEProcessReferenceAnswer* (revision 2230; 0 in 2020)
};

}  // namespace se
