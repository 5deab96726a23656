// What RtMidi's error callback says about the call it reports on. Linux only;
// src/MidiPortsRtMidi.cpp and the piece tests use it.
#pragma once

#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <string>

#include "sysex/MidiPieces.h"

namespace byteloom {

// The reports of one call, the gravest kept. RtMidi reports a message it did
// not send only as a warning and returns as if it had sent it. Its ALSA
// output warns "incomplete message" when alsa-lib's encoder took every byte
// but holds the last ones back (an unterminated System Exclusive message
// short of the encoder's buffer, or a short message missing data bytes): the
// bytes were taken, and offering them again would put them into the encoder
// twice. Any other warning means the message, or its rest, was not taken.
// Anything graver than a warning leaves the port unusable; debug warnings say
// nothing about the message.
struct RtMidiReports {
  PieceOutcome outcome = PieceOutcome::sent;

  void note(RtMidiError::Type type, const std::string& text) {
    if (type == RtMidiError::DEBUG_WARNING) return;
    PieceOutcome said = PieceOutcome::failed;
    if (type == RtMidiError::WARNING)
      said = text.find("incomplete message") != std::string::npos ? PieceOutcome::kept
                                                                  : PieceOutcome::refused;
    outcome = std::max(outcome, said);
  }

  // For RtMidi's setErrorCallback, with `reports` as its user data.
  static void callback(RtMidiError::Type type, const std::string& text, void* reports) {
    static_cast<RtMidiReports*>(reports)->note(type, text);
  }
};

}  // namespace byteloom
