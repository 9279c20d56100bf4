// qxsctl: the control program. Sends execute commands to a running qxserver
// through its control socket (one conversation, the lines documented in
// README.md), and reads and writes the server's settings file through the
// server's own profile layer, so a value written here reads back exactly as
// the server will read it at its next reloadini.
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/dos_files.h"
#include "platform/profile.h"

namespace {

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsageError = 2;

void print_help() {
    std::printf(
        "Usage: qxsctl [options] send [COMMAND]...\n"
        "       qxsctl [options] get SECTION KEY\n"
        "       qxsctl [options] set SECTION KEY VALUE\n"
        "Controls a running qxserver and edits its settings file.\n"
        "\n"
        "  send COMMAND...        opens one conversation with the server, sends each\n"
        "                         command and prints its acknowledgement. The server\n"
        "                         knows cyclelogs, reloadini, pause, resume, qxsheadon\n"
        "                         and qxsheadoff (case counts); it accepts any other\n"
        "                         text too and shows it to its operator. With no\n"
        "                         command: only checks that the server answers.\n"
        "  get SECTION KEY        prints the value of KEY in [SECTION]\n"
        "  set SECTION KEY VALUE  writes it; the server reads it at the next\n"
        "                         'qxsctl send reloadini' (or SIGHUP)\n"
        "\n"
        "  --home DIR         the server home (default: the current directory)\n"
        "  --ini FILE         the settings file (default: qxserver.ini in the home)\n"
        "  --control PATH     the server's control socket (default: qxserver.ctl in\n"
        "                     the home)\n"
        "  --timeout SECONDS  how long to wait for each answer (default: 5)\n"
        "  --help             this text\n"
        "\n"
        "Exit status: 0 done; 1 no server answered, a command was not accepted, the\n"
        "key is missing or the file cannot be written; 2 a usage mistake.\n");
}

int usage_error(const std::string& message) {
    std::fprintf(stderr, "qxsctl: %s (try --help)\n", message.c_str());
    return kUsageError;
}

int failure(const std::string& message) {
    std::fprintf(stderr, "qxsctl: %s\n", message.c_str());
    return kFailed;
}

std::string absolute(const std::string& name) {
    if (!name.empty() && name[0] == '/') return name;
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) == nullptr) return name;
    return name == "." ? std::string(cwd) : std::string(cwd) + "/" + name;
}

bool has_line_end(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

// One conversation over the control socket, each answer awaited at most
// `timeout_ms`.
class Conversation {
public:
    enum Result { kLine, kTimedOut, kClosed };

    explicit Conversation(int timeout_ms) : timeout_ms_(timeout_ms) {}
    ~Conversation() {
        if (fd_ >= 0) ::close(fd_);
    }

    // 0, or the errno of the failed connect.
    int connect(const std::string& path) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0) return errno;
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (path.size() >= sizeof address.sun_path) return ENAMETOOLONG;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        return ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 ? 0
                                                                                          : errno;
    }

    bool send_line(const std::string& line) {
        std::string text = line + "\n";
        size_t done = 0;
        while (done < text.size()) {
            ssize_t n = ::send(fd_, text.data() + done, text.size() - done, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }

    Result read_line(std::string& line) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms_);
        for (;;) {
            size_t end = pending_.find('\n');
            if (end != std::string::npos) {
                line = pending_.substr(0, end);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                pending_.erase(0, end + 1);
                return kLine;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return kTimedOut;
            pollfd p{fd_, POLLIN, 0};
            int ready = ::poll(&p, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno == EINTR) continue;
            if (ready == 0) return kTimedOut;
            char buffer[512];
            ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return kClosed;
            pending_.append(buffer, static_cast<size_t>(n));
        }
    }

private:
    int fd_ = -1;
    int timeout_ms_;
    std::string pending_;
};

int send_commands(const std::string& socket_path, const std::vector<std::string>& commands,
                  int timeout_ms) {
    for (const std::string& command : commands) {
        if (has_line_end(command)) return usage_error("a command cannot hold a line end");
    }
    Conversation conversation(timeout_ms);
    if (int error = conversation.connect(socket_path); error != 0) {
        if (error == ENOENT) return failure("no server is running (no " + socket_path + ")");
        if (error == ECONNREFUSED) {
            return failure("no server is running (" + socket_path +
                           " is left from one that stopped)");
        }
        return failure("cannot reach the server at " + socket_path + ": " + std::strerror(error));
    }
    std::string answer;
    if (!conversation.send_line("INITIATE QXS") ||
        conversation.read_line(answer) != Conversation::kLine || answer != "ACK QXS test") {
        return failure("the server at " + socket_path +
                       " did not answer (control may be off: DDE_mode=0 in its settings, "
                       "or ten conversations are open)");
    }
    int status = kDone;
    for (const std::string& command : commands) {
        if (!conversation.send_line("EXECUTE " + command)) {
            return failure("the server closed the conversation");
        }
        Conversation::Result result = conversation.read_line(answer);
        if (result == Conversation::kTimedOut) {
            return failure("no acknowledgement of '" + command + "' from the server");
        }
        if (result == Conversation::kClosed || answer == "TERMINATE") {
            return failure("the server ended the conversation before '" + command +
                           "' was acknowledged (it is stopping)");
        }
        if (answer == "ACK EXECUTE accepted") {
            std::printf("%s: accepted\n", command.c_str());
        } else {
            std::printf("%s: not accepted (%s)\n", command.c_str(), answer.c_str());
            status = kFailed;
        }
        std::fflush(stdout);
    }
    // The server answers TERMINATE and closes; its answer is not needed.
    if (conversation.send_line("TERMINATE")) conversation.read_line(answer);
    return status;
}

