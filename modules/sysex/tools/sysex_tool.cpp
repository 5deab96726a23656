// sysex_tool: everyday System Exclusive jobs from the command line, with
// Byteloom's file forms and its MIDI port service.
//   sysex_tool syx IN OUT    load IN (raw, hex text or a Standard MIDI File's System
//                            Exclusive messages), save the bytes raw
//   sysex_tool txt IN OUT    load IN, save the bytes as a hex dump
//   sysex_tool ports         list the MIDI input and output ports
//   sysex_tool send FILE --port NAME [--pause MS | --timing file] [--raw]
//                            send FILE's messages one at a time
//   sysex_tool receive --port NAME --out FILE [--wait S] [--silence S]
//                     [--request FILE [--to NAME]] [--expect N]
//                            record what arrives until the port falls silent;
//                            first send a dump request, if given
//   sysex_tool info FILE [--json]
//                            list FILE's messages, their makers and oddities
// Every file read goes through loadInput (sysex_input.h), which takes a
// Standard MIDI File (.mid) as its System Exclusive messages.
// "-" stands for standard input where a file is read (IN, FILE of send) and
// for standard output where one is written (OUT, --out).
// Exit status 0 on success; 1 when a file cannot be read (a malformed MIDI
// file included) or written, a file to send is not made of complete System
// Exclusive messages (send without --raw), a port is not found or cannot be
// opened, not every byte went out (send, the request of receive), or nothing
// (or fewer messages than --expect) arrived (receive); 2 when the command
// line is wrong (--timing file for a file that is no MIDI file included).
// info exits 0 for every file it could read, whatever it found wrong in it.
// Unlike the module, syx and txt convert every byte, beyond its byte array
// of 131072 bytes. Files are written whole or not at all: to a temporary
// beside the target, flushed, then renamed over it, so a failed write (also
// over the input itself) leaves the old file.
#include <fcntl.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/suite_version.h"
#include "sysex/ByteloomBytes.h"
#include "sysex/ByteloomFiles.h"
#include "sysex/MidiPorts.h"
#include "sysex_info.h"
#include "sysex_input.h"
#include "sysex_tool_rules.h"

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;
using sysex_tool::counted;
using sysex_tool::inputName;
using sysex_tool::kStandardStream;
using sysex_tool::setBinaryMode;

// Limits of the numbers the command line takes.
constexpr double kMinSeconds = 0.1;
constexpr double kMaxSilenceSeconds = 3600;  // --silence, --timeout
constexpr double kMaxWaitSeconds = 86400;    // --wait
constexpr double kMaxPauseMs = 60000;        // --pause
constexpr double kMaxExpect = 100000;        // --expect
// Between the messages of a dump request of several: time for the device to
// take each one, as send's default pause.
constexpr int kRequestPauseMs = 60;

std::string quoted(const std::string& text) {
  return "\"" + text + "\"";
}

// How a path to write is named in messages: "-" is a stream, anything else
// itself.
std::string outputName(const std::string& path) {
  return path == kStandardStream ? "standard output" : path;
}

// Whether `path` can be written now: it is no folder, and a new file can be
// made beside it (the temporary a save writes first; made and removed
// again). `why` says why not. Checked before work whose result would
// otherwise be lost, and to name the reason of a failed save.
bool canWrite(const std::string& path, std::string& why) {
  if (path == kStandardStream) return true;
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    why = "it is a folder";
    return false;
  }
  const std::string trial = byteloom::temporaryPathBeside(path);
#ifdef _WIN32
  const int fd = _open(trial.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, 0666);
#else
  const int fd = ::open(trial.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
#endif
  if (fd < 0) {
    if (errno == EEXIST) return true;  // a leftover temporary: the save replaces it
    why = std::strerror(errno);
    return false;
  }
#ifdef _WIN32
  _close(fd);
#else
  ::close(fd);
#endif
  std::remove(trial.c_str());
  return true;
}

