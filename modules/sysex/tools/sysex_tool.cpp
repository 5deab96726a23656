// sysex_tool: everyday System Exclusive jobs from the command line, with
// Byteloom's file forms and its MIDI port service.
//   sysex_tool syx IN OUT    load IN (raw or hex text), save the bytes raw
//   sysex_tool txt IN OUT    load IN, save the bytes as a hex dump
//   sysex_tool ports         list the MIDI input and output ports
//   sysex_tool send FILE --port NAME [--pause MS]
//                            send FILE's bytes one message at a time
//   sysex_tool receive --port NAME --out FILE [--timeout S]
//                            record what arrives until the port falls silent
// Exit status 0 on success; 1 when a file cannot be read or written, a port
// is not found or cannot be opened, or (send) not every byte went out, or
// (receive) nothing arrived. Unlike the module, syx and txt convert every
// byte, beyond its byte array of 131072 bytes. Files are written whole or
// not at all: to a temporary beside the target, flushed, then renamed over
// it, so a failed write (also over the input itself) leaves the old file.
#include <CLI/CLI.hpp>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "sysex/ByteloomBytes.h"
#include "sysex/ByteloomFiles.h"
#include "sysex/MidiPorts.h"

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

bool readFile(const std::string& path, std::vector<std::uint8_t>& contents) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  contents.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Writes `size` bytes to `path` whole or not at all (the old file stays).
bool writeFile(const std::string& path, const void* data, std::size_t size) {
  if (size > UINT32_MAX) return false;
  return byteloom::writeFileSafely(path, data, static_cast<std::uint32_t>(size)) ==
         byteloom::WriteResult::kWritten;
}

bool endsWith(const std::string& s, const char* suffix) {
  const std::string t = suffix;
  if (s.size() < t.size()) return false;
  for (size_t i = 0; i < t.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[s.size() - t.size() + i])) != t[i]) return false;
  return true;
}

// Every byte a file stands for (raw `.syx` or hex text), without the module's
// limit of 131072 bytes.
std::vector<std::uint8_t> bytesOf(const std::vector<std::uint8_t>& contents) {
  const byteloom::DecodedFile loaded = byteloom::decodeFileContents(contents);
  std::vector<std::uint8_t> bytes(static_cast<size_t>(byteloom::countHexBytes(loaded.text)));
  bytes.resize(static_cast<size_t>(byteloom::parseHexText(bytes, loaded.text)));
  return bytes;
}

// The position of the port called `name` in `list`: an exact name, or else a
// part of exactly one name. -1 when there is none or more than one.
int findPort(const byteloom::MidiPortList& list, const std::string& name) {
  for (size_t i = 0; i < list.names.size(); ++i)
    if (list.names[i] == name) return static_cast<int>(i);
  int found = -1;
  for (size_t i = 0; i < list.names.size(); ++i) {
    if (list.names[i].find(name) == std::string::npos) continue;
    if (found >= 0) return -1;
    found = static_cast<int>(i);
  }
  return found;
}

int convert(const std::string& format, const std::string& input, const std::string& output) {
  std::vector<std::uint8_t> contents;
  if (!readFile(input, contents)) {
    std::fprintf(stderr, "sysex_tool: cannot read %s\n", input.c_str());
    return 1;
  }
  // Load, then save from the hex text, as the module's two steps do, but
  // every byte of it.
  const std::vector<std::uint8_t> bytes = bytesOf(contents);
  bool written;
  if (format == "syx") {
    written = writeFile(output, bytes.data(), bytes.size());
  } else {
    const std::string dump = byteloom::formatTextDump(bytes);
    written = writeFile(output, dump.data(), dump.size());
  }
  if (!written) {
    std::fprintf(stderr, "sysex_tool: cannot write %s (nothing written; an old file is kept)\n",
                 output.c_str());
    return 1;
  }
  std::printf("%zu bytes\n", bytes.size());
  return 0;
}

int listPorts() {
  const auto midi = byteloom::createMidiService();
  std::printf("Inputs:\n");
  for (const std::string& name : midi->inputs().names) std::printf("  %s\n", name.c_str());
  std::printf("Outputs:\n");
  for (const std::string& name : midi->outputs().names) std::printf("  %s\n", name.c_str());
  const std::string why = midi->whyNoPorts();
  if (!why.empty()) std::fprintf(stderr, "sysex_tool: %s\n", why.c_str());
  return 0;
}

void showProgress(size_t messages, size_t allMessages, size_t bytes, size_t allBytes,
                  double secondsLeft) {
  constexpr int kWidth = 30;
  const int filled = allBytes ? static_cast<int>(kWidth * bytes / allBytes) : kWidth;
  std::fprintf(stderr, "\r[%.*s%*s] %zu/%zu messages, %zu/%zu bytes, %.1f s left ", filled,
               "##############################", kWidth - filled, "", messages, allMessages, bytes,
               allBytes, secondsLeft);
  std::fflush(stderr);
}

