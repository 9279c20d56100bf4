// A fault-injecting double for the file and process calls of the server
// (platform/system_calls.h), installed for the lifetime of the object: the
// Nth write comes back short and the next fails, an open or a rename fails,
// a program cannot be started. Everything else goes to the system.
#pragma once

#include <cerrno>

#include "platform/system_calls.h"

namespace qxs::test {

class FaultyCalls final : public SystemCalls {
public:
    FaultyCalls() { previous_ = set_system_calls(this); }
    ~FaultyCalls() override { set_system_calls(previous_); }
    FaultyCalls(const FaultyCalls&) = delete;
    FaultyCalls& operator=(const FaultyCalls&) = delete;

    // The `nth` write from now (1: the next) takes only `short_part` bytes
    // (none when 0) and the write after it fails with `error`.
    void fail_write(int nth, size_t short_part, int error = ENOSPC) {
        writes_left_ = nth;
        short_part_ = short_part;
        write_error_ = error;
    }
    int open_error = 0;    // every open fails with it (EMFILE); 0: none
    int rename_error = 0;  // every rename fails with it; 0: none
    int spawn_error = 0;   // every program start fails with it; 0: none

    int open(const char* path, int flags, mode_t mode) override {
        if (open_error != 0) return fail(open_error);
        return SystemCalls::open(path, flags, mode);
    }
    ssize_t write(int fd, const void* data, size_t size) override {
        if (faulty_write(&size)) return fail(write_error_);
        return SystemCalls::write(fd, data, size);
    }
    ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) override {
        if (faulty_write(&size)) return fail(write_error_);
        return SystemCalls::pwrite(fd, data, size, offset);
    }
    int rename(const char* from, const char* to, unsigned flags) override {
        if (rename_error != 0) return fail(rename_error);
        return SystemCalls::rename(from, to, flags);
    }
    int spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
              const posix_spawnattr_t* attributes, char* const argv[],
              char* const envp[]) override {
        if (spawn_error != 0) return spawn_error;
        return SystemCalls::spawn(pid, path, actions, attributes, argv, envp);
    }

private:
    static int fail(int error) {
        errno = error;
        return -1;
    }
    // True when this write fails; a short one has its size cut.
    bool faulty_write(size_t* size) {
        if (writes_left_ <= 0) return false;
        if (--writes_left_ > 0) return false;
        if (short_part_ == 0) return true;
        if (*size > short_part_) *size = short_part_;
        writes_left_ = 1;  // the next one fails
        short_part_ = 0;
        return false;
    }

    SystemCalls* previous_ = nullptr;
    int writes_left_ = 0;
    size_t short_part_ = 0;
    int write_error_ = ENOSPC;
};

}  // namespace qxs::test
