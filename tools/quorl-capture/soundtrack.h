// The show's sound as the program plays it: the same decoder and refill bookkeeping,
// driven by a simulated device that hands over rate / fps frames per video frame.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "audio/refill.h"
#include "platform/audio_device.h"

namespace capture {

class Soundtrack {
 public:
  // `source` is a freshly opened decoder; `rate` its sample rate.
  Soundtrack(const audio::FrameSource& source, uint32_t rate, int fps);

  // The interleaved stereo samples the device plays during the next video frame (the
  // fraction of rate / fps carried from frame to frame).
  const std::vector<float>& next_video_frame();

  uint32_t rate() const { return rate_; }

 private:
  audio::FrameSource source_;
  uint32_t rate_;
  int fps_;
  uint64_t frames_done_ = 0;  // device frames handed over so far
  uint64_t video_frames_ = 0;
  audio::RefillState refill_;
  std::unique_ptr<audio::LoopingBlock> block_;  // large: on the heap, freed with us
  audio::LoopPlayer player_;
  std::vector<float> chunk_;
};

}  // namespace capture
