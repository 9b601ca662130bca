// The four sound effects and the one request through which every game event
// asks for a sound.
#pragma once

enum SoundId {
  kSoundFireworks = 0,  // "Bugu.wav"
  kSoundDestroyed = 1,  // "Chyuin.wav"
  kSoundLands = 2,      // "Gooon.wav"
  kSoundShot = 3,       // "Pyuin.wav"
};

// Requests of each effect since start-up, counted before the SoundFlag gate.
extern int SoundEventCount[4];

// Plays nothing when SoundFlag is 0; otherwise the effect through the engine
// when World.soundReady, else its embedded wave when World.wavesReady.
void PlaySoundEvent(int id);

// Starts the engine; nonzero when it is ready.
int StartSound();
// Releases everything the engine holds.
void StopSound();

// Loads the effects with WavOpen and hands them to the mixer: 1 when the
// mixer opened (whatever happened to the four effects), else 0. Called only
// by StartSound.
int InitDirectSound();

// Plays an effect through the mixer: -1 when the id is outside 0..3 or the
// effect did not load, else 0.
int PlayEffect(int id);

// One effect: its file name and its samples (owned; null and -1 while not
// loaded).
struct SoundSlot {
  const char* fileName;
  unsigned char* samples;
  int byteCount;
};
extern SoundSlot SoundSlots[4];

// Set to 1 by StartSound. The mixer plays each effect at a quarter of full
// volume, so that all four together never saturate the output.
extern int SoundVolume;
// 1 from a completed InitDirectSound until StopSound.
extern int SoundStarted;
// 1 while the engine's named mutex is held open.
extern int SoundMutex;

// Where StartSound looks for the effect files (folder: the executable's) and
// the program name its diagnostics begin with; start-up sets them first. A
// folder of kMaxPath bytes or more is cut there, as start-up's own value is.
void SetSoundFiles(const char* folder, const char* programName);

// Where an installed copy keeps its data, relative to that folder; the
// effect files are looked for there when they are not beside the executable.
constexpr const char* kInstalledDataFolder = "../share/tavro";

// Finds the four embedded waves (110, 112, 115, 114) and fills
// World.waveResource in that order; World.wavesReady 1 when all were found.
void LoadEmbeddedWaves();
