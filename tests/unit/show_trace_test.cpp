// The whole show through demo::frame() with recording GL, on a fixed, irregular clock and
// two screen shapes, against the committed trace tests/golden/show_trace.txt.
//
// Each display frame gives one record: its clock, the film-frame index, whether it
// advanced, the slot it ran, both generators' states after the frame, and every GL call
// with its arguments, floats as their bit patterns (so the bound textures and every
// uniform value are in it). An extra, missing or reordered random draw anywhere in the show
// changes every record after it. The committed file holds a hash of the records of each
// second of the clock and, to read, the whole record of the first advance into every slot
// and of the last frames. After an intended change: tests/golden/refresh_trace.sh.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "demo/demo.h"
#include "demo/state.h"
#include "demo/timeline.h"
#include "demo_setup.h"
#include "gfx/film.h"
#include "gfx/mesh.h"
#include "gfx/programs.h"
#include "gfx/textures.h"
#include "gl_recorder.h"
#include "platform/crt_rand.h"
#include "platform/events.h"
#include "platform/quit.h"
#include "temp_dir.h"

namespace {

const char kTracePath[] = QUORL_SOURCE_DIR "/tests/golden/show_trace.txt";

struct Screen {
  uint32_t width, height;
};
// Wider and narrower than the film's 4:3, so the aspect enters every composite.
constexpr Screen kScreens[] = {{1920, 1080}, {1280, 1024}};

// The display clock: 60 frames a second with up to +-4 ms of jitter, 10 a second from 58 to
// 66 s (both metaballs' first slot and the still after it advance on every frame), a 2 s
// stall in the Mandelbrot zoom, then on at 60 a second past the end. The jitter comes from
// a small generator of the test's own, so the clock is the same on every run.
class ShowClock {
 public:
  double next() {
    if (frames_++ == 0) return 0.0;  // the main loop's first pass
    if (base_ >= 99.4 && !stalled_) {
      base_ += 2.0;
      stalled_ = true;
    } else {
      base_ += (base_ >= 58.0 && base_ < 66.0) ? 0.1 : 1.0 / 60.0;
    }
    state_ = state_ * 1103515245u + 12345u;
    const double jitter = (((state_ >> 8) & 0xFFFF) / 65536.0 - 0.5) * 0.008;
    return base_ + jitter;
  }

 private:
  int frames_ = 0;
  double base_ = 0.0;
  bool stalled_ = false;
  uint32_t state_ = 2024;
};

std::string hex32(uint32_t v) {
  char b[16];
  std::snprintf(b, sizeof b, "%08x", v);
  return b;
}
std::string float_bits(const std::string& recorded) {
  // The recorder prints floats with 9 significant digits, which gives the float back exactly.
  const float f = std::strtof(recorded.c_str(), nullptr);
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return hex32(bits);
}

// Index of the first float argument of a call, -1 for calls without floats.
int first_float_arg(const std::string& name) {
  if (name == "glUniform1f" || name == "glUniform2f") return 1;
  if (name == "glUniform2fv") return 2;
  if (name == "glUniformMatrix4fv") return 3;
  if (name == "glClearColor") return 0;
  return -1;
}

std::string calls_text() {
  std::string out;
  for (const gltest::Call& c : gltest::calls()) {
    const int floats = first_float_arg(c.name);
    out += out.empty() ? "" : "; ";
    out += c.name.substr(2);  // without "gl"
    for (size_t i = 0; i < c.args.size(); ++i) {
      out += i ? "," : " ";
      out += floats >= 0 && static_cast<int>(i) >= floats ? float_bits(c.args[i]) : c.args[i];
    }
  }
  return out;
}

uint64_t fnv1a(uint64_t h, const std::string& s) {
  for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
  return h;
}

struct Frame {
  double t;
  bool advance;
  int slot;  // the slot that ran on an advance (0: the fall-through); -1 without advance
  std::string record;
};

// Start-up through the recording GL (tests/support/demo_setup.h), with the show's own mesh.
bool start_show(Screen screen) {
  if (!gltest::set_up_demo(screen.width, screen.height)) return false;
  testdir::WorkingDir data(QUORL_SOURCE_DIR "/data");
  if (!data.ok() || !gfx::load_mesh(&gfx::cube_mesh()) || gfx::cube_mesh().triangle_count == 0)
    return false;
  return true;
}

// Plays the show until it posts its quit, plus the one pass the main loop runs after it.
std::vector<Frame> play(Screen screen) {
  std::vector<Frame> frames;
  if (!start_show(screen)) return frames;
  ShowClock clock;
  for (int after_quit = -1; after_quit < 1;) {
    const double t = clock.next();
    if (t > 140.0) break;  // the show never ended: the trace will say so
    gltest::calls().clear();
    const int previous = demo::film_frame_index();
    demo::set_frame_clock(t);
    demo::frame();
    Frame f;
    f.t = t;
    f.advance = demo::film_frame_index() != previous;
    const demo::FrameTime ft = demo::frame_time(t);
    f.slot = !f.advance ? -1 : ft.has_tau ? demo::slot_for(ft.tau) : demo::kFallThrough;
    char head[160];
    std::snprintf(head, sizeof head, "%zu t=%.9f n=%d adv=%d slot=%d demo=%s lib=%s | ",
                  frames.size(), t, demo::film_frame_index(), f.advance ? 1 : 0, f.slot,
                  hex32(demo::demo_random_state()).c_str(),
                  hex32(platform::library_rand().state).c_str());
    f.record = head + calls_text();
    frames.push_back(std::move(f));
    if (after_quit >= 0 || platform::take_quit(nullptr)) ++after_quit;
  }
  return frames;
}

// The trace of one screen: one hash line per second of the clock, and whole records of
// the first advance into each slot and of the last two frames.
void trace_lines(Screen screen, const std::vector<Frame>& frames, std::vector<std::string>* blocks,
                 std::vector<std::string>* excerpt) {
  const std::string shape = std::to_string(screen.width) + "x" + std::to_string(screen.height);
  size_t first = 0;
  int last_slot = -1;
  for (size_t i = 0; i < frames.size(); ++i) {
    const Frame& f = frames[i];
    if (f.advance && f.slot != last_slot) {
      excerpt->push_back("frame " + shape + " " + f.record);
      last_slot = f.slot;
    } else if (i + 2 >= frames.size()) {
      excerpt->push_back("frame " + shape + " " + f.record);
    }
    const bool block_ends =
        i + 1 == frames.size() || std::floor(frames[i + 1].t) != std::floor(f.t);
    if (!block_ends) continue;
    uint64_t h = 14695981039346656037ull;
    int advances = 0;
    for (size_t k = first; k <= i; ++k) {
      h = fnv1a(h, frames[k].record + "\n");
      advances += frames[k].advance;
    }
    char line[160];
    std::snprintf(line, sizeof line, "second %s %3d frames %zu-%zu advances %d %016llx",
                  shape.c_str(), static_cast<int>(std::floor(f.t)), first, i, advances,
                  static_cast<unsigned long long>(h));
    blocks->push_back(line);
    first = i + 1;
  }
}

std::vector<std::string> read_lines(const char* path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && line[0] != '#') lines.push_back(line);
  return lines;
}

