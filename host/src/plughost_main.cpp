// plughost: loads plug-in libraries and drives them as the modular host does.
//   plughost info LIB             the module's description and pin table
//   plughost run PATCH [--json F] runs a patch file and logs what the outputs sent
//   plughost validate LIB...      checks that plug-in libraries survive what hosts do
#include <CLI/CLI.hpp>
#include <cstdio>
#include <fstream>
#include <iostream>

#include "plughost/engine.h"
#include "plughost/host_error.h"
#include "plughost/library_path.h"
#include "plughost/panel.h"
#include "plughost/patch.h"
#include "plughost/report.h"
#include "plughost/validate.h"

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

int run(const std::string& patch_path, const std::string& json_path, bool quiet) {
  plughost::PatchRun patch = plughost::load_patch_file(patch_path);
  std::printf("plughost: %s: %zu module%s, %g Hz, blocks of %d, %u samples\n", patch_path.c_str(),
              patch.engine->instances().size(), patch.engine->instances().size() == 1 ? "" : "s",
              double(patch.engine->sample_rate()), patch.engine->block_size(), patch.length);
  patch.engine->run(patch.length);
  if (!quiet) plughost::write_text_log(std::cout, patch);
  if (!json_path.empty()) {
    std::ofstream out(json_path, std::ios::binary);
    out << plughost::json_log(patch) << '\n';
    if (!out) throw plughost::HostError("cannot write " + json_path);
  }
  return 0;
}

int paint(const std::string& patch_path, const std::string& module, const std::string& png) {
  plughost::PatchRun patch = plughost::load_patch_file(patch_path);
  plughost::Instance& instance = patch.engine->instance(module);
  patch.engine->run(patch.length);
  plughost::play_gestures(patch);
  plughost::paint_panel(instance, png);
  std::printf("plughost: painted %s (%dx%d) to %s\n", module.c_str(), instance.gui()->panel_width(),
              instance.gui()->panel_height(), png.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"plughost: loads plug-in modules and runs patches as the modular host does"};
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
  run_cmd->add_option("--json", json_out, "also write the log as JSON to this file");
  run_cmd->add_flag("--quiet", quiet, "print no log");
  std::string module;
  std::string png;
  auto* paint_cmd = app.add_subcommand("paint", "run a patch, play its gestures, paint a panel");
  paint_cmd->add_option("PATCH", patch, "patch file (JSON)")->required();
  paint_cmd->add_option("--module", module, "the module whose panel to paint")->required();
  paint_cmd->add_option("--out", png, "PNG file to write")->required();
  plughost::validate::Options validate;
  auto* validate_cmd = app.add_subcommand(
      "validate", "check that plug-in libraries survive what real hosts do to them");
  validate_cmd->add_option("LIB", validate.libraries, "plug-in libraries (paths or names)")
      ->required();
  validate_cmd
      ->add_option("--strictness", validate.strictness,
                   "1 (a quick smoke run) to 10 (most rounds of random events)")
      ->check(CLI::Range(plughost::validate::kMinStrictness, plughost::validate::kMaxStrictness));
  validate_cmd->add_option("--seed", validate.seed, "seed of the random inputs (to replay a run)");
  validate_cmd->add_option("--json", validate.json_path, "also write the results as JSON");
  validate_cmd->add_option("--timeout", validate.timeout_seconds,
                           "seconds one library may take (default: from the strictness)");
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
    if (*paint_cmd) return paint(patch, module, png);
    if (*validate_cmd) return plughost::validate::run(validate, std::cout);
    if (*one_cmd) return plughost::validate::run_one(one_library, one_seed, one_strictness);
    return run(patch, json_out, quiet);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "plughost: error: %s\n", e.what());
    return 1;
  }
}
