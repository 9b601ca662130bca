// Every test starts from the program-start world: all zero, random source
// at its start, no sound requests counted, a black surface.
#pragma once

#include <gtest/gtest.h>

#include "platform/headless/headless_host.h"
#include "sound/sound.h"
#include "surface/surface.h"
#include "world/world.h"

class FreshWorld : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearWorldForStart();
    HeadlessResetHost();
    for (int& count : SoundEventCount) count = 0;
    ClearSurface();
  }

 public:
  // Number of NextRandom calls between two states of the generator.
  static int DrawsBetween(std::uint32_t from, std::uint32_t to) {
    for (int n = 0; n < 100000; ++n) {
      if (from == to) return n;
      from = from * 214013u + 2531011u;
    }
    return -1;
  }

  static int LiveExplosions() {
    int count = 0;
    for (const Explosion& e : World.explosions) count += e.stage != 0;
    return count;
  }

  // A falling fixed-colour rock placed by hand.
  static Meteor& PlaceRock(int slot, int x, int y, int radius, int dy = 3, int dx = 0) {
    Meteor& m = World.meteors[slot];
    m = Meteor{x, y, dx, dy, radius, 1, kWhite, 1};
    World.liveMeteors++;
    return m;
  }
};
