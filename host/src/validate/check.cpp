// Seeded numbers, protocol lines and the running of one check.
#include "check.h"

#include <cstdio>
#include <exception>

namespace plughost::validate {

namespace {

// Faults told in full per check; the rest are counted.
constexpr int kFaultsShown = 3;

void line(const std::string& text) {
  std::fputs(kProtocolPrefix, stdout);
  std::fputs(text.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// One line per protocol entry: tabs and line ends of a text become spaces.
std::string one_line(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  }
  return text;
}

}  // namespace

uint64_t Rng::next() {
  // splitmix64
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

int64_t Rng::between(int64_t lo, int64_t hi) {
  const uint64_t span = static_cast<uint64_t>(hi - lo) + 1;
  return lo + static_cast<int64_t>(span == 0 ? next() : next() % span);
}

uint64_t check_seed(uint64_t seed, const std::string& check) {
  uint64_t h = 0xCBF29CE484222325ull;  // FNV-1a of the name
  for (unsigned char c : check) h = (h ^ c) * 0x100000001B3ull;
  Rng mix(seed ^ h);
  return mix.next();
}

void note(const std::string& text) {
  line("note " + one_line(text));
}

void run_check(const Settings& settings, const std::string& name,
               const std::function<Outcome(Rng&)>& body) {
  line("begin " + name);
  Rng rng(check_seed(settings.seed, name));
  Outcome outcome;
  try {
    outcome = body(rng);
  } catch (const std::exception& e) {
    outcome = Outcome::fail(std::string("the host stopped: ") + e.what());
  }
  switch (outcome.kind) {
    case Outcome::kPass:
      line("pass " + name);
      break;
    case Outcome::kFail:
      line("fail " + name + "\t" + one_line(outcome.text));
      break;
    case Outcome::kSkip:
      line("skip " + name + "\t" + one_line(outcome.text));
      break;
  }
}

void Faults::add(const std::string& text) {
  if (count_++ < kFaultsShown) shown_.push_back(text);
}

Outcome Faults::outcome() const {
  if (count_ == 0) return Outcome::pass();
  std::string text;
  for (const std::string& s : shown_) text += (text.empty() ? "" : "; ") + s;
  if (count_ > kFaultsShown) text += "; and " + std::to_string(count_ - kFaultsShown) + " more";
  return Outcome::fail(text);
}

}  // namespace plughost::validate
