// Creating and extending the server's temporary and log files, and cycling
// the access log. Files are opened and closed on every call, so other
// programs may read, move or delete them between requests. Names are
// DOS-style (platform/dos_files.h).
#pragma once

#include <cstddef>

namespace qxs {

// Creates (or empties) the file and writes `text` (may be nullptr). 0, or a
// negative value when the file cannot be created (logged).
[[nodiscard]] int write_new_file(const char* path, const char* text);
// The per-slot temporary files (request bodies, form fields, CGI profiles
// and output, listings) hold what visitors sent, a password at times: they
// are created for the server's own user only (mode 0600). An old file of the
// name is removed first, so the new one is a new file: a program still
// holding the old one open (one ended after its time-out) cannot write into
// it, and a link planted under the name is not followed. The open
// descriptor (write only), or -1 with errno when the file cannot be created;
// the caller reports that.
[[nodiscard]] int create_private_file(const char* path);
// write_new_file for such a file, with its failure texts.
[[nodiscard]] int write_new_private_file(const char* path, const char* text);

// Appends `text` (nothing happens for nullptr), creating the file with the
// "CREATING TEMP FILE" line when it is absent. 0, or a negative value (logged).
int append_file(const char* path, const char* text);
// The same for bytes that may hold NUL (a request body).
int append_file_bytes(const char* path, const char* data, long length);

// Writes all `length` bytes, going on after short writes. False on an error.
bool write_all(int fd, const char* data, size_t length);
// The same, then closes the descriptor; false when either fails (a delayed
// write error may only show at the close).
bool write_and_close(int fd, const char* data, size_t length);

// The screen-log lines of a file that cannot be written.
void report_write_failure(const char* path);

// Moves dir+base.ext to base-001.ext, each older generation up by one (30 in
// all), and starts a new empty log. Always 1.
int CycleLogs(const char* dir, const char* base, const char* ext);

}  // namespace qxs
