#include "platform/named_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace qxs {

std::string NamedLock::path_for(const char* name) {
    std::string directory;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime) {
        directory = runtime;
    } else {
        directory = "/tmp/qxserver-" + std::to_string(getuid());
        mkdir(directory.c_str(), 0700);
    }
    std::string file = "qxs-lock";
    for (const char* p = name; *p != '\0'; ++p) {
        char c = *p;
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                     c == '_' || c == '-';
        file += plain ? c : '_';
    }
    return directory + "/" + file;
}

bool NamedLock::create(const char* name) {
    close();
    fd_ = ::open(path_for(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    return fd_ >= 0;
}

bool NamedLock::acquire(int wait_ms) {
    if (fd_ < 0) return false;
    if (wait_ms < 0) {
        while (flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) return false;
        }
        return true;
    }
    // A bounded wait polls: flock itself cannot give up after a time.
    constexpr int kPollMs = 5;
    for (int waited = 0;; waited += kPollMs) {
        if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
        if (errno != EWOULDBLOCK && errno != EINTR) return false;
        if (waited >= wait_ms) return false;
        usleep(kPollMs * 1000);
    }
}

void NamedLock::release() {
    if (fd_ >= 0) flock(fd_, LOCK_UN);
}

void NamedLock::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

}  // namespace qxs
