// The mixer behind the sound engine. Each host links one implementation:
// SDL2_mixer for the Linux program (platform/sdl), DirectSound for the
// Windows program, Web Audio in the page, a silent recorder for the headless
// runner and the tests. All calls come from the program's one thread.
#pragma once

#include <climits>
#include <cstddef>

// PCM layout of an effect's samples: 8-bit unsigned or 16-bit signed
// little-endian, interleaved channels.
struct WavFormat {
  int channels;        // 1 or 2
  int sampleRate;      // frames per second
  int bytesPerSample;  // 1 or 2
};

// Number of effect channels; the fallback player has one more.
constexpr int kMixerEffects = 4;

// Whether samples of this format and size can be played at all: 1 or 2
// channels of 1 or 2 bytes, a positive rate, and a whole number of frames,
// at least one (an empty data chunk has nothing to play). Every mixer
// refuses what this refuses.
inline bool MixerCanPlay(const WavFormat& format, std::size_t bytes) {
  if (format.channels < 1 || format.channels > 2 || format.bytesPerSample < 1 ||
      format.bytesPerSample > 2 || format.sampleRate <= 0) {
    return false;
  }
  std::size_t frameBytes = static_cast<std::size_t>(format.channels * format.bytesPerSample);
  return bytes > 0 && bytes % frameBytes == 0 && bytes <= INT_MAX;
}

// Opens the audio device; false when there is none to be had.
bool MixerOpen();

// Prepares effect id (0..3) from bytes of samples in the given format,
// converted once to the device's format. The samples must stay valid until
// MixerClose. False (always for what MixerCanPlay refuses) leaves the effect
// unplayable.
bool MixerCreateEffect(int id, const WavFormat& format, const unsigned char* samples,
                       std::size_t bytes);

// Plays effect id once from its beginning on its own channel; a request while
// it sounds restarts it, other effects go on sounding.
void MixerPlayEffect(int id);

// Plays a complete RIFF/WAVE image on the fallback channel; a new request
// cuts off the one before. The image must stay valid while it plays.
void MixerPlayFallback(const unsigned char* wavImage, std::size_t size);

// While muted (a replay's jump to a later game), play requests are dropped;
// muting cuts off what sounds.
void MixerSetMuted(bool muted);

// Stops every channel, frees the effects and closes the device. Safe to call
// when nothing is open.
void MixerClose();
