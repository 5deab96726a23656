// Tonus.exe as its user meets it: the program is started, its window found
// by class and caption, its controls driven with the window messages that
// clicks and keystrokes produce, and the labels read back.
#include <gtest/gtest.h>

#include <string>

#include "tonus/controls.h"
#include "tonus_window.h"

namespace {

using tonus::ControlId;
using tonus_win32::ControlItemId;

constexpr DWORD kPatience = 10000;  // ms for the program to start or end

// Tonus.exe lies beside this test program.
std::wstring TonusPath() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
  path.resize(path.find_last_of(L"\\/") + 1);
  return path + L"Tonus.exe";
}

// The test and the program it starts share a desktop of their own, created
// by this process: Wine draws a desktop's windows with the display of the
// process that opened it, and the default desktop may have been opened by a
// program without one (another test running at the same time).
constexpr wchar_t kDesktop[] = L"TonusTest";

class TonusExe : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Lives until the process ends; the thread keeps using it.
    HDESK desktop = CreateDesktopW(kDesktop, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    ASSERT_NE(desktop, nullptr) << "CreateDesktop: error " << GetLastError();
    ASSERT_TRUE(SetThreadDesktop(desktop)) << "SetThreadDesktop: error " << GetLastError();
  }

  void SetUp() override {
    const std::wstring path = TonusPath();
    std::wstring desktop = kDesktop;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.lpDesktop = desktop.data();
    ASSERT_TRUE(CreateProcessW(path.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process_))
        << "cannot start Tonus.exe: error " << GetLastError();
    WaitForInputIdle(process_.hProcess, kPatience);
    for (DWORD waited = 0; !window_ && waited < kPatience; waited += 50) {
      window_ = FindOwnWindow();
      if (!window_) Sleep(50);
    }
    ASSERT_NE(window_, nullptr) << "Tonus.exe shows no window";
  }

  void TearDown() override {
    if (!process_.hProcess) return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_.hProcess, 1);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
  }

  // The top-level "Tonus" window of the started process (not of another).
  HWND FindOwnWindow() const {
    HWND w = nullptr;
    while ((w = FindWindowExW(nullptr, w, tonus_win32::kWindowClass, L"Tonus"))) {
      DWORD pid = 0;
      GetWindowThreadProcessId(w, &pid);
      if (pid == process_.dwProcessId) return w;
    }
    return nullptr;
  }

  HWND item(ControlId id) const { return GetDlgItem(window_, ControlItemId(id)); }

  static std::wstring TextOf(HWND w) {
    wchar_t buffer[256] = {};
    SendMessageW(w, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(buffer));
    return buffer;
  }
  std::wstring text(ControlId id) const { return TextOf(item(id)); }

  // A choice in a list, as the list reports a click on an entry.
  void choose(ControlId list, int position) {
    SendMessageW(item(list), CB_SETCURSEL, position, 0);
    SendMessageW(window_, WM_COMMAND, MAKEWPARAM(ControlItemId(list), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(item(list)));
  }

  // The voltage text as a whole, replaced; the box reports the change.
  void setVoltage(const wchar_t* voltage) {
    SendMessageW(item(ControlId::txtVoltage), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(voltage));
  }

  // Waits for the program to end; its exit code, or -1 if it still runs.
  long exitCode() const {
    if (WaitForSingleObject(process_.hProcess, kPatience) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return static_cast<long>(code);
  }

  PROCESS_INFORMATION process_{};
  HWND window_ = nullptr;
};

TEST_F(TonusExe, OpensWithOctaveZeroKeyCAndEndsWhenClosed) {
  EXPECT_EQ(TextOf(window_), L"Tonus");
  EXPECT_EQ(text(ControlId::frm1), L"Key to Midi, Frequency && Volage");
  EXPECT_EQ(text(ControlId::Frame1), L"Voltage to to Frequency");
  EXPECT_EQ(text(ControlId::lblTitle2), L"Midi Value");
  EXPECT_EQ(text(ControlId::cmdExit), L"E&xit");
  EXPECT_EQ(SendMessageW(item(ControlId::cmbOctave), CB_GETCOUNT, 0, 0), 11);
  EXPECT_EQ(SendMessageW(item(ControlId::cmbKey), CB_GETCOUNT, 0, 0), 12);
  EXPECT_EQ(SendMessageW(item(ControlId::cmbOctave), CB_GETCURSEL, 0, 0), CB_ERR);
  EXPECT_EQ(SendMessageW(item(ControlId::cmbKey), CB_GETCURSEL, 0, 0), CB_ERR);

  EXPECT_EQ(text(ControlId::txtOctave), L"0");
  EXPECT_EQ(text(ControlId::txtKey), L"0");
  EXPECT_EQ(text(ControlId::txtVoltage), L"0");
  EXPECT_EQ(text(ControlId::lblMidi), L"12");
  EXPECT_EQ(text(ControlId::lblFreq), L"16.3516");
  EXPECT_EQ(text(ControlId::lblSEVolts), L"0.2500");
  EXPECT_EQ(text(ControlId::lblFrequency), L"");

  // Laid out from the control table: cmbOctave at 480 + 120 twips = 40 px.
  RECT r{};
  GetWindowRect(item(ControlId::cmbOctave), &r);
  MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&r), 2);
  EXPECT_EQ(r.left, 40);
  EXPECT_EQ(r.top, 48);

  PostMessageW(window_, WM_CLOSE, 0, 0);
  EXPECT_EQ(exitCode(), 0);
}

