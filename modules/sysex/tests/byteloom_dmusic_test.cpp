// Byteloom's DirectMusic output under Wine, through the host, against a
// recording DirectMusic (recorder_fixture.h): the port lists it builds, the
// port it opens and with what, the messages it sends and when, the status
// lines it shows, and that every DirectMusic object it took is released.
#include <algorithm>
#include <cstring>

#include "recorder_fixture.h"
#include "se_sdk2/host_opcodes.h"
#include "sysex/ByteloomLink.h"
// After the fixture's windows.h, which the DirectMusic header builds on.
#include <dmusicc.h>

namespace byteloom_test {
namespace {

// The window text of `bytes`: "F0 01 F7".
std::string windowTextOf(const Bytes& bytes) {
  const std::string h = hexOf(bytes);
  std::string text;
  for (size_t i = 0; i < h.size(); i += 2) text += (i ? " " : "") + h.substr(i, 2);
  return text;
}

// An instance's shared block and mutex, opened as a second editor would:
// the test reads the status line and writes the text area through it.
class SharedBlock {
 public:
  explicit SharedBlock(int instance) {
    const std::string n = std::to_string(instance);
    m_mutex = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, ("Byteloom_Mutex" + n).c_str());
    m_mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, ("Byteloom_SharedMemory" + n).c_str());
    if (m_mapping) m_view = static_cast<char*>(MapViewOfFile(m_mapping, FILE_MAP_WRITE, 0, 0, 0));
  }
  SharedBlock(const SharedBlock&) = delete;
  SharedBlock& operator=(const SharedBlock&) = delete;
  ~SharedBlock() {
    if (m_view) UnmapViewOfFile(m_view);
    if (m_mapping) CloseHandle(m_mapping);
    if (m_mutex) CloseHandle(m_mutex);
  }
  bool isOpen() const { return m_view && m_mutex; }
  // Each under the mutex; only while isOpen().
  std::string status() {
    Hold hold(m_mutex);
    return std::string(m_view, strnlen(m_view, byteloom::kStatusAreaSize));
  }
  void setStatus(const std::string& line) { write(0, line, byteloom::kStatusAreaSize); }
  void setText(const std::string& text) {
    write(byteloom::kStatusAreaSize, text, byteloom::kTextAreaSize);
  }

 private:
  struct Hold {
    explicit Hold(HANDLE m) : mutex(m) { WaitForSingleObject(mutex, INFINITE); }
    ~Hold() { ReleaseMutex(mutex); }
    HANDLE mutex;
  };
  void write(size_t offset, const std::string& text, size_t area) {
    Hold hold(m_mutex);
    const size_t n = std::min(text.size(), area - 1);
    std::memcpy(m_view + offset, text.data(), n);
    m_view[offset + n] = '\0';
  }
  HANDLE m_mutex = nullptr;
  HANDLE m_mapping = nullptr;
  char* m_view = nullptr;
};

// Records every status line an instance's processing object publishes, in
// order, as the host carries the object's blocks to the editor object. The
// object sends the status letter, then writes the line under the mutex
// before it sends anything else or returns, all in one call on the host's
// thread: so a line is read from the shared block when the object's next
// block passes the host, or, for the last one, when lines() is asked for
// between the engine's calls. A line replaced within the same call is seen
// too, and nothing depends on how long anything takes.
class StatusRecorder {
 public:
  explicit StatusRecorder(Instance& b) : m_instance(b), m_block(b.instance_number()) {
    b.watch_messages_to_gui([this](const plughost::GuiMessage& m) {
      readPending();
      // The 4-byte blocks (instance number, length) are never letters.
      if (m.bytes.size() != 4 && m.bytes[0] == byteloom::kLetterStatus) m_pending = true;
    });
  }
  StatusRecorder(const StatusRecorder&) = delete;
  StatusRecorder& operator=(const StatusRecorder&) = delete;
  ~StatusRecorder() { m_instance.watch_messages_to_gui({}); }
  bool recording() const { return m_block.isOpen(); }
  // Every line published so far. Only between the engine's calls.
  std::vector<std::string> lines() {
    readPending();
    return m_lines;
  }

 private:
  void readPending() {
    if (!m_pending || !m_block.isOpen()) return;
    m_lines.push_back(m_block.status());
    m_pending = false;
  }
  Instance& m_instance;
  SharedBlock m_block;
  bool m_pending = false;  // a status letter passed; its line is not read yet
  std::vector<std::string> m_lines;
};

