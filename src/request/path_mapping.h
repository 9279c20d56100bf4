// Path mapping: the virtual path of a URL or gopher selector becomes a
// file-system name (DOS-style) under a document tree or an alias, and the
// owner of a matched alias decides whether the requester may have it.
#pragma once

#include <cstddef>

namespace qxs {

struct Alias;

enum MappingResult : int {
    kMapped = 0,
    kDoublePeriod = -10,
    kRefused = -20,
    kHostNotAllowed = -50,  // also: no name buffer given
    kNoVirtualPath = -51,
    kNameTooLong = -55,
    kDeviceName = -56,  // also: a wildcard ('*', '?'), which no file name holds
};

// Room callers give for a mapped name, terminator included.
inline constexpr size_t kMappedNameSize = 256;

// Maps `virtual_path` (tidied in place: "." pieces dropped, runs of
// separators keeping their last one) into `name` (kMappedNameSize bytes).
// Aliases match without regard to case or to the kind of separator. `request_type` chooses the
// base directory when no alias matches (gopher: gopherdir, else webdir).
// `alias_out` is set to the matched alias or nullptr. `user` and `password`
// are the request's Basic credentials (may be empty). Returns a
// MappingResult; on -55 and -56 `name` holds no usable name.
int aliasToDosDir(char* virtual_path, char* name, int request_type, const char* remote_address,
                  const Alias** alias_out, const char* user, const char* password);

}  // namespace qxs
