#include "sysex/ByteloomFiles.h"

#include <algorithm>

#include "platform/win32.h"

namespace byteloom {

ReadResult readWholeFile(const std::string& path, std::uint32_t maxSize,
                         std::vector<std::uint8_t>& contents, std::uint32_t& size) {
  contents.clear();
  size = 0;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ReadResult::kMissing;
  DWORD high = 0;
  SetLastError(ERROR_SUCCESS);  // a size of 0xFFFFFFFF is told from a failure by it
  const DWORD low = GetFileSize(file, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) {
    CloseHandle(file);
    return ReadResult::kMissing;
  }
  size = high ? UINT32_MAX : low;
  if (size == 0) {
    CloseHandle(file);
    return ReadResult::kEmpty;
  }
  if (size > maxSize) {
    CloseHandle(file);
    return ReadResult::kTooLarge;
  }
  contents.resize(size);
  DWORD read = 0;
  const BOOL ok = ReadFile(file, contents.data(), size, &read, nullptr);
  CloseHandle(file);
  if (!ok) {
    contents.clear();
    return ReadResult::kMissing;
  }
  contents.resize(read);  // a file that shrank meanwhile
  return contents.empty() ? ReadResult::kEmpty : ReadResult::kRead;
}

std::string temporaryPathBeside(const std::string& path) {
  const size_t separator = path.find_last_of("/\\");
  const size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
  const std::string folder = path.substr(0, nameStart);
  const std::string name = path.substr(nameStart);
  static constexpr char kSuffix[] = ".saving";
  constexpr size_t kSuffixLength = sizeof kSuffix - 1;
  // Bytes the temporary's file name may take: within the longest file name
  // and, with its folder, within the longest path.
  const size_t room =
      folder.size() < kMaxPathLength ? std::min(kMaxNameLength, kMaxPathLength - folder.size()) : 0;
  if (name.size() + kSuffixLength <= room) return path + kSuffix;
  if (room > kSuffixLength) return folder + name.substr(0, room - kSuffixLength) + kSuffix;
  // No room for the suffix: a name as long as the target's, its last
  // character changed, so that it still differs from the target.
  std::string other = name.empty() ? std::string("~") : name;
  other.back() = other.back() == '~' ? '_' : '~';
  return folder + other;
}

WriteResult writeFileSafely(const std::string& path, const void* data, std::uint32_t size) {
  const std::string beside = temporaryPathBeside(path);
  HANDLE file = CreateFileA(beside.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return WriteResult::kCannotCreate;
  DWORD written = 0;
  const bool wrote =
      size == 0 || (WriteFile(file, data, size, &written, nullptr) && written == size);
  // On the disk before the rename: otherwise a power loss soon after could
  // leave the target replaced by an empty or partial file.
  const bool flushed = wrote && FlushFileBuffers(file) != FALSE;
  const bool closed = CloseHandle(file) != FALSE;
  if (flushed && closed &&
      MoveFileExA(beside.c_str(), path.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return WriteResult::kWritten;
  }
  DeleteFileA(beside.c_str());
  return WriteResult::kCannotWrite;
}

std::string withSaveExtension(const std::string& path, const char* extension) {
  const size_t separator = path.find_last_of("/\\");
  const size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || dot < nameStart) return path + extension;
  if (path.compare(dot, std::string::npos, extension) == 0) return path;
  return path.substr(0, dot) + extension;
}

}  // namespace byteloom
