#include "platform/system_calls.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace qxs {

int SystemCalls::open(const char* path, int flags, mode_t mode) {
    return ::open(path, flags, mode);
}

ssize_t SystemCalls::write(int fd, const void* data, size_t size) {
    return ::write(fd, data, size);
}

ssize_t SystemCalls::pwrite(int fd, const void* data, size_t size, off_t offset) {
    return ::pwrite(fd, data, size, offset);
}

int SystemCalls::rename(const char* from, const char* to, unsigned flags) {
    return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, flags);
}

int SystemCalls::spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
                       const posix_spawnattr_t* attributes, char* const argv[],
                       char* const envp[]) {
    return ::posix_spawn(pid, path, actions, attributes, argv, envp);
}

namespace {
SystemCalls system;
SystemCalls* installed = nullptr;
}  // namespace

SystemCalls& system_calls() {
    return installed != nullptr ? *installed : system;
}

SystemCalls* set_system_calls(SystemCalls* calls) {
    SystemCalls* previous = installed;
    installed = calls;
    return previous;
}

}  // namespace qxs
