// The Windows MIDI service (DirectMusic) as sysex_tool uses it, against the
// recording DirectMusic (recorder_fixture.h): receiving from an input port,
// and sysex_tool's "ports", "send", "receive" (also with a dump request) and
// "info" run as a user runs them.
#include <thread>

#include "recorder_fixture.h"
#include "sysex/MidiPorts.h"

namespace byteloom_test {
namespace {

using namespace std::string_literals;

// What the input port receives: two System Exclusive messages, a note, and
// timing clock and active sensing between them.
const std::string kReceived =
    "receive F0 43 10 4C 00 00 7E 00 F7\nreceive F8\nreceive 90 40 7F\nreceive FE\n"
    "receive F0 7E 7F 06 01 F7\n";
const std::string kReceivedHex =
    "F043104C00007E00F7"
    "90407F"
    "F07E7F0601F7";

using MidiServiceTest = RecorderTest;

TEST_F(MidiServiceTest, InputHandsOverEveryEventButClockAndSensingOnce) {
  auto midi = withRecorder(kThreePorts + kReceived, [] { return byteloom::createMidiService(); });
  ASSERT_TRUE(midi);
  EXPECT_EQ(midi->inputs().names, std::vector<std::string>{"Keys In"});
  EXPECT_EQ(midi->outputs().names, (std::vector<std::string>{"Synth A", "Port B, rear"}));
  EXPECT_EQ(midi->openInput(1), nullptr);
  EXPECT_EQ(midi->openInput(-1), nullptr);
  newCalls();
  auto in = midi->openInput(0);
  ASSERT_TRUE(in);
  const Calls opened = newCalls();
  const Calls created = only(opened, "CreatePort");
  ASSERT_EQ(created.size(), 1u);
  EXPECT_EQ(created[0]["guid"], kGuidIn);
  EXPECT_EQ(created[0]["valid"] + " " + created[0]["groups"], "0x2 1");
  const std::string port = created[0]["port"];
  Bytes got;
  in->take(got);
  EXPECT_EQ(hexOf(got), kReceivedHex);
  in->take(got);  // delivered once
  EXPECT_EQ(hexOf(got), kReceivedHex);
  in.reset();
  EXPECT_EQ(lifeOf(calls(), port), "Activate1 Activate0 Release ");
}

TEST_F(MidiServiceTest, InputWhosePortOrBufferCannotBeMadeOpensNone) {
  const std::string script =
      std::string("port in {0A1B2C3D-0005-4000-8000-00000000000E} 0 1 0 0 80004005 - Dead In\n") +
      kPortIn + "fail CreateMusicBuffer 1 8007000E\n";
  auto midi = withRecorder(script, [] { return byteloom::createMidiService(); });
  ASSERT_TRUE(midi);
  EXPECT_EQ(midi->openInput(0), nullptr);  // CreatePort fails
  EXPECT_EQ(midi->openInput(1), nullptr);  // the port opens, its buffer cannot be made
  // The fixture checks that the port opened for nothing was released.
}

// Descriptions the C locale cannot convert (an en dash, Japanese, a name
// longer than the 127 bytes kept) still give readable entries: characters
// the ANSI code page lacks become '?' or a close equivalent, one byte each in
// a single-byte code page, and the rest of the name stands.
TEST_F(MidiServiceTest, DescriptionsBeyondTheCLocaleKeepReadableNames) {
  const std::string longName = "Studio " + std::string(140, 'x');
  const std::string script =
      std::string(
          "port out {0A1B2C3D-0006-4000-8000-00000000000F} 1 1 0 0 0 - Synth \xe2\x80\x93 Bank\n") +
      "port out {0A1B2C3D-0007-4000-8000-000000000010} 1 1 0 0 0 - "
      "\xe3\x82\xb7\xe3\x83\xb3\xe3\x82\xbb Out\n" +
      "port in {0A1B2C3D-0008-4000-8000-000000000011} 0 1 0 0 0 - " + longName + "\xe2\x80\x93\n";
  auto midi = withRecorder(script, [] { return byteloom::createMidiService(); });
  ASSERT_TRUE(midi);
  const std::vector<std::string>& outs = midi->outputs().names;
  ASSERT_EQ(outs.size(), 2u);
  const bool singleByte = GetACP() != 932 && GetACP() != 936 && GetACP() != 949 && GetACP() != 950;
  EXPECT_EQ(outs[0].substr(0, 6), "Synth ") << outs[0];
  EXPECT_EQ(outs[0].substr(outs[0].size() - 5), " Bank") << outs[0];
  if (singleByte) {
    EXPECT_EQ(outs[0].size(), 12u) << outs[0];
    EXPECT_EQ(outs[1], "??? Out");
  }
  EXPECT_GT(outs[1].size(), 4u);
  EXPECT_EQ(outs[1].substr(outs[1].size() - 4), " Out") << outs[1];
  ASSERT_EQ(midi->inputs().names.size(), 1u);
  EXPECT_EQ(midi->inputs().names[0], longName.substr(0, 127));
  EXPECT_EQ(midi->outputs().listText(), outs[0] + "," + outs[1]);
}

// A caller whose thread is in COM's multithreaded apartment: the service's
// own initialisation is refused there, so it must not uninitialise COM when
// it goes, which would tear down the caller's COM under it.
TEST_F(MidiServiceTest, ServiceOnAMultithreadedThreadLeavesTheCallersComInitialised) {
  writeBytes(path("script.txt"), kThreePorts);
  HRESULT afterwards = E_FAIL;
  size_t outputs = 0;
  std::thread caller([&] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    ULONG_PTR cookie = 0;
    const bool active = ActivateActCtx(recorderContext(), &cookie);
    outputs = byteloom::createMidiService()->outputs().names.size();
    if (active) DeactivateActCtx(0, cookie);
    afterwards = CoInitializeEx(nullptr, COINIT_MULTITHREADED);  // S_FALSE: still initialised
    if (SUCCEEDED(afterwards)) CoUninitialize();
    CoUninitialize();
  });
  caller.join();
  EXPECT_EQ(outputs, 2u);
  EXPECT_EQ(afterwards, S_FALSE);
}

// sysex_tool copied into the test's folder beside the recorder, with the
// recorder's manifest as its own: DirectMusic in that process is the
// recorder, in every other program the system's.
class SysexToolTest : public RecorderTest {
 protected:
  void SetUp() override {
    RecorderTest::SetUp();
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    const fs::path bin = fs::path(exe).parent_path();
    fs::copy_file(bin / "sysex_tool.exe", path("sysex_tool.exe"));
    fs::copy_file(bin / "recording_dmusic.dll", path("recording_dmusic.dll"));
    fs::copy_file(bin / "recording_dmusic.manifest", path("sysex_tool.exe.manifest"));
  }

