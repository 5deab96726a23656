// The Windows MIDI service (DirectMusic) as sysex_tool uses it, against the
// recording DirectMusic (recorder_fixture.h): receiving from an input port,
// and sysex_tool's "ports", "send" and "receive" run as a user runs them.
#include <thread>

#include "recorder_fixture.h"
#include "sysex/MidiPorts.h"

namespace byteloom_test {
namespace {

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

}  // namespace
}  // namespace byteloom_test
