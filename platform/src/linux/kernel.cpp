// The kernel subset of the Linux layer: named mutexes owned by threads,
// named shared memory (memfd blocks, each view its own mmap), files over
// POSIX descriptors, sleeping, and the thread's last error. Kernel handles
// come from the same never-reused counter as GDI objects and windows.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "internal.h"
#include "platform/win32.h"

namespace {

thread_local DWORD last_error = ERROR_SUCCESS;

// A named or unnamed object of the kernel namespace.
struct KernelObject {
  virtual ~KernelObject() = default;
  std::string name;  // empty for an unnamed object
  int handles = 0;   // open handles; the name is released when this reaches 0
};

struct Mutex : KernelObject {
  bool owned = false;
  std::thread::id owner;
  unsigned count = 0;      // times the owner took it
  bool abandoned = false;  // its owner ended while holding it
};

// A block of shared memory. Views hold a reference, so the memory outlives
// the handles while a view is mapped.
struct Section : KernelObject {
  ~Section() override {
    if (fd >= 0) close(fd);
  }
  int fd = -1;
  uint64_t size = 0;  // bytes
  bool writable = false;
};

// An open file. Its descriptor is closed when the last reference goes: the
// handle holds one, and every call working on the file holds one for its
// duration, so a CloseHandle on another thread cannot close the descriptor
// (and let a new open reuse its number) under a read or write in progress.
struct File : KernelObject {
  explicit File(int descriptor) : fd(descriptor) {}
  ~File() override { close(fd); }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  const int fd;
};

// An open handle: a kernel object with the rights the handle grants on it
// (used for files).
struct Entry {
  std::shared_ptr<KernelObject> object;
  bool can_read = false;
  bool can_write = false;
};

struct View {
  std::shared_ptr<Section> section;
  size_t length = 0;
};

struct Kernel {
  std::mutex lock;
  std::condition_variable released;  // a mutex was released or abandoned
  std::unordered_map<uintptr_t, Entry> handles;
  std::unordered_map<std::string, std::shared_ptr<KernelObject>> names;
  std::unordered_map<uintptr_t, View> views;  // by base address
};

// Never destroyed: threads that end during process exit still abandon their
// mutexes here.
Kernel& kernel() {
  static Kernel* instance = new Kernel;
  return *instance;
}

DWORD fail(DWORD error) {
  last_error = error;
  return error;
}

DWORD error_of_errno(int e) {
  switch (e) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case EBUSY:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    default:
      return ERROR_GEN_FAILURE;
  }
}

HANDLE add_handle(Kernel& k, Entry entry) {
  if (entry.object) ++entry.object->handles;
  const uintptr_t value = platform::detail::new_handle_value();
  k.handles.emplace(value, std::move(entry));
  return reinterpret_cast<HANDLE>(value);
}

Entry* find_handle(Kernel& k, HANDLE handle) {
  auto it = k.handles.find(reinterpret_cast<uintptr_t>(handle));
  return it == k.handles.end() ? nullptr : &it->second;
}

template <class T>
std::shared_ptr<T> object_of(Kernel& k, HANDLE handle) {
  Entry* entry = find_handle(k, handle);
  return entry ? std::dynamic_pointer_cast<T>(entry->object) : nullptr;
}

// The mutexes the calling thread owns; when the thread ends they are
// abandoned: freed, and the next wait for each reports WAIT_ABANDONED.
struct OwnedByThread {
  std::vector<std::weak_ptr<Mutex>> mutexes;
  ~OwnedByThread() {
    Kernel& k = kernel();
    std::lock_guard guard(k.lock);
    const std::thread::id self = std::this_thread::get_id();
    bool any = false;
    for (auto& weak : mutexes) {
      auto m = weak.lock();
      if (!m || !m->owned || m->owner != self) continue;
      m->owned = false;
      m->count = 0;
      m->abandoned = true;
      any = true;
    }
    if (any) k.released.notify_all();
  }
};

