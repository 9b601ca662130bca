#include "world/world.h"

#include <climits>
#include <cstring>

WorldState World;
int RapidFlag;
int SoundFlag;
int WaitFlag;
std::uint32_t RandomState = 1;

const int ExplosionRadius[kExplosionStages + 1] = {
    0,  4,  8,  12, 18, 24, 30, 34, 36, 37, 38, 38, 39, 39, 39, 39, 39, 39, 38, 38, 37,
    36, 35, 34, 33, 32, 31, 30, 28, 26, 24, 22, 20, 16, 14, 12, 10, 8,  6,  4,  2};
const int FireColors[8] = {7, 7, 7, 6, 6, 6, 2, 2};
const int IceColors[8] = {7, 7, 7, 5, 5, 5, 1, 1};

int NextRandom() {
  RandomState = RandomState * 214013u + 2531011u;
  return static_cast<int>((RandomState >> 16) & 0x7FFF);
}

Color ColorCodeToRgb(int code) {
  return Rgb((code & 2) ? 255 : 0, (code & 4) ? 255 : 0, (code & 1) ? 255 : 0);
}

void ResetWorld() {
  static const Color kStarColors[4] = {Rgb(255, 0, 0), Rgb(0, 255, 0), Rgb(0, 0, 255), kWhite};
  for (Star& star : World.stars) {
    star.x = NextRandom() & 511;
    star.y = NextRandom() & 511;
    star.speed = ((NextRandom() & 3) + 1) * 3;
    star.color = kStarColors[NextRandom() & 3];
  }
  for (Explosion& explosion : World.explosions) explosion.stage = 0;
  for (ScorePopup& popup : World.popups) popup.age = 0;
}

void ClearWorldForStart() {
  std::memset(&World, 0, sizeof World);
  RapidFlag = 0;
  SoundFlag = 0;
  WaitFlag = 0;
  RandomState = 1;
}

void AddScore(int points) {
  long long sum = static_cast<long long>(World.score) + points;
  if (sum > INT_MAX) sum = INT_MAX;
  if (sum < INT_MIN) sum = INT_MIN;
  World.score = static_cast<int>(sum);
}
