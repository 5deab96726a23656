// Windows only: counts the pens and brushes a loaded plug-in library makes
// and deletes, by pointing its imports of CreatePen, CreateSolidBrush and
// DeleteObject at counting functions that call the real ones. The entries
// of the library's import address table are rewritten in place for the
// counter's life and restored after. (Wine's GetGuiResources answers 0, so
// the process's own count of GDI objects says nothing there.)
//
// The count is only as good as the imports it sees: problem() names any
// other GDI32 import that makes an object, or an import by ordinal, which
// the counter would miss.
//
// It can also make the library's CreatePen fail (failPens), as GDI does when
// the process has no GDI objects left.
#pragma once

#include <windows.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace gdi_import_counter {

namespace detail {

struct Counts {
  std::set<HGDIOBJ> live;  // made through a counted import, not deleted since
  int made = 0;
  int pensBeforeFailure = 0;  // CreatePen calls that still succeed, then
  int pensToFail = 0;         // this many fail
};
inline Counts& counts() {
  static Counts c;
  return c;
}
inline void note(HGDIOBJ object) {
  if (!object) return;
  counts().live.insert(object);
  ++counts().made;
}

inline HPEN WINAPI countedCreatePen(int style, int width, COLORREF colour) {
  Counts& c = counts();
  if (c.pensBeforeFailure > 0) {
    --c.pensBeforeFailure;
  } else if (c.pensToFail > 0) {
    --c.pensToFail;
    return nullptr;
  }
  HPEN pen = CreatePen(style, width, colour);
  note(pen);
  return pen;
}
inline HBRUSH WINAPI countedCreateSolidBrush(COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  note(brush);
  return brush;
}
inline BOOL WINAPI countedDeleteObject(HGDIOBJ object) {
  const BOOL deleted = DeleteObject(object);
  if (deleted) counts().live.erase(object);
  return deleted;
}

inline void* counted(const std::string& name) {
  if (name == "CreatePen") return reinterpret_cast<void*>(&countedCreatePen);
  if (name == "CreateSolidBrush") return reinterpret_cast<void*>(&countedCreateSolidBrush);
  if (name == "DeleteObject") return reinterpret_cast<void*>(&countedDeleteObject);
  return nullptr;
}

// GDI32 functions that make an object the counter does not count.
inline bool makesAnObject(const std::string& name) {
  return name.rfind("Create", 0) == 0 || name.rfind("ExtCreate", 0) == 0;
}

// An entry of the import address table.
using Slot = decltype(IMAGE_THUNK_DATA{}.u1.Function);

inline void writeSlot(Slot* slot, Slot value) {
  DWORD was = 0;
  VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &was);
  *slot = value;
  VirtualProtect(slot, sizeof *slot, was, &was);
}

}  // namespace detail

// One at a time: the counts are the process's.
class ImportCounter {
 public:
  explicit ImportCounter(HMODULE module) {
    detail::counts() = {};
    if (!module) {
      m_problem = "the library is not loaded";
      return;
    }
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    int counted = 0;
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         imports.VirtualAddress && d->Name; ++d) {
      if (lstrcmpiA(reinterpret_cast<const char*>(base + d->Name), "gdi32.dll") != 0) continue;
      const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(
          base + (d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk));
      auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
      for (; names->u1.AddressOfData; ++names, ++slots) {
        if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
          m_problem += "a GDI32 import by ordinal; ";
          continue;
        }
        const auto* byName =
            reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
        const std::string name = reinterpret_cast<const char*>(byName->Name);
        if (void* to = detail::counted(name)) {
          detail::Slot* slot = &slots->u1.Function;
          m_restore.emplace_back(slot, *slot);
          detail::writeSlot(slot, reinterpret_cast<detail::Slot>(to));
          ++counted;
        } else if (detail::makesAnObject(name)) {
          m_problem += name + " makes GDI objects the counter does not count; ";
        }
      }
    }
    if (counted == 0) m_problem += "no counted GDI32 import was found; ";
  }
  ~ImportCounter() {
    for (auto& [slot, original] : m_restore) detail::writeSlot(slot, original);
  }
  ImportCounter(const ImportCounter&) = delete;
  ImportCounter& operator=(const ImportCounter&) = delete;

  // Empty when every GDI32 import that makes an object is counted.
  const std::string& problem() const { return m_problem; }
  // Pens and brushes made through the library's imports and not deleted.
  int live() const { return static_cast<int>(detail::counts().live.size()); }
  // Every pen and brush made through them since the counter began.
  int made() const { return detail::counts().made; }
  // Of the library's CreatePen calls from now on, the first `skip` succeed
  // and the `count` after them answer null; (0, 0) ends it.
  void failPens(int skip, int count) {
    detail::counts().pensBeforeFailure = skip;
    detail::counts().pensToFail = count;
  }

 private:
  std::vector<std::pair<detail::Slot*, detail::Slot>> m_restore;
  std::string m_problem;
};

}  // namespace gdi_import_counter