  // Runs sysex_tool with `args` in the test's folder while the recorder
  // plays `script`; its exit status, with its standard output in `out`
  // (line ends as "\n").
  int run(const std::string& script, const std::string& args, std::string& out) {
    writeBytes(path("script.txt"), script);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE stdoutFile = CreateFileA(path("stdout.txt").string().c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    HANDLE stderrFile = CreateFileA(path("stderr.txt").string().c_str(), GENERIC_WRITE,
                                    FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdOutput = stdoutFile;
    start.hStdError = stderrFile;
    std::string command = "\"" + path("sysex_tool.exe").string() + "\" " + args;
    PROCESS_INFORMATION process{};
    const bool started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        dir_.string().c_str(), &start, &process);
    DWORD code = static_cast<DWORD>(-1);
    if (started) {
      if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "sysex_tool did not end within a minute";
        TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, INFINITE);
      }
      GetExitCodeProcess(process.hProcess, &code);
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
    }
    CloseHandle(stdoutFile);
    CloseHandle(stderrFile);
    EXPECT_TRUE(started) << command;
    out.clear();
    for (char c : readText(path("stdout.txt")))
      if (c != '\r') out += c;
    if (code != 0) std::cerr << "sysex_tool said: " << readText(path("stderr.txt")) << "\n";
    return static_cast<int>(code);
  }
};

