#include "sysex/MidiFileSysex.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

namespace byteloom {

namespace {

constexpr std::uint32_t kDefaultTempo = 500000;  // microseconds per quarter note
constexpr std::size_t kChunkHeading = 8;         // type and length

// Why reading stops; thrown inside the reader only, caught by
// readMidiFileSysex.
struct Fault {
  std::size_t offset;
  std::string text;
};

std::string hex(std::size_t value, int digits = 1) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  do {
    text.insert(text.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0 || static_cast<int>(text.size()) < digits);
  return text;
}

std::string byteName(std::uint8_t value) {
  return "0x" + hex(value, 2);
}

// A found message, at a tick: its bytes are `length` bytes from `source` in
// the file (an F0 event's data, after an F0 byte to add when `leadingF0`, or
// a message inside an escape event) or, joined from packets, in the reader's
// scratch bytes (`inScratch`).
struct Found {
  std::uint64_t tick;
  std::size_t fileOffset;
  std::size_t length;
  std::size_t source;
  bool inScratch;
  bool leadingF0;
};

struct TempoChange {
  std::uint64_t tick;
  std::uint32_t microsPerQuarter;
};

class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> data) : data_(data) {}

  void read(MidiFileSysex& out) {
    readHeader(out);
    std::size_t pos = kChunkHeading + headerLength_;
    int tracksRead = 0;
    while (tracksRead < announcedTracks_) {
      const std::size_t left = data_.size() - pos;
      if (left < kChunkHeading)
        fail(pos,
             std::string(left == 0 ? "the file ends" : "the file ends inside a chunk heading") +
                 " after " + std::to_string(tracksRead) + " of the " +
                 std::to_string(announcedTracks_) + " tracks its header announces");
      const std::uint32_t length = be32(pos + 4);
      if (length > left - kChunkHeading)
        fail(pos + 4, "chunk " + chunkName(pos) + " of " + std::to_string(length) +
                          " bytes runs past the end of the file, " +
                          std::to_string(left - kChunkHeading) + " bytes after its heading");
      const std::size_t begin = pos + kChunkHeading;
      if (std::memcmp(&data_[pos], "MTrk", 4) == 0) {
        readTrack(begin, begin + length);
        ++tracksRead;
      }
      pos = begin + length;
    }
    out.tracks = tracksRead;
    finish(out);
  }

 private:
  [[noreturn]] static void fail(std::size_t offset, std::string text) {
    throw Fault{offset, std::move(text)};
  }

  std::uint32_t be32(std::size_t at) const {
    return (std::uint32_t{data_[at]} << 24) | (std::uint32_t{data_[at + 1]} << 16) |
           (std::uint32_t{data_[at + 2]} << 8) | data_[at + 3];
  }
  std::uint16_t be16(std::size_t at) const {
    return static_cast<std::uint16_t>((data_[at] << 8) | data_[at + 1]);
  }

  // The type of the chunk at `at`, quoted when it is printable.
  std::string chunkName(std::size_t at) const {
    std::string name;
    for (std::size_t i = at; i < at + 4; ++i) {
      if (data_[i] < 0x20 || data_[i] > 0x7E) return "of type " + hex(be32(at), 8);
      name += static_cast<char>(data_[i]);
    }
    return "\"" + name + "\"";
  }

  void readHeader(MidiFileSysex& out) {
    if (!looksLikeMidiFile(data_)) fail(0, "no MThd header: not a Standard MIDI File");
    if (data_.size() < kChunkHeading) fail(4, "the file ends inside its header chunk's heading");
    headerLength_ = be32(4);
    if (headerLength_ < 6)
      fail(4, "header chunk of " + std::to_string(headerLength_) + " bytes; it needs 6");
    if (headerLength_ > data_.size() - kChunkHeading)
      fail(4, "header chunk of " + std::to_string(headerLength_) +
                  " bytes runs past the end of the file");
    const std::uint16_t format = be16(8);
    if (format == 2)
      fail(8,
           "format 2 (independent sequences with no common time) is not read; formats 0 and 1 "
           "are");
    if (format > 2) fail(8, "unknown format " + std::to_string(format));
    out.format = format;
    announcedTracks_ = be16(10);
    const std::uint16_t division = be16(12);
    if (division & 0x8000) {
      // SMPTE: the high byte is minus the frames per second, the low byte
      // ticks per frame.
      const int frames = -static_cast<int>(static_cast<std::int8_t>(division >> 8));
      const int ticksPerFrame = division & 0xFF;
      if (frames != 24 && frames != 25 && frames != 29 && frames != 30)
        fail(12, "division of " + std::to_string(frames) +
                     " SMPTE frames a second; 24, 25, 29 (29.97) and 30 are known");
      if (ticksPerFrame == 0) fail(12, "division of 0 ticks per SMPTE frame");
      secondsPerTick_ = 1.0 / ((frames == 29 ? 30000.0 / 1001.0 : frames) * ticksPerFrame);
    } else {
      if (division == 0) fail(12, "division of 0 ticks per quarter note");
      ticksPerQuarter_ = division;
    }
  }

