#include "sysex/ByteloomLink.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/win32.h"

namespace byteloom {

std::string mutexName(int instance) {
  return "Byteloom_Mutex" + std::to_string(instance);
}

std::string sharedBlockName(int instance) {
  return "Byteloom_SharedMemory" + std::to_string(instance);
}

char letterOf(int size, const void* data) {
  if (size < 1 || size == 4 || !data) return 0;
  return *static_cast<const char*>(data);
}

bool SharedLink::attachMutex(int instance, bool openFirst) {
  if (m_mutex) return true;
  const std::string name = mutexName(instance);
  if (openFirst) m_mutex = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
  // Not there yet (the other object has not opened): create it, so that
  // the other object opens this one and both keep the barrier.
  if (!m_mutex) m_mutex = CreateMutexA(nullptr, FALSE, name.c_str());
  return m_mutex != nullptr;
}

bool SharedLink::openBlock(int instance) {
  if (m_view) {
    UnmapViewOfFile(m_view);
    m_view = nullptr;
    m_textArea = nullptr;
  }
  if (m_mapping) {
    CloseHandle(m_mapping);
    m_mapping = nullptr;
  }
  const std::string name = sharedBlockName(instance);
  m_mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kSharedBlockSize,
                                 name.c_str());
  if (!m_mapping) return false;
  m_view = static_cast<char*>(MapViewOfFile(m_mapping, FILE_MAP_WRITE, 0, 0, 0));
  if (!m_view) return false;
  // Not cleared here: a block backed by the paging file starts zeroed, and
  // the other object may already have written its text into a block this
  // one created (between the creation and this line), without the mutex
  // being of any help: clearing it would wipe that text.
  m_textArea = m_view + kStatusAreaSize;
  return true;
}

void SharedLink::close() {
  if (m_view) UnmapViewOfFile(m_view);
  if (m_mapping) CloseHandle(m_mapping);
  if (m_mutex) CloseHandle(m_mutex);
  m_view = nullptr;
  m_textArea = nullptr;
  m_mapping = nullptr;
  m_mutex = nullptr;
}

void SharedLink::lock() {
  if (m_mutex) WaitForSingleObject(m_mutex, INFINITE);
}

void SharedLink::unlock() {
  if (m_mutex) ReleaseMutex(m_mutex);
}

void SharedLink::barrier() {
  lock();
  unlock();
}

void SharedLink::writeStatus(int count, const char* message) {
  if (!m_view) return;
  std::snprintf(m_view, kStatusAreaSize, "%d %s", count, message);
}

void SharedLink::writeText(std::string_view text) {
  if (!m_textArea) return;
  const size_t n = std::min(text.size(), static_cast<size_t>(kMaxTextLength));
  std::memcpy(m_textArea, text.data(), n);
  m_textArea[n] = '\0';
}

std::string_view SharedLink::status() const {
  if (!m_view) return {};
  return std::string_view(m_view, strnlen(m_view, kStatusAreaSize));
}

std::string_view SharedLink::text() const {
  if (!m_textArea) return {};
  return std::string_view(m_textArea, strnlen(m_textArea, kTextAreaSize));
}

}  // namespace byteloom
