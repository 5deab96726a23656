// Byteloom's reader of Standard MIDI Files, for sysex_tool: the System
// Exclusive messages of a format 0 or 1 file, each with its time in seconds
// and its place in the file. A plain function of the file's bytes: no state,
// no file input or output, safe to call from any thread.
//
// The file is a header chunk "MThd" (6 bytes or more: format, number of
// tracks, division), then chunks of 8 bytes of heading (4 type bytes, a
// 32-bit big-endian length) and that many bytes, back to back; chunks of
// another type than "MTrk" are skipped. A track is a list of events, each
// after a delta-time in ticks (a variable-length number: 7 bits a byte, high
// bit set on all but its last byte, at most 4 bytes): channel messages
// (running status allowed), meta events (FF, type, length, data) and System
// Exclusive events (F0 or F7, length, data). The lengths are variable-length
// numbers too. Running status is the status byte of the track's last channel
// message; meta and System Exclusive events between do not end it, as many
// writers expect.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace byteloom {

// One System Exclusive message of a file, as a piece of MidiFileSysex::bytes.
struct TimedSysex {
  std::size_t offset = 0;      // where it begins in MidiFileSysex::bytes (its F0)
  std::size_t length = 0;      // its bytes, F0 to F7 inclusive
  double seconds = 0;          // its time from the start of the file (tempo map applied)
  std::size_t fileOffset = 0;  // where it begins in the file: the status byte of its F0
                               // event, or its F0 inside an escape (F7) event
};

// What a file holds, or why it cannot be read.
struct MidiFileSysex {
  bool ok = false;
  // When !ok: the byte offset in the file where reading stopped, and why.
  std::size_t errorOffset = 0;
  std::string error;

  int format = 0;  // 0 or 1
  int tracks = 0;  // track chunks read

  // Every System Exclusive message, back to back (each F0 ... F7, data bytes
  // below 0x80), in time order; at equal times in track order, then in the
  // order of the file.
  std::vector<std::uint8_t> bytes;
  std::vector<TimedSysex> messages;

  // What was left out: channel messages and meta events (End of Track
  // included); escape (F7) events that are no continuation and whose bytes
  // are not complete System Exclusive messages; messages an F0 event began
  // that no F7 event finished in their track.
  std::size_t otherEvents = 0;
  std::size_t escapesLeftOut = 0;
  std::size_t unfinished = 0;
};

// Whether `contents` begins as a Standard MIDI File does: "MThd".
bool looksLikeMidiFile(std::span<const std::uint8_t> contents);

// Reads the System Exclusive messages of the Standard MIDI File `contents`.
//
// An F0 event whose data does not end with F7 begins a message that the
// next F7 events of its track continue, until one whose data ends with F7;
// the message takes the time of its F0 event. An F7 event that continues no
// message is an escape: its bytes are taken as messages when they are
// complete System Exclusive messages (one or more), and left out otherwise.
// An F0 event while a message is unfinished, or the end of the track, leaves
// that message out. Data bytes of 0x80 and above inside a message are an
// error, as are the file's other faults: a header or chunk cut short, a
// variable-length number of more than 4 bytes, an event cut by the end of
// its track, running status with no status before it, a status byte no
// track may hold, a tempo event not of 3 bytes, format 2 (its tracks are
// independent sequences, with no common time), a division of 0 ticks or an
// unknown frame rate.
//
// Times: a division of ticks per quarter note follows the tempo events
// (FF 51 03, microseconds per quarter note; 500000 until the first) of every
// track; a division in SMPTE frames (-24, -25, -29 for 29.97, -30 frames a
// second, ticks per frame) needs no tempo.
MidiFileSysex readMidiFileSysex(std::span<const std::uint8_t> contents);

}  // namespace byteloom
