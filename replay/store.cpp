#include "replay/store.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <system_error>
#include <vector>

#include "host/files.h"
#include "replay/playback.h"
#include "replay/recorder.h"
#include "world/world.h"

const char kReplayExtension[] = ".tavroreplay";

namespace {

namespace fs = std::filesystem;

// Replays are read back only to look for their ranked lines; larger files
// are not ours to judge and are kept.
constexpr unsigned long long kMaxReplayRead = 256ull << 20;

std::string lastWritten;  // the file this session wrote last (UTF-8)

// Paths are UTF-8 inside the program; a plain narrow path would be read in
// the system's code page on some systems.
fs::path PathOf(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Of(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

bool IsReplayName(const std::string& name) {
  const std::size_t extension = std::strlen(kReplayExtension);
  return name.size() > extension &&
         name.compare(name.size() - extension, extension, kReplayExtension) == 0;
}

// Whether a "#@ ranked SCORE LEVEL RAPID NAME" line of the text names a row
// that is still in the ranking. Unreadable files count as ranked (kept).
bool HoldsStandingRow(const fs::path& path) {
  std::string text;
  const OpenFailure failure = ReadWholeFile(Utf8Of(path).c_str(), kMaxReplayRead, &text);
  if (failure != OpenFailure::None) return failure != OpenFailure::Missing;
  std::istringstream lines(text);
  std::string line;
  const std::string prefix = "#@ ranked ";
  while (std::getline(lines, line)) {
    if (line.rfind(prefix, 0) != 0) continue;
    std::istringstream words(line.substr(prefix.size()));
    long long score;
    long long level;
    long long rapid;
    if (!(words >> score >> level >> rapid)) continue;
    std::string name;
    words.get();  // the one blank before the name
    std::getline(words, name);
    for (const RankingEntry& row : World.ranking) {
      if (row.score == score && row.level == level && row.rapid == rapid &&
          std::string(row.name, NameLength(row)) == name) {
        return true;
      }
    }
  }
  return false;
}

}  // namespace

std::string ReplayFileName(std::time_t start, int bestScore) {
  // one thread: the shared result of localtime is safe here
  const std::tm* local = std::localtime(&start);
  char stamp[32] = "00000000-000000";
  if (local != nullptr) std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", local);
  return std::string(stamp) + "-best-" + std::to_string(bestScore) + kReplayExtension;
}

bool StoreReplay(const std::string& folder, std::time_t sessionStart) {
  if (folder.empty()) return false;
  const std::string path = Utf8Of(PathOf(folder) / ReplayFileName(sessionStart, ReplayBestScore()));
  const std::string& text = ReplayText();
  if (!PlatformWriteFileAtomically(path.c_str(), text.data(), text.size())) return false;
  if (!lastWritten.empty() && lastWritten != path) {
    std::error_code ignored;
    fs::remove(PathOf(lastWritten), ignored);
  }
  lastWritten = path;
  PruneReplays(folder);
  return true;
}

void StoreSessionReplay(const std::string& folder, std::time_t sessionStart) {
  static bool failedBefore = false;
  if (PlaybackActive()) return;
  if (StoreReplay(folder, sessionStart) || failedBefore) return;
  failedBefore = true;
  std::fprintf(stderr, "tavro: the session's replay could not be written to %s\n",
               folder.empty() ? "(no folder for replays)" : folder.c_str());
}

void PruneReplays(const std::string& folder) {
  std::error_code error;
  std::vector<fs::path> replays;
  for (fs::directory_iterator it(PathOf(folder), error), end; !error && it != end;
       it.increment(error)) {
    if (it->is_regular_file(error) && IsReplayName(Utf8Of(it->path().filename()))) {
      replays.push_back(it->path());
    }
  }
  // newest first: names begin with the start time
  std::sort(replays.begin(), replays.end(),
            [](const fs::path& a, const fs::path& b) { return a.filename() > b.filename(); });
  for (std::size_t i = kReplaysKept; i < replays.size(); ++i) {
    if (Utf8Of(replays[i]) == lastWritten || HoldsStandingRow(replays[i])) continue;
    fs::remove(replays[i], error);
  }
}
