// File reading and writing for Byteloom's processing object, through the
// platform's file calls (CreateFileA, ReadFile, WriteFile, GetFileSize), and
// the file-name rule of its saves. Plain functions; each call opens and
// closes its own handles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace byteloom {

enum class ReadResult {
  kRead,      // `contents` holds the whole file
  kMissing,   // the file cannot be opened
  kEmpty,     // the file has no bytes
  kTooLarge,  // more than `maxSize` bytes: not read; `size` tells how many
};

// Reads the whole file at `path` (opened for reading, no sharing) into
// `contents`. `size` receives the file's size (saturated at UINT32_MAX) when
// it could be opened.
ReadResult readWholeFile(const std::string& path, std::uint32_t maxSize,
                         std::vector<std::uint8_t>& contents, std::uint32_t& size);

enum class WriteResult {
  kWritten,       // `path` now holds exactly the given bytes
  kCannotCreate,  // the new file beside `path` could not be created
  kCannotWrite,   // writing or replacing failed
};

// The longest path the platform's file calls take, in bytes without the
// terminating zero (MAX_PATH 260 with it), and the longest file name.
inline constexpr std::size_t kMaxPathLength = 259;
inline constexpr std::size_t kMaxNameLength = 255;

// The temporary file a save of `path` writes first: in the same folder (so
// that the rename is one step), named `path`'s file name with ".saving"
// appended, its name cut as needed to stay within kMaxNameLength and, with
// the folder, within kMaxPathLength. For a `path` within those limits the
// result is too, and differs from `path`.
std::string temporaryPathBeside(const std::string& path);

// Writes `size` bytes to `path` without ever leaving it half written: the
// bytes go to the temporary file beside it (temporaryPathBeside), are
// flushed to the disk, and the temporary then replaces `path` in one step.
// On failure (creating, writing, flushing, closing or renaming) the
// temporary is removed and whatever `path` held before is left as it was.
WriteResult writeFileSafely(const std::string& path, const void* data, std::uint32_t size);

// The path a save writes to: `path` whose extension (the text from the last
// "." of the file name, after the last "/" or "\") is `extension` exactly
// (case and all); otherwise that extension replaced by it, or appended when
// the file name has no ".".
std::string withSaveExtension(const std::string& path, const char* extension);

}  // namespace byteloom
