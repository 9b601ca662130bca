#include "tools/wavgen/wavgen.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

constexpr std::size_t kHeaderBytes = 46;

Bytes Committed(int id) {
  std::ifstream in(std::filesystem::path(TAVRO_SOUND_DIR) / WavgenFileName(id), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint32_t Le32(const Bytes& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
         (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// One channel's samples.
std::vector<int> Channel(const Bytes& file, int channel) {
  std::vector<int> out;
  for (std::size_t i = kHeaderBytes + 2 * channel; i + 1 < file.size(); i += 4) {
    out.push_back(static_cast<std::int16_t>(file[i] | (file[i + 1] << 8)));
  }
  return out;
}

// Zero crossings per second over frames [from, to): a rough pitch.
double CrossingRate(const std::vector<int>& s, double from, double to) {
  auto a = static_cast<std::size_t>(from * kWavgenRate);
  auto b = static_cast<std::size_t>(to * kWavgenRate);
  int crossings = 0;
  for (std::size_t i = a + 1; i < b && i < s.size(); ++i) {
    if ((s[i - 1] < 0) != (s[i] < 0)) ++crossings;
  }
  return crossings / 2.0 / (to - from);
}

TEST(Wavgen, MakesExactlyTheCommittedFiles) {
  for (int id = 0; id < kWavgenEffects; ++id) {
    SCOPED_TRACE(WavgenFileName(id));
    Bytes made = WavgenMakeFile(id);
    EXPECT_EQ(made, WavgenMakeFile(id));
    EXPECT_TRUE(made == Committed(id)) << "run the regenerate_sounds target and commit the result";
  }
}

TEST(Wavgen, FilesAreStereo16Bit44100HzWithAn18ByteFormatChunk) {
  const double seconds[kWavgenEffects] = {0.37, 1.11, 1.11, 1.49};
  for (int id = 0; id < kWavgenEffects; ++id) {
    SCOPED_TRACE(WavgenFileName(id));
    Bytes file = WavgenMakeFile(id);
    ASSERT_GE(file.size(), kHeaderBytes);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), (Bytes{'R', 'I', 'F', 'F'}));
    EXPECT_EQ(Le32(file, 4), file.size() - 8);
    EXPECT_EQ(Le32(file, 16), 18u);
    EXPECT_EQ(file[20] | (file[21] << 8), 1);  // PCM
    EXPECT_EQ(file[22] | (file[23] << 8), 2);  // channels
    EXPECT_EQ(Le32(file, 24), 44100u);
    EXPECT_EQ(Le32(file, 28), 176400u);
    EXPECT_EQ(file[32] | (file[33] << 8), 4);   // block align
    EXPECT_EQ(file[34] | (file[35] << 8), 16);  // bits
    EXPECT_EQ(Bytes(file.begin() + 38, file.begin() + 42), (Bytes{'d', 'a', 't', 'a'}));
    EXPECT_EQ(Le32(file, 42), file.size() - kHeaderBytes);
    EXPECT_NEAR((file.size() - kHeaderBytes) / 4.0 / kWavgenRate, seconds[id], 0.001);
  }
}

TEST(Wavgen, EffectsAreLoudWithoutClippingAndStartAndEndQuietly) {
  for (int id = 0; id < kWavgenEffects; ++id) {
    SCOPED_TRACE(WavgenFileName(id));
    Bytes file = WavgenMakeFile(id);
    for (int c = 0; c < 2; ++c) {
      std::vector<int> s = Channel(file, c);
      int peak = 0;
      for (int v : s) peak = std::max(peak, v < 0 ? -v : v);
      EXPECT_GT(peak, 20000);
      EXPECT_LT(peak, 30000);
      EXPECT_LT(std::abs(s.front()), 200);
      EXPECT_LT(std::abs(s.back()), 200);
    }
  }
}

TEST(Wavgen, ShotSweepsDownward) {
  std::vector<int> shot = Channel(WavgenMakeFile(3), 0);
  double start = CrossingRate(shot, 0.0, 0.1);
  double middle = CrossingRate(shot, 0.5, 0.6);
  double end = CrossingRate(shot, 1.3, 1.45);
  EXPECT_GT(start, 2 * middle);
  EXPECT_GT(middle, 2 * end);
}

TEST(Wavgen, LandingIsDeepAndRicochetIsBright) {
  EXPECT_LT(CrossingRate(Channel(WavgenMakeFile(2), 0), 0.1, 1.0), 200);
  EXPECT_GT(CrossingRate(Channel(WavgenMakeFile(1), 0), 0.05, 0.5), 1000);
}

}  // namespace
