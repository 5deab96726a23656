// Byteloom's file limits and failures through the host: files and texts too
// large for the module are refused whole with a status line naming size and
// limit, and a save that cannot be made keeps the old file and says so.
#include <algorithm>

#include "byteloom_fixture.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

namespace byteloom_test {
namespace {

// Raw bytes F0 .. F7 with `n` bytes in all.
std::string rawFile(size_t n) {
  std::string bytes(n, '\x01');
  bytes.front() = '\xF0';
  bytes.back() = '\xF7';
  return bytes;
}

TEST_F(ByteloomTest, FilesTooLargeForTheTextAreaAreRefusedNotCut) {
  Instance& b = add("b");
  openWindow(b);
  SetWindowTextA(edit(b), "F0 01 F7");

  writeBytes(path("big.syx"), rawFile(218411));  // its text would need 655233 characters
  setFile(b, "big.syx");
  reload(b);
  EXPECT_EQ(windowText(b), "F0 01 F7");
  EXPECT_EQ(status(b), "218411 bytes not loaded: a raw file may have at most 218410 bytes");

  std::string text;
  while (text.size() < 655232) text += "01 ";
  writeBytes(path("long.txt"), text + "\r\n");
  setFile(b, "long.txt");
  reload(b);
  EXPECT_EQ(windowText(b), "F0 01 F7");
  EXPECT_EQ(status(b),
            "655235 bytes not loaded: its text would be over the limit of 655231 characters");

  writeBytes(path("huge.syx"), rawFile(2000000));
  setFile(b, "huge.syx");
  reload(b);
  EXPECT_EQ(windowText(b), "F0 01 F7");
  EXPECT_EQ(status(b),
            "2000000 bytes not loaded: over the limits of 218410 raw bytes and 655231 characters "
            "of text");

  // The largest raw file loads whole.
  writeBytes(path("largest.syx"), rawFile(218410));
  setFile(b, "largest.syx");
  reload(b);
  EXPECT_EQ(windowText(b).size(), 655230u);
  EXPECT_EQ(status(b), "218410 bytes loaded");
}

// A refused load leaves the window with the text of another file: a save
// may not replace the refused file with it, whichever save pin aims there,
// until a load succeeds again. Other files may be written.
TEST_F(ByteloomTest, SaveAfterARefusedLoadKeepsTheRefusedFile) {
  Instance& b = add("b");
  openWindow(b);
  writeBytes(path("a.syx"), "\xF0\x0A\xF7");
  const std::string bank = rawFile(218411);
  writeBytes(path("big.syx"), bank);
  setFile(b, "a.syx");
  reload(b);
  setFile(b, "big.syx");
  reload(b);
  ASSERT_EQ(status(b), "218411 bytes not loaded: a raw file may have at most 218410 bytes");
  ASSERT_EQ(windowText(b), "F0 0A F7 ");

  const std::string kept =
      "3 bytes not saved: the file was not loaded, so it is kept; choose "
      "another file";
  save(b, kSaveAsSyx);
  EXPECT_EQ(status(b), kept);
  EXPECT_TRUE(readText(path("big.syx")) == bank) << "big.syx was replaced";
  // A text dump beside it is another file; the save after it aims at the
  // refused file again.
  save(b, kSaveAsTxt);
  EXPECT_EQ(status(b), "3 MIDI bytes saved as text");
  EXPECT_EQ(readText(path("big.txt")), "F0 0A F7\r\n");
  save(b, kSaveAsSyx);
  EXPECT_EQ(status(b), kept);
  EXPECT_TRUE(readText(path("big.syx")) == bank) << "big.syx was replaced";

  // The name in other letter case is the same file on Windows.
  setFile(b, "BIG.SYX");
  save(b, kSaveAsSyx);
  EXPECT_EQ(status(b), kept);
  EXPECT_TRUE(readText(path("big.syx")) == bank) << "big.syx was replaced";

  // A load that succeeds ends the refusal.
  setFile(b, "a.syx");
  reload(b);
  SetWindowTextA(edit(b), "F0 0B F7");
  save(b, kSaveAsSyx);
  EXPECT_EQ(status(b), "3 MIDI bytes saved as raw data");
  EXPECT_EQ(readText(path("a.syx")), "\xF0\x0B\xF7");
}

// A "File" path longer than the host's 260-byte buffer cannot be given
// whole: nothing is loaded from or saved to the path cut to fit it, which
// names another file.
TEST_F(ByteloomTest, PathTooLongForTheHostIsNeitherLoadedNorSaved) {
  Instance& b = add("b");
  openWindow(b);
  SetWindowTextA(edit(b), "F0 01 F7");
  // The first 259 bytes of the full path end in ".syx": the cut path would
  // be a file of its own, of the same kind.
  const size_t folder = dir_.string().size() + 1;
  const std::string cutName = std::string(259 - folder - 4, 'c') + ".syx";
  const std::string name = cutName + "more.syx";
  ASSERT_EQ((dir_ / cutName).string().size(), 259u);
  writeBytes(path(cutName), kInquiry);

  setFile(b, name);
  reload(b);
  EXPECT_EQ(status(b), "0 bytes not loaded: the file name is too long");
  EXPECT_EQ(windowText(b), "F0 01 F7");
  save(b, kSaveAsSyx);
  EXPECT_EQ(status(b), "3 bytes not saved: the file name is too long");
  EXPECT_EQ(readText(path(cutName)), kInquiry);
  choose(b, kAutoload, 1);
  setFile(b, name);
  EXPECT_EQ(status(b), "0 bytes not loaded: the file name is too long");
  EXPECT_EQ(windowText(b), "F0 01 F7");

  // The longest path the buffer holds loads whole.
  setFile(b, cutName);
  EXPECT_EQ(status(b), "6 bytes loaded");
  save(b, kSaveAsSyx);
  EXPECT_EQ(status(b), "6 MIDI bytes saved as raw data");
}

TEST_F(ByteloomTest, TextsOfMoreBytesThanTheByteArrayAreNotSavedCut) {
  Instance& b = add("b");
  openWindow(b);
  writeBytes(path("dump.syx"), kInquiry);
  setFile(b, "dump.syx");
  std::string text;
  for (int k = 0; k < 131073; ++k) text += "7F ";
  SetWindowTextA(edit(b), text.c_str());
  save(b, kSaveAsSyx);
  EXPECT_EQ(readText(path("dump.syx")), kInquiry);
  EXPECT_EQ(status(b), "131073 bytes not saved: at most 131072 bytes can be saved");

  text.resize(text.size() - 3);  // exactly the byte array
  SetWindowTextA(edit(b), text.c_str());
  save(b, kSaveAsSyx);
  EXPECT_EQ(readBytes(path("dump.syx")), Bytes(131072, 0x7F));
  EXPECT_EQ(status(b), "131072 MIDI bytes saved as raw data");
}

TEST_F(ByteloomTest, SaveBeforeAnyPathIsResolvedSaysSo) {
  Instance& b = add("b");
  openWindow(b);
  SetWindowTextA(edit(b), "F0 01 F7");
  save(b, kSaveAsTxt);
  EXPECT_EQ(status(b), "3 bytes not saved: no file chosen yet");
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(ByteloomTest, FailedSaveKeepsTheOldFileAndSaysSo) {
  Instance& b = add("b");
  openWindow(b);
  SetWindowTextA(edit(b), "F0 01 F7");

  // The folder is missing: nothing can be created.
  setFile(b, "no_folder/dump.syx");
  save(b, kSaveAsSyx);
  EXPECT_EQ(status(b), "3 bytes not saved: the file could not be created");
  EXPECT_FALSE(fs::exists(path("no_folder")));

  // A folder stands where the file would go: it cannot be replaced.
  fs::create_directories(path("dump.syx"));
  setFile(b, "dump.syx");
  save(b, kSaveAsSyx);
  EXPECT_EQ(status(b), "3 bytes not saved: the file could not be written, the old one is kept");
  EXPECT_TRUE(fs::is_directory(path("dump.syx")));
  EXPECT_FALSE(fs::exists(path("dump.syx.saving")));

  // The path did not take the new extension: the next save still aims at
  // the File pin's name.
  setFile(b, "dump.txt");
  save(b, kSaveAsTxt);
  EXPECT_EQ(readText(path("dump.txt")), "F0 01 F7\r\n");
  EXPECT_EQ(status(b), "3 MIDI bytes saved as text");
}

// A path at the platform's limits (259 bytes, a file name of up to 255
// bytes) saves: the temporary written first stays within those limits too.
TEST_F(ByteloomTest, SaveReachesTheLongestPathAndFileName) {
#ifdef _WIN32
  const std::string folder = dir_.string() + "\\";  // the whole path counts
#else
  const std::string folder = "/tmp/";  // a short folder: the file name counts
#endif
  const std::string unique = dir_.filename().string() + "_";  // this test's own
  const size_t nameLength = std::min<size_t>(255, 259 - folder.size());
  const std::string name = unique + std::string(nameLength - unique.size() - 4, 'n') + ".syx";
  const std::string target = folder + name;
  ASSERT_EQ(target.size(), std::min<size_t>(259, folder.size() + 255));
  struct Remove {
    std::string path;
    ~Remove() {
      std::error_code ignored;
      fs::remove(path, ignored);
    }
  } removeTarget{target};

  Instance& b = add("b");
  openWindow(b);
  writeBytes(target, "old");
  setFile(b, target);
  SetWindowTextA(edit(b), "F0 01 F7");
  save(b, kSaveAsSyx);
  EXPECT_EQ(status(b), "3 MIDI bytes saved as raw data");
  EXPECT_EQ(readText(target), "\xF0\x01\xF7");
  // Nothing else of this test's is left in the folder.
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().filename().string().rfind(unique, 0) == 0) {
      EXPECT_EQ(entry.path().string(), target);
    }
}

#ifndef _WIN32
// A disk that fills up in the middle of the write (here: the process's file
// size limit) keeps the old file whole.
TEST_F(ByteloomTest, WriteCutShortKeepsTheOldFile) {
  Instance& b = add("b");
  openWindow(b);
  writeBytes(path("dump.txt"), "old\r\n");
  setFile(b, "dump.txt");
  std::string text;
  for (int k = 0; k < 2000; ++k) text += "7F ";
  SetWindowTextA(edit(b), text.c_str());

  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 1000;
  signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  save(b, kSaveAsTxt);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, SIG_DFL);

  EXPECT_EQ(readText(path("dump.txt")), "old\r\n");
  EXPECT_EQ(status(b), "2000 bytes not saved: the file could not be written, the old one is kept");
  EXPECT_FALSE(fs::exists(path("dump.txt.saving")));
}

// A save is on the disk before it replaces the old file: a temporary that
// cannot be flushed (here: it is /dev/null, which takes no fsync) is a failed
// save, and the old file stays.
TEST_F(ByteloomTest, SaveThatCannotBeFlushedToTheDiskKeepsTheOldFile) {
  Instance& b = add("b");
  openWindow(b);
  writeBytes(path("dump.syx"), "old");
  fs::create_symlink("/dev/null", path("dump.syx.saving"));
  setFile(b, "dump.syx");
  SetWindowTextA(edit(b), "F0 01 F7");
  save(b, kSaveAsSyx);
  EXPECT_EQ(status(b), "3 bytes not saved: the file could not be written, the old one is kept");
  EXPECT_EQ(readText(path("dump.syx")), "old");
  EXPECT_FALSE(fs::is_symlink(path("dump.syx")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(path("dump.syx.saving"))));
}
#endif

}  // namespace
}  // namespace byteloom_test
