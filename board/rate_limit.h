// Submissions per address: a bucket of `burst` tokens for each address,
// refilled at `perMinute` tokens a minute; a submission takes one.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <unordered_map>

class RateLimit {
 public:
  using Clock = std::chrono::steady_clock;

  RateLimit(double perMinute, double burst) : perMinute_(perMinute), burst_(burst) {}

  // Whether the address may submit now; when not, *retryAfter is the whole
  // seconds until it may. perMinute <= 0 lets everything through.
  bool Take(const std::string& address, int* retryAfter, Clock::time_point now = Clock::now());

 private:
  struct Bucket {
    double tokens;
    Clock::time_point at;
  };
  // Forgets the addresses whose buckets are full again, when there are many.
  void Prune(Clock::time_point now);

  const double perMinute_;
  const double burst_;
  std::mutex mutex_;
  std::unordered_map<std::string, Bucket> buckets_;
};
