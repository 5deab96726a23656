#include "sysex/ByteloomProcessor.h"

#include <cstring>
#include <new>
#include <vector>

#include "common/ascii_case.h"
#include "platform/win32.h"
#include "sysex/ByteloomBytes.h"
#include "sysex/ByteloomFiles.h"

namespace {

using byteloom::kByteArraySize;
using byteloom::kMaxRawFileSize;
using byteloom::kMaxTextLength;

// A text file shrinks at most to half when its line ends are flattened (CR LF
// becomes one space), so larger files can never fit the text area.
constexpr std::uint32_t kMaxReadSize = 2u * kMaxTextLength + 2u;

// Status messages, each written after its byte count.
constexpr char kLoaded[] = "bytes loaded";
constexpr char kSavedRaw[] = "MIDI bytes saved as raw data";
constexpr char kSavedText[] = "MIDI bytes saved as text";
constexpr char kRawTooLarge[] = "bytes not loaded: a raw file may have at most 218410 bytes";
constexpr char kTextTooLong[] =
    "bytes not loaded: its text would be over the limit of 655231 characters";
constexpr char kFileTooLarge[] =
    "bytes not loaded: over the limits of 218410 raw bytes and 655231 characters of text";
constexpr char kTooManyToSave[] = "bytes not saved: at most 131072 bytes can be saved";
constexpr char kNoFile[] = "bytes not saved: no file chosen yet";
constexpr char kPathTooLong[] = "bytes not saved: the file name is too long";
constexpr char kPathTooLongToLoad[] = "bytes not loaded: the file name is too long";
constexpr char kRefusedFileKept[] =
    "bytes not saved: the file was not loaded, so it is kept; choose another file";
constexpr char kCannotCreate[] = "bytes not saved: the file could not be created";
constexpr char kCannotWrite[] =
    "bytes not saved: the file could not be written, the old one is kept";

static_assert(kMaxRawFileSize == 218410 && kMaxTextLength == 655231 && kByteArraySize == 131072,
              "the status messages name these limits");

}  // namespace

ByteloomProcessor::ByteloomProcessor(HostCallback callback, intptr_t host_word)
    : SEModule_base(callback, host_word) {
  enumeratePorts();
}

ByteloomProcessor::~ByteloomProcessor() {
  m_link.close();
  m_output.reset();
  m_midi.reset();
}

bool ByteloomProcessor::GetPinProperties(int index, SEPinProperties* p) {
  p->direction = DR_IN;
  p->datatype = DT_CHOICE;
  switch (index) {
    case kMidiInPort:
      p->name = "MIDI In Port";
      p->default_value = "0";
      p->datatype_extra = m_inPortList.c_str();
      p->variable_address = &m_midiInPort;
      return true;
    case kMidiOutPort:
      p->name = "MIDI Out Port";
      p->default_value = "0";
      p->datatype_extra = m_outPortList.c_str();
      p->variable_address = &m_midiOutPort;
      return true;
    case kFile:
      p->name = "File";
      p->datatype = DT_STRING;
      p->flags = IO_FILE_NAME;
      p->datatype_extra = "txt;*.syx";
      return true;
    case kStatusMsg:
      p->name = "Status Msg";
      p->datatype = DT_STRING;
      p->flags = IO_UI_COMMUNICATION;
      return true;
    default:
      break;
  }
  struct Choice {
    const char* name;
    const char* list;
    int16_t ByteloomProcessor::*variable;
  };
  static const Choice choices[] = {
      {"Reload", "no,yes", &ByteloomProcessor::m_reload},
      {"Autoload", "Off,On", &ByteloomProcessor::m_autoload},
      {"Save as .txt", "no,yes", &ByteloomProcessor::m_saveAsTxt},
      {"Save as .syx", "no,yes", &ByteloomProcessor::m_saveAsSyx},
      {"Send", "no,yes", &ByteloomProcessor::m_send},
      {"Receive", "no,yes", &ByteloomProcessor::m_receive},
      {"Clear", "no,yes", &ByteloomProcessor::m_clear},
  };
  if (index < kReload || index > kClear) return false;
  const Choice& c = choices[index - kReload];
  p->name = c.name;
  p->default_value = "0";
  p->datatype_extra = c.list;
  p->variable_address = &(this->*c.variable);
  return true;
}

