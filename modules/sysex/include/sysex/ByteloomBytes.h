// Byteloom's conversions between its hex text, MIDI byte arrays and the two
// kinds of MIDI byte file: `.syx` (the raw bytes) and `.txt` (a hex dump).
// Plain functions: no state, no locking, no file input or output; they only
// read their arguments and return new values (flattenLineEnds changes the
// text it is given). Safe to call from any thread.
//
// A hex text is a sequence of tokens separated by runs of the delimiters
// comma, line feed, tab, space and carriage return. Every token stands for
// exactly one byte: its first one or two characters read as hexadecimal
// digits of either case; further characters of the token are ignored, and a
// token that does not begin with a hexadecimal digit stands for 0. The text
// ends at its end or at its first NUL character, whichever comes first.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace byteloom {

// Size in bytes of the processing object's byte array, the most bytes that a
// hex text is converted into for saving or sending (0x20000).
inline constexpr int kByteArraySize = 131072;

// Converts `text` into bytes written from dest[0] on, one per token, and
// returns the number written (the byte count, 0 .. dest.size()). When the
// text holds more tokens than `dest` has room for, the bytes past its end are
// dropped, the count is dest.size(), and *truncated (when the pointer is not
// null) is set to true; otherwise *truncated is set to false. `dest` and
// `text` are only borrowed for the call; the text is not changed.
int parseHexText(std::span<std::uint8_t> dest, std::string_view text, bool* truncated = nullptr);

// The number of tokens of `text`: the byte count that parseHexText gives
// with a destination large enough for every token.
int countHexBytes(std::string_view text);

// Makes one line of `text`, in place: every carriage return becomes a space,
// a line feed right after a carriage return is dropped, and any other line
// feed becomes a space; every other character stays. A CR LF pair so becomes
// one space, and the tokens on either side of a lone LF stay apart.
// Returns the new length (text.size() afterwards).
int flattenLineEnds(std::string& text);

// The `.txt` file for `bytes`: lines of sixteen upper-case two-digit groups
// separated by single spaces and ended by CR LF (49 characters each), then
// the remaining groups followed by CR LF. When the count is a multiple of 16
// the file ends with CR CR LF, a layout that files already written keep.
// The result is exactly what the file receives; no bytes give an empty file.
std::string formatTextDump(std::span<const std::uint8_t> bytes);

// The one-line hex text shown for raw bytes: "XX " (two upper-case digits
// and a space) per byte, with the trailing space after the last group.
std::string formatRawAsText(std::span<const std::uint8_t> bytes);

// What a loaded file becomes: the hex text to show and its byte count.
struct DecodedFile {
  std::string text;   // the hex text to show in the editor
  int byteCount = 0;  // bytes the text stands for; may exceed kByteArraySize
  bool raw = false;   // true when the file was taken as raw bytes
};

// Decodes the whole contents of a file (borrowed for the call).
// Raw: a file that begins with 0xF0 (a System Exclusive start), or any file
// whose contents cannot be hex text (a byte of 0x80 or above, or a control
// character other than tab, LF and CR, such as a bank that begins with a
// program change). Its text is formatRawAsText of every byte and its count
// is the file size.
// Text: every other file. One line end at its very end (CR LF, LF or CR) is
// dropped, the rest goes through flattenLineEnds and is shown as it is; its
// count is countHexBytes of that text. A text file of fewer than 2 bytes, and
// an empty file, give an empty text and a count of 0.
DecodedFile decodeFileContents(std::span<const std::uint8_t> contents);

}  // namespace byteloom