int get_value(const std::string& file, const std::string& section, const std::string& key) {
    static char value[4096];
    static char other[4096];
    // A missing key gives the fallback; two different fallbacks tell it from
    // a value that happens to equal one of them.
    qxs::profile::get_string(section.c_str(), key.c_str(), "\x01", value, sizeof value,
                             file.c_str());
    qxs::profile::get_string(section.c_str(), key.c_str(), "\x02", other, sizeof other,
                             file.c_str());
    if (std::strcmp(value, "\x01") == 0 && std::strcmp(other, "\x02") == 0) {
        return failure("no " + key + " in [" + section + "] of " + qxs::dos::to_host(file.c_str()));
    }
    std::printf("%s\n", value);
    return kDone;
}

int set_value(const std::string& file, const std::string& section, const std::string& key,
              const std::string& value) {
    if (section.empty() || key.empty()) return usage_error("SECTION and KEY cannot be empty");
    if (has_line_end(section) || has_line_end(key) || has_line_end(value)) {
        return usage_error("SECTION, KEY and VALUE cannot hold a line end");
    }
    if (section.find(']') != std::string::npos) return usage_error("SECTION cannot hold ']'");
    if (key.find('=') != std::string::npos || key[0] == ';' || key[0] == '[') {
        return usage_error("KEY cannot hold '=' or begin with ';' or '['");
    }
    if (!qxs::profile::write_string(section.c_str(), key.c_str(), value.c_str(), file.c_str()) ||
        !qxs::profile::flush(file.c_str())) {
        return failure("cannot write " + qxs::dos::to_host(file.c_str()) + ": " +
                       std::strerror(errno));
    }
    return kDone;
}

}  // namespace

int main(int argc, char** argv) {
    std::string home = ".";
    std::string ini;
    std::string control;
    int timeout_ms = 5000;
    int i = 1;
    for (; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.rfind("--", 0) != 0) break;
        if (arg == "--") {
            ++i;
            break;
        }
        if (arg == "--help") {
            print_help();
            return kDone;
        }
        if (arg != "--home" && arg != "--ini" && arg != "--control" && arg != "--timeout") {
            return usage_error("unknown option '" + arg + "'");
        }
        if (i + 1 >= argc || argv[i + 1][0] == '\0') return usage_error(arg + " needs a value");
        std::string value = argv[++i];
        if (arg == "--home") {
            home = value;
        } else if (arg == "--ini") {
            ini = absolute(value);
        } else if (arg == "--control") {
            control = absolute(value);
        } else {
            char* end = nullptr;
            double seconds = std::strtod(value.c_str(), &end);
            if (*end != '\0' || !(seconds > 0 && seconds <= 3600)) {
                return usage_error("--timeout needs a number of seconds");
            }
            timeout_ms = static_cast<int>(seconds * 1000);
            if (timeout_ms == 0) timeout_ms = 1;
        }
    }
    if (i >= argc) return usage_error("say send, get or set");
    std::string verb = argv[i++];
    std::vector<std::string> args(argv + i, argv + argc);

    home = absolute(home);
    struct stat st {};
    if (::stat(home.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return usage_error("home directory '" + home + "' not found");
    }
    if (control.empty()) control = home + "/qxserver.ctl";
    qxs::dos::set_home(home);
    std::string file = ini.empty() ? "qxserver.ini" : ini;

    if (verb == "send") return send_commands(control, args, timeout_ms);
    if (verb == "get") {
        if (args.size() != 2) return usage_error("get needs SECTION KEY");
        return get_value(file, args[0], args[1]);
    }
    if (verb == "set") {
        if (args.size() != 3) return usage_error("set needs SECTION KEY VALUE");
        return set_value(file, args[0], args[1], args[2]);
    }
    return usage_error("unknown command '" + verb + "': say send, get or set");
}