void ByteloomProcessor::Open() {
  SEModule_base::Open();
  SetProcessFunction(&ByteloomProcessor::SleepProcess);
  m_byteArray.reset(new (std::nothrow) std::uint8_t[kByteArraySize]);
  m_instance = static_cast<int>(HostCall(se::kHostInstanceNumber));
  m_link.attachMutex(m_instance, true);
  m_link.openBlock(m_instance);
  reset();
}

void ByteloomProcessor::OnPinStatusChange(SEPin* pin) {
  switch (pin->getPinIndex()) {
    case kMidiOutPort:
      openOutputPort();
      break;
    case kFile:
      resolvePath();
      if (m_autoload) loadFile();
      break;
    case kReload:
      resolvePath();
      loadFile();
      break;
    case kSaveAsTxt:
      if (m_saveAsTxt != 0 && m_saveAsSyx == 0) requestEditorText(byteloom::kLetterSave);
      break;
    case kSaveAsSyx:
      if (m_saveAsSyx != 0 && m_saveAsTxt == 0) requestEditorText(byteloom::kLetterSave);
      break;
    case kSend:
      if (m_send) requestEditorText(byteloom::kLetterSend);
      break;
    case kClear:
      if (m_clear) reset();
      break;
    default:  // MIDI In Port, Autoload, Receive, Status Msg
      break;
  }
}

void ByteloomProcessor::OnGuiMessage(int size, void* data) {
  switch (byteloom::letterOf(size, data)) {
    case byteloom::kLetterSave:
      saveFile(takeSharedText());
      break;
    case byteloom::kLetterSend:
      sendBytes(takeSharedText());
      break;
    default:
      break;
  }
}

std::string ByteloomProcessor::takeSharedText() {
  // Copied whole while the editor cannot write: a request that follows
  // quickly (a second save) may already be rewriting the block.
  m_link.lock();
  std::string text(m_link.text());
  m_link.unlock();
  return text;
}

void ByteloomProcessor::resolvePath() {
  m_resolvedPath[0] = '\0';
  const intptr_t answer = HostCall(se::kHostFileName, kFile, kPathSize, m_resolvedPath);
  m_resolvedPath[kPathSize - 1] = '\0';
  // A host that cannot give the whole path answers the size it would need;
  // whatever it left in the buffer names another file.
  m_pathTooLong = answer > kPathSize;
  if (m_pathTooLong) m_resolvedPath[0] = '\0';
}

void ByteloomProcessor::loadFile() {
  if (m_pathTooLong) {
    publishStatus(0, kPathTooLongToLoad);
    return;
  }
  std::vector<std::uint8_t> contents;
  std::uint32_t size = 0;
  switch (byteloom::readWholeFile(m_resolvedPath, kMaxReadSize, contents, size)) {
    case byteloom::ReadResult::kMissing:
    case byteloom::ReadResult::kEmpty:
      reset();
      return;
    case byteloom::ReadResult::kTooLarge:
      m_refusedPath = m_resolvedPath;
      publishStatus(static_cast<int>(size > INT32_MAX ? INT32_MAX : size), kFileTooLarge);
      return;
    case byteloom::ReadResult::kRead:
      break;
  }
  const byteloom::DecodedFile decoded = byteloom::decodeFileContents(contents);
  // Refused whole rather than shown cut: the window and status stay as they
  // were apart from the refusal.
  if (decoded.raw && size > static_cast<std::uint32_t>(kMaxRawFileSize)) {
    m_refusedPath = m_resolvedPath;
    publishStatus(static_cast<int>(size), kRawTooLarge);
    return;
  }
  if (decoded.text.size() > static_cast<size_t>(kMaxTextLength)) {
    m_refusedPath = m_resolvedPath;
    publishStatus(static_cast<int>(size), kTextTooLong);
    return;
  }
  m_refusedPath.clear();  // the window now shows a file again
  publishText(decoded.text);
  publishStatus(decoded.byteCount, kLoaded);
}