class ByteloomDirectMusicTest : public RecorderTest {
 protected:
  // A press of "Send" with `text` in the editor; returns the status lines
  // published meanwhile. With an edit window the user types the text there and
  // presses the button; without one the test does the editor's part: it puts
  // the text into the shared text area and sends the letter "t".
  std::vector<std::string> send(Instance& b, const std::string& text) {
    StatusRecorder recorder(b);
    EXPECT_TRUE(recorder.recording());
    if (hasWindow(b)) {
      SetWindowTextA(edit(b), text.c_str());
      choose(b, kSend, 1);
      choose(b, kSend, 0);
    } else {
      {
        SharedBlock block(b.instance_number());
        EXPECT_TRUE(block.isOpen());
        if (block.isOpen()) block.setText(text);
      }
      byteloom::sendLetter(b.instance_number(), byteloom::kLetterSend,
                           [&](int size, const void* bytes) {
                             toProcessor(b, std::string(static_cast<const char*>(bytes), size));
                           });
      settle();
    }
    return recorder.lines();
  }

  std::string listText(Instance& b, int pin) {
    SEPinProperties p{};
    b.dispatch(se::kOpPinProperties, pin, 0, &p);
    return p.datatype_extra ? p.datatype_extra : "";
  }
};

TEST_F(ByteloomDirectMusicTest, WinesOwnDirectMusicListsNothingAndSendsNothing) {
  Instance& b = add("b");  // no activation context: the system's DirectMusic
  settle();
  EXPECT_EQ(b.pins()[kMidiOutPort].list_text, "");
  EXPECT_EQ(b.pins()[kMidiInPort].list_text, "");
  choose(b, kMidiOutPort, 0);
  EXPECT_TRUE(send(b, "F0 01 F7").empty());
  EXPECT_EQ(status(b), "0 bytes loaded");
  EXPECT_TRUE(calls().empty()) << "the recorder was loaded";
}

TEST_F(ByteloomDirectMusicTest, ListsTakeEachClassInOrderAndDescriptionsAsTheyStand) {
  Instance& b = addRecorded("b", kThreePorts);
  EXPECT_EQ(b.pins()[kMidiOutPort].list_text, "Synth A,Port B, rear");
  EXPECT_EQ(b.pins()[kMidiInPort].list_text, "Keys In");
  const Calls log = calls();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[0].method, "Create");
  // SetDirectSound with nothing, before any enumeration; then two passes.
  const Calls sound = only(log, "SetDirectSound");
  ASSERT_EQ(sound.size(), 1u);
  EXPECT_EQ(sound[0]["sound"] + sound[0]["window"], "00");
  const Calls enums = only(log, "EnumPort");
  ASSERT_FALSE(enums.empty());
  EXPECT_LT(sound[0].us, enums[0].us);
  for (const Call& c : enums) EXPECT_EQ(c["size"], "308");
  EXPECT_EQ(only(log, "CreatePort").size(), 0u);  // listing opens nothing
}

TEST_F(ByteloomDirectMusicTest, FailingSetDirectSoundListsNothingAndSendsNothing) {
  Instance& b = addRecorded("b", kThreePorts + "fail SetDirectSound 0 88780078\n");
  EXPECT_EQ(b.pins()[kMidiOutPort].list_text, "");
  EXPECT_EQ(b.pins()[kMidiInPort].list_text, "");
  choose(b, kMidiOutPort, 0);
  send(b, "F0 01 F7");
  EXPECT_EQ(status(b), "0 bytes loaded");
  const Calls log = calls();
  EXPECT_TRUE(only(log, "EnumPort").empty());
  EXPECT_TRUE(only(log, "CreatePort").empty());
}

