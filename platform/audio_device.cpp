#include "platform/audio_device.h"

#include <SDL.h>
#include <cstring>

namespace platform {
namespace {

// Trivially destructible apart from the atomics: the device thread may still call back
// while the process ends, so nothing here is ever torn down.
struct OutputState {
  SDL_AudioDeviceID device;  // 0: none
  bool asked_real_time;      // the device thread's own, set by its first callback
  LoopPlayer player;
} g_output;

void SDLCALL device_callback(void* userdata, Uint8* stream, int len) {
  // With automatic scheduling groups (one per session, as desktops have them) the nice
  // value SDL gives its device thread only counts inside this program, so the thread waits
  // behind every other busy program and the sound server runs dry. Real-time scheduling
  // is not shared out by groups: ask for it once, from the thread itself, above the
  // refill. SDL asks only RealtimeKit for it; where that is missing this still works.
  if (!g_output.asked_real_time) {
    g_output.asked_real_time = true;
    (void)make_thread_real_time(1);
  }
  auto* player = static_cast<LoopPlayer*>(userdata);
  play_from_loop(player, reinterpret_cast<float*>(stream),
                 static_cast<uint32_t>(len) / (2 * sizeof(float)));
}

}  // namespace

void play_from_loop(LoopPlayer* player, float* out, uint32_t frames) {
  // Only this callback writes `played`, so its own earlier value needs no ordering.
  uint64_t position = player->played.load(std::memory_order_relaxed);
  const uint32_t half_before = run_half(position);
  uint32_t left = frames;
  while (left > 0) {
    // One run never leaves its half, so it is all fresh or all stale.
    uint32_t run = kLoopHalfFrames - player->cursor % kLoopHalfFrames;
    if (run > left) run = left;
    const uint32_t half = run_half(position);
    const bool fresh = player->block->holds[half & 1].load(std::memory_order_acquire) == half;
    if (player->cursor % kLoopHalfFrames == 0 && !fresh) {
      player->stale_halves.fetch_add(1, std::memory_order_relaxed);
    }
    // A stale half plays as silence, not as the music of two halves ago: a gap followed
    // by the music in step is heard as a dropout, a repeat as a wrong bar.
    if (fresh) {
      std::memcpy(out, player->block->samples + 2 * player->cursor, run * 2 * sizeof(float));
    } else {
      std::memset(out, 0, run * 2 * sizeof(float));
    }
    out += 2 * run;
    left -= run;
    position += run;
    player->cursor = (player->cursor + run) % kLoopFrames;
  }
  // Release: the refill thread, seeing the new position, writes only after these reads.
  player->played.store(position, std::memory_order_release);
  // The position has reached a new half: the refill may write the one after it. After the
  // store, so the woken refill thread already sees the position there.
  if (run_half(position) != half_before) wake(player->half_started);
}

bool open_looping_output(const LoopingBlock* block, uint32_t rate) {
  g_output.player.block = block;
  g_output.player.cursor = 0;
  g_output.player.played.store(0, std::memory_order_relaxed);
  g_output.player.stale_halves.store(0, std::memory_order_relaxed);
  g_output.asked_real_time = false;
  if (g_output.player.half_started.fd < 0) make_wakeup(&g_output.player.half_started);
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  SDL_AudioSpec want;
  SDL_zero(want);
  want.freq = static_cast<int>(rate);
  want.format = AUDIO_F32SYS;
  want.channels = 2;
  want.samples = kDeviceFrames;
  want.callback = device_callback;
  want.userdata = &g_output.player;
  SDL_AudioSpec have;
  // allowed_changes 0: SDL converts behind our back if the hardware differs, so the
  // callback always sees exactly this format. Devices open paused.
  g_output.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  return g_output.device != 0;
}

void close_looping_output() {
  if (g_output.device == 0) return;
  SDL_CloseAudioDevice(g_output.device);
  g_output.device = 0;
}

void resume_looping_output() {
  if (g_output.device != 0) SDL_PauseAudioDevice(g_output.device, 0);
}

uint64_t looping_output_position() {
  return g_output.player.played.load(std::memory_order_acquire);
}

uint64_t looping_output_stale_halves() {
  return g_output.player.stale_halves.load(std::memory_order_relaxed);
}

const Wakeup& looping_output_wakeup() { return g_output.player.half_started; }

}  // namespace platform
