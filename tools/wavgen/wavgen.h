// Synthesizes the game's four sound effects. The output depends only on this
// code: the arithmetic is plain IEEE double (no library maths, no fused
// multiply-add), so every build writes the same bytes.
#pragma once

#include <vector>

constexpr int kWavgenEffects = 4;
constexpr int kWavgenRate = 44100;

// "Bugu.wav", "Chyuin.wav", "Gooon.wav", "Pyuin.wav" for ids 0..3.
const char* WavgenFileName(int id);

// Sample frames of each effect.
int WavgenFrames(int id);

// The complete file of effect id: PCM, 2 channels, 44100 Hz, 16 bits, an
// 18-byte format chunk, then the data chunk.
std::vector<unsigned char> WavgenMakeFile(int id);
