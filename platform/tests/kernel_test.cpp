// Named mutexes, named shared memory and files through platform/win32.h.
// Runs natively against the Linux layer and in the Windows build against the
// real kernel (under Wine), so both must agree.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "platform/win32.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <mutex>
#include <vector>

// Durability cannot be seen without losing power, so the Linux tests watch
// the sync calls instead: this definition takes the place of the C
// library's fsync for the layer, records each folder synced together with
// whether the watched names were in it at that moment, and then syncs.
namespace sync_watch {
struct FolderSync {
  std::string folder;
  bool target_present;
  bool source_present;
};
std::mutex lock;
std::string target, source;  // watched paths
std::vector<FolderSync> folders;
}  // namespace sync_watch

extern "C" int fsync(int fd) {
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    char folder[4096] = {};
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    if (readlink(link.c_str(), folder, sizeof folder - 1) < 0) folder[0] = 0;
    std::lock_guard guard(sync_watch::lock);
    struct stat entry;
    sync_watch::folders.push_back({folder, lstat(sync_watch::target.c_str(), &entry) == 0,
                                   lstat(sync_watch::source.c_str(), &entry) == 0});
  }
  return static_cast<int>(syscall(SYS_fsync, fd));
}
#endif

namespace {

namespace fs = std::filesystem;

// Names unique to this process and test, so that runs never meet.
std::string unique_name(const char* what) {
  static int serial = 0;
  return std::string("platform_test_") + what + "_" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000007) +
         "_" + std::to_string(++serial);
}

// How long a test waits for something another thread does, before it fails.
constexpr std::chrono::seconds kDeadline{20};

// Polls `condition` until it holds (true) or kDeadline passes (false).
bool wait_until(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + kDeadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// The result of WaitForSingleObject with a zero timeout on another thread,
// which releases what it got before it ends.
DWORD try_from_other_thread(HANDLE mutex) {
  DWORD result = 0;
  std::thread([&] {
    result = WaitForSingleObject(mutex, 0);
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) ReleaseMutex(mutex);
  }).join();
  return result;
}

