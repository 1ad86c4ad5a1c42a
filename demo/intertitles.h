// Intertitles: still pictures shown in place of the film frame, the writing strip (32
// frames stacked as bands of one picture, one band per film frame) and the white frame of
// the first and last two seconds.
#pragma once

#include "demo/projector.h"
#include "gfx/gl.h"

namespace demo {

// The film mapping that shows band `index - start` of the writing strip: qs = (A, -1/64),
// qb = (0.5, centre of the band), formed as the show always formed it.
struct StripMapping {
  Vec2 qs, qb;
};
StripMapping writing_strip_mapping(int start, int index, double aspect);

// The still picture the composite shows instead of the film frame; 0 for none.
GLuint still_picture();
void clear_still_picture();
void show_still_picture(int texture_slot);

// One writing-strip advance at film-frame `index`: the first one fixes the roll start.
void writing_strip(int index);
int roll_start();

// Clears the bound film framebuffer to white with alpha 0 (colour only).
void white_frame();

void reset_intertitles();

}  // namespace demo
