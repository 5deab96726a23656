// The Standard MIDI File reader (readMidiFileSysex) on files made here byte
// by byte: which System Exclusive messages it takes, in which order and at
// which times, what it leaves out, and the offset and reason it gives for
// each kind of malformed file.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "sysex/MidiFileSysex.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using byteloom::readMidiFileSysex;

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A variable-length number.
Bytes num(std::uint32_t value) {
  Bytes out = {static_cast<std::uint8_t>(value & 0x7F)};
  while (value >>= 7) out.insert(out.begin(), static_cast<std::uint8_t>((value & 0x7F) | 0x80));
  return out;
}

Bytes chunk(const char* type, const Bytes& body) {
  const auto n = static_cast<std::uint32_t>(body.size());
  Bytes out(type, type + 4);
  return out +
         Bytes{static_cast<std::uint8_t>(n >> 24), static_cast<std::uint8_t>(n >> 16),
               static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)} +
         body;
}

Bytes header(int format, int tracks, std::uint16_t division) {
  return chunk("MThd", {0, static_cast<std::uint8_t>(format), 0, static_cast<std::uint8_t>(tracks),
                        static_cast<std::uint8_t>(division >> 8),
                        static_cast<std::uint8_t>(division & 0xFF)});
}

Bytes track(std::initializer_list<Bytes> events) {
  Bytes body;
  for (const Bytes& e : events) body = body + e;
  return chunk("MTrk", body);
}

// Events, each after its delta-time.
Bytes sysex(std::uint32_t delta, std::uint8_t status, const Bytes& data) {
  return num(delta) + Bytes{status} + num(static_cast<std::uint32_t>(data.size())) + data;
}
Bytes tempo(std::uint32_t delta, std::uint32_t micros) {
  return num(delta) + Bytes{0xFF,
                            0x51,
                            0x03,
                            static_cast<std::uint8_t>(micros >> 16),
                            static_cast<std::uint8_t>(micros >> 8),
                            static_cast<std::uint8_t>(micros)};
}
Bytes endOfTrack() {
  return {0x00, 0xFF, 0x2F, 0x00};
}

// The messages read, each as its bytes.
std::vector<Bytes> messagesOf(const byteloom::MidiFileSysex& read) {
  std::vector<Bytes> out;
  for (const byteloom::TimedSysex& m : read.messages)
    out.emplace_back(read.bytes.begin() + static_cast<std::ptrdiff_t>(m.offset),
                     read.bytes.begin() + static_cast<std::ptrdiff_t>(m.offset + m.length));
  return out;
}

std::vector<double> secondsOf(const byteloom::MidiFileSysex& read) {
  std::vector<double> out;
  for (const byteloom::TimedSysex& m : read.messages) out.push_back(m.seconds);
  return out;
}

// Where `part` first lies in `whole`.
std::size_t find(const Bytes& whole, const Bytes& part) {
  return static_cast<std::size_t>(
      std::search(whole.begin(), whole.end(), part.begin(), part.end()) - whole.begin());
}

TEST(MidiFileSysex, TakesTheMessagesOfEveryTrackInTimeThenTrackThenFileOrder) {
  const Bytes file = header(1, 3, 96) +
                     track({sysex(10, 0xF0, {0x01, 0xF7}), sysex(0, 0xF0, {0x02, 0xF7}),
                            sysex(20, 0xF0, {0x05, 0xF7}), endOfTrack()}) +
                     track({sysex(0, 0xF0, {0x00, 0xF7}), sysex(10, 0xF0, {0x03, 0xF7}),
                            sysex(5, 0xF0, {0x04, 0xF7})}) +  // no End of Track: taken as ended
                     track({endOfTrack()});
  const auto read = readMidiFileSysex(file);
  ASSERT_TRUE(read.ok) << read.error;
  EXPECT_EQ(read.format, 1);
  EXPECT_EQ(read.tracks, 3);
  EXPECT_EQ(messagesOf(read), (std::vector<Bytes>{{0xF0, 0x00, 0xF7},
                                                  {0xF0, 0x01, 0xF7},
                                                  {0xF0, 0x02, 0xF7},
                                                  {0xF0, 0x03, 0xF7},
                                                  {0xF0, 0x04, 0xF7},
                                                  {0xF0, 0x05, 0xF7}}));
  // Back to back in the bytes, each naming its F0 event in the file.
  std::size_t next = 0;
  for (const auto& m : read.messages) {
    EXPECT_EQ(m.offset, next);
    next += m.length;
    EXPECT_EQ(file[m.fileOffset], 0xF0);
    EXPECT_EQ(file[m.fileOffset + 2], read.bytes[m.offset + 1]);
  }
  EXPECT_EQ(next, read.bytes.size());
  EXPECT_EQ(read.otherEvents, 2u);  // the two End of Track events
}

