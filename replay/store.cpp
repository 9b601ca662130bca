#include "replay/store.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <vector>

#include "host/files.h"
#include "host/own_folder.h"
#include "replay/playback.h"
#include "replay/recorder.h"
#include "world/world.h"

const char kReplayExtension[] = ".tavroreplay";

namespace {

namespace fs = std::filesystem;

// Replays are read back only to look for their ranked lines; larger files
// are not ours to judge and are kept.
constexpr unsigned long long kMaxReplayRead = 256ull << 20;
// Names known not to be replays, remembered so that the next prunes pass
// them by unopened; at most this many.
constexpr std::size_t kMaxForeignNames = 4096;

bool AllDigits(const std::string& text, std::size_t from, std::size_t count) {
  if (from + count > text.size()) return false;
  for (std::size_t i = from; i < from + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

// Length of the number at text[from] written as ReplayFileName writes one
// (no leading zero), at most maxDigits long; 0 when there is none.
std::size_t NumberAt(const std::string& text, std::size_t from, std::size_t maxDigits) {
  std::size_t length = 0;
  while (from + length < text.size() && length <= maxDigits && AllDigits(text, from + length, 1)) {
    ++length;
  }
  if (length == 0 || length > maxDigits || (length > 1 && text[from] == '0')) return 0;
  return length;
}

// A replay's place in time: its name's start time and counter, then its name.
// Empty when the name is not one ReplayFileName makes.
std::string SortKeyOf(const std::string& name) {
  // "YYYYMMDD-HHMMSS"
  constexpr std::size_t kStamp = 15;
  if (!AllDigits(name, 0, 8) || name.size() < kStamp || name[8] != '-' || !AllDigits(name, 9, 6)) {
    return std::string();
  }
  std::size_t at = kStamp;
  int counter = 1;
  if (name.compare(at, 6, "-best-") != 0) {
    const std::size_t digits =
        at + 1 < name.size() && name[at] == '-' ? NumberAt(name, at + 1, 2) : 0;
    if (digits == 0) return std::string();
    counter = std::stoi(name.substr(at + 1, digits));
    if (counter < 2) return std::string();
    at += 1 + digits;
    if (name.compare(at, 6, "-best-") != 0) return std::string();
  }
  at += 6;
  const std::size_t score = NumberAt(name, at, 10);
  if (score == 0 || name.compare(at + score, std::string::npos, kReplayExtension) != 0) {
    return std::string();
  }
  char key[32];
  std::snprintf(key, sizeof key, "%.15s-%03d ", name.c_str(), counter);
  return key + name;
}

// Whether a "#@ ranked SCORE LEVEL RAPID NAME" line names a row that is
// still in the ranking.
bool NamesStandingRow(const std::string& line) {
  std::istringstream words(line.substr(std::strlen("#@ ranked ")));
  long long score;
  long long level;
  long long rapid;
  if (!(words >> score >> level >> rapid)) return false;
  std::string name;
  words.get();  // the one blank before the name
  std::getline(words, name);
  for (const RankingEntry& row : World.ranking) {
    if (row.score == score && row.level == level && row.rapid == rapid &&
        std::string(row.name, NameLength(row)) == name) {
      return true;
    }
  }
  return false;
}

enum class Verdict {
  Gone,        // nothing there any more
  Unreadable,  // a link put there since, too large, no permission: left alone
  Foreign,     // not a replay (its first line is not the magic)
  Replay,
  RankedReplay,  // a replay holding a row still in the ranking
};

// Judges the file at path by its first line and, unless firstLineOnly, its
// ranked lines; adds the bytes read to *read. The file is opened without
// following a link.
Verdict Judge(const std::string& path, bool firstLineOnly, unsigned long long* read) {
  OpenFailure failure = OpenFailure::Failed;
  std::FILE* file = PlatformOpenRegularForReading(path.c_str(), kMaxReplayRead, &failure);
  if (file == nullptr) return failure == OpenFailure::Missing ? Verdict::Gone : Verdict::Unreadable;
  // Ranked lines are short; a longer line is read in pieces, and only a
  // piece that begins a line can be one.
  char line[256];
  bool lineStart = true;
  bool first = true;
  Verdict verdict = Verdict::Foreign;
  while (std::fgets(line, sizeof line, file) != nullptr) {
    std::size_t length = std::strlen(line);
    const bool whole = length > 0 && line[length - 1] == '\n';
    if (whole) line[--length] = '\0';
    if (first) {
      if (length > 0 && line[length - 1] == '\r') line[--length] = '\0';
      if ((!whole && !std::feof(file)) || std::strcmp(line, kReplayMagic) != 0) break;
      verdict = Verdict::Replay;
      first = false;
      if (firstLineOnly) break;
    } else if (lineStart && std::strncmp(line, "#@ ranked ", 10) == 0 && NamesStandingRow(line)) {
      verdict = Verdict::RankedReplay;
      break;
    }
    lineStart = whole;
  }
  if (verdict != Verdict::Foreign && std::ferror(file) != 0) verdict = Verdict::Unreadable;
  const long position = std::ftell(file);
  if (position > 0) *read += static_cast<unsigned long long>(position);
  std::fclose(file);
  return verdict;
}

struct Replay {
  std::string key;  // SortKeyOf(name)
  std::string name;
};

// What pruning keeps between calls, for one folder: where the judging of
// older replays goes on, and the names found not to be replays.
struct PruneState {
  std::string folder;
  std::string resumeAfter;  // the key of the last older replay judged
  std::set<std::string> foreign;
};

PruneState& Pruning(const std::string& folder) {
  static PruneState state;
  if (state.folder != folder) state = PruneState{folder, {}, {}};
  return state;
}

void NoteForeign(PruneState& state, const std::string& name) {
  if (state.foreign.size() < kMaxForeignNames) state.foreign.insert(name);
}

}  // namespace

std::string ReplayFileName(std::time_t start, int bestScore, int counter) {
  // one thread: the shared result of localtime is safe here
  const std::tm* local = std::localtime(&start);
  char stamp[32] = "00000000-000000";
  if (local != nullptr) std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", local);
  std::string name = stamp;
  if (counter > 1) name += '-' + std::to_string(counter);
  return name + "-best-" + std::to_string(bestScore) + kReplayExtension;
}

bool IsReplayFileName(const std::string& name) {
  return !SortKeyOf(name).empty();
}

bool StoreReplay(StoredReplay* session, const std::string& folder, std::time_t sessionStart) {
  if (folder.empty()) return false;
  if (session->folder != folder) *session = StoredReplay{folder, {}, 0};
  const std::string& text = ReplayText();
  const int best = ReplayBestScore();
  if (!session->name.empty() && session->bestScore == best) {
    const WriteFailure failure =
        PlatformWriteRegularFile(PathInFolder(folder, session->name).c_str(), text.data(),
                                 text.size(), WriteMode::ReplaceRegular);
    if (failure == WriteFailure::None) {
      PruneReplays(folder, session->name);
      return true;
    }
    if (failure != WriteFailure::NotRegular) return false;
    // Something else stands where the file was; it is left alone and the
    // session takes a new name.
    session->name.clear();
  }
  // A new name is created, never replaced: a session started in the same
  // second (another copy of the program) may hold it already.
  std::string taken;
  for (int counter = 1; counter <= kMaxReplayNameCounter && taken.empty(); ++counter) {
    const std::string name = ReplayFileName(sessionStart, best, counter);
    const WriteFailure failure = PlatformWriteRegularFile(
        PathInFolder(folder, name).c_str(), text.data(), text.size(), WriteMode::CreateNew);
    if (failure == WriteFailure::None) taken = name;
    if (failure == WriteFailure::Failed) return false;
  }
  if (taken.empty()) return false;
  if (!session->name.empty())
    PlatformRemoveRegularFile(PathInFolder(folder, session->name).c_str());
  session->name = taken;
  session->bestScore = best;
  Pruning(folder).foreign.erase(taken);
  PruneReplays(folder, taken);
  return true;
}

namespace {
StoredReplay runningSession;
}  // namespace

void StoreSessionReplay(const std::string& folder, std::time_t sessionStart) {
  StoredReplay& session = runningSession;
  static bool failedBefore = false;
  if (PlaybackActive()) return;
  if (StoreReplay(&session, folder, sessionStart) || failedBefore) return;
  failedBefore = true;
  std::fprintf(stderr, "tavro: the session's replay could not be written to %s\n",
               folder.empty() ? "(no folder for replays)" : folder.c_str());
}

// Pruning runs after a session's record was written, on the frame's path, so
// one call does bounded work however full the folder is: it lists at most
// kPruneListedPerCall names (a listing opens no file), opens at most
// kPruneOpenedPerCall files and stops opening more once kPruneReadPerCall
// bytes were read. The newest replays are told from foreign files by their
// first line only; the older ones, read whole for their ranked lines, are
// judged oldest first, and the next call goes on after the last one judged.
// A folder of thousands of old replays thus empties over some games, a few
// milliseconds at a time, and a folder of 20 replays costs 20 short reads.
// With a partial listing, a replay is still removed only when 20 replays
// newer than it were seen, so none of the newest 20 is ever removed.
void PruneReplays(const std::string& folder, const std::string& spare) {
  if (folder.empty()) return;
  PruneState& state = Pruning(folder);
  std::vector<FolderEntry> entries;
  if (!PlatformListFolder(folder.c_str(), kPruneListedPerCall, &entries)) return;
  std::vector<Replay> replays;
  for (FolderEntry& entry : entries) {
    if (entry.kind != EntryKind::Regular) continue;  // links are never followed
    std::string key = SortKeyOf(entry.name);
    if (!key.empty()) replays.push_back({std::move(key), std::move(entry.name)});
  }
  // newest first
  std::sort(replays.begin(), replays.end(),
            [](const Replay& a, const Replay& b) { return a.key > b.key; });

  int opened = 0;
  unsigned long long read = 0;
  std::size_t next = 0;
  int kept = 0;
  for (; next < replays.size() && kept < kReplaysKept; ++next) {
    const std::string& name = replays[next].name;
    if (state.foreign.count(name) != 0) continue;
    if (opened == kPruneOpenedPerCall) return;  // the next call sees further
    ++opened;
    const Verdict verdict = Judge(PathInFolder(folder, name), true, &read);
    if (verdict == Verdict::Replay) ++kept;
    if (verdict == Verdict::Foreign) NoteForeign(state, name);
  }
  if (kept < kReplaysKept) return;

  // The older ones, oldest first, from where the last call stopped.
  std::vector<Replay> older(replays.rbegin(), replays.rend() - static_cast<std::ptrdiff_t>(next));
  auto from = std::upper_bound(
      older.begin(), older.end(), state.resumeAfter,
      [](const std::string& key, const Replay& replay) { return key < replay.key; });
  if (from == older.end()) from = older.begin();
  for (; from != older.end(); ++from) {
    if (opened == kPruneOpenedPerCall || read >= kPruneReadPerCall) return;
    state.resumeAfter = from->key;
    if (from->name == spare || state.foreign.count(from->name) != 0) continue;
    ++opened;
    const std::string path = PathInFolder(folder, from->name);
    const Verdict verdict = Judge(path, false, &read);
    if (verdict == Verdict::Replay) PlatformRemoveRegularFile(path.c_str());
    if (verdict == Verdict::Foreign) NoteForeign(state, from->name);
  }
  state.resumeAfter.clear();  // judged to the newest: the next call starts again at the oldest
}

const std::string& SessionReplayName() {
  return runningSession.name;
}

// Paths are UTF-8 inside the program; a plain narrow path would be read in
// the system's code page on some systems.
std::string PathInFolder(const std::string& folder, const std::string& name) {
  const fs::path path = fs::path(std::u8string(folder.begin(), folder.end())) /
                        fs::path(std::u8string(name.begin(), name.end()));
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}
