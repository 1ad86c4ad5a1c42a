#include "video.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "image_write.h"
#include "soundtrack.h"

namespace capture {
namespace {

std::string quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

bool ffmpeg_available() {
  return std::system("ffmpeg -hide_banner -version >/dev/null 2>&1") == 0;
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

}  // namespace

int capture_video(const Options& o, const audio::FrameSource& music, uint32_t rate,
                  Progress& progress, ShowRunner& show) {
  if (!ffmpeg_available()) {
    std::fprintf(stderr, "quorl-capture: ffmpeg was not found; install it (apt-get install ffmpeg)\n");
    return 1;
  }
  const std::string audio = write_soundtrack(music, rate, o.fps, show_frames(o.fps));
  if (audio.empty()) {
    std::fprintf(stderr, "quorl-capture: cannot write the soundtrack to /tmp\n");
    return 1;
  }
  const bool mkv = o.video.size() > 4 && o.video.compare(o.video.size() - 4, 4, ".mkv") == 0;
  const std::string size = std::to_string(o.width) + "x" + std::to_string(o.height);
  const std::string command =
      "ffmpeg -hide_banner -loglevel error -y"
      " -f rawvideo -pix_fmt rgb24 -s " + size + " -framerate " + std::to_string(o.fps) +
      " -i pipe:0 -f f32le -ar " + std::to_string(rate) + " -ac 2 -i " + quoted(audio) +
      " -map 0:v -map 1:a -c:v libx264 -preset medium -crf 18 -pix_fmt yuv420p" +
      (mkv ? " -c:a flac" : " -c:a aac -b:a 192k -movflags +faststart") + " -shortest " +
      quoted(o.video);
  std::signal(SIGPIPE, SIG_IGN);  // a failing ffmpeg shows as a failed write, not a kill
  std::FILE* pipe = popen(command.c_str(), "w");
  if (!pipe) {
    unlink(audio.c_str());
    std::fprintf(stderr, "quorl-capture: cannot start ffmpeg\n");
    return 1;
  }
  Image image;
  bool ok = true;
  while (ok && render_next(show, progress)) {
    progress.timed_readback([&] { read_framebuffer(o.width, o.height, &image); });
    progress.timed_encode([&] {
      ok = std::fwrite(image.rgb.data(), 1, image.rgb.size(), pipe) == image.rgb.size();
    });
    progress.frame_done();
  }
  int status = 0;
  progress.timed_encode([&] { status = pclose(pipe); });
  unlink(audio.c_str());
  if (!ok || status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "quorl-capture: ffmpeg failed to make %s (see its messages above)\n",
                 o.video.c_str());
    return 1;
  }
  return 0;
}

}  // namespace capture
