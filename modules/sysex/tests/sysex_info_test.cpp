// What `sysex_tool info` finds in bytes (tools/sysex_info.h): where
// messages begin and end, what is flagged, the maker and header fields of
// real devices' messages, and the two report forms.
#include "sysex_info.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace {

using sysex_tool::analyseBytes;
using sysex_tool::Checksum;
using sysex_tool::FileInfo;
using sysex_tool::MessageInfo;
using Bytes = std::vector<std::uint8_t>;

// "name value (meaning)" of every field, as the text report shows them.
std::string fieldsOf(const MessageInfo& m) {
  std::string text;
  for (const sysex_tool::InfoField& f : m.fields)
    text += (text.empty() ? "" : ", ") + f.name + " " + f.value +
            (f.meaning.empty() ? "" : " (" + f.meaning + ")");
  return text;
}

// The one message of `info` (a copy: `info` is often a temporary).
MessageInfo only(const FileInfo& info) {
  EXPECT_EQ(info.messages.size(), 1u);
  return info.messages.empty() ? MessageInfo() : info.messages[0];
}

TEST(SysexInfoMessages, EachMessageRunsFromItsF0ToItsF7AndWhatIsLeftIsOutside) {
  const Bytes bytes = {0xC0, 0x05,                    // a program change: outside
                       0xF0, 0x43, 0x10, 0x01, 0xF7,  // complete
                       0xF0, 0x41, 0x10,              // cut by the next F0
                       0xF0, 0x01, 0x90, 0x3C, 0xF7,  // a note's status inside
                       0xFE, 0x00,                    // outside
                       0xF0, 0x7E, 0x00};             // the file ends first
  const FileInfo info = analyseBytes(bytes);
  ASSERT_EQ(info.messages.size(), 4u);
  const size_t offsets[] = {2, 7, 10, 17}, lengths[] = {5, 3, 5, 3};
  const bool terminated[] = {true, false, true, false};
  for (size_t k = 0; k < 4; ++k) {
    EXPECT_EQ(info.messages[k].index, k + 1);
    EXPECT_EQ(info.messages[k].offset, offsets[k]) << k;
    EXPECT_EQ(info.messages[k].length, lengths[k]) << k;
    EXPECT_EQ(info.messages[k].terminated, terminated[k]) << k;
  }
  EXPECT_EQ(info.messages[2].highBitBytes, 1u);
  EXPECT_EQ(info.messages[2].firstHighBit, 12u);
  ASSERT_EQ(info.outside.size(), 2u);
  EXPECT_EQ(info.outside[0].offset, 0u);
  EXPECT_EQ(info.outside[0].length, 2u);
  EXPECT_EQ(info.outside[0].first, "C0 05");
  EXPECT_EQ(info.outside[1].offset, 15u);
  EXPECT_EQ(info.outside[1].first, "FE 00");
  EXPECT_EQ(info.bytesInMessages + info.bytesOutside, bytes.size());
  EXPECT_EQ(info.unterminated, 2u);
  EXPECT_EQ(info.highBitBytes, 1u);
  EXPECT_EQ(info.problems(), 5u);  // two runs outside, two cut messages, one with a high bit
  EXPECT_EQ(info.makers.size(), 4u);
}

TEST(SysexInfoMessages, NothingButMessagesHasNoProblemAndEmptyBytesNoMessage) {
  const FileInfo clean = analyseBytes(Bytes{0xF0, 0x7D, 0x01, 0xF7, 0xF0, 0x7D, 0xF7});
  EXPECT_EQ(clean.messages.size(), 2u);
  EXPECT_EQ(clean.problems(), 0u);
  ASSERT_EQ(clean.makers.size(), 1u);
  EXPECT_EQ(clean.makers[0].maker, "non-commercial");
  EXPECT_EQ(clean.makers[0].messages, 2u);
  const FileInfo empty = analyseBytes(Bytes{});
  EXPECT_TRUE(empty.messages.empty());
  EXPECT_EQ(empty.problems(), 0u);
  // A long run outside is shown by its first eight bytes.
  const FileInfo junk = analyseBytes(Bytes(20, 0x01));
  ASSERT_EQ(junk.outside.size(), 1u);
  EXPECT_EQ(junk.outside[0].length, 20u);
  EXPECT_EQ(junk.outside[0].first, "01 01 01 01 01 01 01 01 ...");
  // An F0 F7 has no maker ID at all.
  EXPECT_EQ(only(analyseBytes(Bytes{0xF0, 0xF7})).makerId, "");
}

