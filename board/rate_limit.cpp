#include "board/rate_limit.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::size_t kPruneAbove = 100000;

}  // namespace

bool RateLimit::Take(const std::string& address, int* retryAfter, Clock::time_point now) {
  if (perMinute_ <= 0) return true;
  std::lock_guard<std::mutex> lock(mutex_);
  if (buckets_.size() > kPruneAbove) Prune(now);
  auto [it, added] = buckets_.try_emplace(address, Bucket{burst_, now});
  Bucket& bucket = it->second;
  if (!added) {
    const double minutes = std::chrono::duration<double>(now - bucket.at).count() / 60.0;
    bucket.tokens = std::min(burst_, bucket.tokens + minutes * perMinute_);
    bucket.at = now;
  }
  if (bucket.tokens >= 1.0) {
    bucket.tokens -= 1.0;
    return true;
  }
  const double seconds = (1.0 - bucket.tokens) / perMinute_ * 60.0;
  *retryAfter = std::max(1, static_cast<int>(std::ceil(seconds)));
  return false;
}

void RateLimit::Prune(Clock::time_point now) {
  for (auto it = buckets_.begin(); it != buckets_.end();) {
    const double minutes = std::chrono::duration<double>(now - it->second.at).count() / 60.0;
    if (it->second.tokens + minutes * perMinute_ >= burst_) {
      it = buckets_.erase(it);
    } else {
      ++it;
    }
  }
}
