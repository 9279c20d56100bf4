// Profile files on disk: a small cache of parsed files, checked against the
// disk on every access, and writes that are on disk when they return and
// never leave a torn file. The text rules are in profile_text.cpp.
#include "platform/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dos_files.h"
#include "platform/profile_text.h"
#include "platform/strings.h"

namespace qxs::profile {
namespace {

// The settings, the two counter files, a reject list, a password file or
// two: more than this means files come and go, and the oldest can be read
// again when needed.
constexpr size_t kCachedFiles = 16;

// What tells a file changed on disk. The change time is there too because
// a copy that keeps the modification time ("cp -p") still changes it.
struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    timespec modified{};
    timespec changed{};
};

Identity identity_of(const struct stat& st) {
    return Identity{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

bool same_time(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool same_identity(const Identity& a, const Identity& b) {
    return a.device == b.device && a.inode == b.inode && a.size == b.size &&
           same_time(a.modified, b.modified) && same_time(a.changed, b.changed);
}

struct CachedFile {
    std::string path;  // host path
    Identity identity;
    ProfileText text;
    uint64_t last_use = 0;
};

std::vector<std::unique_ptr<CachedFile>> cache;
uint64_t use_clock = 0;

CachedFile* find_cached(const char* path) {
    for (auto& entry : cache) {
        if (entry->path == path) {
            entry->last_use = ++use_clock;
            return entry.get();
        }
    }
    return nullptr;
}

void drop_cached(const char* path) {
    for (auto it = cache.begin(); it != cache.end(); ++it) {
        if ((*it)->path == path) {
            cache.erase(it);
            return;
        }
    }
}

// The entry for `path`, made when missing; the least recently used file
// makes room for it.
CachedFile* cache_entry(const char* path) {
    if (CachedFile* entry = find_cached(path)) return entry;
    if (cache.size() >= kCachedFiles) {
        auto oldest = cache.begin();
        for (auto it = cache.begin(); it != cache.end(); ++it) {
            if ((*it)->last_use < (*oldest)->last_use) oldest = it;
        }
        cache.erase(oldest);
    }
    cache.push_back(std::make_unique<CachedFile>());
    CachedFile* entry = cache.back().get();
    entry->path = path;
    entry->last_use = ++use_clock;
    return entry;
}

bool read_all(int fd, std::string* out) {
    out->clear();
    char buffer[65536];
    off_t offset = 0;
    for (;;) {
        ssize_t n = ::pread(fd, buffer, sizeof buffer, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        out->append(buffer, static_cast<size_t>(n));
        offset += n;
    }
}

bool write_all(int fd, std::string_view data, off_t offset) {
    while (!data.empty()) {
        ssize_t n = ::pwrite(fd, data.data(), data.size(), offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<size_t>(n));
        offset += n;
    }
    return true;
}

// The parsed text of the open file `fd` named `path`, whose status is `st`,
// read again only when the file is no longer the one cached. Nullptr when it
// cannot be read or is no regular file.
CachedFile* current_from(const char* path, int fd, const struct stat& st) {
    if (!S_ISREG(st.st_mode)) {
        drop_cached(path);
        return nullptr;
    }
    Identity identity = identity_of(st);
    CachedFile* entry = find_cached(path);
    if (entry != nullptr && same_identity(entry->identity, identity)) return entry;
    std::string content;
    if (!read_all(fd, &content)) {
        drop_cached(path);
        return nullptr;
    }
    entry = cache_entry(path);
    entry->identity = identity;
    entry->text.assign(std::move(content));
    return entry;
}

// The parsed text of the file at `path` for reading; nullptr when there is
// none. A file unchanged since it was cached costs one stat.
const ProfileText* current_text(const char* path) {
    struct stat st {};
    if (::stat(path, &st) != 0 || !S_ISREG(st.st_mode)) {
        drop_cached(path);
        return nullptr;
    }
    CachedFile* entry = find_cached(path);
    if (entry != nullptr && same_identity(entry->identity, identity_of(st))) return &entry->text;
    int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        drop_cached(path);
        return nullptr;
    }
    entry = ::fstat(fd, &st) == 0 ? current_from(path, fd, st) : nullptr;
    ::close(fd);
    return entry != nullptr ? &entry->text : nullptr;
}

// Puts `content` in place of the file at `path` at once: a new file in the
// same directory, renamed over the old one, so that a reader (or a crash)
// sees the old file or the new one and never half of either. `old` is the
// file replaced (its mode is kept), nullptr for a new file. The identity of
// the new file goes to `identity`.
bool replace_file(const char* path, std::string_view content, const struct stat* old,
                  Identity* identity) {
    // A link stays a link: the file it points to is the one replaced.
    std::string target = path;
    struct stat link {};
    if (old != nullptr && ::lstat(path, &link) == 0 && S_ISLNK(link.st_mode)) {
        char* real = ::realpath(path, nullptr);
        if (real == nullptr) return false;
        target = real;
        std::free(real);
    }
    size_t slash = target.rfind('/');
    std::string directory = slash == std::string::npos ? "." : target.substr(0, slash + 1);

    static unsigned serial = 0;
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = directory + ".qxs-profile-" + std::to_string(::getpid()) + "-" +
                    std::to_string(++serial);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;

    bool done = write_all(fd, content, 0) &&
                (old == nullptr || ::fchmod(fd, old->st_mode & 07777) == 0) &&
                ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!done) {
        ::unlink(temporary.c_str());
    } else {
        // Taken after the rename, which changes the file's change time.
        struct stat st {};
        *identity = ::fstat(fd, &st) == 0 ? identity_of(st) : Identity{};
    }
    ::close(fd);
    return done;
}

bool has_line_break(std::string_view text) {
    return text.find_first_of("\r\n") != text.npos;
}

// What write_string refuses because it could not read it back as written: a
// line break in any part would make lines of its own, a key beginning with
// ';' or '[' would read as a comment or a section, and an empty key matches
// nothing.
bool writable(const char* section, const char* key, const char* value) {
    if (section == nullptr || key == nullptr || value == nullptr) return false;
    if (has_line_break(section) || has_line_break(key) || has_line_break(value)) return false;
    std::string_view name(key);
    size_t first = name.find_first_not_of(" \t\v\f");
    return first != name.npos && name[first] != ';' && name[first] != '[';
}

// The value of the key as it stands in the cached text (valid until the
// next profile call); false when the key or the file is missing.
bool lookup(const char* section, const char* key, const char* file, std::string_view* value) {
    if (section == nullptr || key == nullptr || file == nullptr) return false;
    char path[4096];
    if (!dos::to_host(file, path, sizeof path)) return false;
    const ProfileText* text = current_text(path);
    return text != nullptr && text->find(section, key, value);
}

}  // namespace

int get_string(const char* section, const char* key, const char* fallback, char* out, int size,
               const char* file) {
    if (out == nullptr || size <= 0) return 0;
    std::string_view value;
    if (!lookup(section, key, file, &value)) value = fallback != nullptr ? fallback : "";
    size_t n = std::min(value.size(), static_cast<size_t>(size) - 1);
    value.copy(out, n);
    out[n] = '\0';
    return static_cast<int>(n);
}

int get_int(const char* section, const char* key, int fallback, const char* file) {
    std::string_view value;
    if (!lookup(section, key, file, &value) || value.empty()) return fallback;
    size_t pos = 0;
    bool negative = false;
    if (value[0] == '+' || value[0] == '-') {
        negative = value[0] == '-';
        pos = 1;
    }
    // Accumulated as a magnitude that stops growing past the widest int.
    const int64_t limit = negative ? -static_cast<int64_t>(INT_MIN) : INT_MAX;
    int64_t magnitude = 0;
    for (; pos < value.size() && value[pos] >= '0' && value[pos] <= '9'; ++pos) {
        magnitude = std::min(limit, magnitude * 10 + (value[pos] - '0'));
    }
    return static_cast<int>(negative ? -magnitude : magnitude);
}

bool write_string(const char* section, const char* key, const char* value, const char* file) {
    if (file == nullptr || !writable(section, key, value)) return false;
    char path[4096];
    if (!dos::to_host(file, path, sizeof path)) return false;

    int fd = ::open(path, O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno != ENOENT) return false;
        drop_cached(path);
        ProfileText text;
        text.assign(std::string());
        ProfileText::Edit edit = text.plan_write(section, key, value);
        Identity identity;
        if (!replace_file(path, edit.text, nullptr, &identity)) return false;
        CachedFile* entry = cache_entry(path);
        entry->identity = identity;
        entry->text.assign(std::move(edit.text));
        return true;
    }

    bool done = false;
    struct stat old {};
    CachedFile* entry = ::fstat(fd, &old) == 0 ? current_from(path, fd, old) : nullptr;
    if (entry != nullptr) {
        ProfileText::Edit edit = entry->text.plan_write(section, key, value);
        if (edit.in_place) {
            done = write_all(fd, edit.text, static_cast<off_t>(edit.offset));
            struct stat st {};
            if (done && ::fstat(fd, &st) == 0) {
                // Our own write must not make the next access read the file again.
                entry->text.apply_in_place(edit);
                entry->identity = identity_of(st);
            } else {
                drop_cached(path);
            }
        } else {
            Identity identity;
            done = replace_file(path, edit.text, &old, &identity);
            if (done) {
                entry->identity = identity;
                entry->text.assign(std::move(edit.text));
            }
        }
    }
    ::close(fd);
    return done;
}

void flush(const char*) {}

void forget_all() {
    cache.clear();
}

}  // namespace qxs::profile
