// The sound engine: four effects loaded from WAV files into the mixer at
// start-up, and the embedded waves on the fallback channel when the mixer
// could not be opened.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "host/embedded_waves.h"
#include "host/mixer.h"
#include "host/named_mutex.h"
#include "sound/sound.h"
#include "sound/wav.h"
#include "world/world.h"

int SoundEventCount[4];

SoundSlot SoundSlots[4] = {
    {"Bugu.wav", nullptr, -1},
    {"Chyuin.wav", nullptr, -1},
    {"Gooon.wav", nullptr, -1},
    {"Pyuin.wav", nullptr, -1},
};

int SoundVolume;
int SoundStarted;
int SoundMutex;

namespace {

// Set by SetSoundFiles.
char DataFolder[kMaxPath];
char ProgramName[256];

// The embedded waves in World.waveResource order; effect id i falls back on
// entry 3 - i.
constexpr int kWaveOrder[kSoundCount] = {kWaveShot, kWaveLands, kWaveDestroyed, kWaveFireworks};

// Whether the mixer accepted each effect.
bool EffectReady[4];

bool ValidId(int id) {
  return id >= 0 && id < 4;
}

// "TAVRO_Sound_Mutex" only marks a running copy and is never waited on.
bool CreateSoundMutex() {
  if (SoundMutex == 0 && !PlatformHoldNamedMutex("TAVRO_Sound_Mutex")) return false;
  SoundMutex = 1;
  return true;
}

void CloseSoundMutex() {
  if (SoundMutex != 0) PlatformReleaseNamedMutex();
  SoundMutex = 0;
}

void ReleaseSamples(SoundSlot& slot) {
  delete[] slot.samples;
  slot.samples = nullptr;
  slot.byteCount = -1;
}

// Builds "folder/name" into path and opens it; failure says why when the
// result is -1. A path that does not fit is not opened: cut short it could
// name another file.
int OpenInFolder(const char* folder, const char* fileName, WavInfo& info, char (&path)[kMaxPath],
                 OpenFailure& failure) {
  WavInfoInit(info);
  failure = OpenFailure::Missing;
  int length = std::snprintf(path, sizeof path, "%s/%s", folder, fileName);
  if (length < 0 || length >= kMaxPath) return -1;
  int result = WavOpen(0, info, path);
  failure = result == -1 ? WavOpenFailure() : OpenFailure::None;
  return result;
}

// A file the reader refused unread is worth telling the user about: it
// exists where an effect is looked for and silences that effect.
void ReportRefusedFile(const char* path, OpenFailure failure) {
  if (failure == OpenFailure::NotRegular) {
    std::fprintf(stderr, "tavro: sound file \"%s\" is not a regular file; that effect is off\n",
                 path);
  } else if (failure == OpenFailure::TooLarge) {
    std::fprintf(stderr, "tavro: sound file \"%s\" is larger than %llu MiB; that effect is off\n",
                 path, kWavMaxFileBytes >> 20);
  }
}

// Opens the effect's file beside the executable or, when there is none, in
// the installed data folder. Leaves path holding the last one tried.
int OpenEffectFile(const char* fileName, WavInfo& info, char (&path)[kMaxPath]) {
  OpenFailure failure;
  int result = OpenInFolder(DataFolder, fileName, info, path, failure);
  if (failure == OpenFailure::Missing) {
    char besideExecutable[kMaxPath];
    std::memcpy(besideExecutable, path, sizeof path);
    char dataFolder[kMaxPath];
    int length =
        std::snprintf(dataFolder, sizeof dataFolder, "%s/%s", DataFolder, kInstalledDataFolder);
    if (length < 0 || length >= kMaxPath) return result;
    result = OpenInFolder(dataFolder, fileName, info, path, failure);
    if (result < 0) {
      DebugLog("%s: read open error (result=%d) \"%s\"\n", ProgramName, -1, besideExecutable);
    }
  }
  ReportRefusedFile(path, failure);
  return result;
}

// Reads one effect and hands it to the mixer; on any failure the effect
// stays silent and the reason goes to DebugLog.
void LoadEffect(int id) {
  SoundSlot& slot = SoundSlots[id];
  WavInfo info;
  char path[kMaxPath];
  int result = OpenEffectFile(slot.fileName, info, path);
  if (result < 0) {
    DebugLog("%s: read open error (result=%d) \"%s\"\n", ProgramName, result, path);
    return;
  }

  // The frame count is the data length divided as an unsigned number; read it
  // back that way so that a count past 2^31 is not taken for a negative one.
  std::int64_t size = std::int64_t{static_cast<std::uint32_t>(info.frameCount)} *
                      info.bytesPerSample * info.channels;
  if (size > INT32_MAX) {
    DebugLog("%s: memory allocation error (%lu bytes).\n", ProgramName,
             static_cast<unsigned long>(size));
    WavClose(info);
    return;
  }
  // A data chunk that claims more than the file holds is not allocated.
  if (WavRemainingBytes(info) < size) {
    DebugLog("%s: read error r=%d (%s)\n", ProgramName, 0, "data chunk longer than the file");
    WavClose(info);
    return;
  }
  unsigned char* samples = new (std::nothrow) unsigned char[static_cast<std::size_t>(size)];
  if (samples == nullptr) {
    DebugLog("%s: memory allocation error (%lu bytes).\n", ProgramName,
             static_cast<unsigned long>(size));
    WavClose(info);
    return;
  }

  std::int64_t done = 0;
  while (done < size) {
    int got = WavRead(info, samples + done, static_cast<int>(size - done));
    if (got <= 0) {
      // A read that brings nothing before the end would never finish.
      DebugLog("%s: read error r=%d (%s)\n", ProgramName, got,
               got < 0 ? std::strerror(errno) : "unexpected end of file");
      WavClose(info);
      delete[] samples;
      return;
    }
    done += got;
  }

  if (WavClose(info) < 0) {
    DebugLog("%s: read close error\n", ProgramName);
    delete[] samples;
    return;
  }

  WavFormat format{info.channels, info.sampleRate, info.bytesPerSample};
  if (!MixerCreateEffect(id, format, samples, static_cast<std::size_t>(size))) {
    delete[] samples;
    return;
  }
  slot.samples = samples;
  slot.byteCount = static_cast<int>(size);
  EffectReady[id] = true;
}

// Closes the mixer, then frees the samples it may still have referred to.
void ReleaseEngine() {
  MixerClose();
  for (int id = 0; id < 4; ++id) {
    EffectReady[id] = false;
    if (SoundSlots[id].samples != nullptr) ReleaseSamples(SoundSlots[id]);
  }
  SoundStarted = 0;
}

}  // namespace

