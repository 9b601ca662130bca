// The one global game state, its records and the shared rules they rest on:
// the random source, the three-bit colour codes and the constant tables.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/embedded_waves.h"

// A colour as 0xRRGGBB.
using Color = std::uint32_t;

constexpr Color Rgb(int r, int g, int b) {
  return (static_cast<Color>(r & 255) << 16) | (static_cast<Color>(g & 255) << 8) |
         static_cast<Color>(b & 255);
}

constexpr Color kBlack = Rgb(0, 0, 0);
constexpr Color kWhite = Rgb(255, 255, 255);

constexpr int kMeteorCount = 100;
constexpr int kExplosionCount = 100;
constexpr int kPopupCount = 100;
constexpr int kStarCount = 200;
constexpr int kRankingRows = 10;
constexpr int kExplosionStages = 40;
// A name is at most 20 columns wide (records/name_width.h); 20 columns of
// four-byte characters need 80 bytes and the terminator.
constexpr int kNameMaxBytes = 80;
constexpr int kNameFieldSize = kNameMaxBytes + 1;
constexpr int kSoundCount = 4;

// Heights of the ground line: a new game's (the lowest), the demo's, and the
// height at which a game is over.
constexpr int kLowestGround = 470;
constexpr int kDemoGround = 430;
constexpr int kGameOverHeight = 200;

// Meteor.hits of a splitter rock.
constexpr int kSplitterHits = -300;

struct Meteor {
  int x;
  int y;
  int dx;
  int dy;
  int radius;
  int state;  // 0 free, 1 falling, 255..501 struck (state - 254 is the multiplier)
  Color color;
  int hits;  // -300 splitter, 1 fixed colour, 2 or more tough
};

struct Explosion {
  int x;
  int y;
  int stage;  // 0 free, 1..40
  int chain;
  int lethal;
};

struct ScorePopup {
  int x;
  int y;
  int points;
  int age;  // 0 free
};

struct Star {
  int x;
  int y;
  int speed;
  Color color;
};

struct Ufo {
  int active;
  int x;
  int y;
  int dx;
};

struct RankingEntry {
  int score;
  int level;  // 0-based
  int rapid;
  char name[kNameFieldSize];  // zero-terminated UTF-8, at most 20 columns wide
};

// Bytes of a row's name before its terminator (the whole field if none).
inline int NameLength(const RankingEntry& row) {
  int length = 0;
  while (length < kNameFieldSize && row.name[length] != '\0') ++length;
  return length;
}

struct WorldState {
  Meteor meteors[kMeteorCount];
  Explosion explosions[kExplosionCount];
  ScorePopup popups[kPopupCount];
  Star stars[kStarCount];
  RankingEntry ranking[kRankingRows];
  Ufo ufo;
  int level;
  int score;
  int liveMeteors;
  int reserveMeteors;
  int reservePerLevel;
  int groundY;
  int prevGroundY;
  int pauseFrames;
  int groundRecovery;
  int demoMode;
  int shotsThisFrame;
  int frameTick;
  int rankJustAchieved;
  int soundReady;
  int wavesReady;
  WaveResource waveResource[kSoundCount];  // resources 110, 112, 115, 114
  int modalOpen;
};

extern WorldState World;

// The three settings, stored in the settings file.
extern int RapidFlag;
extern int SoundFlag;
extern int WaitFlag;

// State of the random source; 1 at program start, never reseeded.
extern std::uint32_t RandomState;

extern const int ExplosionRadius[kExplosionStages + 1];  // index 1..40
extern const int FireColors[8];
extern const int IceColors[8];

// Returns 0..32767 and advances the random state.
int NextRandom();

// Maps a three-bit code (bit 0 blue, bit 1 red, bit 2 green) to its colour.
Color ColorCodeToRgb(int code);

// New stars; every explosion and score popup freed.
void ResetWorld();

// Every member zero and the random source back at its start (program start).
void ClearWorldForStart();

// Adds points to the score, stopping at the largest int instead of wrapping.
void AddScore(int points);
