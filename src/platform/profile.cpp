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
#include "platform/system_calls.h"

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

bool write_all(int fd, std::string_view data, off_t offset);

struct CachedFile {
    CachedFile() = default;
    // Whatever drops the entry, the bytes written into it go to the file first.
    ~CachedFile() {
        write_pending();
        if (fd >= 0) ::close(fd);
    }
    CachedFile(const CachedFile&) = delete;
    CachedFile& operator=(const CachedFile&) = delete;

    std::string path;  // host path
    Identity identity;
    ProfileText text;
    uint64_t last_use = 0;
    // The file kept open, so that an update in place is one write; -1 when
    // it could not be opened for writing.
    int fd = -1;
    // The batch in which the identity was last checked, and whether an
    // update in place left the identity to be taken when the batch ends.
    uint64_t checked_in = 0;
    bool identity_pending = false;
    // Runs of bytes of `text` changed in place during a batch and not yet
    // written: they go to the file at the flush or the batch's end, one write
    // per run. Neighbouring changes share a run; distant ones do not, so that
    // no write carries the unchanged bytes between them.
    struct Run {
        size_t begin;
        size_t end;
    };
    static constexpr size_t kRuns = 4;
    static constexpr size_t kJoinGap = 64;
    Run runs[kRuns] = {};
    size_t run_count = 0;

    void add_pending(size_t begin, size_t end) {
        for (size_t i = 0; i < run_count; ++i) {
            Run& run = runs[i];
            if (begin <= run.end + kJoinGap && run.begin <= end + kJoinGap) {
                run.begin = std::min(run.begin, begin);
                run.end = std::max(run.end, end);
                return;
            }
        }
        if (run_count == kRuns) write_pending();
        runs[run_count++] = Run{begin, end};
    }
    // Writes the pending runs; false (and the file read again at its next
    // access) when that fails.
    bool write_pending() {
        bool written = true;
        const std::string_view bytes(text.content());
        for (size_t i = 0; i < run_count && written; ++i) {
            std::string_view run = bytes.substr(runs[i].begin, runs[i].end - runs[i].begin);
            written = fd >= 0 && write_all(fd, run, static_cast<off_t>(runs[i].begin));
        }
        run_count = 0;
        if (!written) identity = Identity{};
        return written;
    }
};

std::vector<std::unique_ptr<CachedFile>> cache;
uint64_t use_clock = 0;

// Update batches (see profile.h): how deep they nest, and the number of the
// current one (0 outside any).
int batch_depth = 0;
uint64_t batch_number = 0;
uint64_t batches_begun = 0;

// Host paths of the names callers use, so that a name is translated (and
// its case resolved on disk) once, not on every access.
struct KnownName {
    std::string name;
    std::string path;
};
constexpr size_t kKnownNames = 32;
std::vector<KnownName> known_names;

// The host path of a DOS-style or host name into `path`; `fresh` forces a
// new translation (the remembered one no longer leads to the file).
bool host_path(const char* file, char* path, size_t size, bool fresh) {
    for (auto it = known_names.begin(); it != known_names.end(); ++it) {
        if (it->name != file) continue;
        if (!fresh && it->path.size() < size) {
            it->path.copy(path, it->path.size());
            path[it->path.size()] = '\0';
            return true;
        }
        known_names.erase(it);
        break;
    }
    if (!dos::to_host(file, path, size)) return false;
    if (known_names.size() >= kKnownNames) known_names.erase(known_names.begin());
    known_names.push_back(KnownName{file, path});
    return true;
}

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
        ssize_t n = system_calls().pwrite(fd, data.data(), data.size(), offset);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<size_t>(n));
        offset += n;
    }
    return true;
}

// The parsed text of the file at `path`, read again only when the file is no
// longer the one cached: its status is `st` (taken by the caller). The entry
// keeps the file open. Nullptr when it cannot be read or is no regular file.
CachedFile* reload(const char* path, const struct stat& st) {
    if (!S_ISREG(st.st_mode)) {
        drop_cached(path);
        return nullptr;
    }
    int fd = system_calls().open(path, O_RDWR | O_CLOEXEC | O_NONBLOCK, 0);
    if (fd < 0) fd = system_calls().open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0);
    struct stat opened {};
    std::string content;
    if (fd < 0 || ::fstat(fd, &opened) != 0 || !read_all(fd, &content)) {
        if (fd >= 0) ::close(fd);
        drop_cached(path);
        return nullptr;
    }
    CachedFile* entry = cache_entry(path);
    entry->write_pending();
    if (entry->fd >= 0) ::close(entry->fd);
    entry->fd = fd;
    entry->identity = identity_of(opened);
    entry->identity_pending = false;
    entry->checked_in = batch_number;
    entry->text.assign(std::move(content));
    return entry;
}

