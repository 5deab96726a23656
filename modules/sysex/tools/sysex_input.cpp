#include "sysex_input.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "sysex/ByteloomBytes.h"
#include "sysex_tool_rules.h"

#ifdef _WIN32
#include <io.h>
#endif

namespace sysex_tool {

std::string inputName(const std::string& path) {
  return path == kStandardStream ? "standard input" : path;
}

void setBinaryMode(std::FILE* stream) {
#ifdef _WIN32
  _setmode(_fileno(stream), _O_BINARY);
#else
  (void)stream;
#endif
}

bool readInput(const std::string& path, std::vector<std::uint8_t>& contents, std::string& why) {
  std::FILE* in = stdin;
  if (path != kStandardStream) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
      why = "it is a folder";
      return false;
    }
    in = std::fopen(path.c_str(), "rb");
    if (!in) {
      why = std::strerror(errno);
      return false;
    }
  } else {
    setBinaryMode(stdin);
  }
  contents.clear();
  std::uint8_t block[65536];
  size_t got;
  while ((got = std::fread(block, 1, sizeof block, in)) > 0)
    contents.insert(contents.end(), block, block + got);
  const bool failed = std::ferror(in) != 0;
  if (failed) why = std::strerror(errno);
  if (in != stdin) std::fclose(in);
  return !failed;
}

std::vector<std::uint8_t> bytesOf(const std::vector<std::uint8_t>& contents, bool* raw) {
  const byteloom::DecodedFile loaded = byteloom::decodeFileContents(contents);
  if (raw) *raw = loaded.raw;
  std::vector<std::uint8_t> bytes(static_cast<size_t>(byteloom::countHexBytes(loaded.text)));
  bytes.resize(static_cast<size_t>(byteloom::parseHexText(bytes, loaded.text)));
  return bytes;
}

namespace {

bool namedAsMidiFile(const std::string& path) {
  const std::string name = lowerAscii(path);
  for (const std::string suffix : {".mid", ".midi"})
    if (name.size() > suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
      return true;
  return false;
}

std::string hexOffset(size_t offset) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(offset));
  return text;
}

}  // namespace

bool loadInput(const std::string& path, InputFile& file, std::string& error) {
  file = InputFile();
  std::string why;
  if (!readInput(path, file.contents, why)) {
    error = "cannot read " + inputName(path) + ": " + why;
    return false;
  }
  if (!byteloom::looksLikeMidiFile(file.contents) && !namedAsMidiFile(path)) {
    bool raw = false;
    file.bytes = bytesOf(file.contents, &raw);
    file.form = raw ? InputForm::kRaw : InputForm::kHexText;
    return true;
  }
  byteloom::MidiFileSysex read = byteloom::readMidiFileSysex(file.contents);
  if (!read.ok) {
    error = "cannot read " + inputName(path) + ": byte " + hexOffset(read.errorOffset) + ": " +
            read.error;
    return false;
  }
  file.form = InputForm::kMidiFile;
  file.bytes = std::move(read.bytes);
  file.messages = std::move(read.messages);
  file.summary =
      inputName(path) + ": " +
      counted(file.messages.size(), "System Exclusive message", "System Exclusive messages") +
      " taken, " + counted(read.otherEvents, "other event", "other events") + " left out";
  if (read.escapesLeftOut > 0)
    file.summary += ", " + counted(read.escapesLeftOut, "escape (F7) event", "escape (F7) events") +
                    " not of complete messages left out";
  if (read.unfinished > 0)
    file.summary += ", " + counted(read.unfinished, "unfinished message", "unfinished messages") +
                    " (an F0 event no F7 event finished) left out";
  return true;
}

}  // namespace sysex_tool
