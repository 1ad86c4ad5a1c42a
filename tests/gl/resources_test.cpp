// The graphics resources on real OpenGL (llvmpipe): shipped shaders, texture formats and
// wrap modes, unpadded rows, and the film framebuffer's sampling.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "gfx/film.h"
#include "gfx/programs.h"
#include "gfx/textures.h"
#include "gl_context.h"
#include "temp_dir.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb/stb_image_write.h>

namespace {

// Queries outside the program's tables, fetched for the tests alone.
using GetTexLevelParameteriv = void (*)(GLenum, GLint, GLenum, GLint*);
using GetTexParameteriv = void (*)(GLenum, GLenum, GLint*);
using GetTexImage = void (*)(GLenum, GLint, GLenum, GLenum, void*);
using TexSubImage2D = void (*)(GLenum, GLint, GLint, GLint, GLsizei, GLsizei, GLenum, GLenum,
                               const void*);
template <typename F>
F fetch(const char* name) {
  return reinterpret_cast<F>(platform::gl_entry(name));
}

TEST(ShippedShaders, AllElevenCompileAndEveryUniformTheShowSetsIsActive) {
  gltest::GlContext gl;
  ASSERT_TRUE(gl.open(64, 64, QUORL_SOURCE_DIR "/data")) << gl.error();
  ASSERT_TRUE(gfx::set_up_programs());
  struct Used {
    gfx::Program program;
    std::vector<int> places;
  };
  using namespace gfx::uniform;
  const Used used[] = {
      {gfx::kTunnel, {kTunnelT, kTunnelTime, kTunnelU, kTunnelV}},
      {gfx::kProjector,
       {kProjT, kProjTs, kProjTb, kProjR, kProjF, kProjQs, kProjQb, kProjU, kProjUs, kProjUb}},
      {gfx::kMetaballs, {kMetaP, kMetaQs, kMetaQb}},
      {gfx::kCube, {kCubeM, kCubeNm}},
      {gfx::kScreen, {kScreenT, kScreenTs, kScreenTb}},
      {gfx::kTexturedCube, {kTexCubeM, kTexCubeNm, kTexCubeT}},
      {gfx::kPlanes, {kPlanesT, kPlanesTime, kPlanesC}},
  };
  for (const Used& u : used) {
    int count = 0;
    const char* const* names = gfx::uniform_names(u.program, &count);
    for (int place : u.places) {
      EXPECT_GE(gfx::uniform_location(u.program, place), 0)
          << "program " << u.program << " uniform " << names[place];
    }
  }
}

class TextureCatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.ok());
    ASSERT_EQ(std::system(("cp -r " QUORL_SOURCE_DIR "/data/images " + dir_ + "/").c_str()), 0);
  }
  void write_png(const char* name, int w, int h, int comp, const std::vector<uint8_t>& px) {
    ASSERT_TRUE(
        stbi_write_png((dir_ + "/images/" + name).c_str(), w, h, comp, px.data(), w * comp));
  }
  GLint level_param(int slot, GLenum pname) {
    GLint v = 0;
    gfx::glBindTexture(GL_TEXTURE_2D, gfx::texture(slot));
    fetch<GetTexLevelParameteriv>("glGetTexLevelParameteriv")(GL_TEXTURE_2D, 0, pname, &v);
    return v;
  }
  GLint param(int slot, GLenum pname) {
    GLint v = 0;
    gfx::glBindTexture(GL_TEXTURE_2D, gfx::texture(slot));
    fetch<GetTexParameteriv>("glGetTexParameteriv")(GL_TEXTURE_2D, pname, &v);
    return v;
  }
  testdir::TempDir tmp_{"quorl-textures"};
  const std::string& dir_ = tmp_.path();
};

