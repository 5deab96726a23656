// The analysis behind `sysex_tool info` and its two report forms.
#include "sysex_info.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>

namespace sysex_tool {
namespace {

constexpr std::uint8_t kStart = 0xF0;
constexpr std::uint8_t kEnd = 0xF7;
// Bytes of a run outside messages shown in the report.
constexpr size_t kShownOutside = 8;

std::string hexBytes(std::span<const std::uint8_t> bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  for (std::uint8_t b : bytes) {
    if (!text.empty()) text += ' ';
    text += digits[b >> 4];
    text += digits[b & 15];
  }
  return text;
}

std::string hexNibble(unsigned value) {
  return std::string(1, "0123456789ABCDEF"[value & 15]);
}

void add(MessageInfo& m, const char* name, std::string value, std::string meaning = {}) {
  m.fields.push_back({name, std::move(value), std::move(meaning)});
}

const char* rolandCommand(std::uint8_t command) {
  switch (command) {
    case 0x11:
      return "RQ1";
    case 0x12:
      return "DT1";
    case 0x40:
      return "WSD";
    case 0x41:
      return "RQD";
    case 0x42:
      return "DAT";
    case 0x43:
      return "ACK";
    case 0x45:
      return "EOD";
    case 0x4E:
      return "ERR";
    case 0x4F:
      return "RJC";
    default:
      return "";
  }
}

// F0 41 device model... command ...: the model ID is one byte, or as long as
// the device makes it by leading 00 bytes (at most 4 bytes in all). A data
// set (DT1) ends with a checksum that makes the bytes after the command
// (address, data and the checksum itself) sum to a multiple of 128, whatever
// the address's length.
void describeRoland(MessageInfo& m, std::span<const std::uint8_t> rest, bool terminated) {
  if (rest.empty()) return;
  add(m, "device", hexBytes(rest.first(1)));
  size_t end = 1;
  while (end < rest.size() && end < 4 && rest[end] == 0x00) ++end;
  if (end >= rest.size()) return;
  ++end;  // the model's last byte
  add(m, "model", hexBytes(rest.subspan(1, end - 1)));
  if (end >= rest.size()) return;
  const std::uint8_t command = rest[end];
  add(m, "command", hexBytes(rest.subspan(end, 1)), rolandCommand(command));
  const std::span<const std::uint8_t> checked = rest.subspan(end + 1);
  if (command != 0x12 || !terminated || checked.size() < 2) return;
  unsigned sum = 0;
  for (std::uint8_t b : checked) sum += b;
  m.checksumRest = static_cast<std::uint8_t>(sum & 0x7F);
  m.checksum = m.checksumRest == 0 ? Checksum::kGood : Checksum::kBad;
}

// F0 43 sn ff ...: sub-status (high nibble) and device number (low nibble),
// then the format number of a dump (or the parameter group of a change);
// a bulk dump gives its byte count in the next two bytes, 7 bits each.
void describeYamaha(MessageInfo& m, std::span<const std::uint8_t> rest) {
  if (rest.empty()) return;
  const unsigned sub = rest[0] >> 4;
  const char* meanings[] = {"bulk dump", "parameter change", "dump request", "parameter request"};
  add(m, "sub-status", hexNibble(sub), sub < 4 ? meanings[sub] : "");
  add(m, "device", hexNibble(rest[0]));
  if (rest.size() < 2) return;
  add(m, sub == 1 ? "group" : "format", hexBytes(rest.subspan(1, 1)));
  if (sub == 0 && rest.size() >= 4)
    add(m, "count", hexBytes(rest.subspan(2, 2)),
        std::to_string((rest[2] & 0x7F) << 7 | (rest[3] & 0x7F)) + " bytes");
}

// F0 42 3n model function ...: the channel in the low nibble (shown as the
// channel number 1..16 too), a model ID of one byte or of three beginning
// with 00, then the function.
void describeKorg(MessageInfo& m, std::span<const std::uint8_t> rest) {
  if (rest.empty()) return;
  add(m, "format", hexNibble(rest[0] >> 4));
  add(m, "channel", hexNibble(rest[0]), "MIDI channel " + std::to_string((rest[0] & 15) + 1));
  if (rest.size() < 2) return;
  const size_t model = rest[1] == 0x00 && rest.size() >= 4 ? 3 : 1;
  add(m, "model", hexBytes(rest.subspan(1, model)));
  if (rest.size() > 1 + model) add(m, "function", hexBytes(rest.subspan(1 + model, 1)));
}

// F0 3E model device command ...
void describeWaldorf(MessageInfo& m, std::span<const std::uint8_t> rest) {
  const char* names[] = {"model", "device", "command"};
  for (size_t k = 0; k < 3 && k < rest.size(); ++k) add(m, names[k], hexBytes(rest.subspan(k, 1)));
}

struct SubId {
  std::uint8_t first;
  int second;  // -1: the message has no second sub-ID
  const char* meaning;
};

constexpr SubId kNonRealTime[] = {
    {0x01, -1, "sample dump header"},
    {0x02, -1, "sample data packet"},
    {0x03, -1, "sample dump request"},
    {0x04, 0, "MIDI time code"},
    {0x05, 0, "sample dump extensions"},
    {0x06, 0, "general information"},
    {0x06, 0x01, "identity request"},
    {0x06, 0x02, "identity reply"},
    {0x07, 0, "file dump"},
    {0x08, 0, "MIDI tuning standard"},
    {0x09, 0, "General MIDI"},
    {0x09, 0x01, "General MIDI 1 on"},
    {0x09, 0x02, "General MIDI off"},
    {0x09, 0x03, "General MIDI 2 on"},
    {0x7B, -1, "end of file"},
    {0x7C, -1, "wait"},
    {0x7D, -1, "cancel"},
    {0x7E, -1, "NAK"},
    {0x7F, -1, "ACK"},
};

constexpr SubId kRealTime[] = {
    {0x01, 0, "MIDI time code"},
    {0x01, 0x01, "full time code"},
    {0x01, 0x02, "user bits"},
    {0x02, 0, "MIDI show control"},
    {0x03, 0, "notation information"},
    {0x04, 0, "device control"},
    {0x04, 0x01, "master volume"},
    {0x04, 0x02, "master balance"},
    {0x05, 0, "real-time MTC cueing"},
    {0x06, 0, "MIDI machine control command"},
    {0x07, 0, "MIDI machine control response"},
    {0x08, 0, "MIDI tuning standard"},
};

// F0 7E|7F device sub-ID-1 sub-ID-2 ...: device 7F addresses every device.
// An entry with `second` 0 names the family of a first sub-ID; an entry
// with -1 says that the family has no second sub-ID.
void describeUniversal(MessageInfo& m, std::span<const std::uint8_t> rest, bool realTime) {
  if (rest.empty()) return;
  add(m, "device", hexBytes(rest.first(1)), rest[0] == 0x7F ? "all devices" : "");
  if (rest.size() < 2) return;
  const std::span<const SubId> table =
      realTime ? std::span<const SubId>(kRealTime) : std::span<const SubId>(kNonRealTime);
  const SubId* family = nullptr;
  const SubId* exact = nullptr;
  for (const SubId& s : table) {
    if (s.first != rest[1]) continue;
    if (s.second <= 0) family = &s;
    if (rest.size() >= 3 && s.second == rest[2]) exact = &s;
  }
  add(m, "sub-id 1", hexBytes(rest.subspan(1, 1)), family ? family->meaning : "");
  if (rest.size() < 3 || (family && family->second < 0)) return;
  add(m, "sub-id 2", hexBytes(rest.subspan(2, 1)), exact ? exact->meaning : "");
}

// The maker and header fields of message `m`, whose bytes between its F0
// and its F7 (or the cut) are `body`.
void describe(MessageInfo& m, std::span<const std::uint8_t> body) {
  if (body.empty()) return;
  const size_t idLength = body[0] == 0x00 ? 3 : 1;
  const std::span<const std::uint8_t> id = body.first(std::min(idLength, body.size()));
  m.makerId = hexBytes(id);
  if (id.size() == idLength)
    if (const char* name = manufacturerName(id)) m.maker = name;
  if (id.size() < idLength) return;
  const std::span<const std::uint8_t> rest = body.subspan(idLength);
  if (idLength != 1) return;
  switch (id[0]) {
    case 0x41:
      describeRoland(m, rest, m.terminated);
      break;
    case 0x43:
      describeYamaha(m, rest);
      break;
    case 0x42:
      describeKorg(m, rest);
      break;
    case 0x3E:
      describeWaldorf(m, rest);
      break;
    case 0x7E:
      describeUniversal(m, rest, false);
      break;
    case 0x7F:
      describeUniversal(m, rest, true);
      break;
    default:
      break;
  }
}

std::string counted(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string makerText(const MessageInfo& m) {
  if (m.makerId.empty()) return "(no maker ID)";
  return m.maker.empty() ? m.makerId : m.maker + " (" + m.makerId + ")";
}

std::string fieldsText(const MessageInfo& m) {
  std::string text;
  for (const InfoField& f : m.fields) {
    if (!text.empty()) text += ", ";
    text += f.name + " " + f.value;
    if (!f.meaning.empty()) text += " (" + f.meaning + ")";
  }
  return text;
}

// What is wrong with a message, "" when nothing.
std::string messageProblems(const MessageInfo& m, size_t fileBytes) {
  std::string text;
  auto also = [&](const std::string& what) { text += (text.empty() ? "" : "; ") + what; };
  if (!m.terminated)
    also(m.offset + m.length >= fileBytes ? "UNTERMINATED: the file ends before its F7"
                                          : "UNTERMINATED: an F0 follows before its F7");
  if (m.highBitBytes > 0)
    also(counted(m.highBitBytes, "data byte", "data bytes") +
         " with the high bit set, the first at "
         "offset " +
         std::to_string(m.firstHighBit));
  if (m.checksum == Checksum::kBad) {
    char sum[8];
    std::snprintf(sum, sizeof sum, "%02X", m.checksumRest);
    also(std::string("CHECKSUM WRONG: the bytes after the command sum to ") + sum +
         " modulo 128, not 00");
  }
  return text;
}

std::string summaryText(const FileInfo& info) {
  std::string text = counted(info.messages.size(), "message", "messages") + " (" +
                     counted(info.bytesInMessages, "byte", "bytes") + ")";
  if (!info.makers.empty()) {
    text += "; makers: ";
    for (size_t k = 0; k < info.makers.size(); ++k)
      text += (k ? ", " : "") + info.makers[k].maker + " (" +
              std::to_string(info.makers[k].messages) + ")";
  }
  std::string problems;
  auto also = [&](const std::string& what) { problems += (problems.empty() ? "" : ", ") + what; };
  if (info.bytesOutside > 0)
    also(counted(info.bytesOutside, "byte", "bytes") + " outside messages in " +
         counted(info.outside.size(), "run", "runs") + ", the first at offset " +
         std::to_string(info.outside.front().offset));
  if (info.unterminated > 0)
    also(counted(info.unterminated, "unterminated message", "unterminated messages"));
  if (info.highBitBytes > 0)
    also(counted(info.highBitBytes, "data byte", "data bytes") + " with the high bit set");
  if (info.badChecksums > 0) also(counted(info.badChecksums, "wrong checksum", "wrong checksums"));
  text +=
      "; " + (problems.empty() ? std::string("no problems")
                               : counted(info.problems(), "problem", "problems") + ": " + problems);
  return text;
}

}  // namespace

size_t FileInfo::problems() const {
  size_t n = outside.size() + unterminated + badChecksums;
  for (const MessageInfo& m : messages)
    if (m.highBitBytes > 0) ++n;
  return n;
}

FileInfo analyseBytes(std::span<const std::uint8_t> bytes) {
  FileInfo info;
  info.bytes = bytes.size();
  size_t i = 0;
  while (i < bytes.size()) {
    if (bytes[i] != kStart) {
      if (!info.outside.empty() && info.outside.back().offset + info.outside.back().length == i)
        ++info.outside.back().length;
      else
        info.outside.push_back({i, 1, {}});
      OutsideRun& run = info.outside.back();
      if (run.length <= kShownOutside)
        run.first = hexBytes(bytes.subspan(run.offset, run.length));
      else if (run.length == kShownOutside + 1)
        run.first += " ...";
      ++info.bytesOutside;
      ++i;
      continue;
    }
    MessageInfo m;
    m.index = info.messages.size() + 1;
    m.offset = i;
    for (++i; i < bytes.size() && bytes[i] != kEnd && bytes[i] != kStart; ++i)
      if (bytes[i] >= 0x80 && m.highBitBytes++ == 0) m.firstHighBit = i;
    m.terminated = i < bytes.size() && bytes[i] == kEnd;
    if (m.terminated) ++i;
    m.length = i - m.offset;
    const size_t bodyLength = m.length - 1 - (m.terminated ? 1 : 0);
    describe(m, bytes.subspan(m.offset + 1, bodyLength));

    info.bytesInMessages += m.length;
    if (!m.terminated) ++info.unterminated;
    info.highBitBytes += m.highBitBytes;
    if (m.checksum == Checksum::kBad) ++info.badChecksums;
    const std::string maker =
        m.makerId.empty() ? "(none)" : (m.maker.empty() ? m.makerId : m.maker);
    auto known = std::find_if(info.makers.begin(), info.makers.end(),
                              [&](const MakerCount& c) { return c.maker == maker; });
    if (known == info.makers.end())
      info.makers.push_back({maker, 1});
    else
      ++known->messages;
    info.messages.push_back(std::move(m));
  }
  return info;
}

std::string formatInfoText(const FileInfo& info, const std::string& fileName) {
  std::string text = fileName + ": " + counted(info.bytes, "byte", "bytes") + "\n";
  char line[160];
  std::snprintf(line, sizeof line, "%6s %9s %7s  %-28s %s\n", "#", "offset", "length", "maker",
                "header");
  text += line;
  size_t run = 0;
  auto outsideUpTo = [&](size_t offset) {
    for (; run < info.outside.size() && info.outside[run].offset < offset; ++run) {
      const OutsideRun& r = info.outside[run];
      std::snprintf(line, sizeof line, "%6s %9zu %7zu  outside messages: ", "-", r.offset,
                    r.length);
      text += line + r.first + "\n";
    }
  };
  for (const MessageInfo& m : info.messages) {
    outsideUpTo(m.offset);
    std::snprintf(line, sizeof line, "%6zu %9zu %7zu  %-28s ", m.index, m.offset, m.length,
                  makerText(m).c_str());
    text += line;
    std::string rest = fieldsText(m);
    if (m.checksum == Checksum::kGood)
      rest += (rest.empty() ? "" : ", ") + std::string("checksum good");
    const std::string problems = messageProblems(m, info.bytes);
    if (!problems.empty()) rest += (rest.empty() ? "" : "; ") + problems;
    text += rest;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    text += "\n";
  }
  outsideUpTo(info.bytes);
  text += summaryText(info) + "\n";
  return text;
}

std::string formatInfoJson(const FileInfo& info, const std::string& fileName) {
  using nlohmann::json;
  json messages = json::array();
  for (const MessageInfo& m : info.messages) {
    json fields = json::array();
    for (const InfoField& f : m.fields) {
      json field = {{"name", f.name}, {"value", f.value}};
      if (!f.meaning.empty()) field["meaning"] = f.meaning;
      fields.push_back(field);
    }
    json entry = {{"index", m.index},
                  {"offset", m.offset},
                  {"length", m.length},
                  {"terminated", m.terminated},
                  {"maker_id", m.makerId.empty() ? json() : json(m.makerId)},
                  {"maker", m.maker.empty() ? json() : json(m.maker)},
                  {"fields", fields},
                  {"high_bit_bytes", m.highBitBytes}};
    if (m.highBitBytes > 0) entry["first_high_bit"] = m.firstHighBit;
    entry["checksum"] = m.checksum == Checksum::kGood  ? json("good")
                        : m.checksum == Checksum::kBad ? json("wrong")
                                                       : json();
    const std::string problems = messageProblems(m, info.bytes);
    entry["problems"] = problems.empty() ? json() : json(problems);
    messages.push_back(entry);
  }
  json outside = json::array();
  for (const OutsideRun& r : info.outside)
    outside.push_back({{"offset", r.offset}, {"length", r.length}, {"first", r.first}});
  json makers = json::array();
  for (const MakerCount& c : info.makers)
    makers.push_back({{"maker", c.maker}, {"messages", c.messages}});
  const json summary = {
      {"messages", info.messages.size()},     {"bytes_in_messages", info.bytesInMessages},
      {"bytes_outside", info.bytesOutside},   {"outside_runs", info.outside.size()},
      {"unterminated", info.unterminated},    {"high_bit_bytes", info.highBitBytes},
      {"wrong_checksums", info.badChecksums}, {"makers", makers},
      {"problems", info.problems()},          {"text", summaryText(info)}};
  const json document = {{"file", fileName},
                         {"bytes", info.bytes},
                         {"messages", messages},
                         {"outside", outside},
                         {"summary", summary}};
  return document.dump(1, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace sysex_tool
