// The embedded store: one SQLite file in WAL mode, one connection behind a
// lock (the server's writes are a few rows per verified replay).
#include <sqlite3.h>

#include <algorithm>
#include <mutex>

#include "board/store.h"

namespace {

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr) != SQLITE_OK) Fail();
  }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, const std::string& text) {
    Check(sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                            SQLITE_TRANSIENT));
    return *this;
  }
  Statement& Bind(int index, long long value) {
    Check(sqlite3_bind_int64(statement_, index, value));
    return *this;
  }
  // True while there is a row.
  bool Step() {
    const int result = sqlite3_step(statement_);
    if (result == SQLITE_ROW) return true;
    if (result != SQLITE_DONE) Fail();
    return false;
  }
  long long Int(int column) { return sqlite3_column_int64(statement_, column); }
  std::string Text(int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
    return text == nullptr
               ? std::string()
               : std::string(text,
                             static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)));
  }

 private:
  void Check(int result) {
    if (result != SQLITE_OK) Fail();
  }
  [[noreturn]] void Fail() { throw StoreError(std::string("SQLite: ") + sqlite3_errmsg(db_)); }

  sqlite3* db_;
  sqlite3_stmt* statement_ = nullptr;
};

class SqliteStore : public Store {
 public:
  explicit SqliteStore(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
      const std::string message = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
      sqlite3_close(db_);
      throw StoreError("SQLite: cannot open " + path + ": " + message);
    }
    sqlite3_busy_timeout(db_, 10000);
    try {
      Exec("PRAGMA journal_mode=WAL");
      // an accepted replay survives a power cut, not only a crash
      Exec("PRAGMA synchronous=FULL");
      Exec("PRAGMA foreign_keys=ON");
      Migrate();
    } catch (...) {
      sqlite3_close(db_);
      throw;
    }
  }
  ~SqliteStore() override { sqlite3_close(db_); }

  std::optional<std::string> FindAnswer(const std::string& id) override {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement find(db_, "SELECT answer FROM replays WHERE hash = ?");
    find.Bind(1, id);
    if (!find.Step()) return std::nullopt;
    return find.Text(0);
  }

  PutResult Put(const std::string& id, const std::string& text, bool publishedFull,
                const Verdict& given) override {
    std::lock_guard<std::mutex> lock(mutex_);
    Exec("BEGIN IMMEDIATE");
    try {
      PutResult result = PutInTransaction(id, text, publishedFull, given);
      Exec(result.stored ? "COMMIT" : "ROLLBACK");
      return result;
    } catch (...) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }

  std::vector<RankedScore> Ranking(long long since, int limit) override {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement query(db_,
                    "SELECT s.score, s.level, s.name, r.hash, s.game, s.accepted_at"
                    " FROM scores s JOIN replays r ON r.id = s.replay_id"
                    " WHERE s.accepted_at >= ?"
                    " ORDER BY s.score DESC, s.accepted_at, s.replay_id, s.game LIMIT ?");
    query.Bind(1, since).Bind(2, static_cast<long long>(limit));
    std::vector<RankedScore> rows;
    while (query.Step()) {
      rows.push_back({static_cast<int>(query.Int(0)), static_cast<int>(query.Int(1)), query.Text(2),
                      query.Text(3), static_cast<int>(query.Int(4)), query.Int(5)});
    }
    return rows;
  }

  std::optional<std::string> ReplayText(const std::string& id) override {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement find(db_, "SELECT body FROM replays WHERE hash = ?");
    find.Bind(1, id);
    if (!find.Step()) return std::nullopt;
    return find.Text(0);
  }

  void Check() override {
    std::lock_guard<std::mutex> lock(mutex_);
    Statement one(db_, "SELECT count(*) FROM schema_migrations");
    one.Step();
  }

  const char* Kind() const override { return "sqlite"; }

 private:
  void Exec(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
      const std::string text = message != nullptr ? message : sqlite3_errmsg(db_);
      sqlite3_free(message);
      throw StoreError("SQLite: " + text);
    }
  }

  void Migrate() {
    Exec("BEGIN IMMEDIATE");
    try {
      Exec(
          "CREATE TABLE IF NOT EXISTS schema_migrations ("
          " version INTEGER PRIMARY KEY, applied_at BIGINT NOT NULL)");
      Statement current(db_, "SELECT coalesce(max(version), 0) FROM schema_migrations");
      current.Step();
      const long long version = current.Int(0);
      const std::vector<std::string>& migrations = SchemaMigrations();
      if (version > static_cast<long long>(migrations.size())) {
        throw StoreError("the database has schema version " + std::to_string(version) +
                         ", this server knows " + std::to_string(migrations.size()));
      }
      for (std::size_t i = static_cast<std::size_t>(version); i < migrations.size(); ++i) {
        Exec(MigrationSql(migrations[i], "INTEGER PRIMARY KEY"));
        Statement note(db_, "INSERT INTO schema_migrations (version, applied_at) VALUES (?, ?)");
        note.Bind(1, static_cast<long long>(i + 1)).Bind(2, NowMicros()).Step();
      }
      Exec("COMMIT");
    } catch (...) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }

  PutResult PutInTransaction(const std::string& id, const std::string& text, bool publishedFull,
                             const Verdict& given) {
    const long long now = NowMicros();
    Statement insert(db_,
                     "INSERT INTO replays (hash, body, published, answer, received_at)"
                     " VALUES (?, ?, ?, '', ?) ON CONFLICT (hash) DO NOTHING RETURNING id");
    insert.Bind(1, id).Bind(2, text).Bind(3, std::string(publishedFull ? "full" : "names"));
    insert.Bind(4, now);
    if (!insert.Step()) {
      Statement find(db_, "SELECT answer FROM replays WHERE hash = ?");
      find.Bind(1, id);
      if (!find.Step()) throw StoreError("a replay kept and not found");
      return {true, find.Text(0)};
    }
    const long long replayId = insert.Int(0);
    while (insert.Step()) {
    }
    Verdict verdict = given;
    for (GameVerdict& game : verdict.games) {
      if (!game.accepted) continue;
      Statement score(db_,
                      "INSERT INTO scores (replay_id, game, game_key, score, level, name,"
                      " accepted_at) VALUES (?, ?, ?, ?, ?, ?, ?)"
                      " ON CONFLICT (game_key) DO NOTHING RETURNING game");
      score.Bind(1, replayId).Bind(2, static_cast<long long>(game.index)).Bind(3, game.key);
      score.Bind(4, static_cast<long long>(game.score)).Bind(5, static_cast<long long>(game.level));
      score.Bind(6, game.name).Bind(7, now);
      if (!score.Step()) {
        game.accepted = false;
        game.reason = "already counted";
      }
      while (score.Step()) {
      }
    }
    const std::string answer = AnswerJson(id, verdict);
    if (verdict.Accepted() == 0) return {false, answer};
    Statement keep(db_, "UPDATE replays SET answer = ? WHERE id = ?");
    keep.Bind(1, answer).Bind(2, replayId).Step();
    return {true, answer};
  }

  std::mutex mutex_;
  sqlite3* db_ = nullptr;
};

}  // namespace

std::unique_ptr<Store> OpenSqliteStore(const std::string& path) {
  return std::make_unique<SqliteStore>(path);
}
