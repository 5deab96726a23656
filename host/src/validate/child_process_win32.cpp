// Child processes on Windows: CreateProcess with both output streams in one
// inheritable temporary file, WaitForSingleObject with the time limit,
// TerminateProcess after it.
#include <fstream>
#include <sstream>

#include "child_process.h"
#include "platform/win32.h"

namespace plughost::validate {

namespace {

// One argument quoted for the command line as the C runtime splits it:
// backslashes double only before a quote.
std::string quoted(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"')
      out.append(backslashes * 2 + 1, '\\');
    else
      out.append(backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  return out + "\"";
}

}  // namespace

std::string own_executable() {
  char buffer[MAX_PATH * 4] = {};
  const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return std::string(buffer, n);
}

ChildResult run_child(const std::string& program, const std::vector<std::string>& args,
                      double timeout_seconds, const OutputSink& on_output) {
  ChildResult result;
  char folder[MAX_PATH + 1] = {};
  char path[MAX_PATH + 1] = {};
  if (!GetTempPathA(sizeof folder, folder) || !GetTempFileNameA(folder, "plv", 0, path)) {
    result.code = GetLastError();
    return result;
  }
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    result.code = GetLastError();
    DeleteFileA(path);
    return result;
  }

  std::string command = quoted(program);
  for (const std::string& a : args) command += " " + quoted(a);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = file;
  startup.hStdError = file;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, TRUE,
                                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  CloseHandle(file);
  if (!started) {
    result.code = GetLastError();
    DeleteFileA(path);
    return result;
  }
  CloseHandle(process.hThread);

  // Waited for in slices, so that what the child writes is passed on while
  // it runs; the time limit is the sum of the slices.
  const double ms = timeout_seconds * 1000.0;
  const ULONGLONG limit = ms >= 1e15 ? ULONGLONG(1e15) : ULONGLONG(ms);
  const ULONGLONG start = GetTickCount64();
  GrowingFile written(path);
  DWORD waited = WAIT_TIMEOUT;
  for (;;) {
    const ULONGLONG spent = GetTickCount64() - start;
    if (spent >= limit) break;
    const ULONGLONG left = limit - spent;
    const DWORD slice = on_output ? DWORD(left < 100 ? left : 100)
                                  : DWORD(left < INFINITE - 1 ? left : INFINITE - 1);
    waited = WaitForSingleObject(process.hProcess, slice);
    if (waited != WAIT_TIMEOUT) break;
    if (on_output) {
      const std::string more = written.more();
      if (!more.empty()) on_output(more);
    }
  }
  if (waited == WAIT_TIMEOUT) {
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, INFINITE);
    result.ending = ChildResult::kTimedOut;
  } else {
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    result.code = code;
    // NTSTATUS error codes (top bits 11) are what an unhandled exception
    // leaves; the child's own filter exits with the exception's code too.
    result.ending = (code & 0xC0000000u) == 0xC0000000u || code == 0x80000003u
                        ? ChildResult::kException
                        : ChildResult::kExited;
  }
  CloseHandle(process.hProcess);

  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  in.close();
  result.output = text.str();
  DeleteFileA(path);
  return result;
}

}  // namespace plughost::validate
