// The Linux output's piece rule and sending loop against alsa-lib's own MIDI
// event encoder, driven call by call as RtMidi 5.0.0's ALSA output drives it,
// with every event it makes decoded back into bytes. The encoder needs no
// sequencer, so this runs on any machine.
#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "RtMidiReports.h"
#include "sysex/MidiPieces.h"

namespace byteloom {
namespace {

using Bytes = std::vector<std::uint8_t>;

// RtMidi 5.0.0's MidiOutAlsa: an encoder made with a 32-byte buffer; per call,
// the buffer grown to a longer call first, then events encoded and sent until
// the call's bytes are used up, a warning ending the call early. What it would
// send to its port is decoded here instead; its warnings go through the same
// reports as the real output's.
class AlsaOutputModel {
 public:
  AlsaOutputModel() {
    EXPECT_EQ(snd_midi_event_new(m_bufferSize, &m_encoder), 0);
    snd_midi_event_init(m_encoder);
    EXPECT_EQ(snd_midi_event_new(64, &m_decoder), 0);
    snd_midi_event_no_status(m_decoder, 1);  // every short message with its status byte
  }
  ~AlsaOutputModel() {
    snd_midi_event_free(m_encoder);
    snd_midi_event_free(m_decoder);
  }

  PieceOutcome offer(std::span<const std::uint8_t> piece) {
    ++m_offers;
    RtMidiReports reports;
    sendMessage(piece, reports);
    return reports.outcome;
  }

  const Bytes& received() const { return m_received; }
  int offers() const { return m_offers; }

 private:
  void sendMessage(std::span<const std::uint8_t> bytes, RtMidiReports& reports) {
    if (bytes.size() > m_bufferSize) {
      m_bufferSize = bytes.size();
      ASSERT_EQ(snd_midi_event_resize_buffer(m_encoder, m_bufferSize), 0);
    }
    for (std::size_t offset = 0; offset < bytes.size();) {
      snd_seq_event_t ev;
      snd_seq_ev_clear(&ev);
      const long used = snd_midi_event_encode(m_encoder, bytes.data() + offset,
                                              static_cast<long>(bytes.size() - offset), &ev);
      if (used < 0)
        return reports.note(RtMidiError::WARNING, "MidiOutAlsa::sendMessage: event parsing error!");
      if (ev.type == SND_SEQ_EVENT_NONE)
        return reports.note(RtMidiError::WARNING, "MidiOutAlsa::sendMessage: incomplete message!");
      offset += static_cast<std::size_t>(used);
      deliver(ev);
    }
  }

  void deliver(const snd_seq_event_t& ev) {
    if (ev.type == SND_SEQ_EVENT_SYSEX) {
      const auto* data = static_cast<const std::uint8_t*>(ev.data.ext.ptr);
      m_received.insert(m_received.end(), data, data + ev.data.ext.len);
      return;
    }
    std::uint8_t bytes[64];
    const long n = snd_midi_event_decode(m_decoder, bytes, sizeof bytes, &ev);
    ASSERT_GT(n, 0) << "an event of type " << int(ev.type) << " that does not decode";
    m_received.insert(m_received.end(), bytes, bytes + n);
  }

