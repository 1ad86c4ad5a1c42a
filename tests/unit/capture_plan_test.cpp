// quorl-capture's planning before any rendering: which frames a request writes, what each
// display frame must draw so that seeking gives the frames of a full run, where the data
// and the output go, and the progress text.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/seek.h"
#include "args.h"
#include "demo/timeline.h"
#include "frame_queue.h"
#include "paths.h"
#include "progress.h"
#include "temp_dir.h"
#include "video.h"

namespace {

using demo::Drawing;

capture::Options parsed(std::vector<std::string> args) {
  capture::Options o;
  std::string error;
  EXPECT_TRUE(capture::parse_args(args, &o, &error)) << error;
  return o;
}

// The film-frame index at display frame k, as the demo computes it.
int index_at(int64_t k, int fps) { return demo::frame_time(static_cast<double>(k) / fps).index; }

TEST(CaptureArgs, HelpDataAndPreset) {
  EXPECT_TRUE(parsed({"-h"}).help);
  EXPECT_TRUE(parsed({"--size", "320x240", "--help"}).help);
  const capture::Options o = parsed({"--data", "d", "--video", "v.mp4", "--preset", "slow"});
  EXPECT_EQ(o.data_dir, "d");
  EXPECT_EQ(o.preset, "slow");
  EXPECT_EQ(parsed({"--video", "v.mp4"}).preset, capture::kDefaultPreset);
  capture::Options bad;
  std::string error;
  EXPECT_FALSE(capture::parse_args({"--video", "v.mp4", "--preset", "warp"}, &bad, &error));
  EXPECT_FALSE(capture::parse_args({"--sheet", "s.png", "--preset", "fast"}, &bad, &error));
  EXPECT_NE(error.find("--preset"), std::string::npos);
}

TEST(CaptureRequest, FramesWrittenByEachMode) {
  std::vector<int64_t> frames;
  std::string error;
  // 59 s to 64 s at 60 fps: 301 frames, the last one exactly at 64 s and none past it.
  ASSERT_TRUE(capture::frames_to_write(parsed({"--frames", "d", "--from", "59", "--to", "64"}),
                                       &frames, &error));
  ASSERT_EQ(frames.size(), 301u);
  EXPECT_EQ(frames.front(), 3540);
  EXPECT_EQ(frames.back(), 3840);
  ASSERT_TRUE(capture::frames_to_write(parsed({"--frames", "d", "--from", "1.001", "--to", "1.04"}),
                                       &frames, &error));
  EXPECT_EQ(frames, (std::vector<int64_t>{61, 62}));
  // --frames to the end runs the last pass after the quit too.
  ASSERT_TRUE(
      capture::frames_to_write(parsed({"--frames", "d", "--from", "131"}), &frames, &error));
  EXPECT_EQ(frames, (std::vector<int64_t>{7860, 7861, 7862}));
  // --at keeps the order and repeats asked for.
  ASSERT_TRUE(capture::frames_to_write(parsed({"--at", "11,1,11", "--out", "d"}), &frames, &error));
  EXPECT_EQ(frames, (std::vector<int64_t>{660, 60, 660}));
  ASSERT_TRUE(capture::frames_to_write(parsed({"--sheet", "s.png"}), &frames, &error));
  EXPECT_EQ(frames.size(), static_cast<size_t>(demo::kSlotCount));
  ASSERT_TRUE(
      capture::frames_to_write(parsed({"--video", "v.mp4", "--fps", "10"}), &frames, &error));
  EXPECT_EQ(frames.size(), static_cast<size_t>(app::show_frames(10)));
}

TEST(CaptureRequest, WritingNothingIsRefusedInSeconds) {
  const std::vector<std::vector<std::string>> nothing = {
      {"--frames", "d", "--from", "200"},
      {"--frames", "d", "--from", "131.04"},
      {"--frames", "d", "--from", "1.001", "--to", "1.002"},
      {"--at", "5,200", "--out", "d"},
      {"--at", "131.5", "--out", "d", "--fps", "10"},
  };
  for (const auto& args : nothing) {
    std::vector<int64_t> frames;
    std::string error;
    EXPECT_FALSE(capture::frames_to_write(parsed(args), &frames, &error))
        << ::testing::PrintToString(args);
    EXPECT_NE(error.find(" s "), std::string::npos) << error;
    EXPECT_EQ(error.find("frame 1"), std::string::npos) << error;  // no frame numbers
  }
}

TEST(CaptureSeek, OnlyTheLastFilmDrawingAdvanceBeforeAWrittenFrameIsRendered) {
  constexpr int kFps = 60;
  // Just past 61.5 s, in the metaballs: no advance, so the film frame shown is that of the
  // last advance before it.
  const int64_t k = app::frame_at_or_after(61.51, kFps);
  ASSERT_EQ(index_at(k, kFps), index_at(k - 1, kFps)) << "pick a frame that is no advance";
  std::vector<bool> written(static_cast<size_t>(k) + 1, false);
  written[static_cast<size_t>(k)] = true;
  const std::vector<Drawing> plan = app::drawing_plan(written, kFps);
  int64_t film = -1, film_count = 0;
  for (size_t i = 0; i < plan.size(); ++i) {
    if (plan[i] == Drawing::kFilmOnly) film = static_cast<int64_t>(i), ++film_count;
    if (static_cast<int64_t>(i) != k) {
      EXPECT_NE(plan[i], Drawing::kAll) << i;
    }
  }
  EXPECT_EQ(plan.back(), Drawing::kAll);
  ASSERT_EQ(film_count, 1);
  EXPECT_TRUE(app::draws_film_at(film, kFps));
  for (int64_t i = film + 1; i < k; ++i) EXPECT_FALSE(app::draws_film_at(i, kFps)) << i;
}

TEST(CaptureSeek, WrittenAdvancesDrawTheirOwnFilmAndTheEndShowsSlot28s) {
  constexpr int kFps = 60;
  // Every frame of a scene's first second written: only those render.
  std::vector<bool> written(3600, false);
  for (int64_t i = 3540; i < 3600; ++i) written[static_cast<size_t>(i)] = true;
  std::vector<Drawing> plan = app::drawing_plan(written, kFps);
  ASSERT_TRUE(app::draws_film_at(3540, kFps));  // 59 s starts the metaballs
  for (size_t i = 0; i < plan.size(); ++i)
    EXPECT_EQ(plan[i], written[i] ? Drawing::kAll : Drawing::kNone) << i;

  // The last pass (after the quit) shows the film frame of slot 28's last white frame; the
  // advance that finds no slot draws nothing and cannot stand in for it.
  const int64_t last = app::show_frames(kFps) - 1;
  written.assign(static_cast<size_t>(last) + 1, false);
  written.back() = true;
  plan = app::drawing_plan(written, kFps);
  EXPECT_FALSE(app::draws_film_at(last - 1, kFps));  // the fall-through advance
  int64_t film = -1;
  for (size_t i = 0; i < plan.size(); ++i) {
    if (plan[i] == Drawing::kFilmOnly) film = static_cast<int64_t>(i);
  }
  ASSERT_GT(film, 0);
  EXPECT_EQ(demo::slot_for(demo::frame_time(static_cast<double>(film) / kFps).tau), 28);
}

TEST(CaptureData, FoundByMarkersWithReasons) {
  testdir::TempDir tmp("quorl-capture-data");
  ASSERT_TRUE(tmp.ok());
  const std::string data = QUORL_SOURCE_DIR "/data";
  capture::DataChoice c = capture::find_data(data, "");
  EXPECT_EQ(c.folder, data);
  EXPECT_NE(c.report.find("--data"), std::string::npos);
  c = capture::find_data(tmp.path(), "");
  EXPECT_TRUE(c.folder.empty());
  EXPECT_NE(c.report.find("no shaders/projector.fs"), std::string::npos) << c.report;
  // A data folder with files missing is still the data: start-up names what is missing.
  const std::string partial = tmp / "partial";
  ASSERT_EQ(mkdir(partial.c_str(), 0755), 0);
  ASSERT_EQ(mkdir((partial + "/3d").c_str(), 0755), 0);
  std::ofstream(partial + "/3d/cube.obj") << "v 0 0 0\n";
  EXPECT_EQ(capture::find_data(partial, "").folder, partial);
  {
    // From the repository root its data/ is found; elsewhere the installed default is.
    testdir::WorkingDir root(QUORL_SOURCE_DIR);
    EXPECT_EQ(capture::find_data("", "").folder, data);
  }
  testdir::WorkingDir away(tmp.path());
  EXPECT_EQ(capture::find_data("", data).folder, data);
  c = capture::find_data("", tmp / "nowhere");
  EXPECT_TRUE(c.folder.empty());
  EXPECT_NE(c.report.find("nowhere (the installed data): no such folder"), std::string::npos)
      << c.report;
  EXPECT_EQ(capture::absolute("out/a.png"), tmp.path() + "/out/a.png");
  EXPECT_EQ(capture::absolute("/x"), "/x");
}

TEST(CaptureOutput, FoldersMadeLikeMkdirPAndFailuresSayWhy) {
  testdir::TempDir tmp("quorl-capture-out");
  ASSERT_TRUE(tmp.ok());
  std::string error;
  EXPECT_TRUE(capture::prepare_output_folder(tmp / "a/b/c", &error)) << error;
  struct stat st;
  EXPECT_EQ(stat((tmp / "a/b/c").c_str(), &st), 0);
  EXPECT_TRUE(capture::prepare_output_folder(tmp / "a/b/c", &error)) << error;  // again
  EXPECT_TRUE(capture::prepare_output_file(tmp / "x/y/sheet.png", &error)) << error;
  EXPECT_EQ(stat((tmp / "x/y").c_str(), &st), 0);
  EXPECT_NE(stat((tmp / "x/y/sheet.png").c_str(), &st), 0);  // nothing left behind

  std::ofstream(tmp / "file") << "x";
  EXPECT_FALSE(capture::prepare_output_folder(tmp / "file/sub", &error));
  EXPECT_NE(error.find("Not a directory"), std::string::npos) << error;
  EXPECT_FALSE(capture::prepare_output_file(tmp / "a", &error));  // a folder
  EXPECT_NE(error.find("not a plain file"), std::string::npos) << error;
  EXPECT_FALSE(capture::prepare_output_file("/proc/quorl/x.png", &error));
  EXPECT_NE(error.find("/proc/quorl"), std::string::npos) << error;
  EXPECT_NE(error.find(": "), std::string::npos) << error;  // the system's reason follows
}

TEST(CaptureProgress, StatusCountsFramesWrittenWithPercentAndTimeLeft) {
  EXPECT_EQ(capture::Progress::status(30, 120, 10.0), "30/120 frames  25%  0:30 left");
  EXPECT_EQ(capture::Progress::status(301, 301, 5.0), "301/301 frames  100%  0:00 left");
  EXPECT_EQ(capture::Progress::status(0, 7863, 0.0), "0/7863 frames  0%  0:00 left");
  // The count never passes the total, however often a frame is reported.
  capture::Progress p(2, false, false);
  for (int i = 0; i < 5; ++i) p.frame_written();
  EXPECT_EQ(p.written(), 2);
}

}  // namespace

