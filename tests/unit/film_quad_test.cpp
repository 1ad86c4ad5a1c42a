#include <gtest/gtest.h>

#include "gfx/film.h"
#include "gl_recorder.h"

namespace {

TEST(ScreenQuad, UploadsFourCornersAndFeedsAttributeZero) {
  gltest::install();
  gfx::create_screen_quad();
  EXPECT_EQ(gltest::call_strings(), (std::vector<std::string>{
                                        "glGenBuffers(1)",
                                        "glGenVertexArrays(1)",
                                        "glBindBuffer(34962, 1)",
                                        gltest::calls()[3].str(),
                                        "glBindVertexArray(2)",
                                        "glVertexAttribPointer(0, 2, 5126, 0, 0, 0)",
                                        "glEnableVertexAttribArray(0)",
                                    }));
  const gltest::Call& data = gltest::calls()[3];
  EXPECT_EQ(data.name, "glBufferData");
  EXPECT_EQ(data.args[0], "34962");
  EXPECT_EQ(data.args[1], "32");
  EXPECT_EQ(data.args[3], "35044");
}

TEST(FilmFramebuffer, BuildsColourAndDepthTexturesThenChecksCompleteness) {
  gltest::install();
  ASSERT_TRUE(gfx::create_film_framebuffer(160, 120));
  const std::vector<std::string> expected = {
      "glGenTextures(1)",
      "glGenTextures(1)",
      "glGenFramebuffers(1)",
      "glBindTexture(3553, 1)",
      "glTexImage2D(3553, 0, 32856, 160, 120, 0, 6408, 5121, 0)",
      "glTexParameteri(3553, 10241, 9728)",
      "glTexParameteri(3553, 10240, 9728)",
      "glTexParameteri(3553, 10242, 33071)",
      "glTexParameteri(3553, 10243, 33071)",
      "glBindTexture(3553, 2)",
      "glTexImage2D(3553, 0, 6402, 160, 120, 0, 6402, 5121, 0)",
      "glTexParameteri(3553, 10241, 9728)",
      "glTexParameteri(3553, 10240, 9728)",
      "glTexParameteri(3553, 10242, 33071)",
      "glTexParameteri(3553, 10243, 33071)",
      "glBindFramebuffer(36160, 3)",
      "glFramebufferTexture2D(36160, 36064, 3553, 1, 0)",
      "glFramebufferTexture2D(36160, 36096, 3553, 2, 0)",
      "glCheckFramebufferStatus(36160)",
      "glBindFramebuffer(36160, 0)"};
  EXPECT_EQ(gltest::call_strings(), expected);
}

GLenum incomplete(GLenum) { return GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT; }

TEST(FilmFramebuffer, IncompleteFailsWithTheFramebufferStillBound) {
  gltest::install();
  gfx::glCheckFramebufferStatus = incomplete;
  EXPECT_FALSE(gfx::create_film_framebuffer(160, 120));
  EXPECT_EQ(gltest::calls().back().name, "glFramebufferTexture2D");
}

}  // namespace
