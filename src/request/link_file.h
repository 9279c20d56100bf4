// The link table of directory listings: entries read from a directory's
// link file ("menu.gop") that are shown before the directory's own entries,
// and the lines they become in an HTML page or a gopher menu.
#pragma once

#include <cstddef>

namespace qxs {

// One link of a link file. Values longer than a field are cut to it.
struct link_entry {
    char name[82];   // display name
    char type;       // gopher item type; 0 when none was given
    char path[256];  // selector or URL path; "./x" is relative to the listed directory
    char host[96];   // server_name until a host line is seen
    char port[8];    // "70" until a port line is seen
    bool local;      // set until a host line is seen
};

inline constexpr int kMaxLinkEntries = 100;

// One table shared by all listings, refilled by read_link_file at the start
// of each listing and used only within that listing. A link file with more
// entries than the table holds has the extra ones ignored.
struct LinkTable {
    link_entry entries[kMaxLinkEntries];
    int count = 0;
};

extern LinkTable link_table;

// Fills the link table from a link file: 0, or -1 when it cannot be opened.
int read_link_file(const char* file_name);

// The line of `entry` in a listing of `virtual_path` (HTML form for `html`
// 1, gopher menu line for 0), CR LF included, cut to `size`. Returns its
// length; 0 when the entry has no line (a gopher entry without a type). The
// name shown in HTML is escaped; the link keeps its form.
size_t format_link_line(const link_entry& entry, const char* virtual_path, int html, char* out,
                        size_t size);

// True when a link entry relative to the listed directory ("./name") names
// `listed_name` (case ignored): that file is shown by its link only.
bool hidden_by_link(const char* listed_name);

}  // namespace qxs
