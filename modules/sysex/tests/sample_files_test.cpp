// Byteloom's conversions on real MIDI byte files made by other people and
// programs, read from the shared sample folder (BYTELOOM_SAMPLE_DIR); the
// tests skip when that folder is absent.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sysex/ByteloomBytes.h"

namespace {

using byteloom::kByteArraySize;
using Bytes = std::vector<std::uint8_t>;

// System Exclusive messages (F0 up to the next F7) and the bytes outside any.
struct MessageCount {
  int messages = 0;
  int outside = 0;
};

MessageCount countMessages(const Bytes& bytes) {
  MessageCount count;
  bool inside = false;
  for (std::uint8_t b : bytes) {
    if (b == 0xF0) inside = true;
    if (!inside) ++count.outside;
    if (inside && b == 0xF7) {
      ++count.messages;
      inside = false;
    }
  }
  return count;
}

class SampleFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::is_directory(BYTELOOM_SAMPLE_DIR)) {
      GTEST_SKIP() << "sample folder " << BYTELOOM_SAMPLE_DIR << " is absent";
    }
  }
  static Bytes read(const std::string& name) {
    std::ifstream in(std::string(BYTELOOM_SAMPLE_DIR) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // The bytes of a loaded hex text, as a save converts them.
  static Bytes parse(const std::string& text, bool* truncated) {
    Bytes bytes(kByteArraySize);
    bytes.resize(byteloom::parseHexText(bytes, text, truncated));
    return bytes;
  }
  // Save as text and load again; the bytes must come back.
  static void expectSurvivesTextDump(const Bytes& bytes, const std::string& name) {
    const std::string dump = byteloom::formatTextDump(bytes);
    const auto reloaded = byteloom::decodeFileContents(Bytes(dump.begin(), dump.end()));
    EXPECT_FALSE(reloaded.raw) << name;
    EXPECT_EQ(reloaded.byteCount, static_cast<int>(bytes.size())) << name;
    EXPECT_EQ(parse(reloaded.text, nullptr), bytes) << name;
  }
};

TEST_F(SampleFiles, SyxFilesLoadWithoutLossAndSurviveATextDump) {
  // Sizes and counts as the files themselves give them (see SOURCES.md there).
  const struct {
    const char* name;
    int size, messages, outside;
  } files[] = {
      {"korg_dvp1_patch.syx", 30, 1, 0},
      {"yamaha_dx7_star1_fast_decay_bank.syx", 4104, 1, 0},
      {"korg_dw6000_factory_128_msgs.syx", 2496, 128, 0},
      {"roland_jd_xi_atmo_pad.syx", 354, 5, 0},
      {"roland_d50_factory_bank.syx", 36048, 136, 0},
      {"korg_wavestation_new02.syx", 65512, 3, 0},
      {"korg_dw8000_with_program_changes.syx", 4224, 128, 128},  // begins C0 00
      {"waldorf_blofeld_factory_2008.syx", 401408, 1024, 0},     // over the byte array
  };
  for (const auto& f : files) {
    const Bytes file = read(f.name);
    ASSERT_EQ(static_cast<int>(file.size()), f.size) << f.name;
    const auto loaded = byteloom::decodeFileContents(file);
    EXPECT_TRUE(loaded.raw) << f.name;
    EXPECT_EQ(loaded.byteCount, f.size) << f.name;
    EXPECT_EQ(loaded.text.size(), file.size() * 3) << f.name;

    bool truncated = false;
    const Bytes bytes = parse(loaded.text, &truncated);
    const bool fits = f.size <= kByteArraySize;
    EXPECT_EQ(truncated, !fits) << f.name;
    ASSERT_EQ(bytes, Bytes(file.begin(), file.begin() + (fits ? f.size : kByteArraySize)))
        << f.name;
    const MessageCount count = countMessages(file);
    EXPECT_EQ(count.messages, f.messages) << f.name;
    EXPECT_EQ(count.outside, f.outside) << f.name;
    expectSurvivesTextDump(bytes, f.name);
  }
}

TEST_F(SampleFiles, AnnotatedTextDumpWithBareLineFeedsKeepsEveryByte) {
  const Bytes file = read("pacer_a5_factory_annotated_hexdump.txt");
  ASSERT_EQ(file.size(), 18193u);
  ASSERT_EQ(std::string(file.end() - 3, file.end()), " F7");  // no line end at all
  const auto loaded = byteloom::decodeFileContents(file);
  ASSERT_FALSE(loaded.raw);
  // 5546 hex pairs and the six words of the column header line.
  EXPECT_EQ(loaded.byteCount, 5546 + 6);
  bool truncated = true;
  const Bytes bytes = parse(loaded.text, &truncated);
  EXPECT_FALSE(truncated);
  // "cm tg ix obj elm data": words without a leading hexadecimal digit give 0.
  ASSERT_GE(bytes.size(), 7u);
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 7),
            (Bytes{0x0C, 0x00, 0x00, 0x00, 0x0E, 0xDA, 0xF0}));
  const MessageCount count = countMessages(bytes);
  EXPECT_EQ(count.messages, 189);
  EXPECT_EQ(count.outside, 6);
  EXPECT_EQ(bytes.back(), 0xF7);
  expectSurvivesTextDump(bytes, "pacer");
}

}  // namespace
