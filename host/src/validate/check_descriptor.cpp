// Descriptor checks: what getModuleProperties writes, what makeModule
// answers for what the library does not hold, and the records of new
// instances.
#include <cstring>

#include "check.h"
#include "plughost/engine.h"
#include "plughost/plugin_library.h"
#include "se_sdk2/gui_opcodes.h"
#include "se_sdk2/host_opcodes.h"
#include "text_checks.h"

namespace plughost::validate {

namespace {

constexpr int32_t kGuiFlags = 0x80 | 0x100;

intptr_t silent_host(SEModuleRecord*, int32_t, int32_t, int32_t, void*, float) {
  return 0;
}

// A pointer no plug-in would write: a field still holding it was left alone.
const char kUntouched[] = "untouched";

}  // namespace

void check_descriptor(const Settings& settings) {
  PluginLibrary library(settings.library);
  const SEModuleProperties& p = library.properties();

  run_check(settings, "descriptor.missing_or_unterminated_text", [&](Rng&) {
    Faults faults;
    const std::pair<const char*, const char*> texts[] = {
        {"name", p.name}, {"ID", p.id}, {"about text", p.about}};
    for (const auto& [what, text] : texts) {
      const std::string why = text_fault(text, kMaxDescriptionText, true);
      if (!why.empty()) faults.add(std::string("the ") + what + " " + why);
    }
    return faults.outcome();
  });

  run_check(settings, "descriptor.unknown_flags_or_revision", [&](Rng&) {
    Faults faults;
    if (p.sdk_revision != 2230 && p.sdk_revision != 2020) {
      faults.add("interface revision " + std::to_string(p.sdk_revision) + " (known: 2230, 2020)");
    }
    if (p.flags != 0 && p.flags != kGuiFlags) {
      faults.add("flags " + std::to_string(p.flags) + " (known: 0, or 384 with a GUI object)");
    }
    // The flags promise a GUI object exactly when the library makes one.
    void* gui = library.make_module()(0, 2, &silent_host, 0);
    const bool offers_gui = p.flags == kGuiFlags;
    if (gui && !offers_gui) faults.add("makeModule makes a GUI object, but the flags are not 384");
    if (!gui && offers_gui) faults.add("the flags are 384, but makeModule makes no GUI object");
    if (gui) {
      auto* record = static_cast<SEGuiRecord*>(gui);
      if (record->magic == SE_GUI_MAGIC) {
        record->dispatcher(record, se::kGuiClose, 0, 0, nullptr, 0.0f);
      } else {
        faults.add("the GUI object's record lacks its magic");
      }
    }
    return faults.outcome();
  });

  run_check(settings, "descriptor.answers_for_a_module_it_lacks", [&](Rng&) {
    Faults faults;
    SEModuleProperties other{};
    other.name = other.id = other.about = kUntouched;
    if (library.get_module_properties()(1, &other) != 0) {
      faults.add("getModuleProperties(1) answers non-zero for a second module");
    }
    if (other.name != kUntouched || other.id != kUntouched || other.about != kUntouched) {
      faults.add("getModuleProperties(1) wrote texts for a module the library lacks");
    }
    const std::pair<int, int> lacking[] = {{1, 1}, {0, 0}, {0, 3}, {-1, 1}};
    for (const auto& [index, kind] : lacking) {
      void* made = library.make_module()(index, kind, &silent_host, 0);
      if (made) {
        faults.add("makeModule(" + std::to_string(index) + ", " + std::to_string(kind) +
                   ") made something");
      }
    }
    return faults.outcome();
  });

  run_check(settings, "descriptor.bad_instance_record", [&](Rng&) {
    Faults faults;
    const intptr_t word = static_cast<intptr_t>(0x5A5A1234);
    void* made = library.make_module()(0, 1, &silent_host, word);
    if (!made) return Outcome::fail("makeModule(0, 1) made no processing instance");
    auto* record = static_cast<SEModuleRecord*>(made);
    if (record->magic != SE_MODULE_MAGIC) {
      return Outcome::fail("the processing record lacks its magic (not closed: unsafe to call)");
    }
    if (record->version != 1) faults.add("record version " + std::to_string(record->version));
    if (record->host_word != word) faults.add("the record does not keep the host word");
    if (!record->instance) faults.add("the record names no instance");
    if (!record->dispatcher || !record->event || !record->process) {
      faults.add("the record lacks a dispatcher, event or process entry");
    }
    if (record->dispatcher) {
      const intptr_t closed = record->dispatcher(record, se::kOpClose, 0, 0, nullptr, 0.0f);
      if (closed != 1) faults.add("close (opcode 1) answers " + std::to_string(closed));
    }
    return faults.outcome();
  });
}

}  // namespace plughost::validate
