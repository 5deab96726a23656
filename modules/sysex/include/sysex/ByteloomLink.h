// The link between the two objects of one Byteloom instance (the processing
// object and the editor object): a named mutex and a named shared block,
// both named after the instance number that the host reports to both
// objects, and one-letter notifications sent through the host's byte
// channel between them.
//
// Shared block (kSharedBlockSize bytes, mapped whole by both objects):
//   offset 0, kStatusAreaSize bytes: the zero-terminated status line;
//   offset kStatusAreaSize, kTextAreaSize bytes: the zero-terminated hex text.
// The mutex guards every write to the block; readers take it and release it
// at once before reading (a barrier: the writer that holds it has finished).
//
// Portable header: kernel handles are kept as void* (HANDLE on Windows).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace byteloom {

inline constexpr int kSharedBlockSize = 655360;                           // 0xA0000
inline constexpr int kStatusAreaSize = 128;                               // bytes with the zero
inline constexpr int kTextAreaSize = kSharedBlockSize - kStatusAreaSize;  // bytes with the zero
// The longest hex text the block holds, in characters (without the zero).
inline constexpr int kMaxTextLength = kTextAreaSize - 1;  // 655231
// The largest raw file whose display text ("XX " per byte) fits the block.
inline constexpr int kMaxRawFileSize = kMaxTextLength / 3;  // 218410

// Notification letters (the only byte of a letter block).
inline constexpr char kLetterStatus = 'p';   // processing -> editor: a new status line
inline constexpr char kLetterReset = 'r';    // processing -> editor: empty window
inline constexpr char kLetterSave = 's';     // both ways: save the window text
inline constexpr char kLetterSend = 't';     // both ways: send the window text
inline constexpr char kLetterNewText = 'u';  // processing -> editor: show the text area
inline constexpr char kLetterIgnored = 'q';  // known to neither side

// "Byteloom_Mutex<n>" and "Byteloom_SharedMemory<n>", n in decimal.
std::string mutexName(int instance);
std::string sharedBlockName(int instance);

// The letter a received block carries, or 0 for none. A letter travels as
// three blocks: the instance number (4 bytes), the letter's length (4 bytes)
// and the letter itself (1 byte). The two 4-byte blocks are never letters,
// even when their first byte happens to be one (instance numbers 112 to 117
// begin with 'p' to 'u'); of any other block the first byte is the letter.
char letterOf(int size, const void* data);

// The three blocks of a letter, handed one by one to `send` (byte count,
// bytes), which passes them to the host. The bytes live only during the call.
template <class Send>
void sendLetter(int instance, char letter, Send&& send) {
  int32_t number = instance;
  int32_t length = 1;
  char text[2] = {letter, 0};
  send(4, &number);
  send(4, &length);
  send(1, text);
}

// The kernel objects of one side of the link. Owns its handles and view
// from opening until close() or destruction. Not copyable. Used from the
// owning object's calls only (the host never overlaps them).
class SharedLink {
 public:
  SharedLink() = default;
  SharedLink(const SharedLink&) = delete;
  SharedLink& operator=(const SharedLink&) = delete;
  ~SharedLink() { close(); }

  // Creates the instance's mutex, or opens it when the other object created
  // it first. `openFirst` tries opening before creating. False when neither
  // works (then the waits below return at once).
  bool attachMutex(int instance, bool openFirst);
  // Maps the instance's shared block, creating it when the other object has
  // not yet (a new block is all zeros; this call never writes into it, so
  // that text the other object wrote first is kept); replaces a previous
  // mapping. False when the
  // block cannot be created or mapped: then hasBlock() is false.
  bool openBlock(int instance);
  // Unmaps the view and closes both handles.
  void close();

  bool hasBlock() const { return m_view != nullptr; }
  bool hasMutex() const { return m_mutex != nullptr; }

  // Unbounded wait for the mutex, and its release.
  void lock();
  void unlock();
  // lock() and unlock() at once: whoever held the mutex has finished.
  void barrier();

  // Replaces the status line with "<count> <message>", cut to fit its area.
  // Call while holding the mutex, with the block open.
  void writeStatus(int count, const char* message);
  // Replaces the hex text, cut to kMaxTextLength characters (callers refuse
  // longer texts before). Call while holding the mutex, with the block open.
  void writeText(std::string_view text);
  // The status line and the hex text, up to their zero or the end of their
  // area (never past the block); empty without a block.
  std::string_view status() const;
  std::string_view text() const;

 private:
  void* m_mutex = nullptr;     // mutex handle
  void* m_mapping = nullptr;   // file mapping handle
  char* m_view = nullptr;      // the whole block; the status area starts here
  char* m_textArea = nullptr;  // m_view + kStatusAreaSize
};

}  // namespace byteloom
