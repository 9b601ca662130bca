// The ranking server: HTTP routes over the store, the verification queue
// and the per-address rate limit.
//
//   POST /api/v1/replays[?publish=full]   a replay file as the body
//   GET  /api/v1/ranking?period=all|month|week&limit=N
//   GET  /api/v1/replays/ID
//   GET  /healthz
//   GET  /...                              the page's files (--site), a
//                                          "FILE.gz" beside one sent to a
//                                          client that takes gzip
#pragma once

#include <atomic>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "board/rate_limit.h"
#include "board/store.h"
#include "board/verifier.h"
#include "board/work_queue.h"

namespace httplib {
class Server;
class Request;
class Response;
class ContentReader;
}  // namespace httplib

struct BoardOptions {
  std::string host = "127.0.0.1";
  int port = 8080;   // 0: any free port
  std::string site;  // the page's static files; empty: none
  int workers = 1;
  std::size_t queue = 0;      // waiting verifications at most; 0: 4 per worker
  double ratePerMinute = 10;  // submissions per address; 0: no limit
  // Take the client's address from the last X-Forwarded-For entry (behind
  // a reverse proxy that sets it).
  bool forwardedFor = false;
  VerifierLimits limits;
};

class Board {
 public:
  Board(const BoardOptions& options, std::unique_ptr<Store> store);
  ~Board();

  // Binds the listening socket; false with the reason.
  bool Bind(std::string* error);
  int Port() const { return port_; }
  // Serves until Stop; then lets every verification taken finish, its
  // answer given and its result stored, and returns.
  void Run();
  // Stops taking connections (from any thread).
  void Stop();
  // Verifications waiting and running.
  std::size_t Busy() const;

 private:
  struct Outcome {
    int status = 500;
    std::string body;
    std::string note;  // for the log line
  };

  void Submit(const httplib::Request& request, httplib::Response& response,
              const httplib::ContentReader& read);
  void Ranking(const httplib::Request& request, httplib::Response& response);
  void Replay(const httplib::Request& request, httplib::Response& response);
  void Health(const httplib::Request& request, httplib::Response& response);
  void SendPrecompressed(const httplib::Request& request, httplib::Response& response);
  Outcome Verify(const std::string& id, const std::string& text, bool publishFull);
  std::string ClientAddress(const httplib::Request& request) const;
  int RetryAfterSeconds() const;

  BoardOptions options_;
  std::unique_ptr<Store> store_;
  std::unique_ptr<httplib::Server> server_;
  WorkQueue queue_;
  RateLimit rate_;
  int port_ = 0;
  // One verification per file at a time: the same file sent again while
  // it is verified waits for the same outcome.
  std::mutex inFlightMutex_;
  std::map<std::string, std::shared_future<Outcome>> inFlight_;
  std::atomic<double> meanVerifySeconds_{2.0};
};
