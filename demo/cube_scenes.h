// The two cube scenes: the cube mesh spinning in front of mid grey, lit (`cube`) or with
// the brick picture laid on it (`texturedcube`). The only scenes that draw with depth
// testing and culling; both switch them off again before returning.
#pragma once

namespace demo {

void lit_cube();
void textured_cube();

}  // namespace demo
