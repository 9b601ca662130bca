// The engine's mixer on SDL2_mixer: one channel per effect and one more for
// the fallback player. Effects are converted to the device's format once,
// when they are created.
#include <SDL.h>
#include <SDL_mixer.h>
#ifdef TAVRO_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "host/mixer.h"
#include "host/named_mutex.h"

namespace {

constexpr int kFallbackChannel = kMixerEffects;
constexpr int kChannels = kMixerEffects + 1;
constexpr int kFallbackCache = 4;
// Each channel plays at a quarter of full volume, so that the four effects
// sounding at their loudest together still sum within full scale instead of
// saturating. The effects keep their loudness relative to each other.
constexpr int kChannelVolume = MIX_MAX_VOLUME / kMixerEffects;
// An effect longer than about six minutes of CD-quality sound is refused
// rather than converted.
constexpr std::uint64_t kMaxConvertedBytes = std::uint64_t{64} << 20;

bool DeviceOpen = false;
int DeviceRate;
Uint16 DeviceFormat;
int DeviceChannels;

Mix_Chunk* Effects[kMixerEffects];
// Converted copies owned here; null when the chunk plays the caller's
// samples as they are.
Uint8* EffectBuffers[kMixerEffects];

// Fallback images decoded once and kept, replaced in turn when full.
struct FallbackEntry {
  const unsigned char* image;
  Mix_Chunk* chunk;
};
FallbackEntry Fallbacks[kFallbackCache];
int NextFallback = 0;

void FreeEffect(int id) {
  if (Effects[id] != nullptr) {
    Mix_FreeChunk(Effects[id]);  // halts the channel if it still plays it
    Effects[id] = nullptr;
  }
  SDL_free(EffectBuffers[id]);
  EffectBuffers[id] = nullptr;
}

#ifdef TAVRO_HAVE_ALSA
void DropAlsaMessage(const char*, int, const char*, int, const char*, ...) {}
#endif

// ALSA's library prints its own lines on standard error for every device it
// probes and fails to find; while the device is being opened they are
// dropped, and MixerOpen says in one line what they came to.
void QuietAlsa(bool quiet) {
#ifdef TAVRO_HAVE_ALSA
  snd_lib_error_set_handler(quiet ? DropAlsaMessage : nullptr);
#else
  (void)quiet;
#endif
}

bool OpenDevice() {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  if (Mix_OpenAudioDevice(44100, AUDIO_S16SYS, 2, 1024, nullptr,
                          SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE) !=
      0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  if (Mix_QuerySpec(&DeviceRate, &DeviceFormat, &DeviceChannels) == 0 ||
      Mix_AllocateChannels(kChannels) != kChannels) {
    Mix_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  Mix_Volume(-1, kChannelVolume);
  return true;
}

Mix_Chunk* FindFallback(const unsigned char* image, std::size_t size) {
  for (const FallbackEntry& entry : Fallbacks) {
    if (entry.image == image && entry.chunk != nullptr) return entry.chunk;
  }
  SDL_RWops* source = SDL_RWFromConstMem(image, static_cast<int>(size));
  if (source == nullptr) return nullptr;
  Mix_Chunk* chunk = Mix_LoadWAV_RW(source, 1);
  if (chunk == nullptr) return nullptr;
  FallbackEntry& entry = Fallbacks[NextFallback];
  NextFallback = (NextFallback + 1) % kFallbackCache;
  if (entry.chunk != nullptr) Mix_FreeChunk(entry.chunk);
  entry = {image, chunk};
  return chunk;
}

}  // namespace

bool MixerOpen() {
  if (DeviceOpen) return true;
  QuietAlsa(true);
  DeviceOpen = OpenDevice();
  QuietAlsa(false);
  if (!DeviceOpen) std::fputs("tavro: sound is off: no audio device could be opened\n", stderr);
  return DeviceOpen;
}

bool MixerCreateEffect(int id, const WavFormat& format, const unsigned char* samples,
                       std::size_t bytes) {
  if (!DeviceOpen || id < 0 || id >= kMixerEffects || samples == nullptr ||
      !MixerCanPlay(format, bytes)) {
    return false;
  }

  SDL_AudioCVT cvt;
  SDL_AudioFormat source = format.bytesPerSample == 1 ? AUDIO_U8 : AUDIO_S16LSB;
  if (SDL_BuildAudioCVT(&cvt, source, static_cast<Uint8>(format.channels), format.sampleRate,
                        DeviceFormat, static_cast<Uint8>(DeviceChannels), DeviceRate) < 0) {
    return false;
  }
  FreeEffect(id);
  if (!cvt.needed) {
    // Already in the device's format: play the caller's block in place.
    Effects[id] = Mix_QuickLoad_RAW(const_cast<Uint8*>(samples), static_cast<Uint32>(bytes));
    return Effects[id] != nullptr;
  }

  std::uint64_t workBytes = static_cast<std::uint64_t>(bytes) * static_cast<unsigned>(cvt.len_mult);
  if (cvt.len_mult <= 0 || workBytes > kMaxConvertedBytes) return false;
  Uint8* buffer = static_cast<Uint8*>(SDL_malloc(static_cast<std::size_t>(workBytes)));
  if (buffer == nullptr) return false;
  std::memcpy(buffer, samples, bytes);
  cvt.buf = buffer;
  cvt.len = static_cast<int>(bytes);
  if (SDL_ConvertAudio(&cvt) != 0 || cvt.len_cvt <= 0) {
    SDL_free(buffer);
    return false;
  }
  Effects[id] = Mix_QuickLoad_RAW(buffer, static_cast<Uint32>(cvt.len_cvt));
  if (Effects[id] == nullptr) {
    SDL_free(buffer);
    return false;
  }
  EffectBuffers[id] = buffer;
  return true;
}

bool Muted = false;

void MixerSetMuted(bool muted) {
  Muted = muted;
  if (muted && DeviceOpen) Mix_HaltChannel(-1);
}

void MixerPlayEffect(int id) {
  if (!DeviceOpen || Muted || id < 0 || id >= kMixerEffects || Effects[id] == nullptr) return;
  Mix_PlayChannel(id, Effects[id], 0);
}

void MixerPlayFallback(const unsigned char* wavImage, std::size_t size) {
  if (!DeviceOpen || Muted || wavImage == nullptr || size == 0 || size > INT_MAX) return;
  Mix_Chunk* chunk = FindFallback(wavImage, size);
  if (chunk != nullptr) Mix_PlayChannel(kFallbackChannel, chunk, 0);
}

// Linux has no named mutexes; a running copy is not marked.
bool PlatformHoldNamedMutex(const char*) {
  return true;
}

void PlatformReleaseNamedMutex() {}

void MixerClose() {
  if (!DeviceOpen) return;
  Mix_HaltChannel(-1);
  for (int id = 0; id < kMixerEffects; ++id) FreeEffect(id);
  for (FallbackEntry& entry : Fallbacks) {
    if (entry.chunk != nullptr) Mix_FreeChunk(entry.chunk);
    entry = {nullptr, nullptr};
  }
  NextFallback = 0;
  Mix_CloseAudio();
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  DeviceOpen = false;
}
