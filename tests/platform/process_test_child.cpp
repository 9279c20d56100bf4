// The child program of the process tests.
//   report          one line per argument, the directory, the open
//                   descriptors, the environment, then standard input
//   exit N          exits with status N
//   sleep           waits for a signal
//   stubborn        ignores SIGTERM, starts a grandchild that ignores it too,
//                   prints "pids <own> <grandchild>", and waits
#include <dirent.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern char** environ;

int main(int argc, char** argv) {
    const char* mode = argc > 1 ? argv[1] : "";
    if (std::strcmp(mode, "report") == 0) {
        for (int i = 1; i < argc; ++i) std::printf("arg %s\n", argv[i]);
        char cwd[4096];
        std::printf("cwd %s\n", getcwd(cwd, sizeof cwd) != nullptr ? cwd : "?");
        std::printf("fds");
        if (DIR* dir = opendir("/proc/self/fd")) {
            while (dirent* e = readdir(dir)) {
                if (e->d_name[0] != '.' && std::atoi(e->d_name) != dirfd(dir))
                    std::printf(" %s", e->d_name);
            }
            closedir(dir);
        }
        std::printf("\n");
        for (char** e = environ; *e != nullptr; ++e) std::printf("env %s\n", *e);
        std::printf("stdin ");
        int c;
        while ((c = std::getchar()) != EOF) std::putchar(c);
        return 0;
    }
    if (std::strcmp(mode, "exit") == 0) return argc > 2 ? std::atoi(argv[2]) : 0;
    if (std::strcmp(mode, "stubborn") == 0) {
        std::signal(SIGTERM, SIG_IGN);
        pid_t grandchild = fork();
        if (grandchild == 0) {
            for (;;) pause();
        }
        std::printf("pids %d %d\n", static_cast<int>(getpid()), static_cast<int>(grandchild));
        std::fflush(stdout);
    }
    for (;;) pause();
}
