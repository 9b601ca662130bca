// A mixer that plays nothing and records every request, for the headless
// runner and the tests.
#include <cstring>

#include "host/mixer.h"
#include "host/named_mutex.h"
#include "sound/silent_mixer.h"

SilentMixerRecord SilentMixer;

void ResetSilentMixer() {
  std::memset(&SilentMixer, 0, sizeof SilentMixer);
}

bool MixerOpen() {
  ++SilentMixer.openCalls;
  if (SilentMixer.failOpen) return false;
  SilentMixer.open = true;
  return true;
}

bool MixerCreateEffect(int id, const WavFormat& format, const unsigned char* samples,
                       std::size_t bytes) {
  if (id < 0 || id >= kMixerEffects || !SilentMixer.open || samples == nullptr ||
      !MixerCanPlay(format, bytes)) {
    return false;
  }
  if (SilentMixer.failCreate[id]) return false;
  SilentMixer.effectReady[id] = true;
  SilentMixer.effectFormat[id] = format;
  SilentMixer.effectBytes[id] = bytes;
  return true;
}

void MixerSetMuted(bool muted) {
  SilentMixer.muted = muted;
}

void MixerPlayEffect(int id) {
  if (id < 0 || id >= kMixerEffects || SilentMixer.muted) return;
  ++SilentMixer.effectPlays[id];
}

void MixerPlayFallback(const unsigned char* wavImage, std::size_t size) {
  if (wavImage == nullptr || SilentMixer.muted) return;
  ++SilentMixer.fallbackPlays;
  SilentMixer.lastFallback = wavImage;
  SilentMixer.lastFallbackSize = size;
}

// No named mutexes here.
bool PlatformHoldNamedMutex(const char*) {
  return true;
}

void PlatformReleaseNamedMutex() {}

void MixerClose() {
  ++SilentMixer.closeCalls;
  SilentMixer.open = false;
  for (bool& ready : SilentMixer.effectReady) ready = false;
}
