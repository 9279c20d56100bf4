// qxserver: the program entry. Reads the command line, sets up the server
// home and the drive mappings, picks the front end (the window where the
// build has it and a display is there, unless --headless; else the
// console), starts the engine and runs the loop until the operator stops it
// (Exit, closing the window, SIGINT or SIGTERM).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config/settings.h"
#include "engine/server.h"
#include "platform/dos_files.h"
#include "platform/event_loop.h"
#include "shell/banner.h"
#include "shell/console_shell.h"
#include "shell/server_session.h"
#ifdef QXS_WITH_WINDOW
#include "shell/window/window_front_end.h"
#endif

namespace {

constexpr int kUsageError = 2;

void print_help() {
    std::printf(
        "Usage: qxserver [options]\n"
        "A personal web and gopher server.\n"
        "\n"
        "  --home DIR       the server home (default: the current directory); the\n"
        "                   settings file qxserver.ini is read from there, and\n"
        "                   relative names in the settings resolve against it\n"
        "  --ini FILE       read the settings from FILE instead\n"
        "  --drive X=DIR    DOS drive X: in the settings means DIR (repeatable);\n"
        "                   unmapped drives mean the server home\n"
        "  --control PATH   the control socket qxsctl talks to (default:\n"
        "                   qxserver.ctl in the server home)\n"
        "  --headless       the console front end even where a display exists\n"
        "  --help           this text\n"
        "  --version        the server's version\n"
        "\n"
        "Stop the server with Ctrl-C or SIGTERM. SIGHUP reads the settings again,\n"
        "SIGUSR1 starts a new access log.\n");
}

int usage_error(const std::string& message) {
    std::fprintf(stderr, "qxserver: %s (try --help)\n", message.c_str());
    return kUsageError;
}

// An absolute path for a name given on the command line.
std::string absolute(const std::string& name) {
    if (!name.empty() && name[0] == '/') return name;
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) == nullptr) return name;
    return std::string(cwd) + "/" + name;
}

bool is_directory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Descriptors 0-2 must be taken, so that no file the server opens can get
// one of them (an open file is told by a descriptor above 0).
void hold_standard_descriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) == -1) {
            int null = ::open("/dev/null", O_RDWR);
            if (null >= 0 && null != fd) ::close(null);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string home = ".";
    std::string ini;
    std::string control_path;
    bool home_given = false;
    bool headless = false;
    struct Drive {
        char letter;
        std::string directory;
    };
    Drive drives[26];
    int drive_count = 0;

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (arg == "--help") {
            print_help();
            return 0;
        } else if (arg == "--version") {
            std::printf("QXServer/%s\n", qxs::kServerVersion);
            return 0;
        } else if (arg == "--headless") {
            headless = true;
        } else if (arg == "--home") {
            const char* v = value();
            if (v == nullptr) return usage_error("--home needs a directory");
            home = v;
            home_given = true;
        } else if (arg == "--ini") {
            const char* v = value();
            if (v == nullptr) return usage_error("--ini needs a file name");
            ini = v;
        } else if (arg == "--control") {
            const char* v = value();
            if (v == nullptr || *v == '\0') return usage_error("--control needs a socket name");
            control_path = absolute(v);
        } else if (arg == "--drive") {
            const char* v = value();
            if (v == nullptr || std::strlen(v) < 3 || v[1] != '=' ||
                !((v[0] >= 'a' && v[0] <= 'z') || (v[0] >= 'A' && v[0] <= 'Z'))) {
                return usage_error("--drive needs X=DIR");
            }
            if (drive_count < 26) drives[drive_count++] = {v[0], absolute(v + 2)};
        } else {
            return usage_error("unknown option '" + arg + "'");
        }
    }

    home = absolute(home);
    if (!is_directory(home)) {
        return usage_error(std::string("home directory '") + home + "' not found" +
                           (home_given ? "" : " (the current directory)"));
    }
    hold_standard_descriptors();
    qxs::dos::set_home(home);
    for (int i = 0; i < drive_count; ++i)
        qxs::dos::map_drive(drives[i].letter, drives[i].directory);
    qxs::set_settings_file(ini.empty() ? "qxserver.ini" : absolute(ini));
    if (control_path.empty()) control_path = home + "/qxserver.ctl";

#ifdef QXS_WITH_WINDOW
    if (!headless && qxs::window::display_available()) {
        return qxs::window::run_with_window(argc, argv, control_path);
    }
#else
    (void)headless;  // the console is the only front end of this build
#endif

    int status = 0;
    qxs::ConsoleShell console;
    qxs::set_shell(&console);
    {
        qxs::EventLoop loop;
        qxs::ServerSession session(loop, control_path);
        session.start();
        if (const char* failure = qxs::listen_failure()) {
            // Nobody reads a message box here: a console server that cannot
            // listen ends, and says why.
            std::fprintf(stderr, "qxserver: %s\n", failure);
            status = 1;
        } else {
            qxs::start_shell();
            console.listen_for_commands(loop.uv());
            loop.run();
        }
        session.stop();
    }
    qxs::set_shell(nullptr);
    return status;
}
