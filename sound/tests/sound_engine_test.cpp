#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "app/program.h"
#include "host/embedded_waves.h"
#include "sound/silent_mixer.h"
#include "sound/sound.h"
#include "sound/tests/mixer_cases.h"
#include "sound/tests/wav_builder.h"
#include "sound/wav.h"
#include "world/world.h"

namespace {

std::vector<std::string> Logged;

void Collect(const char* message) {
  Logged.emplace_back(message);
}

const char* const kFiles[4] = {"Bugu.wav", "Chyuin.wav", "Gooon.wav", "Pyuin.wav"};

// Each effect in a format of its own, so that the mixer's record shows which
// file went where.
Bytes EffectData(int id) {
  return Counting(static_cast<std::size_t>(16 * (id + 1)), 10 * id);
}

FormatFields EffectFormat(int id) {
  switch (id) {
    case 0:
      return {.channels = 1, .rate = 8000, .bits = 8};
    case 1:
      return {.channels = 2, .rate = 11025, .bits = 8};
    case 2:
      return {.channels = 1, .rate = 22050, .bits = 16};
    default:
      return {.channels = 2, .rate = 44100, .bits = 16};
  }
}

class SoundEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(&World, 0, sizeof World);
    std::memset(SoundEventCount, 0, sizeof SoundEventCount);
    ResetSilentMixer();
    SoundFlag = 1;
    Logged.clear();
    SetDebugLogCapture(Collect);
    // generic: with '/' as the engine joins folder and name, also on Windows
    SetBaseDirectory(folder.path().generic_string());
    std::strcpy(ProgramName, "Tavro.exe");
  }

  void TearDown() override {
    StopSound();
    SetDebugLogCapture(nullptr);
  }

  void SetBaseDirectory(const std::string& path) { SetSoundFiles(path.c_str(), "Tavro.exe"); }

  void WriteEffect(int id, const std::string& folderName = "") {
    std::string name = folderName.empty() ? kFiles[id] : folderName + "/" + kFiles[id];
    folder.Write(name, MakeWav(EffectFormat(id), EffectData(id)));
  }

  void WriteAllEffects() {
    for (int id = 0; id < 4; ++id) WriteEffect(id);
  }

  // Start-up's order: embedded waves, then the engine.
  void StartUp() {
    LoadEmbeddedWaves();
    World.soundReady = StartSound() != 0 ? 1 : 0;
  }

  int EffectPlays() const {
    int total = 0;
    for (int plays : SilentMixer.effectPlays) total += plays;
    return total;
  }

  bool Logs(const std::string& message) const {
    for (const std::string& line : Logged) {
      if (line == message) return true;
    }
    return false;
  }

  std::string PathOf(const char* name) const { return (folder.path() / name).generic_string(); }

  ScratchFolder folder;
};

TEST_F(SoundEngineTest, StartLoadsEveryEffectIntoTheMixer) {
  WriteAllEffects();
  StartUp();
  EXPECT_EQ(World.soundReady, 1);
  EXPECT_EQ(World.wavesReady, 1);
  EXPECT_EQ(SoundStarted, 1);
  EXPECT_EQ(SoundVolume, 1);
  EXPECT_EQ(SoundMutex, 1);
  EXPECT_TRUE(SilentMixer.open);
  for (int id = 0; id < 4; ++id) {
    SCOPED_TRACE(id);
    Bytes data = EffectData(id);
    FormatFields f = EffectFormat(id);
    EXPECT_STREQ(SoundSlots[id].fileName, kFiles[id]);
    ASSERT_NE(SoundSlots[id].samples, nullptr);
    ASSERT_EQ(SoundSlots[id].byteCount, static_cast<int>(data.size()));
    EXPECT_EQ(0, std::memcmp(SoundSlots[id].samples, data.data(), data.size()));
    EXPECT_TRUE(SilentMixer.effectReady[id]);
    EXPECT_EQ(SilentMixer.effectBytes[id], data.size());
    EXPECT_EQ(SilentMixer.effectFormat[id].channels, static_cast<int>(f.channels));
    EXPECT_EQ(SilentMixer.effectFormat[id].sampleRate, static_cast<int>(f.rate));
    EXPECT_EQ(SilentMixer.effectFormat[id].bytesPerSample, static_cast<int>(f.bits / 8));
  }
}

