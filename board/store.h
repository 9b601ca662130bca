// Where the server keeps what it accepted: each replay once, by its content
// hash, with the answer it gave, and each accepted game once, by what makes
// it that game. One schema, built by numbered migrations applied at start,
// on SQLite (one server) or PostgreSQL (any number of servers).
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "board/submission.h"

struct StoreError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct RankedScore {
  int score = 0;
  int level = 0;
  std::string name;
  std::string replayId;
  int game = 0;
  long long acceptedAt = 0;  // microseconds since 1970
};

struct PutResult {
  bool stored = false;  // the replay is in the store (now or from before)
  std::string answer;   // the answer to give
};

class Store {
 public:
  virtual ~Store() = default;

  // The answer stored with the replay of this id; none when it is not stored.
  virtual std::optional<std::string> FindAnswer(const std::string& id) = 0;
  // In one transaction: keeps the replay's text under its id unless a replay
  // with that id is there already (then its stored answer is the answer),
  // and each accepted game unless the same game is counted already (then it
  // is rejected as "already counted"). A replay left with no accepted game is
  // not kept, and its answer says why.
  virtual PutResult Put(const std::string& id, const std::string& text, bool publishedFull,
                        const Verdict& verdict) = 0;
  // The best `limit` games accepted since the time (microseconds since
  // 1970), the earlier of equal scores first.
  virtual std::vector<RankedScore> Ranking(long long since, int limit) = 0;
  virtual std::optional<std::string> ReplayText(const std::string& id) = 0;
  // Throws StoreError when the database does not answer.
  virtual void Check() = 0;
  virtual const char* Kind() const = 0;
};

// The schema's migrations, in order: version i + 1 is element i. "@ID@"
// stands for the dialect's auto-numbered key column.
const std::vector<std::string>& SchemaMigrations();
// A migration in a dialect: "@ID@" replaced.
std::string MigrationSql(const std::string& sql, const std::string& idColumn);

// Opens (creating it) the SQLite file in WAL mode and migrates it; throws
// StoreError.
std::unique_ptr<Store> OpenSqliteStore(const std::string& path);
// Connects to PostgreSQL (postgresql://...) with at most `connections`
// connections at once and migrates the database; throws StoreError.
std::unique_ptr<Store> OpenPostgresStore(const std::string& url, int connections);

long long NowMicros();
