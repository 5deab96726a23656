// Byteloom sending to a real MIDI port. jack_ports_check.py starts its own
// JACK server and an independent recorder on it, names the recorder's port
// in BYTELOOM_JACK_PORT and the files to send in BYTELOOM_JACK_FILES (one per
// line), runs these cases, and then compares what the recorder received.
#include <cstdlib>
#include <sstream>

#include "byteloom_fixture.h"

namespace byteloom_test {
namespace {

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, separator);)
    if (!part.empty()) parts.push_back(part);
  return parts;
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

}  // namespace
}  // namespace byteloom_test