void SetSoundFiles(const char* folder, const char* programName) {
  std::snprintf(DataFolder, sizeof DataFolder, "%s", folder);
  std::snprintf(ProgramName, sizeof ProgramName, "%s", programName);
}

int StartSound() {
  // A second start must not leak what the first one loaded.
  if (SoundStarted) ReleaseEngine();
  SoundStarted = 0;
  SoundVolume = 1;
  if (!CreateSoundMutex()) return 0;
  return InitDirectSound();
}

int InitDirectSound() {
  if (SoundStarted) ReleaseEngine();
  SoundStarted = 0;
  if (!MixerOpen()) return 0;
  for (int id = 0; id < 4; ++id) EffectReady[id] = false;
  for (int id = 0; id < 4; ++id) LoadEffect(id);
  SoundStarted = 1;
  return 1;
}

int PlayEffect(int id) {
  if (!ValidId(id)) return -1;
  const SoundSlot& slot = SoundSlots[id];
  if (slot.samples == nullptr || slot.byteCount < 0 || !EffectReady[id]) return -1;
  MixerPlayEffect(id);
  return 0;
}

void StopSound() {
  if (SoundStarted) ReleaseEngine();
  CloseSoundMutex();
}

void PlaySoundEvent(int id) {
  if (!ValidId(id)) return;
  ++SoundEventCount[id];
  if (!SoundFlag) return;
  if (World.soundReady) {
    PlayEffect(id);
  } else if (World.wavesReady) {
    const WaveResource& wave = World.waveResource[3 - id];
    if (wave.data != nullptr) MixerPlayFallback(wave.data, wave.size);
  }
}

void LoadEmbeddedWaves() {
  World.wavesReady = 0;
  for (int i = 0; i < kSoundCount; ++i) {
    WaveResource wave = FindEmbeddedWave(kWaveOrder[i]);
    if (wave.data == nullptr) return;
    World.waveResource[i] = wave;
  }
  World.wavesReady = 1;
}
