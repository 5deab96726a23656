// The rules of sysex_tool that need no file and no port: which port a name
// given by the user means, which bytes of a file form complete System
// Exclusive messages, what of a recording is kept, and how numbers given on
// the command line are read. Plain inline functions without state, shared by
// the tool and its tests.
#pragma once

#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sysex_tool {

// What a port name given by the user stands for in a list of port names.
struct PortMatch {
  int index = -1;                       // the port meant, or -1
  std::vector<std::string> candidates;  // index -1: the names it fits (none, or two and more)
};

inline std::string lowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// The port `wanted` names in `names`: the name equal to it (case and all);
// else the one name equal to it in any case; else the one name that holds it
// in any case. Where several names fit at the first of these steps that
// finds any, none is chosen and they are the candidates.
inline PortMatch matchPort(const std::vector<std::string>& names, std::string_view wanted) {
  PortMatch match;
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == wanted) {
      match.index = static_cast<int>(i);
      return match;
    }
  const std::string lowerWanted = lowerAscii(wanted);
  std::vector<int> fits;
  for (size_t i = 0; i < names.size(); ++i)
    if (lowerAscii(names[i]) == lowerWanted) fits.push_back(static_cast<int>(i));
  if (fits.empty())
    for (size_t i = 0; i < names.size(); ++i)
      if (lowerAscii(names[i]).find(lowerWanted) != std::string::npos)
        fits.push_back(static_cast<int>(i));
  if (fits.size() == 1) {
    match.index = fits[0];
  } else {
    for (int i : fits) match.candidates.push_back(names[static_cast<size_t>(i)]);
  }
  return match;
}

// The output port that answers the input port `input` when the user names
// none: the output of the same name (a device's two ports, as ALSA and
// DirectMusic list them); else the output whose name is the input's with
// one word of direction turned round, in any case: "in" and "out", "input"
// and "output", "capture" and "playback", a word being a run of letters and
// digits ("synth_out:midi" for "synth_in:midi", JACK's
// "system:midi_capture_1" for "system:midi_playback_1"). Index -1 when none
// fits, or when several do (then they are the candidates).
inline PortMatch answeringOutput(const std::vector<std::string>& outputs, std::string_view input) {
  PortMatch match;
  for (size_t i = 0; i < outputs.size(); ++i)
    if (outputs[i] == input) {
      match.index = static_cast<int>(i);
      return match;
    }
  static constexpr std::pair<std::string_view, std::string_view> kTurned[] = {
      {"in", "out"},       {"out", "in"},           {"input", "output"},
      {"output", "input"}, {"capture", "playback"}, {"playback", "capture"}};
  const std::string lower = lowerAscii(input);
  auto wordChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
  std::vector<std::string> turned;  // the input's name, lower case, one word turned round
  for (size_t p = 0; p < lower.size();) {
    if (!wordChar(lower[p])) {
      ++p;
      continue;
    }
    size_t q = p;
    while (q < lower.size() && wordChar(lower[q])) ++q;
    for (const auto& [word, other] : kTurned)
      if (std::string_view(lower).substr(p, q - p) == word)
        turned.push_back(lower.substr(0, p) + std::string(other) + lower.substr(q));
    p = q;
  }
  std::vector<int> fits;
  for (size_t i = 0; i < outputs.size(); ++i)
    for (const std::string& name : turned)
      if (lowerAscii(outputs[i]) == name) {
        fits.push_back(static_cast<int>(i));
        break;
      }
  if (fits.size() == 1) {
    match.index = fits[0];
  } else {
    for (int i : fits) match.candidates.push_back(outputs[static_cast<size_t>(i)]);
  }
  return match;
}

// A run of bytes: its offset and length.
struct Piece {
  size_t offset = 0;
  size_t length = 0;
  bool operator==(const Piece&) const = default;
};

// The complete System Exclusive messages of a byte sequence, and what else
// it holds. A complete message is an F0, data bytes (below 0x80) and an F7.
// A message that an F0 begins but a byte of 0x80 or above other than F7
// interrupts, or the end of the bytes, is unfinished; the byte that
// interrupts it is taken again as what it is (the start of the next message,
// or a byte outside messages).
struct MessageScan {
  std::vector<Piece> messages;    // the complete messages, in order
  size_t outside = 0;             // bytes outside any message (unfinished ones aside)
  size_t firstOutside = 0;        // offset of the first of them
  size_t unfinished = 0;          // unfinished messages
  size_t firstUnfinished = 0;     // offset of the F0 of the first of them
  size_t firstUnfinishedEnd = 0;  // offset of the byte that interrupts it; the size at the end
};

