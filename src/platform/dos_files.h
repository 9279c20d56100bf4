// DOS-style file names on a Linux file system.
//
// Names stay DOS-style strings everywhere inside the server ("c:\qxs\html\",
// "%scash%d.qxs" formed from a setting), exactly as the server builds them;
// this layer translates them at the system call:
//   - "x:" and the rest: the directory mapped for drive x (every drive maps to
//     the server home unless map_drive says otherwise), then the rest;
//   - a name beginning with '/' or '\' (no drive): a host path as it stands;
//   - any other name: relative to the server home, never to the process's
//     current directory;
//   - every '\' becomes '/';
//   - a component that does not exist with its exact case is found without
//     regard to case (a missing one keeps its spelling, so new files can be
//     created under their given name).
// The functions below take DOS-style names and return what the system call
// returns (-1 with errno on failure), unless they say otherwise.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace qxs::dos {

// The server home: an absolute host directory. Relative names and unmapped
// drives resolve here.
void set_home(const std::string& directory);
const std::string& home();
// Maps drive `letter` (either case) to an absolute host directory.
void map_drive(char letter, const std::string& directory);
// Forgets every --drive mapping (tests).
void reset_drives();

// The host path of a DOS-style name, with components found without regard to
// case. False (and `out` empty) when it does not fit in `size` bytes.
[[nodiscard]] bool to_host(const char* name, char* out, size_t size);
std::string to_host(const char* name);

int open(const char* name, int flags, mode_t mode = 0644);
FILE* fopen(const char* name, const char* mode);
int stat(const char* name, struct stat* st);
// stat, also giving the host path it found (the name's real spelling).
int stat(const char* name, struct stat* st, char* found, size_t found_size);
int remove(const char* name);
// Renames `from` to `to`, never replacing an existing `to` (fails with EEXIST).
int rename(const char* from, const char* to);
bool exists(const char* name);

// Packed date (bits 0-4 day, 5-8 month, 9-15 years since 1980) and packed time
// (bits 0-4 seconds/2, 5-10 minutes, 11-15 hours) of a local time. Times
// before 1980 give the first packed day.
uint16_t packed_date(time_t t);
uint16_t packed_time(time_t t);

// One entry of a directory enumeration.
struct FindData {
    char name[256];
    bool is_directory;
    uint64_t size;
    uint16_t date;  // packed last-write date
    uint16_t time;  // packed last-write time
};

// '*' and '?' in DOS fashion, without regard to case; "*.*" matches every
// name, with or without a dot.
bool wildcard_match(const char* pattern, const char* name);

// Directory enumeration of a pattern whose last component may hold
// wildcards ("dir\*.*", "dir\name"). Entries come sorted without regard to
// case; "." and ".." are included when the pattern matches them, as on DOS.
class Finder {
public:
    // The first match, or false when nothing matches (or the directory cannot
    // be read).
    bool first(const char* pattern, FindData* out);
    bool next(FindData* out);

private:
    bool fill(size_t index, FindData* out);
    std::string directory_;  // host path of the directory, ending in '/'
    std::vector<std::string> names_;
    size_t position_ = 0;
};

// The first entry matching `pattern`, without listing the directory when the
// pattern has no wildcard. False when nothing matches.
bool find_first(const char* pattern, FindData* out);

// Reading in text mode: CR LF arrives as LF and a Ctrl-Z byte ends the data.
class TextFile {
public:
    TextFile() = default;
    ~TextFile() { close(); }
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    bool open(const char* name);
    bool is_open() const { return file_ != nullptr; }
    // Up to `size` bytes of text; 0 at the end.
    size_t read(char* buffer, size_t size);
    // Like fgets: up to size-1 bytes, ending after the first LF; terminated.
    // nullptr at the end of the data.
    char* gets(char* buffer, int size);
    void close();

private:
    int get();  // next text byte or EOF
    FILE* file_ = nullptr;
    bool ended_ = false;
};

}  // namespace qxs::dos
