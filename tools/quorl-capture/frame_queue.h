// A fixed ring of frame buffers between the renderer and the thread that feeds the encoder,
// so that rendering the next frame overlaps with encoding the last ones.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace capture {

class FrameQueue {
 public:
  FrameQueue(size_t slots, size_t bytes) : buffers_(slots, std::vector<uint8_t>(bytes)) {}

  // Producer: the next free buffer, waiting while every buffer is full.
  std::vector<uint8_t>& acquire() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return full_ < buffers_.size(); });
    return buffers_[(head_ + full_) % buffers_.size()];
  }
  // Producer: the buffer from acquire() is filled.
  void publish() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++full_;
    changed_.notify_all();
  }
  // Producer: no more frames.
  void close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    changed_.notify_all();
  }
  // Consumer: the oldest full buffer, or nullptr once closed and drained.
  const std::vector<uint8_t>* take() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return full_ > 0 || closed_; });
    return full_ > 0 ? &buffers_[head_] : nullptr;
  }
  // Consumer: the buffer from take() may be reused.
  void release() {
    std::lock_guard<std::mutex> lock(mutex_);
    head_ = (head_ + 1) % buffers_.size();
    --full_;
    changed_.notify_all();
  }

 private:
  std::vector<std::vector<uint8_t>> buffers_;
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t head_ = 0, full_ = 0;
  bool closed_ = false;
};

}  // namespace capture
