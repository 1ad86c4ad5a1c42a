// Film-frame counts for the run report: how many film-frame indices the show went through,
// how many advances there were and how many of them rendered a scene, and how many indices
// went unseen because display frames came slower than 16 a second. Counting is a handful
// of integer additions per advance, always on; only the report reads them.
#pragma once

#include <cstdint>

namespace demo {

struct FilmCounts {
  uint64_t indices = 0;   // film-frame indices gone through (advances + skipped)
  uint64_t advances = 0;  // display frames whose index changed
  uint64_t scenes = 0;    // advances that rendered a scene into the film frame
  uint64_t skipped = 0;   // indices no display frame showed: display slower than 16 a second
};

// Counts one advance from `previous` to `index`. `forward_run`: the frame clock is before
// the fade-out (t < 129), where the index only climbs and a jump of more than one means
// display frames came too slowly. In the fade-out the index runs back and its steps crowd
// together by design, and the advance that ends the show finds index 0: those count as one
// index each and never as skipped.
void count_advance(FilmCounts* counts, int previous, int index, bool forward_run, bool scene);

// The show's own counts, kept by demo::frame().
const FilmCounts& film_counts();
void note_advance(int previous, int index, bool forward_run, bool scene);
void reset_film_counts();

}  // namespace demo
