#include "platform/audio_device.h"

#include <SDL.h>
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/clock.h"

namespace platform {
namespace {

// Trivially destructible apart from the atomics: the device thread may still call back
// while the process ends, so nothing here is ever torn down.
struct OutputState {
  SDL_AudioDeviceID device;             // 0: none. Main thread until the resume, the refill's after
  SDL_AudioSpec want;                   // what was asked for, to open the same again
  std::atomic<bool> keeps_step{false};  // the driver plays by a clock, not a file at our pace
  bool asked_real_time;                 // the device thread's own, set by its first callback
  std::atomic<bool> resumed{false};
  // Counter tick the show's clock counts from: set by the first callback after the resume
  // (the device's first request) or by wait_for_first_request giving up; 0 until then.
  std::atomic<uint64_t> clock_start{0};
  std::atomic<bool> playing{false};
  std::atomic<uint64_t> losses{0};
  std::atomic<uint64_t> reopens{0};
  uint64_t next_try;  // refill thread: counter tick of the next attempt to reopen
  audio::LoopPlayer player;
} g_output;

void SDLCALL device_callback(void* userdata, Uint8* stream, int len) {
  // With automatic scheduling groups (one per session, as desktops have them) the nice
  // value SDL gives its device thread only counts inside this program, so the thread waits
  // behind every other busy program and the sound server runs dry. Real-time scheduling
  // is not shared out by groups: ask for it once, from the thread itself, above the refill.
  if (!g_output.asked_real_time) {
    g_output.asked_real_time = true;
    raise_thread_priority_above(1);
  }
  auto* player = static_cast<audio::LoopPlayer*>(userdata);
  // SDL calls back only once unpaused: the first call is the device's first request.
  const uint64_t now = counter();
  uint64_t start = g_output.clock_start.load(std::memory_order_acquire);
  // When the waiter gave up first, its tick stays the start (`start` gets it) and this
  // late request is met by the step keeping.
  if (start == 0 && g_output.clock_start.compare_exchange_strong(start, std::max<uint64_t>(now, 1),
                                                                 std::memory_order_acq_rel)) {
    start = std::max<uint64_t>(now, 1);
  }
  if (g_output.keeps_step.load(std::memory_order_relaxed)) {
    player->resumed_at.store(start, std::memory_order_relaxed);
    audio::keep_in_step(
        player,
        now < start ? 0 : audio::frames_due(now - start, player->ticks_per_second, player->rate));
  }
  audio::play_from_loop(player, reinterpret_cast<float*>(stream),
                        static_cast<uint32_t>(len) / (2 * sizeof(float)));
}

}  // namespace

namespace {

void ignore_alsa_error(const char*, int, const char*, int, const char*, ...) {}

// Without a sound card libasound prints its own lines ("ALSA lib ... cannot find card")
// while SDL probes it; kNoSoundDevice says it once instead. SDL loads the same library, so
// the handler set here holds for its calls too. The library stays loaded.
void quiet_alsa() {
  void* lib = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
  if (!lib) return;
  using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
  using SetHandler = int (*)(Handler);
  auto set = reinterpret_cast<SetHandler>(dlsym(lib, "snd_lib_error_set_handler"));
  if (set) set(&ignore_alsa_error);
}

bool no_device() {
  std::fprintf(stderr, "%s\n", kNoSoundDevice);
  return false;
}

// Opens the default device paused with what g_output.want asks for; 0 when none opens.
SDL_AudioDeviceID open_device() {
  SDL_AudioSpec have;
  // allowed_changes 0: SDL converts behind our back if the hardware differs, so the
  // callback always sees exactly this format. Devices open paused.
  return SDL_OpenAudioDevice(nullptr, 0, &g_output.want, &have, 0);
}

}  // namespace

bool open_looping_output(const audio::LoopingBlock* block, uint32_t rate) {
  audio::LoopPlayer& p = g_output.player;
  p.block = block;
  p.cursor = 0;
  p.played.store(0, std::memory_order_relaxed);
  p.stale_halves.store(0, std::memory_order_relaxed);
  p.resumed_at.store(0, std::memory_order_relaxed);
  g_output.clock_start.store(0, std::memory_order_relaxed);
  p.ticks_per_second = counter_frequency();
  p.rate = rate;
  p.frames_skipped.store(0, std::memory_order_relaxed);
  p.underruns.store(0, std::memory_order_relaxed);
  p.watch = audio::StepWatch{};
  p.first_lag.store(audio::kNoLag, std::memory_order_relaxed);
  g_output.asked_real_time = false;
  g_output.resumed.store(false, std::memory_order_relaxed);
  g_output.keeps_step.store(false, std::memory_order_relaxed);
  g_output.playing.store(false, std::memory_order_relaxed);
  g_output.losses.store(0, std::memory_order_relaxed);
  g_output.reopens.store(0, std::memory_order_relaxed);
  if (p.half_started.fd < 0) make_wakeup(&p.half_started);
  quiet_alsa();
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return no_device();
  SDL_zero(g_output.want);
  g_output.want.freq = static_cast<int>(rate);
  g_output.want.format = AUDIO_F32SYS;
  g_output.want.channels = 2;
  g_output.want.samples = audio::kDeviceFrames;
  g_output.want.callback = device_callback;
  g_output.want.userdata = &p;
  g_output.device = open_device();
  if (g_output.device == 0) return no_device();
  // The disk and dummy drivers take the sound at the program's pace, not a clock's: a
  // file written a little slower than real time is no underrun, and its tests compare it
  // with the decode bit for bit.
  const char* driver = SDL_GetCurrentAudioDriver();
  g_output.keeps_step.store(
      !driver || (std::strcmp(driver, "disk") != 0 && std::strcmp(driver, "dummy") != 0),
      std::memory_order_relaxed);
  g_output.playing.store(true, std::memory_order_relaxed);
  return true;
}

void watch_looping_output() {
  // A driver that writes a file has no server to lose.
  if (!g_output.resumed.load(std::memory_order_acquire) ||
      !g_output.keeps_step.load(std::memory_order_relaxed)) {
    return;
  }
  audio::LoopPlayer& p = g_output.player;
  if (g_output.device != 0) {
    // What SDL reports once the device's server is gone (the same moment it posts
    // SDL_AUDIODEVICEREMOVED); its thread then goes on without a sound server.
    if (SDL_GetAudioDeviceStatus(g_output.device) != SDL_AUDIO_STOPPED) return;
    SDL_CloseAudioDevice(g_output.device);
    g_output.device = 0;
    g_output.playing.store(false, std::memory_order_relaxed);
    g_output.losses.fetch_add(1, std::memory_order_relaxed);
    g_output.next_try = counter() + p.ticks_per_second;
    return;
  }
  // A device that never opened is a silent show, so the show goes on silently; only a lost one is
  // sought.
  if (g_output.losses.load(std::memory_order_relaxed) == 0) return;
  const uint64_t now = counter();
  if (now < g_output.next_try) return;
  g_output.next_try = now + p.ticks_per_second;
  const SDL_AudioDeviceID device = open_device();
  if (device == 0) return;
  g_output.device = device;
  g_output.asked_real_time = false;
  // Paused, so no callback runs yet: start where the clock is, not where the lost device
  // stopped (unpausing orders these writes before the first callback).
  const uint64_t start = g_output.clock_start.load(std::memory_order_acquire);
  if (start != 0) {
    const uint64_t due = audio::frames_due(counter() - start, p.ticks_per_second, p.rate);
    const uint64_t position = std::max(due, p.played.load(std::memory_order_relaxed));
    p.cursor = static_cast<uint32_t>(position % audio::kLoopFrames);
    p.watch = audio::StepWatch{};  // a new device, with a lead of its own
    p.played.store(position, std::memory_order_release);
  }
  g_output.reopens.fetch_add(1, std::memory_order_relaxed);
  g_output.playing.store(true, std::memory_order_relaxed);
  SDL_PauseAudioDevice(device, 0);
}

void close_looping_output() {
  if (g_output.device == 0) return;
  SDL_CloseAudioDevice(g_output.device);
  g_output.device = 0;
  g_output.playing.store(false, std::memory_order_relaxed);
}

void resume_looping_output() {
  if (g_output.device == 0) return;
  SDL_PauseAudioDevice(g_output.device, 0);
  // From here the device is the refill thread's (watch_looping_output).
  g_output.resumed.store(true, std::memory_order_release);
}

FirstRequest wait_for_first_request(uint32_t timeout_ms) {
  const uint64_t begin = counter();
  const uint64_t per_second = counter_frequency();
  if (!g_output.resumed.load(std::memory_order_acquire)) return {begin, 0, false};
  const uint64_t deadline = begin + uint64_t{timeout_ms} * per_second / 1000;
  uint64_t start = g_output.clock_start.load(std::memory_order_acquire);
  while (start == 0) {
    const uint64_t now = counter();
    if (now >= deadline) {
      // None came: the clock starts now, unless the request slipped in meanwhile.
      if (g_output.clock_start.compare_exchange_strong(start, now, std::memory_order_acq_rel)) {
        return {now, now - begin, false};
      }
      break;
    }
    // The tick, not the moment this loop sees it, is the clock's start: 1 ms polls suffice.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    start = g_output.clock_start.load(std::memory_order_acquire);
  }
  return {start, start > begin ? start - begin : 0, true};
}

uint64_t looping_output_position() {
  return g_output.player.played.load(std::memory_order_acquire);
}

uint64_t looping_output_stale_halves() {
  return g_output.player.stale_halves.load(std::memory_order_relaxed);
}

OutputCounts looping_output_counts() {
  const audio::LoopPlayer& p = g_output.player;
  return {p.frames_skipped.load(std::memory_order_relaxed),
          p.underruns.load(std::memory_order_relaxed),
          p.first_lag.load(std::memory_order_relaxed),
          g_output.losses.load(std::memory_order_relaxed),
          g_output.reopens.load(std::memory_order_relaxed),
          g_output.playing.load(std::memory_order_relaxed)};
}

const Wakeup& looping_output_wakeup() { return g_output.player.half_started; }

}  // namespace platform
