// The looping sound output in a page: Web Audio at the music's rate, fed by a
// ScriptProcessorNode whose callback (on the page's one thread) copies from the looping
// block with the same audio::play_from_loop as the desktop's device. An AudioWorklet would run on
// the audio thread, which without shared memory cannot read the block: its samples would
// have to be posted to it, a second buffer with its own bookkeeping beside this one.
#include "platform/audio_device.h"
#include "platform/clock.h"

#include <emscripten/emscripten.h>

namespace platform {
namespace {

struct OutputState {
  bool open = false;
  bool resumed = false;
  audio::LoopPlayer player;
  float buffer[audio::kDeviceFrames * 2];  // one callback's interleaved frames
} g_output;

// Makes the AudioContext at `rate` (suspended until the click resumes it) and its
// processor: 0 inputs, 2 outputs, audio::kDeviceFrames frames per callback. False when the
// browser has no Web Audio or refuses the rate.
// clang-format off
EM_JS(int, web_audio_open, (int rate, int frames), {
  const Context = window.AudioContext || window.webkitAudioContext;
  if (!Context) {
    quorlPage.noSound('this browser has no Web Audio');
    return 0;
  }
  let context;
  try {
    context = new Context({sampleRate: rate, latencyHint: 'playback'});
  } catch (e) {
    quorlPage.noSound('no audio context at ' + rate + ' Hz (' + e + ')');
    return 0;
  }
  if (context.sampleRate !== rate) {
    context.close();
    quorlPage.noSound('the browser gave ' + context.sampleRate + ' Hz, not ' + rate);
    return 0;
  }
  const node = context.createScriptProcessor(frames, 0, 2);
  node.onaudioprocess = function(event) {
    const out = event.outputBuffer;
    const n = out.length;
    const left = out.getChannelData(0), right = out.getChannelData(1);
    const at = Module._quorl_audio_fill(n) >> 2;
    if (at === 0) {  // paused: silence
      left.fill(0);
      right.fill(0);
      return;
    }
    for (let i = 0; i < n; i++) {
      left[i] = HEAPF32[at + 2 * i];
      right[i] = HEAPF32[at + 2 * i + 1];
    }
    // Test hook: a copy of every sample handed to Web Audio since the resume, interleaved.
    if (quorlPage.audioTap) quorlPage.audioTap.push(HEAPF32.slice(at, at + 2 * n));
  };
  node.connect(context.destination);
  Module.quorlAudio = {context: context, node: node};
  return 1;
});
// clang-format on

// clang-format off
EM_JS(void, web_audio_resume, (), {
  // A show ended right after the click closes the context before this settles.
  if (Module.quorlAudio) Module.quorlAudio.context.resume().catch(function() {});
});
// clang-format on

// clang-format off
// Nothing is handed over after this: the node leaves the graph without its callback, and
// the closed context lets the browser free the sound device.
EM_JS(void, web_audio_close, (), {
  const audio = Module.quorlAudio;
  if (!audio) return;
  Module.quorlAudio = null;
  audio.node.onaudioprocess = null;
  audio.node.disconnect();
  audio.context.close().catch(function() {});
});
// clang-format on

}  // namespace

bool open_looping_output(const audio::LoopingBlock* block, uint32_t rate) {
  g_output.player.block = block;
  g_output.player.cursor = 0;
  g_output.player.played.store(0, std::memory_order_relaxed);
  g_output.player.stale_halves.store(0, std::memory_order_relaxed);
  g_output.player.rate = rate;
  g_output.open =
      web_audio_open(static_cast<int>(rate), static_cast<int>(audio::kDeviceFrames)) != 0;
  return g_output.open;
}

void watch_looping_output() {}  // the browser keeps its own device

void close_looping_output() {
  g_output.resumed = false;
  if (!g_output.open) return;
  web_audio_close();
  g_output.open = false;
}

void resume_looping_output() {
  if (!g_output.open) return;
  g_output.resumed = true;
  web_audio_resume();
}

// The page cannot block: its clock starts at once, and the browser's device keeps its pace.
FirstRequest wait_for_first_request(uint32_t) { return {counter(), 0, g_output.open}; }

uint64_t looping_output_position() {
  return g_output.player.played.load(std::memory_order_acquire);
}

uint64_t looping_output_stale_halves() {
  return g_output.player.stale_halves.load(std::memory_order_relaxed);
}

// The browser's device is never lost and never skips: Web Audio keeps its own pace.
OutputCounts looping_output_counts() { return {0, 0, audio::kNoLag, 0, 0, g_output.open}; }

const Wakeup& looping_output_wakeup() { return g_output.player.half_started; }

}  // namespace platform

// The processor's callback: the next `frames` frames (at most one device buffer) into the
// output buffer, whose address it returns; null while the output is paused.
extern "C" EMSCRIPTEN_KEEPALIVE float* quorl_audio_fill(int frames) {
  using namespace platform;
  if (!g_output.resumed) return nullptr;
  const uint32_t n = frames < 0 ? 0
                     : frames > static_cast<int>(audio::kDeviceFrames)
                         ? audio::kDeviceFrames
                         : static_cast<uint32_t>(frames);
  audio::play_from_loop(&g_output.player, g_output.buffer, n);
  return g_output.buffer;
}
