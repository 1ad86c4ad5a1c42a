// The display frame allocates nothing: demo frames over the whole show (every scene, still,
// the writing strip, both fades and the end) against GL fakes, with every heap entry point
// of this process counted. Its own executable, because it replaces malloc and operator new.
#include <gtest/gtest.h>

#include <cstdlib>
#include <type_traits>

#include "alloc_counter.h"
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

}  // namespace
