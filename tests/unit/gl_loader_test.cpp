#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "gfx/gl.h"
#include "platform/message_box.h"

namespace {

std::vector<std::string> g_boxes;
std::vector<std::string> g_looked_up;
std::set<std::string> g_missing;
int g_dummy;

void record_box(const char* text, const char* caption) {
  g_boxes.push_back(std::string(caption) + "|" + text);
}

void* fake_lookup(const char* name) {
  g_looked_up.push_back(name);
  return g_missing.count(name) ? nullptr : &g_dummy;
}

class GlLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_boxes.clear();
    g_looked_up.clear();
    g_missing.clear();
    platform::set_message_box_hook(record_box);
    // A fresh process starts with every pointer null.
#define QUORL_CLEAR(name, ret, args) gfx::name = nullptr;
    QUORL_GL_ENTRIES(QUORL_CLEAR)
#undef QUORL_CLEAR
  }
  void TearDown() override { platform::set_message_box_hook(nullptr); }
};

TEST_F(GlLoaderTest, FetchesAll52InTableOrder) {
  EXPECT_TRUE(gfx::load_entry_points(fake_lookup));
  ASSERT_EQ(g_looked_up.size(), 52u);
  EXPECT_EQ(g_looked_up.front(), "wglSwapIntervalEXT");
  EXPECT_EQ(g_looked_up[1], "glActiveTexture");
  EXPECT_EQ(g_looked_up[29], "glUniformMatrix4fv");
  EXPECT_EQ(g_looked_up[43], "glBindVertexArray");
  EXPECT_EQ(g_looked_up.back(), "glDeleteFramebuffers");
  EXPECT_TRUE(g_boxes.empty());
}

TEST_F(GlLoaderTest, MissingLastEntryIsNamedAfter51Filled) {
  g_missing = {"glDeleteFramebuffers"};
  EXPECT_FALSE(gfx::load_entry_points(fake_lookup));
  EXPECT_EQ(g_looked_up.size(), 52u);
  EXPECT_EQ(g_boxes, std::vector<std::string>{"Error|glDeleteFramebuffers"});
  EXPECT_NE(gfx::glBindFragDataLocation, nullptr);
  EXPECT_EQ(gfx::glDeleteFramebuffers, nullptr);
}

TEST_F(GlLoaderTest, OnlyTheFirstOfSeveralMissingIsShown) {
  g_missing = {"glMapBuffer", "glBindFragDataLocation"};
  EXPECT_FALSE(gfx::load_entry_points(fake_lookup));
  EXPECT_EQ(g_boxes, std::vector<std::string>{"Error|glMapBuffer"});
  EXPECT_EQ(g_looked_up.back(), "glMapBuffer");
  EXPECT_EQ(gfx::glUnmapBuffer, nullptr);  // later entries stay null
}

TEST_F(GlLoaderTest, MissingSwapControlFailsBeforeAnyGlName) {
  g_missing = {"wglSwapIntervalEXT"};
  EXPECT_FALSE(gfx::load_entry_points(fake_lookup));
  EXPECT_EQ(g_looked_up, std::vector<std::string>{"wglSwapIntervalEXT"});
  EXPECT_EQ(g_boxes, std::vector<std::string>{"Error|wglSwapIntervalEXT"});
}

}  // namespace
