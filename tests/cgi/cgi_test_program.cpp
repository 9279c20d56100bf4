// The CGI program of the tests, linked under the names of the scripts it
// stands for; what it does is the first word of the script's name:
//   dump    a text/plain answer: its arguments, directory, open
//           descriptors, environment, standard input and profile file
//   echo    its last argument (the query string), %xx-decoded, as the
//           whole output
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
#include <cstring>
#include <string>

extern char** environ;

namespace {

std::string base_name(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

int hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}

std::string decoded(const char* text) {
    std::string out;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '%' && p[1] != '\0' && p[2] != '\0') {
            out += static_cast<char>(hex(p[1]) * 16 + hex(p[2]));
            p += 2;
        } else {
            out += *p;
        }
    }
    return out;
}

std::string file_text(const char* name) {
    std::string text;
    if (FILE* f = std::fopen(name, "rb")) {
        char block[4096];
        for (size_t n; (n = std::fread(block, 1, sizeof block, f)) > 0;) text.append(block, n);
        std::fclose(f);
    }
    return text;
}

FILE* answer_file() {
    struct stat st {};
    if (fstat(1, &st) == 0 && S_ISREG(st.st_mode)) return stdout;
    const char* name = std::getenv("Output_File");
    return name != nullptr ? std::fopen(name, "wb") : nullptr;
}

void dump(FILE* out, int argc, char** argv, const char* profile) {
    std::fprintf(out, "Content-type: text/plain\r\n\r\n");
    for (int i = 0; i < argc; ++i) std::fprintf(out, "arg %d %s\n", i, argv[i]);
    char cwd[4096];
    std::fprintf(out, "cwd %s\nfds", getcwd(cwd, sizeof cwd) != nullptr ? cwd : "?");
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (dirent* e = readdir(dir)) {
            if (e->d_name[0] != '.' && std::atoi(e->d_name) != dirfd(dir) &&
                (out == stdout || std::atoi(e->d_name) != fileno(out))) {
                std::fprintf(out, " %s", e->d_name);
            }
        }
        closedir(dir);
    }
    std::fprintf(out, "\n");
    for (char** e = environ; *e != nullptr; ++e) std::fprintf(out, "env %s\n", *e);
    std::fprintf(out, "stdin %s\nprofile\n%s", file_text("/dev/stdin").c_str(),
                 profile != nullptr ? file_text(profile).c_str() : "");
}

}  // namespace

int main(int argc, char** argv) {
    // Under Perl_Compiler's name the script comes first.
    const bool interpreter = base_name(argv[0]) == "cgi_test_program";
    const std::string script = base_name(interpreter && argc > 1 ? argv[1] : argv[0]);
    const char* profile = argc > (interpreter ? 2 : 1) ? argv[interpreter ? 2 : 1] : nullptr;
    if (script.rfind("sleep", 0) == 0) {
        std::signal(SIGTERM, SIG_IGN);
        for (;;) pause();
    }
    if (script.rfind("silent", 0) == 0) return 0;
    FILE* out = answer_file();
    if (out == nullptr) return 1;
    if (script.rfind("echo", 0) == 0) {
        std::fputs(decoded(argv[argc - 1]).c_str(), out);
    } else {
        dump(out, argc, argv, profile);
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