TEST(MidiFileSysex, JoinsF7PacketsIntoTheMessageTheirF0EventBegan) {
  const Bytes first = sysex(48, 0xF0, {0x43, 0x10});
  const Bytes file = header(0, 1, 96) + track({first,
                                               {0x10, 0x90, 0x3C, 0x40},  // a note between packets
                                               sysex(10, 0xF7, {0x01, 0x02}),
                                               sysex(0, 0xF7, {}),
                                               sysex(30, 0xF7, {0x03, 0xF7}),
                                               sysex(0, 0xF0, {0x7E, 0xF7})});
  const auto read = readMidiFileSysex(file);
  ASSERT_TRUE(read.ok) << read.error;
  EXPECT_EQ(messagesOf(read),
            (std::vector<Bytes>{{0xF0, 0x43, 0x10, 0x01, 0x02, 0x03, 0xF7}, {0xF0, 0x7E, 0xF7}}));
  // The joined message is at the time and place of its F0 event; the second
  // one 56 ticks later.
  EXPECT_EQ(read.messages[0].fileOffset, find(file, first) + 1);
  EXPECT_DOUBLE_EQ(read.messages[0].seconds, 0.25);
  EXPECT_DOUBLE_EQ(read.messages[1].seconds, 0.25 + 56 / 96.0 * 0.5);
  EXPECT_EQ(read.otherEvents, 1u);
}

TEST(MidiFileSysex, EscapesAreTakenOnlyWhenTheyHoldCompleteMessages) {
  const Bytes two = sysex(0, 0xF7, {0xF0, 0x01, 0xF7, 0xF0, 0x02, 0xF7});
  const Bytes file =
      header(0, 1, 96) + track({two, sysex(0, 0xF7, {0xF8}),   // a clock
                                sysex(0, 0xF7, {0xF0, 0x01}),  // no F7
                                sysex(0, 0xF7, {0xF0, 0x01, 0xF7, 0x90}), sysex(0, 0xF7, {})});
  const auto read = readMidiFileSysex(file);
  ASSERT_TRUE(read.ok) << read.error;
  EXPECT_EQ(messagesOf(read), (std::vector<Bytes>{{0xF0, 0x01, 0xF7}, {0xF0, 0x02, 0xF7}}));
  EXPECT_EQ(read.messages[0].fileOffset, find(file, two) + 3);
  EXPECT_EQ(read.messages[1].fileOffset, find(file, two) + 6);
  EXPECT_EQ(read.escapesLeftOut, 4u);
}

TEST(MidiFileSysex, MessagesNoF7EventFinishesAreLeftOut) {
  const Bytes file =
      header(1, 2, 96) +
      track({sysex(0, 0xF0, {0x01}), sysex(0, 0xF0, {0x02, 0xF7}),  // the first is cut short
             sysex(0, 0xF0, {0x03})}) +                             // the track ends first
      track({sysex(0, 0xF7, {0x04, 0xF7})});  // no continuation of the other track's message
  const auto read = readMidiFileSysex(file);
  ASSERT_TRUE(read.ok) << read.error;
  EXPECT_EQ(messagesOf(read), (std::vector<Bytes>{{0xF0, 0x02, 0xF7}}));
  EXPECT_EQ(read.unfinished, 2u);
  EXPECT_EQ(read.escapesLeftOut, 1u);
}

