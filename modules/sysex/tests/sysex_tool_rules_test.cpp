// sysex_tool's rules without files or ports: which port a name means, which
// bytes of a file are complete System Exclusive messages, what of a
// recording is kept, where a byte of a hex text stands, and the numbers the
// command line takes.
#include "sysex_tool_rules.h"

#include <gtest/gtest.h>

namespace {

using sysex_tool::matchPort;
using sysex_tool::Piece;
using sysex_tool::scanMessages;
using Names = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

// JACK's names of two clients whose names begin alike, and a system port.
const Names kJack = {"thru:in", "thru2:in", "system:midi_playback_1"};

TEST(SysexToolPortMatch, APartOfOneNameInAnyCaseChoosesIt) {
  EXPECT_EQ(matchPort(kJack, "thru2").index, 1);
  EXPECT_EQ(matchPort(kJack, "THRU2").index, 1);
  EXPECT_EQ(matchPort(kJack, "Playback").index, 2);
  EXPECT_EQ(matchPort({"Synth A", "Port B, rear"}, "port b").index, 1);
}

TEST(SysexToolPortMatch, AnExactNameWinsOverNamesThatHoldIt) {
  EXPECT_EQ(matchPort(kJack, "thru:in").index, 0);
  EXPECT_EQ(matchPort({"Synth", "Synth B"}, "Synth").index, 0);
  EXPECT_EQ(matchPort({"Synth B", "synth"}, "SYNTH").index, 1);  // exact in any case
  // Case decides only between names equal in any case.
  EXPECT_EQ(matchPort({"SYNTH", "Synth", "synth"}, "Synth").index, 1);
}

TEST(SysexToolPortMatch, APartOfSeveralNamesChoosesNoneAndListsThem) {
  const sysex_tool::PortMatch thru = matchPort(kJack, "thru");
  EXPECT_EQ(thru.index, -1);
  EXPECT_EQ(thru.candidates, (Names{"thru:in", "thru2:in"}));
  const sysex_tool::PortMatch any = matchPort(kJack, ":");
  EXPECT_EQ(any.candidates, kJack);
  // Equal in any case, but neither exactly.
  const sysex_tool::PortMatch twoCases = matchPort({"SYNTH", "synth", "Synth B"}, "Synth");
  EXPECT_EQ(twoCases.index, -1);
  EXPECT_EQ(twoCases.candidates, (Names{"SYNTH", "synth"}));
}

TEST(SysexToolPortMatch, ANameThatFitsNothingChoosesNoneAndListsNone) {
  for (const Names& names : {kJack, Names{}}) {
    const sysex_tool::PortMatch none = matchPort(names, "keys");
    EXPECT_EQ(none.index, -1);
    EXPECT_TRUE(none.candidates.empty());
  }
  EXPECT_EQ(matchPort(kJack, "thru:in ").index, -1);  // not trimmed: a part is a part
}

TEST(SysexToolMessageScan, CompleteMessagesAloneAreTheWholeFile) {
  const Bytes two = {0xF0, 0x41, 0x10, 0xF7, 0xF0, 0xF7};
  const sysex_tool::MessageScan scan = scanMessages(two);
  EXPECT_EQ(scan.messages, (std::vector<Piece>{{0, 4}, {4, 2}}));
  EXPECT_EQ(scan.outside, 0u);
  EXPECT_EQ(scan.unfinished, 0u);
}

TEST(SysexToolMessageScan, BytesBetweenMessagesAreCountedFromTheFirst) {
  // A program change before each message, as in banks that select a program
  // and then dump it; a stray F7 counts too.
  const Bytes bank = {0xC0, 0x00, 0xF0, 0x01, 0xF7, 0xC0, 0x01, 0xF0, 0x02, 0xF7, 0xF7};
  const sysex_tool::MessageScan scan = scanMessages(bank);
  EXPECT_EQ(scan.messages, (std::vector<Piece>{{2, 3}, {7, 3}}));
  EXPECT_EQ(scan.outside, 5u);
  EXPECT_EQ(scan.firstOutside, 0u);
  EXPECT_EQ(scan.unfinished, 0u);
}

TEST(SysexToolMessageScan, AMessageWithoutItsF7IsUnfinished) {
  // Cut by the end of the file.
  sysex_tool::MessageScan scan = scanMessages(Bytes{0xF0, 0x01, 0xF7, 0xF0, 0x02, 0x03});
  EXPECT_EQ(scan.messages, (std::vector<Piece>{{0, 3}}));
  EXPECT_EQ(scan.unfinished, 1u);
  EXPECT_EQ(scan.firstUnfinished, 3u);
  EXPECT_EQ(scan.firstUnfinishedEnd, 6u);
  EXPECT_EQ(scan.outside, 0u);
  // Cut by the next F0, which begins a complete message.
  scan = scanMessages(Bytes{0xF0, 0x01, 0xF0, 0x02, 0xF7});
  EXPECT_EQ(scan.messages, (std::vector<Piece>{{2, 3}}));
  EXPECT_EQ(scan.unfinished, 1u);
  EXPECT_EQ(scan.firstUnfinished, 0u);
  EXPECT_EQ(scan.firstUnfinishedEnd, 2u);
  // Cut by a status byte, which a device takes as a message of its own: the
  // note-on and what follows lie outside messages.
  scan = scanMessages(Bytes{0xF0, 0x43, 0x90, 0x3C, 0x40, 0xF7});
  EXPECT_TRUE(scan.messages.empty());
  EXPECT_EQ(scan.unfinished, 1u);
  EXPECT_EQ(scan.firstUnfinishedEnd, 2u);
  EXPECT_EQ(scan.outside, 4u);
  EXPECT_EQ(scan.firstOutside, 2u);
  // Several: counted, the first one named.
  scan = scanMessages(Bytes{0x00, 0xF0, 0xF0, 0xF0});
  EXPECT_EQ(scan.unfinished, 3u);
  EXPECT_EQ(scan.firstUnfinished, 1u);
  EXPECT_EQ(scan.outside, 1u);
}

TEST(SysexToolMessageScan, RawCutsAfterEachF7WhateverLiesBetween) {
  EXPECT_EQ(sysex_tool::cutAfterEachF7(Bytes{0xF0, 0x01, 0xF7, 0x09}),
            (std::vector<Piece>{{0, 3}, {3, 1}}));
  EXPECT_EQ(sysex_tool::cutAfterEachF7(Bytes{0xF0, 0x01, 0x02}), (std::vector<Piece>{{0, 3}}));
  EXPECT_EQ(sysex_tool::cutAfterEachF7(Bytes{0xF7}), (std::vector<Piece>{{0, 1}}));
  EXPECT_TRUE(sysex_tool::cutAfterEachF7(Bytes{}).empty());
}

TEST(SysexToolRecording, AMessageStillOpenAtTheEndIsLeftOut) {
  EXPECT_EQ(sysex_tool::wholeMessagesEnd(Bytes{0xF0, 0x01, 0xF7, 0xF0, 0x02}), 3u);
  EXPECT_EQ(sysex_tool::wholeMessagesEnd(Bytes{0xF0, 0x01}), 0u);
  // Whole ones, and short messages after them, stay.
  EXPECT_EQ(sysex_tool::wholeMessagesEnd(Bytes{0xF0, 0x01, 0xF7}), 3u);
  EXPECT_EQ(sysex_tool::wholeMessagesEnd(Bytes{0xF0, 0x01, 0xF7, 0xC0, 0x05}), 5u);
  EXPECT_EQ(sysex_tool::wholeMessagesEnd(Bytes{0x90, 0x3C, 0x40}), 3u);
  EXPECT_EQ(sysex_tool::wholeMessagesEnd(Bytes{}), 0u);
}

TEST(SysexToolHexText, TheLineOfATokenCountsEveryKindOfLineEnd) {
  // A heading line, a blank line, then messages; LF, CR LF and a lone CR.
  const std::string text = "   cm tg\n\nF0 01,F7\r\nF0\r02 F7\n";
  EXPECT_EQ(sysex_tool::lineOfToken(text, 0), 1u);  // cm
  EXPECT_EQ(sysex_tool::lineOfToken(text, 1), 1u);  // tg
  EXPECT_EQ(sysex_tool::lineOfToken(text, 2), 3u);  // F0
  EXPECT_EQ(sysex_tool::lineOfToken(text, 4), 3u);  // F7 after a comma
  EXPECT_EQ(sysex_tool::lineOfToken(text, 5), 4u);
  EXPECT_EQ(sysex_tool::lineOfToken(text, 6), 5u);  // after a lone CR
  EXPECT_EQ(sysex_tool::lineOfToken(text, 8), 0u);  // no such token
}

TEST(SysexToolNumbers, OnlyAFiniteNumberWithinTheLimitsIsTaken) {
  double value = -1;
  for (const char* wrong : {"", "abc", "0", "-1", "3601", "2s", " 2", "nan", "inf", "1e999"})
    EXPECT_FALSE(sysex_tool::readNumber(wrong, 0.1, 3600, value)) << '"' << wrong << '"';
  EXPECT_EQ(value, -1);
  for (const auto& [text, read] : std::vector<std::pair<const char*, double>>{
           {"0.1", 0.1}, {"2", 2}, {"3600", 3600}, {"1e1", 10}}) {
    EXPECT_TRUE(sysex_tool::readNumber(text, 0.1, 3600, value)) << text;
    EXPECT_EQ(value, read);
  }
}

TEST(SysexToolCounts, OneTakesTheSingular) {
  EXPECT_EQ(sysex_tool::counted(1, "message", "messages"), "1 message");
  EXPECT_EQ(sysex_tool::counted(0, "message", "messages"), "0 messages");
  EXPECT_EQ(sysex_tool::counted(2, "byte", "bytes"), "2 bytes");
}

}  // namespace

