#include "board/server.h"

#include <httplib.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <nlohmann/json.hpp>

#include "host/files.h"
#include "replay/recorder.h"

namespace {

using Json = nlohmann::json;

constexpr const char kJson[] = "application/json";
constexpr long long kDayMicros = 24LL * 60 * 60 * 1000000;
constexpr unsigned long long kMaxSiteFileBytes = 64ull << 20;

void SendJson(httplib::Response& response, int status, const std::string& body) {
  response.status = status;
  response.set_content(body, kJson);
}

void SendError(httplib::Response& response, int status, const std::string& reason,
               const std::string& message) {
  Json error = {{"reason", reason}, {"message", message}};
  SendJson(response, status, error.dump(-1, ' ', false, Json::error_handler_t::replace));
}

std::string IsoTime(long long micros) {
  const std::time_t seconds = static_cast<std::time_t>(micros / 1000000);
  std::tm utc = {};
  gmtime_r(&seconds, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

// The request's start, for its log line (the thread that routes a request
// also logs it).
thread_local std::chrono::steady_clock::time_point requestStart;
thread_local bool requestStarted = false;

}  // namespace

Board::Board(const BoardOptions& options, std::unique_ptr<Store> store)
    : options_(options),
      store_(std::move(store)),
      server_(std::make_unique<httplib::Server>()),
      queue_(std::max(1, options.workers),
             options.queue > 0 ? options.queue
                               : 4 * static_cast<std::size_t>(std::max(1, options.workers))),
      rate_(options.ratePerMinute, std::max(1.0, options.ratePerMinute)) {
  httplib::Server& server = *server_;
  // Threads enough for every submission the queue can hold to wait on its
  // verification while reads are still answered.
  const std::size_t threads = queue_.Capacity() + static_cast<std::size_t>(queue_.Workers()) + 8;
  server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  server.set_payload_max_length(kMaxSubmissionBytes);
  server.set_keep_alive_timeout(2);
  server.set_read_timeout(10);
  server.set_write_timeout(10);

  server.set_pre_routing_handler([](const httplib::Request& request, httplib::Response& response) {
    requestStart = std::chrono::steady_clock::now();
    requestStarted = true;
    // The interface is public: a page served elsewhere may read the ranking
    // and send replays (a text/plain POST needs no preflight).
    if (request.path.rfind("/api/", 0) == 0) {
      response.set_header("Access-Control-Allow-Origin", "*");
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  server.set_logger([this](const httplib::Request& request, const httplib::Response& response) {
    long long ms = 0;
    if (requestStarted) {
      ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 requestStart)
               .count();
    }
    requestStarted = false;
    const std::string note = response.get_header_value("X-Verification");
    std::fprintf(stderr, "%s %s \"%s %s\" %d %zu %lldms%s%s\n", IsoTime(NowMicros()).c_str(),
                 ClientAddress(request).c_str(), request.method.c_str(), request.path.c_str(),
                 response.status, response.body.size(), ms, note.empty() ? "" : " ", note.c_str());
  });
  server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
    if (!response.body.empty()) return;
    if (response.status == 413) {
      SendError(response, 413, "too large",
                "larger than " + std::to_string(kMaxSubmissionBytes >> 20) + " MiB");
    } else if (response.status == 404) {
      SendError(response, 404, "not found", "no such page");
    }
  });
  server.set_exception_handler(
      [](const httplib::Request&, httplib::Response& response, std::exception_ptr failure) {
        std::string message = "internal error";
        try {
          if (failure) std::rethrow_exception(failure);
        } catch (const std::exception& e) {
          message = e.what();
        } catch (...) {
        }
        const bool storage = message.rfind("SQLite", 0) == 0 || message.rfind("PostgreSQL", 0) == 0;
        SendError(response, storage ? 503 : 500, storage ? "storage unavailable" : "internal error",
                  message);
      });

  server.Post("/api/v1/replays",
              [this](const httplib::Request& request, httplib::Response& response,
                     const httplib::ContentReader& read) { Submit(request, response, read); });
  server.Get("/api/v1/ranking",
             [this](const httplib::Request& request, httplib::Response& response) {
               Ranking(request, response);
             });
  server.Get(R"(/api/v1/replays/([^/]+))",
             [this](const httplib::Request& request, httplib::Response& response) {
               Replay(request, response);
             });
  server.Get("/healthz", [this](const httplib::Request& request, httplib::Response& response) {
    Health(request, response);
  });
  if (!options_.site.empty()) {
    server.set_mount_point("/", options_.site);
    server.set_file_request_handler(
        [this](const httplib::Request& request, httplib::Response& response) {
          SendPrecompressed(request, response);
        });
  }
}

Board::~Board() = default;

// A page file compressed ahead of time lies beside it as "FILE.gz": a client
// that takes gzip gets those bytes. Text, JavaScript and JSON are left to the
// HTTP library, which compresses them as it sends them. The path was checked
// and found a file in the site before this is called.
void Board::SendPrecompressed(const httplib::Request& request, httplib::Response& response) {
  if (request.get_header_value("Accept-Encoding").find("gzip") == std::string::npos) return;
  const std::string type = response.get_header_value("Content-Type");
  if (type.rfind("text/", 0) == 0 || type.find("javascript") != std::string::npos ||
      type.find("json") != std::string::npos || type.find("xml") != std::string::npos) {
    return;
  }
  std::string path = options_.site + request.path;
  if (path.back() == '/') path += "index.html";
  std::string packed;
  if (ReadWholeFile((path + ".gz").c_str(), kMaxSiteFileBytes, &packed) != OpenFailure::None) {
    return;
  }
  response.set_content(std::move(packed), type);
  response.set_header("Content-Encoding", "gzip");
  response.set_header("Vary", "Accept-Encoding");
}

bool Board::Bind(std::string* error) {
  if (options_.port == 0) {
    port_ = server_->bind_to_any_port(options_.host);
  } else if (server_->bind_to_port(options_.host, options_.port)) {
    port_ = options_.port;
  }
  if (port_ <= 0) {
    *error = "cannot listen on " + options_.host + ":" + std::to_string(options_.port);
    return false;
  }
  return true;
}

void Board::Run() {
  server_->listen_after_bind();
  // every connection has had its answer; what is still queued is not
  // awaited by anyone, and is finished all the same
  queue_.Close();
  queue_.Join();
}

void Board::Stop() {
  server_->stop();
}

std::size_t Board::Busy() const {
  return queue_.Waiting() + static_cast<std::size_t>(queue_.Running());
}

std::string Board::ClientAddress(const httplib::Request& request) const {
  if (options_.forwardedFor && request.has_header("X-Forwarded-For")) {
    std::string chain = request.get_header_value("X-Forwarded-For");
    const std::size_t comma = chain.rfind(',');
    std::string last = comma == std::string::npos ? chain : chain.substr(comma + 1);
    const std::size_t first = last.find_first_not_of(' ');
    if (first != std::string::npos)
      return last.substr(first, last.find_last_not_of(' ') - first + 1);
  }
  return request.remote_addr;
}

int Board::RetryAfterSeconds() const {
  const double perJob = meanVerifySeconds_.load();
  const double seconds =
      perJob * static_cast<double>(queue_.Waiting() + 1) / std::max(1, queue_.Workers());
  return std::clamp(static_cast<int>(std::ceil(seconds)), 1, 600);
}

void Board::Submit(const httplib::Request& request, httplib::Response& response,
                   const httplib::ContentReader& read) {
  int retryAfter = 0;
  if (!rate_.Take(ClientAddress(request), &retryAfter)) {
    response.set_header("Retry-After", std::to_string(retryAfter));
    response.set_header("Connection", "close");
    SendError(response, 429, "too many submissions",
              "at most " + std::to_string(options_.ratePerMinute) + " a minute from one address");
    return;
  }
  // The cap holds for the bytes after any Content-Encoding is undone: a
  // small compressed body may not unpack into more.
  std::string body;
  bool tooLarge = false;
  const bool whole = read([&](const char* data, std::size_t length) {
    if (body.size() + length > kMaxSubmissionBytes) {
      tooLarge = true;
      return false;
    }
    body.append(data, length);
    return true;
  });
  // (a declared length over the cap is refused by the library unread)
  const std::string declared = request.get_header_value("Content-Length");
  if (!whole && !declared.empty() &&
      std::strtoull(declared.c_str(), nullptr, 10) > kMaxSubmissionBytes) {
    tooLarge = true;
  }
  if (tooLarge) {
    response.set_header("Connection", "close");
    SendError(response, 413, "too large",
              "larger than " + std::to_string(kMaxSubmissionBytes >> 20) + " MiB");
    return;
  }
  if (!whole) {
    response.set_header("Connection", "close");
    SendError(response, 400, "unreadable body", "the body could not be read");
    return;
  }
  const std::string id = ContentHash(body);
  if (std::optional<std::string> answer = store_->FindAnswer(id)) {
    SendJson(response, 200, *answer);
    return;
  }
  if (std::optional<Refusal> refusal = CheckSubmittedBody(body)) {
    Verdict verdict;
    verdict.refusal = std::move(refusal);
    SendJson(response, 422, AnswerJson(id, verdict));
    return;
  }
  const bool publishFull = request.get_param_value("publish") == "full";

  std::shared_future<Outcome> outcome;
  {
    std::lock_guard<std::mutex> lock(inFlightMutex_);
    const auto found = inFlight_.find(id);
    if (found != inFlight_.end()) {
      outcome = found->second;
    } else {
      auto promise = std::make_shared<std::promise<Outcome>>();
      outcome = promise->get_future().share();
      std::string text = publishFull ? std::move(body) : RedactReplay(body);
      const bool queued = queue_.TryPush([this, id, text = std::move(text), publishFull, promise] {
        Outcome result;
        try {
          result = Verify(id, text, publishFull);
        } catch (const std::exception& e) {
          std::fprintf(stderr, "tavro-board: verification of %s: %s\n", id.c_str(), e.what());
          result.body = Json({{"reason", "internal error"}, {"message", e.what()}}).dump();
        }
        std::lock_guard<std::mutex> done(inFlightMutex_);
        inFlight_.erase(id);
        promise->set_value(std::move(result));
      });
      if (!queued) {
        response.set_header("Retry-After", std::to_string(RetryAfterSeconds()));
        SendError(response, 503, "busy", "every verification place is taken; try again later");
        return;
      }
      inFlight_.emplace(id, outcome);
    }
  }
  const Outcome& result = outcome.get();
  if (!result.note.empty()) response.set_header("X-Verification", result.note);
  SendJson(response, result.status, result.body);
}

Board::Outcome Board::Verify(const std::string& id, const std::string& text, bool publishFull) {
  const auto start = std::chrono::steady_clock::now();
  const VerifierRun run = RunVerifier(options_.limits, text);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  meanVerifySeconds_.store(0.8 * meanVerifySeconds_.load() + 0.2 * seconds);
  Outcome outcome;
  char note[96];
  std::snprintf(note, sizeof note, "verify-cpu=%.3fs verify-rss=%ldKiB", run.cpuSeconds,
                run.maxRssKiB);
  outcome.note = note;
  if (!run.error.empty()) {
    std::fprintf(stderr, "tavro-board: %s\n", run.error.c_str());
    outcome.status = 500;
    outcome.body =
        Json({{"reason", "internal error"}, {"message", "verification unavailable"}}).dump();
    return outcome;
  }
  const Verdict verdict = VerdictFromReport(run.report, run.end);
  if (verdict.Accepted() == 0) {
    outcome.status = 422;
    outcome.body = AnswerJson(id, verdict);
    return outcome;
  }
  try {
    const PutResult put = store_->Put(id, text, publishFull, verdict);
    outcome.status = put.stored ? 200 : 422;
    outcome.body = put.answer;
  } catch (const StoreError& e) {
    std::fprintf(stderr, "tavro-board: %s\n", e.what());
    outcome.status = 503;
    outcome.body = Json({{"reason", "storage unavailable"}, {"message", e.what()}}).dump();
  }
  return outcome;
}

void Board::Ranking(const httplib::Request& request, httplib::Response& response) {
  const std::string period =
      request.has_param("period") ? request.get_param_value("period") : "all";
  long long since = 0;
  if (period == "week") {
    since = NowMicros() - 7 * kDayMicros;
  } else if (period == "month") {
    since = NowMicros() - 30 * kDayMicros;
  } else if (period != "all") {
    SendError(response, 400, "bad period", "period is all, month or week");
    return;
  }
  int limit = 10;
  if (request.has_param("limit")) {
    const std::string text = request.get_param_value("limit");
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos || std::stoi(text) < 1) {
      SendError(response, 400, "bad limit", "limit is a whole number from 1 to 100");
      return;
    }
    limit = std::min(std::stoi(text), 100);
  }
  const std::vector<RankedScore> rows = store_->Ranking(since, limit);
  Json entries = Json::array();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const RankedScore& row = rows[i];
    entries.push_back({{"place", i + 1},
                       {"score", row.score},
                       {"level", row.level},
                       {"name", row.name},
                       {"replay", row.replayId},
                       {"game", row.game},
                       {"acceptedAt", IsoTime(row.acceptedAt)}});
  }
  Json ranking = {{"period", period}, {"limit", limit}, {"entries", std::move(entries)}};
  response.set_header("Cache-Control", "no-cache");
  SendJson(response, 200, ranking.dump(-1, ' ', false, Json::error_handler_t::replace));
}

void Board::Replay(const httplib::Request& request, httplib::Response& response) {
  const std::string id = request.matches[1];
  std::optional<std::string> text;
  if (IsReplayId(id)) text = store_->ReplayText(id);
  if (!text.has_value()) {
    SendError(response, 404, "not found", "no replay with this id");
    return;
  }
  response.set_header("Content-Disposition", "attachment; filename=\"" + id + ".tavroreplay\"");
  response.set_content(*text, "application/x-tavro-replay");
}

void Board::Health(const httplib::Request&, httplib::Response& response) {
  Json health = {{"version", std::string(kReplayVersion)},
                 {"storage", store_->Kind()},
                 {"workers", queue_.Workers()},
                 {"capacity", queue_.Capacity()},
                 {"waiting", queue_.Waiting()},
                 {"verifying", queue_.Running()}};
  try {
    store_->Check();
    health["status"] = "ok";
    SendJson(response, 200, health.dump());
  } catch (const StoreError& e) {
    health["status"] = "storage unavailable";
    health["message"] = e.what();
    SendJson(response, 503, health.dump(-1, ' ', false, Json::error_handler_t::replace));
  }
}
