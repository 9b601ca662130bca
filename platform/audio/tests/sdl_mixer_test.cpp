// Plays through SDL2_mixer into SDL's disk audio driver, which writes the
// mixed output to a file, and looks for the effects' samples in it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "app/program.h"
#include "game/world.h"
#include "sound/embedded_waves.h"
#include "sound/mixer.h"
#include "sound/sound.h"
#include "sound/tests/wav_builder.h"

// The few program globals the engine uses; this test links the engine alone.
WorldState World;
int SoundFlag;
char BaseDirectory[kMaxPath];
char ProgramName[256] = "Tavro.exe";

namespace {

constexpr int kFrameBytes = 4;  // the device is opened as 16-bit stereo
constexpr std::size_t kHeaderBytes = 46;

void Wait(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// 1024 frames of an effect file's samples from the given second on.
Bytes Excerpt(const char* file, double seconds) {
  Bytes wav = ReadFileBytes(std::filesystem::path(TAVRO_SOUND_DIR) / file);
  std::size_t start = kHeaderBytes + static_cast<std::size_t>(seconds * 44100) * kFrameBytes;
  if (wav.size() < start + 1024 * kFrameBytes) return {};
  return Bytes(wav.begin() + static_cast<long>(start),
               wav.begin() + static_cast<long>(start + 1024 * kFrameBytes));
}

int Occurrences(const Bytes& output, const Bytes& excerpt) {
  int count = 0;
  auto at = output.begin();
  while ((at = std::search(at, output.end(), excerpt.begin(), excerpt.end())) != output.end()) {
    ++count;
    at += static_cast<long>(excerpt.size());
  }
  return count;
}

class SdlMixerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    output = folder.path() / "output.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", output.c_str(), 1);
    std::memset(&World, 0, sizeof World);
    SoundFlag = 1;
    std::snprintf(BaseDirectory, sizeof BaseDirectory, "%s", TAVRO_SOUND_DIR);
  }

  void TearDown() override {
    StopSound();
    MixerClose();
  }

  void StartEngine() {
    LoadEmbeddedWaves();
    World.soundReady = StartSound() != 0 ? 1 : 0;
    ASSERT_EQ(World.soundReady, 1) << "the disk audio driver did not open";
  }

  // Closes the device so that the driver finishes the file, then reads it.
  Bytes Written() {
    StopSound();
    MixerClose();
    return ReadFileBytes(output);
  }

  ScratchFolder folder;
  std::filesystem::path output;
};

TEST_F(SdlMixerTest, ShotPlaysThroughTheEngineIntoTheDevice) {
  StartEngine();
  PlaySoundEvent(kSoundShot);
  Wait(1700);
  Bytes written = Written();
  Bytes excerpt = Excerpt("Pyuin.wav", 0.1);
  ASSERT_FALSE(excerpt.empty());
  ASSERT_GT(written.size(), 44100u * kFrameBytes);
  EXPECT_EQ(Occurrences(written, excerpt), 1);
  EXPECT_EQ(Occurrences(written, Excerpt("Pyuin.wav", 1.3)), 1);
}

TEST_F(SdlMixerTest, RepeatedRequestRestartsTheEffect) {
  StartEngine();
  PlaySoundEvent(kSoundShot);
  Wait(500);
  PlaySoundEvent(kSoundShot);
  Wait(1800);
  Bytes written = Written();
  // The opening sounds twice; what came after the restart point only once.
  EXPECT_EQ(Occurrences(written, Excerpt("Pyuin.wav", 0.1)), 2);
  EXPECT_EQ(Occurrences(written, Excerpt("Pyuin.wav", 0.8)), 1);
}

TEST_F(SdlMixerTest, DifferentEffectsSoundTogether) {
  StartEngine();
  PlaySoundEvent(kSoundShot);
  Wait(200);
  PlaySoundEvent(kSoundFireworks);
  Wait(1600);
  Bytes written = Written();
  // The fireworks are mixed into the shot, which goes on to its end.
  EXPECT_EQ(Occurrences(written, Excerpt("Bugu.wav", 0.1)), 0);
  EXPECT_EQ(Occurrences(written, Excerpt("Pyuin.wav", 1.2)), 1);
}

