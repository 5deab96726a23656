// Turning a pointer to a member routine into a code address that the host
// can call like a member routine of the instance (SE_THISCALL, instance
// first), and back. Both compilers of the tree (gcc, clang, mingw-w64 gcc)
// use the same representation of a pointer to a member routine: {function
// address or 1 + vtable offset, this-adjustment}.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "se_sdk2/se_types.h"

namespace se {

struct MemberPointerParts {
  uintptr_t ptr;  // function address, or 1 + byte offset into the vtable
  ptrdiff_t adj;  // this-adjustment in bytes
};

// The code address that a member routine pointer refers to for object self:
// virtual routines are resolved through self's vtable. Null for a null
// member pointer. The routine is then called with self unadjusted, which
// holds for the single-inheritance module classes of the framework
// (adjustment 0; see SEModule_base::SetProcessFunction).
template <class MemberPointer>
inline const void* code_address(MemberPointer routine, const void* self,
                                ptrdiff_t* adjustment = nullptr) {
  static_assert(sizeof(MemberPointer) == sizeof(MemberPointerParts),
                "unexpected representation of a pointer to a member routine");
  MemberPointerParts parts;
  std::memcpy(&parts, &routine, sizeof parts);
  if (adjustment) *adjustment = parts.adj;
  if (parts.ptr == 0) return nullptr;
  if (parts.ptr & 1) {
    const char* object = static_cast<const char*>(self) + parts.adj;
    const char* vtable = *reinterpret_cast<const char* const*>(object);
    const void* entry;
    std::memcpy(&entry, vtable + (parts.ptr - 1), sizeof entry);
    return entry;
  }
  return reinterpret_cast<const void*>(parts.ptr);
}

// Calls the routine at a code address as a member routine of self with no
// arguments (EV_CALL_FUNCTION events).
inline void call_member(const void* code, void* self) {
  using Routine = void(SE_THISCALL*)(void*);
  reinterpret_cast<Routine>(const_cast<void*>(code))(self);
}

}  // namespace se
