// Translation of DOS-style names to host paths, and the file operations that
// take DOS-style names. Enumeration, packed dates and text-mode reading are
// in dos_files.cpp.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/dos_files.h"
#include "platform/strings.h"
#include "platform/system_calls.h"

namespace qxs::dos {
namespace {

std::string home_directory = ".";
std::string drives[26];

bool has_drive(const char* name) {
    char c = ascii_lower(name[0]);
    return c >= 'a' && c <= 'z' && name[1] == ':';
}

// The host path without looking at the disk: drive or home, then the name
// with '\' turned into '/'. False when it does not fit.
bool translate(const char* name, char* out, size_t size) {
    std::string_view base;
    const char* rest = name;
    if (has_drive(name)) {
        const std::string& mapped = drives[ascii_lower(name[0]) - 'a'];
        base = mapped.empty() ? std::string_view(home_directory) : std::string_view(mapped);
        rest = name + 2;
    } else if (!is_path_separator(name[0])) {
        base = home_directory;
    }
    size_t n = 0;
    auto put = [&](char c) {
        if (n + 1 >= size) return false;
        out[n++] = c;
        return true;
    };
    for (char c : base) {
        if (!put(c)) return false;
    }
    if (!base.empty() && !is_path_separator(base.back()) && !is_path_separator(rest[0])) {
        if (!put('/')) return false;
    }
    for (const char* p = rest; *p != '\0'; ++p) {
        if (!put(*p == '\\' ? '/' : *p)) return false;
    }
    if (size == 0) return false;
    out[n] = '\0';
    return true;
}

bool path_exists(const char* path) {
    struct stat st {};
    return ::lstat(path, &st) == 0;
}

// Rewrites, in place, each component of `path` that does not exist with its
// exact case to the spelling found in its directory without regard to case.
// A component found nowhere keeps its spelling, and so does the rest.
void resolve_case(char* path) {
    size_t length = std::strlen(path);
    size_t start = path[0] == '/' ? 1 : 0;
    while (start < length) {
        size_t end = start;
        while (end < length && path[end] != '/') ++end;
        if (end == start) {  // an empty component ("//")
            ++start;
            continue;
        }
        char saved = path[end];
        path[end] = '\0';
        bool found = path_exists(path);
        if (!found) {
            // Look for the component in its parent directory.
            char* component = path + start;
            const char* parent = start == 0 ? "." : (start == 1 ? "/" : path);
            if (start > 1) path[start - 1] = '\0';
            DIR* dir = ::opendir(parent);
            if (start > 1) path[start - 1] = '/';
            if (dir != nullptr) {
                while (dirent* entry = ::readdir(dir)) {
                    if (std::strlen(entry->d_name) == end - start &&
                        compare_no_case(entry->d_name, component) == 0) {
                        std::memcpy(component, entry->d_name, end - start);
                        found = true;
                        break;
                    }
                }
                ::closedir(dir);
            }
        }
        path[end] = saved;
        if (!found) return;
        start = end + 1;
    }
}

}  // namespace

void set_home(const std::string& directory) {
    home_directory = directory;
}
const std::string& home() {
    return home_directory;
}

void map_drive(char letter, const std::string& directory) {
    char c = ascii_lower(letter);
    if (c >= 'a' && c <= 'z') drives[c - 'a'] = directory;
}

void reset_drives() {
    for (std::string& drive : drives) drive.clear();
}

bool to_host(const char* name, char* out, size_t size) {
    if (name == nullptr || !translate(name, out, size)) {
        if (size > 0) out[0] = '\0';
        return false;
    }
    if (!path_exists(out)) resolve_case(out);
    return true;
}

std::string to_host(const char* name) {
    char path[4096];
    return to_host(name, path, sizeof path) ? std::string(path) : std::string();
}

// The operations try the name as translated first: that is the common case
// and costs one system call. Only when it is missing is the case resolved.
int open(const char* name, int flags, mode_t mode) {
    char path[4096];
    if (name == nullptr || !translate(name, path, sizeof path)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    if ((flags & O_CREAT) != 0) {
        // Creating under the exact spelling would succeed beside an existing
        // file that differs only in case ("QXS.LOG" next to "qxs.log"), where
        // DOS opens that file: resolve first.
        if (!path_exists(path)) resolve_case(path);
        return system_calls().open(path, flags | O_CLOEXEC, mode);
    }
    int fd = system_calls().open(path, flags | O_CLOEXEC, mode);
    if (fd < 0 && (errno == ENOENT || errno == ENOTDIR)) {
        int saved = errno;
        resolve_case(path);
        fd = system_calls().open(path, flags | O_CLOEXEC, mode);
        if (fd < 0 && errno == ENOENT) errno = saved;
    }
    return fd;
}

FILE* fopen(const char* name, const char* mode) {
    int flags = 0;
    bool plus = std::strchr(mode, '+') != nullptr;
    switch (mode[0]) {
        case 'r':
            flags = plus ? O_RDWR : O_RDONLY;
            break;
        case 'w':
            flags = (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
            break;
        case 'a':
            flags = (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
            break;
        default:
            errno = EINVAL;
            return nullptr;
    }
    int fd = open(name, flags);
    if (fd < 0) return nullptr;
    char fd_mode[4] = {mode[0], plus ? '+' : '\0', '\0', '\0'};
    FILE* file = ::fdopen(fd, fd_mode);
    if (file == nullptr) ::close(fd);
    return file;
}

int stat(const char* name, struct stat* st, char* found, size_t found_size) {
    char local[4096];
    char* path = found != nullptr ? found : local;
    size_t size = found != nullptr ? found_size : sizeof local;
    if (name == nullptr || !translate(name, path, size)) {
        if (size > 0) path[0] = '\0';
        errno = ENAMETOOLONG;
        return -1;
    }
    if (::stat(path, st) == 0) return 0;
    if (errno != ENOENT && errno != ENOTDIR) return -1;
    resolve_case(path);
    return ::stat(path, st);
}

int stat(const char* name, struct stat* st) {
    return dos::stat(name, st, nullptr, 0);
}

bool exists(const char* name) {
    struct stat st {};
    return dos::stat(name, &st) == 0;
}

int remove(const char* name) {
    char path[4096];
    if (!to_host(name, path, sizeof path)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    return ::unlink(path);
}

int rename(const char* from, const char* to) {
    char source[4096];
    char target[4096];
    if (!to_host(from, source, sizeof source) || !to_host(to, target, sizeof target)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    // Like a DOS rename: never over an existing file.
    int result = system_calls().rename(source, target, RENAME_NOREPLACE);
    if (result == 0 || (errno != EINVAL && errno != ENOSYS)) return result;
    // A file system without the no-replace flag: check, then rename. Only this
    // process renames the server's files, so nothing slips in between.
    if (path_exists(target)) {
        errno = EEXIST;
        return -1;
    }
    return system_calls().rename(source, target, 0);
}

}  // namespace qxs::dos