// Writes `size` bytes to `path` ("-": standard output), a file whole or not
// at all (an old file stays). Reports a failure itself.
bool writeOutput(const std::string& path, const void* data, size_t size) {
  std::string why;
  if (path == kStandardStream) {
    setBinaryMode(stdout);
    if (std::fwrite(data, 1, size, stdout) == size && std::fflush(stdout) == 0) return true;
    why = std::strerror(errno);
  } else if (canWrite(path, why)) {
    if (size <= UINT32_MAX &&
        byteloom::writeFileSafely(path, data, static_cast<std::uint32_t>(size)) ==
            byteloom::WriteResult::kWritten)
      return true;
    why = "it could not be written whole; an old file there is kept";
  }
  std::fprintf(stderr, "sysex_tool: cannot write %s: %s\n", outputName(path).c_str(), why.c_str());
  return false;
}

bool endsWith(const std::string& s, const char* suffix) {
  const std::string t = suffix;
  return s.size() >= t.size() && sysex_tool::lowerAscii(s.substr(s.size() - t.size())) == t;
}

// The port `name` means in `list` (outputs or inputs, by `direction`), or -1
// after saying why there is none.
int findPort(const byteloom::MidiService& midi, const byteloom::MidiPortList& list,
             const char* direction, const std::string& name) {
  const sysex_tool::PortMatch match = sysex_tool::matchPort(list.names, name);
  if (match.index >= 0) return match.index;
  if (match.candidates.empty()) {
    const std::string why = midi.whyNoPorts();
    std::fprintf(stderr, "sysex_tool: no %s port called %s%s\n", direction, quoted(name).c_str(),
                 why.empty() ? " (sysex_tool ports lists them)" : ("; " + why).c_str());
    return -1;
  }
  std::string names;
  for (const std::string& candidate : match.candidates)
    names += (names.empty() ? "" : ", ") + quoted(candidate);
  std::fprintf(stderr, "sysex_tool: %s fits %zu %s ports: %s; give more of the name\n",
               quoted(name).c_str(), match.candidates.size(), direction, names.c_str());
  return -1;
}

