// Every slot of the texture catalogue, loaded from the shipped pictures, samples as the show
// needs it: the scene pictures and the scratch overlays keep their hard pixels (nearest),
// the gate, the writing strip and the still pictures are smoothed (linear). One slot left
// linear by mistake blurs a scene or an overlay on every frame it is used in.
#include <gtest/gtest.h>

#include "gfx/textures.h"
#include "gl_context.h"

// A GL 1.0 query outside the program's tables, from the linked GL library.
extern "C" void glGetTexParameteriv(GLenum target, GLenum pname, GLint* params);

namespace {

GLint filter_of(int slot, GLenum pname) {
  GLint v = 0;
  gfx::glBindTexture(GL_TEXTURE_2D, gfx::texture(slot));
  glGetTexParameteriv(GL_TEXTURE_2D, pname, &v);
  return v;
}

TEST(TextureCatalogueGl, EverySlotFiltersAsItsPictureIsUsed) {
  constexpr GLint kNearest = GL_NEAREST, kLinear = GL_LINEAR;
  const struct {
    int slot;
    const char* what;
    GLint filter;
  } kSlots[] = {
      {gfx::kTexBrick, "brick", kNearest},
      {gfx::kTexStars, "stars", kNearest},
      {gfx::kTexMandelbrot, "mandelbrot", kNearest},
      {gfx::kTexFrame, "gate", kLinear},
      {gfx::kTexFilmWriting, "writing strip", kLinear},
      {gfx::kTexPresent, "present", kLinear},
      {gfx::kTexTitle, "title", kLinear},
      {gfx::kTexDumDeeDum, "dumdeedum", kLinear},
      {gfx::kTexGazillion, "gazillion", kLinear},
      {gfx::kTexLookCube, "lookcube", kLinear},
      {gfx::kTexDorlz, "dorlz", kLinear},
      {gfx::kTexDefinition, "definition", kLinear},
      {gfx::kTexMath, "math", kLinear},
      {gfx::kTexTheEnd, "theend", kLinear},
      {gfx::kTexTMandel, "tmandel", kLinear},
      {gfx::kTexGreets1, "greets1", kLinear},
      {gfx::kTexGreets2, "greets2", kLinear},
      {gfx::kTexVantrope, "vantrope", kLinear},
      {gfx::kTexPlemk, "plemk", kLinear},
      {gfx::kTexMus, "mus", kLinear},
      {gfx::kTexScratch0, "scratch 1", kNearest},
      {gfx::kTexScratch0 + 1, "scratch 2", kNearest},
      {gfx::kTexScratch0 + 2, "scratch 3", kNearest},
      {gfx::kTexScratch0 + 3, "scratch 4", kNearest},
  };
  ASSERT_EQ(sizeof kSlots / sizeof kSlots[0], static_cast<size_t>(gfx::kTextureCount));

  gltest::GlContext gl;
  ASSERT_TRUE(gl.open(64, 64, QUORL_SOURCE_DIR "/data")) << gl.error();
  ASSERT_TRUE(gfx::load_texture_catalogue());
  for (const auto& s : kSlots) {
    SCOPED_TRACE(testing::Message() << "slot " << s.slot << ", " << s.what);
    EXPECT_EQ(filter_of(s.slot, GL_TEXTURE_MIN_FILTER), s.filter);
    EXPECT_EQ(filter_of(s.slot, GL_TEXTURE_MAG_FILTER), s.filter);
  }
}

}  // namespace