TEST_F(SdlMixerTest, FallbackRequestCutsOffTheOneBefore) {
  ASSERT_TRUE(MixerOpen());
  WaveResource shot = FindEmbeddedWave(kWaveShot);
  WaveResource fireworks = FindEmbeddedWave(kWaveFireworks);
  MixerPlayFallback(shot.data, shot.size);
  Wait(400);
  MixerPlayFallback(fireworks.data, fireworks.size);
  Wait(1400);
  Bytes written = Written();
  EXPECT_EQ(Occurrences(written, Excerpt("Pyuin.wav", 0.1)), 1);
  EXPECT_EQ(Occurrences(written, Excerpt("Pyuin.wav", 1.0)), 0);
  EXPECT_EQ(Occurrences(written, Excerpt("Bugu.wav", 0.1)), 1);
}

TEST_F(SdlMixerTest, EightBitMonoIsConvertedToTheDeviceFormat) {
  ASSERT_TRUE(MixerOpen());
  // Half a second of a constant half-scale level at 11025 Hz.
  Bytes samples(11025 / 2, 0xC0);
  ASSERT_TRUE(MixerCreateEffect(0, WavFormat{1, 11025, 1}, samples.data(), samples.size()));
  MixerPlayEffect(0);
  Wait(800);
  Bytes written = Written();
  // Find the longest run of frames at about +16384 on both channels.
  int run = 0;
  int longest = 0;
  for (std::size_t i = 0; i + kFrameBytes <= written.size(); i += kFrameBytes) {
    auto left = static_cast<std::int16_t>(written[i] | (written[i + 1] << 8));
    auto right = static_cast<std::int16_t>(written[i + 2] | (written[i + 3] << 8));
    bool level = left > 16000 && left < 16800 && right > 16000 && right < 16800;
    run = level ? run + 1 : 0;
    longest = std::max(longest, run);
  }
  EXPECT_GT(longest, 20000);  // about 0.5 s at 44100 Hz
  EXPECT_LT(longest, 23000);
}

TEST_F(SdlMixerTest, CreatingRefusesFormatsItCannotPlay) {
  ASSERT_TRUE(MixerOpen());
  Bytes samples(64, 0);
  EXPECT_FALSE(MixerCreateEffect(0, WavFormat{2, 44100, 2}, samples.data(), 6));  // part frame
  EXPECT_FALSE(MixerCreateEffect(0, WavFormat{2, 0, 2}, samples.data(), 64));
  EXPECT_FALSE(MixerCreateEffect(0, WavFormat{2, -5, 2}, samples.data(), 64));
  EXPECT_FALSE(MixerCreateEffect(0, WavFormat{3, 44100, 2}, samples.data(), 60));
  EXPECT_FALSE(MixerCreateEffect(4, WavFormat{2, 44100, 2}, samples.data(), 64));
  EXPECT_FALSE(MixerCreateEffect(0, WavFormat{2, 44100, 2}, samples.data(), 0));
  // Upsampling from 1 Hz would need far too much memory.
  Bytes second(44100 * 4, 0);
  EXPECT_FALSE(MixerCreateEffect(0, WavFormat{2, 1, 2}, second.data(), second.size()));
  EXPECT_TRUE(MixerCreateEffect(0, WavFormat{2, 44100, 2}, samples.data(), 64));
  MixerPlayEffect(4);
  MixerPlayEffect(-1);
}

TEST_F(SdlMixerTest, WithoutADeviceTheGameGoesOnSilently) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  LoadEmbeddedWaves();
  World.soundReady = StartSound();
  EXPECT_EQ(World.soundReady, 0);
  EXPECT_EQ(SoundStarted, 0);
  for (int id = 0; id < 4; ++id) PlaySoundEvent(id);  // dropped, not a crash
  EXPECT_EQ(PlayEffect(kSoundShot), -1);
  StopSound();
  EXPECT_EQ(SoundMutex, 0);
}

}  // namespace
