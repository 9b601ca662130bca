// A fixed number of worker threads taking jobs from a bounded queue: a job
// offered when the queue is full is turned down at once, so that a request
// never waits for room. Closing lets every job taken finish.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class WorkQueue {
 public:
  WorkQueue(int workers, std::size_t capacity);
  ~WorkQueue();  // Close and Join
  WorkQueue(const WorkQueue&) = delete;
  WorkQueue& operator=(const WorkQueue&) = delete;

  // Queues the job; false when capacity jobs already wait, or when closed.
  bool TryPush(std::function<void()> job);
  // Takes no more jobs; the workers end once every job taken has run.
  void Close();
  void Join();

  std::size_t Waiting() const;  // jobs not started yet
  int Running() const;          // jobs running now
  int Workers() const { return static_cast<int>(threads_.size()); }
  std::size_t Capacity() const { return capacity_; }

 private:
  void Work();

  const std::size_t capacity_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  int running_ = 0;
  bool closed_ = false;
  std::vector<std::thread> threads_;
};