inline MessageScan scanMessages(std::span<const std::uint8_t> bytes) {
  MessageScan scan;
  bool inside = false;
  size_t start = 0;
  auto interrupted = [&](size_t at) {
    if (scan.unfinished++ == 0) {
      scan.firstUnfinished = start;
      scan.firstUnfinishedEnd = at;
    }
    inside = false;
  };
  for (size_t i = 0; i < bytes.size(); ++i) {
    const std::uint8_t b = bytes[i];
    if (inside) {
      if (b == 0xF7) {
        scan.messages.push_back({start, i - start + 1});
        inside = false;
        continue;
      }
      if (b < 0x80) continue;
      interrupted(i);
    }
    if (b == 0xF0) {
      inside = true;
      start = i;
    } else if (scan.outside++ == 0) {
      scan.firstOutside = i;
    }
  }
  if (inside) interrupted(bytes.size());
  return scan;
}

// Counts the complete System Exclusive messages of a recording as it
// arrives, piece by piece, by the rule of scanMessages. Fed by receive from
// its one thread.
struct MessageCounter {
  size_t complete = 0;  // complete messages seen
  size_t end = 0;       // offset just after the F7 of the last of them
  size_t fed = 0;       // bytes taken in
  bool inside = false;  // within a message begun and not ended

  // Takes in the next bytes of the recording, and stops taking them once
  // `limit` messages are complete (0: no limit); `end` then tells where the
  // last of them ends.
  void feed(std::span<const std::uint8_t> bytes, size_t limit = 0) {
    for (const std::uint8_t b : bytes) {
      if (limit > 0 && complete >= limit) return;
      ++fed;
      if (inside) {
        if (b == 0xF7) {
          ++complete;
          end = fed;
          inside = false;
          continue;
        }
        if (b < 0x80) continue;
        inside = false;
      }
      if (b == 0xF0) inside = true;
    }
  }
};

// The messages sent with --raw, as the module sends: the bytes cut after
// every F7, whatever lies between; the rest after the last F7 is one more.
inline std::vector<Piece> cutAfterEachF7(std::span<const std::uint8_t> bytes) {
  std::vector<Piece> pieces;
  for (size_t p = 0; p < bytes.size();) {
    size_t q = p;
    while (q < bytes.size() && bytes[q] != 0xF7) ++q;
    const size_t end = q < bytes.size() ? q + 1 : bytes.size();
    pieces.push_back({p, end - p});
    p = end;
  }
  return pieces;
}

// How many leading bytes of a recording to keep: all of them, unless its
// last System Exclusive message has begun (F0) and not ended (no F7 after
// it); then the bytes before that F0.
inline size_t wholeMessagesEnd(std::span<const std::uint8_t> bytes) {
  for (size_t i = bytes.size(); i-- > 0;) {
    if (bytes[i] == 0xF7) return bytes.size();
    if (bytes[i] == 0xF0) return i;
  }
  return bytes.size();
}

// The 1-based line of hex text `text` on which its token number `token`
// (0-based) stands, with the tokenisation of the module's hex text (tokens
// separated by comma, space, tab, CR and LF; a line ends at LF, at CR LF, or
// at a CR alone). 0 when the text has fewer tokens.
inline size_t lineOfToken(std::string_view text, size_t token) {
  size_t line = 1, seen = 0;
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c == '\n' || c == '\r') {
      ++line;
      i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
    } else if (c == ',' || c == ' ' || c == '\t') {
      ++i;
    } else {
      if (seen++ == token) return line;
      while (i < text.size() && std::string_view(",\n\t \r").find(text[i]) == std::string::npos)
        ++i;
    }
  }
  return 0;
}

// Reads a decimal number that is all of `text` (no sign of infinity, no
// "nan", nothing after it) and lies within [min, max]. False otherwise,
// leaving `value` alone.
inline bool readNumber(const std::string& text, double min, double max, double& value) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  const double read = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(read)) return false;
  if (read < min || read > max) return false;
  value = read;
  return true;
}

// "1 message", "2 messages": a count with its noun in the number it takes.
inline std::string counted(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace sysex_tool
