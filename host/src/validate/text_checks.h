// Checks of the texts and list texts a plug-in hands to the host.
#pragma once

#include <string>

namespace plughost::validate {

// Longest texts taken as terminated: a description and a pin's texts.
inline constexpr size_t kMaxDescriptionText = 64 * 1024;
inline constexpr size_t kMaxPinText = 64 * 1024;

// Why `text` is not a usable text ("is missing", "is empty", "has no end
// within 65536 bytes"), or "" when it is. `required`: null is a fault.
std::string text_fault(const char* text, size_t limit, bool required);

// Why a choice pin's list text is malformed ("entry 3 is empty", "range
// 'range: 5,1' runs backwards"), or "" when it is well formed. An empty list
// is well formed (a list filled in later).
std::string list_fault(const std::string& list);

// Whether `text` is one number as a host reads pin defaults (white space
// around it allowed).
bool is_number(const std::string& text);

}  // namespace plughost::validate
