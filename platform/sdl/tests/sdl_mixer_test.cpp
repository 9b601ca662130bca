// Plays through SDL2_mixer into SDL's disk audio driver, which writes the
// mixed output to a file, and looks for the effects' samples in it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "host/embedded_waves.h"
#include "host/mixer.h"
#include "sound/sound.h"
#include "sound/tests/mixer_cases.h"
#include "sound/tests/wav_builder.h"
#include "world/world.h"

// The few program globals the engine uses; this test links the engine alone.
WorldState World;
int SoundFlag;

namespace {

constexpr int kFrameBytes = 4;  // the device is opened as 16-bit stereo
constexpr std::size_t kHeaderBytes = 46;
// Each channel plays at a quarter of full volume; SDL scales a sample s to
// s * 32 / 128, rounded toward zero.
constexpr int kChannelVolume = 32;

std::int16_t Sample(const Bytes& bytes, std::size_t at) {
  return static_cast<std::int16_t>(bytes[at] | (bytes[at + 1] << 8));
}

// 1024 frames of an effect file's samples from the given second on, as the
// mixer writes them when the effect sounds alone.
Bytes Excerpt(const char* file, double seconds) {
  Bytes wav = ReadFileBytes(std::filesystem::path(TAVRO_SOUND_DIR) / file);
  std::size_t start = kHeaderBytes + static_cast<std::size_t>(seconds * 44100) * kFrameBytes;
  if (wav.size() < start + 1024 * kFrameBytes) return {};
  Bytes out;
  for (std::size_t i = start; i < start + 1024 * kFrameBytes; i += 2) {
    PutLe16(out, static_cast<std::uint16_t>(Sample(wav, i) * kChannelVolume / 128));
  }
  return out;
}

// Opens the device in a child process with SDL_AUDIODRIVER set to driver
// (unset for nullptr) and no ALSA card to be found; returns what the child
// wrote on standard error and whether the device opened.
std::string StandardErrorOfOpen(const char* driver, bool& opened) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return "pipe failed";
  pid_t child = fork();
  if (child == 0) {
    dup2(pipeEnds[1], STDERR_FILENO);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    if (driver != nullptr) {
      setenv("SDL_AUDIODRIVER", driver, 1);
    } else {
      unsetenv("SDL_AUDIODRIVER");
    }
    setenv("ALSA_CARD", "TavroNoSuchCard", 1);
    _exit(MixerOpen() ? 0 : 1);
  }
  close(pipeEnds[1]);
  std::string text;
  char buffer[512];
  ssize_t got;
  while ((got = read(pipeEnds[0], buffer, sizeof buffer)) > 0) text.append(buffer, got);
  close(pipeEnds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  opened = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return text;
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
    SetSoundFiles(TAVRO_SOUND_DIR, "Tavro.exe");
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

  // Waits until the device has written `milliseconds` more of sound to the
  // file: requests are timed by the output's own clock, not the wall clock,
  // so a busy machine only makes the test slower.
  void Wait(int milliseconds) {
    const std::uintmax_t target =
        WrittenBytes() + static_cast<std::uintmax_t>(milliseconds) * 44100 / 1000 * kFrameBytes;
    const auto cap = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (WrittenBytes() < target) {
      if (std::chrono::steady_clock::now() > cap) {
        ADD_FAILURE() << "the device wrote no more sound for a minute";
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  std::uintmax_t WrittenBytes() const {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(output, error);
    return error ? 0 : size;
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

// The four effect channels share the output: even four full-scale effects
// sounding at once must sum without reaching full scale.
TEST_F(SdlMixerTest, FourEffectsTogetherNeverReachFullScale) {
  StartEngine();
  // The game's effects, all started at once, then staggered.
  for (int id = 0; id < 4; ++id) PlaySoundEvent(id);
  Wait(1600);
  for (int id = 3; id >= 0; --id) {
    PlaySoundEvent(id);
    Wait(100);
  }
  Wait(1600);
  // Then four effects at full scale, alternating between the highest and
  // the lowest level that both signs share.
  Bytes full(44100 / 4 * kFrameBytes);
  for (std::size_t i = 0; i < full.size(); i += 2) {
    std::int16_t level = (i / 4096) % 2 == 0 ? 32767 : -32767;
    full[i] = static_cast<unsigned char>(level);
    full[i + 1] = static_cast<unsigned char>(static_cast<std::uint16_t>(level) >> 8);
  }
  for (int id = 0; id < 4; ++id) {
    ASSERT_TRUE(MixerCreateEffect(id, WavFormat{2, 44100, 2}, full.data(), full.size()));
  }
  for (int id = 0; id < 4; ++id) MixerPlayEffect(id);
  Wait(500);

  Bytes written = Written();
  ASSERT_GT(written.size(), 44100u * 4 * kFrameBytes);
  // The game's effects fill the first 3.4 s of the output.
  const std::size_t split = 44100u * 34 / 10 * kFrameBytes;
  auto peak = [&](std::size_t from, std::size_t to) {
    int highest = 0;
    for (std::size_t i = from; i + 1 < to; i += 2) {
      highest = std::max(highest, std::abs(static_cast<int>(Sample(written, i))));
    }
    return highest;
  };
  int gameEffectsPeak = peak(0, split);
  int fullScalePeak = peak(split, written.size());
  EXPECT_LT(gameEffectsPeak, 32767);
  EXPECT_GT(gameEffectsPeak, 8000);  // still well audible
  EXPECT_LT(fullScalePeak, 32767);
  EXPECT_GT(fullScalePeak, 32767 * 3 / 4);  // the four did sound together
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
  // Half a second of a constant half-scale level at 11025 Hz, played at a
  // quarter of full volume.
  Bytes samples(11025 / 2, 0xC0);
  ASSERT_TRUE(MixerCreateEffect(0, WavFormat{1, 11025, 1}, samples.data(), samples.size()));
  MixerPlayEffect(0);
  Wait(800);
  Bytes written = Written();
  // Find the longest run of frames at about +16384 on both channels.
  int run = 0;
  int longest = 0;
  for (std::size_t i = 0; i + kFrameBytes <= written.size(); i += kFrameBytes) {
    int left = Sample(written, i);
    int right = Sample(written, i + 2);
    bool level = left > 4000 && left < 4200 && right > 4000 && right < 4200;
    run = level ? run + 1 : 0;
    longest = std::max(longest, run);
  }
  EXPECT_GT(longest, 20000);  // about 0.5 s at 44100 Hz
  EXPECT_LT(longest, 23000);
}

TEST_F(SdlMixerTest, CreatingRefusesFormatsItCannotPlay) {
  ASSERT_TRUE(MixerOpen());
  Bytes samples(64, 0);
  for (const MixerCase& c : kMixerCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(MixerCreateEffect(0, c.format, samples.data(), c.bytes), c.accepted);
  }
  EXPECT_FALSE(MixerCreateEffect(4, WavFormat{2, 44100, 2}, samples.data(), 64));
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

TEST_F(SdlMixerTest, WithoutADeviceOneLineSaysThatSoundIsOff) {
  for (const char* driver : {static_cast<const char*>(nullptr), "alsa", "no-such-driver"}) {
    SCOPED_TRACE(driver == nullptr ? "SDL's own choice" : driver);
    bool opened = false;
    std::string text = StandardErrorOfOpen(driver, opened);
    if (opened) continue;  // a sound server answered after all
    EXPECT_EQ(text, "tavro: sound is off: no audio device could be opened\n");
  }
}

}  // namespace