TEST(KernelMutex, CreatingAnExistingNameGivesTheSameMutex) {
  const std::string name = unique_name("mutex");
  SetLastError(1234);
  HANDLE first = CreateMutexA(nullptr, FALSE, name.c_str());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  HANDLE second = CreateMutexA(nullptr, TRUE, name.c_str());  // initial owner ignored
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_NE(first, second);
  HANDLE opened = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
  ASSERT_NE(opened, nullptr);

  // Taken through one handle, it is taken through all of them.
  EXPECT_EQ(try_from_other_thread(second), WAIT_OBJECT_0);  // not owned by the creator
  ASSERT_EQ(WaitForSingleObject(opened, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(try_from_other_thread(first), WAIT_TIMEOUT);
  EXPECT_EQ(try_from_other_thread(second), WAIT_TIMEOUT);
  EXPECT_TRUE(ReleaseMutex(first));  // any handle releases it
  EXPECT_EQ(try_from_other_thread(opened), WAIT_OBJECT_0);

  // Other names are other mutexes.
  HANDLE other = CreateMutexA(nullptr, TRUE, (name + "x").c_str());
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_EQ(try_from_other_thread(first), WAIT_OBJECT_0);
  EXPECT_EQ(try_from_other_thread(other), WAIT_TIMEOUT);
  EXPECT_TRUE(ReleaseMutex(other));

  for (HANDLE h : {first, second, opened, other}) EXPECT_TRUE(CloseHandle(h));
}

TEST(KernelMutex, NameLivesOnlyWhileAHandleIsOpen) {
  const std::string name = unique_name("mutex");
  SetLastError(0);
  EXPECT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, name.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  HANDLE created = CreateMutexA(nullptr, FALSE, name.c_str());
  HANDLE opened = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
  ASSERT_NE(opened, nullptr);
  EXPECT_TRUE(CloseHandle(created));
  HANDLE again = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());  // still held by `opened`
  ASSERT_NE(again, nullptr);
  EXPECT_TRUE(CloseHandle(opened));
  EXPECT_TRUE(CloseHandle(again));
  EXPECT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, name.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  // A closed handle is no handle.
  SetLastError(0);
  EXPECT_FALSE(CloseHandle(again));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(WaitForSingleObject(again, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(KernelMutex, OwnerTakesItAgainAndMustReleaseAsOften) {
  HANDLE mutex = CreateMutexA(nullptr, TRUE, unique_name("mutex").c_str());
  ASSERT_NE(mutex, nullptr);
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);  // the owner again: no wait
  EXPECT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_EQ(try_from_other_thread(mutex), WAIT_TIMEOUT);  // still taken once
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_EQ(try_from_other_thread(mutex), WAIT_OBJECT_0);
  SetLastError(0);
  EXPECT_FALSE(ReleaseMutex(mutex));  // not the owner any more
  EXPECT_EQ(GetLastError(), ERROR_NOT_OWNER);

  // Another thread cannot release what this one holds.
  ASSERT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0);
  BOOL released = TRUE;
  DWORD error = 0;
  std::thread([&] {
    released = ReleaseMutex(mutex);
    error = GetLastError();
  }).join();
  EXPECT_FALSE(released);
  EXPECT_EQ(error, ERROR_NOT_OWNER);
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_TRUE(CloseHandle(mutex));
}

TEST(KernelMutex, WaiterGetsItWhenReleasedOrAbandoned) {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);  // unnamed
  ASSERT_NE(mutex, nullptr);
  std::atomic<bool> taken{false};
  std::atomic<bool> let_go{false};
  std::thread holder([&] {
    WaitForSingleObject(mutex, INFINITE);
    taken = true;
    while (!let_go) Sleep(1);
    ReleaseMutex(mutex);
  });
  while (!taken) Sleep(1);
  EXPECT_EQ(WaitForSingleObject(mutex, 20), WAIT_TIMEOUT);
  let_go = true;
  EXPECT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_OBJECT_0);
  holder.join();
  EXPECT_TRUE(ReleaseMutex(mutex));

  // A thread that ends holding it abandons it; the next waiter owns it.
  std::thread([&] { WaitForSingleObject(mutex, INFINITE); }).join();
  EXPECT_EQ(WaitForSingleObject(mutex, INFINITE), WAIT_ABANDONED);
  EXPECT_EQ(try_from_other_thread(mutex), WAIT_TIMEOUT);
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);  // abandoned only once
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_TRUE(CloseHandle(mutex));
}

TEST(KernelSharedMemory, NamedBlockIsSharedAndZeroedWhenNew) {
  const std::string name = unique_name("block");
  constexpr DWORD size = 655360;
  SetLastError(1234);
  HANDLE first =
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name.c_str());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  auto* a = static_cast<unsigned char*>(MapViewOfFile(first, FILE_MAP_WRITE, 0, 0, 0));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a[0], 0);
  EXPECT_EQ(a[size - 1], 0);
  std::memcpy(a + 128, "F0 01 F7", 9);
  a[size - 1] = 0x5A;

  HANDLE second =
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name.c_str());
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  auto* b = static_cast<unsigned char*>(MapViewOfFile(second, FILE_MAP_WRITE, 0, 0, 0));
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);  // a view of its own, on the same memory
  EXPECT_STREQ(reinterpret_cast<char*>(b + 128), "F0 01 F7");
  EXPECT_EQ(b[size - 1], 0x5A);
  b[0] = 'x';
  EXPECT_EQ(a[0], 'x');

  // A view keeps the memory after the handles are closed.
  EXPECT_TRUE(CloseHandle(first));
  EXPECT_TRUE(CloseHandle(second));
  EXPECT_EQ(a[0], 'x');
  EXPECT_TRUE(UnmapViewOfFile(a));
  EXPECT_TRUE(UnmapViewOfFile(b));
  SetLastError(0);
  EXPECT_FALSE(UnmapViewOfFile(b));  // no longer a view
  EXPECT_EQ(GetLastError(), ERROR_INVALID_ADDRESS);

  // With every handle and view gone the name is free: a new, empty block.
  HANDLE fresh =
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name.c_str());
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  auto* c = static_cast<unsigned char*>(MapViewOfFile(fresh, FILE_MAP_WRITE, 0, 0, 0));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c[0], 0);
  EXPECT_EQ(c[128], 0);
  EXPECT_TRUE(UnmapViewOfFile(c));
  EXPECT_TRUE(CloseHandle(fresh));
}