TEST(MidiFileSysex, CountsWhatItLeavesOutAndSkipsUnknownChunksOfAnySize) {
  const Bytes notes = {0x00, 0x90, 0x3C, 0x40,                      // note on
                       0x10, 0x3E, 0x40,                            // running status
                       0x00, 0xC0, 0x05,                            // program change: one data byte
                       0x00, 0x06,                                  // running status, one data byte
                       0x00, 0xFF, 0x01, 0x03, 'a', 'b', 'c',       // text; status runs on
                       0x00, 0x07,                                  // still program change
                       0x00, 0xD0, 0x40,                            // channel pressure
                       0x00, 0xE0, 0x00, 0x40};                     // pitch bend
  const Bytes file = header(1, 2, 96) + chunk("XYZW", {1, 2, 3}) +  // odd size, not padded
                     track({notes,
                            sysex(0, 0xF0, {0x11, 0xF7}),
                            endOfTrack(),
                            {0x00, 0xF9, 0xFD}}) +  // after End of Track: not read
                     chunk("MThd", {0xFF}) +
                     track({sysex(0, 0xF0, {0x12, 0xF7})}) +
                     chunk("MTrk", {0xFF, 0xFF, 0xFF});  // past the tracks announced: not read
  const auto read = readMidiFileSysex(file);
  ASSERT_TRUE(read.ok) << read.error;
  EXPECT_EQ(read.tracks, 2);
  // The second track's message at tick 0, the first's at tick 16.
  EXPECT_EQ(messagesOf(read), (std::vector<Bytes>{{0xF0, 0x12, 0xF7}, {0xF0, 0x11, 0xF7}}));
  EXPECT_EQ(read.otherEvents, 9u);  // 8 channel messages, the text; End of Track
}

TEST(MidiFileSysex, TempoChangesOfAnyTrackTimeEveryTrack) {
  // 480 ticks a quarter note: half a second at the first tempo, a whole
  // second from tick 960 on; the tempo track holds no message.
  const Bytes file = header(1, 3, 480) +
                     track({tempo(0, 500000), tempo(960, 1000000), endOfTrack()}) +
                     track({sysex(0, 0xF0, {0x00, 0xF7}), sysex(480, 0xF0, {0x01, 0xF7}),
                            sysex(480, 0xF0, {0x02, 0xF7}), sysex(960, 0xF0, {0x04, 0xF7})}) +
                     track({sysex(1440, 0xF0, {0x03, 0xF7}), sysex(1440, 0xF0, {0x05, 0xF7})});
  const auto read = readMidiFileSysex(file);
  ASSERT_TRUE(read.ok) << read.error;
  EXPECT_EQ(secondsOf(read), (std::vector<double>{0, 0.5, 1.0, 2.0, 3.0, 5.0}));
  EXPECT_EQ(messagesOf(read)[3], (Bytes{0xF0, 0x03, 0xF7}));
}

TEST(MidiFileSysex, TempoChangesAtOneTickTakeTheLastInTrackOrder) {
  const Bytes file = header(1, 3, 100) + track({tempo(100, 2000000)}) +
                     track({tempo(100, 250000), sysex(100, 0xF0, {0x01, 0xF7})}) +
                     track({tempo(100, 100000)});
  const auto read = readMidiFileSysex(file);
  ASSERT_TRUE(read.ok) << read.error;
  EXPECT_EQ(secondsOf(read), (std::vector<double>{0.5 + 0.1}));  // 500000 us, then 100000 us
}

