#include "video.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>

#include "frame_queue.h"
#include "image_write.h"
#include "output_file.h"
#include "soundtrack.h"

extern char** environ;

namespace capture {
namespace {

// Frames rendered ahead of the encoder: enough to ride out its uneven pace (x264 takes
// frames in bursts), few enough to keep memory small (3 MB a frame at 1280 x 720).
constexpr size_t kFramesAhead = 4;

// The video's folder as ffmpeg sees it: it writes (and, for +faststart, reopens) the file
// through this descriptor, so renaming the folder meanwhile does not make it fail.
constexpr int kEncoderFolderFd = 3;

// The whole soundtrack for `frames` video frames, into a scratch file that `track` removes
// when it goes (or a signal ends the capture). False with the reason.
bool write_soundtrack(const audio::FrameSource& music, uint32_t rate, int fps, int64_t frames,
                      OutputFile* track_file, std::string* error) {
  if (!track_file->open("/tmp/quorl-capture-soundtrack.f32", error)) return false;
  Soundtrack track(music, rate, fps);
  for (int64_t k = 0; k < frames; ++k) {
    const std::vector<float>& chunk = track.next_video_frame();
    if (!track_file->write(chunk.data(), chunk.size() * sizeof(float), error)) return false;
  }
  return track_file->close_descriptor(error);
}

// A running encoder: its process and the buffered pipe to its standard input.
struct Encoder {
  pid_t pid = -1;
  std::FILE* input = nullptr;
};

// Waits for the process; its wait status (0: it exited with 0), or -1 when it cannot.
int wait_for(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return status;
}

// How a process ended, for a message: "exit status 1", "signal 9 (Killed)".
std::string ending(int status) {
  if (status == -1) return "an unknown end";
  if (WIFSIGNALED(status)) {
    return "signal " + std::to_string(WTERMSIG(status)) + " (" + strsignal(WTERMSIG(status)) + ")";
  }
  return "exit status " + std::to_string(WEXITSTATUS(status));
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

// Starts `args` (args[0] looked up on PATH) with a pipe to its standard input and, when
// `quiet`, its output and messages sent to /dev/null; `folder` (when not -1) is handed down
// as kEncoderFolderFd. SIGPIPE, which this tool ignores, is back to its default in the
// child. False with the reason.
bool spawn(const std::vector<std::string>& args, bool quiet, Encoder* out, std::string* error,
           int folder = -1) {
  int fds[2] = {-1, -1};
  if (!quiet && pipe2(fds, O_CLOEXEC) != 0) {
    *error = std::string("cannot make a pipe to ") + args[0] + ": " + std::strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (quiet) {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
  } else {
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);  // dup2 clears close-on-exec
  }
  // After the pipe's dup2, which may read a descriptor this one replaces (also when equal:
  // glibc then clears close-on-exec, as POSIX now asks).
  if (folder >= 0) posix_spawn_file_actions_adddup2(&actions, folder, kEncoderFolderFd);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const int failed = posix_spawnp(&out->pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (!quiet) close(fds[0]);
  if (failed != 0) {
    if (!quiet) close(fds[1]);
    *error = "cannot start " + args[0] + ": " + std::strerror(failed);
    return false;
  }
  if (quiet) return true;
  out->input = fdopen(fds[1], "w");
  if (out->input) return true;
  *error = std::string("cannot write to ") + args[0] + ": " + std::strerror(errno);
  close(fds[1]);  // the encoder sees the end of its input and stops
  wait_for(out->pid);
  return false;
}

bool ffmpeg_available() {
  Encoder probe;
  std::string error;
  return spawn({"ffmpeg", "-hide_banner", "-version"}, true, &probe, &error) &&
         wait_for(probe.pid) == 0;
}

std::vector<std::string> encoder_arguments(const Options& o, uint32_t rate,
                                           const std::string& audio, const std::string& output) {
  const bool mkv = o.video.size() > 4 && o.video.compare(o.video.size() - 4, 4, ".mkv") == 0;
  std::vector<std::string> args = {"ffmpeg",
                                   "-hide_banner",
                                   "-loglevel",
                                   "error",
                                   "-y",
                                   "-f",
                                   "rawvideo",
                                   "-pix_fmt",
                                   "rgb24",
                                   "-s",
                                   std::to_string(o.width) + "x" + std::to_string(o.height),
                                   "-framerate",
                                   std::to_string(o.fps),
                                   "-i",
                                   "pipe:0",
                                   "-f",
                                   "f32le",
                                   "-ar",
                                   std::to_string(rate),
                                   "-ac",
                                   "2",
                                   "-i",
                                   audio,
                                   "-map",
                                   "0:v",
                                   "-map",
                                   "1:a",
                                   "-c:v",
                                   "libx264",
                                   "-preset",
                                   o.preset,
                                   "-crf",
                                   "18",
                                   "-pix_fmt",
                                   "yuv420p"};
  for (const char* a : mkv ? std::vector<const char*>{"-c:a", "flac", "-f", "matroska"}
                           : std::vector<const char*>{"-c:a", "aac", "-b:a", "192k", "-movflags",
                                                      "+faststart", "-f", "mp4"}) {
    args.push_back(a);
  }
  // The container is named: the file ffmpeg writes has a temporary name with no extension.
  args.insert(args.end(), {"-shortest", output});
  return args;
}

int capture_video(const Options& o, const audio::FrameSource& music, uint32_t rate,
                  Progress& progress, app::ShowRunner& show) {
  std::string error;
  OutputFile track, video;  // both removed when left uncommitted
  if (!write_soundtrack(music, rate, o.fps, app::show_frames(o.fps), &track, &error) ||
      !video.open(o.video, &error) || !video.close_descriptor(&error)) {
    std::fprintf(stderr, "quorl-capture: %s\n", error.c_str());
    return 1;
  }
  std::signal(SIGPIPE, SIG_IGN);  // a failing ffmpeg shows as a failed write, not a kill
  Encoder encoder;
  const int folder = video.folder_descriptor();
  const std::string output =
      folder < 0 ? video.writing_path() : video.path_through_descriptor(kEncoderFolderFd);
  if (!spawn(encoder_arguments(o, rate, track.writing_path(), output), false, &encoder, &error,
             folder)) {
    std::fprintf(stderr, "quorl-capture: %s\n", error.c_str());
    return 1;
  }
  const size_t row = static_cast<size_t>(o.width) * 3;
  static char pipe_buffer[1 << 20];
  std::setvbuf(encoder.input, pipe_buffer, _IOFBF, sizeof pipe_buffer);
  FrameQueue queue(kFramesAhead, row * static_cast<size_t>(o.height));
  PipeWriter writer{encoder.input, row};
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
  int status = -1;
  progress.timed_encode([&] {
    // The last buffered bytes go with the close; the end of input lets ffmpeg finish.
    if (std::fclose(encoder.input) != 0) writer.failed = true;
    status = wait_for(encoder.pid);
  });
  if (progress.stats()) {
    std::fprintf(stderr,
                 "video: feeding thread blocked on ffmpeg %.1f s; CPU: capture %.1f s, "
                 "ffmpeg %.1f s (preset %s)\n",
                 writer.blocked_s, cpu_seconds(RUSAGE_SELF), cpu_seconds(RUSAGE_CHILDREN),
                 o.preset.c_str());
  }
  if (writer.failed || status != 0) {
    std::fprintf(stderr, "quorl-capture: ffmpeg failed to make %s (%s; see its messages above)\n",
                 o.video.c_str(), ending(status).c_str());
    return 1;  // `video` goes with what ffmpeg had written
  }
  if (!video.commit(&error)) {
    std::fprintf(stderr, "quorl-capture: %s\n", error.c_str());
    return 1;
  }
  const std::string moved = video.moved_to();
  if (!moved.empty()) {
    std::fprintf(stderr, "quorl-capture: its folder was moved meanwhile: the video is %s\n",
                 moved.c_str());
  }
  return 0;
}

}  // namespace capture
