// The validate child: every check area on one library, in one process of
// its own, writing the protocol lines of check.h for the parent.
#include <cstdio>
#include <exception>

#include "check.h"
#include "plughost/host_error.h"
#include "plughost/library_path.h"
#include "plughost/plugin_library.h"
#include "plughost/validate.h"

#if defined(_WIN32)
#include "platform/win32.h"
#endif

namespace plughost::validate {

namespace {

#if defined(_WIN32)
// An unhandled exception ends the child at once with the exception's code,
// which the parent reports; no error dialog, no debugger.
LONG WINAPI end_on_exception(EXCEPTION_POINTERS* info) {
  std::fflush(stdout);
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), info->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}
#endif

}  // namespace

int run_one(const std::string& library, uint64_t seed, int strictness) {
#if defined(_WIN32)
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  SetUnhandledExceptionFilter(&end_on_exception);
#endif
  // Standard error unbuffered, so that what the library reports lands
  // between the protocol lines of the check that caused it.
  std::setvbuf(stderr, nullptr, _IONBF, 0);
  Settings settings{library, seed, strictness};
  // A library that cannot be loaded fails once, with the loader's reason;
  // checks of a library never loaded would tell nothing.
  try {
    settings.library = locate_library(library, LibraryContext::command_line());
    PluginLibrary loaded(settings.library);
  } catch (const HostError& e) {
    const auto* load = dynamic_cast<const LibraryLoadError*>(&e);
    const std::string reason = load ? load->reason() : e.what();
    run_check(settings, kLoadCheck, [&](Rng&) { return Outcome::fail(cannot_load(reason)); });
    return 0;
  }
  // The gui area adds its checks to the plan once it knows the module has
  // a GUI object.
  announce_plan(planned_checks(false));
  // An area whose set-up fails (the library does not load) fails as one
  // check of its own; the other areas still run.
  const std::pair<const char*, void (*)(const Settings&)> areas[] = {
      {"descriptor", &check_descriptor},
      {"pins", &check_pins},
      {"lifecycle", &check_lifecycle},
      {"processing", &check_processing},
      {"gui", &check_gui}};
  for (const auto& [name, area] : areas) {
    try {
      area(settings);
    } catch (const std::exception& e) {
      run_check(settings, std::string(name) + ".setup",
                [&](Rng&) { return Outcome::fail(e.what()); });
    }
  }
  return 0;
}

}  // namespace plughost::validate
