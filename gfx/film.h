// The film framebuffer (the 160 x 120 picture the scenes draw into) and the screen quad
// every full-screen pass draws.
#pragma once

#include "gfx/gl.h"

namespace gfx {

// Four corners at +-1 as a triangle strip; cannot fail.
void create_screen_quad();
// Colour (RGBA8) and depth textures of width x height, nearest, clamped to edge. True
// when the framebuffer is complete; the default framebuffer is then bound again.
bool create_film_framebuffer(int width, int height);

GLuint screen_quad_vertex_array();
GLuint film_framebuffer();
GLuint film_color_texture();

// Binds the quad's vertex array and draws the strip of four vertices.
void draw_screen_quad();

}  // namespace gfx
