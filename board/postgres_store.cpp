// The shared store: PostgreSQL through libpqxx, for any number of servers
// behind a load balancer. They share nothing but the database: the unique
// keys on a replay's hash and on a game's key, taken inside one transaction
// per submission, make two servers given the same or competing submissions
// at once keep each replay and each game exactly once (the second insert
// waits for the first transaction and then does nothing).
#include <pqxx/pqxx>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "board/store.h"

namespace {

// The database's clock: one clock for every server's acceptances.
constexpr const char kNow[] = "(extract(epoch from clock_timestamp()) * 1000000)::bigint";
// Serialises the migrations of servers starting at once.
constexpr long long kMigrationLock = 0x7461'7672'6f00;  // "tavro"

class PostgresStore : public Store {
 public:
  PostgresStore(const std::string& url, int connections)
      : url_(url), maxConnections_(std::max(1, connections)) {
    Run([&](pqxx::connection& connection) { Migrate(connection); });
  }

  std::optional<std::string> FindAnswer(const std::string& id) override {
    std::optional<std::string> answer;
    Run([&](pqxx::connection& connection) {
      pqxx::read_transaction read(connection);
      const pqxx::result rows = read.exec_params("SELECT answer FROM replays WHERE hash = $1", id);
      answer.reset();
      if (!rows.empty()) answer = rows[0][0].as<std::string>();
    });
    return answer;
  }

  PutResult Put(const std::string& id, const std::string& text, bool publishedFull,
                const Verdict& given) override {
    PutResult result;
    Run([&](pqxx::connection& connection) {
      pqxx::work work(connection);
      const pqxx::result inserted = work.exec_params(
          std::string("INSERT INTO replays (hash, body, published, answer, received_at)"
                      " VALUES ($1, $2, $3, '', ") +
              kNow + ") ON CONFLICT (hash) DO NOTHING RETURNING id",
          id, text, std::string(publishedFull ? "full" : "names"));
      if (inserted.empty()) {
        const pqxx::result found =
            work.exec_params("SELECT answer FROM replays WHERE hash = $1", id);
        if (found.empty()) throw StoreError("a replay kept and not found");
        result = {true, found[0][0].as<std::string>()};
        work.commit();
        return;
      }
      const long long replayId = inserted[0][0].as<long long>();
      Verdict verdict = given;
      // keys in one order in every transaction: no two wait on each other
      std::vector<GameVerdict*> games;
      for (GameVerdict& game : verdict.games) {
        if (game.accepted) games.push_back(&game);
      }
      std::sort(games.begin(), games.end(),
                [](const GameVerdict* a, const GameVerdict* b) { return a->key < b->key; });
      for (GameVerdict* game : games) {
        const pqxx::result score = work.exec_params(
            std::string("INSERT INTO scores (replay_id, game, game_key, score, level, name,"
                        " accepted_at) VALUES ($1, $2, $3, $4, $5, $6, ") +
                kNow + ") ON CONFLICT (game_key) DO NOTHING RETURNING game",
            replayId, game->index, game->key, game->score, game->level, game->name);
        if (score.empty()) {
          game->accepted = false;
          game->reason = "already counted";
        }
      }
      const std::string answer = AnswerJson(id, verdict);
      if (verdict.Accepted() == 0) {
        work.abort();
        result = {false, answer};
        return;
      }
      work.exec_params("UPDATE replays SET answer = $1 WHERE id = $2", answer, replayId);
      work.commit();
      result = {true, answer};
    });
    return result;
  }

  std::vector<RankedScore> Ranking(long long since, int limit) override {
    std::vector<RankedScore> rows;
    Run([&](pqxx::connection& connection) {
      pqxx::read_transaction read(connection);
      const pqxx::result result = read.exec_params(
          "SELECT s.score, s.level, s.name, r.hash, s.game, s.accepted_at"
          " FROM scores s JOIN replays r ON r.id = s.replay_id"
          " WHERE s.accepted_at >= $1"
          " ORDER BY s.score DESC, s.accepted_at, s.replay_id, s.game LIMIT $2",
          since, limit);
      rows.clear();
      for (const pqxx::row& row : result) {
        rows.push_back({row[0].as<int>(), row[1].as<int>(), row[2].as<std::string>(),
                        row[3].as<std::string>(), row[4].as<int>(), row[5].as<long long>()});
      }
    });
    return rows;
  }