namespace {

using sysex_tool::answeringOutput;

// The output a request goes to when the user names none: a device's output
// of the input's own name (ALSA, DirectMusic), else the output named like
// the input with its word of direction turned round, never a port that
// merely shares a client or a beginning.
TEST(SysexToolAnsweringOutput, TheOutputOfTheSameNameOrWithItsDirectionTurned) {
  EXPECT_EQ(answeringOutput({"Synth A", "UM-ONE", "Synth B"}, "UM-ONE").index, 1);
  const Names jack = {"thru:in", "synth_in:midi", "synth2_in:midi", "system:midi_playback_1",
                      "a2j:UM-ONE [20] (playback): UM-ONE MIDI 1"};
  EXPECT_EQ(answeringOutput(jack, "synth_out:midi").index, 1);
  EXPECT_EQ(answeringOutput(jack, "thru:out").index, 0);
  EXPECT_EQ(answeringOutput(jack, "system:midi_capture_1").index, 3);
  EXPECT_EQ(answeringOutput(jack, "a2j:UM-ONE [20] (capture): UM-ONE MIDI 1").index, 4);
  EXPECT_EQ(answeringOutput({"Port Output"}, "PORT INPUT").index, 0);  // in any case
  // The same name wins over a turned one.
  EXPECT_EQ(answeringOutput({"dev:in", "dev:out"}, "dev:out").index, 1);
}

TEST(SysexToolAnsweringOutput, NoneOrSeveralChooseNothing) {
  EXPECT_EQ(answeringOutput({"Synth A"}, "Keys In").index, -1);
  EXPECT_TRUE(answeringOutput({"Synth A"}, "Keys In").candidates.empty());
  EXPECT_EQ(answeringOutput({"synth:in 2"}, "synth:out").index,
            -1);                                                  // a client alone is not enough
  EXPECT_EQ(answeringOutput({"stdin:x"}, "stdout:x").index, -1);  // words, not parts of words
  EXPECT_EQ(answeringOutput({}, "synth:out").index, -1);
  // "in out" turned either way: two outputs fit, none is chosen.
  const sysex_tool::PortMatch two = answeringOutput({"out out", "in in", "x"}, "in out");
  EXPECT_EQ(two.index, -1);
  EXPECT_EQ(two.candidates, (Names{"out out", "in in"}));
}

// Counting a recording's messages as it arrives in pieces must give what
// scanning it whole gives, wherever the pieces are cut, and stop exactly
// after the message asked for.
TEST(SysexToolMessageCounter, CountsAsScanningWholeDoesWhereverTheRecordingIsCut) {
  const Bytes recording = {0x90, 0x3C, 0x40, 0xF0, 0x43, 0x10, 0xF7, 0xF0, 0x01,
                           0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7, 0xF0, 0x41, 0x90,
                           0xF7, 0xF0, 0x02, 0x03, 0xF7, 0xF0, 0x05};
  const sysex_tool::MessageScan whole = scanMessages(recording);
  for (size_t piece = 1; piece <= recording.size(); ++piece) {
    sysex_tool::MessageCounter counter;
    for (size_t p = 0; p < recording.size(); p += piece)
      counter.feed(std::span(recording).subspan(p, std::min(piece, recording.size() - p)));
    EXPECT_EQ(counter.complete, whole.messages.size()) << "pieces of " << piece;
    EXPECT_EQ(counter.end, whole.messages.back().offset + whole.messages.back().length);
  }
  for (size_t limit = 1; limit <= whole.messages.size(); ++limit) {
    sysex_tool::MessageCounter counter;
    counter.feed(std::span(recording).first(10), limit);
    counter.feed(std::span(recording).subspan(10), limit);
    EXPECT_EQ(counter.complete, limit);
    const Piece last = whole.messages[limit - 1];
    EXPECT_EQ(counter.end, last.offset + last.length) << "limit " << limit;
  }
}

}  // namespace
