// Replays the sound requests of a headless game through the SDL mixer into
// SDL's disk audio driver, in real time at 20 ms a frame, and counts the
// output samples that sit at full scale.
//
//   tavro-sim --dump-every 1 --script GAME | measure_clipping SOUND_DIR OUTPUT.raw
//
// The runner's JSON lines give each frame's number and the request counters
// of the four effects; a counter that went up in a frame is one request of
// that effect in that frame (several requests of one effect in one frame all
// restart the same channel at the same moment).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "sound/sound.h"
#include "world/world.h"

// The few program globals the engine uses; this tool links the engine alone.
WorldState World;
int SoundFlag;

namespace {

constexpr int kFrameMilliseconds = 20;
constexpr int kRate = 44100;
constexpr int kChannels = 2;

struct FrameRequests {
  long long frame;
  bool play[4];
};

// Reads "frame":N and "sounds":[a,b,c,d] from each JSON line.
std::vector<FrameRequests> ReadRequests(std::istream& in) {
  std::vector<FrameRequests> frames;
  long long last[4] = {0, 0, 0, 0};
  std::string line;
  while (std::getline(in, line)) {
    std::size_t frameAt = line.find("\"frame\":");
    std::size_t soundsAt = line.rfind("\"sounds\":[");
    if (frameAt == std::string::npos || soundsAt == std::string::npos) continue;
    FrameRequests entry{std::atoll(line.c_str() + frameAt + 8), {}};
    const char* p = line.c_str() + soundsAt + 10;
    bool any = false;
    for (int id = 0; id < 4; ++id) {
      char* end = nullptr;
      long long count = std::strtoll(p, &end, 10);
      entry.play[id] = count > last[id];
      any = any || entry.play[id];
      last[id] = count;
      p = end + 1;
    }
    if (any) frames.push_back(entry);
  }
  return frames;
}

std::vector<short> ReadSamples(const char* path) {
  std::ifstream file(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::vector<short> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}

bool AtFullScale(short sample) {
  return sample >= 32767 || sample <= -32767;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s SOUND_DIR OUTPUT.raw < runner-dumps\n", argv[0]);
    return 2;
  }
  std::vector<FrameRequests> frames = ReadRequests(std::cin);
  if (frames.empty()) {
    std::fprintf(stderr, "measure_clipping: no sound requests in the input\n");
    return 1;
  }
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", argv[2], 1);
  SetSoundFiles(argv[1], "Tavro.exe");
  SoundFlag = 1;
  World.soundReady = StartSound() != 0 ? 1 : 0;
  if (!World.soundReady) {
    std::fprintf(stderr, "measure_clipping: the disk audio driver did not open\n");
    return 1;
  }

  int requests = 0;
  const auto start = std::chrono::steady_clock::now();
  for (const FrameRequests& entry : frames) {
    std::this_thread::sleep_until(start +
                                  std::chrono::milliseconds(entry.frame * kFrameMilliseconds));
    for (int id = 0; id < 4; ++id) {
      if (!entry.play[id]) continue;
      PlaySoundEvent(id);
      ++requests;
    }
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(1600));  // the longest effect's tail
  StopSound();

  std::vector<short> samples = ReadSamples(argv[2]);
  const std::size_t window = kRate / 10 * kChannels;  // 100 ms
  std::size_t clipped = 0;
  std::size_t worstWindow = 0;
  std::size_t inWindow = 0;
  int peak = 0;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    bool full = AtFullScale(samples[i]);
    clipped += full;
    inWindow += full;
    if (i >= window) inWindow -= AtFullScale(samples[i - window]);
    worstWindow = std::max(worstWindow, inWindow);
    peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
  }
  std::printf("frames %lld, requests %d, samples %zu (%.1f s)\n", frames.back().frame, requests,
              samples.size(), static_cast<double>(samples.size()) / kChannels / kRate);
  std::printf("at full scale: %zu samples, %.4f%%; worst 100 ms: %.2f%%; peak %d (%.1f%%)\n",
              clipped, samples.empty() ? 0.0 : 100.0 * clipped / samples.size(),
              100.0 * worstWindow / window, peak, 100.0 * peak / 32767);
  return 0;
}
