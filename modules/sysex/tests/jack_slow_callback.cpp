// Preloaded (LD_PRELOAD) into the sysex_tool senders of jack_ports_check.py's
// closing stage: every JACK MIDI output callback of the process dwells after
// it has cleared its port's buffer and before it reads the output's queue, as
// a callback pre-empted on a busy machine does, but on every period instead
// of once in a while. An output destroyed while its callback dwells must not
// free the queue the callback is about to read; one that does crashes at exit
// (or sends garbage) in most of the senders instead of once in a long while.
// BYTELOOM_CALLBACK_DWELL_US sets the dwell in microseconds (default 1000).
#include <dlfcn.h>
#include <time.h>

#include <cstdlib>

extern "C" void jack_midi_clear_buffer(void* buffer) {
  using Clear = void (*)(void*);
  static const Clear real = reinterpret_cast<Clear>(dlsym(RTLD_NEXT, "jack_midi_clear_buffer"));
  static const long dwellUs = [] {
    const char* text = std::getenv("BYTELOOM_CALLBACK_DWELL_US");
    return text ? std::strtol(text, nullptr, 10) : 1000L;
  }();
  if (real) real(buffer);
  if (dwellUs <= 0) return;
  timespec dwell{dwellUs / 1000000, (dwellUs % 1000000) * 1000};
  nanosleep(&dwell, nullptr);
}