TEST_F(ByteloomDirectMusicTest, OpeningAsksForTheChosenPortWithItsCapabilitiesAndTheSampleRate) {
  // B answers S_FALSE (parameters adjusted): that still opens it.
  Instance& b = addRecorded(
      "b", kPortA + kPortIn + "port out " + kGuidB + " 16 4 2 1 1 - Port B, rear\n", true);
  newCalls();
  choose(b, kMidiOutPort, 1);
  const Calls log = newCalls();
  const Calls created = only(log, "CreatePort");
  ASSERT_EQ(created.size(), 1u);
  const Call& c = created[0];
  EXPECT_EQ(c["guid"], kGuidB);
  EXPECT_EQ(c["size"], "36");
  EXPECT_EQ(c["valid"], "0x2F");
  EXPECT_EQ(c["voices"] + "/" + c["groups"] + "/" + c["audio"] + "/" + c["effects"], "16/4/2/1");
  EXPECT_EQ(c["rate"], "48000");
  EXPECT_EQ(c["share"] + c["features"] + c["outer"], "000");
  EXPECT_EQ(c["result"], "00000001");
  const std::string port = c["port"];
  const Calls activated = only(log, "Activate");
  ASSERT_EQ(activated.size(), 1u);
  EXPECT_EQ(activated[0].object + " " + activated[0]["on"], port + " 1");
  EXPECT_EQ(only(log, "GetLatencyClock").size(), 1u);
  const Calls buffers = only(log, "CreateMusicBuffer");
  ASSERT_EQ(buffers.size(), 1u);
  EXPECT_EQ(buffers[0]["size"] + " " + buffers[0]["flags"] + " " + buffers[0]["cb"], "28 0 280");
  EXPECT_EQ(buffers[0]["format"], kZeroGuid);

  // The port is usable: a send reaches it, active.
  send(b, "F0 7E 7F 06 01 F7");
  const Calls played = only(newCalls(), "PlayBuffer");
  ASSERT_EQ(played.size(), 1u);
  EXPECT_EQ(played[0].object, port);
  EXPECT_EQ(played[0]["active"], "1");
  EXPECT_EQ(status(b), "6 bytes sent");
}

TEST_F(ByteloomDirectMusicTest, SendCutsAfterEveryEndOfExclusiveWithOneTimeAndPausesBetween) {
  Instance& b = addRecorded("b", kThreePorts, true);
  choose(b, kMidiOutPort, 0);
  const struct {
    const char* text;
    std::vector<std::string> messages;
    std::vector<std::string> statuses;
  } cases[] = {
      {"F0 41 10 F7 F0 42 F7", {"F04110F7", "F042F7"}, {"4 bytes sent", "7 bytes sent"}},
      {"F0 01 02", {"F00102"}, {"3 bytes sent"}},
      {"F0 01 F7 09", {"F001F7", "09"}, {"3 bytes sent", "4 bytes sent"}},
      {"F7", {"F7"}, {"1 bytes sent"}},
  };
  newCalls();
  for (const auto& k : cases) {
    SCOPED_TRACE(k.text);
    EXPECT_EQ(send(b, k.text), k.statuses);
    const Calls log = newCalls();
    // One reading of the clock; every message carries it.
    const Calls times = only(log, "GetTime");
    ASSERT_EQ(times.size(), 1u);
    const std::string t = times[0]["time"];
    const Calls packed = only(log, "PackUnstructured");
    const Calls played = only(log, "PlayBuffer");
    ASSERT_EQ(packed.size(), k.messages.size());
    ASSERT_EQ(played.size(), k.messages.size());
    for (size_t m = 0; m < k.messages.size(); ++m) {
      EXPECT_EQ(packed[m]["time"], t);
      EXPECT_EQ(packed[m]["group"], "0");
      EXPECT_EQ(packed[m]["cb"], std::to_string(k.messages[m].size() / 2));
      ASSERT_EQ(played[m].events.size(), 1u);
      EXPECT_EQ(played[m].events[0], t + ":0:" + k.messages[m]);
      if (m > 0) {
        EXPECT_GE(played[m].us - played[m - 1].us, 60000) << "message " << m;
      }
    }
    // Each message alone in the buffer: flushed after it is played.
    std::string order;
    for (const Call& c : log)
      if (c.method == "PackUnstructured" || c.method == "PlayBuffer" || c.method == "Flush")
        order += c.method == "PackUnstructured" ? "pack "
                 : c.method == "PlayBuffer"     ? "play "
                                                : "flush ";
    std::string expected;
    for (size_t m = 0; m < k.messages.size(); ++m) expected += "pack play flush ";
    EXPECT_EQ(order, expected);
    EXPECT_EQ(status(b), k.statuses.back());
  }
}

TEST_F(ByteloomDirectMusicTest, A20KbMessageGoesOutWholeInOneEvent) {
  Instance& b = addRecorded("b", kThreePorts);
  choose(b, kMidiOutPort, 0);
  Bytes message{0xF0};
  for (int i = 0; message.size() < 20479; ++i)
    message.push_back(static_cast<std::uint8_t>(i & 0x7F));
  message.push_back(0xF7);
  newCalls();
  // Without a window: Wine's edit window takes many seconds for this text.
  send(b, windowTextOf(message) + " F0 05 F7");
  const Calls log = newCalls();
  const Calls played = only(log, "PlayBuffer");
  ASSERT_EQ(played.size(), 2u);
  ASSERT_EQ(played[0].events.size(), 1u);
  EXPECT_EQ(played[0].events[0].substr(played[0].events[0].rfind(':') + 1), hexOf(message));
  EXPECT_EQ(played[1].events[0].substr(played[1].events[0].rfind(':') + 1), "F005F7");
  for (const Call& c : only(log, "PackUnstructured")) EXPECT_EQ(c["result"], "00000000");
  EXPECT_EQ(status(b), "20483 bytes sent");
}

