// A named lock shared by every process that opens the same name (the log
// mutex "/MUTEX/QXS1/QXS_LOG_MUTEX"): an exclusive flock on a lock file in
// the user's runtime directory ($XDG_RUNTIME_DIR, else /tmp/qxserver-UID).
// The system releases it when its holder dies, so a crashed holder never
// leaves the others waiting.
#pragma once

#include <string>

namespace qxs {

class NamedLock {
public:
    NamedLock() = default;
    ~NamedLock() { close(); }
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;

    // Creates (or opens) the lock of that name, not owned. False on failure.
    bool create(const char* name);
    // Waits until the lock is owned, at most `wait_ms` milliseconds (-1: no
    // limit). False when it cannot be had: no lock file, or another process
    // kept it all that time.
    bool acquire(int wait_ms = -1);
    void release();
    void close();
    bool is_open() const { return fd_ >= 0; }

    // The lock file's path for a lock name.
    static std::string path_for(const char* name);

private:
    int fd_ = -1;
};

}  // namespace qxs
