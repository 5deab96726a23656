// The link between Byteloom's two objects through the host: pairing by
// instance number, the letters and what each side ignores, the shared block
// and its mutex, and the limits of the shared block.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "byteloom_fixture.h"
#include "sysex/ByteloomLink.h"

#ifndef _WIN32
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace byteloom_test {
namespace {

constexpr int kBlockSize = 655360;
constexpr int kMaxText = 655231;

// The test's own view of an instance's shared block.
// A one-way signal between two threads, waited for with a deadline.
class Signal {
 public:
  void set() {
    std::lock_guard<std::mutex> hold(lock_);
    set_ = true;
    changed_.notify_all();
  }
  bool waitFor(int seconds) {
    std::unique_lock<std::mutex> hold(lock_);
    return changed_.wait_for(hold, std::chrono::seconds(seconds), [this] { return set_; });
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  bool set_ = false;
};

class BlockView {
 public:
  explicit BlockView(int instance) {
    const std::string name = "Byteloom_SharedMemory" + std::to_string(instance);
    mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBlockSize,
                                  name.c_str());
    existed_ = GetLastError() == ERROR_ALREADY_EXISTS;
    view_ = static_cast<char*>(MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, 0));
  }
  ~BlockView() {
    if (view_) UnmapViewOfFile(view_);
    if (mapping_) CloseHandle(mapping_);
  }
  bool existed() const { return existed_; }
  std::string status() const { return view_ ? std::string(view_, strnlen(view_, 128)) : ""; }
  std::string text() const {
    return view_ ? std::string(view_ + 128, strnlen(view_ + 128, kBlockSize - 128)) : "";
  }

 private:
  HANDLE mapping_ = nullptr;
  char* view_ = nullptr;
  bool existed_ = false;
};

TEST_F(ByteloomTest, TwoInstancesKeepTheirOwnTextAndStatus) {
  Instance& a = add("a");
  Instance& b = add("b");
  ASSERT_NE(a.instance_number(), b.instance_number());
  openWindow(a);
  openWindow(b);
  writeBytes(path("a.syx"), "\xF0\x0A\xF7");
  writeBytes(path("b.syx"), "\xF0\x0B\x0B\xF7");
  setFile(a, "a.syx");
  reload(a);
  SetWindowTextA(edit(b), "typed in b");
  EXPECT_EQ(windowText(a), "F0 0A F7 ");
  EXPECT_EQ(status(a), "3 bytes loaded");
  EXPECT_EQ(windowText(b), "typed in b");
  EXPECT_EQ(status(b), "0 bytes loaded");
  EXPECT_EQ(BlockView(a.instance_number()).text(), "F0 0A F7 ");
  EXPECT_EQ(BlockView(b.instance_number()).text(), "");

  setFile(b, "b.syx");
  reload(b);
  save(a, kSaveAsTxt);
  EXPECT_EQ(readText(path("a.txt")), "F0 0A F7\r\n");
  EXPECT_EQ(status(a), "3 MIDI bytes saved as text");
  EXPECT_EQ(status(b), "4 bytes loaded");
}

// With the processing object first, the block is made by it, and the editor
// that comes later takes it as it is.
TEST_F(ByteloomTest, EditorOpeningLateFindsTheBlockAsItIs) {
  writeBytes(path("dump.syx"), kInquiry);
  Instance& b = add("b", false);
  settle();  // opens the processing object
  setFile(b, "dump.syx");
  reload(b);  // the letters reach an editor that has not opened
  BlockView block(b.instance_number());
  ASSERT_TRUE(block.existed());
  EXPECT_EQ(block.text(), "F0 7E 7F 06 01 F7 ");

  b.gui()->open(false);
  openWindow(b);
  EXPECT_EQ(block.text(), "F0 7E 7F 06 01 F7 ");  // not zeroed
  EXPECT_EQ(windowText(b), "");                   // shown only after the next "u"
  reload(b);
  EXPECT_EQ(windowText(b), "F0 7E 7F 06 01 F7 ");
}

// The processing object that opens before the editor has made the mutex
// must still keep the barrier: while someone holds the mutex it may not
// write the block.
TEST_F(ByteloomTest, ProcessorOpenedFirstStillWaitsForTheMutex) {
  writeBytes(path("dump.syx"), kInquiry);
  Instance& b = add("b", false);
  settle();
  b.gui()->open(false);  // the editor's mutex now exists whoever made it
  openWindow(b);
  setFile(b, "dump.syx");

  const std::string name = "Byteloom_Mutex" + std::to_string(b.instance_number());
  HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
  ASSERT_NE(mutex, nullptr);
  // The host's thread (this one, which owns the windows) loads while
  // another thread holds the mutex. The processing object sends the letter
  // "u" just before it takes the mutex to write the new text: the host sees
  // it pass and tells the holder, which then watches the block while it
  // still holds the mutex. A module that writes without waiting is seen
  // writing; one that waits is let go after the watch.
  BlockView block(b.instance_number());
  Signal held, aboutToWait;
  b.watch_messages_to_gui([&](const plughost::GuiMessage& m) {
    if (m.bytes.size() == 1 && m.bytes[0] == byteloom::kLetterNewText)  // the letter's own block
      aboutToWait.set();
  });
  std::string seenWhileHeld = "(not looked)";
  bool letterSeen = false;
  std::thread holder([&] {
    WaitForSingleObject(mutex, INFINITE);
    held.set();
    letterSeen = aboutToWait.waitFor(30);
    // The module is now a few instructions away from its wait; a write
    // that does not wait lands at once. Watched for 200 ms, held meanwhile.
    seenWhileHeld.clear();
    for (int look = 0; look < 40 && seenWhileHeld.empty(); ++look) {
      seenWhileHeld = block.text();
      if (seenWhileHeld.empty()) Sleep(5);
    }
    ReleaseMutex(mutex);
  });
  if (!held.waitFor(30)) {
    ADD_FAILURE() << "the holder did not take the mutex within 30 s";
    holder.detach();  // still waiting on the mutex; the test process ends soon
    return;
  }
  reload(b);  // waits in publishText until the holder lets go
  holder.join();
  b.watch_messages_to_gui(nullptr);
  EXPECT_TRUE(letterSeen) << "no letter \"u\" within 30 s of the reload";
  EXPECT_EQ(seenWhileHeld, "");  // nothing written under another's mutex
  EXPECT_EQ(block.text(), "F0 7E 7F 06 01 F7 ");
  EXPECT_EQ(windowText(b), "F0 7E 7F 06 01 F7 ");
  CloseHandle(mutex);
}

// The editor rewrites the text area (under the mutex) whenever a save or a
// send is asked for; a second request may come while the processing object
// still saves the first. Each save takes the text whole: every saved file is
// one of the texts written, never a mix of two.
TEST_F(ByteloomTest, SavesTakeTheTextWholeWhileTheEditorRewritesIt) {
  Instance& b = add("b");
  settle();  // the processing object opens
  setFile(b, "dump.syx");
  choose(b, kSaveAsSyx, 1);  // no window: the editor passes an empty text, nothing is saved
  ASSERT_FALSE(fs::exists(path("dump.syx")));

  constexpr int kBytes = 50000;
  std::string ones, twos;
  for (int k = 0; k < kBytes; ++k) {
    ones += "11 ";
    twos += "22 ";
  }
  const int instance = b.instance_number();
  HANDLE mutex =
      OpenMutexA(SYNCHRONIZE, FALSE, ("Byteloom_Mutex" + std::to_string(instance)).c_str());
  ASSERT_NE(mutex, nullptr);
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBlockSize,
                                      ("Byteloom_SharedMemory" + std::to_string(instance)).c_str());
  ASSERT_NE(mapping, nullptr);
  char* view = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
  ASSERT_NE(view, nullptr);

  // Writes the two texts in turn, as fast as the mutex lets it, until told.
  std::atomic<bool> stop{false};
  std::atomic<int> writes{0};
  std::thread writer([&] {
    for (int k = 0; !stop; ++k) {
      const std::string& text = k % 2 ? ones : twos;
      WaitForSingleObject(mutex, INFINITE);
      std::memcpy(view + 128, text.c_str(), text.size() + 1);
      ReleaseMutex(mutex);
      ++writes;
      std::this_thread::yield();
    }
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (writes < 2 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  EXPECT_GE(writes, 2) << "the writer did not write twice within 30 s";

  int torn = 0, saved = 0;
  for (int round = 0; round < 20 && writes >= 2; ++round) {
    fs::remove(path("dump.syx"));
    toProcessor(b, "s");
    const Bytes file = readBytes(path("dump.syx"));
    if (file.empty()) continue;
    ++saved;
    if (file != Bytes(kBytes, 0x11) && file != Bytes(kBytes, 0x22)) ++torn;
  }
  stop = true;
  writer.join();
  EXPECT_EQ(saved, 20);
  EXPECT_EQ(torn, 0) << "saves that mixed two texts, of " << saved;
  UnmapViewOfFile(view);
  CloseHandle(mapping);
  CloseHandle(mutex);
}

#ifndef _WIN32
// The object that creates the shared block must not write into it: the
// other object may already have written its text there (an autoload while
// the patch loads) between the creation and the mapping. A new block is
// zeros by itself. Seen here through the pages of the block that exist:
// none, until someone writes.
TEST_F(ByteloomTest, CreatingTheSharedBlockWritesNothingIntoIt) {
  Instance& b = add("b", false);
  b.gui()->open(false);  // the editor creates the block; the processing object has not opened
  HANDLE mapping =
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBlockSize,
                         ("Byteloom_SharedMemory" + std::to_string(b.instance_number())).c_str());
  ASSERT_NE(mapping, nullptr);
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0);
  ASSERT_NE(view, nullptr);
  const long page = sysconf(_SC_PAGESIZE);
  std::vector<unsigned char> resident(static_cast<size_t>((kBlockSize + page - 1) / page));
  ASSERT_EQ(mincore(view, kBlockSize, resident.data()), 0);
  int written = 0;
  for (unsigned char r : resident) written += r & 1;
  EXPECT_EQ(written, 0) << "pages of the new block written at its creation";

  // And the text written first is what the processing object then finds.
  std::memcpy(static_cast<char*>(view) + 128, "F0 0C F7", 9);
  settle();             // the processing object opens, maps the block, resets the editor
  toProcessor(b, "s");  // nothing chosen: the refusal counts the text's bytes
  settle();
  EXPECT_EQ(status(b), "3 bytes not saved: no file chosen yet");
  UnmapViewOfFile(view);
  CloseHandle(mapping);
}
#endif

TEST_F(ByteloomTest, BlocksThatAreNoLetterChangeNothing) {
  Instance& b = add("b");
  openWindow(b);
  setFile(b, "dump.syx");
  SetWindowTextA(edit(b), "F0 01 F7");
  const std::string before = status(b);
  // Unknown first bytes, empty blocks, and the 4-byte blocks before each
  // letter whose first byte is a letter (instance numbers 112 to 117).
  for (const std::string& block :
       {std::string("q"), std::string("x"), std::string(), std::string("s\0\0\0", 4),
        std::string("t\0\0\0", 4), std::string("p"), std::string("r")}) {
    toProcessor(b, block);
  }
  settle();
  for (const std::string& block : {std::string("q"), std::string("?"), std::string("r\0\0\0", 4),
                                   std::string("s\0\0\0", 4), std::string("u\0\0\0", 4)}) {
    toEditor(b, block);
  }
  EXPECT_FALSE(fs::exists(path("dump.syx")));
  EXPECT_FALSE(fs::exists(path("dump.txt")));
  EXPECT_EQ(windowText(b), "F0 01 F7");
  EXPECT_EQ(status(b), before);
}

TEST_F(ByteloomTest, LettersBeforeTheWindowExistsTouchNoWindow) {
  Instance& b = add("b");
  writeBytes(path("dump.syx"), kInquiry);
  setFile(b, "dump.syx");
  reload(b);  // "u" without a window
  EXPECT_EQ(status(b), "6 bytes loaded");
  save(b, kSaveAsTxt);  // "s": an empty text is passed on, and nothing saved
  EXPECT_FALSE(fs::exists(path("dump.txt")));
  EXPECT_EQ(BlockView(b.instance_number()).text(), "");
  choose(b, kClear, 1);  // "r"
  EXPECT_EQ(status(b), "0 bytes loaded");
  openWindow(b);
  EXPECT_EQ(windowText(b), "");
}

// A window text longer than the text area is neither written past the
// shared block nor saved cut short.
TEST_F(ByteloomTest, WindowTextOverTheTextAreaIsRefusedNotCut) {
  Instance& b = add("b");
  openWindow(b);
  writeBytes(path("dump.txt"), "kept\r\n");
  setFile(b, "dump.txt");
  SetWindowTextA(edit(b), "F0 01 F7");
  save(b, kSaveAsSyx);
  ASSERT_EQ(readText(path("dump.syx")), "\xF0\x01\xF7");

  std::string text;
  while (text.size() <= static_cast<size_t>(kMaxText)) text += "F0 ";  // 655233 characters
  ASSERT_TRUE(SetWindowTextA(edit(b), text.c_str()));
  ASSERT_EQ(windowText(b).size(), text.size());
  save(b, kSaveAsSyx);
  EXPECT_EQ(readText(path("dump.syx")), "\xF0\x01\xF7");
  EXPECT_EQ(status(b), "655233 characters not saved: over the limit of 655231");
  EXPECT_EQ(BlockView(b.instance_number()).text(), "F0 01 F7");

  // The longest text that fits goes through whole.
  text.resize(kMaxText);
  ASSERT_TRUE(SetWindowTextA(edit(b), text.c_str()));
  save(b, kSaveAsTxt);
  EXPECT_EQ(BlockView(b.instance_number()).text().size(), static_cast<size_t>(kMaxText));
  EXPECT_EQ(status(b), "218411 bytes not saved: at most 131072 bytes can be saved");
}

}  // namespace
}  // namespace byteloom_test