int convert(const std::string& format, const std::string& input, const std::string& output) {
  sysex_tool::InputFile loaded;
  std::string error;
  if (!sysex_tool::loadInput(input, loaded, error)) {
    std::fprintf(stderr, "sysex_tool: %s\n", error.c_str());
    return 1;
  }
  if (!loaded.summary.empty()) std::fprintf(stderr, "sysex_tool: %s\n", loaded.summary.c_str());
  // Load, then save from the hex text, as the module's two steps do, but
  // every byte of it.
  const std::vector<std::uint8_t>& bytes = loaded.bytes;
  bool written;
  if (format == "syx") {
    written = writeOutput(output, bytes.data(), bytes.size());
  } else {
    const std::string dump = byteloom::formatTextDump(bytes);
    written = writeOutput(output, dump.data(), dump.size());
  }
  if (!written) return 1;
  // The count goes where it does not mix with the bytes written.
  std::fprintf(output == kStandardStream ? stderr : stdout, "%s\n",
               counted(bytes.size(), "byte", "bytes").c_str());
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

// Says why a file to send is refused when it is not made of complete System
// Exclusive messages only; false when it is. `text` is the file's contents
// when it is hex text (to name lines), else empty.
// `rawHint`: whether to point to send's --raw.
bool refuseIncomplete(const std::string& file, const std::vector<std::uint8_t>& bytes,
                      std::string_view text, bool rawHint = true) {
  const sysex_tool::MessageScan scan = sysex_tool::scanMessages(bytes);
  if (scan.outside == 0 && scan.unfinished == 0) return false;
  std::fprintf(stderr, "sysex_tool: nothing sent: %s %s:\n", inputName(file).c_str(),
               scan.messages.empty()
                   ? "holds no complete System Exclusive message (F0 ... F7)"
                   : "holds more than complete System Exclusive messages (F0 ... F7)");
  auto where = [&](size_t offset) {
    std::string at = "offset " + std::to_string(offset);
    if (!text.empty() && offset < bytes.size())
      at += " (line " + std::to_string(sysex_tool::lineOfToken(text, offset)) + ")";
    return at;
  };
  if (scan.outside > 0)
    std::fprintf(stderr, "  %s outside messages, the first at %s\n",
                 counted(scan.outside, "byte", "bytes").c_str(), where(scan.firstOutside).c_str());
  if (scan.unfinished > 0) {
    std::string end;
    if (scan.firstUnfinishedEnd >= bytes.size())
      end = "the file ends first";
    else if (bytes[scan.firstUnfinishedEnd] == 0xF0)
      end = "the F0 at " + where(scan.firstUnfinishedEnd) + " begins another";
    else {
      char value[8];
      std::snprintf(value, sizeof value, "%02X", bytes[scan.firstUnfinishedEnd]);
      end = std::string("the byte ") + value + " at " + where(scan.firstUnfinishedEnd) + " cuts it";
    }
    if (scan.unfinished == 1)
      std::fprintf(stderr, "  the message begun at %s has no F7: %s\n",
                   where(scan.firstUnfinished).c_str(), end.c_str());
    else
      std::fprintf(stderr, "  %zu messages have no F7; the first, begun at %s: %s\n",
                   scan.unfinished, where(scan.firstUnfinished).c_str(), end.c_str());
  }
  if (rawHint) std::fprintf(stderr, "sysex_tool: --raw sends the bytes as they are\n");
  return true;
}

// Reads a file to send (send's FILE, receive's --request) through
// loadInput into `input`. Returns 0 when it holds something to send; else,
// after saying why, 1 when it cannot be read, holds no byte, or (unless
// `raw`) holds anything but complete System Exclusive messages, and 2 when
// `needsTimes` (--timing file) and it is no MIDI file. A MIDI file's
// messages are complete by the reader's rules, and its summary line is told.
// `rawHint`: whether the command has --raw to point to.
int readMessages(const std::string& file, bool raw, bool rawHint, bool needsTimes,
                 sysex_tool::InputFile& input) {
  std::string error;
  if (!sysex_tool::loadInput(file, input, error)) {
    std::fprintf(stderr, "sysex_tool: %s\n", error.c_str());
    return 1;
  }
  const bool midiFile = input.form == sysex_tool::InputForm::kMidiFile;
  if (needsTimes && !midiFile) {
    std::fprintf(stderr,
                 "sysex_tool: --timing file: %s is no Standard MIDI File (no MThd header), so "
                 "its messages have no times; --pause MS spaces them\n",
                 inputName(file).c_str());
    return 2;
  }
  if (midiFile) std::fprintf(stderr, "sysex_tool: %s\n", input.summary.c_str());
  if (input.bytes.empty()) {
    std::fprintf(stderr, "sysex_tool: nothing sent: %s %s\n", inputName(file).c_str(),
                 midiFile                 ? "holds no System Exclusive message"
                 : input.contents.empty() ? "is empty"
                                          : "holds no bytes");
    return 1;
  }
  const bool refused =
      !raw && !midiFile &&
      refuseIncomplete(file, input.bytes,
                       input.form == sysex_tool::InputForm::kRaw
                           ? std::string_view()
                           : std::string_view(reinterpret_cast<const char*>(input.contents.data()),
                                              input.contents.size()),
                       rawHint);
  return refused ? 1 : 0;
}

// How send spaces its messages: a pause after each, or the times a Standard
// MIDI File gives them.
struct Spacing {
  bool fileTimes = false;  // --timing file
  int pauseMs = 60;        // --pause, when not fileTimes
};

// Sends the messages of `file` to the output port `portName`. Returns the
// exit status.
int send(const std::string& file, const std::string& portName, Spacing spacing, bool raw) {
  sysex_tool::InputFile input;
  if (const int status = readMessages(file, raw, true, spacing.fileTimes, input)) return status;
  const bool midiFile = input.form == sysex_tool::InputForm::kMidiFile;
  const std::vector<std::uint8_t>& bytes = input.bytes;
  // By default only complete messages are left, each one piece; --raw cuts
  // after each F7, as the module does.
  std::vector<sysex_tool::Piece> messages;
  if (midiFile) {
    for (const byteloom::TimedSysex& m : input.messages) messages.push_back({m.offset, m.length});
  } else {
    messages = sysex_tool::cutAfterEachF7(bytes);
  }
  // Where message k is, for the user: in the file, for a MIDI file.
  auto where = [&](size_t k) {
    char text[64];
    if (midiFile)
      std::snprintf(text, sizeof text, "at byte 0x%llX of the file",
                    static_cast<unsigned long long>(input.messages[k].fileOffset));
    else
      std::snprintf(text, sizeof text, "at offset %llu",
                    static_cast<unsigned long long>(messages[k].offset));
    return std::string(text);
  };

  const auto midi = byteloom::createMidiService();
  const int index = findPort(*midi, midi->outputs(), "output", portName);
  if (index < 0) return 1;
  const auto out = midi->openOutput(index, 44100);
  if (!out) {
    std::fprintf(stderr, "sysex_tool: the output port %s cannot be opened\n",
                 quoted(midi->outputs().names[index]).c_str());
    return 1;
  }
  const bool terminal = isatty(fileno(stderr));
  const auto start = Clock::now();
  out->beginSend();
  size_t sent = 0;
  // With the file's times each message goes its file's gap after the one
  // before it began to go: a message held up on a busy machine delays the
  // rest, and no gap is ever shorter than the file's.
  auto began = start;
  for (size_t k = 0; k < messages.size(); ++k) {
    const auto [p, m] = messages[k];
    if (spacing.fileTimes && k > 0) {
      // At most 10^9 s (some 30 years): a file's gap can be longer than the
      // clock's durations hold.
      const double gap = std::min(input.messages[k].seconds - input.messages[k - 1].seconds, 1e9);
      std::this_thread::sleep_until(
          began + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(gap)));
    }
    began = Clock::now();
    if (!out->sendMessage({bytes.data() + p, m})) {
      if (terminal) std::fputc('\n', stderr);
      std::fprintf(stderr, "sysex_tool: message %zu (%s %s) could not be sent\n", k + 1,
                   counted(m, "byte", "bytes").c_str(), where(k).c_str());
      std::printf("%zu of %s sent\n", sent, counted(bytes.size(), "byte", "bytes").c_str());
      return 1;
    }
    sent += m;
    if (terminal) {
      const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
      // The pauses dominate the time of a bank, so time goes by messages;
      // with the file's times it is what the file has left.
      const double left =
          spacing.fileTimes
              ? input.messages.back().seconds - input.messages[k].seconds
              : elapsed * static_cast<double>(messages.size() - k - 1) / static_cast<double>(k + 1);
      showProgress(k + 1, messages.size(), sent, bytes.size(), left);
    }
    if (!spacing.fileTimes && k + 1 < messages.size())
      std::this_thread::sleep_for(std::chrono::milliseconds(spacing.pauseMs));
  }
  if (terminal) std::fputc('\n', stderr);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("%s sent in %s, %.3f s\n", counted(sent, "byte", "bytes").c_str(),
              counted(messages.size(), "message", "messages").c_str(), seconds);
  return 0;
}