OwnedByThread& owned_by_this_thread() {
  thread_local OwnedByThread owned;
  return owned;
}

// Looks up `name` for an object of kind T: the object, null when the name is
// free, or sets ERROR_INVALID_HANDLE and answers `*wrong_kind` when another
// kind holds it.
template <class T>
std::shared_ptr<T> named(Kernel& k, const char* name, bool* wrong_kind) {
  *wrong_kind = false;
  if (!name || !*name) return nullptr;
  auto it = k.names.find(name);
  if (it == k.names.end()) return nullptr;
  auto object = std::dynamic_pointer_cast<T>(it->second);
  if (!object) *wrong_kind = true;
  return object;
}

// For the Create calls: true when `name` is taken already. Then `*handle`
// is a new handle to the existing object of kind T, with ERROR_ALREADY_EXISTS,
// or null with ERROR_INVALID_HANDLE when an object of another kind holds
// the name.
template <class T>
bool name_taken(Kernel& k, const char* name, HANDLE* handle) {
  bool wrong_kind = false;
  if (auto existing = named<T>(k, name, &wrong_kind)) {
    *handle = add_handle(k, Entry{existing});
    fail(ERROR_ALREADY_EXISTS);
    return true;
  }
  if (wrong_kind) {
    *handle = nullptr;
    fail(ERROR_INVALID_HANDLE);
    return true;
  }
  return false;
}

