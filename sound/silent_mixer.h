// What the headless host's silent mixer records of the requests it gets;
// the headless runner and the tests read it.
#pragma once

#include <cstddef>

#include "host/mixer.h"

struct SilentMixerRecord {
  // Switches for tests: make MixerOpen fail, or creating one effect fail.
  bool failOpen;
  bool failCreate[kMixerEffects];

  bool open;
  bool muted;  // requests made while muted are not counted
  int openCalls;
  int closeCalls;
  bool effectReady[kMixerEffects];
  WavFormat effectFormat[kMixerEffects];
  std::size_t effectBytes[kMixerEffects];
  int effectPlays[kMixerEffects];     // play requests per effect, ready or not
  int fallbackPlays;                  // fallback requests with an image, open or not
  const unsigned char* lastFallback;  // image of the last fallback play
  std::size_t lastFallbackSize;
};

extern SilentMixerRecord SilentMixer;

// Everything back to zero: closed, no switches set, no requests counted.
void ResetSilentMixer();