// The 20 KB case above means something only if the recorder refuses what a
// buffer cannot hold, as DirectMusic does: each event takes its bytes and a
// header, rounded up to 8 bytes.
TEST_F(ByteloomDirectMusicTest, RecorderRefusesAnEventBeyondItsBufferSize) {
  writeBytes(path("script.txt"), "");
  ULONG_PTR cookie = 0;
  ASSERT_TRUE(ActivateActCtx(recorderContext(), &cookie));
  CoInitialize(nullptr);
  IDirectMusic8* music = nullptr;
  const GUID clsid = {0x636b9f10, 0x0c7d, 0x11d1, {0x95, 0xb2, 0x00, 0x20, 0xaf, 0xdc, 0x74, 0x21}};
  const GUID iid = {0x2d3629f7, 0x813d, 0x4939, {0x85, 0x08, 0xf0, 0x5c, 0x6b, 0x75, 0xfd, 0x97}};
  const HRESULT created =
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(&music));
  DeactivateActCtx(0, cookie);
  ASSERT_EQ(created, S_OK);
  DMUS_BUFFERDESC desc = {};
  desc.dwSize = sizeof desc;
  desc.cbBuffer = 280;
  IDirectMusicBuffer* buffer = nullptr;
  ASSERT_EQ(music->CreateMusicBuffer(&desc, &buffer, nullptr), S_OK);
  std::uint8_t bytes[300] = {};
  EXPECT_EQ(buffer->PackUnstructured(0, 0, 261, bytes), E_OUTOFMEMORY);  // 20 + 261 -> 288
  EXPECT_EQ(buffer->PackUnstructured(0, 0, 260, bytes), S_OK);           // 20 + 260 -> 280
  EXPECT_EQ(buffer->PackUnstructured(0, 0, 1, bytes), E_OUTOFMEMORY);    // full
  buffer->Release();
  music->Release();
  CoUninitialize();
}

TEST_F(ByteloomDirectMusicTest, PortThatCannotOpenOrHasGoneLeavesNoneOpenAndSendDoesNothing) {
  Instance& b = addRecorded("b", kPortA + "port out " + kGuidB + " 16 4 2 1 80004005 - Dead\n" +
                                     "port out {0A1B2C3D-0004-4000-8000-00000000000D} 1 1 1 0 0 "
                                     "gone Unplugged\n");
  EXPECT_EQ(b.pins()[kMidiOutPort].list_text, "Synth A,Dead,Unplugged");
  choose(b, kMidiOutPort, 0);
  newCalls();
  for (int chosen : {1, 2}) {
    SCOPED_TRACE(chosen);
    choose(b, kMidiOutPort, chosen);
    send(b, "F0 01 F7");
    const Calls log = newCalls();
    EXPECT_EQ(status(b), "0 bytes loaded");
    EXPECT_TRUE(only(log, "PlayBuffer").empty());
    EXPECT_TRUE(only(log, "GetTime").empty());
    EXPECT_TRUE(only(log, "GetLatencyClock").empty());
    const Calls created = only(log, "CreatePort");
    if (chosen == 1) {
      ASSERT_EQ(created.size(), 1u);
      EXPECT_EQ(created[0]["result"], "80004005");
    } else {
      EXPECT_TRUE(created.empty()) << "a port no longer listed was asked for";
    }
  }
  // A port that opens works again after.
  choose(b, kMidiOutPort, 0);
  send(b, "F0 01 F7");
  EXPECT_EQ(only(newCalls(), "PlayBuffer").size(), 1u);
  EXPECT_EQ(status(b), "3 bytes sent");
}

TEST_F(ByteloomDirectMusicTest, ChoiceOutsideTheListOpensNothingAndSendDoesNothing) {
  Instance& b = addRecorded("b", kThreePorts);
  for (int chosen : {-1, 2, 31}) {
    SCOPED_TRACE(chosen);
    choose(b, kMidiOutPort, 0);  // a port open before
    const std::string before = only(newCalls(), "CreatePort").at(0)["port"];
    choose(b, kMidiOutPort, chosen);
    send(b, "F0 01 F7");
    const Calls log = newCalls();
    EXPECT_TRUE(only(log, "CreatePort").empty());
    EXPECT_TRUE(only(log, "PlayBuffer").empty());
    EXPECT_EQ(status(b), "0 bytes loaded");
    // The port open before was closed.
    EXPECT_EQ(lifeOf(log, before), "Activate0 Release ");
  }
}