  std::optional<std::string> ReplayText(const std::string& id) override {
    std::optional<std::string> text;
    Run([&](pqxx::connection& connection) {
      pqxx::read_transaction read(connection);
      const pqxx::result rows = read.exec_params("SELECT body FROM replays WHERE hash = $1", id);
      text.reset();
      if (!rows.empty()) text = rows[0][0].as<std::string>();
    });
    return text;
  }

  void Check() override {
    Run([](pqxx::connection& connection) {
      pqxx::nontransaction query(connection);
      query.exec("SELECT 1");
    });
  }

  const char* Kind() const override { return "postgresql"; }

 private:
  void Migrate(pqxx::connection& connection) {
    pqxx::work work(connection);
    work.exec("SELECT pg_advisory_xact_lock(" + std::to_string(kMigrationLock) + ")");
    work.exec(
        "CREATE TABLE IF NOT EXISTS schema_migrations ("
        " version INTEGER PRIMARY KEY, applied_at BIGINT NOT NULL)");
    const long long version =
        work.exec("SELECT coalesce(max(version), 0) FROM schema_migrations")[0][0].as<long long>();
    const std::vector<std::string>& migrations = SchemaMigrations();
    if (version > static_cast<long long>(migrations.size())) {
      throw StoreError("the database has schema version " + std::to_string(version) +
                       ", this server knows " + std::to_string(migrations.size()));
    }
    for (std::size_t i = static_cast<std::size_t>(version); i < migrations.size(); ++i) {
      work.exec(MigrationSql(migrations[i], "BIGSERIAL PRIMARY KEY"));
      work.exec_params(
          std::string("INSERT INTO schema_migrations (version, applied_at) VALUES ($1, ") + kNow +
              ")",
          static_cast<long long>(i + 1));
    }
    work.commit();
  }

  std::unique_ptr<pqxx::connection> Take() {
    std::unique_lock<std::mutex> lock(mutex_);
    free_.wait(lock, [this] { return !idle_.empty() || open_ < maxConnections_; });
    if (!idle_.empty()) {
      std::unique_ptr<pqxx::connection> connection = std::move(idle_.back());
      idle_.pop_back();
      return connection;
    }
    ++open_;
    lock.unlock();
    try {
      return std::make_unique<pqxx::connection>(url_);
    } catch (...) {
      lock.lock();
      --open_;
      free_.notify_one();
      throw;
    }
  }

  void Give(std::unique_ptr<pqxx::connection> connection) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (connection && connection->is_open()) {
      idle_.push_back(std::move(connection));
    } else {
      --open_;
    }
    free_.notify_one();
  }

  // Runs the work on a pooled connection. A transaction that lost a
  // deadlock or a serialisation is run again; a connection that broke is
  // replaced and the work run once more. Other failures are StoreErrors.
  template <typename Work>
  void Run(Work work) {
    for (int attempt = 1;; ++attempt) {
      std::unique_ptr<pqxx::connection> connection;
      try {
        connection = Take();
      } catch (const std::exception& e) {
        if (attempt >= 2) throw StoreError(std::string("PostgreSQL: ") + e.what());
        continue;
      }
      try {
        work(*connection);
        Give(std::move(connection));
        return;
      } catch (const pqxx::transaction_rollback& e) {
        Give(std::move(connection));
        if (attempt >= 5) throw StoreError(std::string("PostgreSQL: ") + e.what());
      } catch (const pqxx::broken_connection& e) {
        connection.reset();
        Give(nullptr);
        if (attempt >= 2) throw StoreError(std::string("PostgreSQL: ") + e.what());
      } catch (const StoreError&) {
        Give(std::move(connection));
        throw;
      } catch (const std::exception& e) {
        Give(std::move(connection));
        throw StoreError(std::string("PostgreSQL: ") + e.what());
      }
    }
  }

  const std::string url_;
  const int maxConnections_;
  std::mutex mutex_;
  std::condition_variable free_;
  std::vector<std::unique_ptr<pqxx::connection>> idle_;
  int open_ = 0;
};

}  // namespace

std::unique_ptr<Store> OpenPostgresStore(const std::string& url, int connections) {
  try {
    return std::make_unique<PostgresStore>(url, connections);
  } catch (const StoreError&) {
    throw;
  } catch (const std::exception& e) {
    throw StoreError(std::string("PostgreSQL: ") + e.what());
  }
}