// Set by Ctrl-C (SIGINT) while receive records; a second Ctrl-C ends the
// program at once.
volatile std::sig_atomic_t gStopped = 0;

extern "C" void onInterrupt(int) {
  gStopped = 1;
  std::signal(SIGINT, SIG_DFL);
}

// What receive is asked to do.
struct ReceiveJob {
  std::string port;     // the input port, as the user named it
  std::string file;     // where the recording goes
  double waitS = -1;    // for the first byte; no limit when negative
  double silenceS = 2;  // of silence that ends the recording
  std::string request;  // a file of messages to send first, or empty
  std::string to;       // the request's output port; empty: the one answering to `port`
  size_t expect = 0;    // complete messages that end the recording; 0: silence does
};

// The output port for a request: the one named by --to, else the one that
// answers to the input port `inputName`; -1 after saying why there is none.
int requestPort(const byteloom::MidiService& midi, const std::string& to,
                const std::string& inputName) {
  if (!to.empty()) return findPort(midi, midi.outputs(), "output", to);
  const sysex_tool::PortMatch match = sysex_tool::answeringOutput(midi.outputs().names, inputName);
  if (match.index >= 0) return match.index;
  std::string names;
  for (const std::string& candidate : match.candidates)
    names += (names.empty() ? "" : ", ") + quoted(candidate);
  if (names.empty())
    std::fprintf(stderr,
                 "sysex_tool: no output port goes with the input port %s; name the one for the "
                 "request with --to (sysex_tool ports lists them)\n",
                 quoted(inputName).c_str());
  else
    std::fprintf(stderr,
                 "sysex_tool: %zu output ports go with the input port %s: %s; name the one for "
                 "the request with --to\n",
                 match.candidates.size(), quoted(inputName).c_str(), names.c_str());
  return -1;
}

