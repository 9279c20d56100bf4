#include "logging/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "logging/screen_log.h"
#include "platform/dos_files.h"
#include "platform/system_calls.h"

namespace qxs {
namespace {

// Generations of the access log kept besides the current one.
constexpr int kGenerations = 30;

void report_create_failure(const char* path) {
    screen_log("UNABLE TO CREATE TEMP FILE!  [");
    screen_log(path);
    screen_log("]\r\n");
    screen_log("  Check your TempDir config. Check your disk space.\r\n");
}

}  // namespace

// Writes all `length` bytes, going on after short writes. False on an error.
bool write_all(int fd, const char* data, size_t length) {
    while (length > 0) {
        ssize_t written = system_calls().write(fd, data, length);
        if (written <= 0) {
            if (written < 0 && errno == EINTR) continue;
            return false;
        }
        data += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

// Writes the bytes and closes the descriptor; false when either fails (a
// delayed write error may only show at the close).
bool write_and_close(int fd, const char* data, size_t length) {
    bool written = write_all(fd, data, length);
    return ::close(fd) == 0 && written;
}

void report_write_failure(const char* path) {
    screen_log("UNABLE TO WRITE TO TEMP FILE!  [");
    screen_log(path);
    screen_log("]\r\n");
    screen_log("  Check your TempDir config. Check your disk space.\r\n");
    screen_log("  If the file does not exist, try creating it.\r\n");
}

namespace {

// dir + base + ("." or "-NNN.") + ext; false when the name does not fit, so
// that a cut name never stands in for a generation.
bool log_name(char* out, size_t size, const char* dir, const char* base, int generation,
              const char* ext) {
    int n = generation == 0 ? std::snprintf(out, size, "%s%s.%s", dir, base, ext)
                            : std::snprintf(out, size, "%s%s-%03d.%s", dir, base, generation, ext);
    return n >= 0 && static_cast<size_t>(n) < size;
}

}  // namespace

namespace {

// Writes `text` into a file just created as `fd` (-1: it could not be).
int fill_new_file(int fd, const char* path, const char* text) {
    if (fd < 0) {
        report_create_failure(path);
        return -1;
    }
    size_t length = text != nullptr ? std::strlen(text) : 0;
    if (!write_and_close(fd, text, length)) {
        // A full disk must not pass for a written file (a CGI would read a
        // truncated request).
        report_write_failure(path);
        return -1;
    }
    return 0;
}

}  // namespace

int write_new_file(const char* path, const char* text) {
    return fill_new_file(dos::open(path, O_WRONLY | O_CREAT | O_TRUNC), path, text);
}

int create_private_file(const char* path) {
    if (dos::remove(path) != 0 && errno != ENOENT) return -1;
    return dos::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

int write_new_private_file(const char* path, const char* text) {
    return fill_new_file(create_private_file(path), path, text);
}

int append_file(const char* path, const char* text) {
    if (text == nullptr) return 0;
    return append_file_bytes(path, text, static_cast<long>(std::strlen(text)));
}

int append_file_bytes(const char* path, const char* data, long length) {
    if (data == nullptr || length < 0) return 0;
    // Opening without creating tells an existing file from an absent one in
    // one call.
    int fd = dos::open(path, O_WRONLY | O_APPEND);
    if (fd < 0 && errno != ENOENT) {
        report_write_failure(path);
        return -1;
    }
    if (fd < 0) {
        screen_log("\r\nCREATING TEMP FILE [");
        screen_log(path);
        screen_log("]\r\n");
        // No O_TRUNC: should another program create it meanwhile, its text stays.
        fd = dos::open(path, O_WRONLY | O_CREAT | O_APPEND);
        if (fd < 0) {
            report_create_failure(path);
            return -1;
        }
    }
    // Other cooperating writers are kept out while the bytes go in. The lock
    // is not waited for: a program that keeps it must not stall the server's
    // only thread, so a held lock is reported like a file that cannot be
    // opened for writing. The close releases it.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        report_write_failure(path);
        return -1;
    }
    // An append that cannot be written whole is taken back, so that a full
    // disk leaves only whole lines and the next append starts a line.
    struct stat before {};
    const bool sized = ::fstat(fd, &before) == 0;
    if (!write_all(fd, data, static_cast<size_t>(length))) {
        if (sized && ::ftruncate(fd, before.st_size) != 0) {
            screen_log("  The file keeps a part of what could not be written.\r\n");
        }
        ::close(fd);
        report_write_failure(path);
        return -1;
    }
    if (::close(fd) != 0) {
        report_write_failure(path);
        return -1;
    }
    return 0;
}

int CycleLogs(const char* dir, const char* base, const char* ext) {
    screen_logf("\r\nCycleLogs - Cycling %s%s.%s\r\n", dir, base, ext);
    char current[1024];
    char older[1024];
    char newer[1024];
    // Names too long to build are left alone rather than cut into the name
    // of some other file. Every generation name is as long as that of the
    // oldest, so when it fits they all do.
    if (log_name(current, sizeof current, dir, base, 0, ext) &&
        log_name(newer, sizeof newer, dir, base, kGenerations, ext)) {
        dos::remove(newer);
        for (int n = kGenerations; n >= 2; --n) {
            log_name(older, sizeof older, dir, base, n - 1, ext);
            log_name(newer, sizeof newer, dir, base, n, ext);
            struct stat st {};
            if (dos::stat(older, &st) == 0 && st.st_size > 0) dos::rename(older, newer);
        }
        log_name(newer, sizeof newer, dir, base, 1, ext);
        dos::rename(current, newer);
        // When "-001" is still taken (a 0-byte generation stops the chain, as
        // renames never replace), the current log could not move: it stays
        // and goes on growing, since starting a new one here would empty it.
        // It moves at the first cycle after the blocking file is gone.
        if (!dos::exists(current)) static_cast<void>(write_new_file(current, "\r\n"));
    }
    screen_log("CycleLogs - Finish\r\n");
    return 1;
}

}  // namespace qxs
