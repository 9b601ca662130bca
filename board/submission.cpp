#include "board/submission.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cctype>
#include <nlohmann/json.hpp>

#include "records/ranking.h"
#include "records/settings.h"
#include "replay/recorder.h"
#include "replay/script.h"

namespace {

using Json = nlohmann::json;

// Calls visit(line, end) for each line without its "\n" or "\r\n"; end is
// the line end as it was.
template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    std::string_view ending = "\n";
    if (end == std::string_view::npos) {
      end = text.size();
      ending = "";
    }
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
      ending = ending.empty() ? "\r" : "\r\n";
    }
    visit(line, ending);
    start = end + 1;
  }
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// "N_Name" for a row number N.
bool IsRankingNameKey(std::string_view key) {
  const std::size_t underscore = key.find('_');
  if (underscore == 0 || underscore == std::string_view::npos) return false;
  if (key.substr(0, underscore).find_first_not_of("0123456789") != std::string_view::npos) {
    return false;
  }
  return EqualsIgnoringCase(key.substr(underscore + 1), "Name");
}

Refusal FailedVerification(std::string message) {
  return {"verification failed", std::move(message)};
}

// The runner's refusal kinds as the answer names them.
Refusal RefusalFromReport(const Json& report) {
  const std::string kind = report.value("refusal", std::string());
  const std::string message = report.value("message", std::string());
  if (kind == "line" && report.contains("line") && report["line"].is_number_integer()) {
    return {"broken at line " + std::to_string(report["line"].get<long long>()), message};
  }
  if (kind == "version") return {"wrong version", message};
  if (kind == "too-long") return {"too long", message};
  if (kind == "events") return {"too many events", message};
  if (kind == "settings") return {"no settings", message};
  if (kind == "format") return {"not a replay", message};
  if (kind == "file") return {"too large", message};
  return FailedVerification(message.empty() ? "the runner refused the replay" : message);
}

int IntOf(const Json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end() || !found->is_number_integer()) throw std::runtime_error(key);
  const long long value = found->get<long long>();
  if (value < INT32_MIN || value > INT32_MAX) throw std::runtime_error(key);
  return static_cast<int>(value);
}

}  // namespace

int Verdict::Accepted() const {
  return static_cast<int>(
      std::count_if(games.begin(), games.end(), [](const GameVerdict& g) { return g.accepted; }));
}

bool IsUtf8Text(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c == 0) return false;
    if (c < 0x80) {
      ++i;
      continue;
    }
    int length = 0;
    unsigned int point = 0;
    if (c >= 0xc2 && c <= 0xdf) {
      length = 2;
      point = c & 0x1f;
    } else if (c >= 0xe0 && c <= 0xef) {
      length = 3;
      point = c & 0x0f;
    } else if (c >= 0xf0 && c <= 0xf4) {
      length = 4;
      point = c & 0x07;
    } else {
      return false;
    }
    if (i + length > bytes.size()) return false;
    for (int k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xc0) != 0x80) return false;
      point = (point << 6) | (next & 0x3f);
    }
    if ((length == 3 && point < 0x800) || (length == 4 && (point < 0x10000 || point > 0x10ffff)) ||
        (point >= 0xd800 && point <= 0xdfff)) {
      return false;
    }
    i += length;
  }
  return true;
}

std::optional<Refusal> CheckSubmittedBody(std::string_view body) {
  if (body.size() > kMaxSubmissionBytes) {
    return Refusal{"too large",
                   "larger than " + std::to_string(kMaxSubmissionBytes >> 20) + " MiB"};
  }
  if (!IsUtf8Text(body)) {
    return Refusal{"not text", "a replay is UTF-8 text without NUL bytes"};
  }
  std::string error;
  if (!CheckReplayStart(body, error)) {
    // another format of replay is another program version
    const bool newer = body.substr(0, 16) == "#@ tavro-replay ";
    return Refusal{newer ? "wrong version" : "not a replay", error};
  }
  std::optional<std::string_view> version;
  ForEachLine(body, [&](std::string_view line, std::string_view) {
    if (line.substr(0, 11) == "#@ version ") version = line.substr(11);
    if (line == "#@ version") version = std::string_view();
  });
  if (!version.has_value() || *version != kReplayVersion) {
    return Refusal{"wrong version", "recorded by TAVRO version \"" +
                                        QuoteFileText(version.value_or("(none)")) +
                                        "\", this server plays " + kReplayVersion};
  }
  return std::nullopt;
}

