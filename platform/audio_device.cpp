#include "platform/audio_device.h"

#include <SDL.h>
#include <cstring>

namespace platform {
namespace {

constexpr int kDeviceFrames = 1024;  // small, so the position tracks what is heard

// Trivially destructible: the device thread may still call back while the process ends.
struct OutputState {
  SDL_AudioDeviceID device;  // 0: none
  LoopPlayer player;
} g_output;

void SDLCALL device_callback(void* userdata, Uint8* stream, int len) {
  auto* player = static_cast<LoopPlayer*>(userdata);
  play_from_loop(player, reinterpret_cast<float*>(stream),
                 static_cast<uint32_t>(len) / (2 * sizeof(float)));
}

}  // namespace

void play_from_loop(LoopPlayer* player, float* out, uint32_t frames) {
  (void)player->block->published.load(std::memory_order_acquire);
  uint32_t left = frames;
  while (left > 0) {
    uint32_t run = kLoopFrames - player->cursor;
    if (run > left) run = left;
    std::memcpy(out, player->block->samples + 2 * player->cursor, run * 2 * sizeof(float));
    out += 2 * run;
    left -= run;
    player->cursor = (player->cursor + run) % kLoopFrames;
  }
  // Release: the refill thread, seeing the new position, writes only after these reads.
  player->played.fetch_add(frames, std::memory_order_release);
}

bool open_looping_output(const LoopingBlock* block, uint32_t rate) {
  g_output.player.block = block;
  g_output.player.cursor = 0;
  g_output.player.played.store(0, std::memory_order_relaxed);
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

void resume_looping_output() {
  if (g_output.device != 0) SDL_PauseAudioDevice(g_output.device, 0);
}

uint64_t looping_output_position() {
  return g_output.player.played.load(std::memory_order_acquire);
}

}  // namespace platform
