// Page variables: dollar-sign markup in HTML files, replaced while the file
// is sent. "$name" writes a variable's value; "$name?[text]" shows text only
// when the value is not empty, "$name![text]" only when it is empty, and
// "$name|[text]" writes the value or, when it is empty, the text.
#pragma once

#include <cstddef>

#include "engine/name_list.h"

namespace qxs {

struct Connection;

// Fills the connection's variables (request, client, server, dates, hit
// count) for the file being sent (`c.path`). Entries refer to the texts of
// the record and the settings without copying them.
void fill_page_variables(Connection& c);

// Where a substitution of one block stands: the source bytes consumed so
// far and the number of open brackets whose contents are being shown. A new
// block starts from a fresh state.
struct SubstituteState {
    size_t consumed = 0;
    int depth = 0;
};

// Substitutes the block src[0, length) from state->consumed on into dst and
// terminates dst. A piece whose output would not fit in `size` bytes
// (terminator included) is left for the next call, which goes on from
// state->consumed as if the block had not been cut; the block is done when
// state->consumed == length. Returns the number of bytes written. NUL bytes
// in the source are copied like any other byte.
size_t substitute(const NameList& list, const char* src, size_t length, char* dst, size_t size,
                  SubstituteState* state);

}  // namespace qxs
