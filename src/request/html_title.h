// The title shown beside an HTML file in a listing.
#pragma once

namespace qxs {

// The title of an HTML file (<title>, else the first <h1>-<h3>), cut to
// `max` characters, in `out` (room for max+1); nullptr when none is found.
char* findHTMLtitle(const char* file_name, char* out, int max);

}  // namespace qxs