TEST_F(SysexToolTest, PortsListsTheRecordersPortsByDirection) {
  std::string out;
  EXPECT_EQ(run(kThreePorts, "ports", out), 0);
  EXPECT_EQ(out, "Inputs:\n  Keys In\nOutputs:\n  Synth A\n  Port B, rear\n");
}

TEST_F(SysexToolTest, ReceiveWritesWhatTheInputPortReceived) {
  std::string out;
  EXPECT_EQ(run(kThreePorts + kReceived, "receive --port Keys --out got.syx --timeout 0.3", out),
            0);
  EXPECT_EQ(out, "18 bytes received\n");
  EXPECT_EQ(hexOf(readBytes(path("got.syx"))), kReceivedHex);
}

TEST_F(SysexToolTest, SendHandsEachMessageWholeToTheNamedOutput) {
  writeBytes(path("two.syx"), "\xF0\x01\xF7\xF0\x02\x02\xF7");
  std::string out;
  EXPECT_EQ(run(kThreePorts, "send two.syx --port \"Port B\"", out), 0);
  EXPECT_EQ(out.rfind("7 bytes sent in 2 messages, ", 0), 0u) << out;
  const Calls log = calls();
  const Calls created = only(log, "CreatePort");
  ASSERT_EQ(created.size(), 1u);
  EXPECT_EQ(created[0]["guid"], kGuidB);
  const Calls played = only(log, "PlayBuffer");
  ASSERT_EQ(played.size(), 2u);
  const std::string time = only(log, "GetTime").at(0)["time"];
  EXPECT_EQ(played[0].events, std::vector<std::string>{time + ":0:F001F7"});
  EXPECT_EQ(played[1].events, std::vector<std::string>{time + ":0:F00202F7"});
  EXPECT_GE(played[1].us - played[0].us, 60000);
}

// A device that answers a dump request with three messages, on an input
// and an output port of one name (as DirectMusic lists a device's two
// ports). The recorder hands the answer to the input port only when an
// output played the request while an input port was active.
constexpr char kGuidDeviceIn[] = "{0A1B2C3D-0009-4000-8000-000000000012}";
constexpr char kGuidDeviceOut[] = "{0A1B2C3D-000A-4000-8000-000000000013}";
const std::string kDevice = std::string("port in ") + kGuidDeviceIn + " 0 1 0 0 0 - UM-ONE\n" +
                            "port out " + kGuidDeviceOut + " 16 1 0 0 0 - UM-ONE\n";
const std::string kAnswer =
    "answer F0 41 10 42 12 40 00 7F 00 41 F7\n"
    "answer F0 41 10 42 12 40 00 04 64 58 F7\n"
    "answer F0 41 10 42 12 40 00 05 40 7B F7\n";
const std::string kAnswerHex =
    "F04110421240007F0041F7"
    "F0411042124000046458F7"
    "F041104212400005407BF7";
const std::string kRequest = "\xF0\x41\x10\x42\x11\x40\x00\x00\x00\x00\x01\x3F\xF7"s;

// The recorder's name of the port made for `guid` ("port5"), or empty.
std::string portOf(const Calls& log, const std::string& guid) {
  for (const Call& c : log)
    if (c.method == "CreatePort" && c["guid"] == guid) return c["port"];
  return {};
}