// The GS reset, as Roland's manuals print it: F0 41 10 42 12 40 00 7F 00 41 F7.
const Bytes kGsReset = {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7};

TEST(SysexInfoRoland, ADataSetsChecksumIsCheckedWhateverTheModelIdsLength) {
  const MessageInfo reset = only(analyseBytes(kGsReset));
  EXPECT_EQ(reset.maker, "Roland");
  EXPECT_EQ(fieldsOf(reset), "device 10, model 42, command 12 (DT1)");
  EXPECT_EQ(reset.checksum, Checksum::kGood);
  for (size_t at : {5u, 8u, 9u}) {  // address, data, checksum
    Bytes changed = kGsReset;
    ++changed[at];
    const FileInfo info = analyseBytes(changed);
    EXPECT_EQ(only(info).checksum, Checksum::kBad) << at;
    EXPECT_EQ(only(info).checksumRest, 1u) << at;
    EXPECT_EQ(info.badChecksums, 1u);
    EXPECT_EQ(info.problems(), 1u);
  }
  // A model ID of four bytes, a checksum of 0 (the sum is 128 already).
  const MessageInfo four = only(analyseBytes(
      Bytes{0xF0, 0x41, 0x10, 0x00, 0x00, 0x00, 0x0E, 0x12, 0x19, 0x01, 0x00, 0x66, 0x00, 0xF7}));
  EXPECT_EQ(fieldsOf(four), "device 10, model 00 00 00 0E, command 12 (DT1)");
  EXPECT_EQ(four.checksum, Checksum::kGood);
  // Not checked: a request (RQ1), and a data set cut before its F7.
  EXPECT_EQ(only(analyseBytes(Bytes{0xF0, 0x41, 0x10, 0x42, 0x11, 0x40, 0x00, 0x7F, 0x00, 0x00,
                                    0x01, 0x42, 0xF7}))
                .checksum,
            Checksum::kNotChecked);
  EXPECT_EQ(only(analyseBytes(std::span(kGsReset).first(10))).checksum, Checksum::kNotChecked);
}

TEST(SysexInfoMakers, HeaderFieldsWhereEachMakersFormatPutsThem) {
  struct Case {
    Bytes bytes;
    const char* maker;
    const char* fields;
  } cases[] = {
      {{0xF0, 0x43, 0x00, 0x09, 0x20, 0x00, 0x01, 0xF7},
       "Yamaha",
       "sub-status 0 (bulk dump), device 0, format 09, count 20 00 (4096 bytes)"},
      {{0xF0, 0x43, 0x13, 0x00, 0x41, 0x7F, 0xF7},
       "Yamaha",
       "sub-status 1 (parameter change), device 3, group 00"},
      {{0xF0, 0x42, 0x3F, 0x28, 0x4C, 0x01, 0xF7},
       "Korg",
       "format 3, channel F (MIDI channel 16), model 28, function 4C"},
      {{0xF0, 0x3E, 0x13, 0x00, 0x10, 0x00, 0xF7}, "Waldorf", "model 13, device 00, command 10"},
      {{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7},
       "universal non-real-time",
       "device 7F (all devices), sub-id 1 06 (general information), sub-id 2 01 (identity "
       "request)"},
      {{0xF0, 0x7E, 0x10, 0x09, 0x03, 0xF7},
       "universal non-real-time",
       "device 10, sub-id 1 09 (General MIDI), sub-id 2 03 (General MIDI 2 on)"},
      {{0xF0, 0x7E, 0x00, 0x7F, 0x05, 0xF7},
       "universal non-real-time",
       "device 00, sub-id 1 7F (ACK)"},  // the packet number is no sub-ID
      {{0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x00, 0x7F, 0xF7},
       "universal real-time",
       "device 7F (all devices), sub-id 1 04 (device control), sub-id 2 01 (master volume)"},
      {{0xF0, 0x00, 0x20, 0x33, 0x01, 0xF7}, "Access Music Electronics", ""},
      {{0xF0, 0x00, 0x01, 0x77, 0x7F, 0xF7}, "Nektar Technology", ""},
  };
  for (const Case& c : cases) {
    const MessageInfo m = only(analyseBytes(c.bytes));
    EXPECT_EQ(m.maker, c.maker);
    EXPECT_EQ(fieldsOf(m), c.fields) << c.maker;
  }
}

