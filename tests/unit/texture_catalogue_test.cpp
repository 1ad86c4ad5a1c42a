// The texture catalogue with its pictures decoded ahead on worker threads, against the GL
// fakes: uploads in slot order, and of several broken pictures only the first in slot order
// is shown, with nothing uploaded after it, however the workers' timing falls.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "gfx/textures.h"
#include "gl_recorder.h"
#include "platform/message_box.h"
#include "temp_dir.h"

namespace {

std::vector<std::string>& boxes() {
  static std::vector<std::string> b;
  return b;
}
void record_box(const char* text, const char* caption) {
  boxes().push_back(std::string(caption ? caption : "") + ": " + text);
}

class TextureCatalogue : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.ok());
    ASSERT_EQ(std::system(("cp -r " QUORL_SOURCE_DIR "/data/images " + tmp_.path()).c_str()), 0);
    gltest::install();
    boxes().clear();
    platform::set_message_box_hook(record_box);
  }
  void TearDown() override { platform::set_message_box_hook(nullptr); }

  void write(const char* rel, const std::string& bytes) {
    FILE* f = std::fopen((tmp_ / rel).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  // Runs the catalogue in the temporary folder, decoding started early as the program does.
  bool load(bool start_early) {
    testdir::WorkingDir here(tmp_.path());
    if (!here.ok()) return false;
    if (start_early) gfx::start_decoding_pictures();
    return gfx::load_texture_catalogue();
  }
  int uploads() { return static_cast<int>(gltest::call_strings({"glTexImage2D"}).size()); }

  testdir::TempDir tmp_{"quorl-catalogue"};
};

TEST_F(TextureCatalogue, AllPicturesUploadInSlotOrderWithTheirOwnFilters) {
  ASSERT_TRUE(load(true));
  EXPECT_TRUE(boxes().empty());
  const std::vector<std::string> binds = gltest::call_strings({"glBindTexture"});
  ASSERT_EQ(binds.size(), 24u);
  for (int slot = 0; slot < 24; ++slot) {
    EXPECT_EQ(binds[static_cast<size_t>(slot)],
              "glBindTexture(3553, " + std::to_string(gfx::texture(slot)) + ")");
  }
  // The gate picture is one grey channel, filtered linearly.
  const std::vector<std::string> calls = gltest::call_strings();
  const std::string gate_bind = "glBindTexture(3553, " + std::to_string(gfx::texture(3)) + ")";
  size_t i = 0;
  while (i < calls.size() && calls[i] != gate_bind) ++i;
  ASSERT_LT(i + 2, calls.size());
  EXPECT_EQ(calls[i + 1].rfind("glTexImage2D(3553, 0, 33321, 1024, 768, 0, 6403, 5121,", 0), 0u)
      << calls[i + 1];
  EXPECT_EQ(calls[i + 2], "glTexParameteri(3553, 10241, 9729)");
}

TEST_F(TextureCatalogue, OnlyTheFirstBrokenPictureInSlotOrderIsShown) {
  // Slot 16 missing fails at once; slot 6 is a big undecodable file and slot 12 fails too.
  ASSERT_EQ(std::remove((tmp_ / "images/greets2.jpg").c_str()), 0);
  write("images/title.jpg", std::string(1 << 20, 'x'));
  write("images/math.jpg", "not a picture");
  for (bool early : {true, false}) {
    SCOPED_TRACE(early ? "decoded ahead" : "decoded in place");
    gltest::calls().clear();
    boxes().clear();
    EXPECT_FALSE(load(early));
    EXPECT_EQ(boxes(), std::vector<std::string>{"images/title.jpg: unknown image type"});
    EXPECT_EQ(uploads(), 6) << "slots 0 to 5, nothing after the failure";
  }
}

TEST_F(TextureCatalogue, AMissingPictureAfterGoodOnesGivesFileError) {
  ASSERT_EQ(std::remove((tmp_ / "images/f4.png").c_str()), 0);
  EXPECT_FALSE(load(true));
  EXPECT_EQ(boxes(), std::vector<std::string>{"images/f4.png: File error."});
  EXPECT_EQ(uploads(), 23);
}

// Leaves this process 1 GiB of address space beyond what it holds (for a forked child).
void bound_address_space() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long kib = 0;
  while (status >> key && !(key == "VmSize:" && status >> kib)) {
  }
  const rlim_t room = rlim_t(kib) * 1024 + (rlim_t{1} << 30);
  rlimit as{room, room};
  setrlimit(RLIMIT_AS, &as);
}

// A picture file of 3 GiB cannot be held in that room: the box says so, where "File error."
// would send the user looking for a missing file.
TEST_F(TextureCatalogue, APictureTooLargeToHoldSaysOutOfMemory) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers' allocators end the process when memory runs out";
#endif
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ASSERT_EQ(truncate((tmp_ / "images/greets2.jpg").c_str(), off_t{3} << 30), 0);
  EXPECT_EXIT(
      {
        bound_address_space();
        const bool loaded = load(false);
        for (const std::string& box : boxes()) std::fprintf(stderr, "box %s\n", box.c_str());
        std::_Exit(loaded ? 1 : 0);
      },
      ::testing::ExitedWithCode(0), "box images/greets2.jpg: out of memory");
}

// A box shown by anyone while the pictures decode (a shader that fails to build, say)
// finds the workers gone: the box may fork, and the child should find no thread mid-work.
// The catalogue afterwards decodes what it needs itself.
int threads_in_box = 0;
int count_threads() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
  }
  return n;
}
void count_threads_box(const char* text, const char* caption) {
  threads_in_box = count_threads();
  record_box(text, caption);
}

TEST_F(TextureCatalogue, ABoxDuringDecodingStopsTheWorkersFirst) {
  testdir::WorkingDir here(tmp_.path());
  ASSERT_TRUE(here.ok());
  const int before = count_threads();
  gfx::start_decoding_pictures();
  platform::set_message_box_hook(count_threads_box);
  platform::show_message_box("Shader error.", "shaders/tunnel.fs");
  EXPECT_EQ(threads_in_box, before);
  ASSERT_TRUE(gfx::load_texture_catalogue());
  EXPECT_EQ(uploads(), 24);
  EXPECT_EQ(boxes(), std::vector<std::string>{"shaders/tunnel.fs: Shader error."});
}

}  // namespace
