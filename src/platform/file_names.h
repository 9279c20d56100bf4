// Small routines on file names, used wherever a request names a document.
#pragma once

#include <cstdint>

namespace qxs {

// The size of the first file matching `name` (a DOS-style name, wildcards
// allowed), 0 when none matches; a directory or an empty file also gives 0,
// so callers treat 0 as absent. When both outputs are given they receive the
// packed last-write date and time.
long file_size_and_date(const char* name, uint16_t* date, uint16_t* time);
// The text after the first '.' found from the second to the last-but-one
// character; the empty end of the text when there is none (or the text is
// shorter than three characters); nullptr for nullptr.
const char* file_extension(const char* text);
// The text after the last '/' or '\'; the whole text when there is none.
const char* last_path_component(const char* text);
// 1 when `name` is a directory (or, for a name ending in '*', anything
// matches it), else 0.
int is_directory(const char* name);
// The extension of a file-system name's last component: dots in the
// directories above a document do not change what the document is.
const char* file_name_extension(const char* name);

}  // namespace qxs