TEST(SysexInfoMakers, TheTableKnowsTheListsEndsAndShowsOtherIdsByTheirBytes) {
  using sysex_tool::manufacturerName;
  const std::pair<Bytes, const char*> known[] = {{{0x01}, "Sequential Circuits"},
                                                 {{0x7F}, "universal real-time"},
                                                 {{0x41}, "Roland"},
                                                 {{0x00, 0x00, 0x0E}, "Alesis"},
                                                 {{0x00, 0x20, 0x29}, "Focusrite/Novation"},
                                                 {{0x00, 0x21, 0x09}, "Native Instruments"}};
  for (const auto& [id, name] : known) {
    ASSERT_NE(manufacturerName(id), nullptr) << name;
    EXPECT_STREQ(manufacturerName(id), name);
  }
  for (const Bytes& id : {Bytes{0x00}, Bytes{0x02}, Bytes{0x00, 0x41}, Bytes{0x00, 0x7F, 0x7F},
                          Bytes{0x41, 0x00, 0x00}, Bytes{}})
    EXPECT_EQ(manufacturerName(id), nullptr);
  const MessageInfo unknown = only(analyseBytes(Bytes{0xF0, 0x00, 0x7F, 0x7F, 0x01, 0xF7}));
  EXPECT_EQ(unknown.makerId, "00 7F 7F");
  EXPECT_EQ(unknown.maker, "");
  // A three-byte ID cut short by the F7 shows what there is.
  EXPECT_EQ(only(analyseBytes(Bytes{0xF0, 0x00, 0x20, 0xF7})).makerId, "00 20");
}

TEST(SysexInfoReports, TextAndJsonTellTheSameMessagesRunsAndSummary) {
  Bytes bytes = kGsReset;
  bytes.insert(bytes.begin(), {0xC0, 0x05});
  bytes.insert(bytes.end(), {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x01, 0x41, 0xF7});
  bytes.insert(bytes.end(), {0xF0, 0x43, 0x90});
  const FileInfo info = analyseBytes(bytes);
  const std::string text = sysex_tool::formatInfoText(info, "dump.syx");
  std::vector<std::string> lines;
  for (size_t p = 0, q; (q = text.find('\n', p)) != std::string::npos; p = q + 1)
    lines.push_back(text.substr(p, q - p));
  ASSERT_EQ(lines.size(), 7u) << text;  // file, heading, a run, three messages, summary
  EXPECT_EQ(lines[0], "dump.syx: 27 bytes");
  EXPECT_NE(lines[2].find("outside messages: C0 05"), std::string::npos) << lines[2];
  EXPECT_NE(lines[3].find("checksum good"), std::string::npos) << lines[3];
  EXPECT_NE(lines[4].find("CHECKSUM WRONG"), std::string::npos) << lines[4];
  EXPECT_NE(lines[5].find("UNTERMINATED"), std::string::npos) << lines[5];
  EXPECT_NE(lines[5].find("1 data byte with the high bit set, the first at offset 26"),
            std::string::npos)
      << lines[5];
  EXPECT_EQ(lines[6],
            "3 messages (25 bytes); makers: Roland (2), Yamaha (1); 4 problems: 2 bytes outside "
            "messages in 1 run, the first at offset 0, 1 unterminated message, 1 data byte with "
            "the high bit set, 1 wrong checksum");
  const nlohmann::json json = nlohmann::json::parse(sysex_tool::formatInfoJson(info, "dump.syx"));
  EXPECT_EQ(json["file"], "dump.syx");
  EXPECT_EQ(json["messages"].size(), 3u);
  EXPECT_EQ(json["messages"][1]["checksum"], "wrong");
  EXPECT_EQ(json["messages"][2]["terminated"], false);
  EXPECT_EQ(json["outside"][0]["offset"], 0);
  EXPECT_EQ(json["summary"]["problems"], 4);
  EXPECT_EQ(json["summary"]["text"], lines[6]);
}

}  // namespace
