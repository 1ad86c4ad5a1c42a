#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "gfx/programs.h"
#include "gfx/shader_builder.h"
#include "gl_recorder.h"
#include "platform/message_box.h"
#include "platform/quit.h"
#include "temp_dir.h"

namespace {

const char* const kFiles[] = {"tunnel.fs", "projector.fs", "metaballs.fs",    "cube.fs",
                              "screen.fs", "plasma.fs",    "texturedcube.fs", "planes.fs",
                              "tunnel.vs", "projector.vs", "cube.vs"};

std::vector<std::string> g_boxes;
void record_box(const char* text, const char* caption) {
  g_boxes.push_back(std::string(caption) + "|" + text);
}

// Which shader (by creation order) fails to compile, which program fails to link.
GLuint g_failing_shader = 0;
GLuint g_failing_program = 0;
void get_shader_iv(GLuint shader, GLenum pname, GLint* v) {
  gltest::calls().push_back({"glGetShaderiv", {std::to_string(shader), std::to_string(pname)}});
  *v = pname == GL_COMPILE_STATUS ? (shader == g_failing_shader ? 0 : 1) : 5;
}
void get_program_iv(GLuint program, GLenum pname, GLint* v) {
  gltest::calls().push_back({"glGetProgramiv", {std::to_string(program), std::to_string(pname)}});
  *v = pname == GL_LINK_STATUS ? (program == g_failing_program ? 0 : 1) : 7;
}
void shader_log(GLuint, GLsizei n, GLsizei*, GLchar* log) { std::snprintf(log, n, "bad"); }
void program_log(GLuint, GLsizei n, GLsizei*, GLchar* log) { std::snprintf(log, n, "nolink"); }

class ShaderBuilderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.make_dir("shaders"));
    for (const char* f : kFiles) std::ofstream(dir_ + "/shaders/" + f) << "// " << f << "\n";
    ASSERT_TRUE(cwd_.ok());
    gltest::install();
    gfx::glGetShaderiv = get_shader_iv;
    gfx::glGetProgramiv = get_program_iv;
    gfx::glGetShaderInfoLog = shader_log;
    gfx::glGetProgramInfoLog = program_log;
    g_failing_shader = g_failing_program = 0;
    g_boxes.clear();
    platform::set_message_box_hook(record_box);
    platform::reset_quit();
  }
  void TearDown() override { platform::set_message_box_hook(nullptr); }
  std::vector<std::string> named(const std::string& name) { return gltest::call_strings({name}); }
  testdir::TempDir tmp_{"quorl-shaders"};
  const std::string& dir_ = tmp_.path();
  testdir::WorkingDir cwd_{dir_};
  GLuint programs_[8] = {};
};

TEST_F(ShaderBuilderTest, CompilesAllElevenBeforeLinkingEightProgramsThenDeletesShaders) {
  ASSERT_TRUE(gfx::build_programs(8, 3, 0, programs_));
  const auto creates = named("glCreateShader");
  ASSERT_EQ(creates.size(), 11u);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(creates[i], "glCreateShader(35632)");
  for (int i = 8; i < 11; ++i) EXPECT_EQ(creates[i], "glCreateShader(35633)");

  // Shader names 1..11 in file order; programs 12..19 in slot order.
  const auto attaches = named("glAttachShader");
  const std::vector<std::string> expected_attaches = {
      "glAttachShader(12, 1)",  "glAttachShader(12, 9)",  "glAttachShader(13, 2)",
      "glAttachShader(13, 10)", "glAttachShader(14, 3)",  "glAttachShader(14, 10)",
      "glAttachShader(15, 4)",  "glAttachShader(15, 11)", "glAttachShader(16, 5)",
      "glAttachShader(16, 10)", "glAttachShader(17, 6)",  "glAttachShader(17, 10)",
      "glAttachShader(18, 7)",  "glAttachShader(18, 11)", "glAttachShader(19, 8)",
      "glAttachShader(19, 9)"};
  EXPECT_EQ(attaches, expected_attaches);
  for (int slot = 0; slot < 8; ++slot) EXPECT_EQ(programs_[slot], 12u + slot);

  // Every program gets the four bindings before its link.
  const auto binds = named("glBindAttribLocation");
  ASSERT_EQ(binds.size(), 32u);
  EXPECT_EQ(binds[0], "glBindAttribLocation(12, 0, \"A0\")");
  EXPECT_EQ(binds[3], "glBindAttribLocation(12, 3, \"A3\")");
  EXPECT_EQ(binds[31], "glBindAttribLocation(19, 3, \"A3\")");

  // The last compile comes before the first program; deletes come after the last link.
  const auto all = gltest::call_strings();
  size_t last_compile = 0, first_program = 0, last_link = 0, first_delete = 0;
  for (size_t i = 0; i < all.size(); ++i) {
    if (all[i].rfind("glCompileShader", 0) == 0) last_compile = i;
    if (all[i].rfind("glCreateProgram", 0) == 0 && !first_program) first_program = i;
    if (all[i].rfind("glLinkProgram", 0) == 0) last_link = i;
    if (all[i].rfind("glDeleteShader", 0) == 0 && !first_delete) first_delete = i;
  }
  EXPECT_LT(last_compile, first_program);
  EXPECT_LT(last_link, first_delete);
  std::vector<std::string> deletes;
  for (int s = 1; s <= 11; ++s) deletes.push_back("glDeleteShader(" + std::to_string(s) + ")");
  EXPECT_EQ(named("glDeleteShader"), deletes);
  EXPECT_TRUE(g_boxes.empty());
}