TEST_F(SysexToolTest, ReceiveSendsTheRequestOnceItsInputListensAndSavesTheAnswer) {
  writeBytes(path("request.syx"), kRequest);
  std::string out;
  EXPECT_EQ(
      run(kThreePorts + kDevice + kAnswer,
          "receive --port UM-ONE --request request.syx --out got.syx --wait 5 --silence 0.3", out),
      0);
  EXPECT_EQ(out, "33 bytes received\n");
  EXPECT_EQ(hexOf(readBytes(path("got.syx"))), kAnswerHex);
  const Calls log = calls();
  // The output of the input's name played the request, once, after the
  // input port was activated.
  const std::string inPort = portOf(log, kGuidDeviceIn), outPort = portOf(log, kGuidDeviceOut);
  ASSERT_FALSE(inPort.empty());
  ASSERT_FALSE(outPort.empty());
  // Positions in the log, which is written in the order of the calls.
  long long activated = -1, played = -1;
  std::string answer;
  for (size_t k = 0; k < log.size(); ++k) {
    const Call& c = log[k];
    if (c.object == inPort && c.method == "Activate" && c["on"] == "1" && activated < 0)
      activated = static_cast<long long>(k);
    if (c.object == outPort && c.method == "PlayBuffer") {
      EXPECT_EQ(played, -1) << "the request went out twice";
      played = static_cast<long long>(k);
      answer = c["answer"];
      EXPECT_EQ(c.events.size(), 1u);
      if (!c.events.empty()) {
        EXPECT_EQ(c.events[0].substr(c.events[0].rfind(':') + 1),
                  hexOf(Bytes(kRequest.begin(), kRequest.end())));
      }
    }
  }
  EXPECT_GE(activated, 0);
  EXPECT_GT(played, activated);
  EXPECT_EQ(answer, "heard");
}

TEST_F(SysexToolTest, ReceiveWithExpectKeepsThatManyMessagesAndToNamesTheOutput) {
  writeBytes(path("request.syx"), kRequest);
  std::string out;
  // Only the count can end this recording: the silence would take an hour.
  EXPECT_EQ(run(kThreePorts + kDevice + kAnswer,
                "receive --port UM-ONE --request request.syx --to \"port b\" --out two.syx "
                "--expect 2 --silence 3600 --wait 5",
                out),
            0);
  EXPECT_EQ(out, "22 bytes received\n");
  EXPECT_EQ(hexOf(readBytes(path("two.syx"))), kAnswerHex.substr(0, 44));
  const Calls played = only(calls(), "PlayBuffer");
  ASSERT_EQ(played.size(), 1u);
  EXPECT_EQ(played[0].object, portOf(calls(), kGuidB));
  // An input without an output of its name, and no --to: nothing is sent.
  EXPECT_EQ(
      run(kThreePorts + kAnswer, "receive --port Keys --request request.syx --out x.syx", out), 1);
  EXPECT_TRUE(only(calls(), "PlayBuffer").size() == 1u);
  EXPECT_FALSE(fs::exists(path("x.syx")));
}

TEST_F(SysexToolTest, InfoListsTheMessagesOfAFileWithTheirMakers) {
  writeBytes(path("bank.syx"), "\xC0\x05"s + "\xF0\x41\x10\x42\x12\x40\x00\x7F\x00\x41\xF7"s +
                                   "\xF0\x7E\x7F\x06\x01\xF7"s + "\xF0\x43\x00"s);
  std::string out;
  EXPECT_EQ(run(kThreePorts, "info bank.syx", out), 0);
  EXPECT_NE(out.find("Roland (41)"), std::string::npos) << out;
  EXPECT_NE(out.find("checksum good"), std::string::npos) << out;
  EXPECT_NE(out.find("identity request"), std::string::npos) << out;
  EXPECT_NE(out.find("UNTERMINATED"), std::string::npos) << out;
  EXPECT_NE(out.find("3 messages (20 bytes); makers: Roland (1), universal non-real-time (1), "
                     "Yamaha (1); 2 problems: 2 bytes outside messages in 1 run, the first at "
                     "offset 0, 1 unterminated message\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(run(kThreePorts, "info bank.syx --json", out), 0);
  EXPECT_EQ(out.front(), '{');
  EXPECT_NE(out.find("\"wrong_checksums\": 0"), std::string::npos) << out;
}

}  // namespace
}  // namespace byteloom_test
