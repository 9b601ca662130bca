// Effects that every mixer accepts or refuses alike; the silent mixer's and
// the SDL mixer's tests both run this table.
#pragma once

#include <cstddef>

#include "host/mixer.h"

struct MixerCase {
  const char* what;
  WavFormat format;
  std::size_t bytes;
  bool accepted;
};

inline constexpr MixerCase kMixerCases[] = {
    {"16-bit stereo", {2, 44100, 2}, 64, true},
    {"8-bit mono of odd length", {1, 11025, 1}, 7, true},
    {"empty data chunk", {2, 44100, 2}, 0, false},
    {"empty 8-bit mono", {1, 8000, 1}, 0, false},
    {"part of a frame", {2, 44100, 2}, 6, false},
    {"no rate", {2, 0, 2}, 64, false},
    {"negative rate", {2, -5, 2}, 64, false},
    {"three channels", {3, 44100, 2}, 60, false},
    {"24 bits", {2, 44100, 3}, 60, false},
};
