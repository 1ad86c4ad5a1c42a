// The sound device that plays the looping block (audio/loop_player.h), with a position
// counter of the frames handed to it. Stands in for a wave-output device playing one
// looping buffer.
#pragma once
#include <cstdint>

#include "audio/loop_player.h"
#include "platform/audio_thread.h"

namespace platform {

// Said on stderr when no device opens (and the sound library's own complaints are not).
constexpr const char* kNoSoundDevice = "quorl: no sound device found; the show plays silently.";

// Opens the default output device for 2 channels of float32 at `rate` with no format
// change and audio::kDeviceFrames frames per callback, paused, playing `block` from its start.
// False when no device opens; the caller then runs silently and the position stays 0.
// Call once; `block` must outlive the process.
bool open_looping_output(const audio::LoopingBlock* block, uint32_t rate);

// Called by the refill thread at each poll: once the output has been resumed, notices a
// device the system took away (its sound server ended), closes it, and from then on tries
// once a second to open the default device again, which starts where the clock is.
void watch_looping_output();

// Closes the device (the show then runs silently); harmless without one.
void close_looping_output();

// Starts (or restarts) playback; nothing happens when no device is open.
void resume_looping_output();

// The show's clock starts when the resumed device first asks for sound, so that a server
// slow to start delays picture and music together instead of cutting the opening. Waits
// for that request, at most `timeout_ms`; then the clock starts anyway and the step keeping
// meets the late request by skipping. Returns at once without a device.
struct FirstRequest {
  uint64_t clock_start;  // counter tick the show's clock counts from: the request, or now
  uint64_t waited;       // counter ticks spent waiting here
  bool answered;         // false: none came within the timeout (or no device plays)
};
FirstRequest wait_for_first_request(uint32_t timeout_ms);

// Frames handed to the device since it was opened; 0 while paused or without a device.
uint64_t looping_output_position();

// Halves the device started that held other music than the run's (each played as silence).
uint64_t looping_output_stale_halves();

// How the device kept in step, and whether it was lost, so far.
struct OutputCounts {
  uint64_t frames_skipped;  // keep_in_step's skips
  uint64_t underruns;       // and their number
  int64_t first_lag;        // frames due at the first callback (0 unless late), or kNoLag
  uint64_t losses;          // times the device went away after the resume
  uint64_t reopens;         // times one was opened again after that
  bool playing;             // a device is open and not lost
};
OutputCounts looping_output_counts();

// Woken when the device's position reaches a new half.
const Wakeup& looping_output_wakeup();

}  // namespace platform