TEST(MidiFileSysex, SmpteDivisionsCountFramesAndIgnoreTempo) {
  auto secondsAt = [](std::uint16_t division, std::uint32_t ticks) {
    const auto read = readMidiFileSysex(header(0, 1, division) +
                                        track({tempo(0, 100000), sysex(ticks, 0xF0, {0xF7})}));
    EXPECT_TRUE(read.ok) << read.error;
    return read.ok ? read.messages.at(0).seconds : -1;
  };
  EXPECT_DOUBLE_EQ(secondsAt(0xE728, 1000), 1.0);  // 25 frames of 40 ticks
  EXPECT_DOUBLE_EQ(secondsAt(0xE850, 1920), 1.0);  // 24 frames of 80 ticks
  EXPECT_DOUBLE_EQ(secondsAt(0xE204, 120), 1.0);   // 30 frames of 4 ticks
  EXPECT_DOUBLE_EQ(secondsAt(0xE301, 30), 1.001);  // 29.97 frames of 1 tick
}

TEST(MidiFileSysex, NumbersOfFourBytesAndLongMessagesAreRead) {
  Bytes data(300, 0x55);
  data.push_back(0xF7);
  const auto read = readMidiFileSysex(header(0, 1, 96) +
                                      track({num(0x0FFFFFFF) + Bytes{0xF0, 0x82, 0x2D} + data}));
  ASSERT_TRUE(read.ok) << read.error;
  ASSERT_EQ(read.messages.size(), 1u);
  EXPECT_EQ(read.messages[0].length, 302u);
  EXPECT_DOUBLE_EQ(read.messages[0].seconds, 0x0FFFFFFF / 96.0 * 0.5);
}

// One malformed file per fault: the offset named, and the start of the reason.
struct Fault {
  const char* what;
  Bytes file;
  std::size_t offset;
  std::string reason;
};

