// plughost: loads plug-in libraries and drives them as the modular host does.
//   plughost info LIB             the module's description and pin table
//   plughost run PATCH [--json F] runs a patch file and logs what the outputs sent
//   plughost paint PATCH ...      runs a patch, plays its gestures, paints a panel
//   plughost show PATCH ...       plays a patch in real time, its panels in windows
//   plughost validate LIB...      checks that plug-in libraries survive what hosts do
// A file name "-" stands for the standard output.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <limits>
#include <string>

#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include "common/suite_version.h"
#include "plughost/engine.h"
#include "plughost/host_error.h"
#include "plughost/library_path.h"
#include "plughost/panel.h"
#include "plughost/patch.h"
#include "plughost/report.h"
#include "plughost/validate.h"
#include "show/show_session.h"

namespace {

const char* direction_name(int d) {
  switch (d) {
    case DR_IN:
      return "in";
    case DR_OUT:
      return "out";
    case DR_SETTING:
      return "setting";
    default:
      return "?";
  }
}

const char* datatype_name(int t) {
  switch (t) {
    case DT_CHOICE:
      return "choice";
    case DT_STRING:
      return "text";
    case DT_MIDI_STREAM:
      return "midi";
    case DT_SWITCH:
      return "switch";
    case DT_FSAMPLE:
      return "signal";
    case DT_FLOAT32:
      return "float";
    case DT_INT32:
      return "int";
    default:
      return "?";
  }
}

std::string flag_names(int flags) {
  static const std::pair<int, const char*> names[] = {
      {IO_REPEAT_LAST, "repeat-last"}, {IO_FILE_NAME, "file-name"},
      {IO_PRIVATE, "private"},         {IO_UI_COMMUNICATION, "ui-communication"},
      {IO_UI_DUAL, "ui-dual"},         {IO_PATCH_STORE, "patch-store"}};
  std::string text;
  for (const auto& [bit, name] : names) {
    if (flags & bit) text += (text.empty() ? "" : ",") + std::string(name);
  }
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%X", flags);
  return text.empty() ? std::string(hex) : std::string(hex) + " " + text;
}

int info(const std::string& name) {
  plughost::Engine engine;
  plughost::Instance& instance = engine.add(
      "module", plughost::locate_library(name, plughost::LibraryContext::command_line()));
  const SEModuleProperties& p = instance.library().properties();
  std::printf("library:   %s\n", instance.library().path().c_str());
  std::printf("name:      \"%s\"\n", p.name ? p.name : "");
  std::printf("id:        \"%s\"\n", p.id ? p.id : "");
  std::printf("revision:  %d\n", p.sdk_revision);
  std::printf("flags:     %d\n", p.flags);
  std::printf("about:     %s\n", p.about ? p.about : "");
  std::printf("\n%-5s %-24s %-8s %-7s %-8s %-22s %s\n", "index", "name", "dir", "type", "default",
              "list", "flags");
  for (const plughost::HostPin& pin : instance.pins()) {
    if (pin.repeat) continue;  // repeats are the host's, not declared
    std::printf("%-5d %-24s %-8s %-7s %-8s %-22s %s\n", pin.declared_index,
                ("\"" + pin.name + "\"").c_str(), direction_name(pin.direction),
                datatype_name(pin.datatype), pin.default_text.c_str(), pin.list_text.c_str(),
                flag_names(pin.flags).c_str());
  }
  return 0;
}

// "1 module", "2 modules".
std::string count(size_t n, const char* thing) {
  return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

// The lines of an edit window's text ("\r\n" or "\n" apart; no empty
// last line for a text that ends with a line break).
std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c == '\r') continue;
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// Writes a whole text file, or the standard output for "-".
void write_text(const std::string& path, const std::string& text) {
  if (path == "-") {
    std::cout << text;
    std::cout.flush();
    if (!std::cout) throw plughost::HostError("cannot write the standard output");
    return;
  }
  std::ofstream out(path, std::ios::binary);
  out << text;
  out.close();
  if (!out) throw plughost::HostError("cannot write " + path + ": " + std::strerror(errno));
}

// The text log goes to the standard output, or to the standard error when
// the JSON log takes the standard output; --quiet prints neither.
int run(const std::string& patch_path, const std::string& json_path, bool quiet) {
  plughost::PatchRun patch = plughost::load_patch_file(patch_path);
  std::ostream& text = json_path == "-" ? std::cerr : std::cout;
  if (!quiet) {
    text << "plughost: " << patch_path << ": " << count(patch.engine->instances().size(), "module")
         << ", " << double(patch.engine->sample_rate()) << " Hz, blocks of "
         << patch.engine->block_size() << ", " << count(patch.length, "sample") << '\n';
    text.flush();
  }
  patch.engine->run(patch.length);
  if (!quiet) plughost::write_text_log(text, patch);
  if (!json_path.empty()) write_text(json_path, plughost::json_log(patch) + '\n');
  return 0;
}

// What the PNG cannot show is told on the standard error: an image of one
// colour (a panel that paints nothing), and the texts of the panel's edit
// windows, which the system draws on screen and Paint does not.
int paint(const std::string& patch_path, const std::string& module, const std::string& png,
          bool quiet) {
  plughost::PatchRun patch = plughost::load_patch_file(patch_path);
  plughost::Instance& instance = patch.engine->instance(module);
  patch.engine->run(patch.length);
  plughost::play_gestures(patch);
  const plughost::PaintedPanel painted = plughost::paint_panel(instance, png);
  std::ostream& text = png == "-" ? std::cerr : std::cout;
  if (!quiet) {
    text << "plughost: painted " << module << " (" << painted.width << "x" << painted.height
         << ") to " << (png == "-" ? "the standard output" : png) << '\n';
  }
  for (size_t k = 0; k < painted.edit_texts.size(); ++k) {
    const std::string& held = painted.edit_texts[k];
    std::cerr << "plughost: note: module \"" << module << "\" shows an edit window"
              << " that the image leaves out; it holds "
              << (held.empty() ? "no text" : count(held.size(), "character") + ":") << '\n';
    for (const std::string& line : lines_of(held)) std::cerr << "  | " << line << '\n';
  }
  if (painted.single_colour) {
    char colour[16];
    std::snprintf(colour, sizeof colour, "#%06X", *painted.single_colour);
    std::cerr << "plughost: warning: the image is all one colour (" << colour << "): module \""
              << module << "\" painted nothing on its panel"
              << (painted.edit_texts.empty() ? "" : " (its edit window is not part of the image)")
              << '\n';
  }
  return 0;
}

// A seed: a whole number from 0 to 2^64 - 1, digits only (no sign).
std::string check_seed(const std::string& text) {
  const bool digits = !text.empty() && text.size() <= 20 &&
                      text.find_first_not_of("0123456789") == std::string::npos;
  if (digits && (text.size() < 20 || text <= "18446744073709551615")) return "";
  return "the seed is a whole number from 0 to 18446744073709551615, not \"" + text + "\"";
}

// A time limit: a number of seconds above 0.
std::string check_timeout(const std::string& text) {
  char* end = nullptr;
  errno = 0;
  const double seconds = std::strtod(text.c_str(), &end);
  if (!text.empty() && *end == '\0' && errno == 0 && std::isfinite(seconds) && seconds > 0) {
    return "";
  }
  return "the time limit is a number of seconds above 0, not \"" + text + "\"";
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"plughost: loads plug-in modules and runs patches as the modular host does"};
  app.set_version_flag("--version", std::string("plughost ") + se::SuiteVersion());
  app.require_subcommand(1);
  app.allow_windows_style_options(false);  // "/path/patch.json" is a file, not an option
  std::string library;
  auto* info_cmd = app.add_subcommand("info", "print a plug-in's description and pin table");
  info_cmd->add_option("LIB", library, "plug-in library (path, or name of one beside plughost)")
      ->required();
  std::string patch;
  std::string json_out;
  bool quiet = false;
  auto* run_cmd = app.add_subcommand("run", "run a patch file and log what the outputs sent");
  run_cmd->add_option("PATCH", patch, "patch file (JSON)")->required();
  run_cmd->add_option("--json", json_out,
                      "also write the log as JSON to this file; - for the standard output (the "
                      "text log then goes to the standard error) (default: no JSON)");
  run_cmd->add_flag("--quiet", quiet, "print nothing but errors (default: the text log)");
  std::string module;
  std::string png;
  bool paint_quiet = false;
  auto* paint_cmd = app.add_subcommand("paint", "run a patch, play its gestures, paint a panel");
  paint_cmd->add_option("PATCH", patch, "patch file (JSON)")->required();
  paint_cmd->add_option("--module", module, "the module whose panel to paint (required)")
      ->required();
  paint_cmd->add_option("-o,--out", png, "PNG file to write; - for the standard output (required)")
      ->required();
  paint_cmd->add_flag("--quiet", paint_quiet,
                      "print nothing but errors and warnings (default: say what was painted)");
  plughost::show::Options show_options;
  auto* show_cmd = app.add_subcommand(
      "show", "play a patch in real time with its panels in windows, for mouse and keyboard");
  show_cmd->add_option("PATCH", show_options.patch_path, "patch file (JSON)")->required();
  show_cmd->add_option("--module", show_options.module,
                       "show only this module's panel (default: every module with a panel)");
  show_cmd->add_option("--record", show_options.record_path,
                       "write the session as a patch file, with what was done in the windows "
                       "and typed on the terminal at their times (default: no recording)");
  show_cmd->footer(
      "The log of run goes to the standard output as it happens. A line \"module.pin = value\" "
      "typed on the terminal sets an input pin. Ctrl+W closes a window; show ends when every "
      "window is closed.");
  plughost::validate::Options validate;
  std::string seed_text;
  auto* validate_cmd = app.add_subcommand(
      "validate", "check that plug-in libraries survive what real hosts do to them");
  validate_cmd->add_option("LIB", validate.libraries, "plug-in libraries (paths or names)")
      ->required();
  validate_cmd
      ->add_option("--strictness", validate.strictness,
                   "1 (a quick smoke run) to 10 (most rounds of random events) (default: 5)")
      ->check(CLI::Range(plughost::validate::kMinStrictness, plughost::validate::kMaxStrictness));
  validate_cmd
      ->add_option("--seed", seed_text,
                   "seed of the random inputs, 0 or more, to replay a run (default: a new one, "
                   "printed)")
      ->check(CLI::Validator(check_seed, "UINT64"));
  validate_cmd->add_option("--json", validate.json_path,
                           "also write the results as JSON to this file; - for the standard "
                           "output (the text then goes to the standard error) (default: no JSON)");
  validate_cmd
      ->add_option("--timeout", validate.timeout_seconds,
                   "seconds one library may take, above 0 (default: 60 + 30 per strictness "
                   "level, 210 at strictness 5)")
      ->check(CLI::Validator(check_timeout, "SECONDS"));
  // One library in a process of its own; started by validate, not by users.
  std::string one_library;
  uint64_t one_seed = 0;
  int one_strictness = 1;
  auto* one_cmd = app.add_subcommand("validate-one", "");
  one_cmd->group("");
  one_cmd->add_option("LIB", one_library)->required();
  one_cmd->add_option("--seed", one_seed);
  one_cmd->add_option("--strictness", one_strictness);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  try {
    if (*info_cmd) return info(library);
    if (*paint_cmd) return paint(patch, module, png, paint_quiet);
    if (*show_cmd) return plughost::show::show(show_options);
    if (*validate_cmd) {
      if (!seed_text.empty()) validate.seed = std::stoull(seed_text);
      // The results' text goes to the standard error when the JSON report
      // takes the standard output; the progress line only to a terminal.
      const bool json_to_stdout = validate.json_path == "-";
      validate.progress = isatty(fileno(json_to_stdout ? stderr : stdout)) != 0;
      return plughost::validate::run(validate, json_to_stdout ? std::cerr : std::cout);
    }
    if (*one_cmd) return plughost::validate::run_one(one_library, one_seed, one_strictness);
    return run(patch, json_out, quiet);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "plughost: error: %s\n", e.what());
    return 1;
  }
}
