// Frame cost in a heavy scene and the headless demo's frame rate.
#include <benchmark/benchmark.h>

#include "app/frame.h"
#include "app/window_proc.h"
#include "platform/headless/headless_host.h"
#include "records/settings.h"
#include "replay/recorder.h"
#include "surface/dirty_region.h"
#include "surface/surface.h"
#include "world/world.h"

namespace {

// 100 falling rocks of every kind, 100 harmless explosions at every stage
// and 100 score popups, put back in place before each frame so that every
// frame does the same work.
void PlaceHeavyScene() {
  for (int i = 0; i < kMeteorCount; ++i) {
    const int kind = i % 3;
    const int radius = kind == 0 ? 9 : (kind == 1 ? 18 : 20);
    const int hits = kind == 0 ? 1 : (kind == 1 ? 1000000 : kSplitterHits);
    World.meteors[i] = Meteor{(i * 53) % 512, 40 + (i * 37) % 400, 0, 0, radius, 1, kWhite, hits};
  }
  World.liveMeteors = kMeteorCount;
  for (int i = 0; i < kExplosionCount; ++i) {
    World.explosions[i] = Explosion{(i * 97) % 512, (i * 61) % 470, 1 + i % 39, 0, 0};
  }
  for (int i = 0; i < kPopupCount; ++i) {
    World.popups[i] = ScorePopup{(i * 41) % 480, 20 + (i * 29) % 440, 1234, 2};
  }
}

void BM_HeavyPlayFrame(benchmark::State& state) {
  ClearWorldForStart();
  HeadlessResetHost();
  InitSurfaceFont();
  World.demoMode = 0;
  World.groundY = World.prevGroundY = 470;
  ResetWorld();
  for (auto _ : state) {
    state.PauseTiming();
    PlaceHeavyScene();
    state.ResumeTiming();
    PlayFrame();
  }
}
BENCHMARK(BM_HeavyPlayFrame)->Unit(benchmark::kMicrosecond);

// The rate at which the surface's pixels can be filled at all: the bound of
// a frame that fills many of them.
void BM_SurfaceFillRate(benchmark::State& state) {
  for (auto _ : state) {
    ClearSurface();
    benchmark::DoNotOptimize(SurfacePixels());
  }
  state.SetItemsProcessed(state.iterations() * kSurfaceWidth * kSurfaceHeight);
}
BENCHMARK(BM_SurfaceFillRate)->Unit(benchmark::kMicrosecond);

void StartDemo() {
  ClearWorldForStart();
  HeadlessResetHost();
  SetSettingsFilePath("");
  StartUp();
}

// The demo as the headless runner plays it: frames only, nothing shown.
void BM_HeadlessDemoFrames(benchmark::State& state) {
  StartDemo();
  for (auto _ : state) RunFrame();
  state.counters["frames_per_second"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_HeadlessDemoFrames)->Unit(benchmark::kMicrosecond);

// The demo as a host plays it: each frame, and the region it touched taken
// to be shown in at most the given number of rectangles.
void BM_ShownDemoFrames(benchmark::State& state) {
  StartDemo();
  DirtyRegion region;
  double pixels = 0;
  double rects = 0;
  double whole = 0;
  for (auto _ : state) {
    RunFrame();
    TakeDirtyRegion(&region, static_cast<int>(state.range(0)));
    pixels += region.Pixels();
    rects += region.count;
    whole += region.whole ? 1 : 0;
  }
  const double frames = static_cast<double>(state.iterations());
  state.counters["shown_pixels"] = pixels / frames;
  state.counters["shown_rects"] = rects / frames;
  state.counters["whole_frames"] = whole / frames;
}
BENCHMARK(BM_ShownDemoFrames)->Arg(kMaxDirtyRects)->Arg(16)->Arg(8)->Unit(benchmark::kMicrosecond);

// What recording adds to a frame at its busiest: one shot event (a rapid-fire
// move, the most a frame can take) and the end of the frame, with recording
// on (1) and off (0). The record starts anew every 30000 frames, a 10-minute
// session.
void BM_RecordShotFrame(benchmark::State& state) {
  ClearWorldForStart();
  World.demoMode = 0;
  ReplayBeginSession();
  ReplaySetRecording(state.range(0) != 0);
  long long frame = 0;
  for (auto _ : state) {
    ReplayNotePoint("move", static_cast<int>(frame % 512), static_cast<int>(frame * 7 % 470));
    ReplayNoteFrameDone(true);
    if (++frame % 30000 == 0) {
      state.PauseTiming();
      state.counters["bytes_per_10_minutes"] = static_cast<double>(ReplayText().size());
      ReplayBeginSession();
      ReplaySetRecording(state.range(0) != 0);
      state.ResumeTiming();
    }
  }
}
BENCHMARK(BM_RecordShotFrame)->Arg(1)->Arg(0)->Unit(benchmark::kNanosecond);

}  // namespace

BENCHMARK_MAIN();
