#include "demo/film_counts.h"

namespace demo {
namespace {
FilmCounts g_counts;
}  // namespace

void count_advance(FilmCounts* counts, int previous, int index, bool forward_run, bool scene) {
  ++counts->advances;
  if (scene) ++counts->scenes;
  if (forward_run && index > previous) {
    const uint64_t step = static_cast<uint64_t>(index - previous);
    counts->indices += step;
    counts->skipped += step - 1;
  } else {
    ++counts->indices;
  }
}

const FilmCounts& film_counts() { return g_counts; }

void note_advance(int previous, int index, bool forward_run, bool scene) {
  count_advance(&g_counts, previous, index, forward_run, scene);
}

void reset_film_counts() { g_counts = FilmCounts{}; }

}  // namespace demo
