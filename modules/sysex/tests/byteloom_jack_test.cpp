// Byteloom sending to a real MIDI port. jack_ports_check.py starts its own
// JACK server and an independent recorder on it, names the recorder's port
// in BYTELOOM_JACK_PORT and the files to send in BYTELOOM_JACK_FILES (one per
// line), runs these cases, and then compares what the recorder received.
#include <rtmidi/RtMidi.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>

#include "byteloom_fixture.h"
#include "se_sdk2/host_opcodes.h"

namespace byteloom_test {
namespace {

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, separator);)
    if (!part.empty()) parts.push_back(part);
  return parts;
}

// A JACK MIDI input port of the test's own ("CLIENT:in"), there from
// construction to destruction, keeping what arrives on it.
class TestPort {
 public:
  explicit TestPort(const std::string& client) : port_(RtMidi::UNIX_JACK, client) {
    port_.ignoreTypes(false, true, true);
    port_.setCallback(&TestPort::received, this);
    port_.openVirtualPort("in");
  }
  // What has arrived once `count` bytes have, or once `limit` has passed.
  Bytes waitForBytes(size_t count, std::chrono::seconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    arrived_.wait_for(lock, limit, [&] { return bytes_.size() >= count; });
    return bytes_;
  }

 private:
  static void received(double, std::vector<unsigned char>* message, void* self) {
    auto* p = static_cast<TestPort*>(self);
    {
      std::lock_guard<std::mutex> lock(p->mutex_);
      p->bytes_.insert(p->bytes_.end(), message->begin(), message->end());
    }
    p->arrived_.notify_all();
  }
  RtMidiIn port_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  Bytes bytes_;
};

// How long bytes handed to the server may take to reach a port of the test's
// own on a busy machine.
constexpr auto kArrivalLimit = std::chrono::seconds(20);

// The list text of `pin` as the module gives it now (not the host's copy).
std::string listTextNow(Instance& b, int pin) {
  SEPinProperties p;
  std::memset(&p, 0, sizeof p);
  if (b.dispatch(se::kOpPinProperties, pin, 0, &p) == 0 || !p.datatype_extra) return {};
  return p.datatype_extra;
}

int position(const std::string& listText, const std::string& name) {
  const auto names = split(listText, ',');
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == name) return static_cast<int>(i);
  return -1;
}

class ByteloomJackTest : public ByteloomTest {
 protected:
  void SetUp() override {
    ByteloomTest::SetUp();
    const char* port = std::getenv("BYTELOOM_JACK_PORT");
    if (!port) GTEST_SKIP() << "needs the JACK server of jack_ports_check.py";
    port_ = port;
  }
  // The recorder's position in the output list, as the user picks it.
  int recorderIndex(Instance& b) {
    const auto names = split(b.pins()[kMidiOutPort].list_text, ',');
    for (size_t i = 0; i < names.size(); ++i)
      if (names[i] == port_) return static_cast<int>(i);
    ADD_FAILURE() << "\"" << port_ << "\" not in \"" << b.pins()[kMidiOutPort].list_text << "\"";
    return -1;
  }
  std::string port_;
};

TEST_F(ByteloomJackTest, EveryFileReachesTheChosenPortWithAnHonestCount) {
  Instance& b = add("b");
  openWindow(b);
  const int index = recorderIndex(b);
  ASSERT_GE(index, 0);
  choose(b, kMidiOutPort, index);
  const char* files = std::getenv("BYTELOOM_JACK_FILES");
  ASSERT_NE(files, nullptr);
  for (const std::string& file : split(files, '\n')) {
    const Bytes contents = readBytes(file);
    const std::string name = fs::path(file).filename().string();
    writeBytes(path(name), std::string(contents.begin(), contents.end()));
    setFile(b, name);
    reload(b);
    const std::string loaded = status(b);
    ASSERT_EQ(loaded.find("bytes loaded"), loaded.size() - 12) << name << ": " << loaded;
    const std::string count = loaded.substr(0, loaded.find(' '));
    choose(b, kSend, 1);
    choose(b, kSend, 0);
    EXPECT_EQ(status(b), count + " bytes sent") << name;
  }
}