  // A variable-length number at `pos`, which it moves past the number; the
  // number must end before `end`. `what` names it in a fault.
  std::uint32_t number(std::size_t& pos, std::size_t end, const char* what) const {
    const std::size_t start = pos;
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      if (pos >= end) fail(start, std::string(what) + " cut off by the end of the track");
      const std::uint8_t b = data_[pos++];
      value = (value << 7) | (b & 0x7Fu);
      if (!(b & 0x80)) return value;
    }
    fail(start, "variable-length number longer than 4 bytes");
  }

  // Checks that the System Exclusive data [at, at + length) holds no byte of
  // 0x80 or above, but for a last F7. True when it ends with that F7.
  bool checkSysexData(std::size_t at, std::size_t length) const {
    for (std::size_t i = at; i < at + length; ++i) {
      if (data_[i] < 0x80) continue;
      if (data_[i] == 0xF7 && i + 1 == at + length) return true;
      fail(i, "byte " + byteName(data_[i]) +
                  " inside a System Exclusive message (its data bytes are below 0x80)");
    }
    return false;
  }

  // An escape event's bytes [at, at + length): taken when they are complete
  // System Exclusive messages, one after another, and nothing else.
  void takeEscape(std::uint64_t tick, std::size_t at, std::size_t length) {
    const std::size_t end = at + length;
    bool complete = length > 0;
    for (std::size_t i = at; complete && i < end;) {
      if (data_[i] != 0xF0) {
        complete = false;
        break;
      }
      std::size_t j = i + 1;
      while (j < end && data_[j] < 0x80) ++j;
      complete = j < end && data_[j] == 0xF7;
      i = j + 1;
    }
    if (!complete) {
      ++escapesLeftOut_;
      return;
    }
    for (std::size_t i = at; i < end;) {
      std::size_t j = i + 1;
      while (data_[j] != 0xF7) ++j;
      found_.push_back({tick, i, j + 1 - i, i, false, false});
      i = j + 1;
    }
  }

  void readTrack(std::size_t begin, std::size_t end) {
    std::uint64_t tick = 0;
    std::uint8_t status = 0;  // running status: the last channel message's status byte
    // The message an F0 event began and no F7 event has finished yet.
    bool pending = false;
    std::size_t pendingStart = 0, pendingFileOffset = 0;
    std::uint64_t pendingTick = 0;
    auto dropPending = [&] {
      if (!pending) return;
      scratch_.resize(pendingStart);
      ++unfinished_;
      pending = false;
    };

    for (std::size_t pos = begin; pos < end;) {
      const std::size_t deltaAt = pos;
      tick += number(pos, end, "delta-time");
      if (pos >= end) fail(deltaAt, "the track ends after this delta-time, before its event");
      const std::size_t at = pos;
      const std::uint8_t b = data_[pos];
      if (b == 0xFF) {
        if (++pos >= end) fail(at, "meta event cut off by the end of the track");
        const std::uint8_t type = data_[pos++];
        const std::uint32_t length = number(pos, end, "meta event length");
        if (length > end - pos)
          fail(at, "meta event of " + std::to_string(length) +
                       " bytes runs past the end of its track (byte 0x" + hex(end) + ")");
        ++otherEvents_;
        if (type == 0x51) {
          if (length != 3)
            fail(at, "tempo event of " + std::to_string(length) + " bytes; it has 3");
          tempos_.push_back({tick, (std::uint32_t{data_[pos]} << 16) |
                                       (std::uint32_t{data_[pos + 1]} << 8) | data_[pos + 2]});
        }
        pos += length;
        if (type == 0x2F) break;  // End of Track: what follows in the chunk is no event
      } else if (b == 0xF0 || b == 0xF7) {
        ++pos;
        const std::uint32_t length = number(pos, end, "System Exclusive event length");
        if (length > end - pos)
          fail(at, "System Exclusive event of " + std::to_string(length) +
                       " bytes runs past the end of its track (byte 0x" + hex(end) + ")");
        if (b == 0xF0) dropPending();
        if (b == 0xF0 || pending) {
          const bool ends = checkSysexData(pos, length);
          if (b == 0xF0 && ends) {  // a whole message: its bytes stay in the file
            found_.push_back({tick, at, length + 1, pos, false, true});
          } else {
            if (b == 0xF0) {
              pending = true;
              pendingStart = scratch_.size();
              pendingFileOffset = at;
              pendingTick = tick;
              scratch_.push_back(0xF0);
            }
            scratch_.insert(scratch_.end(), data_.begin() + static_cast<std::ptrdiff_t>(pos),
                            data_.begin() + static_cast<std::ptrdiff_t>(pos + length));
            if (ends) {
              found_.push_back({pendingTick, pendingFileOffset, scratch_.size() - pendingStart,
                                pendingStart, true, false});
              pending = false;
            }
          }
        } else {
          takeEscape(tick, pos, length);
        }
        pos += length;
      } else if (b >= 0xF0) {
        fail(at, "status byte " + byteName(b) + " cannot stand in a track");
      } else {
        if (b & 0x80) {
          status = b;
          ++pos;
        } else if (status == 0) {
          fail(at, "running status with no prior status (data byte " + byteName(b) + ")");
        }
        const std::size_t dataBytes = (status & 0xE0) == 0xC0 ? 1 : 2;  // Cn, Dn: one
        if (dataBytes > end - pos) fail(at, "channel message cut off by the end of the track");
        for (std::size_t i = pos; i < pos + dataBytes; ++i)
          if (data_[i] & 0x80)
            fail(i,
                 "byte " + byteName(data_[i]) + " where a data byte of a channel message belongs");
        pos += dataBytes;
        ++otherEvents_;
      }
    }
    dropPending();
  }

  // Orders the messages by time, gives them their seconds, and hands them
  // over to `out`.
  void finish(MidiFileSysex& out) {
    std::stable_sort(found_.begin(), found_.end(),
                     [](const Found& a, const Found& b) { return a.tick < b.tick; });
    std::stable_sort(tempos_.begin(), tempos_.end(),
                     [](const TempoChange& a, const TempoChange& b) { return a.tick < b.tick; });
    std::size_t total = 0;
    for (const Found& f : found_) total += f.length;
    out.bytes.reserve(total);
    for (const Found& f : found_) {
      if (f.leadingF0) out.bytes.push_back(0xF0);
      const std::uint8_t* from = (f.inScratch ? scratch_.data() : data_.data()) + f.source;
      out.bytes.insert(out.bytes.end(), from, from + (f.length - (f.leadingF0 ? 1 : 0)));
    }
    // The tempo map, walked along with the messages: the seconds at the
    // last tempo change passed, and the tempo from there.
    std::size_t t = 0;
    std::uint64_t segmentTick = 0;
    double segmentSeconds = 0;
    std::uint32_t tempo = kDefaultTempo;
    out.messages.reserve(found_.size());
    std::size_t offset = 0;
    for (const Found& f : found_) {
      double seconds;
      if (ticksPerQuarter_ == 0) {
        seconds = static_cast<double>(f.tick) * secondsPerTick_;
      } else {
        for (; t < tempos_.size() && tempos_[t].tick <= f.tick; ++t) {
          segmentSeconds += ticksToSeconds(tempos_[t].tick - segmentTick, tempo);
          segmentTick = tempos_[t].tick;
          tempo = tempos_[t].microsPerQuarter;
        }
        seconds = segmentSeconds + ticksToSeconds(f.tick - segmentTick, tempo);
      }
      out.messages.push_back({offset, f.length, seconds, f.fileOffset});
      offset += f.length;
    }
    out.otherEvents = otherEvents_;
    out.escapesLeftOut = escapesLeftOut_;
    out.unfinished = unfinished_;
  }

  double ticksToSeconds(std::uint64_t ticks, std::uint32_t microsPerQuarter) const {
    return static_cast<double>(ticks) * microsPerQuarter / (1e6 * ticksPerQuarter_);
  }

  std::span<const std::uint8_t> data_;
  std::uint32_t headerLength_ = 0;
  int announcedTracks_ = 0;
  unsigned ticksPerQuarter_ = 0;  // 0: SMPTE division, secondsPerTick_ holds
  double secondsPerTick_ = 0;
  std::vector<std::uint8_t> scratch_;  // the bytes of messages joined from packets
  std::vector<Found> found_;
  std::vector<TempoChange> tempos_;  // of every track, in track order, then file order
  std::size_t otherEvents_ = 0, escapesLeftOut_ = 0, unfinished_ = 0;
};

}  // namespace

bool looksLikeMidiFile(std::span<const std::uint8_t> contents) {
  return contents.size() >= 4 && std::memcmp(contents.data(), "MThd", 4) == 0;
}

MidiFileSysex readMidiFileSysex(std::span<const std::uint8_t> contents) {
  MidiFileSysex out;
  try {
    Reader(contents).read(out);
    out.ok = true;
  } catch (const Fault& fault) {
    out = MidiFileSysex();
    out.errorOffset = fault.offset;
    out.error = fault.text;
  }
  return out;
}

}  // namespace byteloom
