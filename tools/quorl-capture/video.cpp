#include "video.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>
#include <thread>

#include "frame_queue.h"
#include "image_write.h"
#include "soundtrack.h"

namespace capture {
namespace {

// Frames rendered ahead of the encoder: enough to ride out its uneven pace (x264 takes
// frames in bursts), few enough to keep memory small (3 MB a frame at 1280 x 720).
constexpr size_t kFramesAhead = 4;

std::string quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// The whole soundtrack for `frames` video frames, into a temporary file; its path.
std::string write_soundtrack(const audio::FrameSource& music, uint32_t rate, int fps,
                             int64_t frames) {
  char path[] = "/tmp/quorl-capture-audio-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return "";
  std::FILE* f = fdopen(fd, "wb");
  Soundtrack track(music, rate, fps);
  bool ok = f != nullptr;
  for (int64_t k = 0; ok && k < frames; ++k) {
    const std::vector<float>& chunk = track.next_video_frame();
    ok = std::fwrite(chunk.data(), sizeof(float), chunk.size(), f) == chunk.size();
  }
  if (f && std::fclose(f) != 0) ok = false;
  if (!ok) {
    unlink(path);
    return "";
  }
  return path;
}

double cpu_seconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Feeds the encoder from its own thread: rows turned top first on the way into the pipe.
struct PipeWriter {
  std::FILE* pipe;
  size_t row_bytes;
  std::atomic<bool> failed{false};
  double blocked_s = 0.0;  // time spent waiting on the encoder to take the bytes

  // The oldest frame of the queue into the pipe; false once the queue is closed and empty.
  bool write_one(FrameQueue* queue) {
    const std::vector<uint8_t>* frame = queue->take();
    if (!frame) return false;
    const auto t0 = std::chrono::steady_clock::now();
    for (size_t end = frame->size(); !failed && end >= row_bytes; end -= row_bytes) {
      if (std::fwrite(frame->data() + end - row_bytes, 1, row_bytes, pipe) != row_bytes)
        failed = true;
    }
    blocked_s += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    queue->release();
    return true;
  }
  void run(FrameQueue* queue) {
    while (write_one(queue)) {
    }
  }
};

}  // namespace

bool ffmpeg_available() {
  return std::system("ffmpeg -hide_banner -version >/dev/null 2>&1") == 0;
}

std::string encoder_command(const Options& o, uint32_t rate, const std::string& audio) {
  const bool mkv = o.video.size() > 4 && o.video.compare(o.video.size() - 4, 4, ".mkv") == 0;
  const std::string size = std::to_string(o.width) + "x" + std::to_string(o.height);
  return "ffmpeg -hide_banner -loglevel error -y"
         " -f rawvideo -pix_fmt rgb24 -s " + size + " -framerate " + std::to_string(o.fps) +
         " -i pipe:0 -f f32le -ar " + std::to_string(rate) + " -ac 2 -i " + quoted(audio) +
         " -map 0:v -map 1:a -c:v libx264 -preset " + o.preset + " -crf 18 -pix_fmt yuv420p" +
         (mkv ? " -c:a flac" : " -c:a aac -b:a 192k -movflags +faststart") + " -shortest " +
         quoted(o.video);
}

int capture_video(const Options& o, const audio::FrameSource& music, uint32_t rate,
                  Progress& progress, ShowRunner& show) {
  const std::string audio = write_soundtrack(music, rate, o.fps, show_frames(o.fps));
  if (audio.empty()) {
    std::fprintf(stderr, "quorl-capture: cannot write the soundtrack to /tmp\n");
    return 1;
  }
  std::signal(SIGPIPE, SIG_IGN);  // a failing ffmpeg shows as a failed write, not a kill
  std::FILE* pipe = popen(encoder_command(o, rate, audio).c_str(), "w");
  if (!pipe) {
    unlink(audio.c_str());
    std::fprintf(stderr, "quorl-capture: cannot start ffmpeg\n");
    return 1;
  }
  const size_t row = static_cast<size_t>(o.width) * 3;
  static char pipe_buffer[1 << 20];
  std::setvbuf(pipe, pipe_buffer, _IOFBF, sizeof pipe_buffer);
  FrameQueue queue(kFramesAhead, row * static_cast<size_t>(o.height));
  PipeWriter writer{pipe, row};
  // The encoder is fed from a second thread; where none can be made, from this one, a
  // frame at a time, just more slowly.
  std::thread feeder;
  try {
    feeder = std::thread([&] { writer.run(&queue); });
  } catch (const std::system_error&) {
  }
  while (!writer.failed) {
    std::vector<uint8_t>* buffer = nullptr;
    progress.timed_encode([&] { buffer = &queue.acquire(); });  // waiting on the encoder
    if (!render_next(show, progress)) break;
    progress.timed_readback([&] { read_framebuffer_bottom_up(o.width, o.height, buffer->data()); });
    queue.publish();
    if (!feeder.joinable()) writer.write_one(&queue);
    progress.frame_written();
  }
  queue.close();
  if (feeder.joinable()) feeder.join();
  int status = 0;
  progress.timed_encode([&] { status = pclose(pipe); });
  unlink(audio.c_str());
  if (progress.stats()) {
    std::fprintf(stderr,
                 "video: feeding thread blocked on ffmpeg %.1f s; CPU: capture %.1f s, "
                 "ffmpeg %.1f s (preset %s)\n",
                 writer.blocked_s, cpu_seconds(RUSAGE_SELF), cpu_seconds(RUSAGE_CHILDREN),
                 o.preset.c_str());
  }
  if (writer.failed || status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "quorl-capture: ffmpeg failed to make %s (see its messages above)\n",
                 o.video.c_str());
    return 1;
  }
  return 0;
}

}  // namespace capture
