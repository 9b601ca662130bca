// What the ranking server makes of a submitted replay: the checks it does
// itself before playing it, the copy it publishes, the verdict it draws from
// the runner's report, and the answer it gives. No I/O here: the request
// handler, the verifier child and the store call these.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The largest body taken, after any Content-Encoding is undone.
constexpr std::size_t kMaxSubmissionBytes = 4u << 20;
// The most games one submission may hold: far beyond any real session, and
// it bounds the runner's report and the answer.
constexpr std::size_t kMaxSubmittedGames = 1000;

// A whole file turned down, before or instead of a verdict per game.
struct Refusal {
  std::string reason;   // "too large", "not text", "not a replay", "wrong version",
                        // "too long", "broken at line L", "too many events",
                        // "too many games", "verification failed", "no settings"
  std::string message;  // what exactly, for people
};

// The server's own checks, cheap and before anything is played: at most
// kMaxSubmissionBytes, UTF-8 text without NUL bytes (the program writes
// nothing else), the replay magic on line 1 and this program's version on
// its "#@ version" line (the last one, as the parser reads it).
std::optional<Refusal> CheckSubmittedBody(std::string_view body);

// The replay as it is published when the player did not agree to more: the
// names of the ranking rows in its "#@ ini" lines (the machine's ranking
// when the session began, other people's names among them) become the
// default player name; empty rows, everything else and the line ends stay.
// The games of the session itself keep their names: their "name" events are
// what the replay plays.
std::string RedactReplay(std::string_view text);

struct GameVerdict {
  int index = 0;  // 1-based
  bool accepted = false;
  std::string reason;     // why not, when not accepted
  bool replayed = false;  // the runner obtained a result for this game
  int score = 0;
  int level = 0;     // 0-based, as in the files
  int place = 0;     // in the session's own ranking, 0: none
  std::string name;  // the name stored in that row
  // What makes two submissions' games the same game: the trace of its play
  // (see GameResult), the frame, score and level at its end. Set when
  // replayed.
  std::string key;
};

struct Verdict {
  std::optional<Refusal> refusal;
  std::vector<GameVerdict> games;
  int Accepted() const;
};

// How the runner ended: exit status, or the signal that ended it.
struct RunnerEnd {
  int exitStatus = -1;  // -1: ended by a signal or never ran
  int signal = 0;
  bool outOfTime = false;  // its CPU or wall-clock limit ended it
};

// The verdict from `tavro-sim --verify - --report json`'s output. A game is
// accepted when every game of the file agrees with its recorded result, it
// is not the unfinished one, and it entered the session's own ranking. A
// difference rejects every game ("replay differs at game N"): the file was
// changed. A report that cannot be read is a failed verification.
Verdict VerdictFromReport(std::string_view report, const RunnerEnd& end);

// The answer to a submission, as JSON text: the replay's id, the count of
// games accepted, per game accepted or rejected with the reason, or the
// refusal of the whole file.
std::string AnswerJson(const std::string& id, const Verdict& verdict);

// A 64-hex-digit SHA-256 of the bytes: a stored replay's id.
std::string ContentHash(std::string_view bytes);

// Whether text is a replay id (64 lowercase hex digits).
bool IsReplayId(std::string_view text);

// Valid UTF-8 without NUL bytes, overlong forms or surrogates.
bool IsUtf8Text(std::string_view bytes);