  snd_midi_event_t* m_encoder = nullptr;
  snd_midi_event_t* m_decoder = nullptr;
  std::size_t m_bufferSize = kAlsaEncoderStart;
  Bytes m_received;
  int m_offers = 0;
};

// F0, n - 2 data bytes counting up, F7; without the F7 when `terminated` is
// false (n - 1 data bytes then).
Bytes sysEx(std::size_t n, bool terminated = true) {
  Bytes m(n);
  m[0] = 0xF0;
  for (std::size_t i = 1; i < n; ++i) m[i] = static_cast<std::uint8_t>((i * 7 + n) & 0x7F);
  if (terminated) m[n - 1] = 0xF7;
  return m;
}

Bytes joined(const std::vector<Bytes>& messages) {
  Bytes all;
  for (const Bytes& m : messages) all.insert(all.end(), m.begin(), m.end());
  return all;
}

// Sends `messages` one after the other through one output, as the output
// does: each planned from the encoder's buffer that the ones before left.
struct Sent {
  std::vector<bool> results;  // per message: every byte went out
  Bytes received;
  int offers = 0;          // calls made on the output
  std::size_t pieces = 0;  // pieces planned
};

Sent sendThroughAlsa(const std::vector<Bytes>& messages) {
  AlsaOutputModel out;
  Sent sent;
  std::size_t buffer = kAlsaEncoderStart;
  for (const Bytes& m : messages) {
    const PiecePlan plan = planPieces(m, buffer);
    buffer = encoderBufferAfter(plan, buffer);
    for (std::size_t length : plan.lengths) EXPECT_LE(length, kPieceSize);
    sent.pieces += plan.lengths.size();
    sent.results.push_back(sendPieces(m, plan, [&](auto piece) { return out.offer(piece); }));
  }
  sent.received = out.received();
  sent.offers = out.offers();
  return sent;
}

TEST(MidiPiecesAlsa, TerminatedMessagesArriveOnceBelowAtAndAboveThePieceSize) {
  const std::vector<std::size_t> sizes = {2,    20,   31,   32,   33,   266,
                                          4095, 4096, 4097, 8192, 9000, 20000};
  std::vector<Bytes> bank;
  for (std::size_t n : sizes) {
    bank.push_back(sysEx(n));
    const Sent alone = sendThroughAlsa({bank.back()});
    EXPECT_EQ(alone.results, std::vector<bool>{true}) << n << " bytes";
    EXPECT_EQ(alone.received, bank.back()) << n << " bytes on a new output";
    EXPECT_EQ(alone.offers, static_cast<int>(alone.pieces)) << n << " bytes";
  }
  // One output for all: the encoder's buffer left by the longer ones before.
  const Sent together = sendThroughAlsa(bank);
  EXPECT_EQ(together.results, std::vector<bool>(bank.size(), true));
  EXPECT_EQ(together.received, joined(bank));
  EXPECT_EQ(together.offers, static_cast<int>(together.pieces));
}

TEST(MidiPiecesAlsa, UnterminatedMessagesArriveOnceWhenWholeBuffersCarryThem) {
  for (std::size_t n : {33u, 40u, 4095u, 4096u, 6000u, 8193u, 12288u}) {
    const Bytes m = sysEx(n, false);
    const Sent alone = sendThroughAlsa({m});
    EXPECT_EQ(alone.results, std::vector<bool>{true}) << n << " bytes";
    EXPECT_EQ(alone.received, m) << n << " bytes without F7 on a new output";
    EXPECT_EQ(alone.offers, static_cast<int>(alone.pieces)) << n << " bytes";
  }
  // A bank whose last message was cut before its F7, longer than the others.
  const std::vector<Bytes> bank = {sysEx(266), sysEx(266), sysEx(5000, false)};
  const Sent cut = sendThroughAlsa(bank);
  EXPECT_EQ(cut.results, (std::vector<bool>{true, true, true}));
  EXPECT_EQ(cut.received, joined(bank));
}

// What the encoder can only keep is not offered: the send says so at once,
// nothing of it goes out twice or later, and the next message is clean.
TEST(MidiPiecesAlsa, UnterminatedMessagesNoBufferCarriesFailWithoutDoubling) {
  const Bytes after = sysEx(10);
  const std::vector<Bytes> shortCut = {sysEx(266), sysEx(100, false), after};
  const Sent s = sendThroughAlsa(shortCut);
  EXPECT_EQ(s.results, (std::vector<bool>{true, false, true}));
  EXPECT_EQ(s.received, joined({shortCut[0], after}));
  EXPECT_EQ(s.offers, static_cast<int>(s.pieces));

  // 4099 is prime: no equal pieces of at most kPieceSize bytes.
  const std::vector<Bytes> primeCut = {sysEx(4099, false), after};
  const Sent p = sendThroughAlsa(primeCut);
  EXPECT_EQ(p.results, (std::vector<bool>{false, true}));
  EXPECT_EQ(p.received, after);
  EXPECT_EQ(p.offers, static_cast<int>(p.pieces));
}

// Bytes after an F7 that no status byte begins: the encoder takes them and
// keeps them (ALSA carries no loose data bytes). Offered once, reported as
// not sent; the messages around them arrive whole.
TEST(MidiPiecesAlsa, LooseDataBytesAreOfferedOnceAndReportedUnsent) {
  const std::vector<Bytes> messages = {{0xF0, 0x01, 0xF7}, {0x09}, sysEx(5000, false)};
  const Sent s = sendThroughAlsa(messages);
  EXPECT_EQ(s.results, (std::vector<bool>{true, false, true}));
  EXPECT_EQ(s.received, joined({messages[0], messages[2]}));
  EXPECT_EQ(s.offers, static_cast<int>(s.pieces));
}

TEST(MidiPiecesJack, PiecesCoverTheMessageInOrderAtMostPieceSizeEach) {
  for (std::size_t n : {1u, 4095u, 4096u, 4097u, 12289u}) {
    const PiecePlan plan = planPieces(sysEx(n, false), 0);
    EXPECT_EQ(plan.withheld, 0u);
    std::size_t total = 0;
    for (std::size_t i = 0; i < plan.lengths.size(); ++i) {
      EXPECT_EQ(plan.lengths[i], i + 1 < plan.lengths.size() ? kPieceSize : n - total) << n;
      total += plan.lengths[i];
    }
    EXPECT_EQ(total, n);
    EXPECT_EQ(encoderBufferAfter(plan, 0), 0u);
  }
}

}  // namespace
}  // namespace byteloom
