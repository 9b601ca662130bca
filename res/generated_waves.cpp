// The four effects made by the project's own generator the first time they
// are asked for, instead of compiled-in files: the page's download then
// carries no PCM. The generator's arithmetic is plain IEEE double, so these
// are byte for byte the files in res/sounds (scripts/test-web.sh checks the
// page's build of it against them).
#include <vector>

#include "host/embedded_waves.h"
#include "tools/wavgen/wavgen.h"

namespace {

// The generator's number of each resource: 0 "Bugu", 1 "Chyuin", 2 "Gooon",
// 3 "Pyuin"; -1 for none.
int GeneratorId(int resourceId) {
  switch (resourceId) {
    case kWaveFireworks: return 0;
    case kWaveDestroyed: return 1;
    case kWaveLands: return 2;
    case kWaveShot: return 3;
    default: return -1;
  }
}

}  // namespace

WaveResource FindEmbeddedWave(int resourceId) {
  static std::vector<unsigned char> made[kWavgenEffects];
  const int id = GeneratorId(resourceId);
  if (id < 0) return {nullptr, 0};
  if (made[id].empty()) made[id] = WavgenMakeFile(id);
  return {made[id].data(), made[id].size()};
}