namespace {

TEST(CaptureVideo, EncoderArgumentsCarryThePresetAndKeepPathsWhole) {
  // No shell: a path with a space or a quote is one argument, as it is.
  capture::Options o = parsed({"--video", "/tmp/it's.mkv", "--size", "320x240"});
  std::vector<std::string> a = capture::encoder_arguments(o, 44100, "/tmp/a b", "/tmp/it's x");
  // The value after each occurrence of `flag`, in order.
  auto values = [&](const std::string& flag) {
    std::vector<std::string> v;
    for (size_t i = 0; i + 1 < a.size(); ++i) {
      if (a[i] == flag) v.push_back(a[i + 1]);
    }
    return v;
  };
  EXPECT_EQ(a.front(), "ffmpeg");
  EXPECT_EQ(values("-preset"), std::vector<std::string>{"ultrafast"});
  EXPECT_EQ(values("-crf"), std::vector<std::string>{"18"});
  EXPECT_EQ(values("-s"), std::vector<std::string>{"320x240"});
  EXPECT_EQ(values("-c:a"), std::vector<std::string>{"flac"});
  EXPECT_EQ(values("-i"), (std::vector<std::string>{"pipe:0", "/tmp/a b"}));
  // The file ffmpeg writes has a temporary name: the container is named, not guessed.
  EXPECT_EQ(values("-f").back(), "matroska");
  EXPECT_EQ(a.back(), "/tmp/it's x");
  o = parsed({"--video", "v.mp4", "--preset", "slow"});
  a = capture::encoder_arguments(o, 48000, "/tmp/x", "/tmp/y");
  EXPECT_EQ(values("-preset"), std::vector<std::string>{"slow"});
  EXPECT_EQ(values("-c:a"), std::vector<std::string>{"aac"});
  EXPECT_EQ(values("-ar"), std::vector<std::string>{"48000"});
  EXPECT_EQ(values("-f").back(), "mp4");
}

TEST(CaptureVideo, FrameQueueHandsOverEveryFrameInOrderThenCloses) {
  capture::FrameQueue queue(3, 4);
  std::vector<uint8_t> seen;
  std::thread consumer([&] {
    while (const std::vector<uint8_t>* frame = queue.take()) {
      seen.push_back((*frame)[0]);
      EXPECT_EQ((*frame)[3], static_cast<uint8_t>((*frame)[0] ^ 0xFF));
      queue.release();
    }
  });
  for (int i = 0; i < 200; ++i) {
    std::vector<uint8_t>& buffer = queue.acquire();  // waits while the consumer lags
    buffer[0] = static_cast<uint8_t>(i);
    buffer[3] = static_cast<uint8_t>(i ^ 0xFF);
    queue.publish();
  }
  queue.close();
  consumer.join();
  ASSERT_EQ(seen.size(), 200u);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(seen[static_cast<size_t>(i)], static_cast<uint8_t>(i));
}

}  // namespace