void ByteloomProcessor::saveFile(std::string_view text) {
  if (text.empty() || !m_byteArray) return;
  const int count = byteloom::countHexBytes(text);
  if (m_pathTooLong) {
    publishStatus(count, kPathTooLong);
    return;
  }
  if (m_resolvedPath[0] == '\0') {
    publishStatus(count, kNoFile);
    return;
  }
  if (count > kByteArraySize) {
    publishStatus(count, kTooManyToSave);
    return;
  }
  // The extension follows the pins in this order; the format follows
  // "Save as .syx" alone.
  std::string target = m_resolvedPath;
  if (m_saveAsTxt != 0 && byteloom::withSaveExtension(target, ".txt") != target) {
    target = byteloom::withSaveExtension(target, ".txt");
  } else if (m_saveAsSyx != 0) {
    target = byteloom::withSaveExtension(target, ".syx");
  }
  if (target.size() >= kPathSize) {
    publishStatus(count, kPathTooLong);
    return;
  }
  // The window does not hold that file's bytes: replacing it with the window
  // text would lose them unseen. Compared without regard to ASCII case, as
  // Windows names files.
  if (!m_refusedPath.empty() && cnum::asciiLower(target) == cnum::asciiLower(m_refusedPath)) {
    publishStatus(count, kRefusedFileKept);
    return;
  }
  const int n =
      byteloom::parseHexText({m_byteArray.get(), static_cast<size_t>(kByteArraySize)}, text);
  const bool raw = m_saveAsSyx != 0;
  std::string dump;
  if (!raw) dump = byteloom::formatTextDump({m_byteArray.get(), static_cast<size_t>(n)});
  const void* data = raw ? static_cast<const void*>(m_byteArray.get()) : dump.data();
  const auto size = static_cast<std::uint32_t>(raw ? n : dump.size());
  switch (byteloom::writeFileSafely(target, data, size)) {
    case byteloom::WriteResult::kWritten:
      // Later loads ("Reload", "Autoload") read the file just saved.
      std::memcpy(m_resolvedPath, target.c_str(), target.size() + 1);
      publishStatus(n, raw ? kSavedRaw : kSavedText);
      break;
    case byteloom::WriteResult::kCannotCreate:
      publishStatus(n, kCannotCreate);
      break;
    case byteloom::WriteResult::kCannotWrite:
      publishStatus(n, kCannotWrite);
      break;
  }
}

void ByteloomProcessor::sendToEditor(int size, const void* data) {
  HostCall(se::kHostSendToGui, size, 0, const_cast<void*>(data));
}

void ByteloomProcessor::publishText(std::string_view text) {
  byteloom::sendLetter(m_instance, byteloom::kLetterNewText,
                       [this](int size, const void* data) { sendToEditor(size, data); });
  if (!m_link.hasBlock()) return;
  m_link.lock();
  m_link.writeText(text);
  m_link.unlock();
  Sleep(100);
}

void ByteloomProcessor::publishStatus(int count, const char* message) {
  byteloom::sendLetter(m_instance, byteloom::kLetterStatus,
                       [this](int size, const void* data) { sendToEditor(size, data); });
  if (!m_link.hasBlock()) return;
  m_link.lock();
  m_link.writeStatus(count, message);
  m_link.unlock();
  Sleep(10);
}

void ByteloomProcessor::requestEditorText(char letter) {
  byteloom::sendLetter(m_instance, letter,
                       [this](int size, const void* data) { sendToEditor(size, data); });
  Sleep(10);
}

void ByteloomProcessor::reset() {
  byteloom::sendLetter(m_instance, byteloom::kLetterReset,
                       [this](int size, const void* data) { sendToEditor(size, data); });
}