int send(const std::string& file, const std::string& portName, int pauseMs) {
  std::vector<std::uint8_t> contents;
  if (!readFile(file, contents)) {
    std::fprintf(stderr, "sysex_tool: cannot read %s\n", file.c_str());
    return 1;
  }
  const std::vector<std::uint8_t> bytes = bytesOf(contents);
  const auto midi = byteloom::createMidiService();
  const int index = findPort(midi->outputs(), portName);
  if (index < 0) {
    std::fprintf(stderr, "sysex_tool: no output port called \"%s\" (see sysex_tool ports)\n",
                 portName.c_str());
    return 1;
  }
  const auto out = midi->openOutput(index, 44100);
  if (!out) {
    std::fprintf(stderr, "sysex_tool: the output port \"%s\" cannot be opened\n",
                 midi->outputs().names[index].c_str());
    return 1;
  }
  // Messages end after each 0xF7, as in the module.
  std::vector<std::pair<size_t, size_t>> messages;  // start, length
  for (size_t p = 0; p < bytes.size();) {
    size_t q = p;
    while (q < bytes.size() && bytes[q] != 0xF7) ++q;
    const size_t end = q < bytes.size() ? q + 1 : bytes.size();
    messages.emplace_back(p, end - p);
    p = end;
  }
  const bool terminal = isatty(fileno(stderr));
  const auto start = Clock::now();
  out->beginSend();
  size_t sent = 0;
  for (size_t k = 0; k < messages.size(); ++k) {
    const auto [p, m] = messages[k];
    if (!out->sendMessage({bytes.data() + p, m})) {
      if (terminal) std::fputc('\n', stderr);
      std::fprintf(stderr, "sysex_tool: message %zu (%zu bytes at byte %zu) could not be sent\n",
                   k + 1, m, p);
      std::printf("%zu of %zu bytes sent\n", sent, bytes.size());
      return 1;
    }
    sent += m;
    if (terminal) {
      const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
      // The pauses dominate the time of a bank, so time goes by messages.
      const double left =
          elapsed * static_cast<double>(messages.size() - k - 1) / static_cast<double>(k + 1);
      showProgress(k + 1, messages.size(), sent, bytes.size(), left);
    }
    if (k + 1 < messages.size()) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
  }
  if (terminal) std::fputc('\n', stderr);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("%zu bytes sent in %zu messages, %.3f s\n", sent, messages.size(), seconds);
  return 0;
}

int receive(const std::string& portName, const std::string& file, double timeout) {
  const auto midi = byteloom::createMidiService();
  const int index = findPort(midi->inputs(), portName);
  if (index < 0) {
    std::fprintf(stderr, "sysex_tool: no input port called \"%s\" (see sysex_tool ports)\n",
                 portName.c_str());
    return 1;
  }
  const auto in = midi->openInput(index);
  if (!in) {
    std::fprintf(stderr, "sysex_tool: the input port \"%s\" cannot be opened for receiving\n",
                 midi->inputs().names[index].c_str());
    return 1;
  }
  std::fprintf(stderr, "sysex_tool: receiving on %s\n", midi->inputs().names[index].c_str());
  std::vector<std::uint8_t> bytes;
  // Waits `timeout` for the first byte, then until nothing came for `timeout`.
  auto last = Clock::now();
  const auto silence = std::chrono::duration<double>(timeout);
  while (Clock::now() - last < silence) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const size_t before = bytes.size();
    in->take(bytes);
    if (bytes.size() != before) last = Clock::now();
  }
  if (bytes.empty()) {
    std::fprintf(stderr, "sysex_tool: nothing received within %.1f s\n", timeout);
    return 1;
  }
  bool written;
  if (endsWith(file, ".txt")) {
    const std::string dump = byteloom::formatTextDump(bytes);
    written = writeFile(file, dump.data(), dump.size());
  } else {
    written = writeFile(file, bytes.data(), bytes.size());
  }
  if (!written) {
    std::fprintf(stderr, "sysex_tool: cannot write %s\n", file.c_str());
    return 1;
  }
  std::printf("%zu bytes received\n", bytes.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"System Exclusive files and MIDI ports"};
  app.allow_windows_style_options(false);  // "/path/file.syx" is a file, not an option
  app.require_subcommand(1);
  std::string input, output, port, file;
  int pauseMs = 60;
  double timeout = 2.0;
  for (const char* format : {"syx", "txt"}) {
    CLI::App* c = app.add_subcommand(format, std::string("load a file and save it as ") + format);
    c->add_option("input", input, "file to load")->required();
    c->add_option("output", output, "file to write")->required();
  }
  app.add_subcommand("ports", "list the MIDI input and output ports");
  CLI::App* s = app.add_subcommand("send", "send a .syx or .txt file to an output port");
  s->add_option("file", file, "file to send")->required();
  s->add_option("--port", port, "output port name, or a part of it")->required();
  s->add_option("--pause", pauseMs, "pause after each message, ms")->check(CLI::Range(0, 60000));
  CLI::App* r = app.add_subcommand("receive", "record from an input port into a file");
  r->add_option("--port", port, "input port name, or a part of it")->required();
  r->add_option("--out", file, "file to write: .txt for a hex dump, else raw")->required();
  r->add_option("--timeout", timeout, "seconds of silence that end the recording")
      ->check(CLI::Range(0.1, 3600.0));
  CLI11_PARSE(app, argc, argv);

  const std::string command = app.get_subcommands().front()->get_name();
  if (command == "syx" || command == "txt") return convert(command, input, output);
  if (command == "ports") return listPorts();
  if (command == "send") return send(file, port, pauseMs);
  return receive(port, file, timeout);
}