// The cached entry of the file at `path`, checked against the disk: one stat
// for a file unchanged since it was cached, and none for a file already
// checked in the current batch. Nullptr when there is no such file (errno
// tells why).
CachedFile* current_entry(const char* path) {
    CachedFile* entry = find_cached(path);
    if (entry != nullptr && batch_depth > 0 && entry->checked_in == batch_number) return entry;
    struct stat st {};
    if (::stat(path, &st) != 0) {
        int saved = errno;
        drop_cached(path);
        errno = saved;
        return nullptr;
    }
    if (entry != nullptr && S_ISREG(st.st_mode) && !entry->identity_pending &&
        same_identity(entry->identity, identity_of(st))) {
        entry->checked_in = batch_number;
        return entry;
    }
    return reload(path, st);
}

// The entry for a name callers use, translating it again when the
// remembered host path has stopped leading to a file.
CachedFile* current_entry_for(const char* file, char* path, size_t size) {
    if (!host_path(file, path, size, false)) return nullptr;
    CachedFile* entry = current_entry(path);
    if (entry == nullptr && errno == ENOENT) {
        if (!host_path(file, path, size, true)) return nullptr;
        entry = current_entry(path);
    }
    return entry;
}

// Puts `content` in place of the file at `path` at once: a new file in the
// same directory, renamed over the old one, so that a reader (or a crash)
// sees the old file or the new one and never half of either. `old` is the
// file replaced (its mode is kept), nullptr for a new file. The identity of
// the new file goes to `identity`, and its descriptor to `kept` (open for
// reading and writing).
bool replace_file(const char* path, std::string_view content, const struct stat* old,
                  Identity* identity, int* kept) {
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
        fd = system_calls().open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;

    bool done = write_all(fd, content, 0) &&
                (old == nullptr || ::fchmod(fd, old->st_mode & 07777) == 0) &&
                system_calls().rename(temporary.c_str(), target.c_str(), 0) == 0;
    if (!done) {
        ::unlink(temporary.c_str());
        ::close(fd);
        return false;
    }
    // Taken after the rename, which changes the file's change time.
    struct stat st {};
    *identity = ::fstat(fd, &st) == 0 ? identity_of(st) : Identity{};
    *kept = fd;
    return true;
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
    CachedFile* entry = current_entry_for(file, path, sizeof path);
    return entry != nullptr && entry->text.find(section, key, value);
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
    CachedFile* entry = current_entry_for(file, path, sizeof path);
    if (entry == nullptr) {
        if (errno != ENOENT || path[0] == '\0') return false;
        ProfileText text;
        text.assign(std::string());
        ProfileText::Edit edit = text.plan_write(section, key, value);
        Identity identity;
        int fd = -1;
        if (!replace_file(path, edit.text, nullptr, &identity, &fd)) return false;
        entry = cache_entry(path);
        if (entry->fd >= 0) ::close(entry->fd);
        entry->fd = fd;
        entry->identity = identity;
        entry->identity_pending = false;
        entry->checked_in = batch_number;
        entry->text.assign(std::move(edit.text));
        return true;
    }

    ProfileText::Edit edit = entry->text.plan_write(section, key, value);
    if (edit.in_place && entry->fd >= 0) {
        if (batch_depth > 0) {
            // Gathered: the run of updates of a batch costs one write.
            entry->text.apply_in_place(edit);
            entry->add_pending(edit.offset, edit.offset + edit.text.size());
            entry->identity_pending = true;
            return true;
        }
        if (!write_all(entry->fd, edit.text, static_cast<off_t>(edit.offset))) {
            drop_cached(path);
            return false;
        }
        entry->text.apply_in_place(edit);
        // Our own write must not make the next access read the file again:
        // its new identity is taken now.
        struct stat st {};
        if (::fstat(entry->fd, &st) != 0) {
            drop_cached(path);
            return true;
        }
        entry->identity = identity_of(st);
        return true;
    }
    struct stat old {};
    if (::fstat(entry->fd, &old) != 0) return false;
    Identity identity;
    int fd = -1;
    if (!replace_file(path, edit.text, &old, &identity, &fd)) return false;
    // The new file holds the bytes still pending for the old one.
    entry->run_count = 0;
    ::close(entry->fd);
    entry->fd = fd;
    entry->identity = identity;
    entry->identity_pending = false;
    entry->text.assign(std::move(edit.text));
    return true;
}

Batch::Batch() {
    if (batch_depth++ == 0) batch_number = ++batches_begun;
}

Batch::~Batch() {
    if (--batch_depth > 0) return;
    for (auto& entry : cache) {
        if (!entry->write_pending()) {
            entry->identity_pending = false;  // read again at the next access
            continue;
        }
        if (!entry->identity_pending) continue;
        struct stat st {};
        entry->identity_pending = false;
        if (entry->fd >= 0 && ::fstat(entry->fd, &st) == 0) {
            entry->identity = identity_of(st);
        } else {
            entry->identity = Identity{};  // read again at the next access
        }
    }
    batch_number = 0;
}

bool flush(const char* file) {
    if (file == nullptr) return true;
    char path[4096];
    if (!host_path(file, path, sizeof path, false)) return true;
    CachedFile* entry = find_cached(path);
    return entry == nullptr || entry->write_pending();
}

void forget_all() {
    cache.clear();
    known_names.clear();
}

}  // namespace qxs::profile
