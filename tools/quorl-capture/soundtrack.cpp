#include "soundtrack.h"

#include <algorithm>

namespace capture {
namespace {
// The real device takes about this many frames per callback; the refill thread polls far
// more often than a half lasts, so polling before every callback plays the same samples.
constexpr uint32_t kCallbackFrames = 1024;
}  // namespace

Soundtrack::Soundtrack(const audio::FrameSource& source, uint32_t rate, int fps)
    : source_(source), rate_(rate), fps_(fps), block_(std::make_unique<audio::LoopingBlock>()) {
  player_.block = block_.get();
  player_.cursor = 0;
  player_.played.store(0);
}

const std::vector<float>& Soundtrack::next_video_frame() {
  // Device frames due by the end of this video frame: exact in integers, no drift.
  ++video_frames_;
  const uint64_t due = video_frames_ * rate_ / static_cast<uint64_t>(fps_);
  const uint32_t count = static_cast<uint32_t>(due - frames_done_);
  chunk_.assign(static_cast<size_t>(count) * 2, 0.0f);
  uint32_t done = 0;
  while (done < count) {
    audio::refill_poll(&refill_, source_, player_.played.load(), block_.get());
    const uint32_t n = std::min(kCallbackFrames, count - done);
    audio::play_from_loop(&player_, chunk_.data() + static_cast<size_t>(done) * 2, n);
    done += n;
  }
  frames_done_ = due;
  return chunk_;
}

}  // namespace capture
