// Byteloom's hex text and file conversions on made-up input.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "sysex/ByteloomBytes.h"

namespace {

using byteloom::decodeFileContents;
using byteloom::formatRawAsText;
using byteloom::formatTextDump;
using byteloom::kByteArraySize;
using Bytes = std::vector<std::uint8_t>;

Bytes parse(std::string_view text, std::size_t capacity = kByteArraySize,
            bool* truncated = nullptr) {
  Bytes bytes(capacity);
  bytes.resize(byteloom::parseHexText(bytes, text, truncated));
  return bytes;
}

Bytes fileOf(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

Bytes randomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  Bytes bytes(n);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(gen());
  return bytes;
}

TEST(ParseHexText, AnyRunOfDelimitersSeparatesTokens) {
  const Bytes expected{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
  EXPECT_EQ(parse("F0 7E 7F 06 01 F7"), expected);
  EXPECT_EQ(parse("f0,7e\t7f\r\n06  01,,F7"), expected);
  EXPECT_EQ(parse(" ,\r\n\t 7e 7F"), (Bytes{0x7E, 0x7F}));
  EXPECT_TRUE(parse(", ,\r\n").empty());
  EXPECT_EQ(byteloom::countHexBytes(", ,\r\n"), 0);
  EXPECT_EQ(byteloom::countHexBytes("f0,7e\t7f\r\n06  01,,F7"), 6);
}

TEST(ParseHexText, TokenIsItsFirstTwoDigitsAndZeroWithoutALeadingDigit) {
  EXPECT_EQ(parse("F07E 7 123 aB 5G"), (Bytes{0xF0, 0x07, 0x12, 0xAB, 0x05}));
  // Each still takes its position: the bytes after them stay in place.
  EXPECT_EQ(parse("zz 0x12 -1 +5 G5 F7"), (Bytes{0, 0, 0, 0, 0, 0xF7}));
}

TEST(ParseHexText, TextEndsAtItsFirstNul) {
  EXPECT_EQ(parse(std::string_view("F0 01\0 F7", 9)), (Bytes{0xF0, 0x01}));
  EXPECT_EQ(byteloom::countHexBytes(std::string_view("F0 01\0 F7", 9)), 2);
}

TEST(ParseHexText, CutsAtTheEndOfTheDestinationAndSaysSo) {
  bool truncated = true;
  EXPECT_EQ(parse("01 02 03 04", 4, &truncated), (Bytes{1, 2, 3, 4}));
  EXPECT_FALSE(truncated);
  EXPECT_EQ(parse("01 02 03 04 05 ", 4, &truncated), (Bytes{1, 2, 3, 4}));
  EXPECT_TRUE(truncated);

  // One token more than the byte array holds: nothing is written past it.
  std::string text;
  for (int i = 0; i <= kByteArraySize; ++i) text += "7F ";
  Bytes guarded(kByteArraySize + 16, 0xAA);
  const int count =
      byteloom::parseHexText(std::span(guarded).first(kByteArraySize), text, &truncated);
  EXPECT_EQ(count, kByteArraySize);
  EXPECT_TRUE(truncated);
  EXPECT_EQ(guarded[kByteArraySize - 1], 0x7F);
  EXPECT_EQ(Bytes(guarded.begin() + kByteArraySize, guarded.end()), Bytes(16, 0xAA));
  EXPECT_EQ(byteloom::countHexBytes(text), kByteArraySize + 1);
}

TEST(FlattenLineEnds, DropsLineFeedsAndTurnsCarriageReturnsIntoSpaces) {
  std::string text = "F0 01\r\n02\n03\r04\r\r\n\n05";
  EXPECT_EQ(byteloom::flattenLineEnds(text), 19);
  EXPECT_EQ(text, "F0 01 02 03 04   05");
}

TEST(FormatTextDump, SixteenGroupsALineAndTheLastLineEndingKept) {
  EXPECT_EQ(formatTextDump(Bytes{}), "");
  EXPECT_EQ(formatTextDump(Bytes{0xF0, 0x01, 0xF7}), "F0 01 F7\r\n");
  Bytes sixteen(16);
  for (int i = 0; i < 16; ++i) sixteen[i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(formatTextDump(sixteen), "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\r\r\n");

  Bytes twenty(20, 0xAB);
  const std::string dump = formatTextDump(twenty);
  ASSERT_EQ(dump.size(), 49u + 13u);
  EXPECT_EQ(dump.substr(45, 4), "AB\r\n");
  EXPECT_EQ(dump.substr(49), "AB AB AB AB\r\n");
}

TEST(FormatRawAsText, OneLineWithATrailingSpace) {
  EXPECT_EQ(formatRawAsText(Bytes{0xF0, 0x43, 0xF7}), "F0 43 F7 ");
  EXPECT_EQ(formatRawAsText(Bytes{}), "");
}

TEST(DecodeFileContents, TextFilesLoseOnlyTheirFinalLineEnd) {
  for (const char* file : {"F0 01 F7\r\n", "F0 01 F7", "F0 01 F7\n", "F0 01 F7\r"}) {
    const auto decoded = decodeFileContents(fileOf(file));
    EXPECT_FALSE(decoded.raw) << file;
    EXPECT_EQ(decoded.text, "F0 01 F7") << file;
    EXPECT_EQ(decoded.byteCount, 3) << file;
  }
  // Lines end in CR LF or in LF alone, as other programs write them.
  const auto lines = decodeFileContents(fileOf("F0 01\r\n\r\nF7\nF0\n\n02 F7\r\r\n"));
  EXPECT_EQ(lines.text, "F0 01  F7 F0  02 F7 ");
  EXPECT_EQ(lines.byteCount, 6);
  for (const char* tiny : {"7", "\n", ""}) {
    const auto decoded = decodeFileContents(fileOf(tiny));
    EXPECT_EQ(decoded.text, "") << tiny;
    EXPECT_EQ(decoded.byteCount, 0) << tiny;
  }
}

TEST(DecodeFileContents, RawWhenItBeginsWithF0OrCannotBeText) {
  const Bytes sysex{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
  // The F0 rule holds even for bytes that spell text: F0 then "0A 0D".
  for (const Bytes& file : {sysex, Bytes{0xF0}, Bytes{0xF0, '0', 'A', ' ', '0', 'D'},
                            Bytes{0xC0, 0x05, 0xF0, 0x43, 0xF7}, Bytes{'0', '1', 0x00, '0', '2'},
                            Bytes{'0', '1', 0x7F}, Bytes{'0', '1', 0x0C}}) {
    const auto decoded = decodeFileContents(file);
    EXPECT_TRUE(decoded.raw) << formatRawAsText(file);
    EXPECT_EQ(decoded.text, formatRawAsText(file));
    EXPECT_EQ(decoded.byteCount, static_cast<int>(file.size()));
    EXPECT_EQ(parse(decoded.text), file);
  }
  EXPECT_EQ(decodeFileContents(sysex).text, "F0 7E 7F 06 01 F7 ");
  EXPECT_FALSE(decodeFileContents(fileOf("7E\t01 F7\n")).raw);
}

TEST(RoundTrip, DumpAndRawTextGiveBackTheSameBytes) {
  std::vector<std::size_t> lengths;
  for (std::size_t n = 1; n <= 40; ++n) lengths.push_back(n);
  lengths.push_back(kByteArraySize);
  for (std::size_t n : lengths) {
    Bytes bytes = randomBytes(n, static_cast<unsigned>(n));
    bytes[0] = 0xF0;  // raw as a file; the dump still begins with the digit F
    const auto fromDump = decodeFileContents(fileOf(formatTextDump(bytes)));
    ASSERT_FALSE(fromDump.raw) << n;
    EXPECT_EQ(fromDump.byteCount, static_cast<int>(n));
    bool truncated = true;
    EXPECT_EQ(parse(fromDump.text, kByteArraySize, &truncated), bytes) << n;
    EXPECT_FALSE(truncated);

    const auto fromRaw = decodeFileContents(bytes);
    ASSERT_TRUE(fromRaw.raw);
    EXPECT_EQ(parse(fromRaw.text), bytes) << n;
    EXPECT_EQ(parse(formatRawAsText(bytes)), bytes) << n;
  }
}

}  // namespace