TEST(MidiFileSysex, EachFaultIsNamedWithItsByteOffset) {
  const Bytes h = header(1, 1, 96);  // 14 bytes: a track's events begin at 22
  const std::size_t events = 22;
  auto oneTrack = [&](const Bytes& body) { return h + chunk("MTrk", body); };
  const std::vector<Fault> faults = {
      {"not a MIDI file", {'R', 'I', 'F', 'F', 0, 0, 0, 6}, 0, "no MThd header"},
      {"header cut in its heading", {'M', 'T', 'h', 'd', 0, 0}, 4, "the file ends inside"},
      {"header of 5 bytes", chunk("MThd", {0, 1, 0, 1, 0}), 4, "header chunk of 5 bytes"},
      {"header longer than the file", Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 9, 0, 0, 0, 1, 0, 96}, 4,
       "header chunk of 9 bytes runs past"},
      {"format 2", header(2, 1, 96) + track({}), 8, "format 2 (independent sequences"},
      {"format 7", header(7, 1, 96), 8, "unknown format 7"},
      {"division of 0 ticks", header(0, 1, 0), 12, "division of 0 ticks per quarter"},
      {"23 frames a second", header(0, 1, 0xE928), 12, "division of 23 SMPTE frames"},
      {"0 ticks a frame", header(0, 1, 0xE700), 12, "division of 0 ticks per SMPTE frame"},
      {"fewer tracks than announced", header(1, 2, 96) + track({endOfTrack()}), 26,
       "the file ends after 1 of the 2 tracks"},
      {"chunk heading cut", h + Bytes{'M', 'T', 'r'}, 14,
       "the file ends inside a chunk heading after 0 of the 1 tracks"},
      {"chunk longer than the file", h + Bytes{'M', 'T', 'r', 'k', 0, 0, 1, 0, 0, 0xFF}, 18,
       "chunk \"MTrk\" of 256 bytes runs past the end of the file, 2 bytes after"},
      {"unknown chunk longer than the file", h + Bytes{1, 2, 3, 4, 0x7F, 0, 0, 0}, 18,
       "chunk of type 01020304 of 2130706432 bytes runs past"},
      {"delta-time of 5 bytes", oneTrack({0x00, 0x90, 0x3C, 0x40, 0x81, 0x82, 0x83, 0x84, 0x05}),
       events + 4, "variable-length number longer than 4 bytes"},
      {"length of 5 bytes", oneTrack({0x00, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}), events + 2,
       "variable-length number longer than 4 bytes"},
      {"delta-time cut by the track's end", oneTrack({0x00, 0xFF, 0x01, 0x00, 0x81}), events + 4,
       "delta-time cut off by the end of the track"},
      {"delta-time without event", oneTrack({0x00, 0xF0, 0x01, 0xF7, 0x10}), events + 4,
       "the track ends after this delta-time"},
      {"System Exclusive longer than its track",
       oneTrack(sysex(0, 0xF0, {0x01, 0x02, 0xF7}) + Bytes{0x00, 0xF0, 0x05, 0x01, 0xF7}) +
           chunk("XTRA", Bytes(20, 0)),  // the file goes on: the track's end counts
       events + 7, "System Exclusive event of 5 bytes runs past the end of its track (byte 0x"},
      {"System Exclusive length cut", oneTrack({0x00, 0xF7, 0x81}), events + 2,
       "System Exclusive event length cut off"},
      {"meta event longer than its track", oneTrack({0x00, 0xFF, 0x03, 0x04, 'a', 'b'}), events + 1,
       "meta event of 4 bytes runs past"},
      {"meta event cut after FF", oneTrack({0x00, 0xFF}), events + 1,
       "meta event cut off by the end of the track"},
      {"channel message cut", oneTrack({0x00, 0x90, 0x3C}), events + 1,
       "channel message cut off by the end of the track"},
      {"running status with no status", oneTrack({0x00, 0xFF, 0x01, 0x00, 0x00, 0x3C, 0x40}),
       events + 5, "running status with no prior status (data byte 0x3C)"},
      {"a real-time byte as an event", oneTrack({0x00, 0xF0, 0x01, 0xF7, 0x00, 0xF8}), events + 5,
       "status byte 0xF8 cannot stand in a track"},
      {"a status byte among a note's data", oneTrack({0x00, 0x90, 0x3C, 0x80}), events + 3,
       "byte 0x80 where a data byte of a channel message belongs"},
      {"a status byte inside a message", oneTrack(sysex(0, 0xF0, {0x43, 0x90, 0x01, 0xF7})),
       events + 4, "byte 0x90 inside a System Exclusive message"},
      {"a status byte inside a packet",
       oneTrack(sysex(0, 0xF0, {0x43}) + sysex(0, 0xF7, {0x01, 0xF0, 0xF7})), events + 8,
       "byte 0xF0 inside a System Exclusive message"},
      {"tempo of 2 bytes", oneTrack({0x00, 0xFF, 0x51, 0x02, 0x07, 0xA1}), events + 1,
       "tempo event of 2 bytes; it has 3"},
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.what);
    const auto read = readMidiFileSysex(fault.file);
    EXPECT_FALSE(read.ok);
    EXPECT_EQ(read.errorOffset, fault.offset) << read.error;
    EXPECT_EQ(read.error.rfind(fault.reason, 0), 0u) << read.error;
    EXPECT_TRUE(read.messages.empty() && read.bytes.empty());
  }
}

TEST(MidiFileSysex, OnlyFilesBeginningWithMThdLookLikeMidiFiles) {
  EXPECT_TRUE(byteloom::looksLikeMidiFile(header(0, 0, 96)));
  EXPECT_FALSE(byteloom::looksLikeMidiFile(Bytes{'M', 'T', 'h'}));
  EXPECT_FALSE(byteloom::looksLikeMidiFile(Bytes{0xF0, 'M', 'T', 'h', 'd'}));
  // A header of no tracks is a file of no messages, not a fault.
  const auto read = readMidiFileSysex(header(0, 0, 96));
  EXPECT_TRUE(read.ok);
  EXPECT_TRUE(read.messages.empty());
}

}  // namespace
