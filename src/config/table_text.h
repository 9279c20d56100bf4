// Helpers shared by the table loaders of the settings file.
#pragma once

namespace qxs::config {

// A heap copy of `text` (malloc, released with free); nullptr when the
// memory is not there or `text` is nullptr.
char* heap_copy(const char* text);

// The next piece of the text at *cursor: separators before it are skipped,
// the piece is terminated in place and *cursor moves past it. nullptr when
// only separators (or nothing) are left. Runs of separators count as one.
char* next_field(char** cursor, const char* separators);

// Reads the numbered key prefix+n ("Alias3") of a section into `line`;
// false when it delivers nothing, which ends a numbered sequence.
bool read_numbered(const char* file, const char* section, const char* prefix, int n, char* line,
                   int size);

// ASCII letters to lower case, in place.
void lower_case(char* text);

// The parts of release_access_tables: each releases the strings of one table
// and empties it.
void release_aliases();
void release_users();
void release_groups();

}  // namespace qxs::config
