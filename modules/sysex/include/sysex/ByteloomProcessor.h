// Byteloom's processing object: the module's eleven pins, the trigger rules
// that load a MIDI byte file into the shared hex text, save that text as a
// raw `.syx` file or a `.txt` hex dump, or clear it, and the status line that
// reports each result. It never touches the editor window: it reaches the
// text through the shared block and the letters of the link
// (sysex/ByteloomLink.h).
//
// Created by makeModule kind 1; the host calls it from one thread at a time
// (framework revision 2020). Loading, saving and the link's waits and fixed
// sleeps run inside the host's calls and block them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "se_sdk2/SEModule_base.h"
#include "sysex/ByteloomLink.h"
#include "sysex/MidiPorts.h"

class ByteloomProcessor : public SEModule_base {
 public:
  // Pin indexes.
  enum Pin : int {
    kMidiInPort = 0,
    kMidiOutPort = 1,
    kFile = 2,
    kReload = 3,
    kAutoload = 4,
    kSaveAsTxt = 5,
    kSaveAsSyx = 6,
    kSend = 7,
    kReceive = 8,
    kClear = 9,
    kStatusMsg = 10,
  };
  static constexpr int kPathSize = 260;  // bytes of resolvedPath, with the zero

  ByteloomProcessor(HostCallback callback, intptr_t host_word);
  ~ByteloomProcessor() override;

  bool GetPinProperties(int index, SEPinProperties* properties) override;
  void Open() override;
  void OnPinStatusChange(SEPin* pin) override;
  // A block from the editor object: its letter "s" saves, "t" sends a copy
  // of the text area taken under the mutex; everything else is ignored.
  void OnGuiMessage(int size, void* data) override;

  // Loads the file at resolvedPath into the shared text (publishText) and
  // reports the count; a missing or empty file resets the editor; a file
  // whose text would not fit the shared block is refused with a status line
  // (the window keeps its text, and that file is remembered as refused), as
  // is a path the host could not give whole.
  void loadFile();
  // Saves `text` (a copy of the text area) to resolvedPath with the
  // extension and the format the save pins choose, and reports it. Refuses,
  // with a status line, a save without a resolved path, or to a path the
  // host could not give whole, a text of more bytes than the byte array
  // holds, a save that would replace the file whose load was last refused
  // (until a load succeeds), and a file that cannot be written (the old file
  // stays).
  void saveFile(std::string_view text);
  // The letter "u", then `text` into the text area under the mutex; 100 ms.
  void publishText(std::string_view text);
  // The letter "p", then "<count> <message>" into the status area under the
  // mutex; 10 ms.
  void publishStatus(int count, const char* message);
  // Asks the editor for its window text before a save ("s") or a send ("t");
  // the work goes on when the editor's echo arrives. 10 ms.
  void requestEditorText(char letter);
  // The letter "r": the editor empties its window and shows "0 bytes loaded".
  void reset();

  // MIDI output. enumeratePorts (at construction) creates the MIDI service
  // and takes its port lists for pins 0 and 1; they are not refreshed.
  // openOutputPort (pin 1 changed) closes the open output and opens the one
  // at pin 1's position; an index past the list, a port gone or one that
  // cannot be opened leaves none open. sendBytes sends `text` (a copy of the
  // text area) one message at a time, each cut after a 0xF7 and sent whole,
  // with a 60 ms pause after each; the status line counts the bytes handed
  // to the port and names a message that could not be sent, which ends the
  // send. A text of more bytes than the byte array holds is not sent at all
  // (the status line names the limit). Without an open output a send does
  // nothing.
  void enumeratePorts();
  void openOutputPort();
  void sendBytes(std::string_view text);

  const char* resolvedPath() const { return m_resolvedPath; }

 private:
  // Asks the host for the "File" pin's full path (host opcode 16). A path
  // the host could not give whole leaves resolvedPath empty and
  // m_pathTooLong set: nothing is loaded from or saved to it.
  void resolvePath();
  std::string takeSharedText();
  void sendToEditor(int size, const void* data);

  // Pin variables, written by the host: list indexes of the DT_CHOICE pins.
  int16_t m_midiInPort = 0;
  int16_t m_midiOutPort = 0;
  int16_t m_reload = 0;
  int16_t m_autoload = 0;
  int16_t m_saveAsTxt = 0;
  int16_t m_saveAsSyx = 0;
  int16_t m_send = 0;
  int16_t m_receive = 0;
  int16_t m_clear = 0;

  char m_resolvedPath[kPathSize] = {};  // the "File" pin's full path; empty until resolved
  bool m_pathTooLong = false;           // the host could not give the last path whole
  std::string m_refusedPath;            // the file whose load was last refused; "" after a load
  std::unique_ptr<std::uint8_t[]> m_byteArray;  // byteloom::kByteArraySize bytes, from Open
  int m_instance = 0;                           // host's instance number, from Open
  byteloom::SharedLink m_link;

  // Port list texts for pins 0 and 1 ("" until ports are listed).
  std::string m_inPortList;
  std::string m_outPortList;

  // The MIDI service (null when the platform has none) and the output open on
  // it (null when none); the output is released before the service.
  std::unique_ptr<byteloom::MidiService> m_midi;
  std::unique_ptr<byteloom::MidiOutput> m_output;
};
