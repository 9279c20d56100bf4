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
// count) for the file being sent (`c.file_name`). Entries refer to the texts of
// the record, the settings and the server name without copying them; the
// date, hit count and file dates are first written into the record
// (date_text, hit_text, last_modified_gmt, last_modified). hit_text is read
// from counts.qxs under the key the access log counts the page by, and cut
// after its first word: it keeps the count, the start date follows it. A
// POST adds one to the engine's count of posts.
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
//
// A piece is one source byte, a closing "]", a whole "$" reference with its
// operator, or a hidden bracket; it is written whole or left whole, and
// looks only at the rest of the same block, so a cut block continued call by
// call gives exactly what one call with room enough would. Only a piece
// longer than size-1 bytes on its own (a value larger than the destination)
// is cut to fit, so that every call with size >= 2 makes progress.
size_t substitute(const NameList& list, const char* src, size_t length, char* dst, size_t size,
                  SubstituteState* state);

}  // namespace qxs