TEST_F(SoundEngineTest, EventsPlayTheirEffectAndRepeatsReachTheMixerEachTime) {
  WriteAllEffects();
  StartUp();
  PlaySoundEvent(kSoundShot);
  PlaySoundEvent(kSoundShot);
  PlaySoundEvent(kSoundDestroyed);
  PlaySoundEvent(kSoundLands);
  PlaySoundEvent(kSoundFireworks);
  EXPECT_EQ(SilentMixer.effectPlays[kSoundShot], 2);
  EXPECT_EQ(SilentMixer.effectPlays[kSoundDestroyed], 1);
  EXPECT_EQ(SilentMixer.effectPlays[kSoundLands], 1);
  EXPECT_EQ(SilentMixer.effectPlays[kSoundFireworks], 1);
  EXPECT_EQ(SilentMixer.fallbackPlays, 0);
  EXPECT_EQ(SoundEventCount[kSoundShot], 2);
}

TEST_F(SoundEngineTest, EffectWhoseFileFailedIsSilentAndGetsNoFallback) {
  WriteEffect(0);
  WriteEffect(1);
  WriteEffect(3);
  // Gooon.wav is missing; Pyuin.wav is replaced by a 24-bit file.
  folder.Write("Pyuin.wav", MakeWav({.bits = 24}, Counting(12)));
  StartUp();
  ASSERT_EQ(World.soundReady, 1);
  ASSERT_EQ(World.wavesReady, 1);
  EXPECT_EQ(SoundSlots[2].samples, nullptr);
  EXPECT_EQ(SoundSlots[2].byteCount, -1);
  EXPECT_EQ(SoundSlots[3].samples, nullptr);
  EXPECT_EQ(PlayEffect(2), -1);
  EXPECT_EQ(PlayEffect(3), -1);
  EXPECT_EQ(PlayEffect(1), 0);
  PlaySoundEvent(kSoundLands);
  PlaySoundEvent(kSoundShot);
  EXPECT_EQ(SilentMixer.effectPlays[2], 0);
  EXPECT_EQ(SilentMixer.effectPlays[3], 0);
  EXPECT_EQ(SilentMixer.fallbackPlays, 0);
  EXPECT_EQ(SoundEventCount[kSoundLands], 1);

  std::string installed = (folder.path() / "../share/tavro/Gooon.wav").generic_string();
  EXPECT_TRUE(Logs("Tavro.exe: read open error (result=-1) \"" + PathOf("Gooon.wav") + "\"\n"));
  EXPECT_TRUE(Logs("Tavro.exe: read open error (result=-1) \"" + installed + "\"\n"));
  EXPECT_TRUE(Logs("Tavro.exe: read open error (result=-21) \"" + PathOf("Pyuin.wav") + "\"\n"));
  EXPECT_TRUE(Logs("error u3\n"));
}

TEST_F(SoundEngineTest, AllFilesMissingStillStartsAndEverythingIsSilent) {
  StartUp();
  EXPECT_EQ(World.soundReady, 1);
  for (int id = 0; id < 4; ++id) PlaySoundEvent(id);
  EXPECT_EQ(EffectPlays(), 0);
  EXPECT_EQ(SilentMixer.fallbackPlays, 0);
}

TEST_F(SoundEngineTest, EffectsAreFoundInTheInstalledDataFolder) {
  for (int id = 0; id < 4; ++id) WriteEffect(id, "share/tavro");
  WriteEffect(kSoundShot, "bin");  // beside the executable wins
  folder.Write("share/tavro/Pyuin.wav", MakeWav({}, Counting(400)));
  SetBaseDirectory((folder.path() / "bin").generic_string());
  StartUp();
  for (int id = 0; id < 4; ++id) {
    SCOPED_TRACE(id);
    EXPECT_EQ(SoundSlots[id].byteCount, static_cast<int>(EffectData(id).size()));
  }
}