// Records from the input port `job.port` into `job.file`: waits up to
// `job.waitS` seconds for the first byte (no limit when negative), then
// until nothing came for `job.silenceS` seconds, `job.expect` messages are
// complete, or Ctrl-C. Keeps whole messages only. With a request, the input
// port is open before the request goes out, so that no answer is lost, and
// the wait begins once it has gone.
int receive(const ReceiveJob& job) {
  std::string why;
  if (!canWrite(job.file, why)) {
    std::fprintf(stderr, "sysex_tool: cannot write %s: %s\n", job.file.c_str(), why.c_str());
    return 1;
  }
  sysex_tool::InputFile requestFile;
  if (!job.request.empty() && readMessages(job.request, false, false, false, requestFile) != 0)
    return 1;
  const std::vector<std::uint8_t>& request = requestFile.bytes;
  const auto midi = byteloom::createMidiService();
  const int index = findPort(*midi, midi->inputs(), "input", job.port);
  if (index < 0) return 1;
  const std::string& name = midi->inputs().names[index];
  int outIndex = -1;
  if (!request.empty() && (outIndex = requestPort(*midi, job.to, name)) < 0) return 1;
  const auto in = midi->openInput(index);
  if (!in) {
    std::fprintf(stderr, "sysex_tool: the input port %s cannot be opened for receiving\n",
                 quoted(name).c_str());
    return 1;
  }
  if (!request.empty()) {
    const std::string& outName = midi->outputs().names[outIndex];
    const auto out = midi->openOutput(outIndex, 44100);
    if (!out) {
      std::fprintf(stderr, "sysex_tool: the output port %s cannot be opened\n",
                   quoted(outName).c_str());
      return 1;
    }
    const std::vector<sysex_tool::Piece> messages = sysex_tool::cutAfterEachF7(request);
    out->beginSend();
    for (size_t k = 0; k < messages.size(); ++k) {
      if (k > 0) std::this_thread::sleep_for(std::chrono::milliseconds(kRequestPauseMs));
      if (!out->sendMessage({request.data() + messages[k].offset, messages[k].length})) {
        std::fprintf(stderr,
                     "sysex_tool: message %zu of the request could not be sent to %s; nothing "
                     "written\n",
                     k + 1, quoted(outName).c_str());
        return 1;
      }
    }
    std::fprintf(stderr, "sysex_tool: request of %s sent to %s\n",
                 counted(request.size(), "byte", "bytes").c_str(), quoted(outName).c_str());
    // The output closes here, once RtMidi has handed the last byte on; the
    // input stays open.
  }
  std::signal(SIGINT, onInterrupt);
  if (job.waitS < 0)
    std::fprintf(stderr, "sysex_tool: waiting for the first byte on %s (Ctrl-C stops)\n",
                 quoted(name).c_str());
  else
    std::fprintf(stderr, "sysex_tool: waiting up to %g s for the first byte on %s (Ctrl-C stops)\n",
                 job.waitS, quoted(name).c_str());
  std::vector<std::uint8_t> bytes;
  sysex_tool::MessageCounter counter;
  const auto started = Clock::now();
  const auto wait = std::chrono::duration<double>(job.waitS);
  const auto silence = std::chrono::duration<double>(job.silenceS);
  auto last = started;
  // The service gathers what arrives; it is taken here every 10 ms.
  while (!gStopped) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const size_t before = bytes.size();
    in->take(bytes);
    const auto now = Clock::now();
    if (bytes.size() != before) {
      if (before == 0) {
        if (job.expect > 0)
          std::fprintf(stderr,
                       "sysex_tool: recording; %s end it, or %g s of silence (Ctrl-C too)\n",
                       counted(job.expect, "message", "messages").c_str(), job.silenceS);
        else
          std::fprintf(stderr, "sysex_tool: recording; %g s of silence end it (Ctrl-C too)\n",
                       job.silenceS);
      }
      last = now;
      counter.feed({bytes.data() + before, bytes.size() - before}, job.expect);
      if (job.expect > 0 && counter.complete >= job.expect) {
        bytes.resize(counter.end);  // what came after the last expected message is not kept
        break;
      }
    } else if (bytes.empty() ? (job.waitS >= 0 && now - started >= wait) : now - last >= silence) {
      break;
    }
  }
  std::signal(SIGINT, SIG_DFL);
  const bool stopped = gStopped != 0;
  if (bytes.empty()) {
    if (stopped)
      std::fprintf(stderr, "sysex_tool: stopped; nothing received, nothing written\n");
    else
      std::fprintf(stderr, "sysex_tool: nothing received within %g s; nothing written\n",
                   job.waitS);
    return 1;
  }
  const size_t whole = sysex_tool::wholeMessagesEnd(bytes);
  if (whole < bytes.size()) {
    std::fprintf(stderr,
                 "sysex_tool: the last message (begun at offset %zu) has no F7; its %s are left "
                 "out\n",
                 whole, counted(bytes.size() - whole, "byte", "bytes").c_str());
    bytes.resize(whole);
  }
  if (bytes.empty()) {
    std::fprintf(stderr, "sysex_tool: no whole message received; nothing written\n");
    return 1;
  }
  bool written;
  if (endsWith(job.file, ".txt")) {
    const std::string dump = byteloom::formatTextDump(bytes);
    written = writeOutput(job.file, dump.data(), dump.size());
  } else {
    written = writeOutput(job.file, bytes.data(), bytes.size());
  }
  if (!written) return 1;
  if (stopped) std::fprintf(stderr, "sysex_tool: stopped; what was received is saved\n");
  std::fprintf(job.file == kStandardStream ? stderr : stdout, "%s received\n",
               counted(bytes.size(), "byte", "bytes").c_str());
  if (job.expect > 0 && counter.complete < job.expect) {
    std::fprintf(stderr, "sysex_tool: %s of the %zu expected arrived\n",
                 counted(counter.complete, "message", "messages").c_str(), job.expect);
    return 1;
  }
  return 0;
}