const char kHeader[] =
    "# The show's trace: demo::frame() with recording GL on a fixed irregular clock\n"
    "# (tests/unit/show_trace_test.cpp). \"second\" lines: screen, clock second, frames,\n"
    "# advances, FNV-1a 64 of the frames' records. \"frame\" lines: whole records (frame\n"
    "# number, clock, film-frame index, advance, slot, demo and library generator states\n"
    "# after the frame, then every GL call without its \"gl\" prefix, floats as bits).\n"
    "# Remake after an intended change: tests/golden/refresh_trace.sh\n";

TEST(ShowTrace, WholeRunMatchesTheCommittedTrace) {
  std::vector<std::string> lines, excerpt;
  std::vector<std::vector<Frame>> runs;
  for (const Screen& s : kScreens) {
    runs.push_back(play(s));
    ASSERT_FALSE(runs.back().empty()) << "start-up with recording GL failed";
    ASSERT_LT(runs.back().back().t, 132.0) << "the show did not end";
    trace_lines(s, runs.back(), &lines, &excerpt);
  }
  lines.insert(lines.end(), excerpt.begin(), excerpt.end());

  if (std::getenv("QUORL_UPDATE_TRACE")) {
    std::ofstream out(kTracePath, std::ios::trunc);
    out << kHeader;
    for (const std::string& l : lines) out << l << "\n";
    ASSERT_TRUE(out.good()) << kTracePath;
    std::printf("wrote %s (%zu lines)\n", kTracePath, lines.size());
    return;
  }
  const std::vector<std::string> expected = read_lines(kTracePath);
  ASSERT_FALSE(expected.empty()) << "no committed trace at " << kTracePath;
  for (size_t i = 0; i < std::max(lines.size(), expected.size()); ++i) {
    const std::string got = i < lines.size() ? lines[i] : "(none)";
    const std::string want = i < expected.size() ? expected[i] : "(none)";
    if (got == want) continue;
    // Show the records of the first second that differs, to compare with the old code's.
    std::ostringstream shown;
    unsigned screen = 0, second = 0;
    size_t from = 0, to = 0;
    char shape[32];
    if (std::sscanf(got.c_str(), "second %31s %u frames %zu-%zu", shape, &second, &from, &to) ==
        4) {
      screen = std::string(shape) == "1920x1080" ? 0 : 1;
      for (size_t k = from; k <= to && k < from + 8; ++k) shown << runs[screen][k].record << "\n";
    }
    FAIL() << "the trace differs from line " << i + 1
           << " (comments not counted)\nexpected: " << want << "\nactual:   " << got << "\n"
           << shown.str();
  }
}

// The trace must see what it is for: one more draw of the demo generator at one frame.
TEST(ShowTrace, OneExtraDrawChangesEveryLaterRecord) {
  const std::vector<Frame> plain = play(kScreens[0]);
  ASSERT_GT(plain.size(), 7000u);
  ASSERT_TRUE(start_show(kScreens[0]));
  ShowClock clock;
  size_t first_change = 0, later_equal = 0;
  for (size_t i = 0; i < plain.size(); ++i) {
    const double t = clock.next();
    if (i == 3000) demo::demo_random_state() *= 16807u;  // the extra draw
    gltest::calls().clear();
    demo::set_frame_clock(t);
    demo::frame();
    const std::string calls = calls_text();
    const bool same = plain[i].record.substr(plain[i].record.find(" | ") + 3) == calls;
    if (!same && first_change == 0) first_change = i;
    if (first_change != 0 && same) ++later_equal;
  }
  EXPECT_EQ(first_change, 3000u);  // the flicker of that very frame
  EXPECT_EQ(later_equal, 0u);
}

}  // namespace