std::string RedactReplay(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  bool inRanking = false;
  ForEachLine(text, [&](std::string_view line, std::string_view ending) {
    if (line.substr(0, 7) == "#@ ini ") {
      const std::string_view entry = line.substr(7);
      const std::string_view trimmed = Trim(entry);
      if (!trimmed.empty() && trimmed.front() == '[' && trimmed.back() == ']') {
        inRanking = EqualsIgnoringCase(Trim(trimmed.substr(1, trimmed.size() - 2)), "SCORE");
      } else if (inRanking) {
        const std::size_t equals = entry.find('=');
        if (equals != std::string_view::npos && IsRankingNameKey(Trim(entry.substr(0, equals)))) {
          const std::string_view name = entry.substr(equals + 1);
          if (name != kEmptyRankingName && name != kDefaultPlayerName) {
            out += "#@ ini ";
            out += entry.substr(0, equals + 1);
            out += kDefaultPlayerName;
            out += ending;
            return;
          }
        }
      }
    }
    out += line;
    out += ending;
  });
  return out;
}

Verdict VerdictFromReport(std::string_view report, const RunnerEnd& end) {
  Verdict verdict;
  if (end.outOfTime) {
    verdict.refusal = Refusal{"too long", "the replay took longer to play than the server allows"};
    return verdict;
  }
  if (end.signal != 0) {
    verdict.refusal =
        FailedVerification("the runner ended on signal " + std::to_string(end.signal));
    return verdict;
  }
  Json parsed;
  try {
    parsed = Json::parse(report.substr(0, report.find('\n')));
    if (!parsed.is_object()) throw std::runtime_error("not an object");
    const std::string kind = parsed.value("verdict", std::string());
    if (kind == "refused") {
      verdict.refusal = RefusalFromReport(parsed);
      return verdict;
    }
    if ((kind != "verified" || end.exitStatus != 0) && (kind != "failed" || end.exitStatus != 1)) {
      throw std::runtime_error("the verdict and the exit status disagree");
    }
    const Json& games = parsed.at("games");
    if (!games.is_array()) throw std::runtime_error("games");
    if (games.size() > kMaxSubmittedGames) {
      verdict.refusal =
          Refusal{"too many games", std::to_string(games.size()) + " games, at most " +
                                        std::to_string(kMaxSubmittedGames)};
      return verdict;
    }
    int differsAt = 0;
    for (const Json& game : games) {
      GameVerdict g;
      g.index = IntOf(game, "index");
      const bool agreed = game.at("agreed").get<bool>();
      const bool unfinished = game.at("unfinished").get<bool>();
      if (!agreed && !unfinished && differsAt == 0) differsAt = g.index;
      const Json& replayed = game.at("replayed");
      if (replayed.is_object()) {
        g.replayed = true;
        g.score = IntOf(replayed, "score");
        g.level = IntOf(replayed, "level");
        const long long frame = replayed.at("frame").get<long long>();
        const std::string trace = replayed.at("trace").get<std::string>();
        if (trace.size() != 16 ||
            trace.find_first_not_of("0123456789abcdef") != std::string::npos) {
          throw std::runtime_error("trace");
        }
        g.key = trace + ":" + std::to_string(frame) + ":" + std::to_string(g.score) + ":" +
                std::to_string(g.level);
        g.place = IntOf(game, "place");
        g.name = game.at("name").get<std::string>();
      }
      g.reason = unfinished ? "unfinished at the replay's end" : "";
      verdict.games.push_back(std::move(g));
    }
    for (GameVerdict& g : verdict.games) {
      if (differsAt != 0) {
        g.reason = "replay differs at game " + std::to_string(differsAt);
      } else if (g.reason.empty() && g.place <= 0) {
        g.reason = "not in the session's ranking";
      }
      g.accepted = g.reason.empty() && g.replayed;
    }
  } catch (const std::exception& e) {
    verdict = Verdict();
    verdict.refusal =
        FailedVerification(std::string("unreadable report from the runner (") + e.what() + ")");
  }
  return verdict;
}

std::string AnswerJson(const std::string& id, const Verdict& verdict) {
  Json answer = Json::object();
  answer["id"] = id;
  answer["accepted"] = verdict.Accepted();
  if (verdict.refusal.has_value()) {
    answer["reason"] = verdict.refusal->reason;
    answer["message"] = verdict.refusal->message;
  }
  Json games = Json::array();
  for (const GameVerdict& g : verdict.games) {
    Json game = {{"game", g.index}, {"accepted", g.accepted}};
    if (!g.accepted) game["reason"] = g.reason;
    if (g.replayed) {
      game["score"] = g.score;
      game["level"] = g.level;
    }
    if (g.accepted) {
      game["name"] = g.name;
      game["sessionPlace"] = g.place;
    }
    games.push_back(std::move(game));
  }
  answer["games"] = std::move(games);
  return answer.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string ContentHash(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  return hex;
}

bool IsReplayId(std::string_view text) {
  return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}
