#include "app/game_over.h"

#include <string>

#include "app/session.h"
#include "game/flow.h"
#include "host/window.h"
#include "records/ranking.h"
#include "records/settings.h"
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

// The row whose name the dialog is asking for; -1 when none.
int placeBeingNamed = -1;

// Names the row (an empty name keeps the one it has) and notes the change
// for the next save.
void NameRow(int place, const char* name) {
  const RankingEntry before = World.ranking[place];
  NameRankingRow(place, name);
  NoteRankingRowChanged(before, World.ranking[place]);
}

}  // namespace

void RecordRanking() {
  const int place = RankingPlaceOf(World.score);
  if (place == kRankingRows) {
    World.rankJustAchieved = 0;
    return;
  }
  InsertRankingRow(place, World.score, World.level, RapidFlag);
  NoteRankingRowEntered(World.ranking[place]);
  ResetLevelState(kLowestGround);
  StartNewWave();

  ScreenWipe(0);
  Fireworks();
  ScreenWipe(0);

  // a dialog that could not be shown leaves the default name
  char typed[256] = {};
  placeBeingNamed = place;
  if (AskName(typed, sizeof typed)) {
    typed[sizeof typed - 1] = '\0';
    char name[kNameMaxBytes + 1];
    CleanPlayerName(typed, name);
    ReplayNoteName(name);
    NameRow(place, name);
  }
  placeBeingNamed = -1;

  World.rankJustAchieved = place + 1;
  ReplayNoteRanked(World.ranking[place]);
  SessionSaveRanking();
}

void KeepTypedName(const char* typed, std::size_t length) {
  if (placeBeingNamed < 0) return;
  char text[256];
  CopyTypedName(typed, length, text, sizeof text);
  char name[kNameMaxBytes + 1];
  CleanPlayerName(text, name);
  NameRow(placeBeingNamed, name);
}
