#include "platform/win32/sound/directsound_mixer.h"

#include <dsound.h>
#include <mmsystem.h>
#include <windows.h>

#include <cstring>

#include "host/mixer.h"
#include "platform/win32/host.h"

namespace {

// A quarter of full amplitude, in hundredths of a decibel: four effects
// together never saturate the output.
constexpr LONG kEffectVolume = -1204;

IDirectSound* device = nullptr;
IDirectSoundBuffer* primary = nullptr;
// Whether the last MixerOpen got the device.
bool openedDevice = false;

struct Effect {
  IDirectSoundBuffer* buffer;
  const unsigned char* samples;
  DWORD bytes;
};
Effect effects[kMixerEffects];

template <typename T>
void Release(T*& object) {
  if (object != nullptr) object->Release();
  object = nullptr;
}

// Copies the effect's samples into its whole buffer.
bool FillBuffer(Effect& effect) {
  void* first = nullptr;
  void* second = nullptr;
  DWORD firstBytes = 0;
  DWORD secondBytes = 0;
  HRESULT result =
      effect.buffer->Lock(0, effect.bytes, &first, &firstBytes, &second, &secondBytes, 0);
  if (result == DSERR_BUFFERLOST) {
    effect.buffer->Restore();
    result = effect.buffer->Lock(0, effect.bytes, &first, &firstBytes, &second, &secondBytes, 0);
  }
  if (FAILED(result)) return false;
  std::memcpy(first, effect.samples, firstBytes);
  if (second != nullptr && secondBytes != 0) {
    std::memcpy(second, effect.samples + firstBytes, secondBytes);
  }
  effect.buffer->Unlock(first, firstBytes, second, secondBytes);
  return true;
}

bool muted = false;

bool Muted() {
  return muted;
}

}  // namespace

namespace tavro_win32 {

const char* MixerPathName() {
  return openedDevice ? "directsound" : "fallback";
}

}  // namespace tavro_win32

bool MixerOpen() {
  MixerClose();
  openedDevice = false;
  HWND window = tavro_win32::MainWindowHandle();
  if (window == nullptr || FAILED(DirectSoundCreate(nullptr, &device, nullptr))) {
    device = nullptr;
    return false;
  }
  if (FAILED(device->SetCooperativeLevel(window, DSSCL_NORMAL))) {
    Release(device);
    return false;
  }
  DSBUFFERDESC description = {};
  description.dwSize = sizeof description;
  description.dwFlags = DSBCAPS_PRIMARYBUFFER;
  if (FAILED(device->CreateSoundBuffer(&description, &primary, nullptr))) {
    primary = nullptr;
    Release(device);
    return false;
  }
  openedDevice = true;
  return true;
}

bool MixerCreateEffect(int id, const WavFormat& format, const unsigned char* samples,
                       std::size_t bytes) {
  if (device == nullptr || id < 0 || id >= kMixerEffects || !MixerCanPlay(format, bytes)) {
    return false;
  }
  Effect& effect = effects[id];
  Release(effect.buffer);
  WAVEFORMATEX wave = {};
  wave.wFormatTag = WAVE_FORMAT_PCM;
  wave.nChannels = static_cast<WORD>(format.channels);
  wave.nSamplesPerSec = static_cast<DWORD>(format.sampleRate);
  wave.nBlockAlign = static_cast<WORD>(format.channels * format.bytesPerSample);
  wave.nAvgBytesPerSec = wave.nBlockAlign * wave.nSamplesPerSec;
  wave.wBitsPerSample = static_cast<WORD>(format.bytesPerSample * 8);
  DSBUFFERDESC description = {};
  description.dwSize = sizeof description;
  description.dwFlags = DSBCAPS_STATIC | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN |
                        DSBCAPS_CTRLVOLUME | DSBCAPS_GLOBALFOCUS;
  description.dwBufferBytes = static_cast<DWORD>(bytes);
  description.lpwfxFormat = &wave;
  if (FAILED(device->CreateSoundBuffer(&description, &effect.buffer, nullptr))) {
    effect.buffer = nullptr;
    return false;
  }
  effect.buffer->SetFrequency(DSBFREQUENCY_ORIGINAL);
  effect.buffer->SetPan(DSBPAN_CENTER);
  effect.buffer->SetVolume(kEffectVolume);
  effect.samples = samples;
  effect.bytes = static_cast<DWORD>(bytes);
  if (!FillBuffer(effect)) {
    Release(effect.buffer);
    return false;
  }
  return true;
}

void MixerPlayEffect(int id) {
  if (id < 0 || id >= kMixerEffects || Muted()) return;
  Effect& effect = effects[id];
  if (effect.buffer == nullptr) return;
  // A request while it sounds starts it again from the beginning.
  effect.buffer->Stop();
  effect.buffer->SetCurrentPosition(0);
  DWORD status = 0;
  if (SUCCEEDED(effect.buffer->GetStatus(&status)) && (status & DSBSTATUS_BUFFERLOST) != 0) {
    effect.buffer->Restore();
    if (!FillBuffer(effect)) return;
  }
  effect.buffer->Play(0, 0, 0);
}

void MixerPlayFallback(const unsigned char* wavImage, std::size_t size) {
  if (wavImage == nullptr || size == 0 || Muted()) return;
  // One sound at a time: a new request cuts off the one before.
  PlaySoundW(reinterpret_cast<LPCWSTR>(wavImage), nullptr, SND_MEMORY | SND_ASYNC | SND_NODEFAULT);
}

void MixerSetMuted(bool on) {
  muted = on;
  if (!on) return;
  for (int id = 0; id < kMixerEffects; ++id) {
    if (effects[id].buffer != nullptr) effects[id].buffer->Stop();
  }
  PlaySoundW(nullptr, nullptr, 0);
}

void MixerClose() {
  PlaySoundW(nullptr, nullptr, 0);
  for (Effect& effect : effects) {
    if (effect.buffer != nullptr) effect.buffer->Stop();
    Release(effect.buffer);
    effect.samples = nullptr;
    effect.bytes = 0;
  }
  Release(primary);
  Release(device);
}
