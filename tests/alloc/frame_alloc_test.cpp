// The display frame allocates nothing: demo frames over the whole show (every scene, still,
// the writing strip, both fades and the end) against GL fakes, with every heap entry point
// of this process counted. Its own executable, because it replaces malloc and operator new.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "demo/demo.h"
#include "demo_setup.h"
#include "platform/events.h"
#include "platform/quit.h"

// ---- counting allocator: glibc's own entry points underneath ----
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void __libc_free(void* p);
}

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};
void count() {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1);
}
}  // namespace

extern "C" {
void* malloc(size_t size) {
  count();
  return __libc_malloc(size);
}
void* calloc(size_t count_, size_t size) {
  count();
  return __libc_calloc(count_, size);
}
void* realloc(void* p, size_t size) {
  count();
  return __libc_realloc(p, size);
}
void free(void* p) { __libc_free(p); }
}

void* operator new(std::size_t size) {
  if (void* p = malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { free(p); }
void operator delete(void* p, std::size_t) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete[](void* p, std::size_t) noexcept { free(p); }
#pragma GCC diagnostic pop

namespace {

// ---- GL that records without allocating: a call count per entry point ----
#define QUORL_ALLOC_INDEX(name, ret, args) k_##name,
enum Entry : int { QUORL_GL_ENTRIES(QUORL_ALLOC_INDEX) QUORL_GL11_ENTRIES(QUORL_ALLOC_INDEX) kEntries };
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

bool no_escape() { return false; }

class FrameAllocations : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gltest::set_up_demo(1920, 1080));
    platform::set_escape_hook(&no_escape);
    install_counting_gl();
  }
  void TearDown() override {
    g_counting = false;
    platform::set_escape_hook(nullptr);
    platform::reset_quit();
  }
};

TEST_F(FrameAllocations, ThousandsOfDemoFramesOverTheWholeShowAllocateNothing) {
  auto frame = [](double t) {
    demo::set_frame_clock(t);
    demo::frame();
  };
  // The first frames may set things up once.
  for (int k = 0; k < 8; ++k) frame(k / 60.0);

  g_allocations = 0;
  g_counting = true;
  // The counter itself must see an allocation, or a zero below would prove nothing.
  void* probe = malloc(16);
  free(probe);
  const long seen = g_allocations.exchange(0);
  // 1000 steps of 0.1315 s reach every slot and 131.5 s, past the end; each step is an
  // advance followed by a frame that only composites.
  const long draws_before = g_calls[k_glDrawArrays];
  for (int k = 0; k < 1000; ++k) {
    const double t = 0.2 + k * 0.1313;
    frame(t);
    frame(t + 1.0 / 240.0);
  }
  g_counting = false;
  EXPECT_EQ(seen, 1);
  EXPECT_EQ(g_allocations.load(), 0);
  EXPECT_GE(g_calls[k_glDrawArrays] - draws_before, 2000) << "every frame composites";
  EXPECT_TRUE(platform::take_quit(nullptr)) << "the frames ran to the show's end";
}

}  // namespace
