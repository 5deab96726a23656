// How Byteloom's Linux MIDI output (src/MidiPortsRtMidi.cpp) cuts one
// message into the pieces it hands to RtMidi, and the loop that hands them
// over. Kept apart from RtMidi so that the rule can be run on its own against
// alsa-lib's MIDI event encoder. No platform header is included here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace byteloom {

// Longest piece handed to the service in one call, in bytes. RtMidi's JACK
// output queues a call whole in a ring of 16 KB and hands it to the server as
// one event of a period; ALSA's sequencer copies an event into a pool of a
// few kilobytes. Pieces of this size fit both beside other events.
inline constexpr std::size_t kPieceSize = 4096;

// RtMidi 5.0.0's ALSA output passes each call's bytes to alsa-lib's MIDI event
// encoder (snd_midi_event). The encoder's buffer holds 32 bytes when the
// output is made; a call longer than the buffer first grows the buffer to the
// call's length, which also clears what the encoder was holding; it never
// shrinks. A System Exclusive message leaves the encoder as an event only at
// its F7 or when the buffer is full; bytes short of both stay in the encoder
// (RtMidi warns "incomplete message") until more bytes complete them, and an
// F0 that starts the next message throws them away.
inline constexpr std::size_t kAlsaEncoderStart = 32;

// The pieces of one message, in order. The lengths add up to the bytes that go
// out; `withheld` trailing bytes are not offered at all, because the encoder
// could only keep them (an unterminated System Exclusive message that no run
// of whole encoder buffers can carry).
struct PiecePlan {
  std::vector<std::size_t> lengths;
  std::size_t withheld = 0;
};

// The pieces for `message`. `encoderBuffer` is the size in bytes of the
// encoder's buffer as the message starts (kAlsaEncoderStart for a new ALSA
// output), or 0 for a service that takes bytes as they are (JACK): then the
// pieces are kPieceSize long, the last one shorter. With an encoder:
// - a message that ends with F7, or does not start with F0, goes in pieces of
//   kPieceSize (the first piece of a longer message grows the buffer to
//   kPieceSize, so every later full piece fills it and leaves as an event);
// - a System Exclusive message without a final F7 goes in k equal pieces of
//   s = n / k bytes, for the smallest k with s at most kPieceSize and at
//   least the encoder's buffer: the first piece grows the buffer to s (or
//   finds it so), and every piece then fills it. When no such k exists the
//   whole message is withheld.
PiecePlan planPieces(std::span<const std::uint8_t> message, std::size_t encoderBuffer);

// The size of the encoder's buffer after the pieces of `plan` went through an
// encoder whose buffer was `encoderBuffer` bytes (0: no encoder, stays 0).
std::size_t encoderBufferAfter(const PiecePlan& plan, std::size_t encoderBuffer);

// What the service did with one piece.
enum class PieceOutcome {
  sent,     // every byte went out
  kept,     // taken, but the encoder keeps its last bytes: offering it again would double them
  refused,  // nothing was taken (no room now): it may be offered again
  failed,   // the port cannot be used
};

// Hands the pieces of `plan` to `offer`, in order, kPieceGapMs apart. A
// refused piece is offered again, kPieceGapMs apart, for up to kRetryMs; a
// kept piece is never offered again (the encoder goes on with the next
// piece's bytes). True only when every byte of `message` went out: nothing
// withheld, no piece failed or stayed refused, and the last piece was not
// kept. `message` is borrowed for the call.
inline constexpr int kPieceGapMs = 10;
inline constexpr int kRetryMs = 2000;
bool sendPieces(std::span<const std::uint8_t> message, const PiecePlan& plan,
                const std::function<PieceOutcome(std::span<const std::uint8_t>)>& offer);

}  // namespace byteloom
