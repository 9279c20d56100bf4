// The CGI program of the tests, linked under the names of the scripts it
// stands for; the script's name says what it does:
//   dump    a text/plain answer: its arguments, directory, open
//           descriptors, environment, standard input and profile file
//   echo    its last argument (the query string), %xx-decoded
//   silent  nothing
//   sleep   ignores SIGTERM and waits to be killed
// Run as Perl_Compiler (under its own name) the script is its first
// argument. The answer goes to standard output when that is a file (a
// "std" alias), else to the file named by Output_File.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

extern char** environ;

namespace {

std::string base_name(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

std::string file_text(const char* name) {
    std::ostringstream text;
    text << std::ifstream(name, std::ios::binary).rdbuf();
    return text.str();
}

}  // namespace

int main(int argc, char** argv) {
    const bool interpreter = base_name(argv[0]) == "cgi_test_program";
    const std::string script = base_name(interpreter && argc > 1 ? argv[1] : argv[0]);
    if (script.rfind("sleep", 0) == 0) {
        std::signal(SIGTERM, SIG_IGN);
        for (;;) pause();
    }
    if (script.rfind("silent", 0) == 0) return 0;
    struct stat st {};
    if ((fstat(1, &st) != 0 || !S_ISREG(st.st_mode)) &&
        std::freopen(std::getenv("Output_File"), "wb", stdout) == nullptr) {
        return 1;
    }
    if (script.rfind("echo", 0) == 0) {
        for (const char* p = argv[argc - 1]; *p != '\0'; ++p) {
            bool escape = p[0] == '%' && p[1] != '\0' && p[2] != '\0';
            std::putchar(
                escape ? static_cast<int>(std::strtol(std::string(p + 1, 2).c_str(), nullptr, 16))
                       : *p);
            if (escape) p += 2;
        }
        return 0;
    }
    std::printf("Content-type: text/plain\r\n\r\n");
    for (int i = 0; i < argc; ++i) std::printf("arg %s\n", argv[i]);
    char cwd[4096];
    std::printf("cwd %s\nfds", getcwd(cwd, sizeof cwd) != nullptr ? cwd : "?");
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (dirent* e = readdir(dir)) {
            if (e->d_name[0] != '.' && std::atoi(e->d_name) != dirfd(dir)) {
                std::printf(" %s", e->d_name);
            }
        }
        closedir(dir);
    }
    std::printf("\n");
    for (char** e = environ; *e != nullptr; ++e) std::printf("env %s\n", *e);
    const char* profile = argv[interpreter ? 2 : 1];
    std::printf("stdin %s\nprofile\n%s", file_text("/dev/stdin").c_str(),
                profile != nullptr ? file_text(profile).c_str() : "");
    return 0;
}
