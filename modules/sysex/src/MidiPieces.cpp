// The piece rule of the Linux MIDI output and the loop that hands pieces over.
#include "sysex/MidiPieces.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace byteloom {
namespace {

PiecePlan fixedPieces(std::size_t n) {
  PiecePlan plan;
  for (std::size_t at = 0; at < n; at += kPieceSize)
    plan.lengths.push_back(std::min(kPieceSize, n - at));
  return plan;
}

void pause(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

PiecePlan planPieces(std::span<const std::uint8_t> message, std::size_t encoderBuffer) {
  const std::size_t n = message.size();
  if (n == 0) return {};
  const bool unterminatedSysEx = message.front() == 0xF0 && message.back() != 0xF7;
  if (encoderBuffer == 0 || !unterminatedSysEx) return fixedPieces(n);
  // Only whole buffers leave the encoder: k equal pieces that each fill it.
  for (std::size_t k = (n + kPieceSize - 1) / kPieceSize; k * encoderBuffer <= n; ++k) {
    if (n % k != 0) continue;
    PiecePlan plan;
    plan.lengths.assign(k, n / k);
    return plan;
  }
  PiecePlan plan;
  plan.withheld = n;
  return plan;
}

std::size_t encoderBufferAfter(const PiecePlan& plan, std::size_t encoderBuffer) {
  if (encoderBuffer == 0) return 0;
  for (std::size_t length : plan.lengths) encoderBuffer = std::max(encoderBuffer, length);
  return encoderBuffer;
}

bool sendPieces(std::span<const std::uint8_t> message, const PiecePlan& plan,
                const std::function<PieceOutcome(std::span<const std::uint8_t>)>& offer) {
  std::size_t at = 0;
  PieceOutcome last = PieceOutcome::sent;
  for (std::size_t i = 0; i < plan.lengths.size(); ++i) {
    if (i > 0) pause(kPieceGapMs);
    const auto piece = message.subspan(at, plan.lengths[i]);
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRetryMs);
    while ((last = offer(piece)) == PieceOutcome::refused) {
      if (std::chrono::steady_clock::now() >= giveUp) return false;
      pause(kPieceGapMs);
    }
    if (last == PieceOutcome::failed) return false;
    at += piece.size();
  }
  // A message in pieces ends with a gap too, so that its last piece is out
  // before the caller's pause between messages starts.
  if (plan.lengths.size() > 1) pause(kPieceGapMs);
  return plan.withheld == 0 && last != PieceOutcome::kept;
}

}  // namespace byteloom
