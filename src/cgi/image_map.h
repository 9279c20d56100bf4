// Server-side image maps: a click position (the query "x,y") against the
// regions of a map file.
#pragma once

#include <cstddef>

namespace qxs {

// 1 with a URL in `result`; 0 with a ready text in `result` (or `result`
// untouched when the click has no x,y pair); -1 when the map file cannot be
// opened; -2 when memory for a polygon cannot be had. `result` has room for
// `size` bytes.
int search_image_map(const char* map_file, const char* click, char* result, size_t size);
// Even-odd crossing test: 1 inside, 0 outside.
int point_in_polygon(int n, const double* xs, const double* ys, int px, int py);

}  // namespace qxs
