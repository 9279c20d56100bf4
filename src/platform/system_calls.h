// The system calls whose failures the server must survive: opening,
// writing and renaming files, and starting a program. The server makes them
// through system_calls(), so that tests can put a fault-injecting double
// between the server and the system (the Nth write short or failing with
// ENOSPC, an open failing with EMFILE, a rename failing, a program that
// cannot be started), as they do for sockets with SocketApi.
//
// Each call has the system's contract: -1 (or an error number, for spawn)
// and errno on failure.
#pragma once

#include <spawn.h>
#include <sys/types.h>

namespace qxs {

class SystemCalls {
public:
    virtual ~SystemCalls() = default;
    virtual int open(const char* path, int flags, mode_t mode);
    virtual ssize_t write(int fd, const void* data, size_t size);
    virtual ssize_t pwrite(int fd, const void* data, size_t size, off_t offset);
    // renameat2 in the current directory: `flags` 0 replaces `to`,
    // RENAME_NOREPLACE does not.
    virtual int rename(const char* from, const char* to, unsigned flags);
    // posix_spawn: 0, or an error number.
    virtual int spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
                      const posix_spawnattr_t* attributes, char* const argv[], char* const envp[]);
};

// The calls the server makes: the system's, unless a test installed others.
SystemCalls& system_calls();
// Installs `calls` (nullptr restores the system's); returns the previous one.
SystemCalls* set_system_calls(SystemCalls* calls);

}  // namespace qxs