// The folder a path names its file in ("." for a bare name).
std::string folder_of(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

bool folder_exists(const std::string& path) {
  struct stat st;
  return stat(folder_of(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

DWORD path_error(const std::string& path, int e) {
  if (e == ENOENT && !folder_exists(path)) return ERROR_PATH_NOT_FOUND;
  return error_of_errno(e);
}

// Bytes of memory the system can still give the process: the memory
// available (free and reclaimable) plus free swap, capped by what the memory
// cgroup the process sees at /sys/fs/cgroup (v2 or v1) leaves.
uint64_t memory_left() {
  uint64_t available_kib = 0, swap_free_kib = 0;
  bool found = false;
  if (FILE* info = std::fopen("/proc/meminfo", "re")) {
    char line[256];
    unsigned long long value = 0;
    while (std::fgets(line, sizeof line, info)) {
      if (std::sscanf(line, "MemAvailable: %llu kB", &value) == 1) {
        available_kib = value;
        found = true;
      } else if (std::sscanf(line, "SwapFree: %llu kB", &value) == 1) {
        swap_free_kib = value;
      }
    }
    std::fclose(info);
  }
  uint64_t left = (available_kib + swap_free_kib) * 1024;
  struct sysinfo system;
  if (!found && sysinfo(&system) == 0) {
    left = (uint64_t(system.freeram) + system.bufferram + system.freeswap) * system.mem_unit;
  }
  // A number from a cgroup file; "max" (no limit) and unreadable files give
  // the largest value.
  auto read_bytes = [](const char* file) {
    uint64_t value = std::numeric_limits<uint64_t>::max();
    if (FILE* f = std::fopen(file, "re")) {
      unsigned long long number = 0;
      if (std::fscanf(f, "%llu", &number) == 1) value = number;
      std::fclose(f);
    }
    return value;
  };
  const std::pair<const char*, const char*> cgroups[] = {
      {"/sys/fs/cgroup/memory.max", "/sys/fs/cgroup/memory.current"},
      {"/sys/fs/cgroup/memory/memory.limit_in_bytes",
       "/sys/fs/cgroup/memory/memory.usage_in_bytes"},
  };
  for (const auto& [limit_file, usage_file] : cgroups) {
    const uint64_t limit = read_bytes(limit_file);
    const uint64_t usage = read_bytes(usage_file);
    if (limit == std::numeric_limits<uint64_t>::max() ||
        usage == std::numeric_limits<uint64_t>::max()) {
      continue;
    }
    left = std::min(left, limit > usage ? limit - usage : 0);
  }
  return left;
}

}  // namespace

DWORD GetLastError() {
  return last_error;
}

void SetLastError(DWORD error) {
  last_error = error;
}

BOOL CloseHandle(HANDLE handle) {
  Kernel& k = kernel();
  std::shared_ptr<KernelObject> object;  // released after the lock
  {
    std::lock_guard guard(k.lock);
    auto it = k.handles.find(reinterpret_cast<uintptr_t>(handle));
    if (it == k.handles.end()) {
      fail(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    Entry entry = std::move(it->second);
    k.handles.erase(it);
    object = std::move(entry.object);
    if (object && --object->handles == 0 && !object->name.empty()) {
      auto named_it = k.names.find(object->name);
      if (named_it != k.names.end() && named_it->second == object) k.names.erase(named_it);
    }
  }
  return TRUE;
}

// ---- Mutexes ----

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initial_owner, LPCSTR name) {
  Kernel& k = kernel();
  std::lock_guard guard(k.lock);
  HANDLE taken = nullptr;
  if (name_taken<Mutex>(k, name, &taken)) return taken;
  auto mutex = std::make_shared<Mutex>();
  if (name) mutex->name = name;
  if (initial_owner) {
    mutex->owned = true;
    mutex->owner = std::this_thread::get_id();
    mutex->count = 1;
    owned_by_this_thread().mutexes.push_back(mutex);
  }
  if (!mutex->name.empty()) k.names[mutex->name] = mutex;
  HANDLE handle = add_handle(k, Entry{mutex});
  last_error = ERROR_SUCCESS;
  return handle;
}

HANDLE OpenMutexA(DWORD, BOOL, LPCSTR name) {
  Kernel& k = kernel();
  std::lock_guard guard(k.lock);
  bool wrong_kind = false;
  auto existing = named<Mutex>(k, name, &wrong_kind);
  if (!existing) {
    fail(wrong_kind ? ERROR_INVALID_HANDLE : ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  return add_handle(k, Entry{existing});
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  Kernel& k = kernel();
  std::unique_lock guard(k.lock);
  auto mutex = object_of<Mutex>(k, handle);
  if (!mutex) {
    fail(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  const std::thread::id self = std::this_thread::get_id();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (mutex->owned && mutex->owner != self) {
    if (milliseconds == INFINITE) {
      k.released.wait(guard);
    } else if (k.released.wait_until(guard, deadline) == std::cv_status::timeout && mutex->owned &&
               mutex->owner != self) {
      return WAIT_TIMEOUT;
    }
  }
  if (!mutex->owned) {
    mutex->owned = true;
    mutex->owner = self;
    mutex->count = 0;
    owned_by_this_thread().mutexes.push_back(mutex);
  }
  ++mutex->count;
  if (mutex->abandoned) {
    mutex->abandoned = false;
    return WAIT_ABANDONED;
  }
  return WAIT_OBJECT_0;
}

BOOL ReleaseMutex(HANDLE handle) {
  Kernel& k = kernel();
  std::lock_guard guard(k.lock);
  auto mutex = object_of<Mutex>(k, handle);
  if (!mutex) {
    fail(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!mutex->owned || mutex->owner != std::this_thread::get_id()) {
    fail(ERROR_NOT_OWNER);
    return FALSE;
  }
  if (--mutex->count == 0) {
    mutex->owned = false;
    auto& owned = owned_by_this_thread().mutexes;
    for (auto it = owned.begin(); it != owned.end(); ++it) {
      if (it->lock() == mutex) {
        owned.erase(it);
        break;
      }
    }
    k.released.notify_all();
  }
  return TRUE;
}

// ---- Shared memory ----

HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES, DWORD protect, DWORD size_high,
                          DWORD size_low, LPCSTR name) {
  if (file != INVALID_HANDLE_VALUE) {
    fail(ERROR_INVALID_HANDLE);  // only blocks backed by the paging file
    return nullptr;
  }
  if (protect != PAGE_READWRITE && protect != PAGE_READONLY) {
    fail(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Kernel& k = kernel();
  {
    std::lock_guard guard(k.lock);
    HANDLE taken = nullptr;
    if (name_taken<Section>(k, name, &taken)) return taken;
  }
  const uint64_t size = (uint64_t(size_high) << 32) | size_low;
  if (size == 0) {
    fail(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // Windows charges the whole block against the commit limit here, so a
  // block the system cannot hold fails now rather than when a page of it is
  // first touched. The check against the memory left refuses what is
  // plainly too large before any page is taken; the allocation then
  // reserves every page (a memfd allocates on first touch otherwise, and a
  // page that cannot be had then is a SIGBUS or an OOM kill).
  if (size > uint64_t(std::numeric_limits<off_t>::max()) || size > memory_left()) {
    fail(ERROR_COMMITMENT_LIMIT);
    return nullptr;
  }
  auto section = std::make_shared<Section>();
  section->fd = memfd_create("platform_section", MFD_CLOEXEC);
  if (section->fd < 0) {
    fail(error_of_errno(errno));
    return nullptr;
  }
  int error;
  do {
    error = posix_fallocate(section->fd, 0, static_cast<off_t>(size));
  } while (error == EINTR);
  if (error != 0) {
    fail(error == ENOSPC || error == ENOMEM || error == EFBIG ? ERROR_COMMITMENT_LIMIT
                                                              : error_of_errno(error));
    return nullptr;
  }
  section->size = size;
  section->writable = protect == PAGE_READWRITE;
  if (name) section->name = name;

  // The memory was reserved without the lock held; another thread may have
  // created a block of this name meanwhile, and then that one is the block.
  std::lock_guard guard(k.lock);
  HANDLE taken = nullptr;
  if (name_taken<Section>(k, name, &taken)) return taken;
  if (!section->name.empty()) k.names[section->name] = section;
  HANDLE handle = add_handle(k, Entry{section});
  last_error = ERROR_SUCCESS;
  return handle;
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offset_high, DWORD offset_low,
                     SIZE_T bytes) {
  Kernel& k = kernel();
  std::lock_guard guard(k.lock);
  auto section = object_of<Section>(k, mapping);
  if (!section) {
    fail(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  const uint64_t offset = (uint64_t(offset_high) << 32) | offset_low;
  if (offset % 65536 != 0) {
    fail(ERROR_MAPPED_ALIGNMENT);
    return nullptr;
  }
  if (offset >= section->size || bytes > section->size - offset) {
    fail(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  const bool write = (access & FILE_MAP_WRITE) != 0;
  if (write && !section->writable) {
    fail(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  const size_t length = bytes ? bytes : static_cast<size_t>(section->size - offset);
  void* address = mmap(nullptr, length, write ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED,
                       section->fd, static_cast<off_t>(offset));
  if (address == MAP_FAILED) {
    fail(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  k.views.emplace(reinterpret_cast<uintptr_t>(address), View{section, length});
  return address;
}

BOOL UnmapViewOfFile(LPCVOID address) {
  Kernel& k = kernel();
  View view;
  {
    std::lock_guard guard(k.lock);
    auto it = k.views.find(reinterpret_cast<uintptr_t>(address));
    if (it == k.views.end()) {
      fail(ERROR_INVALID_ADDRESS);
      return FALSE;
    }
    view = std::move(it->second);
    k.views.erase(it);
    munmap(const_cast<void*>(address), view.length);
  }
  return TRUE;
}

// ---- Files ----

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD, HANDLE) {
  const std::string name = path ? path : "";
  if (name.empty()) {
    fail(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  // Generic rights stand for the specific ones Windows maps them to for
  // files; reading needs FILE_READ_DATA, writing FILE_WRITE_DATA or
  // FILE_APPEND_DATA. Append alone writes at the end of the file whatever
  // the position. Other rights (attributes, DELETE, ...) ask nothing of the
  // descriptor.
  DWORD rights = access & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE | GENERIC_ALL);
  if (access & GENERIC_READ) rights |= FILE_GENERIC_READ;
  if (access & GENERIC_WRITE) rights |= FILE_GENERIC_WRITE;
  if (access & GENERIC_EXECUTE) rights |= FILE_GENERIC_EXECUTE;
  if (access & GENERIC_ALL) rights |= FILE_ALL_ACCESS;
  const bool read = (rights & FILE_READ_DATA) != 0;
  const bool write_data = (rights & FILE_WRITE_DATA) != 0;
  const bool write = write_data || (rights & FILE_APPEND_DATA) != 0;
  int flags = O_CLOEXEC | (read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY);
  if (write && !write_data) flags |= O_APPEND;
  bool existed = false;
  int fd = -1;
  switch (disposition) {
    case CREATE_NEW:
      fd = open(name.c_str(), flags | O_CREAT | O_EXCL, 0666);
      break;
    case CREATE_ALWAYS:
    case OPEN_ALWAYS: {
      const int truncate = disposition == CREATE_ALWAYS ? O_TRUNC : 0;
      // First as a new file, so that an existing one is told apart. A name
      // that exists yet cannot be opened is a symbolic link to nothing:
      // opening it to create makes the file it names, as creat() and
      // Windows do. (Tried again a few times when the file is deleted
      // between the two opens.)
      for (int attempt = 0; attempt < 3 && fd < 0; ++attempt) {
        existed = false;
        fd = open(name.c_str(), flags | O_CREAT | O_EXCL, 0666);
        if (fd >= 0 || errno != EEXIST) break;
        existed = true;
        fd = open(name.c_str(), flags | truncate);
        if (fd >= 0 || errno != ENOENT) break;
        struct stat link;
        if (lstat(name.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
          existed = false;
          fd = open(name.c_str(), flags | O_CREAT | truncate, 0666);
          break;
        }
      }
      break;
    }
    case OPEN_EXISTING:
      fd = open(name.c_str(), flags);
      break;
    case TRUNCATE_EXISTING:
      if (!write_data) {
        fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
      }
      fd = open(name.c_str(), flags | O_TRUNC);
      break;
    default:
      fail(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
  }
  if (fd < 0) {
    fail(path_error(name, errno));
    return INVALID_HANDLE_VALUE;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    close(fd);
    fail(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  auto file = std::make_shared<File>(fd);
  Kernel& k = kernel();
  std::lock_guard guard(k.lock);
  HANDLE handle = add_handle(k, Entry{file, read, write});
  last_error = existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
  return handle;
}

namespace {

// The file of an open file handle with the needed right, or null with the
// last error set. The caller's reference keeps the descriptor open until
// the caller is done with it, even when the handle is closed meanwhile.
std::shared_ptr<File> open_file(HANDLE handle, bool for_read, bool for_write) {
  Kernel& k = kernel();
  std::lock_guard guard(k.lock);
  Entry* entry = find_handle(k, handle);
  auto file = entry ? std::dynamic_pointer_cast<File>(entry->object) : nullptr;
  if (!file) {
    fail(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if ((for_read && !entry->can_read) || (for_write && !entry->can_write)) {
    fail(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return file;
}

}  // namespace

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED) {
  if (read) *read = 0;
  const auto held = open_file(file, true, false);
  if (!held) return FALSE;
  const int fd = held->fd;
  DWORD done = 0;
  while (done < count) {
    const ssize_t n = ::read(fd, static_cast<char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      fail(error_of_errno(errno));
      if (read) *read = done;
      return FALSE;
    }
    if (n == 0) break;
    done += static_cast<DWORD>(n);
  }
  if (read) *read = done;
  return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED) {
  if (written) *written = 0;
  const auto held = open_file(file, false, true);
  if (!held) return FALSE;
  const int fd = held->fd;
  DWORD done = 0;
  while (done < count) {
    const ssize_t n = ::write(fd, static_cast<const char*>(buffer) + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      fail(n < 0 ? error_of_errno(errno) : ERROR_DISK_FULL);
      if (written) *written = done;
      return FALSE;
    }
    done += static_cast<DWORD>(n);
  }
  if (written) *written = done;
  return TRUE;
}

DWORD GetFileSize(HANDLE file, LPDWORD size_high) {
  const auto held = open_file(file, false, false);
  if (!held) return INVALID_FILE_SIZE;
  struct stat st;
  if (fstat(held->fd, &st) != 0) {
    fail(error_of_errno(errno));
    return INVALID_FILE_SIZE;
  }
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  if (size_high) *size_high = static_cast<DWORD>(size >> 32);
  last_error = ERROR_SUCCESS;
  return static_cast<DWORD>(size);
}

BOOL FlushFileBuffers(HANDLE file) {
  const auto held = open_file(file, false, true);
  if (!held) return FALSE;
  while (fsync(held->fd) != 0) {
    if (errno == EINTR) continue;
    fail(error_of_errno(errno));
    return FALSE;
  }
  return TRUE;
}

namespace {

// fsync, retried when a signal interrupts it; 0 or the errno value.
int sync_descriptor(int fd) {
  while (fsync(fd) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

// Writes the entries of the folder holding `path` to the disk, so that a
// name made or removed there survives a power loss. 0 or the errno value.
int sync_folder_of(const std::string& path) {
  const int fd = open(folder_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int error = sync_descriptor(fd);
  close(fd);
  return error;
}

// Writes a regular file's data to the disk; other kinds of file need
// nothing. 0 or the errno value.
int sync_file(const char* path) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return errno == ELOOP ? 0 : errno;  // ELOOP: a symbolic link
  struct stat st;
  const int error = fstat(fd, &st) != 0 ? errno : S_ISREG(st.st_mode) ? sync_descriptor(fd) : 0;
  close(fd);
  return error;
}

// Renames `from` to `to` unless `to` exists (EEXIST), in one step: a file
// made at `to` by anyone meanwhile is never overwritten. 0 or the errno value.
int rename_no_replace(const char* from, const char* to) {
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // The file system does not take the flag (or EINVAL has another cause,
  // which the steps below meet again). A new hard link fails on an existing
  // name in one step as well.
  if (link(from, to) == 0) {
    if (unlink(from) == 0) return 0;
    const int error = errno;
    unlink(to);
    return error;
  }
  if (errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK) return errno;
  // No hard links here (or `from` is a folder): check, then rename. Only
  // here can a target made between the two steps be replaced.
  struct stat st;
  if (lstat(to, &st) == 0) return EEXIST;
  return rename(from, to) == 0 ? 0 : errno;
}

// The Win32 error of a failed move, from the errno value of the rename.
DWORD move_error(const char* from, const char* to, bool replace, int e) {
  struct stat st;
  switch (e) {
    case ENOENT:
    case ENOTDIR:
      if (!folder_exists(from)) return ERROR_PATH_NOT_FOUND;
      if (lstat(from, &st) != 0) return ERROR_FILE_NOT_FOUND;
      if (!folder_exists(to)) return ERROR_PATH_NOT_FOUND;
      return e == ENOTDIR ? ERROR_ACCESS_DENIED  // a folder onto a file
                          : ERROR_FILE_NOT_FOUND;
    case EEXIST:
    case ENOTEMPTY:
      return replace ? ERROR_ACCESS_DENIED : ERROR_ALREADY_EXISTS;
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case EXDEV:
      return ERROR_NOT_SAME_DEVICE;
    default:
      return error_of_errno(e);
  }
}

// Moves a file to another file system as Windows does with
// MOVEFILE_COPY_ALLOWED: copies it beside the target under a temporary name,
// renames the copy into place (so the target is never seen half written),
// then deletes the source; a source that cannot be deleted stays and the
// move still succeeds. Folders are not copied (ERROR_NOT_SAME_DEVICE).
// ERROR_SUCCESS or the Win32 error.
DWORD copy_across(const char* from, const char* to, bool replace, bool write_through) {
  const int source = open(from, O_RDONLY | O_CLOEXEC);
  if (source < 0) return move_error(from, to, replace, errno);
  struct stat st;
  if (fstat(source, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(source);
    return ERROR_NOT_SAME_DEVICE;
  }
  const std::string target = to;
  const size_t slash = target.find_last_of('/');
  std::string temporary = folder_of(target) + "/." +
                          target.substr(slash == std::string::npos ? 0 : slash + 1) + ".XXXXXX";
  const int copy = mkostemp(temporary.data(), O_CLOEXEC);
  if (copy < 0) {
    const int error = errno;
    close(source);
    return move_error(from, to, replace, error);
  }
  int error = 0;
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(source, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n < 0) error = errno;
      break;
    }
    for (ssize_t done = 0; done < n && !error;) {
      const ssize_t w = write(copy, buffer + done, static_cast<size_t>(n - done));
      if (w < 0 && errno != EINTR) error = errno;
      if (w > 0) done += w;
    }
    if (error) break;
  }
  close(source);
  if (!error && fchmod(copy, st.st_mode & 07777) != 0) error = errno;
  if (!error && write_through) error = sync_descriptor(copy);
  close(copy);
  if (!error) {
    error = replace ? (rename(temporary.c_str(), to) == 0 ? 0 : errno)
                    : rename_no_replace(temporary.c_str(), to);
  }
  if (error) {
    unlink(temporary.c_str());
    return move_error(from, to, replace, error);
  }
  unlink(from);
  if (write_through) {
    if (const int e = sync_folder_of(to)) return error_of_errno(e);
    if (const int e = sync_folder_of(from)) return error_of_errno(e);
  }
  return ERROR_SUCCESS;
}

}  // namespace

BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) {
  if (!from || !to) {
    fail(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const bool replace = (flags & MOVEFILE_REPLACE_EXISTING) != 0;
  const bool write_through = (flags & MOVEFILE_WRITE_THROUGH) != 0;
  struct stat st;
  // rename() replaces an empty folder with a folder; Windows replaces no
  // folder. (Without replacing, the rename itself refuses any target.)
  if (replace && lstat(to, &st) == 0 && S_ISDIR(st.st_mode)) {
    fail(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  // The data goes to the disk before the new name does, so the name never
  // survives a power loss without its contents.
  if (write_through) {
    if (const int e = sync_file(from)) {
      fail(move_error(from, to, replace, e));
      return FALSE;
    }
  }
  const int error = replace ? (rename(from, to) == 0 ? 0 : errno) : rename_no_replace(from, to);
  if (error == EXDEV && (flags & MOVEFILE_COPY_ALLOWED)) {
    const DWORD result = copy_across(from, to, replace, write_through);
    if (result != ERROR_SUCCESS) {
      fail(result);
      return FALSE;
    }
    return TRUE;
  }
  if (error) {
    fail(move_error(from, to, replace, error));
    return FALSE;
  }
  if (write_through) {
    int e = sync_folder_of(to);
    if (!e && folder_of(from) != folder_of(to)) e = sync_folder_of(from);
    if (e) {
      fail(error_of_errno(e));
      return FALSE;
    }
  }
  return TRUE;
}

BOOL DeleteFileA(LPCSTR path) {
  struct stat st;
  if (!path || lstat(path, &st) != 0) {
    fail(path ? path_error(path, errno) : ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  if (S_ISDIR(st.st_mode)) {
    fail(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (unlink(path) != 0) {
    fail(error_of_errno(errno));
    return FALSE;
  }
  return TRUE;
}

// ---- Time ----

void Sleep(DWORD milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