TEST(KernelSharedMemory, NamesAreOneNamespaceAndBadRequestsFail) {
  const std::string name = unique_name("shared_name");
  HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
  ASSERT_NE(mutex, nullptr);
  SetLastError(0);
  EXPECT_EQ(
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name.c_str()),
      nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_TRUE(CloseHandle(mutex));

  HANDLE block =
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name.c_str());
  ASSERT_NE(block, nullptr);
  SetLastError(0);
  EXPECT_EQ(OpenMutexA(SYNCHRONIZE, FALSE, name.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  SetLastError(0);
  EXPECT_EQ(CreateMutexA(nullptr, FALSE, name.c_str()), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  // Views start at multiples of 64 KiB.
  EXPECT_EQ(MapViewOfFile(block, FILE_MAP_WRITE, 0, 4096, 0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MAPPED_ALIGNMENT);
  EXPECT_EQ(WaitForSingleObject(block, 0), WAIT_FAILED);  // not a mutex
  EXPECT_TRUE(CloseHandle(block));

  EXPECT_EQ(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0, nullptr),
            nullptr);  // the paging file needs a size
  EXPECT_EQ(MapViewOfFile(block, FILE_MAP_WRITE, 0, 0, 0), nullptr);  // closed
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// The whole block is charged against the commit limit (memory and paging
// file) when it is made, so a block the machine cannot hold fails there, not
// when its pages are touched. 1 TiB is beyond any test machine; the size
// arrives as two DWORDs (0x100 * 2^32).
// Windows answers a block it cannot commit with ERROR_COMMITMENT_LIMIT on a
// 64-bit kernel and ERROR_NOT_ENOUGH_MEMORY on a 32-bit one; either is a
// refusal at creation, which is what a module relies on.
void expect_commitment_refused() {
  const DWORD error = GetLastError();
#ifdef _WIN32
  EXPECT_TRUE(error == ERROR_COMMITMENT_LIMIT || error == ERROR_NOT_ENOUGH_MEMORY) << error;
#else
  EXPECT_EQ(error, ERROR_COMMITMENT_LIMIT);
#endif
}

TEST(KernelSharedMemory, BlockLargerThanTheMachineFailsWhenCreated) {
  const std::string name = unique_name("huge_block");
  SetLastError(0);
  EXPECT_EQ(
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0x100, 0, name.c_str()),
      nullptr);
  expect_commitment_refused();
  EXPECT_EQ(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READONLY, 0xFFFFFFFFu,
                               0xFFFF0000u, nullptr),
            nullptr);
  expect_commitment_refused();

  // The failure took no name: a block that fits is new under it, and all
  // of it can be written.
  constexpr DWORD size = 4u << 20;
  HANDLE block =
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name.c_str());
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  auto* bytes = static_cast<unsigned char*>(MapViewOfFile(block, FILE_MAP_WRITE, 0, 0, 0));
  ASSERT_NE(bytes, nullptr);
  std::memset(bytes, 0xA5, size);
  EXPECT_EQ(bytes[size - 1], 0xA5);
  EXPECT_TRUE(UnmapViewOfFile(bytes));
  EXPECT_TRUE(CloseHandle(block));
}

class KernelFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / unique_name("files");
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string path(const char* name) const { return (dir_ / name).string(); }
  HANDLE create(const std::string& file, DWORD disposition, DWORD access = GENERIC_WRITE) {
    return CreateFileA(file.c_str(), access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
  }
  static bool write_all(HANDLE h, const std::string& text) {
    DWORD written = 0;
    return WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
  }
  // The whole file through the calls a loader makes, or "(missing)".
  std::string read_all(const std::string& file) {
    HANDLE h = create(file, OPEN_EXISTING, GENERIC_READ);
    if (h == INVALID_HANDLE_VALUE) return "(missing)";
    DWORD high = 1;
    const DWORD size = GetFileSize(h, &high);
    EXPECT_EQ(high, 0u);
    std::string contents(size, '\0');
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(h, contents.data(), size, &read, nullptr));
    EXPECT_EQ(read, size);
    char more;
    EXPECT_TRUE(ReadFile(h, &more, 1, &read, nullptr));  // at the end: TRUE, nothing read
    EXPECT_EQ(read, 0u);
    EXPECT_TRUE(CloseHandle(h));
    return contents;
  }

  fs::path dir_;
};

TEST_F(KernelFiles, DispositionsAndTheirErrors) {
  const std::string file = path("dump.syx");
  SetLastError(0);
  EXPECT_EQ(create(file, OPEN_EXISTING, GENERIC_READ), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(create(path("no_folder/dump.syx"), OPEN_EXISTING, GENERIC_READ), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(create(path("no_folder/dump.syx"), CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

  HANDLE h = create(file, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_TRUE(write_all(h, "F0 01 F7\r\n"));
  EXPECT_EQ(GetFileSize(h, nullptr), 10u);
  char c;
  DWORD read = 5;
  EXPECT_FALSE(ReadFile(h, &c, 1, &read, nullptr));  // opened for writing only
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(read_all(file), "F0 01 F7\r\n");

  EXPECT_EQ(create(file, CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
  h = create(file, CREATE_ALWAYS);  // empties the existing file
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(GetFileSize(h, nullptr), 0u);
  EXPECT_TRUE(write_all(h, "ab"));
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(read_all(file), "ab");
  DWORD written = 7;
  EXPECT_FALSE(WriteFile(h, "x", 1, &written, nullptr));  // closed
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(GetFileSize(h, nullptr), INVALID_FILE_SIZE);

  // A folder is not a file.
  EXPECT_EQ(create(dir_.string(), OPEN_EXISTING, GENERIC_READ), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

  h = create(path("empty.txt"), CREATE_ALWAYS);
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(read_all(path("empty.txt")), "");
}

TEST_F(KernelFiles, ReplacingAFileByRenaming) {
  const std::string target = path("dump.txt");
  const std::string fresh = path("dump.txt.new");
  HANDLE h = create(target, CREATE_ALWAYS);
  EXPECT_TRUE(write_all(h, "old"));
  EXPECT_TRUE(CloseHandle(h));
  h = create(fresh, CREATE_ALWAYS);
  EXPECT_TRUE(write_all(h, "new"));
  EXPECT_TRUE(CloseHandle(h));

  SetLastError(0);
  EXPECT_FALSE(MoveFileExA(fresh.c_str(), target.c_str(), 0));  // no replacing unless asked
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(read_all(target), "old");
  EXPECT_TRUE(MoveFileExA(fresh.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(read_all(target), "new");
  EXPECT_EQ(read_all(fresh), "(missing)");

  // A folder is never replaced by a file.
  fs::create_directory(dir_ / "folder.txt");
  h = create(fresh, CREATE_ALWAYS);
  EXPECT_TRUE(CloseHandle(h));
  const std::string folder = path("folder.txt");
  EXPECT_FALSE(MoveFileExA(fresh.c_str(), folder.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(fs::is_directory(folder));

  EXPECT_TRUE(DeleteFileA(fresh.c_str()));
  EXPECT_FALSE(DeleteFileA(fresh.c_str()));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(DeleteFileA(folder.c_str()));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

// A handle closed while another thread writes through it: each write either
// lands whole in its own file or fails with ERROR_INVALID_HANDLE, and files
// opened after the close never receive any of it.
TEST_F(KernelFiles, WritesThroughAClosedHandleNeverReachAnotherFile) {
  const std::string record(64, 'w');
  for (int round = 0; round < 20; ++round) {
    const std::string mine = path(("mine" + std::to_string(round)).c_str());
    HANDLE h = create(mine, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::atomic<int> writes{0};
    std::atomic<DWORD> error{0};
    std::thread writer([&] {
      while (write_all(h, record)) ++writes;
      error = GetLastError();
    });
    const bool started = wait_until([&] { return writes > round % 4; });
    EXPECT_TRUE(CloseHandle(h));
    // Files opened while the writer may still be inside WriteFile.
    HANDLE others[8];
    for (HANDLE& other : others) {
      other = create(path(("other" + std::to_string(round)).c_str()), OPEN_ALWAYS);
    }
    writer.join();
    ASSERT_TRUE(started) << "the writer wrote nothing within the deadline";
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_HANDLE));
    for (HANDLE other : others) EXPECT_TRUE(CloseHandle(other));
    EXPECT_EQ(read_all(path(("other" + std::to_string(round)).c_str())), "");
    const std::string written = read_all(mine);
    EXPECT_EQ(written.size() % record.size(), 0u) << "a write cut short";
    EXPECT_GE(written.size(), record.size() * writes);
  }
}

// Specific rights grant what they name, and generic ones the specific rights
// they stand for; a handle can do only what its rights allow.
TEST_F(KernelFiles, SpecificAndGenericRightsGrantWhatTheyName) {
  const std::string file = path("dump.txt");
  HANDLE h = create(file, CREATE_ALWAYS);
  EXPECT_TRUE(write_all(h, "abc"));
  EXPECT_TRUE(CloseHandle(h));
  char bytes[8] = {};
  DWORD count = 0;

  for (DWORD reading : {DWORD{FILE_READ_DATA}, DWORD{FILE_GENERIC_READ}}) {
    h = create(file, OPEN_EXISTING, reading);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << std::hex << reading;
    EXPECT_TRUE(ReadFile(h, bytes, sizeof bytes, &count, nullptr)) << std::hex << reading;
    EXPECT_EQ(std::string(bytes, count), "abc");
    SetLastError(0);
    EXPECT_FALSE(WriteFile(h, "x", 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(FlushFileBuffers(h));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(CloseHandle(h));
  }

  h = create(file, OPEN_EXISTING, FILE_WRITE_DATA);  // writes at the position
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(write_all(h, "X"));
  EXPECT_TRUE(FlushFileBuffers(h));
  SetLastError(0);
  EXPECT_FALSE(ReadFile(h, bytes, 1, &count, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(read_all(file), "Xbc");

  h = create(file, OPEN_EXISTING, FILE_APPEND_DATA);  // writes at the end
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(write_all(h, "de"));
  EXPECT_TRUE(FlushFileBuffers(h));
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(read_all(file), "Xbcde");

  h = create(file, OPEN_EXISTING, GENERIC_ALL);  // reads and writes
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(ReadFile(h, bytes, 1, &count, nullptr));
  EXPECT_EQ(std::string(bytes, count), "X");
  EXPECT_TRUE(write_all(h, "Y"));
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(read_all(file), "XYcde");

  h = create(file, OPEN_EXISTING, FILE_READ_ATTRIBUTES);  // the size, nothing else
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileSize(h, nullptr), 5u);
  EXPECT_FALSE(ReadFile(h, bytes, 1, &count, nullptr));
  EXPECT_FALSE(WriteFile(h, "x", 1, &count, nullptr));
  EXPECT_TRUE(CloseHandle(h));
}

TEST_F(KernelFiles, MoveErrorsNameTheMissingPart) {
  const std::string source = path("dump.txt.saving");
  const std::string target = path("dump.txt");
  HANDLE h = create(target, CREATE_ALWAYS);
  EXPECT_TRUE(write_all(h, "old"));
  EXPECT_TRUE(CloseHandle(h));

  // A missing source is reported as such, also when the target exists.
  SetLastError(0);
  EXPECT_FALSE(MoveFileExA(source.c_str(), target.c_str(), 0));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(MoveFileExA(source.c_str(), path("new.txt").c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(MoveFileExA(path("no_folder/a.txt").c_str(), target.c_str(), 0));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

  // A missing folder for the target is a missing path.
  h = create(source, CREATE_ALWAYS);
  EXPECT_TRUE(CloseHandle(h));
  for (DWORD flags : {DWORD{0}, DWORD{MOVEFILE_REPLACE_EXISTING}}) {
    SetLastError(0);
    EXPECT_FALSE(MoveFileExA(source.c_str(), path("no_folder/dump.txt").c_str(), flags));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND) << "flags " << flags;
  }
  EXPECT_EQ(read_all(source), "");
  EXPECT_EQ(read_all(target), "old");

  // Write-through moves like any other move.
  EXPECT_TRUE(MoveFileExA(source.c_str(), path("moved.txt").c_str(), MOVEFILE_WRITE_THROUGH));
  EXPECT_EQ(read_all(path("moved.txt")), "");
  EXPECT_EQ(read_all(source), "(missing)");
}

// Without MOVEFILE_REPLACE_EXISTING a target that another thread creates
// while the move runs is never overwritten: either the move comes first (the
// other's CREATE_NEW fails) or the creation does (the move fails).
TEST_F(KernelFiles, MoveNeverReplacesATargetMadeMeanwhile) {
  int moved_first = 0, created_first = 0;
  for (int round = 0; round < 200; ++round) {
    const std::string source = path(("source" + std::to_string(round)).c_str());
    const std::string target = path(("target" + std::to_string(round)).c_str());
    HANDLE h = create(source, CREATE_ALWAYS);
    ASSERT_TRUE(write_all(h, "moved"));
    ASSERT_TRUE(CloseHandle(h));
    std::atomic<int> ready{0};
    bool created = false;
    std::thread creator([&] {
      ++ready;
      while (ready < 2) std::this_thread::yield();
      HANDLE other = create(target, CREATE_NEW);
      created = other != INVALID_HANDLE_VALUE;
      if (created) {
        write_all(other, "created");
        CloseHandle(other);
      }
    });
    ++ready;
    while (ready < 2) std::this_thread::yield();
    const BOOL moved = MoveFileExA(source.c_str(), target.c_str(), 0);
    const DWORD error = GetLastError();
    creator.join();
    ASSERT_NE(moved != FALSE, created) << "round " << round << ": both or neither succeeded";
    if (moved) {
      ++moved_first;
      EXPECT_EQ(read_all(target), "moved");
    } else {
      ++created_first;
      EXPECT_EQ(error, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
      EXPECT_EQ(read_all(target), "created");
      EXPECT_EQ(read_all(source), "moved");
    }
  }
  RecordProperty("moved_first", moved_first);
  RecordProperty("created_first", created_first);
}

#ifndef _WIN32
// Linux only: the sync calls are watched through the fsync above.
TEST_F(KernelFiles, WriteThroughMoveSyncsTheFoldersAfterTheRename) {
  fs::create_directory(dir_ / "sub");
  const std::string source = path("sub/dump.txt.saving");
  const std::string target = path("dump.txt");
  HANDLE h = create(source, CREATE_ALWAYS);
  EXPECT_TRUE(write_all(h, "new"));
  EXPECT_TRUE(CloseHandle(h));
  {
    std::lock_guard guard(sync_watch::lock);
    sync_watch::target = target;
    sync_watch::source = source;
    sync_watch::folders.clear();
  }
  EXPECT_TRUE(MoveFileExA(source.c_str(), target.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
  std::vector<sync_watch::FolderSync> synced;
  {
    std::lock_guard guard(sync_watch::lock);
    synced.swap(sync_watch::folders);
    sync_watch::target.clear();
    sync_watch::source.clear();
  }
  const std::string folder = fs::canonical(dir_).string();
  bool target_folder = false, source_folder = false;
  for (const auto& sync : synced) {
    EXPECT_TRUE(sync.target_present && !sync.source_present) << sync.folder << " synced early";
    target_folder |= sync.folder == folder;
    source_folder |= sync.folder == folder + "/sub";
  }
  EXPECT_TRUE(target_folder) << "the target's folder was not synced";
  EXPECT_TRUE(source_folder) << "the source's folder was not synced";
  EXPECT_EQ(read_all(target), "new");
}

// Linux only: making a symbolic link on Windows needs a privilege or
// developer mode that a test machine cannot be assumed to have.
TEST_F(KernelFiles, CreatingThroughALinkToNothingCreatesItsTarget) {
  ASSERT_EQ(symlink("target.txt", path("link.txt").c_str()), 0);
  SetLastError(1234);
  HANDLE h = create(path("link.txt"), CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);  // nothing existed
  EXPECT_TRUE(write_all(h, "via link"));
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(read_all(path("target.txt")), "via link");
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.txt"));

  // Now the link leads to a file: it is emptied, and reported as existing.
  h = create(path("link.txt"), CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(GetFileSize(h, nullptr), 0u);
  EXPECT_TRUE(CloseHandle(h));

  ASSERT_EQ(symlink("kept.txt", path("other_link.txt").c_str()), 0);
  SetLastError(1234);
  h = create(path("other_link.txt"), OPEN_ALWAYS, GENERIC_READ | GENERIC_WRITE);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(read_all(path("kept.txt")), "");

  // The link's name is taken, so CREATE_NEW fails, as on any existing name.
  ASSERT_EQ(symlink("never.txt", path("third_link.txt").c_str()), 0);
  EXPECT_EQ(create(path("third_link.txt"), CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
  EXPECT_EQ(read_all(path("never.txt")), "(missing)");
}

// A folder on another file system than the temporary folder, or empty.
std::string folder_on_another_device(const fs::path& here) {
  struct stat mine;
  if (stat(here.c_str(), &mine) != 0) return "";
  for (const char* candidate : {"/dev/shm", "/run/shm", "/var/tmp", "/tmp"}) {
    struct stat st;
    if (stat(candidate, &st) == 0 && st.st_dev != mine.st_dev && access(candidate, W_OK) == 0) {
      return candidate;
    }
  }
  return "";
}

// Linux only: a second volume cannot be assumed on a Windows test machine.
TEST_F(KernelFiles, MoveToAnotherFileSystemCopiesOnlyWhenAllowed) {
  const std::string elsewhere = folder_on_another_device(dir_);
  if (elsewhere.empty()) GTEST_SKIP() << "no writable folder on a second file system";
  const fs::path remote_dir = fs::path(elsewhere) / unique_name("move");
  fs::create_directory(remote_dir);
  struct RemoveAfter {
    fs::path dir;
    ~RemoveAfter() {
      std::error_code ignored;
      fs::remove_all(dir, ignored);
    }
  } remove_after{remote_dir};
  const std::string source = path("dump.syx");
  const std::string remote = (remote_dir / "dump.syx").string();
  const std::string contents = std::string(100000, 'x') + "end";  // more than one read
  HANDLE h = create(source, CREATE_ALWAYS);
  EXPECT_TRUE(write_all(h, contents));
  EXPECT_TRUE(CloseHandle(h));

  SetLastError(0);
  EXPECT_FALSE(MoveFileExA(source.c_str(), remote.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(GetLastError(), ERROR_NOT_SAME_DEVICE);
  EXPECT_EQ(read_all(remote), "(missing)");

  EXPECT_TRUE(
      MoveFileExA(source.c_str(), remote.c_str(), MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH));
  EXPECT_TRUE(read_all(remote) == contents) << "the copy differs from the source";
  EXPECT_EQ(read_all(source), "(missing)");

  // Copying does not replace an existing file unless asked, and leaves no
  // temporary file behind.
  h = create(source, CREATE_ALWAYS);
  EXPECT_TRUE(write_all(h, "second"));
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_FALSE(MoveFileExA(source.c_str(), remote.c_str(), MOVEFILE_COPY_ALLOWED));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_TRUE(read_all(remote) == contents) << "the copy differs from the source";
  EXPECT_TRUE(MoveFileExA(source.c_str(), remote.c_str(),
                          MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(read_all(remote), "second");
  EXPECT_EQ(std::distance(fs::directory_iterator(remote_dir), fs::directory_iterator()), 1);
}

// Linux only: the read must be held inside the call while the handle is
// closed, and only a FIFO (which Windows does not have under a path) keeps
// a read waiting for data that the test hands over piece by piece.
TEST_F(KernelFiles, HandleClosedDuringAReadKeepsReadingItsOwnFile) {
  const std::string fifo = path("feed");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  HANDLE other = create(path("other.txt"), CREATE_ALWAYS);
  ASSERT_TRUE(write_all(other, "OTHER FILE"));
  ASSERT_TRUE(CloseHandle(other));
  // Read and write ends at once, so that neither open waits for the other.
  const int feeder = open(fifo.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(feeder, 0);
  HANDLE h = create(fifo, OPEN_EXISTING, GENERIC_READ);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);

  struct Outcome {
    BOOL ok = FALSE;
    DWORD read = 0;
    char bytes[32] = {};
  };
  auto outcome = std::make_shared<Outcome>();
  std::packaged_task<void()> task(
      [h, outcome] { outcome->ok = ReadFile(h, outcome->bytes, 16, &outcome->read, nullptr); });
  auto finished = task.get_future();
  std::thread reader(std::move(task));

  // The reader has taken "abc" and waits inside ReadFile for the rest.
  ASSERT_EQ(write(feeder, "abc", 3), 3);
  const bool taken = wait_until([&] {
    int pending = -1;
    return ioctl(feeder, FIONREAD, &pending) == 0 && pending == 0;
  });
  if (!taken) {
    close(feeder);  // ends the read
    reader.join();
    FAIL() << "the reader did not take the first bytes within the deadline";
  }

  EXPECT_TRUE(CloseHandle(h));
  // A file opened now would get the number of a descriptor closed above.
  other = create(path("other.txt"), OPEN_EXISTING, GENERIC_READ);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  ASSERT_EQ(write(feeder, "de", 2), 2);
  close(feeder);  // end of data: the read returns what it has

  const bool ended = finished.wait_for(kDeadline) == std::future_status::ready;
  reader.join();  // the feeder is closed, so the read cannot stay blocked
  ASSERT_TRUE(ended) << "ReadFile did not return within the deadline after the data ended";
  EXPECT_TRUE(outcome->ok);
  EXPECT_EQ(std::string(outcome->bytes, outcome->read), "abcde");
  EXPECT_TRUE(CloseHandle(other));
}
#endif

TEST(KernelTime, SleepWaitsAtLeastItsTime) {
  const auto start = std::chrono::steady_clock::now();
  Sleep(20);
  Sleep(0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(19));
}

}  // namespace