TEST_F(TonusExe, ChoosingNotesAndExit) {
  choose(ControlId::cmbOctave, 4);
  choose(ControlId::cmbKey, 9);
  EXPECT_EQ(text(ControlId::txtOctave), L"4");
  EXPECT_EQ(text(ControlId::txtKey), L"A");
  EXPECT_EQ(text(ControlId::lblMidi), L"69");
  EXPECT_EQ(text(ControlId::lblFreq), L"440.0000");
  EXPECT_EQ(text(ControlId::lblSEVolts), L"5.0000");

  // The down-arrow key moves the key list on by one entry.
  SendMessageW(item(ControlId::cmbKey), WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_EQ(text(ControlId::txtKey), L"A#");
  EXPECT_EQ(text(ControlId::lblMidi), L"70");

  choose(ControlId::cmbOctave, 10);
  choose(ControlId::cmbKey, 8);
  EXPECT_EQ(text(ControlId::txtOctave), L"10");
  EXPECT_EQ(text(ControlId::lblMidi), L"---");
  EXPECT_EQ(text(ControlId::lblFreq), L"26579.5006");
  EXPECT_EQ(text(ControlId::lblSEVolts), L"10.9167");
  EXPECT_EQ(text(ControlId::lblFrequency), L"");  // the voltage group is untouched

  SendMessageW(item(ControlId::cmdExit), BM_CLICK, 0, 0);
  EXPECT_EQ(exitCode(), 0);
}

TEST_F(TonusExe, TypedVoltagesAndAltX) {
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"5", L"440.0000"}, {L"4.25", L"261.6256"},     {L"-5", L"0.4297"},
      {L"", L"13.7500"},   {L"2000", L"out of range"}, {L"1e400", L"out of range"},
      {L"-19", L"0.0000"}};
  for (const auto& [voltage, frequency] : cases) {
    setVoltage(voltage);
    EXPECT_EQ(text(ControlId::lblFrequency), frequency) << voltage;
  }
  EXPECT_EQ(text(ControlId::lblMidi), L"12");  // the key group is untouched

  // Alt+X as the keyboard delivers it to the window's message queue.
  PostMessageW(window_, WM_SYSCHAR, L'x', 1 << 29);
  EXPECT_EQ(exitCode(), 0);
}

// "Tonus --help" and "--version" with the standard output redirected to a
// pipe, as a script or "> file" gives it: the text arrives there, the program
// ends with 0 and opens no window.
struct Printed {
  long exit_code = -1;  // -1: still running at the deadline, then ended
  std::string out;
};

Printed RunWithPipedOutput(const wchar_t* option) {
  Printed printed;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  // Large enough for every text the options print: the program never waits.
  if (!CreatePipe(&read_end, &write_end, &inherit, 1 << 16)) {
    ADD_FAILURE() << "CreatePipe: error " << GetLastError();
    return printed;
  }
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  std::wstring command = L"\"" + TonusPath() + L"\" " + option;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &process);
  CloseHandle(write_end);
  if (!started) {
    ADD_FAILURE() << "cannot start Tonus.exe: error " << GetLastError();
    CloseHandle(read_end);
    return printed;
  }
  if (WaitForSingleObject(process.hProcess, kPatience) == WAIT_OBJECT_0) {
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    printed.exit_code = static_cast<long>(code);
    // The program has ended and this process holds no write end: the reads
    // end at the text's end.
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(read_end, buffer, sizeof buffer, &n, nullptr) && n > 0) {
      printed.out.append(buffer, n);
    }
  } else {
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, kPatience);
  }
  CloseHandle(read_end);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return printed;
}

TEST(TonusExeOptions, HelpAndVersionPrintToTheRedirectedOutput) {
  const Printed help = RunWithPipedOutput(L"--help");
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_EQ(help.out.rfind("Usage: Tonus", 0), 0u) << help.out;
  EXPECT_NE(help.out.find("--version\r\n"), std::string::npos) << help.out;

  const Printed version = RunWithPipedOutput(L"--version");
  EXPECT_EQ(version.exit_code, 0);
  ASSERT_GT(version.out.size(), 6u) << version.out;
  EXPECT_EQ(version.out.substr(0, 6), "Tonus ");
  EXPECT_TRUE(version.out.ends_with("\r\n")) << version.out;
}

}  // namespace