TEST_F(ByteloomJackTest, PortIndexPastTheListOpensNothingAndSendsNothing) {
  Instance& b = add("b");
  openWindow(b);
  ASSERT_GE(recorderIndex(b), 0);
  choose(b, kMidiOutPort, 31);  // past the list: the recorder is the only port
  writeBytes(path("inquiry.syx"), kInquiry);
  setFile(b, "inquiry.syx");
  reload(b);
  choose(b, kSend, 1);
  EXPECT_EQ(status(b), "6 bytes loaded");
}

// Ports come and go after the instance listed them: its lists and the
// positions in them stay as they were, a listed port is found again by its
// identifier wherever the server now puts it, and a port that has gone
// opens nothing.
TEST_F(ByteloomJackTest, PortsThatComeAndGoChangeNeitherTheListsNorWhichPortAnEntryOpens) {
  auto early = std::make_unique<TestPort>("early");
  TestPort mine("mine");
  Instance& b = add("b");
  openWindow(b);
  const std::string outputs = listTextNow(b, kMidiOutPort);
  const std::string inputs = listTextNow(b, kMidiInPort);
  const int earlyAt = position(outputs, "early:in"), mineAt = position(outputs, "mine:in");
  ASSERT_GE(earlyAt, 0) << outputs;
  ASSERT_GE(mineAt, 0) << outputs;

  early.reset();
  TestPort late("late");
  writeBytes(path("inquiry.syx"), kInquiry);
  setFile(b, "inquiry.syx");
  reload(b);
  choose(b, kMidiOutPort, mineAt);
  choose(b, kSend, 1);
  EXPECT_EQ(status(b), "6 bytes sent");
  EXPECT_EQ(listTextNow(b, kMidiOutPort), outputs);
  EXPECT_EQ(listTextNow(b, kMidiInPort), inputs);
  EXPECT_EQ(position(outputs, "late:in"), -1);
  EXPECT_EQ(mine.waitForBytes(kInquiry.size(), kArrivalLimit),
            Bytes(kInquiry.begin(), kInquiry.end()))
      << "waited " << kArrivalLimit.count() << " s for the " << kInquiry.size()
      << " bytes sent to mine:in";

  choose(b, kMidiOutPort, earlyAt);  // listed, but gone: no port
  reload(b);
  choose(b, kSend, 0);
  choose(b, kSend, 1);
  EXPECT_EQ(status(b), "6 bytes loaded");
}

// A text of more bytes than the byte array holds (a firmware update of 257
// messages, 133,897 bytes) is not sent at all, not its first 131,072 bytes:
// a device must never get a dump cut short. The port's next bytes are those
// of the send after it.
TEST_F(ByteloomJackTest, TextsOfMoreBytesThanTheByteArrayAreNotSentCut) {
  TestPort mine("mine");
  Instance& b = add("b");
  openWindow(b);
  const int at = position(listTextNow(b, kMidiOutPort), "mine:in");
  ASSERT_GE(at, 0);
  choose(b, kMidiOutPort, at);
  std::string firmware;
  for (int m = 0; m < 257; ++m)
    firmware += "\xF0" + std::string(519, static_cast<char>(m % 128)) + "\xF7";
  ASSERT_EQ(firmware.size(), 133897u);
  writeBytes(path("firmware.syx"), firmware);
  setFile(b, "firmware.syx");
  reload(b);
  ASSERT_EQ(status(b), "133897 bytes loaded");
  choose(b, kSend, 1);
  EXPECT_EQ(status(b), "133897 bytes not sent: at most 131072 bytes can be sent");

  writeBytes(path("inquiry.syx"), kInquiry);
  setFile(b, "inquiry.syx");
  reload(b);
  choose(b, kSend, 0);
  choose(b, kSend, 1);
  EXPECT_EQ(status(b), "6 bytes sent");
  EXPECT_EQ(mine.waitForBytes(kInquiry.size(), kArrivalLimit),
            Bytes(kInquiry.begin(), kInquiry.end()))
      << "waited " << kArrivalLimit.count() << " s for the " << kInquiry.size()
      << " bytes sent to mine:in";
}

}  // namespace
}  // namespace byteloom_test