TEST_F(TextureCatalogueTest, FormatsWrapModesAndUnpaddedRows) {
  write_png("f1.png", 4, 4, 1, std::vector<uint8_t>(16, 200));  // grey
  write_png("f2.png", 4, 4, 2, std::vector<uint8_t>(32, 100));  // grey + alpha
  std::vector<uint8_t> odd(5 * 3 * 3);                          // RGB, 15-byte rows
  for (size_t i = 0; i < odd.size(); ++i) odd[i] = static_cast<uint8_t>(i * 7 + 1);
  write_png("f3.png", 5, 3, 3, odd);
  // A PNG stored under a .jpg name: the decoder goes by the content.
  write_png("present.jpg", 8, 6, 3, std::vector<uint8_t>(8 * 6 * 3, 50));

  gltest::GlContext gl;
  ASSERT_TRUE(gl.open(64, 64, dir_.c_str())) << gl.error();
  ASSERT_TRUE(gfx::load_texture_catalogue());

  EXPECT_EQ(level_param(gfx::kTexScratch0, GL_TEXTURE_INTERNAL_FORMAT), GL_R8);
  EXPECT_EQ(level_param(gfx::kTexScratch0 + 1, GL_TEXTURE_INTERNAL_FORMAT), GL_RG8);
  EXPECT_EQ(level_param(gfx::kTexScratch0 + 2, GL_TEXTURE_INTERNAL_FORMAT), GL_RGB8);
  EXPECT_EQ(level_param(gfx::kTexPresent, GL_TEXTURE_WIDTH), 8);

  // Square pictures repeat; 640 x 480 and other non-square ones clamp, whatever the filter.
  EXPECT_EQ(param(gfx::kTexBrick, GL_TEXTURE_WRAP_S), GL_REPEAT);
  EXPECT_EQ(param(gfx::kTexBrick, GL_TEXTURE_WRAP_T), GL_REPEAT);
  EXPECT_EQ(param(gfx::kTexBrick, GL_TEXTURE_MAG_FILTER), GL_NEAREST);
  EXPECT_EQ(param(gfx::kTexTitle, GL_TEXTURE_WRAP_S), GL_CLAMP);
  EXPECT_EQ(param(gfx::kTexTitle, GL_TEXTURE_WRAP_T), GL_CLAMP);
  EXPECT_EQ(param(gfx::kTexTitle, GL_TEXTURE_MIN_FILTER), GL_LINEAR);
  EXPECT_EQ(param(gfx::kTexScratch0 + 2, GL_TEXTURE_WRAP_S), GL_CLAMP);

  // The odd-width picture reads back exactly as written.
  std::vector<uint8_t> back(odd.size());
  gfx::glBindTexture(GL_TEXTURE_2D, gfx::texture(gfx::kTexScratch0 + 2));
  gfx::glPixelStorei(GL_PACK_ALIGNMENT, 1);
  fetch<GetTexImage>("glGetTexImage")(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, back.data());
  EXPECT_EQ(back, odd);
}

TEST(FilmFramebufferGl, IsCompleteAndSamplesNearestWithClampedEdges) {
  gltest::GlContext gl;
  ASSERT_TRUE(gl.open(320, 240, QUORL_SOURCE_DIR "/data")) << gl.error();
  ASSERT_TRUE(gfx::set_up_programs());
  gfx::create_screen_quad();
  ASSERT_TRUE(gfx::create_film_framebuffer(160, 120));

  // A pattern of distinct texels: red = column * 1.5, green = row * 2.
  std::vector<uint8_t> pattern(160 * 120 * 4);
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 160; ++x) {
      uint8_t* p = &pattern[(y * 160 + x) * 4];
      p[0] = static_cast<uint8_t>(x * 3 / 2);
      p[1] = static_cast<uint8_t>(y * 2);
      p[2] = 77;
      p[3] = 255;
    }
  gfx::glActiveTexture(GL_TEXTURE4);
  gfx::glBindTexture(GL_TEXTURE_2D, gfx::film_color_texture());
  fetch<TexSubImage2D>("glTexSubImage2D")(GL_TEXTURE_2D, 0, 0, 0, 160, 120, GL_RGBA,
                                          GL_UNSIGNED_BYTE, pattern.data());
  // Draw it over 320 x 240 with coordinates from -0.5 to 1.5: a quarter outside each edge.
  gfx::glUseProgram(gfx::program(gfx::kScreen));
  gfx::glUniform1i(gfx::uniform_location(gfx::kScreen, gfx::uniform::kScreenT), 4);
  gfx::glUniform2f(gfx::uniform_location(gfx::kScreen, gfx::uniform::kScreenTs), 1.0f, 1.0f);
  gfx::glUniform2f(gfx::uniform_location(gfx::kScreen, gfx::uniform::kScreenTb), 0.5f, 0.5f);
  gfx::draw_screen_quad();
  std::vector<uint8_t> px(320 * 240 * 4);
  gfx::glReadPixels(0, 0, 320, 240, GL_RGBA, GL_UNSIGNED_BYTE, px.data());

  for (int y = 0; y < 240; ++y) {
    for (int x = 0; x < 320; ++x) {
      const uint8_t* p = &px[(y * 320 + x) * 4];
      // Nearest: every pixel is one texel exactly (red a multiple of 1.5, green even).
      ASSERT_EQ(p[2], 77) << x << "," << y;
      ASSERT_EQ(p[1] % 2, 0) << x << "," << y;
      if (x < 70) {
        ASSERT_EQ(p[0], 0) << "left of the picture repeats column 0, at " << x;
      }
      if (x > 250) {
        ASSERT_EQ(p[0], 238) << "right of the picture repeats column 159, at " << x;
      }
      if (y < 50) {
        ASSERT_EQ(p[1], 0) << "below the picture repeats row 0, at " << y;
      }
      if (y > 190) {
        ASSERT_EQ(p[1], 238) << "above the picture repeats row 119, at " << y;
      }
    }
  }
}

}  // namespace