// What glShaderSource saw: the text up to the length it was given, or "(no length)" when
// the length array was null (GL would then read up to a NUL the file buffer lacks).
std::vector<std::string> g_sources;
void shader_source(GLuint, GLsizei count, const GLchar* const* text, const GLint* length) {
  for (GLsizei i = 0; i < count; ++i)
    g_sources.push_back(length ? std::string(text[i], static_cast<size_t>(length[i]))
                               : "(no length)");
}

TEST_F(ShaderBuilderTest, SourceIsPassedWithItsExactLength) {
  std::ofstream(dir_ + "/shaders/tunnel.fs", std::ios::trunc);  // empty file: length 0
  // A NUL inside the text: only an explicit length passes all of it on.
  const char with_nul[] = "void main() {}\0// after a NUL\n";
  const std::string with_nul_text(with_nul, sizeof with_nul - 1);
  std::ofstream(dir_ + "/shaders/cube.fs", std::ios::trunc | std::ios::binary) << with_nul_text;
  g_sources.clear();
  gfx::glShaderSource = shader_source;
  ASSERT_TRUE(gfx::build_programs(8, 3, 0, programs_));
  ASSERT_EQ(g_sources.size(), 11u);
  EXPECT_EQ(g_sources[0], "");
  EXPECT_EQ(g_sources[1], "// projector.fs\n");
  EXPECT_EQ(g_sources[3], with_nul_text);
  EXPECT_EQ(g_sources[10], "// cube.vs\n");
}

TEST_F(ShaderBuilderTest, ByteOrderMarkAtTheStartIsNotPassedOn) {
  const std::string mark = "\xEF\xBB\xBF";
  const struct {
    const char* file;
    std::string written, passed;
  } cases[] = {
      {"tunnel.fs", mark + "#version 130\n", "#version 130\n"},
      {"projector.fs", mark, ""},                                    // the mark alone: empty text
      {"metaballs.fs", "// x" + mark + "\n", "// x" + mark + "\n"},  // not at the start: kept
      {"cube.fs", "\xEF\xBB// y\n", "\xEF\xBB// y\n"},               // part of a mark: kept
      {"cube.vs", mark + mark + "// z\n", mark + "// z\n"},          // only the first is the mark
  };
  for (const auto& c : cases) {
    std::ofstream(dir_ + "/shaders/" + c.file, std::ios::trunc | std::ios::binary) << c.written;
  }
  g_sources.clear();
  gfx::glShaderSource = shader_source;
  ASSERT_TRUE(gfx::build_programs(8, 3, 0, programs_));
  ASSERT_EQ(g_sources.size(), 11u);
  const int index[] = {0, 1, 2, 3, 10};
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(g_sources[index[i]], cases[i].passed) << cases[i].file;
}

