#include "app/game_over.h"

#include <string>

#include "game/flow.h"
#include "host/window.h"
#include "records/ranking.h"
#include "replay/playback.h"
#include "replay/recorder.h"
#include "world/world.h"

namespace {

// The name-entry dialog; during playback the script gives the text.
bool AskName(char* typed, std::size_t capacity) {
  if (!PlaybackActive()) return PlatformNameEntry(typed, capacity);
  std::string text;
  if (!PlaybackTakeName(&text)) return false;
  CopyTypedName(text.data(), text.size(), typed, capacity);
  return true;
}

}  // namespace

void RecordRanking() {
  const int place = RankingPlaceOf(World.score);
  if (place == kRankingRows) {
    World.rankJustAchieved = 0;
    return;
  }
  InsertRankingRow(place, World.score, World.level, RapidFlag);
  ResetLevelState(kLowestGround);
  StartNewWave();

  ScreenWipe(0);
  Fireworks();
  ScreenWipe(0);

  // a dialog that could not be shown leaves the default name
  char typed[256] = {};
  if (AskName(typed, sizeof typed)) {
    typed[sizeof typed - 1] = '\0';
    char name[kNameMaxBytes + 1];
    CleanPlayerName(typed, name);
    ReplayNoteName(name);
    NameRankingRow(place, name);
  }

  World.rankJustAchieved = place + 1;
  ReplayNoteRanked(World.ranking[place]);
}
