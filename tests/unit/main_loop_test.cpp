#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_loop.h"
#include "platform/quit.h"

namespace {

// A scripted platform: the counter advances one tick per read; events are recorded.
struct FakeLoop {
  static FakeLoop* self;
  std::vector<std::string> log;
  uint64_t ticks = 1000;
  int frames = 0;
  int quit_posted_by_frame_at = -1;  // frame number that posts quit
  int quit_in_pump_at = -1;          // pump number during which a close arrives
  int pumps = 0;
  double last_clock = -1;

  static uint64_t counter() { return self->ticks++; }
  static uint64_t frequency() { return 100; }
  static void set_clock(double t) {
    self->last_clock = t;
    self->log.push_back("clock");
  }
  static void refill() { self->log.push_back("refill"); }
  static bool pump(int* code) {
    self->log.push_back("pump");
    if (self->pumps++ == self->quit_in_pump_at) platform::post_quit(0);
    return platform::take_quit(code);
  }
  static void frame() {
    self->log.push_back("frame");
    if (self->frames++ == self->quit_posted_by_frame_at) platform::post_quit(7);
  }
  static void present() { self->log.push_back("present"); }
  app::LoopServices services() {
    return {counter, frequency, set_clock, refill, pump, frame, present};
  }
};
FakeLoop* FakeLoop::self = nullptr;

class MainLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::reset_quit();
    FakeLoop::self = &fake_;
  }
  FakeLoop fake_;
};

TEST_F(MainLoopTest, QuitPostedByTheFrameEndsAfterExactlyOneMorePass) {
  fake_.quit_posted_by_frame_at = 2;  // third frame posts
  EXPECT_EQ(app::run_main_loop(fake_.services()), 7);
  EXPECT_EQ(fake_.frames, 4);  // the pass after the request still draws and presents
  ASSERT_GE(fake_.log.size(), 4u);
  EXPECT_EQ(fake_.log.back(), "present");
}

TEST_F(MainLoopTest, QuitTakenInThePumpEndsAfterThatPass) {
  fake_.quit_in_pump_at = 1;
  EXPECT_EQ(app::run_main_loop(fake_.services()), 0);
  EXPECT_EQ(fake_.frames, 2);
  EXPECT_EQ(fake_.log, (std::vector<std::string>{"clock", "refill", "pump", "frame", "present",
                                                 "clock", "refill", "pump", "frame", "present"}));
}

TEST_F(MainLoopTest, ClockIsFixedBeforeThePumpFromTheStartReading) {
  fake_.quit_in_pump_at = 0;
  app::run_main_loop(fake_.services());
  // start reading 1000, first pass reads 1001: one tick at 100 per second.
  EXPECT_DOUBLE_EQ(fake_.last_clock, 0.01);
  EXPECT_EQ(fake_.log.front(), "clock");
}

// The page runs the same pass once per animation frame: a pass that takes no quit says so,
// and the clock of each pass counts from the loop's own start.
TEST_F(MainLoopTest, SinglePassesReportTheQuitTheyTookAndShareOneClock) {
  fake_.quit_in_pump_at = 2;
  app::MainLoop loop = app::start_main_loop(fake_.services());  // reads 1000
  int code = -5;
  EXPECT_FALSE(app::run_pass(&loop, &code));
  EXPECT_EQ(code, 0);
  EXPECT_DOUBLE_EQ(fake_.last_clock, 0.01);
  EXPECT_FALSE(app::run_pass(&loop, &code));
  EXPECT_DOUBLE_EQ(fake_.last_clock, 0.02);
  EXPECT_TRUE(app::run_pass(&loop, &code));
  EXPECT_EQ(code, 0);
  EXPECT_EQ(fake_.frames, 3);
}

}  // namespace
