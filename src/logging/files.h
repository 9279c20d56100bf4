// Creating and extending the server's temporary and log files, and cycling
// the access log. Files are opened and closed on every call, so other
// programs may read, move or delete them between requests. Names are
// DOS-style (platform/dos_files.h).
#pragma once

namespace qxs {

// Creates (or empties) the file and writes `text` (may be nullptr). 0, or a
// negative value when the file cannot be created (logged).
[[nodiscard]] int write_new_file(const char* path, const char* text);
// Appends `text` (nothing happens for nullptr), creating the file with the
// "CREATING TEMP FILE" line when it is absent. 0, or a negative value (logged).
int append_file(const char* path, const char* text);
// The same for bytes that may hold NUL (a request body).
int append_file_bytes(const char* path, const char* data, long length);

// The screen-log lines of a file that cannot be written.
void report_write_failure(const char* path);

// Moves dir+base.ext to base-001.ext, each older generation up by one (30 in
// all), and starts a new empty log. Always 1.
int CycleLogs(const char* dir, const char* base, const char* ext);

}  // namespace qxs
