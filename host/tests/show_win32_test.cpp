// plughost show on Windows as its user meets it: the program is started on
// a desktop of the test's own, its frame and panel windows found by class
// and title, the panel driven with the messages a mouse produces, Byteloom's
// EDIT control with the characters typing produces, pins set on its
// standard input; closing the frame ends it with status 0, and the
// recording runs and paints as the session ended.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "child_process.h"
#include "platform/canvas.h"

namespace {

namespace fs = std::filesystem;
constexpr DWORD kPatience = 10000;  // ms for anything to happen
constexpr double kPatienceSeconds = kPatience / 1000.0;
constexpr char kDesktop[] = "PlughostShowTest";

const std::string kKurvo =
    R"x({"name": "curve", "library": "Kurvo", "panel": [400, 200],
         "pins": {"nodes": "(0.0,5.0)(5.0,8.0)(10.0,5.0)"}})x";

class ShowExe : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Lives until the process ends; the thread keeps using it.
    HDESK desktop = CreateDesktopA(kDesktop, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    ASSERT_NE(desktop, nullptr) << "CreateDesktop: error " << GetLastError();
    ASSERT_TRUE(SetThreadDesktop(desktop)) << "SetThreadDesktop: error " << GetLastError();
  }

  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("plughost_show_" + std::to_string(GetCurrentProcessId()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(folder_);
  }

  void TearDown() override {
    if (process_.hProcess) {
      if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.hProcess, 1);
      }
      CloseHandle(process_.hThread);
      CloseHandle(process_.hProcess);
    }
    if (input_) CloseHandle(input_);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  std::string write(const std::string& name, const std::string& text) {
    const std::string path = (folder_ / name).string();
    std::ofstream(path) << text;
    return path;
  }

  // Starts plughost show on the test's desktop, its standard input a pipe
  // (input_), its output into a file.
  void Start(const std::string& patch, const std::string& record) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr;
    ASSERT_TRUE(CreatePipe(&read, &input_, &inherit, 0));
    SetHandleInformation(input_, HANDLE_FLAG_INHERIT, 0);
    const std::string log = (folder_ / "show.log").string();
    HANDLE output = CreateFileA(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(output, INVALID_HANDLE_VALUE);
    std::string desktop = kDesktop;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.lpDesktop = desktop.data();
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = read;
    startup.hStdOutput = output;
    startup.hStdError = output;
    std::string command = "\"" PLUGHOST "\" show \"" + patch + "\" --record \"" + record + "\"";
    const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process_);
    CloseHandle(read);
    CloseHandle(output);
    ASSERT_TRUE(started) << "cannot start plughost: error " << GetLastError();
  }

  // The frame window titled `title` of the started process, once shown.
  HWND Frame(const char* title) const {
    for (DWORD waited = 0; waited < kPatience; waited += 50) {
      HWND w = nullptr;
      while ((w = FindWindowExA(nullptr, w, "plughost_show_frame", title))) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid == process_.dwProcessId && IsWindowVisible(w)) return w;
      }
      Sleep(50);  // between two looks; finding the window decides
    }
    return nullptr;
  }

  void Send(const std::string& line) {
    const std::string text = line + "\n";
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(input_, text.data(), DWORD(text.size()), &written, nullptr));
  }

  // Closes the frame as its close box does; the program's exit status.
  DWORD Close(HWND frame) {
    PostMessageA(frame, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(process_.hProcess, kPatience), WAIT_OBJECT_0)
        << "show did not end within " << kPatience << " ms of its window closing";
    DWORD status = 99;
    GetExitCodeProcess(process_.hProcess, &status);
    return status;
  }

  std::string Plughost(const std::vector<std::string>& args) {
    const auto result = plughost::validate::run_child(PLUGHOST, args, kPatienceSeconds);
    EXPECT_TRUE(result.clean()) << result.describe(kPatienceSeconds) << "\n" << result.output;
    return result.output;
  }

  fs::path folder_;
  PROCESS_INFORMATION process_{};
  HANDLE input_ = nullptr;
};

