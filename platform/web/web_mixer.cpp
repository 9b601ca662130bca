// The engine's mixer on Web Audio, through the page: one voice per effect (a
// new request restarts it, different effects mix), each at a quarter of full
// volume as on the desktop, and one voice for the fallback player.
#include <climits>

#include "host/mixer.h"
#include "host/named_mutex.h"
#include "platform/web/page_bridge.h"

namespace {
bool deviceOpen = false;
}  // namespace

bool MixerOpen() {
  if (!deviceOpen) deviceOpen = PageAudioOpen() != 0;
  return deviceOpen;
}

bool MixerCreateEffect(int id, const WavFormat& format, const unsigned char* samples,
                       std::size_t bytes) {
  if (!deviceOpen || id < 0 || id >= kMixerEffects || samples == nullptr ||
      !MixerCanPlay(format, bytes)) {
    return false;
  }
  return PageAudioCreate(id, format.channels, format.sampleRate, format.bytesPerSample, samples,
                         static_cast<int>(bytes)) != 0;
}

void MixerPlayEffect(int id) {
  if (deviceOpen && id >= 0 && id < kMixerEffects) PageAudioPlay(id);
}

void MixerPlayFallback(const unsigned char* wavImage, std::size_t size) {
  if (wavImage == nullptr || size == 0 || size > INT_MAX) return;
  PageAudioPlayImage(wavImage, static_cast<int>(size));
}

void MixerSetMuted(bool muted) {
  PageAudioMute(muted ? 1 : 0);
}

void MixerClose() {
  PageAudioClose();
  deviceOpen = false;
}

// A page has no named mutexes; each tab plays on its own.
bool PlatformHoldNamedMutex(const char*) {
  return true;
}

void PlatformReleaseNamedMutex() {}
