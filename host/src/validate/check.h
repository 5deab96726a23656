// What every check area of the validate child shares: the seeded random
// numbers, the protocol lines written for the parent, and the one way a
// check is run and its outcome told.
//
// Protocol (standard output, one line each, flushed at once so that the
// lines and whatever the library writes to standard error keep their order):
//   @validate plan NAME...     checks to come, in order (adds to earlier plans)
//   @validate begin NAME       a check starts
//   @validate note TEXT        where the check is now (told with a crash)
//   @validate pass NAME        it passed
//   @validate fail NAME\tTEXT  it failed, and why
//   @validate skip NAME\tTEXT  it cannot run here, and why
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace plughost::validate {

inline constexpr const char* kProtocolPrefix = "@validate ";

// A small generator whose numbers are the same on every platform and
// compiler for one seed (the standard distributions are not).
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t next();
  // 0 .. n-1 (n > 0).
  uint32_t below(uint32_t n) { return static_cast<uint32_t>(next() % n); }
  // lo .. hi, both included.
  int64_t between(int64_t lo, int64_t hi);
  // [0, 1).
  double unit() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }
  bool chance(uint32_t in) { return below(in) == 0; }

 private:
  uint64_t state_;
};

// The seed of one check: the run's seed mixed with the check's name, so that
// each check's numbers stay the same whatever checks run before it.
uint64_t check_seed(uint64_t seed, const std::string& check);

// What one check concluded.
struct Outcome {
  // kNotRun: the check never began (the process ended before it); told by
  // the parent, never by a check.
  enum Kind { kPass, kFail, kSkip, kNotRun };
  Kind kind = kPass;
  std::string text;
  static Outcome pass() { return {}; }
  static Outcome fail(std::string why) { return {kFail, std::move(why)}; }
  static Outcome skip(std::string why) { return {kSkip, std::move(why)}; }
};

struct Settings {
  std::string library;  // path of the plug-in library
  uint64_t seed = 0;
  int strictness = 1;
};

// Writes "@validate note TEXT" (where a crash or hang would have happened).
void note(const std::string& text);

// Every check the child runs on a loaded library, in order; those of the
// gui area only for a module with a GUI object (they come last). The child
// announces them ("plan": the others at the start, the gui area's once it
// knows there is a GUI object) so that the parent can name the checks a
// crash kept from running.
std::vector<std::string> planned_checks(bool has_gui);
// Writes "@validate plan NAME...".
void announce_plan(const std::vector<std::string>& names);

// Runs one check: writes "begin", runs `body` with the check's own
// generator, writes its outcome. An exception from the body (a HostError
// from the host, a refused allocation) fails the check with its message.
void run_check(const Settings& settings, const std::string& name,
               const std::function<Outcome(Rng&)>& body);

// Collects the faults of one check: the first few are told in full, the
// rest counted.
class Faults {
 public:
  void add(const std::string& text);
  bool empty() const { return count_ == 0; }
  Outcome outcome() const;

 private:
  std::vector<std::string> shown_;
  int count_ = 0;
};

// The one entry of a library that cannot be loaded (or found): it fails
// with cannot_load(reason), and no other check runs.
inline constexpr const char* kLoadCheck = "library.load";
inline std::string cannot_load(const std::string& reason) {
  return "cannot load: " + reason;
}

// The check areas, each in a file of its own.
void check_descriptor(const Settings& settings);  // check_descriptor.cpp
void check_pins(const Settings& settings);        // check_pins.cpp
void check_lifecycle(const Settings& settings);   // check_lifecycle.cpp
void check_processing(const Settings& settings);  // check_processing.cpp
void check_gui(const Settings& settings);         // check_gui.cpp

}  // namespace plughost::validate
