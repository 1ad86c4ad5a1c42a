// The music: the Ogg Vorbis file decoded by a refill thread into a looping output buffer.
#pragma once

#include <cstdint>

#include "audio/refill.h"

namespace audio {

constexpr const char* kMusicPath = "music/BrenlowickpianoRoll-ChineseBlues1916.ogg";

// Reads and opens the music, opens the output device paused with the looping buffer and
// starts the refill thread. False when the file is missing, unreadable or not decodable.
// A device that cannot be opened, or a refill thread that cannot be started, is not a
// failure: the show then runs silently.
bool open_music();

// Reads and opens the music only, as a frame source (no device, no thread): for rendering
// the show's sound offline. False as above, and for a rate above kMaxMusicRate.
bool open_music_source(FrameSource* source, uint32_t* rate);

// Resumes the paused output: the music starts.
void resume_output();

// Where no thread may be started (platform::threads_available() is false: the browser),
// open_music starts no refill thread and the main loop calls this every pass instead: one
// refill poll on the calling thread. Does nothing where the thread refills or no music plays.
void refill_from_main_loop();

// How the music has played so far, for the run report.
struct MusicStats {
  uint64_t played_frames;     // frames the device has taken (the position)
  uint64_t stale_halves;      // halves the device started that were not refilled in time
  uint64_t halves_caught_up;  // halves' worth of decoded music skipped to get back in step
  uint64_t frames_skipped;    // the device's position moved forward to stay with the clock
  uint64_t underruns;         // times it was found behind (the sound server ran dry)
  int64_t first_lag;          // frames due at the first callback (audio::kNoLag: none)
  uint64_t devices_lost;      // times the sound server went away
  uint64_t devices_reopened;  // times a device was opened again after that
  bool device_playing;        // a device plays now (false after a loss until a reopen)
  uint32_t rate;              // 0 when no music is playing (no device)
};
MusicStats music_stats();  // lock-free, callable from any thread at any time

}  // namespace audio
