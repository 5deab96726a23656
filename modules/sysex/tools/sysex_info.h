// What `sysex_tool info` tells about the bytes of a file: its System
// Exclusive messages with their maker and the device and model bytes where
// the maker's format puts them, the bytes outside messages, and what looks
// wrong. A pure function of the bytes: the text and JSON forms of the
// report are made from the one structure it returns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sysex_tool {

// The name of the maker whose MIDI manufacturer ID is `id` (one byte 01..7F,
// or three bytes 00 xx yy), from the published list; null for an ID the
// table does not hold (midi_manufacturers.cpp).
const char* manufacturerName(std::span<const std::uint8_t> id);

// One header byte (or a run of them) of a message, named after its role in
// the maker's format: "device", "model", "command", "sub-id 1", ...
struct InfoField {
  std::string name;
  std::string value;    // the bytes (or a nibble) in upper-case hex, "00 00 0E"
  std::string meaning;  // what the value stands for ("DT1", "identity request"), or empty
};

enum class Checksum {
  kNotChecked,  // not a message whose checksum the tool knows how to check
  kGood,
  kBad,
};

// One System Exclusive message: from an F0 up to and including the next F7.
// An F0 before that F7, or the end of the bytes, leaves it unterminated (an
// F0 then begins the next message). Any other byte of 0x80 and above on the
// way is taken as a data byte of the message with its high bit set, and
// flagged.
struct MessageInfo {
  size_t index = 0;   // 1-based, in order of the bytes
  size_t offset = 0;  // of its F0
  size_t length = 0;  // bytes from the F0 to the F7, both included (to the cut, when unterminated)
  bool terminated = true;
  std::string makerId;  // the ID's bytes in hex ("41", "00 20 33"); empty when the message has none
  std::string maker;    // its name, or empty when the table does not know it
  std::vector<InfoField> fields;
  Checksum checksum = Checksum::kNotChecked;
  std::uint8_t checksumRest = 0;  // kBad: what the checked bytes sum to, modulo 128
  size_t highBitBytes = 0;        // data bytes of 0x80 and above
  size_t firstHighBit = 0;        // offset of the first of them
};

// A run of bytes outside any message.
struct OutsideRun {
  size_t offset = 0;
  size_t length = 0;
  std::string first;  // its first bytes in hex, at most 8, with " ..." after them when more follow
};

struct MakerCount {
  std::string maker;  // name, or the ID in hex when it has none; "(none)" without an ID
  size_t messages = 0;
};

struct FileInfo {
  size_t bytes = 0;  // every byte the file stands for
  std::vector<MessageInfo> messages;
  std::vector<OutsideRun> outside;  // in order of offset
  // Sums over the above, for the summary.
  size_t bytesInMessages = 0;
  size_t bytesOutside = 0;
  size_t unterminated = 0;
  size_t highBitBytes = 0;
  size_t badChecksums = 0;
  std::vector<MakerCount> makers;  // in order of first appearance
  // What the summary counts as problems: each run of bytes outside
  // messages, each unterminated message, each message with data bytes of
  // 0x80 and above, each wrong checksum.
  size_t problems() const;
};

FileInfo analyseBytes(std::span<const std::uint8_t> bytes);

// The report as lines of text: a heading, one line per message and per run
// of bytes outside messages (in order of offset), then the summary line.
std::string formatInfoText(const FileInfo& info, const std::string& fileName);
// The same as one JSON document (with a line end after it).
std::string formatInfoJson(const FileInfo& info, const std::string& fileName);

}  // namespace sysex_tool
