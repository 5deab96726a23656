// MIDI manufacturer IDs and their holders, from the published list: the
// one-byte IDs 01..7D, the three-byte IDs 00 xx yy, and the reserved IDs
// 7D (non-commercial use), 7E and 7F (universal messages). Only IDs whose
// holder is known for certain are listed; any other ID is shown by its bytes.
#include <algorithm>
#include <iterator>

#include "sysex_info.h"

namespace sysex_tool {
namespace {

struct OneByteId {
  std::uint8_t id;
  const char* name;
};

struct ThreeByteId {
  std::uint8_t second, third;  // after the leading 00
  const char* name;
};

// In order of ID, for binary search.
constexpr OneByteId kOneByte[] = {
    {0x01, "Sequential Circuits"},
    {0x03, "Voyetra Turtle Beach"},
    {0x04, "Moog Music"},
    {0x05, "Passport Designs"},
    {0x06, "Lexicon"},
    {0x07, "Kurzweil"},
    {0x08, "Fender"},
    {0x0C, "WaveFrame"},
    {0x0D, "ADA Signal Processors"},
    {0x0E, "Garfield Electronics"},
    {0x0F, "Ensoniq"},
    {0x10, "Oberheim"},
    {0x11, "Apple"},
    {0x12, "Grey Matter Response"},
    {0x13, "Digidesign"},
    {0x15, "JLCooper Electronics"},
    {0x16, "Lowrey Organ"},
    {0x17, "Adams-Smith"},
    {0x18, "E-mu"},
    {0x1A, "ART"},
    {0x1B, "Baldwin"},
    {0x1C, "Eventide"},
    {0x21, "Proel Labs (SIEL)"},
    {0x22, "Synthaxe"},
    {0x24, "Hohner"},
    {0x29, "PPG"},
    {0x2D, "Neve"},
    {0x2F, "Elka"},
    {0x30, "Dynacord"},
    {0x32, "Drawmer"},
    {0x33, "Clavia Digital Instruments"},
    {0x35, "Generalmusic"},
    {0x36, "Cheetah Marketing"},
    {0x38, "Simmons"},
    {0x39, "Soundcraft Electronics"},
    {0x3A, "Steinberg"},
    {0x3B, "Wersi"},
    {0x3E, "Waldorf"},
    {0x3F, "Quasimidi"},
    {0x40, "Kawai"},
    {0x41, "Roland"},
    {0x42, "Korg"},
    {0x43, "Yamaha"},
    {0x44, "Casio"},
    {0x46, "Kamiya Studio"},
    {0x47, "Akai"},
    {0x48, "Victor Company of Japan (JVC)"},
    {0x4B, "Fujitsu"},
    {0x4C, "Sony"},
    {0x4E, "Teac"},
    {0x50, "Matsushita Electric (Panasonic)"},
    {0x51, "Fostex"},
    {0x52, "Zoom"},
    {0x55, "Suzuki Musical Instruments"},
    {0x7D, "non-commercial"},
    {0x7E, "universal non-real-time"},
    {0x7F, "universal real-time"},
};

// In order of ID, for binary search.
constexpr ThreeByteId kThreeByte[] = {
    {0x00, 0x0E, "Alesis"},
    {0x00, 0x1B, "Peavey Electronics"},
    {0x00, 0x3B, "Mark of the Unicorn"},
    {0x00, 0x41, "Microsoft"},
    {0x00, 0x66, "Mackie"},
    {0x01, 0x05, "M-Audio"},
    {0x01, 0x77, "Nektar Technology"},
    {0x20, 0x1F, "TC Electronic"},
    {0x20, 0x29, "Focusrite/Novation"},
    {0x20, 0x32, "Behringer"},
    {0x20, 0x33, "Access Music Electronics"},
    {0x20, 0x3C, "Elektron"},
    {0x20, 0x6B, "Arturia"},
    {0x21, 0x09, "Native Instruments"},
};

}  // namespace

const char* manufacturerName(std::span<const std::uint8_t> id) {
  if (id.size() == 1) {
    const auto it = std::lower_bound(std::begin(kOneByte), std::end(kOneByte), id[0],
                                     [](const OneByteId& e, std::uint8_t v) { return e.id < v; });
    return it != std::end(kOneByte) && it->id == id[0] ? it->name : nullptr;
  }
  if (id.size() == 3 && id[0] == 0x00) {
    const unsigned wanted = id[1] << 8 | id[2];
    const auto it = std::lower_bound(std::begin(kThreeByte), std::end(kThreeByte), wanted,
                                     [](const ThreeByteId& e, unsigned v) {
                                       return static_cast<unsigned>(e.second << 8 | e.third) < v;
                                     });
    return it != std::end(kThreeByte) && it->second == id[1] && it->third == id[2] ? it->name
                                                                                   : nullptr;
  }
  return nullptr;
}

}  // namespace sysex_tool
