// The two exports of a plug-in library. A module's source names its
// processing class and its description once:
//
//   SE_DECLARE_MODULE(Module, kDescription)
//
// which defines getModuleProperties and makeModule with plain C linkage and
// calling convention, exported undecorated; the library exports nothing else.
#pragma once

#include <cstdint>
#include <new>

#include "se_sdk2/se_gui_types.h"
#include "se_sdk2/se_types.h"

namespace se {

// Texts are static: they live as long as the library.
struct ModuleDescription {
  const char* name;
  const char* id;
  const char* about;
  bool has_gui;  // offers instance kind 2; writes flags 384
};

// getModuleProperties: describes the library's one module (index 0).
int describe_module(int index, SEModuleProperties* properties, const ModuleDescription& d);

// makeModule kind 1: a new processing instance of class Processor, or null
// for another index or kind, or when it cannot be allocated. No exception
// leaves this routine.
template <class Processor>
void* make_module(int index, int kind, HostCallback callback, intptr_t host_word) {
  if (index != 0 || kind != 1) return nullptr;
  try {
    auto* module = new (std::nothrow) Processor(callback, host_word);
    return module ? module->GetRecord() : nullptr;
  } catch (...) {
    return nullptr;
  }
}

// makeModule for a module with a GUI object: kind 1 makes a Processor, kind 2
// a Gui (the callback then is the GUI host callback).
template <class Processor, class Gui>
void* make_module_with_gui(int index, int kind, HostCallback callback, intptr_t host_word) {
  if (index != 0) return nullptr;
  if (kind == 1) return make_module<Processor>(index, kind, callback, host_word);
  if (kind != 2) return nullptr;
  try {
    auto* gui = new (std::nothrow) Gui(reinterpret_cast<GuiHostCallback>(callback), host_word);
    return gui ? gui->GetRecord() : nullptr;
  } catch (...) {
    return nullptr;
  }
}

}  // namespace se

#define SE_DECLARE_MODULE(Processor, description)                                              \
  SE_EXPORT int getModuleProperties(int index, SEModuleProperties* properties) {               \
    return ::se::describe_module(index, properties, description);                              \
  }                                                                                            \
  SE_EXPORT void* makeModule(int index, int kind, HostCallback callback, intptr_t host_word) { \
    return ::se::make_module<Processor>(index, kind, callback, host_word);                     \
  }

// The same for a module that also offers a GUI object (description.has_gui
// must be true).
#define SE_DECLARE_MODULE_WITH_GUI(Processor, Gui, description)                                \
  SE_EXPORT int getModuleProperties(int index, SEModuleProperties* properties) {               \
    return ::se::describe_module(index, properties, description);                              \
  }                                                                                            \
  SE_EXPORT void* makeModule(int index, int kind, HostCallback callback, intptr_t host_word) { \
    return ::se::make_module_with_gui<Processor, Gui>(index, kind, callback, host_word);       \
  }
