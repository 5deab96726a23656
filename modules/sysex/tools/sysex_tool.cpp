// sysex_tool: loads a MIDI byte file and saves it again the way Byteloom
// does, so that other programs can check both file forms.
//   sysex_tool syx IN OUT   load IN (raw or hex text), save the bytes raw
//   sysex_tool txt IN OUT   load IN, save the bytes as a hex dump
// Prints the byte count saved, and says when the bytes were cut at the size
// of the byte array. Exit status 1 when a file cannot be read or written.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "sysex/ByteloomBytes.h"

namespace {

bool readFile(const std::string& path, std::vector<std::uint8_t>& contents) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  contents.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool writeFile(const std::string& path, const void* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Loads a MIDI byte file and saves it as raw bytes or as a hex dump"};
  app.allow_windows_style_options(false);  // "/path/file.syx" is a file, not an option
  std::string format, input, output;
  app.add_option("format", format, "syx or txt")->required()->check(CLI::IsMember({"syx", "txt"}));
  app.add_option("input", input, "file to load")->required();
  app.add_option("output", output, "file to write")->required();
  CLI11_PARSE(app, argc, argv);

  std::vector<std::uint8_t> contents;
  if (!readFile(input, contents)) {
    std::fprintf(stderr, "sysex_tool: cannot read %s\n", input.c_str());
    return 1;
  }
  // Load, then save from the hex text, as the module's two steps do.
  const byteloom::DecodedFile loaded = byteloom::decodeFileContents(contents);
  std::vector<std::uint8_t> bytes(byteloom::kByteArraySize);
  bool truncated = false;
  const int count = byteloom::parseHexText(bytes, loaded.text, &truncated);
  bytes.resize(count);
  bool written;
  if (format == "syx") {
    written = writeFile(output, bytes.data(), bytes.size());
  } else {
    const std::string dump = byteloom::formatTextDump(bytes);
    written = writeFile(output, dump.data(), dump.size());
  }
  if (!written) {
    std::fprintf(stderr, "sysex_tool: cannot write %s\n", output.c_str());
    return 1;
  }
  std::printf("%d bytes%s\n", count, truncated ? " (cut at the size of the byte array)" : "");
  return 0;
}
