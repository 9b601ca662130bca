#include "board/work_queue.h"

#include <utility>

WorkQueue::WorkQueue(int workers, std::size_t capacity) : capacity_(capacity) {
  for (int i = 0; i < workers; ++i) threads_.emplace_back([this] { Work(); });
}

WorkQueue::~WorkQueue() {
  Close();
  Join();
}

bool WorkQueue::TryPush(std::function<void()> job) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_ || jobs_.size() >= capacity_) return false;
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
  return true;
}

void WorkQueue::Close() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
  }
  wake_.notify_all();
}

void WorkQueue::Join() {
  for (std::thread& thread : threads_) {
    if (thread.joinable()) thread.join();
  }
}

std::size_t WorkQueue::Waiting() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return jobs_.size();
}

int WorkQueue::Running() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return running_;
}

void WorkQueue::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return closed_ || !jobs_.empty(); });
    if (jobs_.empty()) return;  // closed, and nothing left
    std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    ++running_;
    lock.unlock();
    job();
    lock.lock();
    --running_;
  }
}