// Tells what `file` holds (sysex_info.h), as text or as JSON, on standard
// output. The file is read here and nowhere else in the command.
int info(const std::string& file, bool json) {
  sysex_tool::InputFile input;
  std::string error;
  if (!sysex_tool::loadInput(file, input, error)) {
    std::fprintf(stderr, "sysex_tool: %s\n", error.c_str());
    return 1;
  }
  if (input.form == sysex_tool::InputForm::kMidiFile)
    std::fprintf(stderr, "sysex_tool: %s\n", input.summary.c_str());
  const std::vector<std::uint8_t>& bytes = input.bytes;
  const sysex_tool::FileInfo found = sysex_tool::analyseBytes(bytes);
  const std::string report = json ? sysex_tool::formatInfoJson(found, inputName(file))
                                  : sysex_tool::formatInfoText(found, inputName(file));
  std::fwrite(report.data(), 1, report.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

// Reads the number an option was given as, within [min, max]; says what is
// wrong with it otherwise.
bool optionNumber(const char* option, const std::string& text, double min, double max,
                  const char* unit, bool whole, double& value) {
  double read = 0;
  if (sysex_tool::readNumber(text, min, max, read) && (!whole || read == static_cast<long>(read))) {
    value = read;
    return true;
  }
  std::fprintf(stderr, "sysex_tool: %s %s: give a %s of %s from %g to %g\n", option,
               quoted(text).c_str(), whole ? "whole number" : "number", unit, min, max);
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"System Exclusive files and MIDI ports", "sysex_tool"};
  app.allow_windows_style_options(false);  // "/path/file.syx" is a file, not an option
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("sysex_tool ") + se::SuiteVersion(),
                       "print the version and exit");
  app.footer(
      "A file named \"-\" is standard input where one is read, standard output where one is\n"
      "written.\n"
      "Exit status: 0 done, 1 failed (the reason on stderr), 2 wrong command line; info\n"
      "exits 0 for every file it can read, whatever it finds wrong in it.");
  std::string input, output, port, file;
  std::string pause = "60", wait, silence = "2", timeout, timing, request, to, expect;
  bool raw = false, json = false;
  for (const char* format : {"syx", "txt"}) {
    CLI::App* c = app.add_subcommand(
        format, std::string("load a file (raw, hex text or .mid) and save its bytes ") +
                    (format == std::string("syx") ? "raw" : "as a hex dump"));
    c->add_option("input", input, "file to load")->required()->type_name("IN");
    c->add_option("output", output, "file to write")->required()->type_name("OUT");
  }
  app.add_subcommand("ports", "list the MIDI input and output ports");
  CLI::App* s = app.add_subcommand(
      "send", "send the System Exclusive messages of a .syx, .txt or .mid file to an output port");
  s->add_option("file", file, "file to send")->required()->type_name("FILE");
  s->add_option("--port", port, "output port: its name, or a part of one name, in any case")
      ->required()
      ->type_name("NAME");
  CLI::Option* pauseOption =
      s->add_option("--pause", pause, "pause after each message, ms (0 to 60000)")
          ->type_name("MS")
          ->default_str(pause);
  s->add_option("--timing", timing,
                "\"file\": space the messages of a Standard MIDI File as its times do, "
                "instead of --pause")
      ->type_name("file")
      ->check(CLI::IsMember({"file"}).description(""))
      ->excludes(pauseOption);
  s->add_flag("--raw", raw,
              "send the bytes as they are, cut after each F7 (by default a file of "
              "anything but complete F0 ... F7 messages is refused)");
  CLI::App* r = app.add_subcommand("receive", "record from an input port into a file");
  r->add_option("--port", port, "input port: its name, or a part of one name, in any case")
      ->required()
      ->type_name("NAME");
  r->add_option("--out", file, "file to write: .txt for a hex dump, else raw bytes")
      ->required()
      ->type_name("FILE");
  CLI::Option* w = r->add_option("--wait", wait, "seconds to wait for the first byte")
                       ->type_name("S")
                       ->default_str("until Ctrl-C");
  CLI::Option* q = r->add_option("--silence", silence, "seconds of silence that end the recording")
                       ->type_name("S")
                       ->default_str(silence);
  r->add_option("--timeout", timeout, "the older form of --wait S --silence S")
      ->type_name("S")
      ->excludes(w)
      ->excludes(q);
  r->add_option("--request", request,
                "send this file's System Exclusive messages (a dump request) first, once the input "
                "port is open")
      ->type_name("FILE");
  r->add_option("--to", to,
                "output port for the request (default: the output named as the input port, or "
                "with in/out, input/output, capture/playback turned round)")
      ->type_name("NAME")
      ->needs("--request");
  r->add_option("--expect", expect, "stop once N whole messages have arrived (exit 1 if fewer)")
      ->type_name("N");
  CLI::App* i = app.add_subcommand(
      "info", "list a file's System Exclusive messages, their makers and what looks wrong");
  i->add_option("file", file, "file to look into (raw, hex text or .mid)")
      ->required()
      ->type_name("FILE");
  i->add_flag("--json", json, "write the report as one JSON document");
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {  // --help, --version
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "sysex_tool: %s\n(sysex_tool --help lists the commands and options)\n",
                 e.what());
    return 2;
  }

  const std::string command = app.get_subcommands().front()->get_name();
  if (command == "syx" || command == "txt") return convert(command, input, output);
  if (command == "ports") return listPorts();
  if (command == "info") return info(file, json);
  if (command == "send") {
    double pauseMs = 0;
    if (!optionNumber("--pause", pause, 0, kMaxPauseMs, "milliseconds", true, pauseMs)) return 2;
    return send(file, port, Spacing{timing == "file", static_cast<int>(pauseMs)}, raw);
  }
  double waitS = -1, silenceS = 0;
  if (!timeout.empty()) {
    if (!optionNumber("--timeout", timeout, kMinSeconds, kMaxSilenceSeconds, "seconds", false,
                      silenceS))
      return 2;
    waitS = silenceS;
  } else {
    if (!wait.empty() &&
        !optionNumber("--wait", wait, kMinSeconds, kMaxWaitSeconds, "seconds", false, waitS))
      return 2;
    if (!optionNumber("--silence", silence, kMinSeconds, kMaxSilenceSeconds, "seconds", false,
                      silenceS))
      return 2;
  }
  double expected = 0;
  if (!expect.empty() &&
      !optionNumber("--expect", expect, 1, kMaxExpect, "messages", true, expected))
    return 2;
  ReceiveJob job;
  job.port = port;
  job.file = file;
  job.waitS = waitS;
  job.silenceS = silenceS;
  job.request = request;
  job.to = to;
  job.expect = static_cast<size_t>(expected);
  return receive(job);
}
