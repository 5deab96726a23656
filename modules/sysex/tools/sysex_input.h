// sysex_tool's one way from a file named on the command line to the bytes it
// stands for, used by every command that reads a file (send, syx, txt, and
// any command added later): a Standard MIDI File (recognised by its "MThd"
// header, whatever its name) stands for its System Exclusive messages, each
// with its time and its place in the file; any other file is raw bytes or
// hex text, as the module loads it (but every byte of it, beyond the
// module's 131072).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sysex/MidiFileSysex.h"

namespace sysex_tool {

// Names the standard streams where a file is read or written.
inline constexpr const char* kStandardStream = "-";

// How a path is named in messages: "-" is standard input, anything else itself.
std::string inputName(const std::string& path);

// Puts a standard stream into binary mode (Windows; nothing elsewhere).
void setBinaryMode(std::FILE* stream);

enum class InputForm { kRaw, kHexText, kMidiFile };

// A file loaded by loadInput.
struct InputFile {
  InputForm form = InputForm::kRaw;
  std::vector<std::uint8_t> contents;  // the file as read
  std::vector<std::uint8_t> bytes;     // the bytes it stands for
  // kMidiFile: each System Exclusive message of `bytes`, in order, back to
  // back, with its time in seconds from the start of the file and the offset
  // of its F0 in the file. Empty for the other forms.
  std::vector<byteloom::TimedSysex> messages;
  // kMidiFile: one line for the user (without "sysex_tool: " and the line
  // end) on how many messages were taken and what was left out, e.g.
  // "song.mid: 3 System Exclusive messages taken, 1234 other events left
  // out". Empty for the other forms.
  std::string summary;
};

// Reads `path` ("-": standard input) and turns it into the bytes it stands
// for. A file that begins with "MThd" is read as a Standard MIDI File, and so
// is any file named .mid or .midi (which without that header is an error).
// False when the file cannot be read or, being a MIDI file, is malformed;
// `error` then says so in a line for the user (without "sysex_tool: "), e.g.
// "cannot read song.mid: byte 0x1234: variable-length number longer than 4
// bytes". An empty file, or one that stands for no bytes, is no error here.
bool loadInput(const std::string& path, InputFile& file, std::string& error);

// The steps of loadInput, for a command that needs them apart. readInput
// reads all of `path` ("-": standard input) into `contents`; on failure `why`
// says why, in a few words. bytesOf is every byte a raw or hex text file
// stands for; `raw` tells which of the two it was taken as.
bool readInput(const std::string& path, std::vector<std::uint8_t>& contents, std::string& why);
std::vector<std::uint8_t> bytesOf(const std::vector<std::uint8_t>& contents, bool* raw = nullptr);

}  // namespace sysex_tool