TEST_F(ByteloomDirectMusicTest, AFailedHandOverEndsTheSendAndCountsOnlyTheBytesHandedOver) {
  const std::string text = "F0 01 F7 F0 02 02 F7 F0 03 F7";
  {
    Instance& b = addRecorded("play", kThreePorts + "fail PlayBuffer 2 80004005\n");
    choose(b, kMidiOutPort, 0);
    newCalls();
    const auto seen = send(b, text);
    EXPECT_EQ(status(b), "3 bytes sent; the message of 4 bytes at byte 3 could not be sent");
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "3 bytes sent",
                        "3 bytes sent; the message of 4 bytes at byte 3 could not be sent"}));
    EXPECT_EQ(only(newCalls(), "PlayBuffer").size(), 2u);  // the third message is not tried
  }
  {
    Instance& b = addRecorded("pack", kThreePorts + "fail PackUnstructured 1 8007000E\n");
    choose(b, kMidiOutPort, 0);
    newCalls();
    send(b, text);
    EXPECT_EQ(status(b), "0 bytes sent; the message of 3 bytes at byte 0 could not be sent");
    const Calls log = newCalls();
    EXPECT_EQ(only(log, "PackUnstructured").size(), 1u);
    EXPECT_TRUE(only(log, "PlayBuffer").empty());
  }
}

// The ports are found again by their identifiers, whatever order DirectMusic
// lists them in later; the list texts the host was given stay where they
// were, unchanged.
TEST_F(ByteloomDirectMusicTest, ListTextsAndPortIdentifiersStayForTheInstancesLife) {
  Instance& b = addRecorded("b", kThreePorts + "reverse\n");
  SEPinProperties before{};
  b.dispatch(se::kOpPinProperties, kMidiOutPort, 0, &before);
  const std::string outText = listText(b, kMidiOutPort), inText = listText(b, kMidiInPort);
  newCalls();
  choose(b, kMidiOutPort, 1);
  send(b, "F0 01 F7");
  choose(b, kMidiOutPort, 0);
  send(b, "F0 02 F7");
  const Calls created = only(newCalls(), "CreatePort");
  ASSERT_EQ(created.size(), 2u);
  EXPECT_EQ(created[0]["guid"], kGuidB);
  EXPECT_EQ(created[0]["voices"], "16");
  EXPECT_EQ(created[1]["guid"], kGuidA);
  EXPECT_EQ(created[1]["voices"], "32");
  SEPinProperties after{};
  b.dispatch(se::kOpPinProperties, kMidiOutPort, 0, &after);
  EXPECT_EQ(after.datatype_extra, before.datatype_extra);
  EXPECT_EQ(listText(b, kMidiOutPort), outText);
  EXPECT_EQ(listText(b, kMidiInPort), inText);
  EXPECT_EQ(outText, "Synth A,Port B, rear");
}

// Reopening and destruction deactivate the port before releasing it; the
// fixture checks at the end that every object was released to nothing.
TEST_F(ByteloomDirectMusicTest, ReopeningAndDestructionDeactivateThePortBeforeReleasingIt) {
  Instance& b = addRecorded("b", kThreePorts);
  choose(b, kMidiOutPort, 0);
  send(b, "F0 01 F7");
  const std::string first = only(calls(), "CreatePort").back()["port"];
  choose(b, kMidiOutPort, 1);
  const std::string second = only(calls(), "CreatePort").back()["port"];
  engine_.instances().clear();
  const Calls log = calls();
  for (const std::string& port : {first, second}) {
    SCOPED_TRACE(port);
    EXPECT_EQ(lifeOf(log, port), "Activate1 Activate0 Release ");
  }
  // The first port was closed before the second was created.
  long long firstGone = 0, secondMade = 0;
  for (const Call& c : log) {
    if (c.object == first && c["refs"] == "0") firstGone = c.us;
    if (c.method == "CreatePort" && c["port"] == second) secondMade = c.us;
  }
  EXPECT_LT(firstGone, secondMade);
  EXPECT_EQ(only(log, "Release").back().object.rfind("music", 0), 0u);  // DirectMusic last
}

}  // namespace
}  // namespace byteloom_test
