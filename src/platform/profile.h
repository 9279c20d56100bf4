// Profile (INI) files with the semantics of the Windows profile functions
// the server's settings, counters and reject list were made for:
//   - sections and keys match without regard to case, keys after trimming
//     blanks; the first occurrence of a section or key wins;
//   - a value is the text after '=' with surrounding blanks removed;
//   - lines beginning with ';' are comments;
//   - a write changes only the line it writes, as "key=value" (no blanks
//     around '='), in the file's own line ends (CR LF for a new file); a new
//     key goes at the end of its section, a new section at the end of the
//     file; every other byte of the file stays as it was.
// Files are named by DOS-style or host names (dos_files.h). Parsed files are
// cached (kept open) and read again when they change on disk. A write reaches
// the disk before it returns (inside a batch: at the flush or the batch's
// end), and never leaves a torn file behind: a value of the same length is
// overwritten in place, anything else replaces the whole file atomically (a
// new file renamed over the old one).
#pragma once

namespace qxs::profile {

// Copies the value of `key` (or `fallback` when the key is missing) into
// `out`, cut to size-1 characters and terminated; returns the number of
// characters delivered. A present but empty value delivers "" (0).
int get_string(const char* section, const char* key, const char* fallback, char* out, int size,
               const char* file);

// The value's leading decimal number (an optional sign, then digits; a value
// of letters gives 0; out-of-range numbers are clamped). A missing key or an
// empty value gives `fallback`.
int get_int(const char* section, const char* key, int fallback, const char* file);

// Writes key=value into the section, creating file, section or key as
// needed. False when the file cannot be written.
[[nodiscard]] bool write_string(const char* section, const char* key, const char* value,
                                const char* file);

// Makes sure what was written to the file is on disk: the in-place writes a
// batch gathered go out now, in one write. False when they could not be
// written (the file is then read again at its next access).
[[nodiscard]] bool flush(const char* file);

// Drops every cached file (tests, and a reload of the settings).
void forget_all();

// An update batch: while one exists, each file is checked against the disk
// once (at its first access in the batch); updates in place are gathered
// and written at the file's flush or when the batch ends, one write per
// file, and the file's new identity is taken then. For a caller that holds
// the lock other programs take before they change the files (the log
// mutex). Batches nest.
class Batch {
public:
    Batch();
    ~Batch();
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;
};

}  // namespace qxs::profile