TEST_F(ShaderBuilderTest, MissingPlasmaStopsAfterFiveFragmentShaders) {
  ASSERT_EQ(std::remove((dir_ + "/shaders/plasma.fs").c_str()), 0);
  EXPECT_FALSE(gfx::build_programs(8, 3, 0, programs_));
  EXPECT_EQ(named("glCreateShader").size(), 5u);
  EXPECT_TRUE(named("glCreateProgram").empty());
  EXPECT_EQ(g_boxes, std::vector<std::string>{"shaders/plasma.fs|Could not open"});
  int code = -1;
  EXPECT_TRUE(platform::take_quit(&code));
  EXPECT_EQ(code, 0);
}

TEST_F(ShaderBuilderTest, VertexCompileFailureIsReportedAfterAllFragmentShaders) {
  g_failing_shader = 10;  // projector.vs
  EXPECT_FALSE(gfx::build_programs(8, 3, 0, programs_));
  EXPECT_EQ(named("glCreateShader").size(), 10u);
  EXPECT_EQ(g_boxes, std::vector<std::string>{"shaders/projector.vs|bad"});
  EXPECT_TRUE(named("glCreateProgram").empty());
  EXPECT_FALSE(platform::take_quit(nullptr));  // a compile failure posts no quit
}

TEST_F(ShaderBuilderTest, LinkFailureOfCubeLeavesEarlierSlotsAndKeepsShaders) {
  g_failing_program = 15;  // slot 3
  EXPECT_FALSE(gfx::build_programs(8, 3, 0, programs_));
  EXPECT_EQ(programs_[0], 12u);
  EXPECT_EQ(programs_[2], 14u);
  EXPECT_EQ(programs_[3], 15u);  // the unlinked program is already in its slot
  EXPECT_EQ(programs_[4], 0u);
  EXPECT_EQ(named("glLinkProgram").size(), 4u);
  EXPECT_TRUE(named("glDeleteShader").empty());
  EXPECT_EQ(g_boxes, std::vector<std::string>{"Program Error|nolink"});
  EXPECT_TRUE(platform::take_quit(nullptr));
}

TEST_F(ShaderBuilderTest, UniformsAreLookedUpInTableOrderAfterTheBuild) {
  ASSERT_TRUE(gfx::set_up_programs());
  const auto lookups = named("glGetUniformLocation");
  ASSERT_EQ(lookups.size(), 35u);
  EXPECT_EQ(lookups[0], "glGetUniformLocation(12, \"T\")");
  EXPECT_EQ(lookups[4], "glGetUniformLocation(12, \"v\")");
  EXPECT_EQ(lookups[5], "glGetUniformLocation(13, \"T\")");
  EXPECT_EQ(lookups[14], "glGetUniformLocation(13, \"ub\")");
  EXPECT_EQ(lookups[34], "glGetUniformLocation(19, \"c\")");
  // Locations are stored as they come: the fake hands out 0, 1, 2, ...
  EXPECT_EQ(gfx::uniform_location(gfx::kTunnel, gfx::uniform::kTunnelT), 0);
  EXPECT_EQ(gfx::uniform_location(gfx::kPlanes, gfx::uniform::kPlanesC), 34);
}

GLint not_found(GLuint, const GLchar*) { return -1; }

TEST_F(ShaderBuilderTest, InactiveUniformsKeepMinusOneAndFailuresLookNothingUp) {
  gfx::glGetUniformLocation = not_found;
  ASSERT_TRUE(gfx::set_up_programs());
  EXPECT_EQ(gfx::uniform_location(gfx::kTunnel, gfx::uniform::kTunnelC), -1);

  gltest::calls().clear();
  g_failing_program = 100;  // a program name far past the first build
  gfx::glGetUniformLocation =
      gltest::Recorder<gltest::names::glGetUniformLocation, gfx::glGetUniformLocation_fn>::fn;
  ASSERT_EQ(std::remove((dir_ + "/shaders/planes.fs").c_str()), 0);
  EXPECT_FALSE(gfx::set_up_programs());
  EXPECT_TRUE(named("glGetUniformLocation").empty());
}

}  // namespace
