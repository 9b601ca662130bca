// Feeds arbitrary bytes to the settings loader as the text of TAVRO.INI and
// checks what it leaves in the world; then saves into the same text and
// checks that the saved settings and ranking read back unchanged.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "records/ini.h"
#include "records/name_width.h"
#include "records/settings.h"
#include "world/world.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

int ExpectedFlag(std::string_view text, const char* key, int whenMissing) {
  const int value = IniGetInt(text, "ENVIRONMENT", key, -1);
  return value == -1 ? whenMissing : value;
}

// A ranking read whole leaves the mark alone; a rejected one is all empty
// rows and clears it.
void CheckRows(bool whole) {
  bool allEmpty = true;
  for (const RankingEntry& row : World.ranking) {
    const void* end = std::memchr(row.name, '\0', sizeof row.name);
    Check(end != nullptr);
    const std::size_t length = static_cast<std::size_t>(static_cast<const char*>(end) - row.name);
    Check(length >= 1 && length <= static_cast<std::size_t>(kNameMaxBytes));
    Check(NameColumns(std::string_view(row.name, length)) <= kNameMaxColumns);
    if (std::strcmp(row.name, kEmptyRankingName) != 0 || row.score != 0 || row.level != 0 ||
        row.rapid != 0) {
      allEmpty = false;
    }
  }
  Check(whole ? World.rankJustAchieved == 7 : allEmpty && World.rankJustAchieved == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  ClearWorldForStart();
  World.rankJustAchieved = 7;
  const bool whole = LoadSettingsFromText(text);
  Check(RapidFlag == ExpectedFlag(text, "RapidFlag", 0));
  Check(SoundFlag == ExpectedFlag(text, "SoundFlag", 1));
  Check(WaitFlag == ExpectedFlag(text, "WaitFlag", 1));
  CheckRows(whole);

  // What is saved into any existing text must read back as it was, and whole.
  const WorldState loaded = World;
  const int rapid = RapidFlag;
  const int sound = SoundFlag;
  const int wait = WaitFlag;
  const std::string saved = SaveSettingsToText(std::string(text));
  Check(LoadSettingsFromText(saved));
  Check(RapidFlag == rapid && SoundFlag == sound && WaitFlag == wait);
  for (int i = 0; i < kRankingRows; ++i) {
    Check(World.ranking[i].score == loaded.ranking[i].score);
    Check(World.ranking[i].level == loaded.ranking[i].level);
    Check(World.ranking[i].rapid == loaded.ranking[i].rapid);
    Check(std::strcmp(World.ranking[i].name, loaded.ranking[i].name) == 0);
  }
  return 0;
}