TEST_F(SoundEngineTest, DataChunkLongerThanTheFileIsNotAllocated) {
  WriteAllEffects();
  // Claims 100 MB of samples and holds 8 bytes.
  folder.Write("Chyuin.wav",
               WavHeader(16) + FormatBody({}, 16) + Chunk("data", 100'000'000, Counting(8)));
  // 8-bit mono claiming 3 GB: more frames than a 32-bit count holds.
  folder.Write("Gooon.wav", WavHeader(16) + FormatBody({.channels = 1, .bits = 8}, 16) +
                                Chunk("data", 3'000'000'000u, Counting(8)));
  StartUp();
  EXPECT_EQ(SoundSlots[1].samples, nullptr);
  EXPECT_EQ(SoundSlots[2].samples, nullptr);
  EXPECT_EQ(PlayEffect(1), -1);
  EXPECT_EQ(PlayEffect(2), -1);
  EXPECT_EQ(PlayEffect(0), 0);
  EXPECT_TRUE(Logs("Tavro.exe: read error r=0 (data chunk longer than the file)\n"));
  EXPECT_TRUE(Logs("Tavro.exe: memory allocation error (3000000000 bytes).\n"));
}

// A FIFO or a huge file named like an effect: start-up neither blocks nor
// reads it, says so once on standard error, and only that effect is silent,
// even when the installed data folder has a good copy.
TEST_F(SoundEngineTest, OddEffectFilesAreRefusedUnreadWithOneLineEach) {
#ifdef _WIN32
  GTEST_SKIP() << "no FIFOs on Windows; its devices are refused by name in the file layer's tests";
#endif
  WriteEffect(kSoundFireworks, "bin");
  WriteEffect(kSoundDestroyed, "bin");
  WriteEffect(kSoundShot, "share/tavro");
  SetBaseDirectory(PathOf("bin"));
  const std::string fifo = PathOf("bin/Pyuin.wav");
  ASSERT_TRUE(MakeFifo(fifo));
  // Gooon.wav: 1 GiB, sparse, its data chunk claiming all of it.
  const std::string huge = folder.Write(
      "bin/Gooon.wav", WavHeader(16) + FormatBody({}, 16) + Chunk("data", (1u << 30) - 44));
  std::error_code error;
  std::filesystem::resize_file(huge, std::uintmax_t{1} << 30, error);
  if (error) GTEST_SKIP() << "no sparse file here: " << error.message();

  testing::internal::CaptureStderr();
  RunWithoutBlockingOn(fifo, [this] {
    StartUp();
    return 0;
  });
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(said, "tavro: sound file \"" + huge +
                      "\" is larger than 64 MiB; that effect is off\n"
                      "tavro: sound file \"" +
                      fifo + "\" is not a regular file; that effect is off\n");
  EXPECT_EQ(World.soundReady, 1);
  EXPECT_EQ(PlayEffect(kSoundLands), -1);
  EXPECT_EQ(PlayEffect(kSoundShot), -1);
  EXPECT_EQ(PlayEffect(kSoundFireworks), 0);
  EXPECT_EQ(PlayEffect(kSoundDestroyed), 0);
}

// An empty data chunk is a valid WAV file with nothing to play: the mixer
// refuses it and the effect is silent.
TEST_F(SoundEngineTest, EmptyDataChunkLeavesTheEffectSilent) {
  WriteAllEffects();
  folder.Write("Chyuin.wav", MakeWav({}, {}));
  StartUp();
  EXPECT_EQ(SoundSlots[kSoundDestroyed].samples, nullptr);
  EXPECT_EQ(PlayEffect(kSoundDestroyed), -1);
  PlaySoundEvent(kSoundDestroyed);
  EXPECT_EQ(SilentMixer.effectPlays[kSoundDestroyed], 0);
  EXPECT_EQ(PlayEffect(kSoundShot), 0);

  // The runner's mixer refuses what the desktop's refuses (its test runs the
  // same table).
  ASSERT_TRUE(MixerOpen());
  Bytes samples(64, 0);
  for (const MixerCase& c : kMixerCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(MixerCreateEffect(0, c.format, samples.data(), c.bytes), c.accepted);
  }
}

TEST_F(SoundEngineTest, EffectTheMixerRefusesIsSilent) {
  WriteAllEffects();
  SilentMixer.failCreate[kSoundDestroyed] = true;
  StartUp();
  EXPECT_EQ(World.soundReady, 1);
  EXPECT_EQ(SoundSlots[1].samples, nullptr);
  EXPECT_EQ(SoundSlots[1].byteCount, -1);
  EXPECT_EQ(PlayEffect(1), -1);
  PlaySoundEvent(kSoundDestroyed);
  EXPECT_EQ(SilentMixer.effectPlays[1], 0);
  EXPECT_EQ(PlayEffect(0), 0);
}

TEST_F(SoundEngineTest, FallbackPlaysTheEmbeddedWavesOnlyWhenTheEngineDidNotStart) {
  WriteAllEffects();
  SilentMixer.failOpen = true;
  StartUp();
  EXPECT_EQ(World.soundReady, 0);
  EXPECT_EQ(SoundStarted, 0);
  EXPECT_EQ(SoundMutex, 1);
  for (int id = 0; id < 4; ++id) EXPECT_EQ(SoundSlots[id].samples, nullptr);

  const int resourceOf[4] = {kWaveFireworks, kWaveDestroyed, kWaveLands, kWaveShot};
  for (int id = 0; id < 4; ++id) {
    SCOPED_TRACE(id);
    PlaySoundEvent(id);
    EXPECT_EQ(SilentMixer.fallbackPlays, id + 1);
    EXPECT_EQ(SilentMixer.lastFallback, FindEmbeddedWave(resourceOf[id]).data);
    EXPECT_EQ(SilentMixer.lastFallbackSize, FindEmbeddedWave(resourceOf[id]).size);
  }
  EXPECT_EQ(EffectPlays(), 0);
}

TEST_F(SoundEngineTest, NoFallbackWithoutTheEmbeddedWaves) {
  SilentMixer.failOpen = true;
  World.soundReady = StartSound();
  World.wavesReady = 0;
  for (int id = 0; id < 4; ++id) PlaySoundEvent(id);
  EXPECT_EQ(SilentMixer.fallbackPlays, 0);
  EXPECT_EQ(EffectPlays(), 0);
}

TEST_F(SoundEngineTest, SoundFlagOffReachesNeitherPlayerButCountsTheRequest) {
  WriteAllEffects();
  StartUp();
  SoundFlag = 0;
  for (int id = 0; id < 4; ++id) PlaySoundEvent(id);
  EXPECT_EQ(EffectPlays(), 0);
  EXPECT_EQ(SilentMixer.fallbackPlays, 0);
  for (int id = 0; id < 4; ++id) EXPECT_EQ(SoundEventCount[id], 1);
  EXPECT_EQ(SoundStarted, 1);

  World.soundReady = 0;  // the fallback path is gated as well
  PlaySoundEvent(kSoundShot);
  EXPECT_EQ(SilentMixer.fallbackPlays, 0);

  SoundFlag = 1;
  World.soundReady = 1;
  PlaySoundEvent(kSoundShot);
  EXPECT_EQ(SilentMixer.effectPlays[kSoundShot], 1);
}

TEST_F(SoundEngineTest, IdsOutOfRangeAreIgnored) {
  WriteAllEffects();
  StartUp();
  for (int id : {-1, 4, 5, 100, INT_MIN, INT_MAX}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(PlayEffect(id), -1);
    PlaySoundEvent(id);
  }
  World.soundReady = 0;
  PlaySoundEvent(-1);
  PlaySoundEvent(4);
  EXPECT_EQ(EffectPlays(), 0);
  EXPECT_EQ(SilentMixer.fallbackPlays, 0);
  for (int count : SoundEventCount) EXPECT_EQ(count, 0);
}

TEST_F(SoundEngineTest, StopReleasesEverything) {
  WriteAllEffects();
  StartUp();
  StopSound();
  EXPECT_EQ(SoundStarted, 0);
  EXPECT_EQ(SoundMutex, 0);
  EXPECT_FALSE(SilentMixer.open);
  EXPECT_EQ(SilentMixer.closeCalls, 1);
  for (const SoundSlot& slot : SoundSlots) {
    EXPECT_EQ(slot.samples, nullptr);
    EXPECT_EQ(slot.byteCount, -1);
  }
  EXPECT_EQ(PlayEffect(kSoundShot), -1);
}

TEST_F(SoundEngineTest, StopAfterAFailedStartOnlyClosesTheMutex) {
  SilentMixer.failOpen = true;
  EXPECT_EQ(StartSound(), 0);
  EXPECT_EQ(SoundMutex, 1);
  StopSound();
  EXPECT_EQ(SoundMutex, 0);
  EXPECT_EQ(SilentMixer.closeCalls, 0);
}

TEST_F(SoundEngineTest, SecondStartDoesNotKeepTheFirstOnesEffects) {
  WriteAllEffects();
  StartUp();
  std::remove(PathOf("Bugu.wav").c_str());
  EXPECT_EQ(StartSound(), 1);
  EXPECT_EQ(SoundSlots[0].samples, nullptr);
  EXPECT_NE(SoundSlots[3].samples, nullptr);
}

TEST_F(SoundEngineTest, OverlongBaseDirectoryLeavesTheEffectsSilent) {
  WriteAllEffects();
  std::string longPath = folder.path().string() + "/" + std::string(300, 'x');
  SetBaseDirectory(longPath);
  StartUp();
  EXPECT_EQ(World.soundReady, 1);
  for (const SoundSlot& slot : SoundSlots) EXPECT_EQ(slot.samples, nullptr);
}

TEST_F(SoundEngineTest, EmbeddedWavesLoadInResourceOrder) {
  LoadEmbeddedWaves();
  ASSERT_EQ(World.wavesReady, 1);
  const int order[4] = {kWaveShot, kWaveLands, kWaveDestroyed, kWaveFireworks};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(World.waveResource[i].data, FindEmbeddedWave(order[i]).data);
    EXPECT_EQ(World.waveResource[i].size, FindEmbeddedWave(order[i]).size);
  }
  EXPECT_EQ(FindEmbeddedWave(111).data, nullptr);
  EXPECT_EQ(FindEmbeddedWave(0).data, nullptr);
}

TEST_F(SoundEngineTest, EmbeddedWavesAreTheEffectFilesInTheRequiredFormat) {
  struct Expect {
    int resource;
    const char* file;
    double seconds;
  };
  const Expect waves[] = {{kWaveShot, "Pyuin.wav", 1.49},
                          {kWaveLands, "Gooon.wav", 1.11},
                          {kWaveDestroyed, "Chyuin.wav", 1.11},
                          {kWaveFireworks, "Bugu.wav", 0.37}};
  for (const Expect& e : waves) {
    SCOPED_TRACE(e.file);
    WaveResource wave = FindEmbeddedWave(e.resource);
    ASSERT_NE(wave.data, nullptr);
    Bytes embedded(wave.data, wave.data + wave.size);
    EXPECT_EQ(embedded, ReadFileBytes(std::filesystem::path(TAVRO_SOUND_DIR) / e.file));

    // An 18-byte format chunk, then the data chunk at once.
    ASSERT_GT(embedded.size(), 46u);
    EXPECT_EQ(embedded[16], 18);
    EXPECT_EQ(0, std::memcmp(&embedded[38], "data", 4));

    std::string path = folder.Write(e.file, embedded);
    WavInfo info;
    WavInfoInit(info);
    ASSERT_EQ(WavOpen(0, info, path.c_str()), 0);
    EXPECT_EQ(info.channels, 2);
    EXPECT_EQ(info.sampleRate, 44100);
    EXPECT_EQ(info.bytesPerSample, 2);
    EXPECT_NEAR(info.frameCount / 44100.0, e.seconds, 0.005);
    EXPECT_EQ(WavRemainingBytes(info), std::int64_t{info.frameCount} * 4);
    EXPECT_EQ(WavClose(info), 0);
  }
}

}  // namespace