TEST_F(ShowExe, KurvoDragMovesTheNodeAndTheRecordingPaintsAlike) {
  const std::string patch = write(
      "kurvo.json", R"({"length": 64, "gui_notify": "every_write", "modules": [)" + kKurvo + "]}");
  const std::string record = (folder_ / "recorded.json").string();
  Start(patch, record);
  HWND frame = Frame("curve");
  ASSERT_NE(frame, nullptr) << "no window \"curve\" within " << kPatience << " ms";
  HWND panel = FindWindowExA(frame, nullptr, "plughost_show_panel", nullptr);
  ASSERT_NE(panel, nullptr);
  // The drag as a mouse sends it: a move onto the node, a press, moves with
  // the button's bit, a release.
  SendMessageA(panel, WM_MOUSEMOVE, 0, MAKELPARAM(200, 40));
  SendMessageA(panel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 40));
  SendMessageA(panel, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(210, 50));
  SendMessageA(panel, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(225, 65));
  SendMessageA(panel, WM_LBUTTONUP, 0, MAKELPARAM(225, 65));
  EXPECT_EQ(Close(frame), 0u);

  EXPECT_NE(Plughost({"run", record})
                .find("curve.nodes (panel): 1 text, last "
                      "\"(0.00000,5.00000)(5.62500,6.75000)(10.00000,5.00000)\""),
            std::string::npos);
  // The same drag as gestures after a run paints what the recording paints.
  const std::string as_gestures = write(
      "gestures.json", R"({"length": 64, "gui_notify": "every_write", "modules": [)" + kKurvo +
                           R"(], "gestures": [{"module": "curve", "actions": [
        {"move": [200, 40]}, {"down": [200, 40], "flags": 1}, {"move": [210, 50], "flags": 1},
        {"move": [225, 65], "flags": 1}, {"up": [225, 65]}]}]})");
  const std::string replayed = (folder_ / "replayed.png").string();
  const std::string painted = (folder_ / "painted.png").string();
  Plughost({"paint", record, "--module", "curve", "--out", replayed});
  Plughost({"paint", as_gestures, "--module", "curve", "--out", painted});
  const auto a = platform::read_png(replayed);
  const auto b = platform::read_png(painted);
  ASSERT_TRUE(a && b);
  EXPECT_TRUE(a->pixels == b->pixels);
}

TEST_F(ShowExe, ByteloomTypingIsWhatASaveOnTheTerminalWrites) {
  const std::string patch = write(
      "byteloom.json", R"({"length": 64, "modules": [{"name": "tool", "library": "Byteloom"}]})");
  const std::string record = (folder_ / "recorded.json").string();
  const std::string saved = (folder_ / "typed.syx").string();
  Start(patch, record);
  HWND frame = Frame("tool");
  ASSERT_NE(frame, nullptr) << "no window \"tool\" within " << kPatience << " ms";
  HWND panel = FindWindowExA(frame, nullptr, "plughost_show_panel", nullptr);
  HWND edit = FindWindowExA(panel, nullptr, "Edit", nullptr);
  ASSERT_NE(edit, nullptr) << "Byteloom's edit window is no EDIT control in the panel";
  for (const char c : std::string("F0 7E 7F 06 01 F7")) SendMessageA(edit, WM_CHAR, c, 0);
  Send("tool.File = " + saved);
  Send("tool.Save as .syx = yes");
  const std::string bytes("\xF0\x7E\x7F\x06\x01\xF7", 6);
  const auto holds_bytes = [&] {
    std::ifstream in(saved, std::ios::binary);
    std::ostringstream held;
    held << in.rdbuf();
    return held.str() == bytes;
  };
  bool saved_in_time = false;
  for (DWORD waited = 0; !saved_in_time && waited < kPatience; waited += 50) {
    saved_in_time = holds_bytes();
    if (!saved_in_time) Sleep(50);  // between two looks at the file
  }
  EXPECT_TRUE(saved_in_time) << saved << " did not get the typed bytes within " << kPatience
                             << " ms";
  EXPECT_EQ(Close(frame), 0u);

  fs::remove(saved);
  Plughost({"run", record});
  EXPECT_TRUE(holds_bytes()) << "run of the recording saves no typed bytes";
}

}  // namespace
