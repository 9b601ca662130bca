#include "board/store.h"

#include <chrono>

const std::vector<std::string>& SchemaMigrations() {
  static const std::vector<std::string> migrations = {
      // 1: replays by content hash, with the text published and the answer
      // given; games by what makes them the same game.
      "CREATE TABLE replays ("
      " id @ID@,"
      " hash TEXT NOT NULL UNIQUE,"
      " body TEXT NOT NULL,"
      " published TEXT NOT NULL,"
      " answer TEXT NOT NULL,"
      " received_at BIGINT NOT NULL);"
      "CREATE TABLE scores ("
      " replay_id BIGINT NOT NULL REFERENCES replays (id),"
      " game INTEGER NOT NULL,"
      " game_key TEXT NOT NULL UNIQUE,"
      " score INTEGER NOT NULL,"
      " level INTEGER NOT NULL,"
      " name TEXT NOT NULL,"
      " accepted_at BIGINT NOT NULL,"
      " PRIMARY KEY (replay_id, game));",
      // 2: the ranking's order, over all time and over a recent period.
      "CREATE INDEX scores_by_rank ON scores (score DESC, accepted_at, replay_id, game);"
      "CREATE INDEX scores_by_time ON scores (accepted_at);",
  };
  return migrations;
}

std::string MigrationSql(const std::string& sql, const std::string& idColumn) {
  std::string out = sql;
  for (std::size_t at; (at = out.find("@ID@")) != std::string::npos;) {
    out.replace(at, 4, idColumn);
  }
  return out;
}

long long NowMicros() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}
