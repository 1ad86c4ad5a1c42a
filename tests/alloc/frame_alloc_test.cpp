// The display frame allocates nothing: demo frames over the whole show (every scene, still,
// the writing strip, both fades and the end) against GL fakes, with every heap entry point
// of this process counted, and so do the program's own main-loop passes around them. Its
// own executable, because it replaces malloc and operator new.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <type_traits>

#include "alloc_counter.h"
#include "app/main_loop.h"
#include "bench/frame_timer.h"
#include "demo/demo.h"
#include "demo_setup.h"
#include "platform/events.h"
#include "platform/quit.h"

namespace {

// ---- GL that records without allocating: a call count per entry point ----
#define QUORL_ALLOC_INDEX(name, ret, args) k_##name,
enum Entry : int {
  QUORL_GL_ENTRIES(QUORL_ALLOC_INDEX) QUORL_GL11_ENTRIES(QUORL_ALLOC_INDEX) kEntries
};
#undef QUORL_ALLOC_INDEX
long g_calls[kEntries] = {};

template <int Index, typename F>
struct Counter;
template <int Index, typename R, typename... A>
struct Counter<Index, R (*)(A...)> {
  static R fn(A...) {
    ++g_calls[Index];
    if constexpr (!std::is_void_v<R>) return R{};
  }
};

void install_counting_gl() {
#define QUORL_ALLOC_INSTALL(name, ret, args) gfx::name = Counter<k_##name, gfx::name##_fn>::fn;
  QUORL_GL_ENTRIES(QUORL_ALLOC_INSTALL)
  QUORL_GL11_ENTRIES(QUORL_ALLOC_INSTALL)
#undef QUORL_ALLOC_INSTALL
}

class FrameAllocations : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gltest::set_up_demo(1920, 1080));
    install_counting_gl();
  }
  void TearDown() override { platform::reset_quit(); }
};

TEST_F(FrameAllocations, ThousandsOfDemoFramesOverTheWholeShowAllocateNothing) {
  auto frame = [](double t) {
    demo::set_frame_clock(t);
    demo::frame();
  };
  // The first frames may set things up once.
  for (int k = 0; k < 8; ++k) frame(k / 60.0);

  // The counter itself must see an allocation, or a zero below would prove nothing.
  const long before_probe = bench::allocations();
  void* probe = malloc(16);
  free(probe);
  const long seen = bench::allocations() - before_probe;
  const long before = bench::allocations();
  // 1000 steps of 0.1315 s reach every slot and 131.5 s, past the end; each step is an
  // advance followed by a frame that only composites.
  const long draws_before = g_calls[k_glDrawArrays];
  for (int k = 0; k < 1000; ++k) {
    const double t = 0.2 + k * 0.1313;
    frame(t);
    frame(t + 1.0 / 240.0);
  }
  const long made = bench::allocations() - before;
  EXPECT_EQ(seen, 1);
  EXPECT_EQ(made, 0);
  EXPECT_GE(g_calls[k_glDrawArrays] - draws_before, 2000) << "every frame composites";
  EXPECT_TRUE(platform::take_quit(nullptr)) << "the frames ran to the show's end";
}

// The platform's part of a pass (frame clock, refill, the event pump with the display
// watch, the Escape poll, present) around the demo frame: the program's own services, with
// no display or video started, so SDL's calls return at once.
uint64_t g_ticks = 0;
uint64_t test_ticks() { return g_ticks; }
uint64_t test_ticks_per_second() { return 1000; }

TEST_F(FrameAllocations, TheProgramsOwnPassesAllocateNothing) {
  app::LoopServices services = app::show_services();
  services.counter = &test_ticks;
  services.frequency = &test_ticks_per_second;
  g_ticks = 0;
  app::MainLoop loop = app::start_main_loop(services);
  int code = 0;
  // The first passes may set things up once (SDL's error text, for one).
  for (int k = 0; k < 8; ++k) {
    g_ticks = static_cast<uint64_t>(k * 17);
    app::run_pass(&loop, &code);
  }
  const long draws_before = g_calls[k_glDrawArrays];
  const long before = bench::allocations();
  for (int k = 0; k < 3000; ++k) {
    g_ticks = 200 + static_cast<uint64_t>(k) * 41;  // 0.2 s to 123 s, every scene
    app::run_pass(&loop, &code);
  }
  EXPECT_EQ(bench::allocations() - before, 0);
  EXPECT_GE(g_calls[k_glDrawArrays] - draws_before, 3000) << "every pass composites";
}

// The frame benchmarks' line: the median frame's allocations, and apart the ones beyond it
// (one frame's burst, as when the driver compiles a shader variant).
TEST(FrameTimerLine, MedianFrameAndTheAllocationsBeyondItOnce) {
  bench::FrameTimer timer(8);
  const int per_frame[] = {2, 3, 2, 50, 2, 2, 3};
  for (int n : per_frame) {
    timer.begin();
    for (int i = 0; i < n; ++i) {
      void* volatile p = malloc(8);
      free(p);
    }
    timer.end();
  }
  testing::internal::CaptureStdout();
  timer.print("probe");
  const std::string line = testing::internal::GetCapturedStdout();
  EXPECT_NE(line.find("probe frame_ms "), std::string::npos) << line;
  EXPECT_NE(line.find(" allocs 2.0 allocs_once 50 frames 7\n"), std::string::npos) << line;
}

}  // namespace
