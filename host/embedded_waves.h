// The four effect files compiled into the program, found by resource id.
#pragma once

#include <cstddef>

// One embedded wave file (a complete RIFF/WAVE image compiled into the program).
struct WaveResource {
  const unsigned char* data;
  std::size_t size;
};

constexpr int kWaveShot = 110;       // "Pyuin.wav"
constexpr int kWaveLands = 112;      // "Gooon.wav"
constexpr int kWaveFireworks = 114;  // "Bugu.wav"
constexpr int kWaveDestroyed = 115;  // "Chyuin.wav"

// The complete RIFF/WAVE image of a resource id; data null when there is none.
WaveResource FindEmbeddedWave(int resourceId);
